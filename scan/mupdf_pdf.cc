#include "scan/mupdf_pdf.h"

#include <sys/stat.h>
#include <unicode/usprep.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/unicode.h"
#include "scan/mupdf_context.h"
#include "scan/mupdf_deadline.h"
#include "scan/pixel_budget.h"
#include "scan/text_reader_process.h"

extern "C" {
#include <mupdf/pdf.h>
}

// MuPDF reports errors by longjmp (fz_try/fz_catch). Inside a fz_try block this file only calls
// MuPDF and touches plain values and pointers; C++ objects are built outside, before or after.

namespace marrowfen::scan {
namespace {

// Page trees deeper than this are malformed or hostile; MuPDF's own lookup gives up earlier.
constexpr int kMaxPageTreeDepth = 64;
// The largest canvas render() allocates: the pixel budget. Callers cap below it.
constexpr int64_t kMaxRenderPixels = kMaxPixels;
constexpr int64_t kMaxRenderSide = int64_t{1} << 20;

// What the second text reader's child runs: it opens the file open as `file` again (through the
// parent's descriptor, so it is the same file even if the name now points elsewhere) and sends
// the lines of pages first, first + 2, ... below `count`.
TextReaderProcess::ChildMain textReaderChild(FILE* file, const std::optional<std::string>& password,
                                             int64_t first, int64_t count);

// Owns the MuPDF document; shared by the document object and every page loaded from it.
struct DocumentHandle {
  pdf_document* doc = nullptr;
  FILE* file = nullptr;                 // the open file MuPDF reads; closed after the document
  std::optional<std::string> password;  // the password that unlocked it
  std::optional<int64_t> pageCount;     // once counted
  int64_t lastTextPage = -2;            // the page whose text was read last
  TextReaderProcess reader;             // reads every other page when pages are read in order
  DocumentHandle(pdf_document* d, FILE* f) : doc(d), file(f) {}
  DocumentHandle(const DocumentHandle&) = delete;
  DocumentHandle& operator=(const DocumentHandle&) = delete;
  ~DocumentHandle() {
    reader.stop();
    fz_drop_document(mupdfContext(), &doc->super);
    if (file != nullptr) std::fclose(file);
  }
};

PdfRect toPdfRect(fz_rect r) {
  return PdfRect{.x = r.x0, .y = r.y0, .width = r.x1 - r.x0, .height = r.y1 - r.y0};
}

// A rotation snapped to a multiple of 90, keeping its sign: 90 stays 90, -90 stays -90, 100
// becomes 90.
int64_t snappedRotation(int64_t degrees) {
  if (degrees % 90 == 0) return degrees;
  return std::llround(static_cast<double>(degrees) / 90.0) * 90;
}

// 0, 90, 180 or 270: the clockwise quarter turns with which the page is displayed.
int normalisedRotation(int64_t degrees) {
  int64_t r = degrees % 360;
  if (r < 0) r += 360;
  return static_cast<int>(r);
}

// The matrix from unrotated user space to the displayed page of `box`: y down, origin at the top
// left of the rotated box. MuPDF builds its page transform the same way, but from the crop box.
fz_matrix displayTransform(fz_rect box, int rotation) {
  fz_matrix m = fz_scale(1, -1);
  m = fz_pre_rotate(m, static_cast<float>(-rotation));
  const fz_rect displayed = fz_transform_rect(box, m);
  return fz_concat(m, fz_translate(-displayed.x0, -displayed.y0));
}

// The lines of a structured-text page, boxes mapped by `toUser`. Plain struct walking: no MuPDF
// call here can throw.
std::vector<PdfTextLine> linesOf(fz_stext_page* stext, fz_matrix toUser) {
  std::vector<PdfTextLine> lines;
  for (fz_stext_block* block = stext->first_block; block != nullptr; block = block->next) {
    if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* line = block->u.t.first_line; line != nullptr; line = line->next) {
      std::string text;
      for (fz_stext_char* ch = line->first_char; ch != nullptr; ch = ch->next) {
        char utf8[FZ_UTFMAX];
        const int length = fz_runetochar(utf8, ch->c);
        text.append(utf8, static_cast<size_t>(length));
      }
      if (text.empty()) continue;
      lines.push_back(PdfTextLine{.text = std::move(text),
                                  .bounds = toPdfRect(fz_transform_rect(line->bbox, toUser))});
    }
  }
  return lines;
}

struct TextRenderModeScanner {
  pdf_processor super;  // first, so that the processor pointer is the scanner pointer
  const std::function<void(std::optional<int64_t>)>* onTextRenderMode;
};

void scanTr(fz_context*, pdf_processor* proc, int render) {
  auto* scanner = reinterpret_cast<TextRenderModeScanner*>(proc);
  (*scanner->onTextRenderMode)(int64_t{render});
}

// Whether the bytes of a page's content stream, read the way the content processor reads them,
// contain "Tr" anywhere. When they do not, no text render mode operator can be in the stream, and
// the full parse can be skipped. Reads in fixed chunks, so a large stream costs no memory; a
// stream that cannot be read counts as holding the operator, leaving the verdict to the parse.
// Stops, counting as holding it, when `cookie` is aborted.
bool contentsMayHoldTr(fz_context* ctx, pdf_document* doc, pdf_obj* contents,
                       const fz_cookie* cookie) {
  fz_stream* stream = nullptr;
  int found = 1;
  fz_var(stream);
  fz_var(found);
  fz_try(ctx) {
    stream = pdf_open_contents_stream(ctx, doc, contents);
    unsigned char chunk[16384];
    unsigned char previous = 0;
    found = 0;
    for (;;) {
      const size_t n = fz_read(ctx, stream, chunk, sizeof chunk);
      if (n == 0) break;
      if (previous == 'T' && chunk[0] == 'r') found = 1;
      if (!found && n >= 2 && memmem(chunk, n, "Tr", 2) != nullptr) found = 1;
      if (found || __atomic_load_n(&cookie->abort, __ATOMIC_RELAXED)) break;
      previous = chunk[n - 1];
    }
  }
  fz_always(ctx) { fz_drop_stream(ctx, stream); }
  fz_catch(ctx) { found = 1; }
  return found != 0 || __atomic_load_n(&cookie->abort, __ATOMIC_RELAXED);
}

// What fz_new_stext_page_from_page does, with a cookie to stop it. Throws MuPDF errors; call
// inside fz_try.
fz_stext_page* newStextPage(fz_context* ctx, fz_page* page, const fz_stext_options* options,
                            fz_cookie* cookie) {
  fz_stext_page* stext = fz_new_stext_page(ctx, fz_bound_page(ctx, page));
  fz_device* device = nullptr;
  fz_var(device);
  fz_try(ctx) {
    device = fz_new_stext_device(ctx, stext, options);
    fz_run_page_contents(ctx, page, device, fz_identity, cookie);
    fz_close_device(ctx, device);
  }
  fz_always(ctx) { fz_drop_device(ctx, device); }
  fz_catch(ctx) {
    fz_drop_stext_page(ctx, stext);
    fz_rethrow(ctx);
  }
  return stext;
}

class MupdfPage final : public PdfPage {
 public:
  MupdfPage(std::shared_ptr<DocumentHandle> document, fz_page* page, int64_t index,
            PdfRect mediaBox, int64_t rotation, PageTime time)
      : document_(std::move(document)),
        page_(page),
        index_(index),
        mediaBox_(mediaBox),
        rotation_(rotation),
        time_(time) {}
  MupdfPage(const MupdfPage&) = delete;
  MupdfPage& operator=(const MupdfPage&) = delete;
  ~MupdfPage() override { fz_drop_page(mupdfContext(), page_); }

