// Inputs that lie about their size, end early or lack what a page needs: each must come back as
// a refusal (an image that is not read, a page that is not drawn) or a sane answer, without the
// decoders first allocating what the header claims.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/image_files.h"
#include "scan/imaging.h"
#include "scan/jpeg_messages.h"
#include "scan/jpx_budget.h"
#include "scan/mupdf_context.h"
#include "scan/mupdf_deadline.h"
#include "scan/mupdf_pdf.h"
#include "scan/pixel_budget.h"
#include "scan/temporary_files.h"
#include "scan/testing/image_bytes.h"
#include "scan/testing/jpeg_file.h"
#include "scan/testing/pdf_fixtures.h"
#include "scan/testing/raw_pdf.h"

namespace marrowfen::scan {
namespace {

using testing::putBigEndian32;
using testing::putLittleEndian16;

std::string pngChunk(const std::string& type, const std::string& data) {
  std::string chunk;
  putBigEndian32(chunk, static_cast<uint32_t>(data.size()));
  const std::string body = type + data;
  chunk += body;
  putBigEndian32(chunk, static_cast<uint32_t>(
                            crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
  return chunk;
}

// A well-formed PNG header declaring width x height (8-bit RGB) over a few bytes of image data.
std::string hugePng(uint32_t width, uint32_t height) {
  std::string header;
  putBigEndian32(header, width);
  putBigEndian32(header, height);
  header += std::string("\x08\x02\x00\x00\x00", 5);
  const std::string data = testing::deflated(std::string(64, '\0'));
  return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", data) +
         pngChunk("IEND", "");
}

// A GIF whose logical screen is screenWidth x screenHeight, around one frame of frameWidth x
// frameHeight at (left, top) whose first pixel is colour 1 (red); the rest of the frame's data is
// missing unless the frame is 1 x 1.
std::string gif(uint16_t screenWidth, uint16_t screenHeight, uint16_t left, uint16_t top,
                uint16_t frameWidth, uint16_t frameHeight) {
  std::string out = "GIF89a";
  putLittleEndian16(out, screenWidth);
  putLittleEndian16(out, screenHeight);
  out += std::string("\x80\x00\x00", 3);              // a global table of 2 colours
  out += std::string("\x00\x00\x00\xff\x00\x00", 6);  // black, red
  out.push_back(',');
  putLittleEndian16(out, left);
  putLittleEndian16(out, top);
  putLittleEndian16(out, frameWidth);
  putLittleEndian16(out, frameHeight);
  out.push_back('\0');
  // Minimum code size 2; codes clear (4), 1, end (5) in 3 bits each.
  out += std::string("\x02\x02\x4c\x01\x00", 5);
  out.push_back(';');
  return out;
}

// A 24-bit BMP header declaring width x height over no pixel data.
std::string hugeBmp(int32_t width, int32_t height) {
  return testing::bmpHeader(width, height, 54) + std::string(48, '\0');
}

// A little-endian TIFF declaring width x height, 8-bit grey, uncompressed, one strip of 4 bytes.
std::string hugeTiff(uint32_t width, uint32_t height) {
  const uint32_t stripOffset = 8 + 2 + 9 * 12 + 4;
  std::string out = testing::tiffDirectory({{256, 4, 1, width},
                                            {257, 4, 1, height},
                                            {258, 3, 1, 8},
                                            {259, 3, 1, 1},
                                            {262, 3, 1, 1},
                                            {273, 4, 1, stripOffset},
                                            {277, 3, 1, 1},
                                            {278, 4, 1, height},
                                            {279, 4, 1, 4}});
  out += std::string(4, '\x80');
  return out;
}

// A baseline JPEG of width x height in grey (a gradient, so the entropy data is not trivial).
std::string jpegOf(int width, int height) {
  const testing::JpegSettings grey{.space = JCS_GRAYSCALE, .components = 1};
  return testing::encodeJpeg(width, height, grey, [&](int y, uint8_t* row) {
    for (int x = 0; x < width; ++x)
      row[static_cast<size_t>(x)] = static_cast<uint8_t>((x * 7 + y * 3) & 0xff);
  });
}

// The JPEG's SOF0 dimensions replaced by width x height.
std::string withJpegSize(std::string jpeg, uint16_t width, uint16_t height) {
  const size_t sof = jpeg.find("\xff\xc0");
  if (sof == std::string::npos) return jpeg;
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width);
  return jpeg;
}

TEST(HostileImageTest, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"PNG 16000 x 16000 in 100 bytes", hugePng(16000, 16000)},
      {"PNG within the budget but more than the file can hold", hugePng(8000, 8000)},
      {"PNG 1 x 2^31-1", hugePng(1, 0x7fffffff)},
      {"GIF frame 16000 x 16000", gif(16000, 16000, 0, 0, 16000, 16000)},
      {"GIF frame within the budget but more than the file can hold",
       gif(8000, 8000, 0, 0, 8000, 8000)},
      {"BMP 16000 x 16000", hugeBmp(16000, 16000)},
      {"BMP 16000 x -16000 (top-down)", hugeBmp(16000, -16000)},
      {"TIFF 16000 x 16000", hugeTiff(16000, 16000)},
      {"TIFF 2^31 x 1", hugeTiff(0x80000000u, 1)},
      {"JPEG 16000 x 16000", withJpegSize(jpegOf(16, 16), 16000, 16000)},
      {"JPEG 65535 x 65535", withJpegSize(jpegOf(16, 16), 65535, 65535)},
  };
  for (const auto& c : cases) {
    const uint64_t refusedBefore = mupdfRefusedAllocations();
    EXPECT_EQ(decodeImage(c.bytes), std::nullopt) << c.what;
    // Refused by the size check, not by the allocator once the decoder had asked for it all.
    EXPECT_EQ(mupdfRefusedAllocations(), refusedBefore) << c.what;
  }
}

// Inputs the fuzzers found crashing a decoder, kept as they were found (base64).
TEST(HostileImageTest, FuzzerFindingsAreRefusedOrDecoded) {
  const char* const kFindings[] = {
      // A TIFF whose pixmap did not match its colour space: MuPDF's grey-to-RGB conversion read
      // past the samples.
      "SUkqAAgAAAAKAAABBAABAAAAZAAAAAEBBAABAAAACAAAAKQBAwADAAAAhgDrAAcBAwABAAAACAAAAAYBAwABAAAABA"
      "AAABEBAgABMQAAAAOhR0k/AQAAABIBAwAAAQAAAQAAAAAAAAAAAAAAA4UA8wAAAGhlaXgAAAAAAAAACAAAABEREa0B"
      "AxERrQED84U=",
  };
  for (const char* finding : kFindings) {
    std::string bytes;
    int bits = 0;
    uint32_t value = 0;
    for (const char* c = finding; *c != '\0' && *c != '='; ++c) {
      const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
      value = (value << 6) | static_cast<uint32_t>(std::strchr(alphabet, *c) - alphabet);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        bytes.push_back(static_cast<char>((value >> bits) & 0xff));
      }
    }
    const auto image = decodeImage(bytes);
    if (image) {
      EXPECT_GT(image->width(), 0);
      EXPECT_GT(image->height(), 0);
    }
  }
}

