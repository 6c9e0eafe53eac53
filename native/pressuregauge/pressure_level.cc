#include "native/pressuregauge/pressure_level.h"

#include <charconv>

namespace marrowfen::pressure {

int32_t applyPressureBits(int32_t bits, int32_t current) {
  if (bits & kCriticalBit) return kCriticalLevel;
  if (bits & kWarningBit) return kWarningLevel;
  if (bits & kNormalBit) return kNormalLevel;
  return current;
}

const char* levelWord(int32_t level) {
  switch (level) {
    case kNormalLevel:
      return "normal";
    case kWarningLevel:
      return "warning";
    case kCriticalLevel:
      return "critical";
    default:
      return "unknown";
  }
}

namespace {

// Splits off the next whitespace-separated token of rest.
std::string_view nextToken(std::string_view& rest) {
  size_t start = rest.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  size_t end = rest.find_first_of(" \t", start);
  if (end == std::string_view::npos) end = rest.size();
  std::string_view token = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return token;
}

bool parseDouble(std::string_view text, double& out) {
  if (text.empty()) return false;
  // from_chars for double is locale-independent, as the kernel's "%lu.%02lu" needs.
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

bool parseUnsigned(std::string_view text, uint64_t& out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

// "avg10=0.00 avg60=0.00 avg300=0.00 total=0"; every field must be present once.
std::optional<PsiLine> parsePsiFields(std::string_view rest) {
  PsiLine line;
  int seen = 0;
  for (std::string_view token = nextToken(rest); !token.empty(); token = nextToken(rest)) {
    size_t equals = token.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view key = token.substr(0, equals);
    std::string_view value = token.substr(equals + 1);
    bool ok = false;
    int bit = 0;
    if (key == "avg10")
      ok = parseDouble(value, line.avg10), bit = 1;
    else if (key == "avg60")
      ok = parseDouble(value, line.avg60), bit = 2;
    else if (key == "avg300")
      ok = parseDouble(value, line.avg300), bit = 4;
    else if (key == "total")
      ok = parseUnsigned(value, line.total), bit = 8;
    else
      continue;  // a field a newer kernel may add
    if (!ok || (seen & bit)) return std::nullopt;
    seen |= bit;
  }
  if (seen != 15) return std::nullopt;
  return line;
}

}  // namespace

std::optional<PsiReading> parsePsi(std::string_view text) {
  PsiReading reading;
  while (!text.empty()) {
    size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    std::string_view rest = line;
    std::string_view kind = nextToken(rest);
    if (kind.empty()) continue;
    std::optional<PsiLine>* slot = kind == "some"   ? &reading.some
                                   : kind == "full" ? &reading.full
                                                    : nullptr;
    if (slot == nullptr) continue;
    if (slot->has_value()) return std::nullopt;
    *slot = parsePsiFields(rest);
    if (!slot->has_value()) return std::nullopt;
  }
  if (!reading.some) return std::nullopt;
  return reading;
}

std::optional<MemInfo> parseMemInfo(std::string_view text) {
  std::optional<uint64_t> total;
  std::optional<uint64_t> available;
  while (!text.empty()) {
    size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view key = line.substr(0, colon);
    std::optional<uint64_t>* slot = key == "MemTotal"       ? &total
                                    : key == "MemAvailable" ? &available
                                                            : nullptr;
    if (slot == nullptr) continue;
    std::string_view rest = line.substr(colon + 1);
    std::string_view number = nextToken(rest);
    std::string_view unit = nextToken(rest);
    uint64_t value = 0;
    if (!parseUnsigned(number, value) || (unit != "kB" && !unit.empty())) return std::nullopt;
    *slot = value;
  }
  if (!total || !available || *total == 0) return std::nullopt;
  return MemInfo{.totalKb = *total, .availableKb = *available};
}

int32_t memInfoBits(const MemInfo& info) {
  // Compared as available * 100 < total * percent, in integers, so no rounding moves a boundary.
  const unsigned __int128 available = static_cast<unsigned __int128>(info.availableKb) * 100;
  const unsigned __int128 total = info.totalKb;
  if (available < total * kMemCriticalPercent) return kCriticalBit;
  if (available < total * kMemWarningPercent) return kWarningBit;
  return kNormalBit;
}

int32_t psiBits(const PsiReading& reading, bool someFiredRecently, bool fullFiredRecently) {
  int32_t bits = 0;
  if (fullFiredRecently || (reading.full && reading.full->avg10 >= kFullCriticalPercent))
    bits |= kCriticalBit;
  if (someFiredRecently || (reading.some && reading.some->avg10 >= kSomeWarningPercent))
    bits |= kWarningBit;
  return bits != 0 ? bits : kNormalBit;
}

}  // namespace marrowfen::pressure
