#include "scan/image_files.h"

#include <dlfcn.h>
#include <gif_lib.h>
#include <libheif/heif.h>
#include <png.h>
#include <sys/stat.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "scan/jpeg_messages.h"
#include "scan/jpx_budget.h"
#include "scan/mupdf_context.h"

namespace marrowfen::scan {
namespace {

// Files larger than this are not read whole (no image of the allowed pixel count needs more).
constexpr int64_t kMaxFileBytes = int64_t{1} << 30;

bool startsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

bool allowedSize(int64_t width, int64_t height) { return withinPixelBudget(width, height); }

// Deflate expands at most 1032 to 1, so PNG image data of `fileBytes` can fill at most that many
// times its size with filtered rows (a filter byte, then at least one bit a pixel).
bool pngFileCanHold(int64_t width, int64_t height, size_t fileBytes) {
  const int64_t rowBytes = 1 + (width + 7) / 8;
  return height <= (static_cast<int64_t>(fileBytes) * 1032 + 1032) / rowBytes;
}

// GIF's LZW codes are at least 3 bits and stand for at most 4096 pixels each; the table grows by
// one entry a code, so the first 4096 codes stand for no more than 4096 * 4097 / 2 pixels.
bool gifFileCanHold(int64_t width, int64_t height, size_t fileBytes) {
  const int64_t codes = static_cast<int64_t>(fileBytes) * 8 / 3 + 1;
  return width * height <= int64_t{4096} * 4097 / 2 + codes * 4096;
}

bool isWebp(std::string_view bytes) {
  return bytes.size() >= 12 && startsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP";
}

// ISO base media files of the HEIF family: an "ftyp" box whose major brand is one of these.
bool isHeif(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(4, 4) != "ftyp") return false;
  const std::string_view brand = bytes.substr(8, 4);
  for (std::string_view known :
       {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1", "avif", "avis"}) {
    if (brand == known) return true;
  }
  return false;
}

std::optional<Image> decodePng(std::string_view bytes) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return std::nullopt;
  const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
  if (!allowedSize(png.width, png.height) || !pngFileCanHold(png.width, png.height, bytes.size())) {
    png_image_free(&png);
    return std::nullopt;
  }
  // libpng's simplified reader expands palettes and transparency chunks and reduces 16-bit
  // samples to 8 bits, in one pass.
  const bool grey = !alpha && !colour;
  png.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGBA;
  const size_t stride = static_cast<size_t>(png.width) * (grey ? 1 : 4);
  std::vector<uint8_t> pixels(stride * png.height);
  if (!png_image_finish_read(&png, nullptr, pixels.data(), static_cast<png_int_32>(stride),
                             nullptr)) {
    png_image_free(&png);
    return std::nullopt;
  }
  png_image_free(&png);
  return Image(static_cast<int32_t>(png.width), static_cast<int32_t>(png.height),
               grey    ? PixelFormat::kGrey
               : alpha ? PixelFormat::kRgba
                       : PixelFormat::kRgbx,
               stride, std::move(pixels));
}

std::optional<Image> decodeWebp(std::string_view bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK) return std::nullopt;
  if (!allowedSize(features.width, features.height)) return std::nullopt;
  const PixelFormat format = features.has_alpha ? PixelFormat::kRgba : PixelFormat::kRgbx;
  if (features.has_animation) {
    // The first frame, composed on its canvas.
    WebPData webp{data, bytes.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return std::nullopt;
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&webp, &options);
    if (decoder == nullptr) return std::nullopt;
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    std::optional<Image> image;
    if (WebPAnimDecoderGetInfo(decoder, &info) &&
        allowedSize(info.canvas_width, info.canvas_height) &&
        WebPAnimDecoderGetNext(decoder, &frame, &timestamp)) {
      const size_t stride = static_cast<size_t>(info.canvas_width) * 4;
      std::vector<uint8_t> pixels(frame, frame + stride * info.canvas_height);
      image =
          Image(static_cast<int32_t>(info.canvas_width), static_cast<int32_t>(info.canvas_height),
                PixelFormat::kRgba, stride, std::move(pixels));
    }
    WebPAnimDecoderDelete(decoder);
    return image;
  }
  const size_t stride = static_cast<size_t>(features.width) * 4;
  std::vector<uint8_t> pixels(stride * features.height);
  if (WebPDecodeRGBAInto(data, bytes.size(), pixels.data(), pixels.size(),
                         static_cast<int>(stride)) == nullptr) {
    return std::nullopt;
  }
  return Image(features.width, features.height, format, stride, std::move(pixels));
}