TEST(HostileImageTest, PixelBudgetIsSharedAndExact) {
  EXPECT_TRUE(withinPixelBudget(8192, 8192));
  EXPECT_FALSE(withinPixelBudget(8192, 8193));
  EXPECT_TRUE(withinPixelBudget(kMaxPixels, 1));
  EXPECT_FALSE(withinPixelBudget(kMaxPixels + 1, 1));
  EXPECT_FALSE(withinPixelBudget(0, 5));
  EXPECT_FALSE(withinPixelBudget(int64_t{1} << 40, int64_t{1} << 40));
  EXPECT_EQ(kMaxImagePixels, kMaxPixels);
  EXPECT_LE(kMaxCanvasPixels, static_cast<double>(kMaxPixels));
}

TEST(HostileImageTest, GifCanvasIsBoundedByItsFrame) {
  // A 1 x 1 frame on a 65535 x 4096 screen: the picture is the frame.
  auto huge = decodeImage(gif(65535, 4096, 30000, 2000, 1, 1));
  ASSERT_TRUE(huge.has_value());
  EXPECT_EQ(huge->width(), 1);
  EXPECT_EQ(huge->height(), 1);
  EXPECT_EQ(huge->row(0)[0], 255);  // red
  EXPECT_EQ(huge->row(0)[1], 0);
  // An ordinary screen around a smaller frame keeps the screen, as viewers show it.
  auto small = decodeImage(gif(40, 30, 5, 6, 1, 1));
  ASSERT_TRUE(small.has_value());
  EXPECT_EQ(small->width(), 40);
  EXPECT_EQ(small->height(), 30);
  EXPECT_EQ(small->format(), PixelFormat::kRgba);
  EXPECT_EQ(small->row(6)[5 * 4], 255);
  EXPECT_EQ(small->row(6)[5 * 4 + 3], 255);
  EXPECT_EQ(small->row(0)[3], 0);  // uncovered: transparent
}

