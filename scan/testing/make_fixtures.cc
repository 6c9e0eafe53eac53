// scan_fixtures <dir>: writes the files that the host tests and benchmarks of marrowfen-scan
// run on, so that none of them has to live in the repository.
//   pages-10.pdf    10 Letter pages with text and a box; page 2 /Rotate 90; page 10 scanned
//   document-20.pdf 20 Letter pages of dense text, rules and a picture, like a real report
//   locked-r6.pdf   AES-256, user password "secret", owner password "owner"
//   truncated.pdf   the first 40 percent of pages-10.pdf
//   transparent.png 300 x 200 RGBA: transparent, with an opaque dark box in its middle
//   letter.png      a printed letter page as a photo-like grey PNG (text to recognise)
//   mixed.pdf       page 1 born-digital text; page 2 a scan under an invisible OCR layer;
//                   page 3 a scan with no text layer
//   sample-letter.pdf  page 1 born-digital letter, page 2 a scanned page (testdata/ ships a copy)
//   text-50.pdf     50 born-digital pages of text (a text layer on every page)
//   ocr/NAME.pgm + NAME.txt  page pictures in several fonts and sizes with their true text
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/testing/pdf_fixtures.h"
#include "scan/testing/text_image.h"

using namespace marrowfen::scan::testing;

namespace {

FixturePage textPage(int number) {
  FixturePage page;
  page.contents = textContent("Page " + std::to_string(number), 72, 700, 28) +
                  textContent("A short line of text on this page.", 72, 660, 12) +
                  rectContent(72, 400, 300, 150, 0.2);
  return page;
}

FixturePage densePage(int number) {
  FixturePage page = scannedPage();
  page.contents += textContent("Report, page " + std::to_string(number), 72, 740, 18);
  for (int line = 0; line < 48; ++line) {
    page.contents += textContent(
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor " +
            std::to_string(line),
        72, 710 - line * 13.5, 10);
  }
  page.contents += rectContent(72, 60, 468, 1, 0);
  return page;
}

const std::vector<std::string> kLetterLines = {
    "Municipal Records Office",
    "12 Harbour Street, Dunmore",
    "",
    "Certificate of Residence",
    "",
    "This is to certify that Priya Sharma",
    "has resided at the above address",
    "since 14 March 2019.",
    "",
    "Issued on 2 December 2026.",
};

// The letter as a grey page picture at 150 dpi (Letter size), as a scanner delivers it.
marrowfen::scan::Image letterImage(const std::vector<std::string>& lines) {
  return textImage(lines, 1275, 1650, 44, 120);
}

FixtureImage toFixture(const marrowfen::scan::Image& grey) {
  FixtureImage image{.width = grey.width(), .height = grey.height()};
  image.rgb.reserve(static_cast<size_t>(grey.width()) * grey.height() * 3);
  for (int32_t y = 0; y < grey.height(); ++y) {
    for (int32_t x = 0; x < grey.width(); ++x) image.rgb.insert(image.rgb.end(), 3, grey.row(y)[x]);
  }
  return image;
}

// A page that is only a picture of `lines`; with `ocrLayer`, the same text laid over it
// invisibly (render mode 3), as OCR tools write it.
FixturePage scannedTextPage(const std::vector<std::string>& lines, bool ocrLayer) {
  FixturePage page;
  page.image = toFixture(letterImage(lines));
  page.contents = imageContent(0, 0, 612, 792);
  if (ocrLayer) {
    for (size_t i = 0; i < lines.size(); ++i) {
      page.contents += textContent(lines[i], 57.6, 792 - 57.6 - 21.1 * (i + 1), 21, 3);
    }
  }
  return page;
}

FixturePage bornDigitalLetter() {
  FixturePage page;
  double y = 720;
  for (const std::string& line : kLetterLines) {
    if (!line.empty()) page.contents += textContent(line, 72, y, 14);
    y -= 22;
  }
  return page;
}

bool writeGreyPng(const marrowfen::scan::Image& grey, const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(grey.width());
  image.height = static_cast<png_uint_32>(grey.height());
  image.format = PNG_FORMAT_GRAY;
  return png_image_write_to_file(&image, path.c_str(), 0, grey.row(0),
                                 static_cast<png_int_32>(grey.stride()), nullptr) != 0;
}

// A clean grey page picture as binary PGM (the benchmarks degrade it further).
bool writePgm(const marrowfen::scan::Image& grey, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P5\n" << grey.width() << " " << grey.height() << "\n255\n";
  for (int32_t y = 0; y < grey.height(); ++y) {
    out.write(reinterpret_cast<const char*>(grey.row(y)), grey.width());
  }
  return static_cast<bool>(out);
}

bool writeOcrSet(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const std::vector<std::string> text = {
      "The quick brown fox jumps over the lazy dog.",
      "Certificate No. 4471-B issued 03/11/2021",
      "Holder: Maria Fernandes, Lisbon, Portugal",
      "Valid until 31 December 2031 unless revoked.",
      "Questions? Call +44 20 7946 0958 or write to",
      "Registry Office, 7 Elm Road, Leeds LS1 4AP",
  };
  const struct {
    const char* name;
    const char* font;
    int size;
  } sets[] = {
      {"sans-36", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 36},
      {"serif-30", "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", 30},
      {"mono-28", "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 28},
      {"sans-22", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 22},
  };
  bool ok = true;
  for (const auto& set : sets) {
    const auto image = textImage(text, 1275, 900, set.size, 90, set.font);
    if (image.empty()) return false;
    ok &= writePgm(image, (dir / (std::string(set.name) + ".pgm")).string());
    std::ofstream truth(dir / (std::string(set.name) + ".txt"));
    for (const auto& line : text) truth << line << "\n";
  }
  return ok;
}

FixturePage textOnlyPage(int number) {
  FixturePage page;
  page.contents = textContent("Chapter " + std::to_string(number), 72, 740, 18);
  for (int line = 0; line < 50; ++line) {
    page.contents +=
        textContent("Records of the office are kept for seven years and then archived, line " +
                        std::to_string(line),
                    72, 712 - line * 13, 10);
  }
  return page;
}

bool writePng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 300;
  image.height = 200;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(300 * 200 * 4, 0);
  for (int y = 80; y < 120; ++y) {
    for (int x = 120; x < 180; ++x) {
      uint8_t* p = &pixels[(y * 300 + x) * 4];
      p[0] = 30;
      p[1] = 30;
      p[2] = 60;
      p[3] = 255;
    }
  }
  return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scan_fixtures <dir>\n");
    return 2;
  }
  const std::filesystem::path dir(argv[1]);
  std::filesystem::create_directories(dir);
  bool ok = true;

