#include "scan/tesseract_recognizer.h"

#include <leptonica/allheaders.h>
#include <sys/stat.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/program_path.h"
#include "scan/page_preparation.h"
#include "scan/processor_time.h"

namespace marrowfen::scan {
namespace {

// Below this mean confidence a page is looked at again for a turn; the orientation model must be
// at least this sure before a turned reading is tried (a low bar: the turned reading is kept only
// when it reads better). Turned pages read as letter soup at 0.15 - 0.35; upright scanned forms
// and receipts, noisy as they are, mostly at 0.6 - 0.9, and asking the orientation model costs
// about as much CPU as reading such a page.
constexpr double kWellReadConfidence = 0.50;
constexpr float kMinOrientationConfidence = 0.3f;
// Processor time a page may have taken (preparing, reading, asking the orientation model) for
// turns the orientation model did not name to be read too. Real pages take 0.5 - 3 s.
constexpr std::chrono::seconds kMoreTurnsUntil{5};
// An input up to this many pixels is held while its prepared copy is read (64 MB in colour), so
// that a turned reading can start again from it.
constexpr double kKeptInputPixels = 16e6;
// A word of one, two or three characters read with a confidence (percent) below these, or of
// stroke marks only below kDoubtedStrokes, is a remnant unless it stands as high as the page's
// letters (kLetterLike times the median height of words read with kConfidentWord). On 46 real
// scanned forms and receipts, of such doubted short words 56 were a word of the page's text and
// 519 were not (check boxes, rules' ends and specks read as letters); 35 of the 56 and 116 of the
// 519 stand as high as the letters.
constexpr float kDoubtedShortWord[3] = {60, 50, 40};
constexpr float kDoubtedStrokes = 50;
constexpr float kConfidentWord = 80;
constexpr double kLetterLike[2] = {0.8, 1.3};
// A word of at least kPatternWord characters that the engine read with a confidence below
// kUnreadPattern and that repeats a few characters (no more different ones than a third of its
// length: "TTTETETEET", "ersersersssrsenros") is a row of asterisks, dots or a fax header's
// pattern read as letters, however high it stands. No word of a language is made so: the
// likeliest, "Mississippi", has four different letters in eleven.
constexpr size_t kPatternWord = 8;
constexpr float kUnreadPattern = 5;
// Tiny letters (pages read with the local threshold) are read by the script model with the
// English model beside it, which the engine asks again for each word the first reads without
// confidence, keeping the better reading: on 25 scanned forms at half size (letters 3 - 5 pixels
// high) 0.471 -> 0.433 of errors, 21 receipts 0.228 -> 0.229. The English model turns accented
// letters into their bare forms, so a page whose reading holds at least kAccentedText of
// accented letters among its letters is read again by the script model alone: the English
// readings of 42 of those 46 pages held less (at most 0.0073), pages of tiny French, German and
// Spanish words at least 0.056.
constexpr double kAccentedText = 0.005;

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '_') c = '-';
  }
  return out;
}

// ISO 639-1 codes (as BCP 47 writes them) to Tesseract's traineddata names.
const std::map<std::string, std::string, std::less<>>& primaryLanguages() {
  static const std::map<std::string, std::string, std::less<>> table = {
      {"af", "afr"}, {"am", "amh"}, {"ar", "ara"}, {"as", "asm"}, {"az", "aze"}, {"be", "bel"},
      {"bg", "bul"}, {"bn", "ben"}, {"bo", "bod"}, {"br", "bre"}, {"bs", "bos"}, {"ca", "cat"},
      {"co", "cos"}, {"cs", "ces"}, {"cy", "cym"}, {"da", "dan"}, {"de", "deu"}, {"dv", "div"},
      {"dz", "dzo"}, {"el", "ell"}, {"en", "eng"}, {"eo", "epo"}, {"es", "spa"}, {"et", "est"},
      {"eu", "eus"}, {"fa", "fas"}, {"fi", "fin"}, {"fo", "fao"}, {"fr", "fra"}, {"fy", "fry"},
      {"ga", "gle"}, {"gd", "gla"}, {"gl", "glg"}, {"gu", "guj"}, {"he", "heb"}, {"hi", "hin"},
      {"hr", "hrv"}, {"ht", "hat"}, {"hu", "hun"}, {"hy", "hye"}, {"id", "ind"}, {"is", "isl"},
      {"it", "ita"}, {"iu", "iku"}, {"iw", "heb"}, {"ja", "jpn"}, {"jv", "jav"}, {"ka", "kat"},
      {"kk", "kaz"}, {"km", "khm"}, {"kn", "kan"}, {"ko", "kor"}, {"ku", "kmr"}, {"ky", "kir"},
      {"la", "lat"}, {"lb", "ltz"}, {"lo", "lao"}, {"lt", "lit"}, {"lv", "lav"}, {"mi", "mri"},
      {"mk", "mkd"}, {"ml", "mal"}, {"mn", "mon"}, {"mr", "mar"}, {"ms", "msa"}, {"mt", "mlt"},
      {"my", "mya"}, {"nb", "nor"}, {"ne", "nep"}, {"nl", "nld"}, {"nn", "nor"}, {"no", "nor"},
      {"oc", "oci"}, {"or", "ori"}, {"pa", "pan"}, {"pl", "pol"}, {"ps", "pus"}, {"pt", "por"},
      {"qu", "que"}, {"ro", "ron"}, {"ru", "rus"}, {"sa", "san"}, {"sd", "snd"}, {"si", "sin"},
      {"sk", "slk"}, {"sl", "slv"}, {"sq", "sqi"}, {"sr", "srp"}, {"su", "sun"}, {"sv", "swe"},
      {"sw", "swa"}, {"ta", "tam"}, {"te", "tel"}, {"tg", "tgk"}, {"th", "tha"}, {"ti", "tir"},
      {"tl", "tgl"}, {"to", "ton"}, {"tr", "tur"}, {"tt", "tat"}, {"ug", "uig"}, {"uk", "ukr"},
      {"ur", "urd"}, {"uz", "uzb"}, {"vi", "vie"}, {"yi", "yid"}, {"yo", "yor"}, {"zh", "chi_sim"},
  };
  return table;
}

