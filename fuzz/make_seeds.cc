// Writes the seed corpora of the fuzz targets into the directory given as the only argument, one
// subdirectory per target: small pictures of every format, small PDFs, entity inputs and command
// lines. Everything is generated here, so that no binary file needs to live in the repository.
#include <png.h>
#include <webp/encode.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/testing/image_bytes.h"
#include "scan/testing/jpeg_file.h"
#include "scan/testing/raw_pdf.h"

namespace {

namespace fs = std::filesystem;
using marrowfen::scan::testing::bmpHeader;
using marrowfen::scan::testing::deflated;
using marrowfen::scan::testing::encodeJpeg;
using marrowfen::scan::testing::JpegSettings;
using marrowfen::scan::testing::onePagePdf;
using marrowfen::scan::testing::pdfStream;
using marrowfen::scan::testing::putLittleEndian16;
using marrowfen::scan::testing::tiffDirectory;

void save(const fs::path& directory, const std::string& name, const std::string& bytes) {
  fs::create_directories(directory);
  std::ofstream(directory / name, std::ios::binary) << bytes;
}

// A w x h picture: white with a dark square and a grey stripe, as RGB.
std::vector<uint8_t> picture(int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3, 255);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      if (x < w / 3 && y < h / 3) p[0] = p[1] = p[2] = 0;
      if (y == h / 2) p[0] = 200, p[1] = 100, p[2] = 50;
    }
  }
  return rgb;
}

std::string png(int w, int h, bool alpha) {
  std::vector<uint8_t> rgb = picture(w, h);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels;
  if (alpha) {
    for (size_t i = 0; i < rgb.size(); i += 3) {
      pixels.insert(pixels.end(), {rgb[i], rgb[i + 1], rgb[i + 2], static_cast<uint8_t>(i % 255)});
    }
  } else {
    pixels = rgb;
  }
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::string out(size, '\0');
  png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

std::string jpeg(int w, int h, bool progressive, int components) {
  const std::vector<uint8_t> rgb = picture(w, h);
  const JpegSettings settings{.space = components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                              .components = components,
                              .progressive = progressive};
  return encodeJpeg(w, h, settings, [&](int y, uint8_t* row) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < components; ++c)
        row[x * components + c] = rgb[(static_cast<size_t>(y) * w + x) * 3 + c];
    }
  });
}

std::string webp(int w, int h, bool lossless) {
  const std::vector<uint8_t> rgb = picture(w, h);
  uint8_t* output = nullptr;
  const size_t size = lossless ? WebPEncodeLosslessRGB(rgb.data(), w, h, w * 3, &output)
                               : WebPEncodeRGB(rgb.data(), w, h, w * 3, 50, &output);
  std::string out(reinterpret_cast<char*>(output), size);
  WebPFree(output);
  return out;
}

std::string bmp(int w, int h) {
  const std::vector<uint8_t> rgb = picture(w, h);
  const int stride = (w * 3 + 3) & ~3;
  std::string out = bmpHeader(w, h, static_cast<uint32_t>(54 + stride * h));
  for (int y = h - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      row[x * 3] = static_cast<char>(p[2]);
      row[x * 3 + 1] = static_cast<char>(p[1]);
      row[x * 3 + 2] = static_cast<char>(p[0]);
    }
    out += row;
  }
  return out;
}

// Uncompressed or Deflate-compressed 8-bit RGB TIFF, one strip.
std::string tiff(int w, int h, bool deflate) {
  const std::vector<uint8_t> rgb = picture(w, h);
  std::string data(rgb.begin(), rgb.end());
  if (deflate) data = deflated(data);
  const uint32_t count = 10;
  const uint32_t bitsOffset = 8 + 2 + count * 12 + 4;
  const uint32_t dataOffset = bitsOffset + 6;
  std::string out = tiffDirectory({{256, 4, 1, static_cast<uint32_t>(w)},
                                   {257, 4, 1, static_cast<uint32_t>(h)},
                                   {258, 3, 3, bitsOffset},
                                   {259, 3, 1, deflate ? 8u : 1u},
                                   {262, 3, 1, 2},
                                   {273, 4, 1, dataOffset},
                                   {274, 3, 1, 1},
                                   {277, 3, 1, 3},
                                   {278, 4, 1, static_cast<uint32_t>(h)},
                                   {279, 4, 1, static_cast<uint32_t>(data.size())}});
  putLittleEndian16(out, 8);
  putLittleEndian16(out, 8);
  putLittleEndian16(out, 8);
  return out + data;
}