  FixtureDocument ten;
  for (int i = 1; i <= 9; ++i) ten.pages.push_back(textPage(i));
  ten.pages[1].rotate = 90;
  ten.pages.push_back(scannedPage());
  ok &= writeFixturePdf(ten, (dir / "pages-10.pdf").string());

  FixtureDocument twenty;
  for (int i = 1; i <= 20; ++i) twenty.pages.push_back(densePage(i));
  ok &= writeFixturePdf(twenty, (dir / "document-20.pdf").string());

  FixtureDocument locked;
  locked.pages = {textPage(1), textPage(2)};
  locked.encryption = FixtureEncryption::kAes256;
  locked.userPassword = "secret";
  locked.ownerPassword = "owner";
  ok &= writeFixturePdf(locked, (dir / "locked-r6.pdf").string());

  std::ifstream in(dir / "pages-10.pdf", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::ofstream(dir / "truncated.pdf", std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 5);

  ok &= writePng((dir / "transparent.png").string());
  ok &= writeGreyPng(letterImage(kLetterLines), (dir / "letter.png").string());

  const std::vector<std::string> scanLines = {"Birth Certificate", "Name: Arjun Mehta",
                                              "Place of Birth: Pune", "Date: 5 June 1988"};
  const std::vector<std::string> lastLines = {"Page three of the record", "Registrar: K. Rao"};
  FixtureDocument mixed;
  mixed.pages = {bornDigitalLetter(), scannedTextPage(scanLines, true),
                 scannedTextPage(lastLines, false)};
  ok &= writeFixturePdf(mixed, (dir / "mixed.pdf").string());

  FixtureDocument sample;
  sample.pages = {bornDigitalLetter(), scannedTextPage(scanLines, false)};
  ok &= writeFixturePdf(sample, (dir / "sample-letter.pdf").string());

  FixtureDocument fifty;
  for (int i = 1; i <= 50; ++i) fifty.pages.push_back(textOnlyPage(i));
  ok &= writeFixturePdf(fifty, (dir / "text-50.pdf").string());
  ok &= writeOcrSet(dir / "ocr");
  return ok ? 0 : 1;
}