bool isLetters(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

float clampedConfidence(float percent) { return std::clamp(percent / 100.0f, 0.0f, 1.0f); }

// One text line: its words joined by single spaces, and the box of each word.
class TesseractLine : public RecognizedText {
 public:
  // `uprightBoxes` holds the words' boxes on the page as read, when it was turned or rotated
  // for reading; empty otherwise.
  TesseractLine(std::string text, float confidence,
                std::vector<std::pair<size_t, size_t>> wordRanges,
                std::vector<BoundingBox> wordBoxes, std::vector<BoundingBox> uprightBoxes)
      : text_(std::move(text)),
        confidence_(confidence),
        wordRanges_(std::move(wordRanges)),
        wordBoxes_(std::move(wordBoxes)),
        uprightBoxes_(std::move(uprightBoxes)) {}

  const std::string& string() const override { return text_; }
  float confidence() const override { return confidence_; }

  std::optional<BoundingBox> boundingBox(size_t begin, size_t end) const override {
    return unionOfWords(wordBoxes_, begin, end);
  }

  std::optional<BoundingBox> uprightBoundingBox(size_t begin, size_t end) const override {
    if (uprightBoxes_.empty()) return std::nullopt;
    return unionOfWords(uprightBoxes_, begin, end);
  }

 private:
  // The union of the boxes (one per word, from `wordBoxes`) of the words that [begin, end) touches.
  std::optional<BoundingBox> unionOfWords(const std::vector<BoundingBox>& wordBoxes, size_t begin,
                                          size_t end) const {
    if (begin >= end || end > text_.size()) return std::nullopt;
    std::optional<BoundingBox> box;
    double right = 0, top = 0;
    for (size_t k = 0; k < wordRanges_.size(); ++k) {
      const auto [wordBegin, wordEnd] = wordRanges_[k];
      if (begin >= wordEnd || end <= wordBegin) continue;
      const BoundingBox& word = wordBoxes[k];
      if (!box) {
        box = word;
        right = word.x + word.width;
        top = word.y + word.height;
        continue;
      }
      right = std::max(right, word.x + word.width);
      top = std::max(top, word.y + word.height);
      box->x = std::min(box->x, word.x);
      box->y = std::min(box->y, word.y);
      box->width = right - box->x;
      box->height = top - box->y;
    }
    return box;
  }

  std::string text_;
  float confidence_;
  std::vector<std::pair<size_t, size_t>> wordRanges_;  // byte ranges of the words in text_
  std::vector<BoundingBox> wordBoxes_;
  std::vector<BoundingBox> uprightBoxes_;
};

// How far the text of the iterator's line is turned clockwise, in quarter turns, from the way
// its baseline runs in the image (left to right when upright, top to bottom when turned a
// quarter clockwise); -1 when the line has no baseline.
int lineOrientation(const tesseract::ResultIterator& it) {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (!it.Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2)) return -1;
  const int dx = x2 - x1, dy = y2 - y1;  // y down
  if (std::abs(dx) >= std::abs(dy)) return dx >= 0 ? 0 : 2;
  return dy > 0 ? 1 : 3;
}

// True when the map turns or rotates the page (more than resizing it): lines then run a
// different way on the page read than on the page given.
bool turnsOrRotates(const PageTransform& t) {
  return t.xy != 0 || t.yx != 0 || t.xx < 0 || t.yy < 0;
}

// Characters of text weighted by the confidence of their lines: a page read as letter soup
// (turned, upside down) scores low, a page read well high.
double readingScore(const std::vector<TextObservation>& observations) {
  double score = 0;
  for (const TextObservation& o : observations) {
    if (!o.topCandidate) continue;
    size_t letters = 0;
    for (const char c : o.topCandidate->string()) letters += c != ' ';
    score += letters * o.topCandidate->confidence();
  }
  return score;
}