// A GIF of a frame (w x h, colour 1 everywhere but the first pixel) at (left, top) on a screen.
std::string gif(int screenW, int screenH, int left, int top, int w, int h, bool interlaced) {
  std::string out = "GIF89a";
  putLittleEndian16(out, static_cast<uint16_t>(screenW));
  putLittleEndian16(out, static_cast<uint16_t>(screenH));
  out += std::string("\x81\x00\x00", 3);  // a global table of 4 colours
  out += std::string("\x00\x00\x00\xff\xff\xff\xff\x00\x00\x00\x00\xff", 12);
  out += std::string("\x21\xf9\x04\x01\x00\x00\x03\x00", 8);  // colour 3 is transparent
  out.push_back(',');
  putLittleEndian16(out, static_cast<uint16_t>(left));
  putLittleEndian16(out, static_cast<uint16_t>(top));
  putLittleEndian16(out, static_cast<uint16_t>(w));
  putLittleEndian16(out, static_cast<uint16_t>(h));
  out.push_back(interlaced ? '\x40' : '\0');
  // Uncompressed-style LZW with code size 2: a clear code before every pixel keeps codes 3 bits.
  std::vector<uint8_t> bits;
  const auto code = [&](int value) {
    for (int b = 0; b < 3; ++b) bits.push_back(static_cast<uint8_t>((value >> b) & 1));
  };
  for (int i = 0; i < w * h; ++i) {
    code(4);
    code(i == 0 ? 0 : (i % 7 == 0 ? 3 : 1));
  }
  code(5);
  std::string packed((bits.size() + 7) / 8, '\0');
  for (size_t i = 0; i < bits.size(); ++i) packed[i / 8] |= static_cast<char>(bits[i] << (i % 8));
  out.push_back('\x02');
  for (size_t at = 0; at < packed.size(); at += 255) {
    const std::string block = packed.substr(at, 255);
    out.push_back(static_cast<char>(block.size()));
    out += block;
  }
  out.push_back('\0');
  out.push_back(';');
  return out;
}