TEST(HostileImageTest, JpegThatEndsEarlyIsUnreadableAndSilent) {
  const std::string whole = jpegOf(256, 256);
  ASSERT_TRUE(decodeImage(whole).has_value());
  const size_t scan = whole.find("\xff\xda");
  ASSERT_NE(scan, std::string::npos);
  ::testing::internal::CaptureStderr();
  const uint64_t before = jpegDataEndedEarlyCount();
  for (size_t cut : {scan + 40, (scan + whole.size()) / 2, whole.size() - 40, whole.size() - 3}) {
    EXPECT_EQ(decodeImage(whole.substr(0, cut)), std::nullopt) << cut << " of " << whole.size();
  }
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "");
  EXPECT_GT(jpegDataEndedEarlyCount(), before);
}

struct PdfFile {
  std::string path = testing::temporaryPath(".pdf");
  explicit PdfFile(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  ~PdfFile() { std::remove(path.c_str()); }
};

// One page with `pageEntries` in its dictionary (no /MediaBox unless given there) showing
// `contents` with Helvetica as /F1.
std::string onePagePdf(const std::string& pageEntries, const std::string& contents,
                       const std::string& resources = "/Font << /F1 4 0 R >>",
                       const std::vector<std::string>& more = {}) {
  return testing::onePagePdf(pageEntries, resources,
                             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                             testing::pdfStream("", contents), more);
}

bool hasInk(const Image& image) {
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width(); ++x) {
      if (image.row(y)[static_cast<size_t>(x) * bytesPerPixel(image.format())] < 128) return true;
    }
  }
  return false;
}

