#include "entities/json_input.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "entities/clean.h"

namespace marrowfen::entities {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : s_(bytes) {}

  std::optional<HelperInput> read() {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    skipSpace();
    if (!at('{')) return std::nullopt;
    if (!parseValue()) return std::nullopt;
    skipSpace();
    if (pos_ != s_.size() || !textIsString_) return std::nullopt;
    return HelperInput{.text = std::move(text_)};
  }

 private:
  bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }

  void skipSpace() {
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++pos_;
    }
  }

  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool digits() {
    const size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }

  bool number() {
    if (at('-')) ++pos_;
    if (at('0')) {
      ++pos_;
    } else if (pos_ >= s_.size() || s_[pos_] < '1' || s_[pos_] > '9' || !digits()) {
      return false;
    }
    if (at('.')) {
      ++pos_;
      if (!digits()) return false;
    }
    if (at('e') || at('E')) {
      ++pos_;
      if (at('+') || at('-')) ++pos_;
      if (!digits()) return false;
    }
    return true;
  }

  static void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }

  bool hex4(char32_t& value) {
    if (s_.size() - pos_ < 4) return false;
    value = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= static_cast<char32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value |= static_cast<char32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        value |= static_cast<char32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }

  // Length of the well-formed UTF-8 sequence at pos_ (Unicode table 3-7), or 0.
  size_t utf8Sequence() const {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s_[pos_ + k]); };
    const size_t left = s_.size() - pos_;
    const unsigned char b0 = b(0);
    const auto cont = [&](size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
      return k < left && b(k) >= lo && b(k) <= hi;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
    if (b0 == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
    if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) return cont(1) && cont(2) ? 3 : 0;
    if (b0 == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;  // no UTF-8 surrogates
    if (b0 == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    if (b0 >= 0xF1 && b0 <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
    if (b0 == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    return 0;
  }

  // Reads a string starting at its opening quote; appends its decoded form to `out` when given.
  bool string(std::string* out) {
    ++pos_;  // the opening quote
    while (true) {
      if (pos_ >= s_.size()) return false;
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        ++pos_;
        if (pos_ >= s_.size()) return false;
        const char e = s_[pos_++];
        char plain = 0;
        switch (e) {
          case '"':
            plain = '"';
            break;
          case '\\':
            plain = '\\';
            break;
          case '/':
            plain = '/';
            break;
          case 'b':
            plain = '\b';
            break;
          case 'f':
            plain = '\f';
            break;
          case 'n':
            plain = '\n';
            break;
          case 'r':
            plain = '\r';
            break;
          case 't':
            plain = '\t';
            break;
          case 'u': {
            char32_t unit = 0;
            if (!hex4(unit)) return false;
            if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a trail without a lead
            if (unit >= 0xD800 && unit <= 0xDBFF) {
              char32_t trail = 0;
              if (!literal("\\u") || !hex4(trail) || trail < 0xDC00 || trail > 0xDFFF) return false;
              unit = 0x10000 + ((unit - 0xD800) << 10) + (trail - 0xDC00);
            }
            if (out) appendUtf8(*out, unit);
            continue;
          }
          default:
            return false;
        }
        if (out) out->push_back(plain);
        continue;
      }
      if (c < 0x80) {
        if (out) out->push_back(static_cast<char>(c));
        ++pos_;
        continue;
      }
      const size_t n = utf8Sequence();
      if (n == 0) return false;
      if (out) out->append(s_.substr(pos_, n));
      pos_ += n;
    }
  }

  // One value with everything it holds. Containers are tracked on `stack` (true = object), so the
  // depth of nesting never touches the call stack.
  bool parseValue() {
    std::vector<bool> stack;
    // Whether the member being read is "text" of the top-level object.
    bool memberIsText = false;
    while (true) {
      skipSpace();
      if (pos_ >= s_.size()) return false;
      const char c = s_[pos_];
      const bool topMember = stack.size() == 1 && stack.back();
      bool scalarDone = true;
      if (c == '{' || c == '[') {
        if (topMember && memberIsText) textIsString_ = false;
        stack.push_back(c == '{');
        ++pos_;
        skipSpace();
        if (at(c == '{' ? '}' : ']')) {
          ++pos_;
          stack.pop_back();
        } else if (c == '{') {
          if (!readKey(stack, memberIsText)) return false;
          continue;
        } else {
          continue;
        }
      } else if (c == '"') {
        if (topMember && memberIsText) {
          text_.clear();
          if (!string(&text_)) return false;
          textIsString_ = true;
        } else if (!string(nullptr)) {
          return false;
        }
      } else {
        if (c == 't')
          scalarDone = literal("true");
        else if (c == 'f')
          scalarDone = literal("false");
        else if (c == 'n')
          scalarDone = literal("null");
        else
          scalarDone = number();
        if (!scalarDone) return false;
        if (topMember && memberIsText) textIsString_ = false;
      }
      // A value has ended: close every container that ends here, or move to the next element.
      while (true) {
        if (stack.empty()) return true;
        skipSpace();
        if (at(',')) {
          ++pos_;
          if (stack.back()) {
            if (!readKey(stack, memberIsText)) return false;
          }
          break;
        }
        if (at(stack.back() ? '}' : ']')) {
          ++pos_;
          stack.pop_back();
          continue;
        }
        return false;
      }
    }
  }

  // Reads `"key" :` inside the object on top of `stack`.
  bool readKey(const std::vector<bool>& stack, bool& memberIsText) {
    skipSpace();
    if (!at('"')) return false;
    if (stack.size() == 1) {
      std::string key;
      if (!string(&key)) return false;
      memberIsText = key == "text";
    } else if (!string(nullptr)) {
      return false;
    }
    skipSpace();
    if (!at(':')) return false;
    ++pos_;
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::string text_;
  bool textIsString_ = false;
};

}  // namespace

std::optional<HelperInput> decodeHelperInput(std::string_view bytes) {
  return Reader(bytes).read();
}

std::optional<HelperInput> acceptInput(std::string_view bytes) {
  auto input = decodeHelperInput(bytes);
  if (!input || clean(input->text).empty()) return std::nullopt;
  return input;
}

std::string readAllStandardInput() {
  std::string data;
  char buffer[1 << 16];
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) {
      data.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      // End of file; a read error ends the input the same way, and the check then judges it.
      return data;
    }
  }
}

}  // namespace marrowfen::entities
