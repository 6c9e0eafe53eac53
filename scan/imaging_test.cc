#include "scan/imaging.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "scan/image_files.h"
#include "scan/run_state.h"
#include "scan/testing/pdf_fixtures.h"

namespace marrowfen::scan {
namespace {

// A grey image of `width` x `height` filled with `background`, with `ink` in the rectangle.
Image greyImage(int32_t width, int32_t height, uint8_t background, int32_t inkX = 0,
                int32_t inkY = 0, int32_t inkWidth = 0, int32_t inkHeight = 0, uint8_t ink = 0) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, background);
  for (int32_t y = inkY; y < inkY + inkHeight; ++y) {
    for (int32_t x = inkX; x < inkX + inkWidth; ++x)
      pixels[static_cast<size_t>(y) * width + x] = ink;
  }
  return Image(width, height, PixelFormat::kGrey, static_cast<size_t>(width), std::move(pixels));
}

// A page double that answers with a white canvas of the requested size and records it.
class FakePage final : public PdfPage {
 public:
  FakePage(PdfRect box, int64_t rotation) : box_(box), rotation_(rotation) {}
  PdfRect mediaBox() const override { return box_; }
  int64_t rotation() const override { return rotation_; }
  std::optional<Image> render(double width, double height) const override {
    requested = {width, height};
    return greyImage(1, 1, 255);
  }
  std::optional<std::string> text() const override { return std::nullopt; }
  std::optional<std::vector<PdfTextLine>> textLines() const override { return std::nullopt; }
  bool scanTextRenderModes(const std::function<void(std::optional<int64_t>)>&) const override {
    return false;
  }
  mutable std::pair<double, double> requested{0, 0};

 private:
  PdfRect box_;
  int64_t rotation_;
};

TEST(ImagingTest, PageCanvasSizes) {
  struct Case {
    const char* name;
    PdfRect box;
    int64_t rotation;
    double scale, width, height;
  };
  const double letterScale = 1600.0 / 792.0;
  const Case cases[] = {
      {"Letter", {0, 0, 612, 792}, 0, letterScale, 612 * letterScale, 1600},
      {"Letter 90", {0, 0, 612, 792}, 90, letterScale, 1600, 612 * letterScale},
      {"Letter -270", {0, 0, 612, 792}, -270, letterScale, 1600, 612 * letterScale},
      {"Letter 180", {0, 0, 612, 792}, 180, letterScale, 612 * letterScale, 1600},
      {"Letter -180", {0, 0, 612, 792}, -180, letterScale, 612 * letterScale, 1600},
      {"Letter 450", {0, 0, 612, 792}, 450, letterScale, 1600, 612 * letterScale},
      {"A4", {0, 0, 595, 842}, 0, 2, 1190, 1684},
      {"origin does not matter", {-300, 1000, 595, 842}, 0, 2, 1190, 1684},
      {"empty box", {0, 0, 0, 0}, 0, 2, 1, 1},
      {"hairline", {0, 0, 0.1, 800}, 0, 2, 1, 1600},
  };
  for (const Case& c : cases) {
    const PageCanvas canvas = pageCanvas(c.box, c.rotation, 2, 1600);
    EXPECT_NEAR(canvas.scale, c.scale, 1e-9) << c.name;
    EXPECT_NEAR(canvas.width, c.width, 1e-9) << c.name;
    EXPECT_NEAR(canvas.height, c.height, 1e-9) << c.name;
    EXPECT_FALSE(canvas.capped) << c.name;
  }
  // The minimum long edge does not lower a larger base scale.
  EXPECT_DOUBLE_EQ(pageCanvas({0, 0, 612, 792}, 0, 4, 1600).scale, 4);
  EXPECT_DOUBLE_EQ(pageCanvas({0, 0, 612, 792}, 0, 1, 0).scale, 1);
}

TEST(ImagingTest, HugePageCanvasIsCappedKeepingItsShape) {
  // 200 x 200 inches: 28800 x 28800 pixels at scale 2 without the cap.
  const PageCanvas canvas = pageCanvas({0, 0, 14400, 14400}, 0, 2, 1600);
  EXPECT_TRUE(canvas.capped);
  EXPECT_NEAR(canvas.width * canvas.height, kMaxCanvasPixels, 1);
  EXPECT_NEAR(canvas.width, canvas.height, 1e-6);
  const PageCanvas wide = pageCanvas({0, 0, 20000, 5000}, 90, 2, 1600);
  EXPECT_TRUE(wide.capped);
  EXPECT_NEAR(wide.height / wide.width, 4, 1e-9);
  // An A0 page at scale 2 just fits.
  EXPECT_FALSE(pageCanvas({0, 0, 2384, 3370}, 0, 2, 1600).capped);
}

