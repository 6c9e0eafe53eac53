#include "entities/write_json.h"

#include "common/json_writer.h"

namespace marrowfen::entities {
namespace {

void writeCandidate(JsonWriter& w, const Candidate& c) {
  w.beginObject();
  w.key("type");
  w.value(c.type);
  w.key("value");
  w.value(c.value);
  if (c.label) {
    w.key("label");
    w.value(*c.label);
  }
  if (c.suggestedRole) {
    w.key("suggestedRole");
    w.value(*c.suggestedRole);
  }
  w.key("evidence");
  w.value(c.evidence);
  w.key("confidence");
  w.value(c.confidence);
  w.key("metadata");
  w.beginObject();
  for (const auto& [name, text] : c.metadata) {
    w.key(name);
    w.value(text);
  }
  w.endObject();
  w.endObject();
}

}  // namespace

std::optional<std::string> encodeJson(const HelperOutput& output) {
  JsonWriter w;
  w.beginObject();
  w.key("ok");
  w.value(output.ok);
  if (output.language) {
    w.key("language");
    w.value(*output.language);
  }
  w.key("entities");
  w.beginArray();
  for (const Candidate& c : output.entities) writeCandidate(w, c);
  w.endArray();
  w.key("warnings");
  w.beginArray();
  for (const std::string& warning : output.warnings) w.value(warning);
  w.endArray();
  w.endObject();
  if (w.failed()) return std::nullopt;
  return w.buffer();
}

std::optional<std::string> encodeJson(const HelperFailure& failure) {
  JsonWriter w;
  w.beginObject();
  w.key("ok");
  w.value(failure.ok);
  w.key("error");
  w.value(failure.error);
  w.endObject();
  return w.buffer();
}

void writeJson(const HelperOutput& output) {
  writeAnswerLine(encodeJson(output), kEncodingFallback);
}
void writeJson(const HelperFailure& failure) {
  writeAnswerLine(encodeJson(failure), kEncodingFallback);
}

}  // namespace marrowfen::entities
