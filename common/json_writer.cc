#include "common/json_writer.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>

namespace marrowfen {

void appendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  // Bytes that need an escape: controls, the quotation mark and the reverse solidus.
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> table{};
    for (int b = 0; b < 0x20; ++b) table[b] = true;
    table['"'] = table['\\'] = true;
    return table;
  }();
  size_t plain = 0;  // start of the bytes not yet copied; they need no escape
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (!kEscaped[u]) continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out.push_back(kHex[u >> 4]);
        out.push_back(kHex[u & 0xF]);
    }
  }
  out.append(text.data() + plain, text.size() - plain);
  out.push_back('"');
}

void JsonWriter::separate() {
  if (needComma_) out_.push_back(',');
}

void JsonWriter::beginObject() {
  separate();
  out_.push_back('{');
  needComma_ = false;
}

void JsonWriter::endObject() {
  out_.push_back('}');
  needComma_ = true;
}

void JsonWriter::beginArray() {
  separate();
  out_.push_back('[');
  needComma_ = false;
}

void JsonWriter::endArray() {
  out_.push_back(']');
  needComma_ = true;
}

void JsonWriter::key(std::string_view name) {
  separate();
  appendJsonString(out_, name);
  out_.push_back(':');
  needComma_ = false;
}

void JsonWriter::value(std::string_view text) {
  separate();
  appendJsonString(out_, text);
  needComma_ = true;
}

void JsonWriter::value(double number) {
  separate();
  if (!std::isfinite(number)) {
    failed_ = true;
    out_.push_back('0');
  } else {
    char digits[32];
    // Shortest representation that round-trips; never uses a locale.
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    out_.append(digits, ec == std::errc() ? end : digits);
  }
  needComma_ = true;
}

void JsonWriter::value(int64_t number) {
  separate();
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
  out_.append(digits, ec == std::errc() ? end : digits);
  needComma_ = true;
}

void JsonWriter::value(bool flag) {
  separate();
  out_ += flag ? "true" : "false";
  needComma_ = true;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool writeAllToStdout(std::string_view bytes) { return writeAll(STDOUT_FILENO, bytes); }

}  // namespace marrowfen