  PdfRect mediaBox() const override { return mediaBox_; }
  int64_t rotation() const override { return rotation_; }

  std::optional<Image> render(double width, double height) const override {
    if (!std::isfinite(width) || !std::isfinite(height)) return std::nullopt;
    const int64_t w = std::max<int64_t>(1, std::llround(std::min(width, 1e12)));
    const int64_t h = std::max<int64_t>(1, std::llround(std::min(height, 1e12)));
    if (w > kMaxRenderSide || h > kMaxRenderSide || w * h > kMaxRenderPixels) return std::nullopt;
    // A page whose time ran out is not drawn, however far the drawing got.
    MupdfDeadline deadline(time_);
    if (deadline.expired()) return std::nullopt;
    const size_t stride = static_cast<size_t>(w) * 4;
    // Opaque white; the page is composited onto it, so every pixel stays opaque.
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(h), 255);
    uint8_t* samples = pixels.data();

    fz_context* ctx = mupdfContext();
    const fz_rect box{static_cast<float>(mediaBox_.x), static_cast<float>(mediaBox_.y),
                      static_cast<float>(mediaBox_.x + mediaBox_.width),
                      static_cast<float>(mediaBox_.y + mediaBox_.height)};
    const int rotation = normalisedRotation(rotation_);
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    int drawn = 0;
    // MuPDF leaves out an object it cannot draw and goes on; when that was for want of budget
    // (a picture declaring gigapixels, a decompression bomb), the page is not drawn as it is,
    // and a page missing its picture must not pass for the page.
    const uint64_t refusedBefore = mupdfRefusedAllocations();
    fz_var(pixmap);
    fz_var(device);
    fz_var(drawn);
    fz_try(ctx) {
      fz_matrix pageCtm;
      pdf_page_transform(ctx, pdf_page_from_fz_page(ctx, page_), nullptr, &pageCtm);
      // fz_run_page applies MuPDF's page transform first; undo it, then map the media box onto
      // the canvas with the rotation applied.
      fz_matrix ctm = displayTransform(box, rotation);
      const bool quarter = rotation % 180 != 0;
      const double displayedWidth = quarter ? mediaBox_.height : mediaBox_.width;
      const double displayedHeight = quarter ? mediaBox_.width : mediaBox_.height;
      if (displayedWidth > 0 && displayedHeight > 0) {
        ctm = fz_concat(ctm, fz_scale(static_cast<float>(w / displayedWidth),
                                      static_cast<float>(h / displayedHeight)));
      }
      ctm = fz_concat(fz_invert_matrix(pageCtm), ctm);
      pixmap =
          fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), static_cast<int>(w), static_cast<int>(h),
                                  nullptr, 1, static_cast<int>(stride), samples);
      device = fz_new_draw_device(ctx, fz_identity, pixmap);
      fz_run_page(ctx, page_, device, ctm, deadline.cookie());
      fz_close_device(ctx, device);
      drawn = 1;
    }
    fz_always(ctx) {
      fz_drop_device(ctx, device);
      fz_drop_pixmap(ctx, pixmap);
    }
    fz_catch(ctx) { drawn = 0; }
    if (!drawn || deadline.expired() || mupdfRefusedAllocations() != refusedBefore) {
      return std::nullopt;
    }
    return Image(static_cast<int32_t>(w), static_cast<int32_t>(h), PixelFormat::kRgbx, stride,
                 std::move(pixels));
  }

  std::optional<std::string> text() const override {
    auto lines = textLines();
    if (!lines || lines->empty()) return std::nullopt;
    std::string joined;
    for (const PdfTextLine& line : *lines) {
      if (!joined.empty()) joined += '\n';
      joined += line.text;
    }
    return joined;
  }

  std::optional<std::vector<PdfTextLine>> textLines() const override {
    // The text and its lines come from one structured-text pass, kept for the page's lifetime:
    // the source choice and the fragments both ask for it.
    if (!textLinesRead_) {
      if (!document_->reader.take(index_, textLines_)) textLines_ = extractTextLines();
      textLinesRead_ = true;
      startReaderIfSequential();
    }
    return textLines_;
  }

  // Pages read one after the other get the second reader for the pages after the next one, when
  // enough of them are left to be worth a process.
  void startReaderIfSequential() const {
    DocumentHandle& d = *document_;
    const bool sequential = d.lastTextPage == index_ - 1;
    d.lastTextPage = index_;
    constexpr int64_t kMinPagesLeft = 6;
    if (!sequential || d.reader.started() || !d.pageCount || d.file == nullptr ||
        *d.pageCount - index_ <= kMinPagesLeft) {
      return;
    }
    d.reader.start(index_ + 2, *d.pageCount,
                   textReaderChild(d.file, d.password, index_ + 2, *d.pageCount));
  }

  // Nothing also when the page's time ran out: part of a page's text is not its text.
  std::optional<std::vector<PdfTextLine>> extractTextLines() const {
    fz_context* ctx = mupdfContext();
    MupdfDeadline deadline(time_);
    if (deadline.expired()) return std::nullopt;
    fz_stext_page* stext = nullptr;
    fz_matrix toUser = fz_identity;
    fz_var(stext);
    fz_try(ctx) {
      fz_matrix pageCtm;
      pdf_page_transform(ctx, pdf_page_from_fz_page(ctx, page_), nullptr, &pageCtm);
      toUser = fz_invert_matrix(pageCtm);
      fz_stext_options options{};
      stext = newStextPage(ctx, page_, &options, deadline.cookie());
    }
    fz_catch(ctx) { stext = nullptr; }
    if (stext != nullptr && deadline.expired()) {
      fz_drop_stext_page(ctx, stext);
      stext = nullptr;
    }
    if (stext == nullptr) return std::nullopt;
    std::vector<PdfTextLine> lines = linesOf(stext, toUser);
    fz_drop_stext_page(ctx, stext);
    return lines;
  }

  bool scanTextRenderModes(
      const std::function<void(std::optional<int64_t>)>& onTextRenderMode) const override {
    fz_context* ctx = mupdfContext();
    MupdfDeadline deadline(time_);
    if (deadline.expired()) return false;
    fz_cookie* cookie = deadline.cookie();
    pdf_processor* processor = nullptr;
    int scanned = 0;
    fz_var(processor);
    fz_var(scanned);
    fz_try(ctx) {
      pdf_page* page = pdf_page_from_fz_page(ctx, page_);
      pdf_obj* contents = pdf_page_contents(ctx, page);
      if (contents != nullptr && !contentsMayHoldTr(ctx, page->doc, contents, cookie)) {
        scanned = 1;
      } else if (contents != nullptr) {
        processor = static_cast<pdf_processor*>(
            pdf_new_processor(ctx, static_cast<int>(sizeof(TextRenderModeScanner))));
        reinterpret_cast<TextRenderModeScanner*>(processor)->onTextRenderMode = &onTextRenderMode;
        // Only "Tr" is seen; op_Do_form stays unset so form XObjects are not entered.
        processor->op_Tr = scanTr;
        pdf_process_contents(ctx, processor, page->doc, pdf_page_resources(ctx, page), contents,
                             cookie);
        pdf_close_processor(ctx, processor);
        scanned = 1;
      }
    }
    fz_always(ctx) { pdf_drop_processor(ctx, processor); }
    fz_catch(ctx) { scanned = 0; }
    return scanned != 0 && !deadline.expired();
  }

 private:
  std::shared_ptr<DocumentHandle> document_;
  fz_page* page_;
  int64_t index_;
  PdfRect mediaBox_;
  int64_t rotation_;
  mutable PageTime time_;  // what is left of the time MuPDF may spend on this page
  mutable bool textLinesRead_ = false;
  mutable std::optional<std::vector<PdfTextLine>> textLines_;
};

