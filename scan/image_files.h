// The image-file service: decodes PNG (libpng), GIF (giflib), WebP (libwebp), HEIC/HEIF/AVIF
// (libheif) and, through MuPDF's image loader, JPEG, TIFF, BMP, JPEG 2000, PNM, JBIG2 and PSD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scan/image.h"
#include "scan/platform.h"

namespace marrowfen::scan {

// Decodes only the first page or frame; applies the file's orientation (EXIF in JPEG, the
// transformations of HEIF) the way a desktop image viewer shows it. Results are kGrey (grey
// without alpha), kRgbx (colour without alpha) or kRgba (anything with transparency, straight
// alpha). Nothing for a file that is not a decodable image, is truncated, is not a regular file,
// or has more than kMaxImagePixels pixels.
const ImageService& fileImageService();

// The largest picture decoded: 2^28 pixels (16384 x 16384), 1 GiB as RGBA.
inline constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

// Decodes image bytes held in memory, as fileImageService().load does for a file's content.
std::optional<Image> decodeImage(std::string_view bytes);

// `image` turned into its upright orientation. `orientation` is an EXIF Orientation value (1 to
// 8); any other value returns the image unchanged.
Image orientedImage(const Image& image, int orientation);

}  // namespace marrowfen::scan
