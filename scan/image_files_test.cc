#include "scan/image_files.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "scan/testing/image_bytes.h"
#include "scan/testing/jpeg_file.h"
#include "scan/testing/pdf_fixtures.h"

namespace marrowfen::scan {
namespace {

// Every picture here is 64 x 32: white, with a dark 16 x 16 square in the top-left corner, so
// that a wrong orientation or a wrong page shows.
constexpr int kWidth = 64;
constexpr int kHeight = 32;

bool inSquare(int x, int y) { return x < 16 && y < 16; }

struct TempFile {
  std::string path;
  explicit TempFile(std::string_view suffix) : path(testing::temporaryPath(suffix)) {}
  ~TempFile() { std::remove(path.c_str()); }
  void write(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
  std::string read() const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// Red, green and blue of the pixel at (x, y), alpha last (255 for opaque formats).
std::array<int, 4> rgbaAt(const Image& image, int x, int y) {
  const uint8_t* p = image.row(y) + static_cast<size_t>(x) * bytesPerPixel(image.format());
  if (image.format() == PixelFormat::kGrey) return {p[0], p[0], p[0], 255};
  return {p[0], p[1], p[2], image.format() == PixelFormat::kRgba ? p[3] : 255};
}

// The square is dark and the far corner white (within a lossy codec's error).
void expectUpright(const Image& image, int tolerance = 12) {
  ASSERT_EQ(image.width(), kWidth);
  ASSERT_EQ(image.height(), kHeight);
  for (int c = 0; c < 3; ++c) {
    EXPECT_LE(rgbaAt(image, 4, 4)[c], tolerance + 20) << "channel " << c;
    EXPECT_GE(rgbaAt(image, kWidth - 4, kHeight - 4)[c], 255 - tolerance) << "channel " << c;
  }
}

std::string jpeg(J_COLOR_SPACE space, int components, const std::vector<uint8_t>& exifApp1 = {}) {
  const testing::JpegSettings settings{
      .space = space, .components = components, .quality = 95, .app1 = exifApp1};
  return testing::encodeJpeg(kWidth, kHeight, settings, [&](int y, uint8_t* row) {
    for (int x = 0; x < kWidth; ++x) {
      const bool dark = inSquare(x, y);
      uint8_t* p = &row[static_cast<size_t>(x) * components];
      if (space == JCS_CMYK) {
        // Adobe-style inverted CMYK, as libjpeg marks it: 255 is no ink. Black is K only.
        p[0] = p[1] = p[2] = 255;
        p[3] = dark ? 0 : 255;
      } else {
        std::memset(p, dark ? 0 : 255, static_cast<size_t>(components));
      }
    }
  });
}

// An APP1 "Exif" payload holding only the Orientation tag (big-endian TIFF).
std::vector<uint8_t> exifOrientation(uint16_t orientation) {
  return {'E',
          'x',
          'i',
          'f',
          0,
          0,  // identifier
          'M',
          'M',
          0,
          42,
          0,
          0,
          0,
          8,  // TIFF header, IFD at 8
          0,
          1,  // one entry
          0x01,
          0x12,
          0,
          3,
          0,
          0,
          0,
          1,  // Orientation, SHORT, count 1
          static_cast<uint8_t>(orientation >> 8),
          static_cast<uint8_t>(orientation),
          0,
          0,
          0,
          0,
          0,
          0};  // no next IFD
}

// PNGs through libpng's full API: any colour type and bit depth.
std::string png(int colourType, int bitDepth, bool withTrns = false) {
  TempFile file(".png");
  FILE* out = std::fopen(file.path.c_str(), "wb");
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(writer);
  png_init_io(writer, out);
  png_set_IHDR(writer, info, kWidth, kHeight, bitDepth, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[2] = {{0, 0, 0}, {255, 255, 255}};
    png_set_PLTE(writer, info, palette, 2);
    if (withTrns) {
      png_byte alpha[2] = {255, 0};  // the white entry is fully transparent
      png_set_tRNS(writer, info, alpha, 2, nullptr);
    }
  }
  png_write_info(writer, info);
  const int channels = colourType == PNG_COLOR_TYPE_RGB          ? 3
                       : colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                       : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                 : 1;
  const int bytesPerSample = bitDepth == 16 ? 2 : 1;
  std::vector<uint8_t> row(static_cast<size_t>(kWidth) * channels * bytesPerSample);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool dark = inSquare(x, y);
      for (int c = 0; c < channels; ++c) {
        const bool alphaChannel = (channels == 4 || channels == 2) && c == channels - 1;
        // With alpha, the background is transparent black: it must come out transparent.
        int value = colourType == PNG_COLOR_TYPE_PALETTE ? (dark ? 0 : 1)
                    : alphaChannel                       ? (dark ? 255 : 0)
                    : channels >= 2 && channels != 3     ? 0
                                                         : (dark ? 0 : 255);
        uint8_t* p = &row[(static_cast<size_t>(x) * channels + c) * bytesPerSample];
        if (bitDepth == 16) {
          const int wide = value == 255 ? 65535 : value * 257;
          p[0] = static_cast<uint8_t>(wide >> 8);
          p[1] = static_cast<uint8_t>(wide);
        } else {
          p[0] = static_cast<uint8_t>(value);
        }
      }
    }
    png_write_row(writer, row.data());
  }
  png_write_end(writer, info);
  png_destroy_write_struct(&writer, &info);
  std::fclose(out);
  return file.read();
}

TEST(ImageFilesTest, PngInEveryLayout) {
  struct Case {
    const char* name;
    int colourType, bitDepth;
    bool trns;
    PixelFormat format;
  };
  const Case cases[] = {
      {"rgb8", PNG_COLOR_TYPE_RGB, 8, false, PixelFormat::kRgbx},
      {"rgb16", PNG_COLOR_TYPE_RGB, 16, false, PixelFormat::kRgbx},
      {"grey8", PNG_COLOR_TYPE_GRAY, 8, false, PixelFormat::kGrey},
      {"grey16", PNG_COLOR_TYPE_GRAY, 16, false, PixelFormat::kGrey},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, false, PixelFormat::kRgbx},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto image = decodeImage(png(c.colourType, c.bitDepth, c.trns));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->format(), c.format);
    expectUpright(*image, 0);
  }
  // Transparency: RGBA 8 and 16 bit, grey with alpha, palette with tRNS.
  const Case transparent[] = {
      {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, PixelFormat::kRgba},
      {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, PixelFormat::kRgba},
      {"grey-alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, PixelFormat::kRgba},
      {"palette-trns", PNG_COLOR_TYPE_PALETTE, 8, true, PixelFormat::kRgba},
  };
  for (const Case& c : transparent) {
    SCOPED_TRACE(c.name);
    auto image = decodeImage(png(c.colourType, c.bitDepth, c.trns));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->format(), c.format);
    EXPECT_EQ(rgbaAt(*image, 4, 4)[3], 255);
    EXPECT_EQ(rgbaAt(*image, 40, 20)[3], 0);
  }
}