// Counts the pages under a page-tree node the way MuPDF's page lookup descends (a kid is an inner
// node when its /Type is /Pages, or when it has no /Type but /Kids and no /MediaBox; any other
// kid is one page), and sets each inner node's /Count to that number, in memory, so that MuPDF's
// lookup agrees with the tree that exists. Inner nodes are marked once visited and never entered
// again, which bounds the work by the file's size even when nodes are shared or form cycles.
// Throws MuPDF errors; call inside fz_try.
int64_t countReachablePages(fz_context* ctx, pdf_obj* node, int depth,
                            std::vector<pdf_obj*>& marked) {
  if (depth > kMaxPageTreeDepth || pdf_mark_obj(ctx, node)) return 0;
  marked.push_back(node);
  pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
  const int length = pdf_array_len(ctx, kids);
  int64_t count = 0;
  for (int i = 0; i < length; ++i) {
    pdf_obj* kid = pdf_array_get(ctx, kids, i);
    pdf_obj* type = pdf_dict_get(ctx, kid, PDF_NAME(Type));
    const bool inner = type != nullptr ? pdf_name_eq(ctx, type, PDF_NAME(Pages))
                                       : pdf_dict_get(ctx, kid, PDF_NAME(Kids)) != nullptr &&
                                             pdf_dict_get(ctx, kid, PDF_NAME(MediaBox)) == nullptr;
    count += inner ? countReachablePages(ctx, kid, depth + 1, marked) : 1;
    if (count >= INT32_MAX) break;  // MuPDF numbers pages with int
  }
  count = std::min<int64_t>(count, INT32_MAX - 1);
  if (pdf_dict_get_int(ctx, node, PDF_NAME(Count)) != count) {
    pdf_dict_put_int(ctx, node, PDF_NAME(Count), count);
  }
  return count;
}