TEST(ImagingTest, RenderPdfPageAsksForTheCanvasOfTheSettings) {
  const double savedScale = baseRenderScale;
  const double savedEdge = minimumRenderLongEdge;
  baseRenderScale = 2;
  minimumRenderLongEdge = 1600;
  FakePage letter({0, 0, 612, 792}, -90);
  ASSERT_TRUE(renderPdfPage(letter).has_value());
  EXPECT_DOUBLE_EQ(letter.requested.first, 1600);
  EXPECT_NEAR(letter.requested.second, 1236.3636, 1e-3);
  minimumRenderLongEdge = 0;
  baseRenderScale = 3;
  FakePage a4({0, 0, 595, 842}, 0);
  ASSERT_TRUE(renderPdfPage(a4).has_value());
  EXPECT_DOUBLE_EQ(a4.requested.first, 1785);
  EXPECT_DOUBLE_EQ(a4.requested.second, 2526);
  baseRenderScale = savedScale;
  minimumRenderLongEdge = savedEdge;
}

TEST(ImagingTest, GreyscaleSamplesShrinkToTheLongEdgeButNeverEnlarge) {
  struct Case {
    int32_t width, height;
    int64_t sampleWidth, sampleHeight;
  };
  for (const Case& c : {Case{4000, 3000, 300, 225}, Case{200, 100, 200, 100},
                        Case{3000, 4000, 225, 300}, Case{10000, 10, 300, 1}}) {
    auto samples = greyscaleSamples(greyImage(c.width, c.height, 200), 300);
    ASSERT_TRUE(samples.has_value());
    EXPECT_EQ(samples->width, c.sampleWidth);
    EXPECT_EQ(samples->height, c.sampleHeight);
    ASSERT_EQ(samples->pixels.size(), static_cast<size_t>(c.sampleWidth * c.sampleHeight));
    EXPECT_EQ(samples->pixels[0], 200);
  }
}

TEST(ImagingTest, GreyscaleSamplesAverageAreasAndCompositeOnWhite) {
  // A 4 x 4 checkerboard of black and white pixels halves to mid grey everywhere (a point
  // sampler would give black or white).
  std::vector<uint8_t> checker(16);
  for (int i = 0; i < 16; ++i) checker[i] = ((i % 4) + (i / 4)) % 2 ? 255 : 0;
  auto samples = greyscaleSamples(Image(4, 4, PixelFormat::kGrey, 4, checker), 2);
  ASSERT_TRUE(samples.has_value());
  ASSERT_EQ(samples->width, 2);
  for (uint8_t v : samples->pixels) EXPECT_NEAR(v, 128, 1);
  // Transparent black is white; red is its luma.
  Image rgba(2, 1, PixelFormat::kRgba, 8, {0, 0, 0, 0, 255, 0, 0, 255});
  auto grey = greyscaleSamples(rgba, 300);
  ASSERT_TRUE(grey.has_value());
  EXPECT_EQ(grey->pixels[0], 255);
  EXPECT_NEAR(grey->pixels[1], 76, 1);
}

TEST(ImagingTest, InkRegionThresholds) {
  struct Case {
    const char* name;
    Image image;
    std::optional<InkRegion> region;
  };
  const Case cases[] = {
      {"blank white page", greyImage(200, 100, 255), std::nullopt},
      {"mostly dark", greyImage(200, 100, 30, 10, 10, 20, 20, 0), std::nullopt},
      {"level 31, ink 8", greyImage(200, 100, 31, 50, 20, 10, 5, 8),
       InkRegion{.x = 0.25, .y = 0.2, .width = 0.05, .height = 0.05}},
      {"level 31, 9 is no ink", greyImage(200, 100, 31, 50, 20, 10, 5, 9), std::nullopt},
      {"mark", greyImage(200, 100, 250, 100, 50, 50, 25, 0),
       InkRegion{.x = 0.5, .y = 0.5, .width = 0.25, .height = 0.25}},
      {"faint mark, just below 250 - 22", greyImage(200, 100, 250, 100, 50, 50, 25, 227),
       InkRegion{.x = 0.5, .y = 0.5, .width = 0.25, .height = 0.25}},
      {"too faint", greyImage(200, 100, 250, 100, 50, 50, 25, 228), std::nullopt},
  };
  for (const Case& c : cases) {
    const auto region = inkRegion(c.image);
    ASSERT_EQ(region.has_value(), c.region.has_value()) << c.name;
    if (!region) continue;
    EXPECT_DOUBLE_EQ(region->x, c.region->x) << c.name;
    EXPECT_DOUBLE_EQ(region->y, c.region->y) << c.name;
    EXPECT_DOUBLE_EQ(region->width, c.region->width) << c.name;
    EXPECT_DOUBLE_EQ(region->height, c.region->height) << c.name;
  }
}

