// JPEG files for tests and fuzz seeds, encoded with libjpeg in memory. Header-only, so that builds
// without the test library (the fuzz build) can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// After <cstdio>: jpeglib.h uses FILE without declaring it.
extern "C" {
#include <jpeglib.h>
}

namespace marrowfen::scan::testing {

struct JpegSettings {
  J_COLOR_SPACE space = JCS_RGB;
  int components = 3;         // samples a pixel, as `space` has them
  int quality = 0;            // 0: libjpeg's default
  bool progressive = false;   // progressive scans instead of one baseline scan
  std::vector<uint8_t> app1;  // an APP1 marker's payload (EXIF), written when not empty
};

// A JPEG of width x height; `fillRow(y, row)` writes row y's width x components samples.
inline std::string encodeJpeg(int width, int height, const JpegSettings& settings,
                              const std::function<void(int y, uint8_t* row)>& fillRow) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = settings.components;
  cinfo.in_color_space = settings.space;
  jpeg_set_defaults(&cinfo);
  if (settings.quality > 0) jpeg_set_quality(&cinfo, settings.quality, TRUE);
  if (settings.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (!settings.app1.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, settings.app1.data(),
                      static_cast<unsigned>(settings.app1.size()));
  }
  std::vector<uint8_t> row(static_cast<size_t>(width) * settings.components);
  for (int y = 0; y < height; ++y) {
    fillRow(y, row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

}  // namespace marrowfen::scan::testing