TEST(ImageFilesTest, JpegGreyRgbAndCmyk) {
  for (auto [space, components] :
       {std::pair{JCS_GRAYSCALE, 1}, std::pair{JCS_RGB, 3}, std::pair{JCS_CMYK, 4}}) {
    SCOPED_TRACE(components);
    auto image = decodeImage(jpeg(space, components));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->format(), components == 1 ? PixelFormat::kGrey : PixelFormat::kRgbx);
    expectUpright(*image, 24);
  }
}

TEST(ImageFilesTest, JpegExifOrientationIsApplied) {
  // Orientation 6: shown turned a quarter clockwise, so the top-left square ends top right.
  auto turned = decodeImage(jpeg(JCS_RGB, 3, exifOrientation(6)));
  ASSERT_TRUE(turned.has_value());
  ASSERT_EQ(turned->width(), kHeight);
  ASSERT_EQ(turned->height(), kWidth);
  EXPECT_LT(rgbaAt(*turned, kHeight - 4, 4)[0], 60);
  EXPECT_GT(rgbaAt(*turned, 4, 4)[0], 200);
  // Orientation 3: upside down, the square ends bottom right.
  auto flipped = decodeImage(jpeg(JCS_RGB, 3, exifOrientation(3)));
  ASSERT_TRUE(flipped.has_value());
  ASSERT_EQ(flipped->width(), kWidth);
  EXPECT_LT(rgbaAt(*flipped, kWidth - 4, kHeight - 4)[0], 60);
  EXPECT_GT(rgbaAt(*flipped, 4, 4)[0], 200);
}