TEST(HostilePdfTest, PageWithoutUsableMediaBoxKeepsItsTextAndDraws) {
  const std::string text = "BT /F1 24 Tf 72 700 Td (Certificate of birth) Tj ET";
  const struct {
    const char* what;
    std::string entries;
    double width, height;  // the box expected
  } cases[] = {
      {"no box", "", 612, 792},
      {"empty box", "/MediaBox [0 0 0 0]", 612, 792},
      {"three numbers", "/MediaBox [0 0 612]", 612, 792},
      {"not an array", "/MediaBox (A4)", 612, 792},
      {"names inside", "/MediaBox [/a /b /c /d]", 612, 792},
      {"absurd size", "/MediaBox [0 0 1e30 1e30]", 612, 792},
      {"a usable box stays", "/MediaBox [0 0 595 842]", 595, 842},
  };
  for (const auto& c : cases) {
    PdfFile file(onePagePdf(c.entries, text));
    auto document = mupdfPdfService().open(file.path);
    ASSERT_NE(document, nullptr) << c.what;
    auto page = document->pageAt(0);
    ASSERT_NE(page, nullptr) << c.what;
    const PdfRect box = page->mediaBox();
    EXPECT_NEAR(box.width, c.width, 0.01) << c.what;
    EXPECT_NEAR(box.height, c.height, 0.01) << c.what;
    auto lines = page->textLines();
    ASSERT_TRUE(lines.has_value()) << c.what;
    ASSERT_EQ(lines->size(), 1u) << c.what;
    EXPECT_EQ((*lines)[0].text, "Certificate of birth") << c.what;
    EXPECT_GE((*lines)[0].bounds.y, box.y) << c.what;
    EXPECT_LE((*lines)[0].bounds.y + (*lines)[0].bounds.height, box.y + box.height) << c.what;
    const PageCanvas canvas = pageCanvas(box, page->rotation(), 2, 1600);
    auto image = page->render(canvas.width, canvas.height);
    ASSERT_TRUE(image.has_value()) << c.what;
    EXPECT_LE(image->width(), 1600) << c.what;
    EXPECT_TRUE(hasInk(*image)) << c.what;
  }
}

TEST(HostilePdfTest, PageWithoutBoxTakesInTextOutsideLetter) {
  PdfFile file(onePagePdf("", "BT /F1 24 Tf 700 1000 Td (Far out) Tj ET"));
  auto document = mupdfPdfService().open(file.path);
  ASSERT_NE(document, nullptr);
  auto page = document->pageAt(0);
  ASSERT_NE(page, nullptr);
  const PdfRect box = page->mediaBox();
  EXPECT_EQ(box.x, 0);
  EXPECT_EQ(box.y, 0);
  EXPECT_GT(box.x + box.width, 700);
  EXPECT_GT(box.y + box.height, 1000);
  EXPECT_LT(box.width, 2000);
  const PageCanvas canvas = pageCanvas(box, 0, 2, 1600);
  auto image = page->render(canvas.width, canvas.height);
  ASSERT_TRUE(image.has_value());
  EXPECT_TRUE(hasInk(*image));
}

// An embedded JBIG2 stream: a page information segment and an immediate generic region, both
// declaring width x height, with a few bytes of arithmetic-coded data.
std::string jbig2(uint32_t width, uint32_t height) {
  std::string out;
  // Segment 0: page information (type 48), page 1, 19 bytes.
  putBigEndian32(out, 0);
  out += std::string("\x30\x00\x01", 3);
  putBigEndian32(out, 19);
  putBigEndian32(out, width);
  putBigEndian32(out, height);
  putBigEndian32(out, 0);
  putBigEndian32(out, 0);
  out += std::string("\x00\x00\x00", 3);
  // Segment 1: immediate lossless generic region (type 38), page 1.
  const std::string data(16, '\x55');
  putBigEndian32(out, 1);
  out += std::string("\x26\x00\x01", 3);
  putBigEndian32(out, static_cast<uint32_t>(17 + 1 + 8 + data.size()));
  putBigEndian32(out, width);
  putBigEndian32(out, height);
  putBigEndian32(out, 0);
  putBigEndian32(out, 0);
  out.push_back('\0');  // region flags: replace
  out.push_back('\0');  // generic region flags: arithmetic, template 0
  out += std::string("\x03\xff\xfd\xff\x02\xfe\xfe\xfe", 8);
  out += data;
  return out;
}

