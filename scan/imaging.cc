#include "scan/imaging.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>

#include "scan/run_state.h"
#include "scan/temporary_files.h"

namespace marrowfen::scan {
namespace {

// One output sample's filter: weights over consecutive source samples from `first`.
struct Taps {
  int32_t first = 0;
  int32_t count = 0;
  size_t offset = 0;  // into FilterTable::weights
};

struct FilterTable {
  std::vector<Taps> taps;
  std::vector<float> weights;
};

// The filter that maps `in` samples onto `out` samples, the whole source onto the whole
// destination: area averaging (each output sample the mean of the source it covers, partial
// samples weighted by their coverage) when shrinking, linear interpolation between the two
// nearest source centres when enlarging, identity when the sizes match.
FilterTable filterTable(int32_t in, int32_t out) {
  FilterTable table;
  table.taps.resize(static_cast<size_t>(out));
  const double ratio = static_cast<double>(in) / out;  // source samples per output sample
  for (int32_t i = 0; i < out; ++i) {
    Taps& taps = table.taps[static_cast<size_t>(i)];
    taps.offset = table.weights.size();
    if (in == out) {
      taps.first = i;
      taps.count = 1;
      table.weights.push_back(1);
    } else if (ratio > 1) {
      const double start = i * ratio;
      const double end = std::min<double>(in, (i + 1) * ratio);
      const auto first = static_cast<int32_t>(std::floor(start));
      const auto last = std::min(in - 1, static_cast<int32_t>(std::ceil(end)) - 1);
      taps.first = first;
      for (int32_t j = first; j <= last; ++j) {
        const double covered = std::min<double>(end, j + 1) - std::max<double>(start, j);
        table.weights.push_back(static_cast<float>(std::max(0.0, covered) / (end - start)));
      }
      taps.count = last - first + 1;
    } else {
      const double centre = (i + 0.5) * ratio - 0.5;
      auto left = static_cast<int32_t>(std::floor(centre));
      const double fraction = centre - left;
      const int32_t a = std::clamp(left, 0, in - 1);
      const int32_t b = std::clamp(left + 1, 0, in - 1);
      if (a == b) {
        taps.first = a;
        taps.count = 1;
        table.weights.push_back(1);
      } else {
        taps.first = a;
        taps.count = 2;
        table.weights.push_back(static_cast<float>(1 - fraction));
        table.weights.push_back(static_cast<float>(fraction));
      }
    }
  }
  return table;
}

// Row `y` of `image` composited onto white, as `channels` (1: grey, 3: RGB) floats a pixel.
void whiteCompositedRow(const Image& image, int32_t y, int channels, float* out) {
  const uint8_t* in = image.row(y);
  const int32_t width = image.width();
  const PixelFormat format = image.format();
  if (format == PixelFormat::kRgbx && channels == 1) {
    // The grey copy of a rendered page (ink detection): the general loop below without its
    // per-pixel branches, same arithmetic.
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = in + static_cast<size_t>(x) * 4;
      out[x] = 0.299f * static_cast<float>(p[0]) + 0.587f * static_cast<float>(p[1]) +
               0.114f * static_cast<float>(p[2]);
    }
    return;
  }
  for (int32_t x = 0; x < width; ++x) {
    float r, g, b;
    if (format == PixelFormat::kGrey) {
      r = g = b = in[x];
    } else {
      const uint8_t* p = in + static_cast<size_t>(x) * 4;
      r = p[0];
      g = p[1];
      b = p[2];
      if (format == PixelFormat::kRgba && p[3] != 255) {
        const float a = p[3] / 255.0f;
        const float white = 255.0f * (1 - a);
        r = r * a + white;
        g = g * a + white;
        b = b * a + white;
      }
    }
    if (channels == 1) {
      out[x] = format == PixelFormat::kGrey && r == g ? r : 0.299f * r + 0.587f * g + 0.114f * b;
    } else {
      out[3 * x] = r;
      out[3 * x + 1] = g;
      out[3 * x + 2] = b;
    }
  }
}

uint8_t toByte(float v) { return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

// The image drawn on white into a width x height bitmap: grey (1 byte a pixel) or RGBX.
Image redrawn(const Image& image, int32_t width, int32_t height, bool grey) {
  const int channels = grey ? 1 : 3;
  const FilterTable columns = filterTable(image.width(), width);
  const FilterTable rows = filterTable(image.height(), height);
  const size_t rowFloats = static_cast<size_t>(width) * channels;

  // Horizontal pass, one source row at a time, computed when an output row first reads it and
  // kept only while later output rows may still read it: the window is as tall as the vertical
  // filter, not the whole image (twelve bytes a source pixel for a colour page otherwise).
  std::vector<float> source(static_cast<size_t>(image.width()) * channels);
  std::deque<std::vector<float>> window;  // horizontal rows windowStart, windowStart + 1, ...
  int32_t windowStart = 0;
  auto horizontalRow = [&](int32_t y) -> const float* {
    if (y < windowStart || y - windowStart > static_cast<int32_t>(window.size())) {
      window.clear();
      windowStart = y;
    }
    while (y - windowStart >= static_cast<int32_t>(window.size())) {
      const int32_t next = windowStart + static_cast<int32_t>(window.size());
      whiteCompositedRow(image, next, channels, source.data());
      std::vector<float> out(rowFloats);
      for (int32_t x = 0; x < width; ++x) {
        const Taps& taps = columns.taps[static_cast<size_t>(x)];
        const float* w = columns.weights.data() + taps.offset;
        for (int c = 0; c < channels; ++c) {
          float sum = 0;
          for (int32_t k = 0; k < taps.count; ++k) {
            sum += w[k] * source[static_cast<size_t>(taps.first + k) * channels + c];
          }
          out[static_cast<size_t>(x) * channels + c] = sum;
        }
      }
      window.push_back(std::move(out));
    }
    return window[static_cast<size_t>(y - windowStart)].data();
  };
  auto forgetRowsBefore = [&](int32_t y) {
    while (!window.empty() && windowStart < y) {
      window.pop_front();
      ++windowStart;
    }
  };

  const int outBytes = grey ? 1 : 4;
  const size_t stride = static_cast<size_t>(width) * outBytes;
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(height), 255);
  std::vector<float> accumulated(rowFloats);
  for (int32_t y = 0; y < height; ++y) {
    const Taps& taps = rows.taps[static_cast<size_t>(y)];
    const float* w = rows.weights.data() + taps.offset;
    std::fill(accumulated.begin(), accumulated.end(), 0.0f);
    forgetRowsBefore(taps.first);
    for (int32_t k = 0; k < taps.count; ++k) {
      const float* in = horizontalRow(taps.first + k);
      for (size_t i = 0; i < rowFloats; ++i) accumulated[i] += w[k] * in[i];
    }
    uint8_t* out = pixels.data() + static_cast<size_t>(y) * stride;
    if (grey) {
      for (int32_t x = 0; x < width; ++x) out[x] = toByte(accumulated[static_cast<size_t>(x)]);
    } else {
      for (int32_t x = 0; x < width; ++x) {
        out[4 * x] = toByte(accumulated[3 * static_cast<size_t>(x)]);
        out[4 * x + 1] = toByte(accumulated[3 * static_cast<size_t>(x) + 1]);
        out[4 * x + 2] = toByte(accumulated[3 * static_cast<size_t>(x) + 2]);
      }
    }
  }
  return Image(width, height, grey ? PixelFormat::kGrey : PixelFormat::kRgbx, stride,
               std::move(pixels));
}

// A side of a target bitmap: the fraction dropped, at least 1.
int64_t targetSide(double value) {
  if (!(value >= 1)) return 1;
  return value >= 1e15 ? int64_t{1} << 50 : static_cast<int64_t>(value);
}

// libpng writes through this file; errors come back by longjmp, so nothing here owns memory.
struct PngOutput {
  FILE* file = nullptr;
  bool ioFailed = false;
  int ioErrno = 0;
};

void pngWrite(png_structp png, png_bytep data, size_t length) {
  auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, output->file) != length) {
    output->ioFailed = true;
    output->ioErrno = errno;
    png_error(png, "write failed");
  }
}