// libheif and the codecs it pulls in (HEVC, AV1) take longer to load than a whole text-layer
// run, so the library is opened on the first HEIF file instead of with the program.
struct HeifLibrary {
// clang-format off
#define MARROWFEN_HEIF_FUNCTIONS(X)                                                             \
  X(heif_context_alloc) X(heif_context_free) X(heif_context_read_from_memory_without_copy)      \
  X(heif_context_get_primary_image_handle) X(heif_image_handle_release)                        \
  X(heif_image_handle_get_width) X(heif_image_handle_get_height)                               \
  X(heif_image_handle_has_alpha_channel) X(heif_decode_image) X(heif_image_release)            \
  X(heif_image_get_width) X(heif_image_get_height) X(heif_image_get_plane_readonly)
// clang-format on
#define MARROWFEN_HEIF_POINTER(name) decltype(&::name) name = nullptr;
  MARROWFEN_HEIF_FUNCTIONS(MARROWFEN_HEIF_POINTER)
#undef MARROWFEN_HEIF_POINTER
  bool loaded = false;

  HeifLibrary() {
    void* handle = ::dlopen("libheif.so.1", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    loaded = true;
#define MARROWFEN_HEIF_RESOLVE(name)                                  \
  name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
  loaded = loaded && name != nullptr;
    MARROWFEN_HEIF_FUNCTIONS(MARROWFEN_HEIF_RESOLVE)
#undef MARROWFEN_HEIF_RESOLVE
    // The library stays loaded for the life of the process.
  }
#undef MARROWFEN_HEIF_FUNCTIONS
};

// The loaded library, or null when it is not installed (HEIF files are then unreadable).
const HeifLibrary* heifLibrary() {
  static const HeifLibrary library;
  return library.loaded ? &library : nullptr;
}

std::optional<Image> decodeHeif(std::string_view bytes) {
  const HeifLibrary* heif = heifLibrary();
  if (heif == nullptr) return std::nullopt;
  auto heif_context_free = heif->heif_context_free;
  auto heif_image_handle_release = heif->heif_image_handle_release;
  auto heif_image_release = heif->heif_image_release;
  std::unique_ptr<heif_context, decltype(heif_context_free)> context(heif->heif_context_alloc(),
                                                                     heif_context_free);
  if (!context) return std::nullopt;
  if (heif->heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                       nullptr)
          .code != heif_error_Ok) {
    return std::nullopt;
  }
  heif_image_handle* rawHandle = nullptr;
  if (heif->heif_context_get_primary_image_handle(context.get(), &rawHandle).code !=
      heif_error_Ok) {
    return std::nullopt;
  }
  std::unique_ptr<heif_image_handle, decltype(heif_image_handle_release)> handle(
      rawHandle, heif_image_handle_release);
  if (!allowedSize(heif->heif_image_handle_get_width(handle.get()),
                   heif->heif_image_handle_get_height(handle.get()))) {
    return std::nullopt;
  }
  const bool alpha = heif->heif_image_handle_has_alpha_channel(handle.get()) != 0;
  heif_image* rawImage = nullptr;
  // Decoding applies the file's rotation, mirroring and clean aperture, as viewers show it.
  if (heif->heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              nullptr)
          .code != heif_error_Ok) {
    return std::nullopt;
  }
  std::unique_ptr<heif_image, decltype(heif_image_release)> decoded(rawImage, heif_image_release);
  const int width = heif->heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const int height = heif->heif_image_get_height(decoded.get(), heif_channel_interleaved);
  int sourceStride = 0;
  const uint8_t* source =
      heif->heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &sourceStride);
  if (source == nullptr || !allowedSize(width, height)) return std::nullopt;
  const size_t stride = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> pixels(stride * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = source + static_cast<size_t>(y) * sourceStride;
    uint8_t* out = pixels.data() + static_cast<size_t>(y) * stride;
    if (alpha) {
      std::memcpy(out, in, stride);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      out[4 * x] = in[3 * x];
      out[4 * x + 1] = in[3 * x + 1];
      out[4 * x + 2] = in[3 * x + 2];
      out[4 * x + 3] = 255;
    }
  }
  return Image(width, height, alpha ? PixelFormat::kRgba : PixelFormat::kRgbx, stride,
               std::move(pixels));
}

struct GifInput {
  std::string_view bytes;
  size_t at = 0;
};

