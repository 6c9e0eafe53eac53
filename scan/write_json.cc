#include "scan/write_json.h"

#include "common/json_writer.h"

namespace marrowfen::scan {
namespace {

void put(JsonWriter& w, const BoundingBox& box) {
  w.beginObject();
  w.key("x");
  w.value(box.x);
  w.key("y");
  w.value(box.y);
  w.key("width");
  w.value(box.width);
  w.key("height");
  w.value(box.height);
  w.endObject();
}

void put(JsonWriter& w, const OcrFragment& fragment) {
  w.beginObject();
  w.key("text");
  w.value(fragment.text);
  w.key("confidence");
  w.value(fragment.confidence);
  w.key("boundingBox");
  put(w, fragment.boundingBox);
  w.endObject();
}

void put(JsonWriter& w, const OcrPage& page) {
  w.beginObject();
  w.key("pageNumber");
  w.value(page.pageNumber);
  w.key("text");
  w.value(page.text);
  w.key("confidence");
  w.value(page.confidence);
  w.key("fragments");
  w.beginArray();
  for (const auto& fragment : page.fragments) put(w, fragment);
  w.endArray();
  if (page.source) {
    w.key("source");
    w.value(*page.source);
  }
  if (page.sourceReason) {
    w.key("sourceReason");
    w.value(*page.sourceReason);
  }
  w.endObject();
}

void put(JsonWriter& w, const RenderedPage& page) {
  w.beginObject();
  w.key("pageNumber");
  w.value(page.pageNumber);
  w.key("path");
  w.value(page.path);
  w.endObject();
}

void putStrings(JsonWriter& w, const std::vector<std::string>& strings) {
  w.beginArray();
  for (const auto& s : strings) w.value(s);
  w.endArray();
}

template <typename T>
void putArray(JsonWriter& w, const std::vector<T>& items) {
  w.beginArray();
  for (const auto& item : items) put(w, item);
  w.endArray();
}

std::optional<std::string> finish(const JsonWriter& w) {
  if (w.failed()) return std::nullopt;
  return w.buffer();
}

template <typename Record>
void writeRecord(const Record& record) {
  writeAnswerLine(encodeJson(record), kEncodingFallback);
}

}  // namespace

std::optional<std::string> encodeJson(const OcrOutput& output) {
  JsonWriter w;
  w.beginObject();
  w.key("ok");
  w.value(output.ok);
  w.key("sourceType");
  w.value(output.sourceType);
  w.key("pageCount");
  w.value(output.pageCount);
  w.key("rawText");
  w.value(output.rawText);
  w.key("confidence");
  w.value(output.confidence);
  w.key("pages");
  putArray(w, output.pages);
  w.key("warnings");
  putStrings(w, output.warnings);
  w.endObject();
  return finish(w);
}

std::optional<std::string> encodeJson(const RenderOutput& output) {
  JsonWriter w;
  w.beginObject();
  w.key("ok");
  w.value(output.ok);
  w.key("pageCount");
  w.value(output.pageCount);
  w.key("pages");
  putArray(w, output.pages);
  w.key("warnings");
  putStrings(w, output.warnings);
  w.endObject();
  return finish(w);
}

std::optional<std::string> encodeJson(const OcrFailure& failure) {
  JsonWriter w;
  w.beginObject();
  w.key("ok");
  w.value(failure.ok);
  w.key("error");
  w.value(failure.error);
  w.endObject();
  return finish(w);
}

void writeJson(const OcrOutput& output) { writeRecord(output); }
void writeJson(const RenderOutput& output) { writeRecord(output); }
void writeJson(const OcrFailure& failure) { writeRecord(failure); }

}  // namespace marrowfen::scan