void pngFlush(png_structp) {}
void pngWarning(png_structp, png_const_charp) {}
void pngErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Encodes `image` into `output`; false when libpng fails. No C++ object lives in this frame:
// libpng returns here by longjmp.
bool encodePng(const Image* image, PngOutput* output) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, output, pngWrite, pngFlush);
  const PixelFormat format = image->format();
  const int colourType = format == PixelFormat::kGrey   ? PNG_COLOR_TYPE_GRAY
                         : format == PixelFormat::kRgba ? PNG_COLOR_TYPE_RGB_ALPHA
                                                        : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image->width()),
               static_cast<png_uint_32>(image->height()), 8, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Page images are mostly flat white with text, or scanned pictures. Deflate level 2 with the
  // Paeth filter on every row costs about half of level 3 with libpng's per-row choice of filter
  // (which tries all five on every row), for files 3-12 % larger on rendered pages, and no larger
  // than libpng's default level gives.
  png_set_compression_level(png, 2);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_write_info(png, info);
  if (format == PixelFormat::kRgbx) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drop the 4th byte
  for (int32_t y = 0; y < image->height(); ++y) {
    png_write_row(png, const_cast<png_bytep>(image->row(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

mode_t newFileMode() {
  // The mode an ordinary new file gets: 0666 less the umask (umask can only be read by setting).
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

Image resampledImage(const Image& image) {
  if (!recognitionOptions.scaleWasSet || recognitionOptions.renderScale == 1 || image.empty()) {
    return image;
  }
  const double scale = recognitionOptions.renderScale;
  const int64_t width = targetSide(image.width() * scale);
  const int64_t height = targetSide(image.height() * scale);
  // A bitmap beyond the budget cannot be made; the input goes on unchanged.
  if (static_cast<double>(width) * static_cast<double>(height) > kMaxCanvasPixels) return image;
  return redrawn(image, static_cast<int32_t>(width), static_cast<int32_t>(height), false);
}

PageCanvas pageCanvas(const PdfRect& mediaBox, int64_t rotation, double baseScale,
                      double minimumLongEdge) {
  int64_t normalised = rotation % 360;
  if (normalised < 0) normalised += 360;
  const bool quarter = normalised % 180 != 0;
  const double outputWidth = quarter ? mediaBox.height : mediaBox.width;
  const double outputHeight = quarter ? mediaBox.width : mediaBox.height;
  const double longest = std::max(outputWidth, outputHeight);
  PageCanvas canvas;
  canvas.scale = longest > 0 ? std::max(baseScale, minimumLongEdge / longest) : baseScale;
  const auto sides = [&] {
    canvas.width = outputWidth * canvas.scale;
    canvas.height = outputHeight * canvas.scale;
    if (canvas.width <= 1) canvas.width = 1;
    if (canvas.height <= 1) canvas.height = 1;
  };
  sides();
  const double area = canvas.width * canvas.height;
  if (area > kMaxCanvasPixels && outputWidth > 0 && outputHeight > 0) {
    // Lower the scale so the canvas holds the budget; a side pinned at 1 can leave it a little
    // above, which the adapter's own limit still bounds.
    canvas.scale *= std::sqrt(kMaxCanvasPixels / area);
    canvas.capped = true;
    sides();
  }
  return canvas;
}

std::optional<Image> renderPdfPage(const PdfPage& page) {
  const PageCanvas canvas =
      pageCanvas(page.mediaBox(), page.rotation(), baseRenderScale, minimumRenderLongEdge);
  return page.render(canvas.width, canvas.height);
}

std::optional<GreyscaleSamples> greyscaleSamples(const Image& image, double longEdge) {
  if (image.empty()) return std::nullopt;
  double s = longEdge / std::max(image.width(), image.height());
  if (s > 1) s = 1;
  const int64_t width = targetSide(image.width() * s);
  const int64_t height = targetSide(image.height() * s);
  if (static_cast<double>(width) * static_cast<double>(height) > kMaxCanvasPixels) {
    return std::nullopt;
  }
  Image grey = redrawn(image, static_cast<int32_t>(width), static_cast<int32_t>(height), true);
  GreyscaleSamples samples;
  samples.width = width;
  samples.height = height;
  samples.pixels.resize(static_cast<size_t>(width * height));
  for (int64_t y = 0; y < height; ++y) {
    std::memcpy(samples.pixels.data() + y * width, grey.row(static_cast<int32_t>(y)),
                static_cast<size_t>(width));
  }
  return samples;
}

std::optional<InkRegion> inkRegion(const Image& image) {
  const auto samples = greyscaleSamples(image, 300);
  if (!samples) return std::nullopt;
  const size_t n = samples->pixels.size();
  std::vector<uint8_t> sorted = samples->pixels;
  const size_t at = std::min(n - 1, static_cast<size_t>(static_cast<double>(n) * 0.9));
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<ptrdiff_t>(at), sorted.end());
  const int background = sorted[at];
  if (background <= 30) return std::nullopt;
  const int threshold = background - 22;
  int64_t minX = samples->width, maxX = -1, minY = samples->height, maxY = -1;
  for (int64_t y = 0; y < samples->height; ++y) {
    const uint8_t* row = samples->pixels.data() + y * samples->width;
    for (int64_t x = 0; x < samples->width; ++x) {
      if (row[x] < threshold) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
    }
  }
  if (maxX < 0) return std::nullopt;
  const double w = static_cast<double>(samples->width);
  const double h = static_cast<double>(samples->height);
  return InkRegion{.x = minX / w,
                   .y = minY / h,
                   .width = (maxX - minX + 1) / w,
                   .height = (maxY - minY + 1) / h};
}

Image croppedToContent(const Image& image) {
  const auto region = inkRegion(image);
  if (!region) return image;
  if (region->width * region->height >= 0.9) return image;
  const double m = renderCropMargin;
  double left = region->x - m;
  if (left <= 0) left = 0;
  double top = region->y - m;
  if (top <= 0) top = 0;
  double right = region->x + region->width + m;
  if (right > 1) right = 1;
  double bottom = region->y + region->height + m;
  if (bottom > 1) bottom = 1;
  const double pixelWidth = image.width();
  const double pixelHeight = image.height();
  // Rounded outwards to whole pixels.
  const double x0 = std::floor(left * pixelWidth);
  const double y0 = std::floor(top * pixelHeight);
  const double x1 = std::ceil(left * pixelWidth + (right - left) * pixelWidth);
  const double y1 = std::ceil(top * pixelHeight + (bottom - top) * pixelHeight);
  if (x1 - x0 < 64 || y1 - y0 < 64) return image;
  Image cropped = image.cropped(static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                                static_cast<int32_t>(x1 - x0), static_cast<int32_t>(y1 - y0));
  return cropped.empty() ? image : cropped;
}

Image flattenToOpaqueRgb(const Image& image) {
  if (image.empty() || image.format() == PixelFormat::kRgbx) return image;
  return redrawn(image, image.width(), image.height(), false);
}

Image prepareRenderedPage(const Image& image) {
  return flattenToOpaqueRgb(croppedToContent(image));
}

std::optional<std::string> writePng(const Image& image, const std::string& path) {
  if (image.empty()) return "Could not encode PNG image.";
  // Written without a name, or under a hidden one, and named only once complete.
  std::string reason;
  const std::optional<PendingFile> pending = createPendingFile(path, newFileMode(), reason);
  if (!pending) return "Could not write " + path + ": " + reason;
  ::fchmod(pending->fd, newFileMode());
  const int descriptor = ::dup(pending->fd);
  FILE* file = descriptor >= 0 ? ::fdopen(descriptor, "wb") : nullptr;
  if (file == nullptr) {
    const int error = errno;
    if (descriptor >= 0) ::close(descriptor);
    discardPendingFile(*pending);
    ::close(pending->fd);
    return "Could not write " + path + ": " + std::strerror(error);
  }
  PngOutput output{.file = file};
  const bool encoded = encodePng(&image, &output);
  const bool flushed = std::fflush(file) == 0;
  const int flushErrno = errno;
  const bool closed = std::fclose(file) == 0;
  std::optional<std::string> result;
  if (!encoded && !output.ioFailed) {
    result = "Could not encode PNG image.";
  } else if (!encoded || !flushed || !closed) {
    const int error = output.ioFailed ? output.ioErrno : flushErrno;
    result = "Could not write " + path + ": " + std::strerror(error != 0 ? error : EIO);
  }
  if (result) {
    discardPendingFile(*pending);
  } else if (auto error = commitPendingFile(*pending, path)) {
    result = "Could not write " + path + ": " + *error;
  }
  ::close(pending->fd);
  return result;
}

std::optional<Image> cgImage(const Image& decoded) {
  if (decoded.empty()) return std::nullopt;
  return decoded;
}

}  // namespace marrowfen::scan