TEST(ImagingTest, CropKeepsAMarginClampedToTheImage) {
  struct Case {
    const char* name;
    Image image;
    bool cropped;
    int32_t x, y, width, height;  // expected view, relative to the input
  };
  const Case cases[] = {
      // Ink at (100..199, 50..99) of 250 x 250: margins of 10 pixels.
      {"middle", greyImage(250, 250, 255, 100, 50, 100, 50), true, 90, 40, 120, 70},
      // Touching the left and top edges: no margin there.
      {"left edge", greyImage(250, 250, 255, 0, 0, 100, 100), true, 0, 0, 110, 110},
      // Reaching the right and bottom edges: ends at the image's edge.
      {"right edge", greyImage(250, 250, 255, 150, 150, 100, 100), true, 140, 140, 110, 110},
      // Ink covering nine tenths (225 x 225 of 250 x 250 is 0.81; 240 x 240 is 0.92).
      {"nine tenths", greyImage(250, 250, 255, 5, 5, 240, 240), false, 0, 0, 250, 250},
      {"blank", greyImage(250, 250, 255), false, 0, 0, 250, 250},
      // A small mark: 10 + 2 x 10 = 30 pixels wide, under 64.
      {"small mark", greyImage(250, 250, 255, 120, 120, 10, 100), false, 0, 0, 250, 250},
      // 42 + 2 x 10 = 62 (63 once rounded outwards) wide: under 64, so not cropped; 46 + 20 is
      // 66 wide and high: cropped.
      {"63 pixels", greyImage(250, 250, 255, 100, 100, 42, 100), false, 0, 0, 250, 250},
      {"66 pixels", greyImage(250, 250, 255, 100, 100, 46, 46), true, 90, 90, 66, 66},
  };
  for (const Case& c : cases) {
    const Image result = croppedToContent(c.image);
    EXPECT_EQ(result.isSameImage(c.image), !c.cropped) << c.name;
    if (!c.cropped) continue;
    // A view into the input's pixels, not a copy. Edges are rounded outwards from products
    // like 0.56 x 250 that land a hair off the whole number, so each may be one pixel out.
    const ptrdiff_t offset = result.row(0) - c.image.row(0);
    const int32_t x = static_cast<int32_t>(offset % static_cast<ptrdiff_t>(c.image.stride()));
    const int32_t y = static_cast<int32_t>(offset / static_cast<ptrdiff_t>(c.image.stride()));
    EXPECT_NEAR(x, c.x, 1) << c.name;
    EXPECT_NEAR(y, c.y, 1) << c.name;
    EXPECT_NEAR(x + result.width(), c.x + c.width, 1) << c.name;
    EXPECT_NEAR(y + result.height(), c.y + c.height, 1) << c.name;
    EXPECT_LE(x, c.x) << c.name;  // never cut into the margin
    EXPECT_GE(x + result.width(), c.x + c.width) << c.name;
  }
}

TEST(ImagingTest, CropOfALargeImageWorksOnItsSamples) {
  // 3000 x 2000 analysed at 300 x 200: the ink box is found to 10-pixel precision.
  const Image page = greyImage(3000, 2000, 255, 1000, 500, 1000, 1000, 0);
  const Image result = croppedToContent(page);
  EXPECT_NEAR(result.width(), 1000 + 2 * 120, 1);
  EXPECT_NEAR(result.height(), 1000 + 2 * 80, 1);
}