// Of a page's first reading and a second one (turned, or with marks made pale), the second only
// when it was read and scores higher.
RecognitionResult betterReading(RecognitionResult first, RecognitionResult second) {
  if (!second.error && readingScore(second.observations) > readingScore(first.observations)) {
    return second;
  }
  return first;
}

// Good enough not to look for another orientation: enough text, read with confidence.
bool readsWell(const std::vector<TextObservation>& observations) {
  size_t letters = 0;
  for (const TextObservation& o : observations) {
    if (!o.topCandidate) continue;
    for (const char c : o.topCandidate->string()) letters += c != ' ';
  }
  if (letters < 20) return false;
  return readingScore(observations) / letters >= kWellReadConfidence;
}

// The number of characters (code points) of UTF-8 text.
size_t characters(std::string_view text) {
  size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return n;
}

}  // namespace

double accentedLetterShare(std::string_view text) {
  size_t letters = 0, accented = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    if (lead < 0x80) {
      letters += std::isalpha(lead) != 0;
    } else if (length == 2 && i + 1 < text.size()) {
      // U+00C0 - U+024F: the Latin letters with diacritics (and a few more, such as ß, æ, ø, ł),
      // less the signs for times and division.
      const unsigned cp = ((lead & 0x1fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3fu);
      if (cp >= 0xc0 && cp <= 0x24f && cp != 0xd7 && cp != 0xf7) {
        ++letters;
        ++accented;
      }
    }
    i += length;
  }
  return letters == 0 ? 0.0 : double(accented) / letters;
}

namespace {

// The share of accented letters among the letters of a reading (accentedLetterShare).
double accentedShareOf(const std::vector<TextObservation>& observations) {
  std::string text;
  for (const TextObservation& o : observations) {
    if (o.topCandidate) text += o.topCandidate->string() + "\n";
  }
  return accentedLetterShare(text);
}

// Whether the UTF-8 word is made only of marks a rule or a box's side is read as.
bool strokeMarksOnly(std::string_view word) {
  static constexpr std::string_view kStrokes[] = {"-", "_", "|", "=", "~", "\u2013", "\u2014"};
  if (word.empty()) return false;
  while (!word.empty()) {
    const auto it = std::find_if(std::begin(kStrokes), std::end(kStrokes),
                                 [&](std::string_view s) { return word.starts_with(s); });
    if (it == std::end(kStrokes)) return false;
    word.remove_prefix(it->size());
  }
  return true;
}

// A box in the pixels of the page the engine read.
struct PixelBox {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// One line as the engine read it: its words joined by single spaces.
struct ReadLine {
  std::string text;
  std::vector<std::pair<size_t, size_t>> ranges;  // byte ranges of the words in text
  std::vector<PixelBox> words;
  PixelBox box;
  float confidence = 0;
};

// What the engine read on a page.
struct PageReading {
  std::vector<ReadLine> lines;
  // Letters read in each line orientation (quarter turns clockwise of the text).
  size_t lettersByOrientation[4] = {0, 0, 0, 0};
};

// A word as the engine read it, before remnants are left out.
struct ReadWord {
  std::string text;
  PixelBox box;
  float confidence = 0;  // percent
};

// The height of the page's letters: the median height of the words of three or more characters
// read with confidence; 0 when there are none.
double wordHeightOfText(const std::vector<std::vector<ReadWord>>& lines) {
  std::vector<int> heights;
  for (const std::vector<ReadWord>& line : lines) {
    for (const ReadWord& w : line) {
      if (w.confidence >= kConfidentWord && characters(w.text) >= 3) {
        heights.push_back(w.box.bottom - w.box.top);
      }
    }
  }
  if (heights.empty()) return 0;
  std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
  return heights[heights.size() / 2];
}

// The line's words joined by single spaces, remnants (readAsRemnant) left out; a line that lost
// a remnant is bounded by the words left.
void keptWords(ReadLine& line, const std::vector<ReadWord>& words, double letterHeight) {
  bool trimmed = false;
  for (const ReadWord& w : words) {
    const double height = letterHeight > 0 ? (w.box.bottom - w.box.top) / letterHeight : 0;
    if (readAsRemnant(w.text, w.confidence, height)) {
      trimmed = true;
      continue;
    }
    if (!line.text.empty()) line.text += ' ';
    line.ranges.emplace_back(line.text.size(), line.text.size() + w.text.size());
    line.text += w.text;
    line.words.push_back(w.box);
  }
  if (!trimmed || line.words.empty()) return;
  PixelBox& b = line.box;
  b = line.words.front();
  for (const PixelBox& w : line.words) {
    b = {std::min(b.left, w.left), std::min(b.top, w.top), std::max(b.right, w.right),
         std::max(b.bottom, w.bottom)};
  }
}

// The lines and words of the page the engine has just recognised, with their pixel boxes;
// remnants left out, and lines of remnants only.
PageReading readPage(tesseract::TessBaseAPI& api) {
  PageReading reading;
  std::vector<ReadLine> lines;
  std::vector<std::vector<ReadWord>> words;  // of each line
  std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
  if (it && !it->Empty(tesseract::RIL_WORD)) {
    int orientation = 0;
    do {
      if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || lines.empty()) {
        ReadLine& line = lines.emplace_back();
        words.emplace_back();
        PixelBox& b = line.box;
        it->BoundingBox(tesseract::RIL_TEXTLINE, &b.left, &b.top, &b.right, &b.bottom);
        line.confidence = clampedConfidence(it->Confidence(tesseract::RIL_TEXTLINE));
        orientation = lineOrientation(*it);
      }
      std::unique_ptr<char[]> word(it->GetUTF8Text(tesseract::RIL_WORD));
      PixelBox b;
      if (word && *word.get() &&
          it->BoundingBox(tesseract::RIL_WORD, &b.left, &b.top, &b.right, &b.bottom)) {
        words.back().push_back({word.get(), b, it->Confidence(tesseract::RIL_WORD)});
        const size_t length = words.back().back().text.size();
        if (orientation >= 0) reading.lettersByOrientation[orientation] += length;
      }
    } while (it->Next(tesseract::RIL_WORD));
  }
  const double letterHeight = wordHeightOfText(words);
  for (size_t i = 0; i < lines.size(); ++i) {
    keptWords(lines[i], words[i], letterHeight);
    if (!words[i].empty() && lines[i].words.empty()) continue;  // remnants only
    reading.lines.push_back(std::move(lines[i]));
  }
  return reading;
}

// The engine reads lines turned a quarter by itself (a page of vertical lines) and reports them
// where they stand; when most of the page's text runs that way, the page reads upright turned
// back by as much. The quarter turns clockwise that make the page upright.
int quarterTurnsOfMostText(const PageReading& reading) {
  const size_t* letters = reading.lettersByOrientation;
  const int mostRead = static_cast<int>(std::max_element(letters, letters + 4) - letters);
  return (4 - mostRead) % 4;
}

// The components of a traineddata file that hold the LSTM recogniser's dictionaries: the
// punctuation, word and number graphs (Tesseract's TESSDATA_LSTM_PUNC_DAWG, _SYSTEM_DAWG and
// _NUMBER_DAWG). The word graph of the Latin-script model alone is 89 MB.
const std::vector<int> kLstmDictionaries = {18, 19, 20};

// Reads a traineddata file without the LSTM dictionaries (Tesseract's FileReader): the engine
// then neither holds them nor consults them, and their bytes are never read. A file that is not
// laid out as a traineddata file is read whole.
bool readWithoutDictionaries(const char* filename, std::vector<char>* data) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(filename, "rb"), &std::fclose);
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file.get());
  if (size < 0) return false;
  auto readAt = [&](int64_t offset, size_t length, char* out) {
    return std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, length, file.get()) == length;
  };
  if (std::optional<std::vector<char>> reduced =
          traineddataWithout(size, readAt, kLstmDictionaries)) {
    *data = std::move(*reduced);
    return true;
  }
  data->resize(static_cast<size_t>(size));
  return readAt(0, data->size(), data->data());
}

}  // namespace

