#include "scan/testing/text_image.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include "common/unicode.h"

namespace marrowfen::scan::testing {

Image textImage(const std::vector<std::string>& lines, int width, int height, int pixelSize,
                int margin, const std::string& fontPath) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return Image();
  FT_Face face = nullptr;
  if (FT_New_Face(library, fontPath.c_str(), 0, &face) != 0) {
    FT_Done_FreeType(library);
    return Image();
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 255);
  const int lineHeight = pixelSize * 3 / 2;
  int baseline = margin + pixelSize;
  for (const std::string& line : lines) {
    int penX = margin;
    for (size_t i = 0; i < line.size();) {
      const char32_t c = nextScalar(line, i);
      if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot glyph = face->glyph;
      for (unsigned row = 0; row < glyph->bitmap.rows; ++row) {
        const int y = baseline - glyph->bitmap_top + static_cast<int>(row);
        if (y < 0 || y >= height) continue;
        for (unsigned col = 0; col < glyph->bitmap.width; ++col) {
          const int x = penX + glyph->bitmap_left + static_cast<int>(col);
          if (x < 0 || x >= width) continue;
          const uint8_t ink = glyph->bitmap.buffer[row * glyph->bitmap.pitch + col];
          uint8_t& pixel = pixels[static_cast<size_t>(y) * width + x];
          pixel = std::min<uint8_t>(pixel, static_cast<uint8_t>(255 - ink));
        }
      }
      penX += static_cast<int>(glyph->advance.x >> 6);
    }
    baseline += lineHeight;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return Image(width, height, PixelFormat::kGrey, static_cast<size_t>(width), std::move(pixels));
}

}  // namespace marrowfen::scan::testing