TEST(ImagingTest, FlattenMakesTransparencyWhiteAndEverythingOpaqueRgb) {
  Image rgba(3, 1, PixelFormat::kRgba, 12, {10, 20, 30, 0, 0, 0, 0, 128, 50, 100, 150, 255});
  const Image flat = flattenToOpaqueRgb(rgba);
  ASSERT_EQ(flat.format(), PixelFormat::kRgbx);
  ASSERT_EQ(flat.width(), 3);
  const uint8_t* p = flat.row(0);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[2], 255);
  EXPECT_NEAR(p[4], 127, 1);  // half-transparent black over white
  EXPECT_EQ(p[8], 50);
  EXPECT_EQ(p[9], 100);
  EXPECT_EQ(p[10], 150);
  const Image grey = flattenToOpaqueRgb(greyImage(2, 2, 77));
  EXPECT_EQ(grey.format(), PixelFormat::kRgbx);
  EXPECT_EQ(grey.row(1)[5], 77);
  const Image opaque = flattenToOpaqueRgb(flat);
  EXPECT_TRUE(opaque.isSameImage(flat));
}

TEST(ImagingTest, ResampledImageOnlyWithAScaleOtherThanOne) {
  const RecognitionOptions saved = recognitionOptions;
  const Image image = greyImage(3, 3, 100);
  recognitionOptions.scaleWasSet = false;
  recognitionOptions.renderScale = 0.5;
  EXPECT_TRUE(resampledImage(image).isSameImage(image));
  recognitionOptions.scaleWasSet = true;
  recognitionOptions.renderScale = 1;
  EXPECT_TRUE(resampledImage(image).isSameImage(image));
  recognitionOptions.renderScale = 0.5;
  Image half = resampledImage(image);
  EXPECT_EQ(half.width(), 1);
  EXPECT_EQ(half.height(), 1);
  EXPECT_EQ(half.format(), PixelFormat::kRgbx);
  EXPECT_EQ(half.row(0)[0], 100);
  recognitionOptions.renderScale = 2.5;
  Image larger = resampledImage(greyImage(3, 2, 0, 0, 0, 1, 2, 255));
  EXPECT_EQ(larger.width(), 7);
  EXPECT_EQ(larger.height(), 5);
  EXPECT_EQ(larger.row(2)[0], 255);    // the white left column stays white at the edge
  EXPECT_EQ(larger.row(2)[4 * 6], 0);  // the black right side stays black
  EXPECT_GT(larger.row(2)[4 * 2], 0);  // and between them a gradient, not a step
  EXPECT_LT(larger.row(2)[4 * 2], 255);
  recognitionOptions.renderScale = 8;
  const Image big = greyImage(4000, 3000, 0);
  EXPECT_TRUE(resampledImage(big).isSameImage(big)) << "over the bitmap budget";
  recognitionOptions = saved;
}

TEST(ImagingTest, WritePngRoundTripsAndReplacesAtomically) {
  const std::filesystem::path directory = testing::temporaryPath("-png");
  std::filesystem::create_directories(directory);
  const std::string path = (directory / "page-0001.png").string();
  std::ofstream(path) << std::string(100000, 'x');  // an older, larger file of that name

  const Image rgba(2, 2, PixelFormat::kRgba, 8,
                   {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255});
  const Image grey = greyImage(300, 200, 255, 10, 10, 50, 50, 0);
  const Image rgbx = flattenToOpaqueRgb(grey).cropped(5, 5, 100, 60);  // a view with a stride
  for (const Image* image : {&rgba, &grey, &rgbx}) {
    ASSERT_EQ(writePng(*image, path), std::nullopt);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto decoded = decodeImage(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width(), image->width());
    EXPECT_EQ(decoded->height(), image->height());
    const int bpp = bytesPerPixel(image->format());
    for (int32_t y = 0; y < image->height(); ++y) {
      ASSERT_EQ(
          std::memcmp(decoded->row(y), image->row(y), static_cast<size_t>(image->width()) * bpp),
          0);
    }
  }
  // Only the PNG is left: no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRUSR, 0u);

  EXPECT_EQ(writePng(Image(), path), "Could not encode PNG image.");
  const auto missing = writePng(grey, (directory / "no" / "page.png").string());
  ASSERT_TRUE(missing.has_value());
  EXPECT_NE(missing->find("No such file or directory"), std::string::npos) << *missing;
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace marrowfen::scan