int readGif(GifFileType* gif, GifByteType* out, int length) {
  auto* input = static_cast<GifInput*>(gif->UserData);
  const size_t n =
      std::min(static_cast<size_t>(std::max(length, 0)), input->bytes.size() - input->at);
  std::memcpy(out, input->bytes.data() + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

// Reads a GIF's records up to its first frame's descriptor, keeping the transparent colour that
// a graphics control extension before it names. False when the file ends or breaks before a frame.
bool readUpToFirstFrame(GifFileType* gif, int& transparentIndex) {
  transparentIndex = NO_TRANSPARENT_COLOR;
  GifRecordType record;
  do {
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return false;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
          transparentIndex = control.TransparentColor;
        }
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
      }
    }
  } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
  return record == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) != GIF_ERROR;
}

// Where the frame goes: the rectangle of the picture and the frame's place on it.
struct GifCanvas {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The picture is the logical screen with the frame on it, as viewers show it, unless the
// screen is far larger than anything the frame draws (a 1 x 1 frame on a 65535 x 4096 screen):
// the rest of such a screen is empty, and the picture is then the frame's own rectangle.
GifCanvas gifCanvas(const GifFileType& gif) {
  const GifImageDesc& frame = gif.Image;
  GifCanvas canvas{frame.Left, frame.Top, gif.SWidth, gif.SHeight};
  const int64_t screenPixels = int64_t{canvas.width} * canvas.height;
  const int64_t framePixels = int64_t{frame.Width} * frame.Height;
  if (!allowedSize(canvas.width, canvas.height) ||
      screenPixels > std::max<int64_t>(16 * framePixels, 1 << 22)) {
    canvas = GifCanvas{0, 0, frame.Width, frame.Height};
  }
  return canvas;
}

// The frame's colour indices, row after row, interlaced rows put in their place.
std::optional<std::vector<GifPixelType>> readFrameIndices(GifFileType* gif) {
  const GifImageDesc& frame = gif->Image;
  std::vector<GifPixelType> indices(static_cast<size_t>(frame.Width) * frame.Height);
  const auto readRow = [&](int row) {
    return DGifGetLine(gif, indices.data() + static_cast<size_t>(row) * frame.Width, frame.Width) !=
           GIF_ERROR;
  };
  if (frame.Interlace) {
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int row = kStart[pass]; row < frame.Height; row += kStep[pass]) {
        if (!readRow(row)) return std::nullopt;
      }
    }
  } else {
    for (int row = 0; row < frame.Height; ++row) {
      if (!readRow(row)) return std::nullopt;
    }
  }
  return indices;
}

// The frame's pixels painted on a transparent canvas; a pixel of the transparent colour or of
// no colour in the map stays transparent.
Image paintFrame(const GifImageDesc& frame, const ColorMapObject& map, int transparentIndex,
                 const std::vector<GifPixelType>& indices, const GifCanvas& canvas) {
  const size_t stride = static_cast<size_t>(canvas.width) * 4;
  std::vector<uint8_t> pixels(stride * canvas.height, 0);
  bool transparent = canvas.left != 0 || canvas.top != 0 || frame.Width < canvas.width ||
                     frame.Height < canvas.height;
  for (int y = 0; y < frame.Height; ++y) {
    const int canvasY = canvas.top + y;
    if (canvasY < 0 || canvasY >= canvas.height) continue;
    for (int x = 0; x < frame.Width; ++x) {
      const int canvasX = canvas.left + x;
      if (canvasX < 0 || canvasX >= canvas.width) continue;
      const int index = indices[static_cast<size_t>(y) * frame.Width + x];
      uint8_t* p = pixels.data() + static_cast<size_t>(canvasY) * stride + canvasX * 4;
      if (index == transparentIndex || index >= map.ColorCount) {
        transparent = true;
        continue;
      }
      p[0] = map.Colors[index].Red;
      p[1] = map.Colors[index].Green;
      p[2] = map.Colors[index].Blue;
      p[3] = 255;
    }
  }
  return Image(canvas.width, canvas.height, transparent ? PixelFormat::kRgba : PixelFormat::kRgbx,
               stride, std::move(pixels));
}

// The first frame of a GIF on its logical screen, through giflib (MuPDF's loader draws every
// frame of an animation on top of each other). Uncovered and transparent pixels are
// transparent, as viewers show the first frame.
std::optional<Image> decodeGif(std::string_view bytes) {
  GifInput input{bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&input, readGif, &error);
  if (gif == nullptr) return std::nullopt;
  struct Closer {
    GifFileType* gif;
    ~Closer() {
      int ignored = 0;
      DGifCloseFile(gif, &ignored);
    }
  } closer{gif};
  int transparentIndex = NO_TRANSPARENT_COLOR;
  if (!readUpToFirstFrame(gif, transparentIndex)) return std::nullopt;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr || frame.Width <= 0 || frame.Height <= 0 ||
      !allowedSize(frame.Width, frame.Height) ||
      !gifFileCanHold(frame.Width, frame.Height, bytes.size())) {
    return std::nullopt;
  }
  const GifCanvas canvas = gifCanvas(*gif);
  const std::optional<std::vector<GifPixelType>> indices = readFrameIndices(gif);
  if (!indices) return std::nullopt;
  return paintFrame(frame, *map, transparentIndex, *indices, canvas);
}

