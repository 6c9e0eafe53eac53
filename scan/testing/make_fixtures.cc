// scan_fixtures <dir>: writes the files that the host tests and benchmarks of marrowfen-scan
// run on, so that none of them has to live in the repository.
//   pages-10.pdf    10 Letter pages with text and a box; page 2 /Rotate 90; page 10 scanned
//   document-20.pdf 20 Letter pages of dense text, rules and a picture, like a real report
//   locked-r6.pdf   AES-256, user password "secret", owner password "owner"
//   truncated.pdf   the first 40 percent of pages-10.pdf
//   transparent.png 300 x 200 RGBA: transparent, with an opaque dark box in its middle
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/testing/pdf_fixtures.h"

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
      p[0] = 30; p[1] = 30; p[2] = 60; p[3] = 255;
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
  return ok ? 0 : 1;
}
