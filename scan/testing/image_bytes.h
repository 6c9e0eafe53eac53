// Pieces of hand-written image files for tests and fuzz seeds: integers in either byte order, a
// Deflate stream, a BMP header and a TIFF directory. Header-only, so that builds without the test
// library (the fuzz build) can use it.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace marrowfen::scan::testing {

inline void putLittleEndian16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v));
  out.push_back(static_cast<char>(v >> 8));
}

inline void putLittleEndian32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(v >> shift));
}

inline void putBigEndian32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}

// `data` compressed as a zlib stream (what PNG, TIFF and PDF's FlateDecode hold).
inline std::string deflated(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
           data.size());
  out.resize(size);
  return out;
}

// The 54-byte header of a 24-bit uncompressed BMP of width x height (rows bottom first when the
// height is positive), declaring `fileSize` bytes in all and the pixels right after the header.
inline std::string bmpHeader(int32_t width, int32_t height, uint32_t fileSize,
                             uint32_t imageSize = 0, uint32_t pixelsPerMetre = 0) {
  std::string out = "BM";
  putLittleEndian32(out, fileSize);
  putLittleEndian32(out, 0);
  putLittleEndian32(out, 54);
  putLittleEndian32(out, 40);
  putLittleEndian32(out, static_cast<uint32_t>(width));
  putLittleEndian32(out, static_cast<uint32_t>(height));
  putLittleEndian16(out, 1);
  putLittleEndian16(out, 24);
  putLittleEndian32(out, 0);  // no compression
  putLittleEndian32(out, imageSize);
  putLittleEndian32(out, pixelsPerMetre);
  putLittleEndian32(out, pixelsPerMetre);
  putLittleEndian32(out, 0);
  putLittleEndian32(out, 0);
  return out;
}

struct TiffEntry {
  uint16_t tag, type;
  uint32_t count, value;
};

// A little-endian TIFF's header and its one directory, at offset 8; what the entries point at
// follows from offset 8 + 2 + 12 * entries + 4.
inline std::string tiffDirectory(const std::vector<TiffEntry>& entries) {
  std::string out("II*\0", 4);
  putLittleEndian32(out, 8);
  putLittleEndian16(out, static_cast<uint16_t>(entries.size()));
  for (const TiffEntry& e : entries) {
    putLittleEndian16(out, e.tag);
    putLittleEndian16(out, e.type);
    putLittleEndian32(out, e.count);
    putLittleEndian32(out, e.value);
  }
  putLittleEndian32(out, 0);
  return out;
}

}  // namespace marrowfen::scan::testing