TEST(ImageFilesTest, OrientedImageCoversAllEightOrientations) {
  // A 3 x 2 grey picture with distinct values; where pixel (0, 0) lands for each orientation.
  const Image source(3, 2, PixelFormat::kGrey, 3, {1, 2, 3, 4, 5, 6});
  struct Case {
    int orientation;
    int32_t width, height;
    std::vector<uint8_t> pixels;
  };
  const Case cases[] = {{1, 3, 2, {1, 2, 3, 4, 5, 6}}, {2, 3, 2, {3, 2, 1, 6, 5, 4}},
                        {3, 3, 2, {6, 5, 4, 3, 2, 1}}, {4, 3, 2, {4, 5, 6, 1, 2, 3}},
                        {5, 2, 3, {1, 4, 2, 5, 3, 6}}, {6, 2, 3, {4, 1, 5, 2, 6, 3}},
                        {7, 2, 3, {6, 3, 5, 2, 4, 1}}, {8, 2, 3, {3, 6, 2, 5, 1, 4}}};
  for (const Case& c : cases) {
    const Image turned = orientedImage(source, c.orientation);
    ASSERT_EQ(turned.width(), c.width) << c.orientation;
    ASSERT_EQ(turned.height(), c.height) << c.orientation;
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < turned.height(); ++y) {
      pixels.insert(pixels.end(), turned.row(y), turned.row(y) + turned.width());
    }
    EXPECT_EQ(pixels, c.pixels) << c.orientation;
  }
  EXPECT_TRUE(orientedImage(source, 1).isSameImage(source));
  EXPECT_TRUE(orientedImage(source, 0).isSameImage(source));
}

TEST(ImageFilesTest, TiffFirstPage) {
  TempFile file(".tif");
  TIFF* tiff = TIFFOpen(file.path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (int page = 0; page < 2; ++page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    std::vector<uint8_t> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
      // The second page is black all over.
      for (int x = 0; x < kWidth; ++x) row[x] = page == 0 && !inSquare(x, y) ? 255 : 0;
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
  auto image = fileImageService().load(file.path);
  ASSERT_TRUE(image.has_value());
  expectUpright(*image, 0);
}

TEST(ImageFilesTest, GifFirstFrame) {
  TempFile file(".gif");
  int error = 0;
  GifFileType* gif = EGifOpenFileName(file.path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr);
  GifColorType colours[2] = {{0, 0, 0}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(2, colours);
  EGifPutScreenDesc(gif, kWidth, kHeight, 1, 1, map);
  for (int frame = 0; frame < 2; ++frame) {
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
    std::vector<GifPixelType> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) row[x] = frame == 0 && !inSquare(x, y) ? 1 : 0;
      EGifPutLine(gif, row.data(), kWidth);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  auto image = fileImageService().load(file.path);
  ASSERT_TRUE(image.has_value());
  expectUpright(*image, 0);
}

TEST(ImageFilesTest, Bmp) {
  // 24-bit, rows bottom first, each padded to four bytes (64 * 3 already is).
  const uint32_t pixelBytes = kWidth * 3 * kHeight;
  std::string bytes = testing::bmpHeader(kWidth, kHeight, 54 + pixelBytes, pixelBytes, 2835);
  for (int y = kHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kWidth; ++x) bytes.append(3, inSquare(x, y) ? '\0' : '\xff');
  }
  auto image = decodeImage(bytes);
  ASSERT_TRUE(image.has_value());
  expectUpright(*image, 0);
}

std::vector<uint8_t> rgbaPicture(bool transparentBackground) {
  std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
      const bool dark = inSquare(x, y);
      p[0] = p[1] = p[2] = dark ? 0 : 255;
      p[3] = dark || !transparentBackground ? 255 : 0;
    }
  }
  return rgba;
}