TEST(HostilePdfTest, Jbig2RegionOverTheBudgetLeavesThePageUndrawn) {
  const std::string text = "BT /F1 24 Tf 72 700 Td (Text beside the picture) Tj ET";
  const std::string image = testing::pdfStream(
      "/Type /XObject /Subtype /Image /Width 100 /Height 100 /BitsPerComponent 1 "
      "/ColorSpace /DeviceGray /Filter /JBIG2Decode",
      jbig2(65535, 65535));
  PdfFile file(onePagePdf("/MediaBox [0 0 612 792]", text + " q 200 0 0 200 100 100 cm /Im1 Do Q",
                          "/Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >>", {image}));
  auto document = mupdfPdfService().open(file.path);
  ASSERT_NE(document, nullptr);
  auto page = document->pageAt(0);
  ASSERT_NE(page, nullptr);
  const uint64_t before = mupdfRefusedAllocations();
  EXPECT_EQ(page->render(1236, 1600), std::nullopt);
  EXPECT_GT(mupdfRefusedAllocations(), before);
  // The text layer is still there for the source choice.
  auto lines = page->textLines();
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 1u);
  // A page without the bomb draws.
  PdfFile plain(onePagePdf("/MediaBox [0 0 612 792]", text));
  auto plainDocument = mupdfPdfService().open(plain.path);
  ASSERT_NE(plainDocument, nullptr);
  EXPECT_TRUE(plainDocument->pageAt(0)->render(1236, 1600).has_value());
}
// Forms nested `depth` deep, each drawing the next ten times: 10^depth strokes from a few
// hundred bytes, after a line of text.
std::string nestedFormsPdf(int depth, const std::string& pageEntries) {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R " + pageEntries +
          " /Resources << /Font << /F1 4 0 R >> /XObject << /X 6 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      testing::pdfStream("", "BT /F1 24 Tf 72 700 Td (Certificate of birth) Tj ET /X Do"),
  };
  for (int level = 0; level < depth; ++level) {
    const int number = 6 + level;
    std::string body = "0 0 m 100 100 l S\n";
    std::string resources;
    if (level + 1 < depth) {
      body.clear();
      for (int i = 0; i < 10; ++i) body += "q 1 0 0 1 " + std::to_string(i) + " 0 cm /X Do Q\n";
      resources = " /Resources << /XObject << /X " + std::to_string(number + 1) + " 0 R >> >>";
    }
    objects.push_back(
        testing::pdfStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792]" + resources, body));
  }
  return testing::rawPdf(objects);
}

// A million stroked lines in a Flate stream of a few kilobytes, then a line of text.
std::string manyOperatorsPdf() {
  std::string operators;
  for (int i = 0; i < 1000000; ++i) operators += "0 0 m 612 792 l S\n";
  uLongf size = compressBound(operators.size());
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(operators.data()), operators.size());
  packed.resize(size);
  return testing::rawPdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> "
      ">> /Contents [6 0 R 5 0 R] >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      testing::pdfStream("", "BT /F1 24 Tf 72 700 Td (3 Tr) Tj ET"),
      testing::pdfStream("/Filter /FlateDecode", packed),
  });
}

// Sets the time of pages loaded while it lives.
struct PageTimeBudgetFor {
  explicit PageTimeBudgetFor(std::chrono::nanoseconds budget) { setPageTimeBudget(budget); }
  ~PageTimeBudgetFor() { setPageTimeBudget(kPageTimeBudget); }
};

