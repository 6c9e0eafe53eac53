#include "scan/testing/pdf_fixtures.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "scan/mupdf_context.h"

extern "C" {
#include <mupdf/pdf.h>
}

namespace marrowfen::scan::testing {
namespace {

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

fz_rect toFzRect(const PdfRect& r) {
  return fz_make_rect(static_cast<float>(r.x), static_cast<float>(r.y),
                      static_cast<float>(r.x + r.width), static_cast<float>(r.y + r.height));
}

// Adds one page; throws MuPDF errors (call inside fz_try).
void addPage(fz_context* ctx, pdf_document* doc, pdf_obj* font, const FixturePage& page) {
  pdf_obj* resources = nullptr;
  fz_buffer* contents = nullptr;
  fz_buffer* formBuffer = nullptr;
  fz_pixmap* pixmap = nullptr;
  fz_image* image = nullptr;
  pdf_obj* pageObject = nullptr;
  fz_var(resources);
  fz_var(contents);
  fz_var(formBuffer);
  fz_var(pixmap);
  fz_var(image);
  fz_var(pageObject);
  fz_try(ctx) {
    const fz_rect box = toFzRect(page.mediaBox);
    resources = pdf_new_dict(ctx, doc, 4);
    pdf_obj* fonts = pdf_dict_put_dict(ctx, resources, PDF_NAME(Font), 1);
    pdf_dict_puts(ctx, fonts, "F1", font);
    pdf_obj* xobjects = pdf_dict_put_dict(ctx, resources, PDF_NAME(XObject), 2);
    if (page.image) {
      const FixtureImage& picture = *page.image;
      pixmap = fz_new_pixmap(ctx, fz_device_rgb(ctx), picture.width, picture.height, nullptr, 0);
      for (int32_t y = 0; y < picture.height; ++y) {
        std::memcpy(pixmap->samples + static_cast<size_t>(y) * pixmap->stride,
                    picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3,
                    static_cast<size_t>(picture.width) * 3);
      }
      image = fz_new_image_from_pixmap(ctx, pixmap, nullptr);
      pdf_dict_puts_drop(ctx, xobjects, "Im1", pdf_add_image(ctx, doc, image));
    }
    if (!page.formContents.empty()) {
      formBuffer = fz_new_buffer_from_copied_data(
          ctx, reinterpret_cast<const unsigned char*>(page.formContents.data()),
          page.formContents.size());
      pdf_obj* formResources = pdf_new_dict(ctx, doc, 1);
      pdf_obj* formFonts = pdf_dict_put_dict(ctx, formResources, PDF_NAME(Font), 1);
      pdf_dict_puts(ctx, formFonts, "F1", font);
      pdf_obj* form = nullptr;
      fz_var(form);
      fz_try(ctx) { form = pdf_new_xobject(ctx, doc, box, fz_identity, formResources, formBuffer); }
      fz_always(ctx) { pdf_drop_obj(ctx, formResources); }
      fz_catch(ctx) { fz_rethrow(ctx); }
      pdf_dict_puts_drop(ctx, xobjects, "Fm1", form);
    }
    contents = fz_new_buffer_from_copied_data(
        ctx, reinterpret_cast<const unsigned char*>(page.contents.data()), page.contents.size());
    pageObject = pdf_add_page(ctx, doc, box, 0, resources, contents);
    // pdf_add_page always writes a /Rotate; take it away so that the page inherits, or set the
    // value as given (negative ones too).
    pdf_dict_del(ctx, pageObject, PDF_NAME(Rotate));
    if (page.rotate) pdf_dict_put_int(ctx, pageObject, PDF_NAME(Rotate), *page.rotate);
    pdf_insert_page(ctx, doc, -1, pageObject);
  }
  fz_always(ctx) {
    pdf_drop_obj(ctx, pageObject);
    fz_drop_buffer(ctx, contents);
    fz_drop_buffer(ctx, formBuffer);
    fz_drop_image(ctx, image);
    fz_drop_pixmap(ctx, pixmap);
    pdf_drop_obj(ctx, resources);
  }
  fz_catch(ctx) { fz_rethrow(ctx); }
}

}  // namespace

bool writeFixturePdf(const FixtureDocument& document, const std::string& path) {
  fz_context* ctx = mupdfContext();
  pdf_write_options options = pdf_default_write_options;
  options.do_compress = 1;
  if (document.encryption != FixtureEncryption::kNone) {
    options.do_encrypt = document.encryption == FixtureEncryption::kAes128 ? PDF_ENCRYPT_AES_128
                                                                           : PDF_ENCRYPT_AES_256;
    options.permissions = -1;
    const std::string& owner =
        document.ownerPassword.empty() ? document.userPassword : document.ownerPassword;
    std::snprintf(options.upwd_utf8, sizeof options.upwd_utf8, "%s", document.userPassword.c_str());
    std::snprintf(options.opwd_utf8, sizeof options.opwd_utf8, "%s", owner.c_str());
  }
  const char* filename = path.c_str();
  const FixtureDocument* source = &document;
  pdf_document* doc = nullptr;
  fz_font* base = nullptr;
  pdf_obj* font = nullptr;
  int written = 0;
  fz_var(doc);
  fz_var(base);
  fz_var(font);
  fz_var(written);
  fz_try(ctx) {
    doc = pdf_create_document(ctx);
    base = fz_new_base14_font(ctx, "Helvetica");
    font = pdf_add_simple_font(ctx, doc, base, PDF_SIMPLE_ENCODING_LATIN);
    for (const FixturePage& page : source->pages) addPage(ctx, doc, font, page);
    pdf_obj* root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
    if (source->inheritedRotate)
      pdf_dict_put_int(ctx, root, PDF_NAME(Rotate), *source->inheritedRotate);
    if (source->claimedPageCount) {
      pdf_dict_put_int(ctx, root, PDF_NAME(Count), *source->claimedPageCount);
    }
    pdf_save_document(ctx, doc, filename, &options);
    written = 1;
  }
  fz_always(ctx) {
    pdf_drop_obj(ctx, font);
    fz_drop_font(ctx, base);
    if (doc != nullptr) fz_drop_document(ctx, &doc->super);
  }
  fz_catch(ctx) { written = 0; }
  return written != 0;
}

std::string textContent(std::string_view text, double x, double y, double size,
                        std::optional<int> renderMode) {
  std::string escaped;
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') escaped += '\\';
    escaped += c;
  }
  std::string content = "BT /F1 " + number(size) + " Tf ";
  if (renderMode) content += std::to_string(*renderMode) + " Tr ";
  content += number(x) + " " + number(y) + " Td (" + escaped + ") Tj ET\n";
  return content;
}

