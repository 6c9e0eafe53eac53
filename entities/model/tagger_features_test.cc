#include "entities/model/tagger_features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace marrowfen::entities {
namespace {

bool has(const std::vector<std::string>& features, const std::string& f) {
  return std::find(features.begin(), features.end(), f) != features.end();
}

TEST(LowerCase, MapsAsciiAndOtherScripts) {
  const std::pair<const char*, const char*> cases[] = {{"SMITH", "smith"},
                                                       {"MÜLLER", "müller"},
                                                       {"ÉCOLE", "école"},
                                                       {"Ærø", "ærø"},
                                                       {"ΑΘΗΝΑ", "αθηνα"},
                                                       {"123-A", "123-a"},
                                                       {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(lowerCase(in), out) << in;
}

TEST(WordShape, CollapsesRuns) {
  const std::pair<const char*, const char*> cases[] = {
      {"Smith", "Xx"},  {"IBM", "X"},  {"D-12", "X-d"},    {"McDonald", "XxXx"}, {"über", "x"},
      {"Öztürk", "Xx"}, {"1985", "d"}, {"O'Neil", "X'Xx"}, {":", ":"},           {"北京", "a"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(wordShape(in), out) << in;
}

TEST(Gazetteer, MergesClassesAndMissesUnknownWords) {
  Gazetteer g({gazetteerEntry("paris", kGazCity), gazetteerEntry("paris", kGazFirstName),
               gazetteerEntry("france", kGazCountry)});
  EXPECT_EQ(g.lookup("paris"), kGazCity | kGazFirstName);
  EXPECT_EQ(g.lookup("france"), kGazCountry);
  EXPECT_EQ(g.lookup("table"), 0);
  EXPECT_EQ(g.lookup("Paris"), 0);  // entries are lower-cased words
  EXPECT_EQ(g.entries().size(), 2u);
}

TEST(Lexicon, KeepsHowEachLanguageWritesAWord) {
  constexpr int en = 1, de = 2, nl = 4;
  const Lexicon l({lexiconEntry("Haus", de), lexiconEntry("haus", nl), lexiconEntry("Paris", en),
                   lexiconEntry("NATO", de), lexiconEntry("yesterday", en)});
  EXPECT_EQ(l.lookup("haus"), (2u << 2) | (1u << 6));
  EXPECT_EQ(l.lookup("paris"), 2u);
  EXPECT_EQ(l.lookup("nato"), 2u << 2);
  EXPECT_EQ(l.lookup("yesterday"), 1u);
  EXPECT_EQ(l.lookup("Paris"), 0u);  // looked up lower-cased
  EXPECT_EQ(l.lookup("london"), 0u);
  EXPECT_EQ(l.hashes().size(), 4u);
  EXPECT_EQ(lexiconEntry("word", 5), 0u);  // not a model language
  // Stored arrays are taken only in strictly increasing order.
  EXPECT_TRUE(Lexicon::fromSorted(l.hashes(), l.flags()).has_value());
  auto reversed = l.hashes();
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_FALSE(Lexicon::fromSorted(reversed, l.flags()).has_value());
  EXPECT_FALSE(Lexicon::fromSorted(l.hashes(), {1}).has_value());
}

TEST(Features, WhatTheDictionaryKnowsOfAWord) {
  constexpr int en = 1, de = 2, fr = 3, nl = 4;
  auto lexicon = std::make_shared<const Lexicon>(std::vector<uint64_t>{
      lexiconEntry("Mannschaft", de), lexiconEntry("sagte", de), lexiconEntry("Weber", de),
      lexiconEntry("weber", en), lexiconEntry("Weber", en), lexiconEntry("ploeg", nl),
      lexiconEntry("maison", fr)});
  const Gazetteer g({}, lexicon);
  struct Case {
    std::vector<std::string> line;
    size_t index;
    int language;
    const char* expected;  // the dictionary feature of the token
  };
  for (const Case& c : {
           Case{{"Das", "sagte", "Pfister"}, 2, de, "40=n|X|inner|M"},
           Case{{"Das", "sagte", "Pfister"}, 1, de, "40=l|x|inner|M"},
           Case{{"Die", "Regionalligamannschaft", "spielt"}, 1, de, "40=k|X|inner|M"},
           Case{{"Mannschaft", "spielt"}, 0, de, "40=c|X|start|M"},
           Case{{"Weber", "left"}, 0, en, "40=b|X|start|M"},
           Case{{"Weber", "left"}, 0, de, "40=c|X|start|M"},
           Case{{"de", "voetbalploeg"}, 1, nl, "40=k|x|inner|M"},
           // Only German and Dutch write compounds as one word.
           Case{{"Regionalligamannschaft"}, 0, en, "40=n|X|start|M"},
           Case{{"Regionalligamannschaft"}, 0, 0, "40=k|X|start|M"},
           // Of no known language: what any dictionary knows.
           Case{{"a", "maison"}, 1, 0, "40=l|x|inner|M"},
           // A noun needs three letters before it to make a compound.
           Case{{"Kamannschaft"}, 0, de, "40=n|X|start|M"},
           // A run of letters longer than any compound is none (it is not cut at every letter).
           Case{{std::string(96, 'x') + "mannschaft"}, 0, de, "40=n|x|start|M"},
           Case{{std::string(86, 'x') + "mannschaft"}, 0, de, "40=k|x|start|M"},
           Case{{"Nr", "1234"}, 1, de, "40=-|d|inner|M"},
       }) {
    EXPECT_TRUE(has(describeFeatures(c.line, g, c.index, c.language), c.expected))
        << c.line[c.index] << " " << c.language;
  }
  const auto f = describeFeatures({"sagte", "Pfister", "."}, g, 1, de);
  EXPECT_TRUE(has(f, "41=l|n|-"));
  EXPECT_TRUE(has(f, "42=sagte|n"));
  EXPECT_TRUE(has(f, "de:43=n|."));
  // Without dictionaries the templates are not there at all.
  const auto plain = describeFeatures({"sagte", "Pfister"}, Gazetteer(), 1, de);
  EXPECT_FALSE(std::any_of(plain.begin(), plain.end(),
                           [](const std::string& s) { return s.starts_with("40="); }));
}

TEST(Features, WordClassesOfTheWordAndItsNeighbours) {
  auto clusters = std::make_shared<const WordClusters>(
      std::vector<std::pair<std::string, WordClusters::Classes>>{
          {"in", {1, 10}}, {"brattleboro", {7, 200}}, {"today", {3, 30}}});
  EXPECT_EQ(clusters->lookup("brattleboro")->fine, 200);
  EXPECT_EQ(clusters->lookup("brattleboro")->coarse, 7);
  EXPECT_FALSE(clusters->lookup("Brattleboro").has_value());  // looked up lower-cased
  EXPECT_FALSE(clusters->lookup("elsewhere").has_value());
  const Gazetteer g({}, nullptr, clusters);
  const std::vector<std::string> line = {"in", "Brattleboro", "today", "perhaps"};
  const auto town = describeFeatures(line, g, 1);
  for (const char* f : {"47=f200", "48=f200|Xx", "49=c7|M", "50=c1|c7", "51=c7|c3", "52=f10|Xx",
                        "53=Xx|f30", "54=<s>|c1", "55=c3|", "56=c1|c7|c3"}) {
    EXPECT_TRUE(has(town, f)) << f;
  }
  // A word without a class has no class features of its own; its neighbours see it as unknown.
  const auto unknown = describeFeatures(line, g, 3);
  EXPECT_FALSE(std::any_of(unknown.begin(), unknown.end(),
                           [](const std::string& x) { return x.starts_with("47="); }));
  EXPECT_TRUE(has(unknown, "50=c3|"));
  EXPECT_TRUE(has(unknown, "51=|</s>"));
  EXPECT_TRUE(has(describeFeatures(line, g, 0), "50=<s>|c1"));
  // Stored arrays are taken only in strictly increasing order.
  EXPECT_TRUE(WordClusters::fromSorted(clusters->hashes(), clusters->classes()).has_value());
  auto reversed = clusters->hashes();
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_FALSE(WordClusters::fromSorted(reversed, clusters->classes()).has_value());
}

TEST(Features, EmbeddingClassesOnlyWithTheirGroup) {
  auto embedded = std::make_shared<const WordClusters>(
      std::vector<std::pair<std::string, WordClusters::Classes>>{
          {"in", {1, 10}}, {"hartlepool", {11, 125}}, {"gazprom", {51, 76}}});
  const Gazetteer g({}, nullptr, nullptr, embedded);
  // Upper-cased text finds the same classes: they are looked up by the lower-cased word (a line
  // in capitals numbers its templates from 100 on).
  for (const auto& [line, templates] :
       {std::pair{std::vector<std::string>{"in", "Hartlepool", "Gazprom"}, ""},
        std::pair{std::vector<std::string>{"IN", "HARTLEPOOL", "GAZPROM"}, "1"}}) {
    const auto town = describeFeatures(line, g, 1, 0, kEmbeddingClassFeatures);
    for (const char* f : {"70=e125", "73=g11", "74=g1|g11", "75=g11|g51"}) {
      const std::string expected = templates + std::string(f);
      EXPECT_TRUE(std::any_of(town.begin(), town.end(), [&](const std::string& x) {
        return x.starts_with(expected);
      })) << expected;
    }
    EXPECT_TRUE(has(describeFeatures(line, g, 2, 0, kEmbeddingClassFeatures),
                    templates + std::string("75=g51|</s>")));
  }
  // A model trained without the group is given none of them, classes or not.
  const auto plain = describeFeatures({"in", "Hartlepool"}, g, 1);
  EXPECT_FALSE(std::any_of(plain.begin(), plain.end(), [](const std::string& x) {
    return x.starts_with("70=") || x.starts_with("74=");
  }));
  // A word without a class has none of its own; its neighbours see it as unknown.
  const auto unknown = describeFeatures({"in", "Brattleboro"}, g, 1, 0, kEmbeddingClassFeatures);
  EXPECT_FALSE(std::any_of(unknown.begin(), unknown.end(),
                           [](const std::string& x) { return x.starts_with("70="); }));
  EXPECT_TRUE(has(unknown, "74=g1|"));
}

TEST(Features, KeyBeforeColonNamesTheValue) {
  const std::vector<std::string> line = {"Place", "of", "Birth", ":", "LYON", "Sex", ":", "F"};
  const auto lyon = describeFeatures(line, Gazetteer(), 4);
  EXPECT_TRUE(has(lyon, "28=birth"));
  EXPECT_TRUE(has(lyon, "29=of|birth"));
  EXPECT_TRUE(has(lyon, "30=birth|1"));
  // A later colon starts a new key.
  const auto f = describeFeatures(line, Gazetteer(), 7);
  EXPECT_TRUE(has(f, "28=sex"));
  // Before any colon there is no key.
  EXPECT_TRUE(has(describeFeatures(line, Gazetteer(), 0), "28=<nokey>"));
  // A colon with no word since the last key's colon starts none; a key of one word has no word
  // before it, even across the colon before it.
  const std::vector<std::string> doubled = {"Name", ":", ":", "(", ":", "Anna", "Tel", ":", "5"};
  EXPECT_TRUE(has(describeFeatures(doubled, Gazetteer(), 5), "28=name"));
  EXPECT_TRUE(has(describeFeatures(doubled, Gazetteer(), 5), "30=name|4"));
  EXPECT_TRUE(has(describeFeatures(doubled, Gazetteer(), 8), "29=anna|tel"));
  const std::vector<std::string> single = {"Name", ":", "Tel", ":", "5"};
  EXPECT_TRUE(has(describeFeatures(single, Gazetteer(), 4), "29=<k>|tel"));
}

TEST(Features, LineCapitalisationPattern) {
  const auto caps = describeFeatures({"NAME", ":", "JOHN", "SMITH"}, Gazetteer(), 2);
  // A capitals line has weights of its own: every template is numbered apart there.
  EXPECT_TRUE(has(caps, "120=C|X"));
  EXPECT_TRUE(has(caps, "101=john"));
  EXPECT_FALSE(has(caps, "1=john"));
  EXPECT_FALSE(has(caps, "135=JOHN"));  // case carries nothing on capitals lines
  const auto mixed = describeFeatures({"He", "met", "John", "Smith", "there"}, Gazetteer(), 2);
  EXPECT_TRUE(has(mixed, "20=M|Xx"));
  EXPECT_TRUE(has(mixed, "35=John"));
  EXPECT_TRUE(has(mixed, "1=john"));
  EXPECT_TRUE(has(mixed, "2=met"));
  EXPECT_TRUE(has(mixed, "3=smith"));
}

TEST(Features, TitleCaseLinesCapitaliseTheirCommonWords) {
  const Gazetteer common(
      {gazetteerEntry("yesterday", kGazCommonWord), gazetteerEntry("met", kGazCommonWord),
       gazetteerEntry("in", kGazCommonWord), gazetteerEntry("of", kGazCommonWord),
       gazetteerEntry("external", kGazCommonWord), gazetteerEntry("affairs", kGazCommonWord)});
  struct Case {
    std::vector<std::string> line;
    const Gazetteer* gazetteer;
    const char* expected;  // the pattern feature of the first token
  };
  const Gazetteer none;
  const std::vector<std::string> sentence = {"Yesterday", "Anna",  "Müller", "met",
                                             "Rahul",     "Verma", "in",     "Berlin"};
  for (const Case& c : {
           Case{sentence, &common, "20=M|Xx"},  // names, but "met" and "in" stay in lower case
           Case{sentence, &none, "20=T|Xx"},    // nothing known about the words
           Case{{"Ministry", "of", "External", "Affairs"}, &common, "20=T|Xx"},
           Case{{"Ministry", "of", "external", "affairs"}, &common, "20=M|Xx"},
       }) {
    EXPECT_TRUE(has(describeFeatures(c.line, *c.gazetteer, 0), c.expected))
        << c.line[0] << " " << c.line[3];
  }
}

TEST(Features, WordClassesAndListedPhrases) {
  uint64_t key = phraseKeyStart();
  key = phraseKeyAdd(key, "new");
  key = phraseKeyAdd(key, "york");
  Gazetteer g({gazetteerEntry("anna", kGazFirstName), phraseEntry(key, kPhrasePlace)});
  const std::vector<std::string> line = {"Anna", "lives", "in", "NEW", "YORK"};
  EXPECT_TRUE(has(describeFeatures(line, g, 0), "27=first|M"));
  EXPECT_TRUE(has(describeFeatures(line, g, 3), "38=B-LOC|M"));
  EXPECT_TRUE(has(describeFeatures(line, g, 4), "38=I-LOC|M"));
  EXPECT_FALSE(has(describeFeatures(line, g, 2), "38=B-LOC|M"));
  // Positions beyond the line have a class of their own, apart from every real mask.
  EXPECT_TRUE(has(describeFeatures(line, g, 0), "24=--"));
  EXPECT_TRUE(has(describeFeatures(line, g, 4), "25=--"));
  const Gazetteer common({gazetteerEntry("yesterday", kGazCommonWord)});
  EXPECT_EQ(common.lookup("yesterday"), kGazCommonWord);
  const auto y = describeFeatures({"Yesterday", "Anna", "left"}, common, 0);
  EXPECT_TRUE(has(y, "27=common|M"));
  EXPECT_TRUE(has(y, "23=80"));
}

TEST(Features, ListedNamesBehindAGenitiveS) {
  const Gazetteer g({gazetteerEntry("indien", kGazCountry), gazetteerEntry("jackson", kGazLastName),
                     gazetteerEntry("paris", kGazCity), gazetteerEntry("pari", kGazFirstName),
                     gazetteerEntry("ulm", kGazCity), gazetteerEntry("haus", kGazCommonWord)});
  struct Case {
    const char* word;
    const char* expected;  // the feature, or "" for none
  };
  for (const Case& c : {Case{"Indiens", "44=04|M"}, Case{"Jacksons", "44=02|M"},
                        Case{"Paris", ""},   // a listed name itself
                        Case{"Ulms", ""},    // too short to trust
                        Case{"Hauses", ""},  // only a common word
                        Case{"Indien", ""}, Case{"Indienx", ""}}) {
    const auto f = describeFeatures({"in", c.word, "heute"}, g, 1);
    const bool any =
        std::any_of(f.begin(), f.end(), [](const std::string& s) { return s.starts_with("44="); });
    EXPECT_EQ(any, *c.expected != 0) << c.word;
    if (*c.expected) {
      EXPECT_TRUE(has(f, c.expected)) << c.word;
    }
  }
}

TEST(Features, LongerEndingsOfLongWords) {
  struct Case {
    const char* word;
    std::vector<std::string> present, absent;
  };
  for (const Case& c :
       {Case{"Bundesstiftung", {"58=ftung", "59=iftung"}, {}},
        Case{"Stiftung", {"58=ftung"}, {"59="}},  // six letters need nine
        Case{"Schloss", {}, {"58=", "59="}}, Case{"Hauptstraße", {"58=traße", "59=straße"}, {}}}) {
    const auto f = describeFeatures({"die", c.word}, Gazetteer(), 1);
    for (const auto& p : c.present) EXPECT_TRUE(has(f, p)) << c.word << " " << p;
    for (const auto& p : c.absent) {
      EXPECT_FALSE(
          std::any_of(f.begin(), f.end(), [&](const std::string& s) { return s.starts_with(p); }))
          << c.word << " " << p;
    }
  }
}

TEST(Features, WordsOfListedNames) {
  auto word = [](const char* w, uint8_t mask) {
    return phraseEntry(phraseKeyAdd(phraseKeyStart(), w), mask);
  };
  const Gazetteer g({word("schrempp", kPhrasePersonWord), word("berlin", kPhrasePlace),
                     word("berlin", kPhraseOrganizationWord | kPhrasePlaceWord)});
  const std::vector<std::string> line = {"sagte", "Schrempp", "in", "Berlin"};
  EXPECT_TRUE(has(describeFeatures(line, g, 1), "45=01|M"));
  EXPECT_TRUE(has(describeFeatures(line, g, 1), "46=00|01|00"));
  EXPECT_TRUE(has(describeFeatures(line, g, 3), "45=06|M"));
  EXPECT_TRUE(has(describeFeatures(line, g, 3), "46=00|06|--"));
  EXPECT_TRUE(has(describeFeatures(line, g, 3), "38=B-LOC|M"));  // still a listed place as well
  // Nothing is said of words far from any name word.
  const auto far = describeFeatures({"sagte", "er", "heute", "Schrempp"}, g, 0);
  EXPECT_FALSE(std::any_of(far.begin(), far.end(), [](const std::string& s) {
    return s.starts_with("45=") || s.starts_with("46=");
  }));
  EXPECT_TRUE(has(describeFeatures(line, g, 0), "46=--|00|01"));
  EXPECT_FALSE(has(describeFeatures(line, g, 0), "45=00|M"));
}

TEST(Features, LanguagesOfTheModelGetWeightsOfTheirOwn) {
  struct Case {
    std::string_view code;
    int expected;
  };
  for (const Case& c :
       {Case{"en", 1}, Case{"de", 2}, Case{"fr", 3}, Case{"nl", 4}, Case{"en-GB", 1},
        Case{"de_CH", 2}, Case{"es", 0}, Case{"", 0}, Case{"eng", 0}, Case{"-en", 0}}) {
    EXPECT_EQ(modelLanguageOf(c.code), c.expected) << c.code;
  }
  const std::vector<std::string> line = {"Das", "Schloss", "Charlottenburg"};
  const auto plain = describeFeatures(line, Gazetteer(), 1);
  const auto german = describeFeatures(line, Gazetteer(), 1, modelLanguageOf("de"));
  // Every shared feature is still there, and all but the letter trigrams have a German twin.
  for (const auto& f : plain) {
    EXPECT_TRUE(has(german, f)) << f;
    EXPECT_EQ(has(german, "de:" + f), !f.starts_with("39=")) << f;
  }
  EXPECT_TRUE(has(german, "de:1=schloss"));
  EXPECT_FALSE(has(german, "en:1=schloss"));
  LineFeatures a, b;
  extractLineFeatures(line, Gazetteer(), 16, a, 2);
  extractLineFeatures(line, Gazetteer(), 16, b, 1);
  for (size_t i = 0; i < line.size(); ++i) {
    EXPECT_EQ(a.offsets[i + 1] - a.offsets[i], describeFeatures(line, Gazetteer(), i, 2).size());
  }
  EXPECT_NE(a.buckets, b.buckets);  // German and English twins land in different buckets
}

TEST(Features, KindOfLine) {
  // "Yesterday" and "results" are common words: in a line in capitals they stand for words written
  // in small letters.
  const Gazetteer g(
      {gazetteerEntry("yesterday", kGazCommonWord), gazetteerEntry("results", kGazCommonWord)});
  struct Case {
    std::vector<std::string> line;
    char kind;
  };
  for (const Case& c : {
           Case{{"Zasyadko", "(", "crater", ")"}, 'F'},  // a word or two in small letters
           Case{{"Buffy", "broad-nosed", "bat"}, 'F'},
           Case{{"UCLA", "Bruins", "women", "'s", "basketball", "team"}, 'S'},
           Case{{"Paris", "is", "Paris"}, 'S'},  // a function word
           Case{{"Anna", "ist", "Ärztin"}, 'S'},
           Case{{"Bank", "of", "England"}, 'F'},
           Case{{"Charles", "de", "Gaulle", "(", "1890", ")"}, 'F'},
           Case{{"Kevin", "Durant"}, 'F'},
           Case{{"Anna", "Weber", "."}, 'S'},  // a sentence end
           Case{{"Anna", "Weber", ".", "\""}, 'S'},
           Case{{"He", "met", "Anna"}, 'S'},
           Case{{"Bordeaux", "20", "9", "7", "4", "25", "22", "34"}, 'R'},
           Case{{"Leicester", "1", "(", "Marshall", "78", ")", "Blackburn", "2"}, 'R'},
           Case{{"In", "2019", "and", "2020", "he", "lived", "in", "Lyon"}, 'S'},
           Case{{"12", "34"}, 'F'},  // numbers alone are no row of a table
           Case{{"SOCCER", "-", "ENGLISH", "LEAGUE"}, 'F'},
           Case{{"SOCCER", "-", "LEAGUE", "RESULTS"}, 'F'},
           Case{{"YESTERDAY", "ANNA", "WAS", "HERE"}, 'S'},
           Case{{"RESULTS", "YESTERDAY"}, 'F'},
           Case{{"RESULTS", "YESTERDAY", "RESULTS"}, 'S'},
           Case{{"GROUP", "B"}, 'F'},
           Case{{"("}, 'F'},
       }) {
    std::string text;
    for (const auto& t : c.line) text += t + " ";
    EXPECT_EQ(lineKind(c.line, g), c.kind) << text;
  }
  EXPECT_EQ(lineKind({}, g), 'F');
}

TEST(Features, LineKindFeaturesOnlyWhenAsked) {
  const std::vector<std::string> line = {"Zasyadko", "(", "Crater", ")"};
  const auto plain = describeFeatures(line, Gazetteer(), 1);
  const auto kinds = describeFeatures(line, Gazetteer(), 1, 0, kLineKindFeatures);
  for (const auto& f : plain) EXPECT_TRUE(has(kinds, f)) << f;
  for (const char* f : {"60=F|2|T", "61=F|T|(", "62=F|Xx|(|Xx", "63=F|("}) {
    EXPECT_TRUE(has(kinds, f)) << f;
    EXPECT_FALSE(has(plain, f)) << f;
  }
  // A capitalised word has no word feature of its kind; words without letters and small ones do.
  EXPECT_FALSE(has(describeFeatures(line, Gazetteer(), 0, 0, kLineKindFeatures), "63=F|zasyadko"));
  const auto row =
      describeFeatures({"Bordeaux", "20", "9", "7"}, Gazetteer(), 1, 0, kLineKindFeatures);
  EXPECT_TRUE(has(row, "63=R|20"));
  EXPECT_TRUE(has(row, "62=R|Xx|d|d"));
  LineFeatures a;
  extractLineFeatures(line, Gazetteer(), 16, a, 1, kLineKindFeatures);
  for (size_t i = 0; i < line.size(); ++i) {
    EXPECT_EQ(a.offsets[i + 1] - a.offsets[i],
              describeFeatures(line, Gazetteer(), i, 1, kLineKindFeatures).size());
  }
}

TEST(Features, HashedBucketsMatchTheDescribedFeatures) {
  const std::vector<std::string> line = {"Issuing", "Authority", ":", "Stadt", "Köln"};
  LineFeatures a, b;
  extractLineFeatures(line, Gazetteer(), 12, a);
  extractLineFeatures(line, Gazetteer(), 12, b);
  ASSERT_EQ(a.offsets.size(), line.size() + 1);
  EXPECT_EQ(a.buckets, b.buckets);
  for (size_t i = 0; i < line.size(); ++i) {
    EXPECT_EQ(a.offsets[i + 1] - a.offsets[i], describeFeatures(line, Gazetteer(), i).size());
  }
  for (uint32_t bucket : a.buckets) EXPECT_LT(bucket, 1u << 12);
  extractLineFeatures({}, Gazetteer(), 12, a);
  EXPECT_TRUE(a.buckets.empty());
  EXPECT_EQ(a.offsets.size(), 1u);
}

TEST(Features, RunningTextInCapitalsIsReadAsProse) {
  constexpr int en = 1;
  auto lexicon = std::make_shared<const Lexicon>(std::vector<uint64_t>{
      lexiconEntry("army", en),     lexiconEntry("march", en),    lexiconEntry("March", en),
      lexiconEntry("bill", en),     lexiconEntry("Bill", en),     lexiconEntry("Athens", en),
      lexiconEntry("us", en),       lexiconEntry("US", en),       lexiconEntry("ancient", en),
      lexiconEntry("Ancient", en),  lexiconEntry("war", en),      lexiconEntry("thank", en),
      lexiconEntry("shopping", en), lexiconEntry("told", en),     lexiconEntry("gave", en),
      lexiconEntry("stocks", en),   lexiconEntry("now", en),      lexiconEntry("job", en),
      lexiconEntry("sun", en),      lexiconEntry("Sun", en),      lexiconEntry("un", en),
      lexiconEntry("king", en),     lexiconEntry("replaced", en), lexiconEntry("veteran", en),
      lexiconEntry("unions", en),   lexiconEntry("police", en),   lexiconEntry("school", en),
      lexiconEntry("high", en),     lexiconEntry("mark", en),     lexiconEntry("Mark", en)});
  const Gazetteer g({gazetteerEntry("march", kGazCommonWord), gazetteerEntry("us", kGazCommonWord),
                     gazetteerEntry("now", kGazCommonWord), gazetteerEntry("unions", kGazOrgWord),
                     gazetteerEntry("police", kGazOrgWord), gazetteerEntry("school", kGazOrgWord),
                     gazetteerEntry("ministry", kGazOrgWord), gazetteerEntry("ag", kGazOrgWord)},
                    lexicon);
  const auto split = [](const std::string& text) {
    std::vector<std::string> out;
    for (size_t from = 0; from < text.size();) {
      const size_t space = std::min(text.find(' ', from), text.size());
      out.push_back(text.substr(from, space - from));
      from = space + 1;
    }
    return out;
  };
  const struct {
    const char* line;
    const char* expected;
  } cases[] = {
      // Dictionary words in small letters, names and unknown long words with a capital; a word
      // known both ways stays in small letters when the labelled text mostly writes it so.
      {"THE ARMY WAS IN ATHENS IN MARCH", "The army was in Athens in march"},
      {"BILL KOWALCZYK WAS WITH THE ARMY", "Bill Kowalczyk was with the army"},
      // Short unknown words, words with digits or dots and short words known both ways stay.
      {"NATO WAS IN THE U.S. IN 1996 WITH US ARMY", "NATO was in the U.S. in 1996 with US army"},
      // "US" is the pronoun before the end, punctuation, a function word or an article, and the
      // country after "the" and before other words.
      {"THANK YOU FOR SHOPPING WITH US", "Thank you for shopping with us"},
      {"HE TOLD US THAT US STOCKS WERE IN THE US .", "He told us that US stocks were in the US ."},
      {"IT GAVE US A WAR", "It gave us a war"},
      // Words of organisations' names keep a capital; hyphenated words are read part by part.
      {"HE WAS AT THE MINISTRY WITH SIEMENS AG", "He was at the Ministry with Siemens AG"},
      {"IT WAS AN ARMY-ATHENS WAR", "It was an army-Athens war"},
      {"ANCIENT ATHENS WAS IN THE ARMY", "Ancient Athens was in the army"},
      // An organisation word the dictionaries know in small letters keeps its capital in a name
      // only: beside a word with a capital, before "of", after a word in small letters after one.
      {"THE UNIONS WERE WITH THE ESSEN POLICE", "The unions were with the Essen Police"},
      {"THE POLICE OF ATHENS WAS AT THE SCHOOL", "The Police of Athens was at the school"},
      {"HE WAS AT ATHENS HIGH SCHOOL", "He was at Athens high School"},
      // In English a word known both ways after an article, a possessive or a modal verb is the
      // common word.
      {"HE GAVE HER MARK TO BILL", "He gave her mark to Bill"},
      {"MARK WILL BILL THE ARMY", "Mark will bill the army"},
      // Short words: common ones and those of three letters known in small letters only in small
      // letters, others as they are; in English a French function word is read as any other
      // word ("UN"), but not inside a hyphenated word.
      {"IT IS NOW ON THE JOB AT THE SUN WITH THE UN",
       "It is now on the job at the SUN with the UN"},
      {"IT WAS AN UN-ARMY WAR", "It was an un-army war"},
      // English: one function word and an article in five words or more are running text.
      {"KING BILL REPLACED THE VETERAN WITH ATHENS", "King Bill replaced the veteran with Athens"},
      // Articles of other languages opening a name take a capital, not inside one.
      {"HE WAS IN LOS ANGELES WITH LE FIGARO AND CHARLES DE GAULLE",
       "He was in Los Angeles with Le Figaro and Charles de Gaulle"},
      {"HE WAS IN THE ARMY WITH LA", "He was in the army with la"},
      // Not running text in capitals: fewer than two function words (one with an article in fewer
      // than five words), no function word, too few words in capitals, or mixed case.
      {"THE ARMY WITH BILL", "THE ARMY WITH BILL"},
      {"ARMY WAR IN ATHENS", "ARMY WAR IN ATHENS"},  // "war" is German's function word, not English
      {"THE ARMY OF THE ANCIENT ATHENS", "THE ARMY OF THE ANCIENT ATHENS"},
      {"SOCCER - ATHENS ARMY IN MARCH", "SOCCER - ATHENS ARMY IN MARCH"},
      {"IT WAS", "IT WAS"},
      {"The ARMY was in ATHENS in MARCH", "The ARMY was in ATHENS in MARCH"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& w : recaseCapitals(split(c.line), g, en).value_or(split(c.line))) {
      joined += (joined.empty() ? "" : " ") + w;
    }
    EXPECT_EQ(joined, c.expected) << c.line;
  }
}

}  // namespace
}  // namespace marrowfen::entities