TEST(HostilePdfTest, PageOverItsTimeIsNeitherDrawnNorRead) {
  const struct {
    const char* what;
    std::string pdf;
  } cases[] = {
      // A billion strokes: unstopped, hours, so a watchdog that did not stop MuPDF would hold
      // this test until CTest's timeout rather than let it pass late.
      {"forms nested nine deep", nestedFormsPdf(9, "/MediaBox [0 0 612 792]")},
      {"forms nested nine deep on a page without a box", nestedFormsPdf(9, "")},
      {"a million operators", manyOperatorsPdf()},
  };
  for (const auto& c : cases) {
    PdfFile file(c.pdf);
    const PageTimeBudgetFor budget(std::chrono::milliseconds(1));
    auto document = mupdfPdfService().open(file.path);
    ASSERT_NE(document, nullptr) << c.what;
    auto page = document->pageAt(0);
    ASSERT_NE(page, nullptr) << c.what;
    EXPECT_GT(page->mediaBox().width, 0) << c.what;
    EXPECT_EQ(page->render(1236, 1600), std::nullopt) << c.what;
    EXPECT_EQ(page->textLines(), std::nullopt) << c.what;
    EXPECT_EQ(page->text(), std::nullopt) << c.what;
    EXPECT_FALSE(page->scanTextRenderModes([](std::optional<int64_t>) {})) << c.what;
  }
  // Outside the tiny budget MuPDF works as before: the allocator is not left refusing, the same
  // kind of page with less nesting is drawn and read.
  PdfFile light(nestedFormsPdf(2, "/MediaBox [0 0 612 792]"));
  auto document = mupdfPdfService().open(light.path);
  ASSERT_NE(document, nullptr);
  auto page = document->pageAt(0);
  ASSERT_NE(page, nullptr);
  auto image = page->render(1236, 1600);
  ASSERT_TRUE(image.has_value());
  EXPECT_TRUE(hasInk(*image));
  auto lines = page->textLines();
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), 1u);
  EXPECT_EQ((*lines)[0].text, "Certificate of birth");
  bool sawMode = false;
  EXPECT_TRUE(page->scanTextRenderModes([&](std::optional<int64_t>) { sawMode = true; }));
  EXPECT_FALSE(sawMode);
}

// The time is the page's, not each call's: once spent, a later call fails without working.
TEST(HostilePdfTest, PageTimeIsSharedByEveryPieceOfWork) {
  PageTime time{.left = std::chrono::milliseconds(50)};
  {
    MupdfDeadline deadline(time);
    EXPECT_FALSE(deadline.expired());
    EXPECT_EQ(deadline.cookie()->abort, 0);
  }
  EXPECT_FALSE(time.spent);
  EXPECT_GT(time.left, std::chrono::nanoseconds::zero());
  time.left = std::chrono::nanoseconds::zero();
  MupdfDeadline after(time);
  EXPECT_TRUE(after.expired());
  EXPECT_EQ(after.cookie()->abort, 1);
}

void putBigEndian16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

// A JPEG 2000 codestream declaring width x height in tiles of tileWidth x tileHeight, with
// `components` 8-bit components, no wavelet levels and every packet empty: what it decodes to is
// mid-grey, however large it says it is.
std::string jpxCodestream(uint32_t width, uint32_t height, uint32_t tileWidth, uint32_t tileHeight,
                          uint16_t components) {
  std::string out("\xff\x4f\xff\x51", 4);  // SOC, SIZ
  putBigEndian16(out, static_cast<uint16_t>(38 + 3 * components));
  putBigEndian16(out, 0);
  for (uint32_t v : {width, height, 0u, 0u, tileWidth, tileHeight, 0u, 0u}) putBigEndian32(out, v);
  putBigEndian16(out, components);
  for (uint16_t c = 0; c < components; ++c) out += std::string("\x07\x01\x01", 3);
  // COD: layer-resolution order, one layer, no colour transform, no decomposition, 64 x 64
  // code-blocks, the reversible 5-3 filter. QCD: no quantisation, 8-bit range.
  out += std::string("\xff\x52\x00\x0c\x00\x00\x00\x01\x00\x00\x04\x04\x00\x01", 14);
  out += std::string("\xff\x5c\x00\x04\x40\x40", 6);
  // One tile-part holding one empty packet, then EOC.
  out += std::string("\xff\x90\x00\x0a\x00\x00\x00\x00\x00\x0f\x00\x01", 12);
  out += std::string("\xff\x93\x00\xff\xd9", 5);
  return out;
}

