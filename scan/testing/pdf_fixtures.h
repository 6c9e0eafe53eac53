// Test support: small PDF files written with MuPDF, so that tests of the PDF adapter and of the
// runs above it work on real documents they make themselves. Linked only into the test binary.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/platform.h"

namespace marrowfen::scan::testing {

// An RGB picture placed in a page's resources as /Im1 (8 bits a component, rows top first).
struct FixtureImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes
};

// One page. Its resources always hold the font /F1 (Helvetica, Latin encoding), /Im1 when
// `image` is given and /Fm1 when `formContents` is not empty.
struct FixturePage {
  PdfRect mediaBox{.x = 0, .y = 0, .width = 612, .height = 792};  // may have a non-zero origin
  std::optional<int64_t> rotate;  // /Rotate on the page itself; absent: none (inherits)
  std::string contents;           // the page's content stream, as written
  std::string formContents;       // content of the form XObject /Fm1 (bbox = media box)
  std::optional<FixtureImage> image;
};

enum class FixtureEncryption {
  kNone,
  kAes128,  // revision 4
  kAes256,  // revision 6
};

struct FixtureDocument {
  std::vector<FixturePage> pages;
  std::optional<int64_t> inheritedRotate;   // /Rotate on the root of the page tree
  std::optional<int64_t> claimedPageCount;  // overwrites the root's /Count (a lying tree)
  FixtureEncryption encryption = FixtureEncryption::kNone;
  std::string userPassword;   // UTF-8, as given to the writer (already normalised for AES-256)
  std::string ownerPassword;  // UTF-8; with encryption, empty means the user password
};

// Writes the document to `path`; false when MuPDF cannot write it.
bool writeFixturePdf(const FixtureDocument& document, const std::string& path);

// Content-stream snippets, in user space.
// "BT /F1 size Tf [n Tr] x y Td (text) Tj ET": Tr inside the text object when renderMode is given.
std::string textContent(std::string_view text, double x, double y, double size = 12,
                        std::optional<int> renderMode = std::nullopt);
// A filled rectangle in grey (0 black .. 1 white), inside q/Q.
std::string rectContent(double x, double y, double width, double height, double grey = 0);
// /Im1 drawn into the rectangle, inside q/Q.
std::string imageContent(double x, double y, double width, double height);
// "/Fm1 Do" inside q/Q.
std::string formContent();

// A page of `mediaBox` filled by a picture of black text-like bars on white, the way a scanner
// delivers a page: no text layer, only an image.
FixturePage scannedPage(PdfRect mediaBox = {0, 0, 612, 792});

// A unique path in the system's temporary directory ending in `suffix`; the file is not created.
std::string temporaryPath(std::string_view suffix);

}  // namespace marrowfen::scan::testing
