// The name tagger: ICU word segments of each line, labelled by a NameModel.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "entities/name_model.h"
#include "entities/services.h"

namespace marrowfen::entities {

// One segment of a line as the model sees it.
struct LineToken {
  TextRange range;      // bytes in the text
  bool isWord = false;  // holds a letter, digit or ideograph; otherwise punctuation or a symbol
};

// The segments of `text` without white space, grouped into lines (split at LF, CR, VT, FF, NEL,
// U+2028 and U+2029, and at a tab or two or more spaces that do not follow a colon), each segment
// an ICU word-break segment. Calls `line` once per non-empty line. A line of kLongLineTokens
// segments or more is handed on at its next sentence-ending punctuation, and one of
// kMaxLineTokens in any case, so that no line holds more than kMaxLineTokens segments.
inline constexpr size_t kLongLineTokens = 1000;
inline constexpr size_t kMaxLineTokens = 4000;
inline constexpr size_t kAgreementWindowTokens = 20000;
void forEachLine(std::string_view text,
                 const std::function<bool(const std::vector<LineToken>&)>& line);

// A NameTagger over `model`. Each word gets one callback, in text order: a name (one or more
// words the model labels as one name, with the punctuation between them) with its tag, any
// other word with no tag. Punctuation and white space get none. The tagger works out the text's
// language with `recognizer` (when given) and hands it to the model with every line. Before the
// lines are reported, a name found in one line is named alike where it comes again in the text
// (entities/name_consistency.h), over pieces of up to kAgreementWindowTokens tokens, so that a
// long text takes no more memory than such a piece. The model and the recogniser must outlive the
// tagger.
std::unique_ptr<NameTagger> makeNameTagger(const NameModel& model,
                                           LanguageRecognizer* recognizer = nullptr);

}  // namespace marrowfen::entities