// The same one-component codestream in a JP2 file: signature, file type, a header repeating
// the codestream's size (grey), a box to skip, then the codestream box.
std::string jp2File(const std::string& codestream) {
  std::string out("\x00\x00\x00\x0cjP  \x0d\x0a\x87\x0a", 12);
  out += std::string(
      "\x00\x00\x00\x14"
      "ftypjp2 \x00\x00\x00\x00jp2 ",
      20);
  out += std::string(
      "\x00\x00\x00\x2d"
      "jp2h\x00\x00\x00\x16"
      "ihdr",
      16);
  out += codestream.substr(12, 4) + codestream.substr(8, 4);  // height, width
  out += std::string("\x00\x01\x07\x07\x00\x00", 6);
  out += std::string(
      "\x00\x00\x00\x0f"
      "colr\x01\x00\x00\x00\x00\x00\x11",
      15);
  out += std::string(
      "\x00\x00\x00\x09"
      "free\x00",
      9);
  putBigEndian32(out, static_cast<uint32_t>(8 + codestream.size()));
  return out + "jp2c" + codestream;
}

TEST(HostileJpxTest, DeclaredSizeIsCheckedBeforeDecoding) {
  const struct {
    const char* what;
    std::string codestream;
    bool allowed;
  } cases[] = {
      {"64 x 64 grey", jpxCodestream(64, 64, 64, 64, 1), true},
      {"8192 x 8192 grey: the whole pixel budget", jpxCodestream(8192, 8192, 8192, 8192, 1), true},
      {"8193 x 8192", jpxCodestream(8193, 8192, 8193, 8192, 1), false},
      {"65535 x 65535", jpxCodestream(65535, 65535, 65535, 65535, 1), false},
      {"2^32-1 x 1", jpxCodestream(0xffffffffu, 1, 0xffffffffu, 1, 1), false},
      {"6000 x 6000 RGB: 108 M samples", jpxCodestream(6000, 6000, 6000, 6000, 3), true},
      {"8000 x 8000 RGB: 192 M samples", jpxCodestream(8000, 8000, 8000, 8000, 3), false},
      {"4096 tiles", jpxCodestream(4096, 4096, 64, 64, 1), true},
      {"65535 tiles of one pixel", jpxCodestream(255, 257, 1, 1, 1), false},
      {"1024 tiles of 32 components", jpxCodestream(1024, 1024, 32, 32, 32), false},
  };
  for (const auto& c : cases) {
    for (const std::string& bytes : {c.codestream, jp2File(c.codestream)}) {
      const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
      EXPECT_EQ(jpxWithinBudget(data, bytes.size()), c.allowed) << c.what;
    }
  }
  // Without a SIZ where OpenJPEG looks for one, OpenJPEG refuses the file by itself.
  const std::string cut = jpxCodestream(65535, 65535, 65535, 65535, 1).substr(0, 20);
  EXPECT_TRUE(jpxWithinBudget(reinterpret_cast<const unsigned char*>(cut.data()), cut.size()));
}