std::string rectContent(double x, double y, double width, double height, double grey) {
  return "q " + number(grey) + " g " + number(x) + " " + number(y) + " " + number(width) + " " +
         number(height) + " re f Q\n";
}

std::string imageContent(double x, double y, double width, double height) {
  return "q " + number(width) + " 0 0 " + number(height) + " " + number(x) + " " + number(y) +
         " cm /Im1 Do Q\n";
}

std::string formContent() { return "q /Fm1 Do Q\n"; }

FixturePage scannedPage(PdfRect mediaBox) {
  // 1 pixel a point at a quarter of the page's size is plenty for a picture of bars.
  FixtureImage picture;
  picture.width = std::max<int32_t>(8, static_cast<int32_t>(mediaBox.width / 4));
  picture.height = std::max<int32_t>(8, static_cast<int32_t>(mediaBox.height / 4));
  picture.rgb.assign(static_cast<size_t>(picture.width) * picture.height * 3, 255);
  for (int32_t y = picture.height / 5; y < picture.height * 3 / 5; ++y) {
    if ((y / 3) % 2 != 0) continue;  // bars three rows high with gaps, like lines of print
    for (int32_t x = picture.width / 6; x < picture.width * 5 / 6; ++x) {
      uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
      p[0] = p[1] = p[2] = 20;
    }
  }
  FixturePage page;
  page.mediaBox = mediaBox;
  page.image = std::move(picture);
  page.contents = imageContent(mediaBox.x, mediaBox.y, mediaBox.width, mediaBox.height);
  return page;
}

std::string temporaryPath(std::string_view suffix) {
  static std::atomic<int> counter{0};
  const auto directory = std::filesystem::temp_directory_path();
  return (directory / ("marrowfen-fixture-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter++) + std::string(suffix)))
      .string();
}

}  // namespace marrowfen::scan::testing