std::optional<std::vector<char>> traineddataWithout(int64_t size, const ReadAt& readAt,
                                                    const std::vector<int>& dropped) {
  // Little-endian, as the files are shipped: a 32-bit count, then one 64-bit offset per
  // component (-1 when absent); each component runs to the next present one or the file's end.
  uint32_t count = 0;
  if (size < static_cast<int64_t>(sizeof count) ||
      !readAt(0, sizeof count, reinterpret_cast<char*>(&count))) {
    return std::nullopt;
  }
  const size_t header = sizeof count + size_t{count} * sizeof(int64_t);
  if (count == 0 || count > 1000 || size < static_cast<int64_t>(header)) return std::nullopt;
  std::vector<int64_t> offsets(count);
  if (!readAt(sizeof count, count * sizeof(int64_t), reinterpret_cast<char*>(offsets.data()))) {
    return std::nullopt;
  }
  std::vector<int64_t> kept(count, -1);
  std::vector<char> out(header);
  int64_t previous = static_cast<int64_t>(header);
  for (uint32_t k = 0; k < count; ++k) {
    if (offsets[k] < 0) continue;
    if (offsets[k] < previous || offsets[k] > size) return std::nullopt;
    previous = offsets[k];
    int64_t end = size;
    for (uint32_t next = k + 1; next < count; ++next) {
      if (offsets[next] >= 0) {
        end = offsets[next];
        break;
      }
    }
    if (end < offsets[k] || end > size) return std::nullopt;
    if (std::find(dropped.begin(), dropped.end(), static_cast<int>(k)) != dropped.end()) continue;
    kept[k] = static_cast<int64_t>(out.size());
    out.resize(out.size() + static_cast<size_t>(end - offsets[k]));
    if (!readAt(offsets[k], static_cast<size_t>(end - offsets[k]), out.data() + kept[k])) {
      return std::nullopt;
    }
  }
  std::memcpy(out.data(), &count, sizeof count);
  std::memcpy(out.data() + sizeof count, kept.data(), count * sizeof(int64_t));
  return out;
}