TEST(ImageFilesTest, WebpLossyAndWithAlpha) {
  const auto picture = rgbaPicture(false);
  uint8_t* out = nullptr;
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < picture.size(); i += 4)
    rgb.insert(rgb.end(), &picture[i], &picture[i + 3]);
  size_t size = WebPEncodeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, 90, &out);
  ASSERT_GT(size, 0u);
  auto lossy = decodeImage(std::string(reinterpret_cast<char*>(out), size));
  WebPFree(out);
  ASSERT_TRUE(lossy.has_value());
  EXPECT_EQ(lossy->format(), PixelFormat::kRgbx);
  expectUpright(*lossy, 30);

  const auto transparent = rgbaPicture(true);
  size = WebPEncodeLosslessRGBA(transparent.data(), kWidth, kHeight, kWidth * 4, &out);
  ASSERT_GT(size, 0u);
  auto alpha = decodeImage(std::string(reinterpret_cast<char*>(out), size));
  WebPFree(out);
  ASSERT_TRUE(alpha.has_value());
  EXPECT_EQ(alpha->format(), PixelFormat::kRgba);
  EXPECT_EQ(rgbaAt(*alpha, 4, 4), (std::array<int, 4>{0, 0, 0, 255}));
  EXPECT_EQ(rgbaAt(*alpha, 40, 20)[3], 0);
}

TEST(ImageFilesTest, Heif) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code !=
      heif_error_Ok) {
    heif_context_free(context);
    GTEST_SKIP() << "libheif has no HEVC encoder here";
  }
  heif_image* image = nullptr;
  heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
  heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      std::memset(plane + y * stride + x * 3, inSquare(x, y) ? 0 : 255, 3);
    }
  }
  heif_encoder_set_lossy_quality(encoder, 90);
  ASSERT_EQ(heif_context_encode_image(context, image, encoder, nullptr, nullptr).code,
            heif_error_Ok);
  TempFile file(".heic");
  ASSERT_EQ(heif_context_write_to_file(context, file.path.c_str()).code, heif_error_Ok);
  heif_encoder_release(encoder);
  heif_image_release(image);
  heif_context_free(context);
  auto decoded = fileImageService().load(file.path);
  ASSERT_TRUE(decoded.has_value());
  expectUpright(*decoded, 40);
}

TEST(ImageFilesTest, NotAnImageTruncatedOrDirectoryIsNothing) {
  const std::string whole = png(PNG_COLOR_TYPE_RGB, 8);
  const std::string wholeJpeg = jpeg(JCS_RGB, 3);
  const std::string inputs[] = {
      "",
      "plain text, not a picture at all",
      std::string("\x89PNG\r\n\x1a\n", 8),
      whole.substr(0, whole.size() / 2),
      wholeJpeg.substr(0, wholeJpeg.size() / 2),
      std::string("RIFF\0\0\0\0WEBPVP8 ", 16),
      std::string("\0\0\0\x18"
                  "ftypheic",
                  12),
      "GIF89a",
      "BM\x10\0\0\0",
  };
  for (const std::string& input : inputs) {
    TempFile file(".png");
    file.write(input);
    EXPECT_EQ(fileImageService().load(file.path), std::nullopt) << input.size();
  }
  EXPECT_EQ(fileImageService().load(std::filesystem::temp_directory_path().string()), std::nullopt);
  EXPECT_EQ(fileImageService().load("/no/such/picture.png"), std::nullopt);
  EXPECT_EQ(fileImageService().load("/dev/null"), std::nullopt);
}

}  // namespace
}  // namespace marrowfen::scan
