// The image-file service: decodes PNG (libpng), GIF (giflib), WebP (libwebp), HEIC/HEIF/AVIF
// (libheif) and, through MuPDF's image loader, JPEG, TIFF, BMP, JPEG 2000, PNM, JBIG2 and PSD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scan/image.h"
#include "scan/pixel_budget.h"
#include "scan/platform.h"

namespace marrowfen::scan {

// Decodes only the first page or frame; applies the file's orientation (EXIF in JPEG, the
// transformations of HEIF) the way a desktop image viewer shows it. Results are kGrey (grey
// without alpha), kRgbx (colour without alpha) or kRgba (anything with transparency, straight
// alpha). Nothing for a file that is not a decodable image, is truncated, is not a regular file,
// or has more than kMaxImagePixels pixels.
const ImageService& fileImageService();

// The largest picture decoded: the pixel budget, 2^26 pixels (8192 x 8192), 256 MiB as RGBA.
// Sizes are checked before anything of the picture's size is allocated: against this budget and,
// for PNG and GIF, against what a file of its length can hold at all (a 142-byte PNG declaring
// 16000 x 16000 is refused without being decoded).
inline constexpr int64_t kMaxImagePixels = kMaxPixels;

// Decodes image bytes held in memory, as fileImageService().load does for a file's content.
std::optional<Image> decodeImage(std::string_view bytes);

// `image` turned into its upright orientation. `orientation` is an EXIF Orientation value (1 to
// 8); any other value returns the image unchanged.
Image orientedImage(const Image& image, int orientation);

}  // namespace marrowfen::scan
