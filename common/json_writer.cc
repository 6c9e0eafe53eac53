#include "common/json_writer.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>

namespace marrowfen {

namespace {

// The length of the well-formed UTF-8 sequence starting at text[i] (a byte of 0x80 or more), or
// 0 when none starts there (Unicode's table of well-formed byte sequences: no overlong forms, no
// surrogates, nothing above U+10FFFF).
size_t validUtf8SequenceAt(std::string_view text, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = at(i);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

// The length of the maximal part of an ill-formed sequence starting at text[i]: the lead byte
// and the continuation bytes that could still have followed it, at least 1.
size_t invalidUtf8PartAt(std::string_view text, size_t i) {
  size_t longest = 1;
  for (size_t length = 2; length <= 3 && i + length <= text.size(); ++length) {
    // A prefix that more continuation bytes would complete belongs to the same maximal part.
    std::string padded(text.substr(i, length));
    padded.append(4 - length, '\x80');
    if (validUtf8SequenceAt(padded, 0) <= length) break;
    longest = length;
  }
  return longest;
}

}  // namespace

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
    if (u >= 0x80) {
      const size_t length = validUtf8SequenceAt(text, i);
      if (length > 0) {
        i += length - 1;
        continue;
      }
      // Not UTF-8 (a file name in another encoding, say): the maximal invalid part becomes one
      // U+FFFD, so that the answer stays valid UTF-8 and every other character survives.
      out.append(text.data() + plain, i - plain);
      out += "\xEF\xBF\xBD";
      i += invalidUtf8PartAt(text, i) - 1;
      plain = i + 1;
      continue;
    }
    if (!kEscaped[u]) continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
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

void writeAnswerLine(const std::optional<std::string>& encoded, std::string_view fallback) {
  if (!encoded) {
    writeAllToStdout(fallback);
    return;
  }
  writeAllToStdout(*encoded);
  writeAllToStdout("\n");
}

bool readAll(int fd, void* data, size_t size, int stallMs) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    if (stallMs >= 0) {
      pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
      const int polled = ::poll(&ready, 1, stallMs);
      if (polled < 0 && errno == EINTR) continue;
      if (polled <= 0) return false;
    }
    const ssize_t n = ::read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace marrowfen