// MuPDF's orientation codes (see fz_image_orientation) as EXIF Orientation values.
int exifOrientationFromMupdf(int code) {
  static constexpr int kExif[] = {1, 1, 8, 3, 6, 2, 5, 4, 7};
  return code >= 0 && code <= 8 ? kExif[code] : 1;
}

// Notes whether MuPDF warned that the data ended early (its decoders pad a truncated stream and
// go on; such a picture is missing its end).
void noteTruncation(void* user, const char* message) {
  if (strcasestr(message, "premature end") != nullptr ||
      strcasestr(message, "truncated") != nullptr) {
    *static_cast<int*>(user) = 1;
  }
}

// A MuPDF pixmap (any colour space, premultiplied alpha or none) as an Image.
std::optional<Image> imageFromPixmap(fz_context* ctx, fz_pixmap* pixmap) {
  const int width = fz_pixmap_width(ctx, pixmap);
  const int height = fz_pixmap_height(ctx, pixmap);
  const int n = fz_pixmap_components(ctx, pixmap);
  const int alpha = fz_pixmap_alpha(ctx, pixmap);
  const int colours = n - alpha;
  const uint8_t* samples = fz_pixmap_samples(ctx, pixmap);
  const size_t sourceStride = static_cast<size_t>(fz_pixmap_stride(ctx, pixmap));
  if (!allowedSize(width, height) || (colours != 1 && colours != 3)) return std::nullopt;
  const bool grey = colours == 1 && !alpha;
  const size_t stride = static_cast<size_t>(width) * (grey ? 1 : 4);
  std::vector<uint8_t> pixels(stride * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = samples + static_cast<size_t>(y) * sourceStride;
    uint8_t* out = pixels.data() + static_cast<size_t>(y) * stride;
    if (grey) {
      std::memcpy(out, in, stride);
      continue;
    }
    for (int x = 0; x < width; ++x, in += n, out += 4) {
      const uint8_t a = alpha ? in[n - 1] : 255;
      for (int c = 0; c < 3; ++c) {
        const int v = in[colours == 1 ? 0 : c];
        // Straight alpha from MuPDF's premultiplied samples.
        out[c] = a == 255 ? v
                 : a == 0 ? 0
                          : static_cast<uint8_t>(std::min(255, (v * 255 + a / 2) / a));
      }
      out[3] = a;
    }
  }
  return Image(width, height,
               grey    ? PixelFormat::kGrey
               : alpha ? PixelFormat::kRgba
                       : PixelFormat::kRgbx,
               stride, std::move(pixels));
}

