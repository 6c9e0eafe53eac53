// Test doubles of the platform services: pages, documents, image files and recognised text whose
// answers a test sets, and which count what they were asked.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scan/platform.h"

namespace marrowfen::scan::testing {

struct FakePageData {
  PdfRect mediaBox{0, 0, 612, 792};
  int64_t rotation = 0;
  std::optional<std::string> text;
  std::optional<std::vector<PdfTextLine>> lines;
  std::vector<std::optional<int64_t>> renderModes;  // the Tr operands the content sets
  bool scannable = true;
  bool renderable = true;
  std::string marker;  // drawn into rendered images (as the grey value of pixel 0) to identify them
};

// Counters shared by a document's pages.
struct FakeCounters {
  int textReads = 0;
  int renders = 0;
  int scans = 0;
};

class FakePdfPage : public PdfPage {
 public:
  FakePdfPage(FakePageData data, std::shared_ptr<FakeCounters> counters)
      : data_(std::move(data)), counters_(std::move(counters)) {}
  PdfRect mediaBox() const override { return data_.mediaBox; }
  int64_t rotation() const override { return data_.rotation; }
  std::optional<Image> render(double width, double height) const override {
    ++counters_->renders;
    if (!data_.renderable) return std::nullopt;
    const int32_t w = std::max<int32_t>(1, static_cast<int32_t>(width + 0.5));
    const int32_t h = std::max<int32_t>(1, static_cast<int32_t>(height + 0.5));
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 255);
    pixels[0] = static_cast<uint8_t>(data_.marker.empty() ? 255 : data_.marker[0]);
    return Image(w, h, PixelFormat::kGrey, static_cast<size_t>(w), std::move(pixels));
  }
  std::optional<std::string> text() const override {
    ++counters_->textReads;
    return data_.text;
  }
  std::optional<std::vector<PdfTextLine>> textLines() const override {
    ++counters_->textReads;
    return data_.lines;
  }
  bool scanTextRenderModes(
      const std::function<void(std::optional<int64_t>)>& onTextRenderMode) const override {
    ++counters_->scans;
    if (!data_.scannable) return false;
    for (const auto& mode : data_.renderModes) onTextRenderMode(mode);
    return true;
  }

 private:
  FakePageData data_;
  std::shared_ptr<FakeCounters> counters_;
};

class FakePdfDocument : public PdfDocument {
 public:
  std::vector<std::optional<FakePageData>> pages;  // nothing: the page cannot be read
  std::optional<std::string> password;             // set: locked until this is given
  std::shared_ptr<FakeCounters> counters = std::make_shared<FakeCounters>();

  bool isLocked() const override { return password.has_value() && !unlocked_; }
  bool unlock(const std::string& given) override {
    if (password && given == *password) unlocked_ = true;
    return unlocked_;
  }
  int64_t pageCount() const override { return static_cast<int64_t>(pages.size()); }
  std::unique_ptr<PdfPage> pageAt(int64_t index) const override {
    if (index < 0 || index >= pageCount() || !pages[static_cast<size_t>(index)]) return nullptr;
    return std::make_unique<FakePdfPage>(*pages[static_cast<size_t>(index)], counters);
  }

 private:
  bool unlocked_ = false;
};

// Opens the one document it was given (a fresh copy each time), for any path; or nothing.
class FakePdfService : public PdfService {
 public:
  std::optional<FakePdfDocument> document;
  mutable std::vector<std::string> opened;
  std::unique_ptr<PdfDocument> open(const std::string& path) const override {
    opened.push_back(path);
    if (!document) return nullptr;
    auto copy = std::make_unique<FakePdfDocument>();
    copy->pages = document->pages;
    copy->password = document->password;
    copy->counters = document->counters;
    return copy;
  }
};

// Hands out a fresh copy of `image` on every load, as a decoder does.
class FakeImageService : public ImageService {
 public:
  std::optional<Image> image;
  std::optional<Image> load(const std::string&) const override {
    if (!image || image->empty()) return image;
    const size_t rowBytes = static_cast<size_t>(image->width()) * bytesPerPixel(image->format());
    std::vector<uint8_t> pixels(rowBytes * static_cast<size_t>(image->height()));
    for (int32_t y = 0; y < image->height(); ++y) {
      std::copy_n(image->row(y), rowBytes, pixels.begin() + static_cast<ptrdiff_t>(rowBytes * y));
    }
    return Image(image->width(), image->height(), image->format(), rowBytes, std::move(pixels));
  }
};

// A recognised line of fixed text and confidence, without word boxes.
class FixedText : public RecognizedText {
 public:
  FixedText(std::string text, float confidence) : text_(std::move(text)), confidence_(confidence) {}
  const std::string& string() const override { return text_; }
  float confidence() const override { return confidence_; }
  std::optional<BoundingBox> boundingBox(size_t, size_t) const override { return std::nullopt; }

 private:
  std::string text_;
  float confidence_;
};

}  // namespace marrowfen::scan::testing
