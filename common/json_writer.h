// Compact JSON encoding shared by both programs.
//
// JsonWriter appends tokens to an in-memory buffer. Strings are written with the RFC 8259 escapes
// for '"', '\\' and U+0000..U+001F only: the solidus and every non-ASCII character go out as their
// UTF-8 bytes; bytes that are not well-formed UTF-8 (a file name in another encoding, say) become
// U+FFFD, one for each maximal ill-formed part, so the output is always valid UTF-8. Doubles are
// written in the shortest form that reads back to the same value. A non-finite double has no JSON
// form: it marks the writer failed, and the caller must discard the buffer (see failed()).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marrowfen {

class JsonWriter {
 public:
  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  // Writes a member name; the value written next belongs to it.
  void key(std::string_view name);
  void value(std::string_view text);
  void value(const char* text) { value(std::string_view(text)); }
  void value(const std::string& text) { value(std::string_view(text)); }
  void value(double number);
  void value(int64_t number);
  void value(int number) { value(static_cast<int64_t>(number)); }
  void value(bool flag);

  // True once a non-finite double was met; the buffer is then not valid JSON.
  bool failed() const { return failed_; }
  const std::string& buffer() const { return out_; }

 private:
  void separate();

  std::string out_;
  bool needComma_ = false;  // a value stands before the next token at this level
  bool failed_ = false;
};

// Appends `text` as a JSON string (with quotes) to `out`.
void appendJsonString(std::string& out, std::string_view text);

// Writes all of `bytes` to `fd` with write(2), retrying short writes and EINTR.
// Returns false when the descriptor refuses the bytes (a closed pipe, say).
bool writeAll(int fd, std::string_view bytes);
// writeAll to standard output.
bool writeAllToStdout(std::string_view bytes);
// Writes an encoded answer to standard output followed by a line feed in a second write, or
// `fallback` (a complete line) in one write when there is no encoding. A closed or failing
// standard output has nowhere to be reported, so nothing is returned.
void writeAnswerLine(const std::optional<std::string>& encoded, std::string_view fallback);
// Reads exactly `size` bytes from `fd` into `data` with read(2), retrying short reads and EINTR.
// Returns false at end of file, on an error, or when fewer than `size` bytes come. With
// `stallMs` zero or more, waits at most that many milliseconds for each piece of the bytes
// (poll(2)) and returns false when the writer stalls longer.
bool readAll(int fd, void* data, size_t size, int stallMs = -1);

}  // namespace marrowfen