std::optional<Image> decodeWithMupdf(std::string_view bytes) {
  fz_context* ctx = mupdfContext();
  if (ctx == nullptr || bytes.size() < 8) return std::nullopt;
  unsigned char head[8];
  std::memcpy(head, bytes.data(), 8);
  const int format = fz_recognize_image_format(ctx, head);
  if (format == FZ_IMAGE_UNKNOWN) return std::nullopt;

  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  // MuPDF reads a JPEG 2000 file's size by decoding it with OpenJPEG, outside its budget.
  if (format == FZ_IMAGE_JPX && !jpxWithinBudget(data, size)) return std::nullopt;
  fz_buffer* buffer = nullptr;
  fz_image* image = nullptr;
  fz_pixmap* pixmap = nullptr;
  fz_pixmap* converted = nullptr;
  int orientation = 1;
  int truncated = 0;
  void* previousUser = nullptr;
  fz_warning_cb* previous = fz_warning_callback(ctx, &previousUser);
  fz_flush_warnings(ctx);  // so that a warning seen before is reported again, not counted
  fz_set_warning_callback(ctx, noteTruncation, &truncated);
  const uint64_t jpegEndedEarly = jpegDataEndedEarlyCount();
  fz_var(buffer);
  fz_var(image);
  fz_var(pixmap);
  fz_var(converted);
  fz_var(orientation);
  fz_try(ctx) {
    buffer = fz_new_buffer_from_shared_data(ctx, data, size);
    image = fz_new_image_from_buffer(ctx, buffer);
    if (!allowedSize(image->w, image->h)) fz_throw(ctx, FZ_ERROR_GENERIC, "image too large");
    orientation = exifOrientationFromMupdf(fz_image_orientation(ctx, image));
    pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
    fz_colorspace* space = fz_pixmap_colorspace(ctx, pixmap);
    // A damaged file can give a pixmap whose samples do not match its colour space (a mask
    // without colour, extra channels): MuPDF's converters read past such samples.
    if (space == nullptr || fz_pixmap_spots(ctx, pixmap) != 0 ||
        fz_pixmap_colorants(ctx, pixmap) != fz_colorspace_n(ctx, space) ||
        fz_pixmap_stride(ctx, pixmap) <
            fz_pixmap_width(ctx, pixmap) * fz_pixmap_components(ctx, pixmap)) {
      fz_throw(ctx, FZ_ERROR_GENERIC, "pixmap does not match its colour space");
    }
    if (!fz_colorspace_is_rgb(ctx, space) && !fz_colorspace_is_gray(ctx, space)) {
      // CMYK, Lab, indexed and the like: converted to RGB, transparency kept.
      converted = fz_convert_pixmap(ctx, pixmap, fz_device_rgb(ctx), nullptr, nullptr,
                                    fz_default_color_params, 1);
    }
  }
  fz_always(ctx) {
    fz_flush_warnings(ctx);
    fz_set_warning_callback(ctx, previous, previousUser);
    fz_drop_image(ctx, image);
    fz_drop_buffer(ctx, buffer);
  }
  fz_catch(ctx) {
    fz_drop_pixmap(ctx, converted);
    fz_drop_pixmap(ctx, pixmap);
    return std::nullopt;
  }
  // libjpeg pads a picture whose data ends early with grey: half a page is no readable image.
  if (jpegDataEndedEarlyCount() != jpegEndedEarly) truncated = 1;
  std::optional<Image> result;
  if (!truncated) result = imageFromPixmap(ctx, converted != nullptr ? converted : pixmap);
  fz_drop_pixmap(ctx, converted);
  fz_drop_pixmap(ctx, pixmap);
  if (!result) return std::nullopt;
  return orientedImage(*result, orientation);
}

class FileImageService final : public ImageService {
 public:
  std::optional<Image> load(const std::string& path) const override {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        info.st_size > kMaxFileBytes) {
      return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    in.read(bytes.data(), info.st_size);
    bytes.resize(static_cast<size_t>(in.gcount()));
    return decodeImage(bytes);
  }
};

}  // namespace

std::optional<Image> decodeImage(std::string_view bytes) {
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) return decodePng(bytes);
  if (isWebp(bytes)) return decodeWebp(bytes);
  if (isHeif(bytes)) return decodeHeif(bytes);
  if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return decodeGif(bytes);
  return decodeWithMupdf(bytes);
}

Image orientedImage(const Image& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.empty()) return image;
  const int32_t w = image.width();
  const int32_t h = image.height();
  const bool swap = orientation >= 5;
  const int32_t outWidth = swap ? h : w;
  const int32_t outHeight = swap ? w : h;
  const int bpp = bytesPerPixel(image.format());
  const size_t stride = static_cast<size_t>(outWidth) * bpp;
  std::vector<uint8_t> pixels(stride * outHeight);
  for (int32_t dy = 0; dy < outHeight; ++dy) {
    uint8_t* out = pixels.data() + static_cast<size_t>(dy) * stride;
    for (int32_t dx = 0; dx < outWidth; ++dx, out += bpp) {
      int32_t sx = dx;
      int32_t sy = dy;
      switch (orientation) {
        case 2:
          sx = w - 1 - dx;
          break;  // mirrored
        case 3:
          sx = w - 1 - dx;
          sy = h - 1 - dy;
          break;  // upside down
        case 4:
          sy = h - 1 - dy;
          break;  // mirrored vertically
        case 5:
          sx = dy;
          sy = dx;
          break;  // transposed
        case 6:
          sx = dy;
          sy = h - 1 - dx;
          break;  // shown turned 90 degrees clockwise
        case 7:
          sx = w - 1 - dy;
          sy = h - 1 - dx;
          break;  // transversed
        case 8:
          sx = w - 1 - dy;
          sy = dx;
          break;  // shown turned 90 degrees anticlockwise
      }
      std::memcpy(out, image.row(sy) + static_cast<size_t>(sx) * bpp, bpp);
    }
  }
  return Image(outWidth, outHeight, image.format(), stride, std::move(pixels));
}

const ImageService& fileImageService() {
  static const FileImageService service;
  return service;
}

}  // namespace marrowfen::scan
