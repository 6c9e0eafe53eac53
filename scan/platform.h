// The platform services that marrowfen-scan's logic depends on. The logic reaches them only
// through platform(), which main() points at the real adapters and tests at test doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/image.h"
#include "scan/recognizer.h"

namespace marrowfen::scan {

// A rectangle in a PDF page's unrotated user space: points, lower-left origin, y up.
struct PdfRect {
  double x = 0;       // left
  double y = 0;       // bottom
  double width = 0;   // extent along x
  double height = 0;  // extent along y
};

// One line of a page's text layer.
struct PdfTextLine {
  std::string text;  // the line's text as the reader gives it (untrimmed)
  PdfRect bounds;    // its rectangle, same space as the media box
};

// One page of an open document. A page keeps alive whatever it needs of its document.
class PdfPage {
 public:
  virtual ~PdfPage() = default;
  // The media box (not the crop box), unrotated user space.
  virtual PdfRect mediaBox() const = 0;
  // /Rotate in degrees as the file gives it (inherited; a multiple of 90, possibly negative).
  virtual int64_t rotation() const = 0;
  // The whole media box drawn to fit width x height pixels (each rounded to a whole pixel, at
  // least 1), rotation applied, on an opaque white background. Nothing when it cannot be drawn.
  virtual std::optional<Image> render(double width, double height) const = 0;
  // The page's text layer, or nothing when it has none.
  virtual std::optional<std::string> text() const = 0;
  // The text layer split into lines in reading order, or nothing when it cannot be selected.
  virtual std::optional<std::vector<PdfTextLine>> textLines() const = 0;
  // Calls `onTextRenderMode` for every "Tr" operator in the page's own content streams (form
  // XObjects are not entered), with its operand when that is an integer. Returns false when the
  // page has no content that can be scanned.
  virtual bool scanTextRenderModes(
      const std::function<void(std::optional<int64_t>)>& onTextRenderMode) const = 0;
};

// An open PDF document.
class PdfDocument {
 public:
  virtual ~PdfDocument() = default;
  // True while the document is encrypted and not unlocked.
  virtual bool isLocked() const = 0;
  // Tries the user or the owner password; true when it opened the document.
  virtual bool unlock(const std::string& password) = 0;
  // Number of pages actually reachable in the page tree, 0 or more.
  virtual int64_t pageCount() const = 0;
  // The page at a 0-based index, or nullptr when it cannot be read.
  virtual std::unique_ptr<PdfPage> pageAt(int64_t index) const = 0;
};

class PdfService {
 public:
  virtual ~PdfService() = default;
  // Opens the file; nullptr when it is no readable PDF.
  virtual std::unique_ptr<PdfDocument> open(const std::string& path) const = 0;
};

class ImageService {
 public:
  virtual ~ImageService() = default;
  // Decodes an image file (first page or frame, orientation applied), or nothing when it is no
  // image this service can read.
  virtual std::optional<Image> load(const std::string& path) const = 0;
};

// The services in force for this run. Pointers are never null once main() or a test set them.
struct Platform {
  const PdfService* pdf = nullptr;
  const ImageService* images = nullptr;
  const TextRecognizer* recognizer = nullptr;
  // A new recogniser of the same kind, for the pages after one that was left inside the current
  // one because it ran out of time (recognition_thread.h); it lives as long as the process. Unset
  // where the recogniser cannot be replaced.
  std::function<const TextRecognizer*()> freshRecognizer;
};

Platform& platform();

}  // namespace marrowfen::scan