// A page side longer than this (about 35 m) is no page: such a box is treated as unreadable.
constexpr double kMaxBoxSide = 100000;
const fz_rect kUsLetter{0, 0, 612, 792};

bool saneBox(fz_rect r) {
  return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1) &&
         r.x1 - r.x0 >= 1 && r.y1 - r.y0 >= 1 && r.x1 - r.x0 <= kMaxBoxSide &&
         r.y1 - r.y0 <= kMaxBoxSide && std::fabs(r.x0) <= kMaxBoxSide &&
         std::fabs(r.y0) <= kMaxBoxSide;
}

// The media box when it is an array of four finite numbers enclosing at least a point square,
// corners in any order; nothing for a missing, malformed, empty or absurdly large box. Throws
// MuPDF errors; call inside fz_try.
std::optional<fz_rect> usableBox(fz_context* ctx, pdf_obj* array) {
  if (!pdf_is_array(ctx, array) || pdf_array_len(ctx, array) != 4) return std::nullopt;
  float v[4];
  for (int i = 0; i < 4; ++i) {
    pdf_obj* number = pdf_array_get(ctx, array, i);
    if (!pdf_is_number(ctx, number)) return std::nullopt;
    v[i] = pdf_to_real(ctx, number);
  }
  const fz_rect box = fz_make_rect(std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
                                   std::max(v[1], v[3]));
  if (!saneBox(box)) return std::nullopt;
  return box;
}