std::string textPdf(const std::string& pageEntries, const std::string& contents,
                    const std::string& extraResources = "",
                    const std::vector<std::string>& more = {}) {
  return onePagePdf(
      pageEntries, "/Font << /F1 4 0 R >> " + extraResources,
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      pdfStream("/Filter /FlateDecode", deflated(contents)), more);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  const fs::path root(argv[1]);

  save(root / "image_png_fuzz", "rgb.png", png(24, 16, false));
  save(root / "image_png_fuzz", "rgba.png", png(9, 7, true));
  save(root / "image_jpeg_fuzz", "baseline.jpg", jpeg(24, 16, false, 3));
  save(root / "image_jpeg_fuzz", "progressive.jpg", jpeg(24, 16, true, 3));
  save(root / "image_jpeg_fuzz", "grey.jpg", jpeg(17, 9, false, 1));
  save(root / "image_gif_fuzz", "frame.gif", gif(12, 10, 0, 0, 12, 10, false));
  save(root / "image_gif_fuzz", "offset.gif", gif(20, 20, 3, 4, 6, 5, true));
  save(root / "image_tiff_fuzz", "plain.tif", tiff(12, 8, false));
  save(root / "image_tiff_fuzz", "deflate.tif", tiff(12, 8, true));
  save(root / "image_bmp_fuzz", "rgb.bmp", bmp(13, 7));
  save(root / "image_webp_fuzz", "lossy.webp", webp(24, 16, false));
  save(root / "image_webp_fuzz", "lossless.webp", webp(24, 16, true));

  const std::string text =
      "BT /F1 18 Tf 72 700 Td (Certificate of birth) Tj 0 -24 Td (Anna Marie Keller) Tj ET";
  const fs::path pdfs = root / "pdf_fuzz";
  save(pdfs, "text.pdf", textPdf("/MediaBox [0 0 612 792]", text));
  save(pdfs, "rotated.pdf", textPdf("/MediaBox [0 0 595 842] /Rotate 90", text));
  save(pdfs, "no-box.pdf", textPdf("", text));
  save(pdfs, "invisible.pdf",
       textPdf("/MediaBox [0 0 612 792]", "BT 3 Tr /F1 12 Tf 72 72 Td (hidden) Tj ET " + text));
  const std::vector<uint8_t> rgb = picture(16, 16);
  const std::string image = pdfStream(
      "/Type /XObject /Subtype /Image /Width 16 /Height 16 /BitsPerComponent 8 "
      "/ColorSpace /DeviceRGB /Filter /FlateDecode",
      deflated(std::string(rgb.begin(), rgb.end())));
  save(pdfs, "image.pdf",
       textPdf("/MediaBox [0 0 612 792]", "q 300 0 0 300 100 100 cm /Im1 Do Q " + text,
               "/XObject << /Im1 6 0 R >>", {image}));
  const std::string jpegImage = pdfStream(
      "/Type /XObject /Subtype /Image /Width 24 /Height 16 /BitsPerComponent 8 "
      "/ColorSpace /DeviceRGB /Filter /DCTDecode",
      jpeg(24, 16, false, 3));
  save(pdfs, "jpeg.pdf",
       textPdf("/MediaBox [0 0 612 792]", "q 300 0 0 200 100 100 cm /Im1 Do Q",
               "/XObject << /Im1 6 0 R >>", {jpegImage}));
  // A 16 x 16 grey JPEG 2000 codestream (no wavelet levels, every packet empty).
  static const char kJpx[] =
      "\xff\x4f\xff\x51\x00\x29\x00\x00\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x00"
      "\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x01\x07\x01\x01\xff\x52\x00\x0c\x00\x00\x00\x01\x00\x00\x04\x04\x00\x01\xff"
      "\x5c\x00\x04\x40\x40\xff\x90\x00\x0a\x00\x00\x00\x00\x00\x0f\x00\x01\xff\x93\x00"
      "\xff\xd9";
  const std::string jpx(kJpx, sizeof kJpx - 1);
  save(pdfs, "jpx.pdf",
       textPdf("/MediaBox [0 0 612 792]", "q 300 0 0 300 100 100 cm /Im1 Do Q",
               "/XObject << /Im1 6 0 R >>",
               {pdfStream("/Type /XObject /Subtype /Image /Width 16 /Height 16 "
                          "/Filter /JPXDecode",
                          jpx)}));

  const fs::path inputs = root / "entities_input_fuzz";
  save(
      inputs, "letter.json",
      R"({"text":"Anna Marie Keller\nHauptstra\u00dfe 12, 10115 Berlin\nBorn 12 March 1987, +49 30 1234567"})");
  save(inputs, "extra-keys.json",
       R"({"a":[1,2.5e3,{"b":null}],"text":"Paris, 3 mai 2021","z":true})");
  save(inputs, "escapes.json", R"({"text":"\ud83d\ude00 \"quoted\" \\ \/ \b\f\n\r\t"})");

  const fs::path lines = root / "command_line_fuzz";
  const auto argvSeed = [](std::initializer_list<std::string> args) {
    std::string out;
    for (const std::string& a : args) out += a + std::string(1, '\0');
    if (!out.empty()) out.pop_back();
    return out;
  };
  save(lines, "ocr",
       argvSeed({"--source", "auto", "--pages", "1-3,7", "--languages", "de-DE,en-US", "in.pdf"}));
  save(lines, "render", argvSeed({"--render-pages", "in.pdf", "out", "4", "first-last:3:2"}));
  save(lines, "scale",
       argvSeed({"--scale", "1.5", "--min-long-edge", "2000", "--fast", "--no-language-correction",
                 "x.png"}));
  return 0;
}
