#include "entities/candidate_rules.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <functional>

#include "common/unicode.h"
#include "entities/clean.h"

namespace marrowfen::entities {
namespace {

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One grapheme iterator for the process, reused for every short string (the run is
// single-threaded, and creating an iterator costs far more than using it).
icu::BreakIterator& graphemeIterator() {
  static std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(it) : nullptr;
  }();
  return *iterator;
}

bool keepsCharacter(UChar32 first) {
  return u_hasBinaryProperty(first, UCHAR_ALPHABETIC) ||
         u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// A line ends only at a lone LF: the cluster CR LF is not equal to LF.
bool isLoneLineFeed(std::string_view text, size_t i) {
  return text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
}

void addCandidateWith(std::vector<Candidate>& entities, std::unordered_set<std::string>& seen,
                      std::unordered_map<std::string, size_t>* firstIndex, std::string_view type,
                      std::string_view value, const std::optional<std::string>& label,
                      const std::optional<std::string>& suggestedRole,
                      const std::function<std::string()>& evidence, double confidence,
                      const std::map<std::string, std::string>& metadata, size_t evidenceLimit);

struct Kind {
  const char* type;
  std::optional<std::string> label;
  std::optional<std::string> suggestedRole;
  double confidence;
  const char* metadataKey;
  const char* metadataValue;
};

void addKind(RunState& state, const Kind& kind, TextRange range) {
  const std::string_view value = state.text.substr(range.begin, range.end - range.begin);
  addCandidateWith(
      state.entities, state.seen, &state.firstIndex, kind.type, value, kind.label,
      kind.suggestedRole, [&] { return contextLine(range, state.text); }, kind.confidence,
      {{kind.metadataKey, kind.metadataValue}}, kMaxCandidates);
}

const Kind kPersonKind{"person", std::nullopt, std::nullopt, 0.82, "nlTag", "personalName"};
const Kind kOrganizationKind{"organization", std::nullopt, std::nullopt,
                             0.82,           "nlTag",      "organizationName"};
const Kind kPlaceKind{"location", std::nullopt, std::nullopt, 0.78, "nlTag", "placeName"};
const Kind kDateKind{"date", std::nullopt, std::nullopt, 0.84, "detector", "NSDataDetector.date"};
const Kind kAddressKind{"location", std::nullopt, std::nullopt,
                        0.8,        "detector",   "NSDataDetector.address"};
const Kind kPhoneKind{"identifier", "phone",    "reference_number",
                      0.72,         "detector", "NSDataDetector.phoneNumber"};

}  // namespace

struct TextIndex::Impl {
  std::string_view text;
  // (UTF-16 offset, byte offset) of every 64th scalar, the first at (0, 0).
  std::vector<std::pair<size_t, size_t>> checkpoints;
  size_t utf16Length = 0;
  UText* utext = nullptr;
  std::unique_ptr<icu::BreakIterator> graphemes;
};

TextIndex::TextIndex(std::string_view text) : impl_(std::make_unique<Impl>()) {
  impl_->text = text;
  size_t unit = 0;
  size_t scalars = 0;
  for (size_t i = 0; i < text.size();) {
    if (scalars++ % 64 == 0) impl_->checkpoints.emplace_back(unit, i);
    unit += nextScalar(text, i) >= 0x10000 ? 2 : 1;
  }
  if (impl_->checkpoints.empty()) impl_->checkpoints.emplace_back(0, 0);
  impl_->utf16Length = unit;

  UErrorCode status = U_ZERO_ERROR;
  impl_->utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  impl_->graphemes.reset(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_SUCCESS(status)) impl_->graphemes->setText(impl_->utext, status);
  if (U_FAILURE(status)) impl_->graphemes.reset();
}

TextIndex::~TextIndex() {
  impl_->graphemes.reset();
  if (impl_->utext) utext_close(impl_->utext);
}

std::optional<size_t> TextIndex::byteOffset(size_t unit) const {
  if (unit > impl_->utf16Length) return std::nullopt;
  if (unit == impl_->utf16Length) return impl_->text.size();
  const auto& points = impl_->checkpoints;
  auto it = std::upper_bound(points.begin(), points.end(), unit,
                             [](size_t u, const auto& point) { return u < point.first; });
  --it;  // points[0] is (0, 0), so some checkpoint is at or before `unit`
  size_t u = it->first;
  size_t i = it->second;
  while (u < unit) {
    u += nextScalar(impl_->text, i) >= 0x10000 ? 2 : 1;
  }
  if (u != unit) return std::nullopt;  // inside a surrogate pair
  return i;
}

bool TextIndex::isCharacterBoundary(size_t offset) const {
  if (offset == 0 || offset == impl_->text.size()) return true;
  if (offset > impl_->text.size() || !impl_->graphemes) return false;
  return impl_->graphemes->isBoundary(static_cast<int32_t>(offset));
}

size_t characterCount(std::string_view text) {
  if (isAscii(text)) {
    size_t crlf = 0;
    for (size_t i = 1; i < text.size(); ++i) crlf += text[i - 1] == '\r' && text[i] == '\n';
    return text.size() - crlf;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::BreakIterator& it = graphemeIterator();
  it.setText(u);
  size_t count = 0;
  for (int32_t p = it.first(); it.next() != icu::BreakIterator::DONE;) {
    (void)p;
    ++count;
  }
  return count;
}

std::string dedupeKey(std::string_view type, std::string_view value) {
  std::string key(type);
  key.push_back(':');
  const std::string cleaned = clean(value);
  if (isAscii(cleaned)) {
    // ASCII: each byte is a character (no CR LF survives cleaning), letters and digits are kept.
    for (char c : cleaned) {
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        key.push_back(c);
      else if (c >= 'A' && c <= 'Z')
        key.push_back(static_cast<char>(c - 'A' + 'a'));
    }
    return key;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(cleaned.data(), static_cast<int32_t>(cleaned.size())));
  u.toLower(icu::Locale::getRoot());
  icu::UnicodeString kept;
  icu::BreakIterator& it = graphemeIterator();
  it.setText(u);
  for (int32_t start = it.first(), end = it.next(); end != icu::BreakIterator::DONE;
       start = end, end = it.next()) {
    if (keepsCharacter(u.char32At(start))) kept.append(u, start, end - start);
  }
  kept.toUTF8String(key);
  return key;
}

std::string contextLine(TextRange range, std::string_view text) {
  // A line is looked at no further than kMaxEvidenceLine bytes from the range on either side:
  // on a longer one (a whole file without line breaks) the evidence is the range with
  // kEvidenceWindow bytes around it, so that 80 candidates do not each copy the whole text.
  size_t start = range.begin;
  while (start > 0 && !isLoneLineFeed(text, start - 1) && range.begin - start <= kMaxEvidenceLine) {
    --start;
  }
  size_t end = range.end;
  while (end < text.size() && !isLoneLineFeed(text, end) && end - range.end <= kMaxEvidenceLine) {
    ++end;
  }
  if (end - start > kMaxEvidenceLine) {
    start = std::max(start, range.begin > kEvidenceWindow ? range.begin - kEvidenceWindow : 0);
    end = std::min(end, range.end + kEvidenceWindow);
    // Whole characters only: the range itself starts and ends on scalar boundaries.
    const auto continuation = [&](size_t i) {
      return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    while (start < range.begin && continuation(start)) ++start;
    while (end > range.end && end < text.size() && continuation(end)) --end;
  }
  return clean(text.substr(start, end - start));
}

int rolePriority(const std::optional<std::string>& suggestedRole) {
  if (!suggestedRole) return 0;
  const std::string& role = *suggestedRole;
  if (role == "parent_or_guardian" || role == "spouse") return 5;
  if (role == "pan_number" || role == "aadhaar_number" || role == "passport_number" ||
      role == "issue_date" || role == "expiry_date" || role == "date_of_birth" ||
      role == "issuer") {
    return 4;
  }
  if (role == "subject") return 3;
  return 2;
}

namespace {

// addCandidate with two shortcuts that leave every written answer the same:
// - the evidence is built only when a candidate is stored that can reach the output (the value
//   lies inside its own context line, so the evidence of a non-empty value is never empty);
//   candidates stored at `evidenceLimit` or later (the run passes the cap of 80) are never
//   written and keep an empty evidence;
// - `firstIndex`, when given, maps each key to its candidate's place. Every key is appended once
//   and a replacement keeps its key, so this finds the same candidate as the scan from the front.
// Without them a text of one long line with many matches would cost its length for every match.
void addCandidateWith(std::vector<Candidate>& entities, std::unordered_set<std::string>& seen,
                      std::unordered_map<std::string, size_t>* firstIndex, std::string_view type,
                      std::string_view value, const std::optional<std::string>& label,
                      const std::optional<std::string>& suggestedRole,
                      const std::function<std::string()>& evidence, double confidence,
                      const std::map<std::string, std::string>& metadata, size_t evidenceLimit) {
  std::string v = clean(value);
  if (v.empty()) return;
  std::string k = dedupeKey(type, v);
  // Every character takes at least one byte, so a short key needs no counting.
  if (k.size() < kMinKeyCharacters || characterCount(k) < kMinKeyCharacters) return;
  const bool isNew = !seen.count(k);
  if (!isNew && !label && !suggestedRole) return;

  Candidate* existing = nullptr;
  if (!isNew) {
    if (firstIndex) {
      const auto it = firstIndex->find(k);
      if (it != firstIndex->end()) existing = &entities[it->second];
    } else {
      const auto it = std::find_if(entities.begin(), entities.end(), [&](const Candidate& c) {
        return dedupeKey(c.type, c.value) == k;
      });
      if (it != entities.end()) existing = &*it;
    }
    if (!existing) return;
    const bool keep = (existing->label || existing->suggestedRole) &&
                      existing->confidence >= confidence &&
                      rolePriority(existing->suggestedRole) >= rolePriority(suggestedRole);
    if (keep) return;
  }
  const size_t place = isNew ? entities.size() : static_cast<size_t>(existing - entities.data());
  std::string e = place < evidenceLimit ? clean(evidence()) : std::string();
  if (e.empty() && place < evidenceLimit) return;
  Candidate candidate{.type = std::string(type),
                      .value = std::move(v),
                      .label = label,
                      .suggestedRole = suggestedRole,
                      .evidence = std::move(e),
                      .confidence = confidence,
                      .metadata = metadata};
  if (isNew) {
    if (firstIndex) firstIndex->emplace(k, entities.size());
    seen.insert(std::move(k));
    entities.push_back(std::move(candidate));
  } else {
    *existing = std::move(candidate);
  }
}

}  // namespace

void addCandidate(std::vector<Candidate>& entities, std::unordered_set<std::string>& seen,
                  std::string_view type, std::string_view value,
                  const std::optional<std::string>& label,
                  const std::optional<std::string>& suggestedRole, std::string_view evidence,
                  double confidence, const std::map<std::string, std::string>& metadata) {
  // Empty evidence stops before anything changes, wherever the candidate would go.
  if (clean(evidence).empty()) return;
  addCandidateWith(
      entities, seen, nullptr, type, value, label, suggestedRole,
      [&] { return std::string(evidence); }, confidence, metadata, SIZE_MAX);
}

bool handleNameTag(RunState& state, std::optional<NameTag> tag, TextRange range) {
  if (!tag) return true;
  if (range.begin > range.end || range.end > state.text.size())
    return state.entities.size() < kMaxCandidates;
  switch (*tag) {
    case NameTag::kPersonalName:
      addKind(state, kPersonKind, range);
      break;
    case NameTag::kOrganizationName:
      addKind(state, kOrganizationKind, range);
      break;
    case NameTag::kPlaceName:
      addKind(state, kPlaceKind, range);
      break;
    case NameTag::kOtherWord:
      break;
  }
  return state.entities.size() < kMaxCandidates;
}

void handleDetectorMatch(RunState& state, const std::optional<DetectorMatch>& match) {
  if (!match) return;
  if (!state.index) state.index = std::make_unique<TextIndex>(state.text);
  if (match->length > SIZE_MAX - match->location) return;
  const auto begin = state.index->byteOffset(match->location);
  const auto end = state.index->byteOffset(match->location + match->length);
  if (!begin || !end || !state.index->isCharacterBoundary(*begin) ||
      !state.index->isCharacterBoundary(*end)) {
    return;
  }
  const TextRange range{*begin, *end};
  switch (match->resultType) {
    case kResultTypeDate:
      addKind(state, kDateKind, range);
      break;
    case kResultTypeAddress:
      addKind(state, kAddressKind, range);
      break;
    case kResultTypePhoneNumber:
      addKind(state, kPhoneKind, range);
      break;
    default:
      break;
  }
}

}  // namespace marrowfen::entities