// The box of a page without a usable media box: US Letter, which is what MuPDF lays such a page
// out on, widened to take in whatever the page draws outside it, so that nothing drawn (text
// above all) falls off the page. Letter alone when the drawing's bounds are empty or absurd.
// Throws MuPDF errors; call inside fz_try.
fz_rect fallbackBox(fz_context* ctx, fz_page* page, fz_cookie* cookie) {
  fz_rect content = fz_empty_rect;
  fz_device* device = nullptr;
  fz_var(device);
  fz_try(ctx) {
    fz_matrix pageCtm;
    pdf_page_transform(ctx, pdf_page_from_fz_page(ctx, page), nullptr, &pageCtm);
    device = fz_new_bbox_device(ctx, &content);
    // Back into unrotated user space, where the media box lives.
    fz_run_page(ctx, page, device, fz_invert_matrix(pageCtm), cookie);
    fz_close_device(ctx, device);
  }
  fz_always(ctx) { fz_drop_device(ctx, device); }
  fz_catch(ctx) { content = fz_empty_rect; }
  if (fz_is_empty_rect(content) || fz_is_infinite_rect(content)) return kUsLetter;
  const fz_rect joined = fz_union_rect(kUsLetter, content);
  if (saneBox(joined)) return joined;
  return saneBox(content) ? content : kUsLetter;
}