std::optional<std::string> traineddataName(std::string_view tag) {
  const std::string normal = lowered(tag);
  std::vector<std::string> subtags;
  for (size_t start = 0; start <= normal.size();) {
    size_t dash = normal.find('-', start);
    if (dash == std::string::npos) dash = normal.size();
    subtags.push_back(normal.substr(start, dash - start));
    start = dash + 1;
  }
  const std::string& primary = subtags[0];
  std::string script, region;
  for (size_t k = 1; k < subtags.size(); ++k) {
    if (subtags[k].size() == 4 && script.empty() && region.empty())
      script = subtags[k];
    else if ((subtags[k].size() == 2 || subtags[k].size() == 3) && region.empty())
      region = subtags[k];
  }
  if (primary == "zh") {
    if (script == "hant" ||
        (script.empty() && (region == "tw" || region == "hk" || region == "mo")))
      return "chi_tra";
    return "chi_sim";
  }
  if (primary == "sr" && script == "latn") return "srp_latn";
  if (primary == "uz" && script == "cyrl") return "uzb_cyrl";
  if (primary == "az" && script == "cyrl") return "aze_cyrl";
  if (primary == "fil") return "fil";
  if (auto it = primaryLanguages().find(primary); it != primaryLanguages().end()) {
    return it->second;
  }
  if (primary.size() == 3 && isLetters(primary)) return primary;
  return std::nullopt;
}

namespace {

// Whether the UTF-8 word has at least kPatternWord characters and no digit, and no more
// different characters (letters of either case alike) than a third of them.
bool repeatsFewCharacters(std::string_view word) {
  std::vector<std::string> different;
  size_t n = 0;
  for (size_t i = 0; i < word.size(); ++n) {
    size_t end = i + 1;  // one character: its lead byte and the continuation bytes after it
    while (end < word.size() && (static_cast<unsigned char>(word[end]) & 0xc0) == 0x80) ++end;
    std::string c(word.substr(i, end - i));
    i = end;
    if (c[0] >= '0' && c[0] <= '9') return false;  // numbers repeat digits: "10000000"
    if (c[0] >= 'A' && c[0] <= 'Z') c[0] = static_cast<char>(c[0] - 'A' + 'a');
    if (std::find(different.begin(), different.end(), c) == different.end()) different.push_back(c);
  }
  return n >= kPatternWord && different.size() * 3 <= n;
}

}  // namespace

bool readAsRemnant(std::string_view word, float confidence, double heightToLetters) {
  if (confidence < kUnreadPattern && repeatsFewCharacters(word)) return true;
  if (heightToLetters >= kLetterLike[0] && heightToLetters < kLetterLike[1]) return false;
  const size_t n = characters(word);
  if (n >= 1 && n <= 3 && confidence < kDoubtedShortWord[n - 1]) return true;
  return confidence < kDoubtedStrokes && strokeMarksOnly(word);
}

std::vector<int> turnsToTry(int modelTurns, int textTurns) {
  std::vector<int> turns;
  if (modelTurns % 4 != 0) turns.push_back(modelTurns % 4);
  // Lines running up or down: a quarter turn one way or the other; lines running across: upright
  // already, or upside down.
  const std::vector<int> others =
      textTurns % 2 == 1 ? std::vector<int>{textTurns % 4, 4 - textTurns % 4} : std::vector<int>{2};
  for (const int t : others) {
    if (std::find(turns.begin(), turns.end(), t) == turns.end()) turns.push_back(t);
  }
  return turns;
}

namespace {

// $TESSDATA_PREFIX when it is set and not empty, otherwise null.
const char* tessdataPrefix() {
  const char* prefix = std::getenv("TESSDATA_PREFIX");
  return prefix && *prefix ? prefix : nullptr;
}

}  // namespace