TEST(HostileJpxTest, HugeJpxInPdfLeavesThePageUndrawnAndItsTextRead) {
  const std::string text = "BT /F1 24 Tf 72 700 Td (Text beside the picture) Tj ET";
  const auto pdfWith = [&](const std::string& jpx) {
    // The dictionary declares a small picture; the codestream decides.
    return onePagePdf("/MediaBox [0 0 612 792]", text + " q 200 0 0 200 100 100 cm /Im1 Do Q",
                      "/Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >>",
                      {testing::pdfStream("/Type /XObject /Subtype /Image /Width 64 /Height 64 "
                                          "/Filter /JPXDecode",
                                          jpx)});
  };
  const struct {
    const char* what;
    std::string jpx;
    bool drawn;
  } cases[] = {
      {"64 x 64", jpxCodestream(64, 64, 64, 64, 1), true},
      {"64 x 64 in a JP2 file", jp2File(jpxCodestream(64, 64, 64, 64, 1)), true},
      {"65535 x 65535", jpxCodestream(65535, 65535, 65535, 65535, 1), false},
      {"65535 x 65535 in a JP2 file", jp2File(jpxCodestream(65535, 65535, 65535, 65535, 1)), false},
      {"65535 tiles of one pixel", jpxCodestream(255, 257, 1, 1, 1), false},
  };
  for (const auto& c : cases) {
    PdfFile file(pdfWith(c.jpx));
    auto document = mupdfPdfService().open(file.path);
    ASSERT_NE(document, nullptr) << c.what;
    auto page = document->pageAt(0);
    ASSERT_NE(page, nullptr) << c.what;
    const uint64_t before = mupdfRefusedAllocations();
    EXPECT_EQ(page->render(1236, 1600).has_value(), c.drawn) << c.what;
    EXPECT_EQ(mupdfRefusedAllocations() > before, !c.drawn) << c.what;
    auto lines = page->textLines();
    ASSERT_TRUE(lines.has_value()) << c.what;
    ASSERT_EQ(lines->size(), 1u) << c.what;
    EXPECT_EQ((*lines)[0].text, "Text beside the picture") << c.what;
  }
}

TEST(HostileJpxTest, HugeJpxImageFileIsRefused) {
  EXPECT_TRUE(decodeImage(jpxCodestream(64, 64, 64, 64, 1)).has_value());
  EXPECT_TRUE(decodeImage(jp2File(jpxCodestream(64, 64, 64, 64, 1))).has_value());
  EXPECT_EQ(decodeImage(jpxCodestream(20000, 20000, 20000, 20000, 1)), std::nullopt);
  EXPECT_EQ(decodeImage(jp2File(jpxCodestream(65535, 65535, 65535, 65535, 1))), std::nullopt);
  EXPECT_EQ(decodeImage(jpxCodestream(255, 257, 1, 1, 4)), std::nullopt);
}

TEST(TemporaryFilesTest, StaleFilesOfDeadWritersAreRemovedAndNothingElse) {
  namespace fs = std::filesystem;
  const fs::path directory = testing::temporaryPath("-stale");
  fs::create_directories(directory);
  const auto touch = [&](const std::string& name, int ageSeconds) {
    const fs::path path = directory / name;
    std::ofstream(path) << "x";
    const timeval times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
    ::utimes(path.c_str(), times);
  };
  const std::string live = temporaryFileName("page-0003.png", ::getpid(), 7);
  touch(temporaryFileName("page-0001.png", 999999999, 0), 0);  // no such process
  touch(".page-0002.png.Ab12Cd", 3600);                        // earlier form, an hour old
  touch(live, 3600);                                           // this process still runs
  touch(".page-0004.png.Xy34Zw", 10);                          // earlier form, just written
  touch("page-0005.png", 3600);
  touch(".page-0006.png.txt", 3600);
  touch(".notes.123.4", 3600);
  removeStaleTemporaryFiles(directory.string());
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(directory))
    left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".notes.123.4", live, ".page-0004.png.Xy34Zw",
                                            ".page-0006.png.txt", "page-0005.png"}));
  fs::remove_all(directory);
}

TEST(TemporaryFilesTest, WritePngLeavesOnlyTheFile) {
  namespace fs = std::filesystem;
  const fs::path directory = testing::temporaryPath("-write");
  fs::create_directories(directory);
  const Image image(3, 2, PixelFormat::kGrey, 3, std::vector<uint8_t>(6, 128));
  const std::string path = (directory / "page-0001.png").string();
  ASSERT_EQ(writePng(image, path), std::nullopt);
  ASSERT_EQ(writePng(image, path), std::nullopt);  // over an existing file
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(directory))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"page-0001.png"});
  std::ifstream in(path, std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(in), {}};
  EXPECT_TRUE(decodeImage(written).has_value());
  fs::remove_all(directory);
}

}  // namespace
}  // namespace marrowfen::scan