// fallbackBox within the page's time; Letter when it ran out (the page is then neither read nor
// drawn).
fz_rect fallbackBoxWithin(fz_context* ctx, fz_page* page, PageTime& time) {
  MupdfDeadline deadline(time);
  fz_rect box = kUsLetter;
  fz_var(box);
  fz_try(ctx) { box = fallbackBox(ctx, page, deadline.cookie()); }
  fz_catch(ctx) { box = kUsLetter; }
  return deadline.expired() ? kUsLetter : box;
}

class MupdfDocument final : public PdfDocument {
 public:
  MupdfDocument(std::shared_ptr<DocumentHandle> handle, bool locked)
      : handle_(std::move(handle)), locked_(locked) {}

  bool isLocked() const override { return locked_; }

  bool unlock(const std::string& password) override {
    if (!locked_) return true;
    fz_context* ctx = mupdfContext();
    pdf_document* doc = handle_->doc;
    std::vector<std::string> candidates;
    // Revision 5 and 6 (AES-256) passwords are SASLprep-normalised UTF-8; MuPDF takes the bytes
    // as given, so a password typed in another normalisation form would fail without this.
    int revision = 0;
    fz_var(revision);
    fz_try(ctx) { revision = doc->crypt != nullptr ? pdf_crypt_revision(ctx, doc->crypt) : 0; }
    fz_catch(ctx) { revision = 0; }
    if (revision >= 5) {
      if (auto prepared = saslPrepared(password)) candidates.push_back(*prepared);
    }
    candidates.push_back(password);
    for (const std::string& candidate : candidates) {
      const char* bytes = candidate.c_str();
      int authenticated = 0;
      fz_var(authenticated);
      fz_try(ctx) { authenticated = pdf_authenticate_password(ctx, doc, bytes); }
      fz_catch(ctx) { authenticated = 0; }
      if (authenticated != 0) {
        locked_ = false;
        handle_->password = password;
        return true;
      }
    }
    return false;
  }

  int64_t pageCount() const override {
    if (locked_) return 0;
    if (!handle_->pageCount) handle_->pageCount = countPages();
    return *handle_->pageCount;
  }

  std::unique_ptr<PdfPage> pageAt(int64_t index) const override {
    if (index < 0 || index >= pageCount()) return nullptr;
    fz_context* ctx = mupdfContext();
    fz_page* page = nullptr;
    std::optional<fz_rect> box;
    int rotation = 0;
    PageTime time;
    fz_var(page);
    fz_try(ctx) {
      page = fz_load_page(ctx, &handle_->doc->super, static_cast<int>(index));
      pdf_obj* object = pdf_page_from_fz_page(ctx, page)->obj;
      box = usableBox(ctx, pdf_dict_get_inheritable(ctx, object, PDF_NAME(MediaBox)));
      rotation = pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, object, PDF_NAME(Rotate)));
    }
    fz_catch(ctx) {
      fz_drop_page(ctx, page);
      page = nullptr;
    }
    if (page == nullptr) return nullptr;
    if (!box) box = fallbackBoxWithin(ctx, page, time);
    return std::make_unique<MupdfPage>(handle_, page, index, toPdfRect(*box),
                                       snappedRotation(rotation), time);
  }

 private:
  int64_t countPages() const {
    fz_context* ctx = mupdfContext();
    pdf_document* doc = handle_->doc;
    std::vector<pdf_obj*> marked;
    marked.reserve(64);
    int64_t count = 0;
    fz_var(count);
    fz_try(ctx) {
      pdf_obj* root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
      if (root != nullptr) count = countReachablePages(ctx, root, 0, marked);
    }
    fz_catch(ctx) { count = 0; }
    for (pdf_obj* node : marked) pdf_unmark_obj(ctx, node);
    return count;
  }

  std::shared_ptr<DocumentHandle> handle_;
  bool locked_;
};