std::string tessdataDirectory() {
  const char* prefix = tessdataPrefix();
  std::string dir = prefix ? prefix : "/usr/share/tesseract-ocr/5/tessdata";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string programModelDirectory() {
  const std::string dir = executableDirectory();
  return dir.empty() ? dir : dir + "../share/marrowfen/tessdata/";
}

ModelChoice defaultModel(bool prefixSet, const std::string& programModels,
                         const std::string& tessdata,
                         const std::function<bool(const std::string&)>& exists) {
  if (!prefixSet && !programModels.empty() && exists(programModels + "Latin.traineddata")) {
    return {programModels, "Latin"};
  }
  return {tessdata, exists(tessdata + "Latin.traineddata") ? "Latin" : "eng"};
}

namespace {

// Tells the request's phases while the engine reads words. The engine asks its monitor whether to
// cancel before each word it reads, once it has found the page's lines; the first question marks
// the start of reading, the end of Recognize() its end. The answer is always no.
class WordReading {
 public:
  explicit WordReading(RecognitionPhases* phases) : phases_(phases) {
    monitor_.cancel = &WordReading::beforeWord;
    monitor_.cancel_this = this;
  }
  WordReading(const WordReading&) = delete;
  WordReading& operator=(const WordReading&) = delete;
  ~WordReading() { stop(); }

  // The monitor to hand to Recognize(); none without phases to tell.
  tesseract::ETEXT_DESC* monitor() { return phases_ != nullptr ? &monitor_ : nullptr; }
  void stop() {
    if (reading_) phases_->readingWords(false);
    reading_ = false;
  }

 private:
  static bool beforeWord(void* self, int /*words*/) {
    auto* reading = static_cast<WordReading*>(self);
    if (!reading->reading_) {
      reading->reading_ = true;
      reading->phases_->readingWords(true);
    }
    return false;
  }

  RecognitionPhases* phases_;
  tesseract::ETEXT_DESC monitor_;
  bool reading_ = false;
};

}  // namespace

struct TesseractRecognizer::Engine {
  std::string key;  // languages "+"-joined, then the correction setting
  tesseract::TessBaseAPI api;
};

struct TesseractRecognizer::Settings {
  std::string dir;
  std::string languages;
  // The languages of pages of tiny letters; empty when they are the same.
  std::string tinyTextLanguages;
  bool languageCorrection = true;
  bool fast = false;
};

TesseractRecognizer::TesseractRecognizer() {
  // Leptonica reports to standard error by default; nothing may reach it.
  setMsgSeverity(L_SEVERITY_NONE);
}

TesseractRecognizer::~TesseractRecognizer() = default;

std::optional<std::string> TesseractRecognizer::startEngine(const std::string& dir,
                                                            const std::string& languages,
                                                            bool languageCorrection) const {
  const std::string key = dir + languages + (languageCorrection ? "/dict" : "/nodict");
  if (!engine_ || engine_->key != key) {
    engine_.reset();
    auto engine = std::make_unique<Engine>();
    engine->key = key;
    // Everything Tesseract prints goes to its debug file; /dev/null silences it.
    engine->api.SetVariable("debug_file", "/dev/null");
    std::vector<std::string> variables = {"debug_file"};
    std::vector<std::string> values = {"/dev/null"};
    if (!languageCorrection) {
      // The dictionaries are read at start-up only, so correction is part of the engine's key.
      // These variables reach the legacy engine's dictionaries; the LSTM recogniser loads its
      // own regardless, so its files are read without them (readWithoutDictionaries).
      for (const char* name : {"load_system_dawg", "load_freq_dawg", "load_number_dawg",
                               "load_punc_dawg", "load_unambig_dawg", "load_bigram_dawg"}) {
        variables.emplace_back(name);
        values.emplace_back("0");
      }
    }
    const int failed =
        languageCorrection
            ? engine->api.Init(dir.c_str(), languages.c_str(), tesseract::OEM_DEFAULT, nullptr, 0,
                               &variables, &values, false)
            : engine->api.Init(dir.c_str(), 0, languages.c_str(), tesseract::OEM_DEFAULT, nullptr,
                               0, &variables, &values, false, readWithoutDictionaries);
    if (failed != 0) {
      return "The recognition engine could not start with the languages " + languages + ".";
    }
    engine_ = std::move(engine);
  }
  return std::nullopt;
}

RecognitionResult TesseractRecognizer::perform(Image image,
                                               const RecognitionRequest& request) const {
  std::string dir = tessdataDirectory();
  std::vector<std::string> names;
  for (const std::string& tag : request.languages) {
    const std::optional<std::string> name = traineddataName(tag);
    if (!name) {
      return {.error = "The recognition language \"" + tag + "\" is not supported."};
    }
    if (!fileExists(dir + *name + ".traineddata")) {
      return {.error = "The recognition language \"" + tag + "\" is not installed (no " + *name +
                       ".traineddata in " + dir + ")."};
    }
    if (std::find(names.begin(), names.end(), *name) == names.end()) names.push_back(*name);
  }
  // With no language named, the Latin-script model reads English as well as eng does and also the
  // accented letters of the other European languages (ä ß é ç ñ ø ł ...), which eng turns into
  // their bare forms; eng stands in when the script model is not installed.
  if (names.empty()) {
    const ModelChoice model =
        defaultModel(tessdataPrefix() != nullptr, programModelDirectory(), dir, fileExists);
    dir = model.directory;
    names.push_back(model.name);
  }
  std::string languages;
  for (const std::string& name : names) languages += (languages.empty() ? "" : "+") + name;
  // With no language named, tiny letters are read with English beside the script model, when
  // its file lies beside the script model's (see kAccentedText).
  const bool englishBeside =
      request.languages.empty() && languages == "Latin" && fileExists(dir + "eng.traineddata");
  settings_ =
      std::make_unique<Settings>(Settings{.dir = dir,
                                          .languages = languages,
                                          .tinyTextLanguages = englishBeside ? "Latin+eng" : "",
                                          .languageCorrection = request.languageCorrection,
                                          .fast = request.fast});
  if (request.startOnly) {
    const std::optional<std::string> error =
        startEngine(dir, languages, request.languageCorrection);
    return error ? RecognitionResult{.error = *error} : RecognitionResult{};
  }
  if (image.empty()) return {.error = "The image to recognise is empty."};

  if (std::optional<std::string> error = startEngine(dir, languages, request.languageCorrection)) {
    return {.error = *error};
  }

  const int width = image.width();
  const int height = image.height();
  PixPtr pix = pixFromImage(image);
  // From here on only Pix copies are read; when the caller moved the page in, its pixels go now.
  image = Image();
  if (!pix) return {.error = "Text recognition could not be performed on the image."};
  // A colour page with coloured marks on it (a stamp, pen) is read a second time with those
  // marks made pale, and the better reading kept: the marks garble the text they cross, but a
  // page whose coloured ink is text reads worse without it.
  PixPtr withoutMarks = withoutColouredMarks(pix.get());
  RecognitionResult result = negativeOrPage(std::move(pix), width, height, request.phases);
  if (result.error || !withoutMarks) return result;
  return betterReading(std::move(result),
                       uprightReading(std::move(withoutMarks), width, height, request.phases));
}

tesseract::TessBaseAPI* TesseractRecognizer::engineFor(const std::string& languages,
                                                       bool tinyText) const {
  const Settings& s = *settings_;
  std::optional<std::string> error = startEngine(s.dir, languages, s.languageCorrection);
  if (error && languages != s.languages) {
    // The English model would not start: the script model alone reads the tiny letters.
    settings_->tinyTextLanguages.clear();
    error = startEngine(s.dir, s.languages, s.languageCorrection);
  }
  if (error) return nullptr;
  tesseract::TessBaseAPI& api = engine_->api;
  api.SetPageSegMode(tesseract::PSM_AUTO);
  api.SetVariable("tessedit_do_invert", s.fast ? "0" : "1");
  // Tiny letters are thresholded by their neighbourhoods (the engine's tiled Sauvola, window and
  // factor as it sets them), other pages with one threshold (Otsu, its default).
  api.SetVariable("thresholding_method", tinyText ? "2" : "0");
  return &api;
}

RecognitionResult TesseractRecognizer::uprightReading(PixPtr pix, int width, int height,
                                                      RecognitionPhases* phases) const {
  const std::chrono::nanoseconds started = processorTime(CLOCK_THREAD_CPUTIME_ID);
  std::optional<PreparedPage> prepared = preparedPage(pix.get());
  // A page that may have to be read at another turn is prepared afresh from the input then: what
  // was measured on the page as it lies (letter height, skew, rules) does not hold for it turned.
  // A huge input is not held beside its prepared copy; its turned copy comes from the prepared one.
  const bool keepInput =
      double(pixGetWidth(pix.get())) * pixGetHeight(pix.get()) <= kKeptInputPixels;
  if (prepared && prepared->pix && !keepInput) pix.reset();
  Pix* page = prepared ? prepared->pix.get() : pix.get();
  const PageTransform toInput = prepared ? prepared->toInput : PageTransform{};
  int textTurns = 0;
  RecognitionResult result = recognised(prepared && prepared->localThreshold, page, toInput, width,
                                        height, phases, &textTurns);
  // A page whose lines the engine found running up or down is turned, however well it read them:
  // read upright, it reads better still.
  if (result.error || (readsWell(result.observations) && textTurns == 0)) return result;

  // A page that reads badly may be turned: the orientation model names a turn, a page whose lines
  // run up or down is turned a quarter one way or the other, and a page whose lines run across
  // and read badly may be upside down. On sparse pages (forms, receipts) the model is often
  // unsure or names the wrong turn, so those turns are read too until one reads well. A turned
  // reading is kept only when it reads better.
  const int modelTurns = quarterTurnsToUpright(page);
  for (const int turns : turnsToTry(modelTurns, textTurns)) {
    // Each reading costs about as much as the first; the turns the model did not name are only
    // tried while the page is cheap, so a huge page stays well inside its recognition time.
    if (turns != modelTurns && processorTime(CLOCK_THREAD_CPUTIME_ID) - started > kMoreTurnsUntil) {
      break;
    }
    RecognitionResult turned =
        pix ? turnedReading(pix.get(), PageTransform{}, turns, width, height, phases)
            : turnedReading(page, toInput, turns, width, height, phases);
    const bool done = !turned.error && readsWell(turned.observations);
    result = betterReading(std::move(result), std::move(turned));
    if (done) break;
  }
  return result;
}

RecognitionResult TesseractRecognizer::negativeOrPage(PixPtr pix, int width, int height,
                                                      RecognitionPhases* phases) const {
  // A page of light letters on a dark ground is read as its negative: the engine finds lines of
  // dark letters, and on the page as it is finds few of them or reads the ground as ink. A mostly
  // dark page that is no negative (a small paper photographed on a dark table) reads badly
  // inverted, and is read as it is too; the better reading is kept.
  PixPtr negative = negativeOfDarkPage(pix.get());
  if (!negative) return uprightReading(std::move(pix), width, height, phases);
  RecognitionResult inverted = uprightReading(std::move(negative), width, height, phases);
  if (!inverted.error && readsWell(inverted.observations)) return inverted;
  return betterReading(std::move(inverted), uprightReading(std::move(pix), width, height, phases));
}

RecognitionResult TesseractRecognizer::turnedReading(Pix* page, const PageTransform& toInput,
                                                     int turns, int width, int height,
                                                     RecognitionPhases* phases) const {
  PreparedPage turned = turnedPage(page, turns);
  PageTransform turnedToInput = composed(toInput, turned.toInput);
  std::optional<PreparedPage> again = preparedPage(turned.pix.get());
  Pix* upright = again ? again->pix.get() : turned.pix.get();
  if (again) turnedToInput = composed(turnedToInput, again->toInput);
  if (again) turned.pix.reset();  // the engine reads the prepared copy only
  return recognised(again && again->localThreshold, upright, turnedToInput, width, height, phases);
}

RecognitionResult TesseractRecognizer::recognised(bool tinyText, Pix* page,
                                                  const PageTransform& toInput, int width,
                                                  int height, RecognitionPhases* phases,
                                                  int* textTurns) const {
  const Settings& s = *settings_;
  const bool beside = tinyText && !s.tinyTextLanguages.empty();
  RecognitionResult result = readWith(beside ? s.tinyTextLanguages : s.languages, tinyText, page,
                                      toInput, width, height, phases, textTurns);
  // A page that reads as text with accents is read again by the script model alone. A page read
  // as letter soup (turned) says nothing of its language: it is read again at its turns.
  if (beside && !result.error && readsWell(result.observations) &&
      accentedShareOf(result.observations) >= kAccentedText) {
    return readWith(s.languages, tinyText, page, toInput, width, height, phases, textTurns);
  }
  return result;
}

RecognitionResult TesseractRecognizer::readWith(const std::string& languages, bool tinyText,
                                                Pix* page, const PageTransform& toInput, int width,
                                                int height, RecognitionPhases* phases,
                                                int* textTurns) const {
  tesseract::TessBaseAPI* engine = engineFor(languages, tinyText);
  if (!engine) return {.error = "Text recognition could not be performed on the image."};
  tesseract::TessBaseAPI& api = *engine;
  api.SetImage(page);
  WordReading wordReading(phases);
  if (api.Recognize(wordReading.monitor()) != 0) {
    api.Clear();
    return {.error = "Text recognition could not be performed on the image."};
  }
  wordReading.stop();
  PageReading reading = readPage(api);
  api.Clear();
  const int turnsToUpright = quarterTurnsOfMostText(reading);
  if (textTurns) *textTurns = turnsToUpright;
  // On a page that was turned or rotated for reading, or that reads turned, the boxes on the
  // upright page are kept too, for the reading order.
  const bool keepUpright = turnsOrRotates(toInput) || turnsToUpright != 0;
  const int pageWidth = pixGetWidth(page);
  const int pageHeight = pixGetHeight(page);
  const PageTransform toUpright =
      inverted(quarterTurnTransform(turnsToUpright, pageWidth, pageHeight));
  const bool across = turnsToUpright % 2 == 1;
  auto normalised = [&](const PixelBox& b) {
    return boxInSource(toInput, b.left, b.top, b.right, b.bottom, width, height);
  };
  auto upright = [&](const PixelBox& b) {
    return boxInSource(toUpright, b.left, b.top, b.right, b.bottom, across ? pageHeight : pageWidth,
                       across ? pageWidth : pageHeight);
  };

  RecognitionResult result;
  for (ReadLine& line : reading.lines) {
    std::vector<BoundingBox> boxes;
    std::vector<BoundingBox> uprightBoxes;
    for (const PixelBox& b : line.words) {
      boxes.push_back(normalised(b));
      if (keepUpright) uprightBoxes.push_back(upright(b));
    }
    result.observations.push_back(
        {.boundingBox = normalised(line.box),
         .uprightBox = keepUpright ? std::optional<BoundingBox>(upright(line.box)) : std::nullopt,
         .topCandidate = std::make_shared<TesseractLine>(std::move(line.text), line.confidence,
                                                         std::move(line.ranges), std::move(boxes),
                                                         std::move(uprightBoxes))});
  }
  return result;
}

int TesseractRecognizer::quarterTurnsToUpright(Pix* page) const {
  if (!orientation_) {
    orientation_ = std::make_unique<tesseract::TessBaseAPI>();
    orientation_->SetVariable("debug_file", "/dev/null");
    const std::string dir = tessdataDirectory();
    if (!fileExists(dir + "osd.traineddata") ||
        orientation_->Init(dir.c_str(), "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
      orientationMissing_ = true;
    }
    orientation_->SetPageSegMode(tesseract::PSM_OSD_ONLY);
  }
  if (orientationMissing_) return 0;
  orientation_->SetImage(page);
  int degrees = 0;
  float confidence = 0;
  const char* script = nullptr;
  float scriptConfidence = 0;
  const bool found =
      orientation_->DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence);
  orientation_->Clear();
  if (!found || confidence < kMinOrientationConfidence) return 0;
  // The model names how far the page is turned clockwise; as far back anticlockwise sets it up.
  return ((4 - degrees / 90) % 4 + 4) % 4;
}

}  // namespace marrowfen::scan