class MupdfPdfService final : public PdfService {
 public:
  std::unique_ptr<PdfDocument> open(const std::string& path) const override {
    // Only regular files: a FIFO or device named .pdf would block or never end.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    fz_context* ctx = mupdfContext();
    if (ctx == nullptr) return nullptr;
    // The file is opened here rather than by MuPDF, so that the second text reader can open the
    // very same file through its descriptor.
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    pdf_document* doc = nullptr;
    fz_stream* stream = nullptr;
    int locked = 0;
    int usable = 0;
    fz_var(doc);
    fz_var(stream);
    fz_var(locked);
    fz_var(usable);
    fz_try(ctx) {
      stream = fz_open_file_ptr_no_close(ctx, file);
      doc = pdf_open_document_with_stream(ctx, stream);
      // A file that MuPDF's repair turned into a document without a catalogue is no PDF.
      usable = pdf_is_dict(ctx, pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root)));
      // Also authenticates an empty user password, as a reader does without asking.
      locked = pdf_needs_password(ctx, doc);
    }
    fz_always(ctx) { fz_drop_stream(ctx, stream); }
    fz_catch(ctx) { usable = 0; }
    if (!usable) {
      if (doc != nullptr) fz_drop_document(ctx, &doc->super);
      std::fclose(file);
      return nullptr;
    }
    return std::make_unique<MupdfDocument>(std::make_shared<DocumentHandle>(doc, file),
                                           locked != 0);
  }
};

TextReaderProcess::ChildMain textReaderChild(FILE* file, const std::optional<std::string>& password,
                                             int64_t first, int64_t count) {
  const std::string path = "/proc/self/fd/" + std::to_string(::fileno(file));
  return [path, password, first, count](int out) {
    std::unique_ptr<PdfDocument> document = mupdfPdfService().open(path);
    if (!document || (document->isLocked() && !(password && document->unlock(*password))) ||
        document->pageCount() != count) {
      return 1;
    }
    const bool sent = sendPageTexts(out, first, count, [&](int64_t index) {
      std::unique_ptr<PdfPage> page = document->pageAt(index);
      PageTextLines lines;
      if (page) lines = static_cast<const MupdfPage&>(*page).extractTextLines();
      return lines;
    });
    return sent ? 0 : 1;
  };
}

}  // namespace

std::optional<std::string> saslPrepared(const std::string& password) {
  UErrorCode status = U_ZERO_ERROR;
  UStringPrepProfile* profile = usprep_openByType(USPREP_RFC4013_SASLPREP, &status);
  if (U_FAILURE(status)) return std::nullopt;
  const std::u16string source = toUtf16(password);
  std::u16string prepared(source.size() * 4 + 16, u'\0');
  const int32_t length = usprep_prepare(
      profile, reinterpret_cast<const UChar*>(source.data()), static_cast<int32_t>(source.size()),
      reinterpret_cast<UChar*>(prepared.data()), static_cast<int32_t>(prepared.size()),
      USPREP_ALLOW_UNASSIGNED, nullptr, &status);
  usprep_close(profile);
  if (U_FAILURE(status)) return std::nullopt;
  prepared.resize(static_cast<size_t>(length));
  return toUtf8(prepared);
}

const PdfService& mupdfPdfService() {
  static const MupdfPdfService service;
  return service;
}

}  // namespace marrowfen::scan
