#include "entities/data_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "common/unicode.h"

namespace marrowfen::entities {
namespace {

// The texts of `matches` in `text`, in order.
std::vector<std::string> texts(const std::string& text, const Matches& matches) {
  const std::u16string u = toUtf16(text);
  std::vector<std::string> out;
  for (const DetectorMatch& m : matches) out.push_back(toUtf8(std::u16string_view(u).substr(m.location, m.length)));
  return out;
}

using Finder = Matches (*)(std::u16string_view);

struct Case {
  std::string text;
  std::vector<std::string> found;
};

void check(Finder find, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(texts(c.text, find(toUtf16(c.text))), c.found) << c.text;
}

TEST(FindDates, NumericAndNamedForms) {
  check(findDates, {
      {"Date of Birth: 12/03/1990", {"12/03/1990"}},
      {"born 03-12-90 and 1990-03-12", {"03-12-90", "1990-03-12"}},
      {"am 12.03.1990 in Köln", {"12.03.1990"}},
      {"US style 12/31/2020", {"12/31/2020"}},
      {"leap 29/02/2020", {"29/02/2020"}},
      {"Issue: 12-MAR-1990, expiry 12 Mar 2030", {"12-MAR-1990", "12 Mar 2030"}},
      {"1st March 2020, March 3rd, 2020 and the 2nd of May 1999", {"1st March 2020", "March 3rd, 2020", "2nd of May 1999"}},
      {"12. März 2021 / 3 de marzo de 2020 / 1er janvier 2000", {"12. März 2021", "3 de marzo de 2020", "1er janvier 2000"}},
      {"5 maggio 2019, 7 de setembro de 2021, 4 juli 2018", {"5 maggio 2019", "7 de setembro de 2021", "4 juli 2018"}},
      {"since March 2019 until 14 February", {"March 2019", "14 February"}},
      {"\U0001F600 12/03/1990", {"12/03/1990"}},
      {"born Fourth June 1990 at home; the twenty-first day of March, 2001; TWENTY FIRST MAY 1999",
       {"Fourth June 1990", "twenty-first day of March, 2001", "TWENTY FIRST MAY 1999"}},
      // Not dates.
      {"Thirtieth February 2020", {"February 2020"}},
      {"31/02/2020 13/13/2020 29/02/2021 00/01/2020", {}},
      {"at 10:30, 10:30:15 or 10.30", {}},
      {"version 1.2.10, v2.3.4 and 192.168.1.1", {}},
      {"H.No. 12-3-45, Banjara Hills", {}},
      {"Phone 98765-43210, 040-1234-5678, +49-30-12-34", {}},
      {"12/03 and 5 ago and May be 20", {}},
      {"id 12/03/19901 or 112/03/1990", {}},
  });
}

TEST(FindPhoneNumbers, InternationalAndNationalForms) {
  check(findPhoneNumbers, {
      {"Phone: +91 98765 43210", {"+91 98765 43210"}},
      {"Mobile 098765 43210 or 9876543210", {"098765 43210", "9876543210"}},
      {"Call (212) 555-0182 today", {"(212) 555-0182"}},
      {"Tel. 020 7946 0958", {"020 7946 0958"}},
      {"Telefon 030 12345678", {"030 12345678"}},
      {"Téléphone 01 23 45 67 89", {"01 23 45 67 89"}},
      {"Japan +81 3-1234-5678, UK +44 20 7946 0958", {"+81 3-1234-5678", "+44 20 7946 0958"}},
      {"\U0001F4DE +33 1 23 45 67 89", {"+33 1 23 45 67 89"}},
      // Not phone numbers.
      {"Aadhaar: 9123 4567 8901 and 912345678901", {}},
      {"PIN 110001, PAN ABCDE1234F, at 10:30", {}},
      {"Date 12/03/1990 and 1990-03-12", {}},
      {"Invoice 12345", {}},
      {"IBAN: DE89 3704 0044 0532 0130 00, GB29NWBK60161331926819", {}},
      {"Passport No. X12345678 and licence I1234567, Tel. 020 7946 0958", {"020 7946 0958"}},
      {std::string(100, '1') + " +91 98765 43210", {"+91 98765 43210"}},
  });
}

TEST(FindAddresses, StreetPostcodeAndLabelledBlocks) {
  check(findAddresses, {
      {"Address: 221B Baker Street, London NW1 6XE", {"221B Baker Street, London NW1 6XE"}},
      {"Hauptstraße 5\n10115 Berlin", {"Hauptstraße 5\n10115 Berlin"}},
      {"12 rue de la Paix, 75002 Paris", {"12 rue de la Paix, 75002 Paris"}},
      {"1600 Pennsylvania Avenue NW\nWashington, DC 20500", {"1600 Pennsylvania Avenue NW\nWashington, DC 20500"}},
      {"Flat 12, MG Road\nBengaluru - 560001", {"Flat 12, MG Road\nBengaluru - 560001"}},
      {"Via Roma 10, Milano", {"Via Roma 10, Milano"}},
      // The town after the comma ends with its sentence; a long rest is prose, not a town.
      {"I moved to 12 Oxford Road, Leeds. The office in Oxford Road is closed.", {"12 Oxford Road, Leeds"}},
      {"Write to 12 High St., Ely!", {"12 High St., Ely"}},
      {"12 Station Road, Mt. Pleasant", {"12 Station Road, Mt. Pleasant"}},
      {"We live at 4 Mill Lane, which is near the old bridge over the river", {"4 Mill Lane"}},
      {"Calle Mayor 5", {"Calle Mayor 5"}},
      {"Bitte rufen Sie uns an oder schreiben Sie an die Allianz Versicherung AG, K\u00F6niginstra\u00DFe 28, 80802 M\u00FCnchen.",
       {"K\u00F6niginstra\u00DFe 28, 80802 M\u00FCnchen"}},
      {"Permanent Address:\n45 Park Lane\nMayfair\nLondon W1K 1AA\nEmail: a@b.c",
       {"45 Park Lane\nMayfair\nLondon W1K 1AA"}},
      {"Address: House 4, Gandhi Nagar\r\nJaipur\r\nPhone: +91 98765 43210", {"House 4, Gandhi Nagar\r\nJaipur"}},
      {"Springfield, IL 62704", {"Springfield, IL 62704"}},
      {"Stephansplatz 1\n1010 Wien", {"Stephansplatz 1\n1010 Wien"}},
      {"3511 NK Utrecht", {"3511 NK Utrecht"}},
      // A post-office box stands where the street would.
      {"PO Box 227\nRotherham S98 1PD", {"PO Box 227\nRotherham S98 1PD"}},
      {"Postbus 202, 1000 AE Amsterdam", {"Postbus 202, 1000 AE Amsterdam"}},
      {"Postfach 10 12 34\n1010 Wien", {"Postfach 10 12 34\n1010 Wien"}},
      {"Inbox 12 and P.O. Box", {}},
      {"Address: Flat 3, Rose Court\nNear Shiv Mandir\nPune 411001\nMobile 98765", {"Flat 3, Rose Court\nNear Shiv Mandir\nPune 411001"}},
      // An "Address:" block ends where the text goes on with something else.
      {"Adres: Oudegracht 231, 3511 NK Utrecht\nUtrecht, 5 januari 2024\nDe burgemeester van Utrecht",
       {"Oudegracht 231, 3511 NK Utrecht"}},
      {"Address: 12 Main Street\nSpringfield\nLondon, 5 January 2024\nThe registrar",
       {"12 Main Street\nSpringfield"}},
      {"Anschrift: Lindenweg 4\nbitte bis Montag zur\u00FCcksenden", {"Lindenweg 4"}},
      // Not addresses.
      {"1985 Bordeaux", {}},
      {"PAN: ABCDE1234F  Aadhaar: 1234 5678 9012  PIN 411001", {}},
      {"We walked down the street for 5 minutes.", {}},
      {"Invoice 12345 Total", {}},
      {"Address:", {}},
      {"Address:\nPhone: 12345", {}},
  });
}

TEST(FindAddresses, BlocksUnderALetterhead) {
  check(findAddresses, {
      // Street word first, house number before it; quarters; the postcode line ends the block.
      {"KEDAI BUKU SINAR JAYA\nNO. 7, JALAN KENANGA 2/3,\nTAMAN SRI INDAH,\n47100 PUCHONG, SELANGOR\nTEL: 03-8070 1234",
       {"NO. 7, JALAN KENANGA 2/3,\nTAMAN SRI INDAH,\n47100 PUCHONG, SELANGOR"}},
      // A postcode at the end of its line takes the town below it, and a country line follows.
      {"LOT 12, JALAN MAWAR 4,\nBANDAR BARU BANGI, 43650\nKAJANG SELANGOR\nMALAYSIA\nGST NO: 0001",
       {"LOT 12, JALAN MAWAR 4,\nBANDAR BARU BANGI, 43650\nKAJANG SELANGOR\nMALAYSIA"}},
      {"No: 9, Lorong Cempaka 1,\n53200, Kuala Lumpur.\nSelangor Darul Ehsan", {"No: 9, Lorong Cempaka 1,\n53200, Kuala Lumpur.\nSelangor Darul Ehsan"}},
      // The telephone after the address on its last line is not part of it.
      {"NO.5, JALAN MELATI 8, TAMAN SENTOSA\n41200 KLANG, SELANGOR, TEL NO.: 03-3371 2222",
       {"NO.5, JALAN MELATI 8, TAMAN SENTOSA\n41200 KLANG, SELANGOR"}},
      // Floors, units and lots open a block as a house number does.
      {"3RD FLOOR, WISMA MUTIARA, JALAN RAJA LAUT,\n50350 KUALA LUMPUR.", {"3RD FLOOR, WISMA MUTIARA, JALAN RAJA LAUT,\n50350 KUALA LUMPUR."}},
      {"LOT P.T. 415, JALAN BESI,\nTAMAN DAMAI\n41150 KLANG", {"LOT P.T. 415, JALAN BESI,\nTAMAN DAMAI\n41150 KLANG"}},
      // Without a postcode, the lines that name streets and buildings.
      {"UNIT G-12, PLAZA DAMAI\nJALAN DAMAI 3/1\nTEL: 03-1234 5678", {"UNIT G-12, PLAZA DAMAI\nJALAN DAMAI 3/1"}},
      // The lot number is not the postcode; a field or a date ends the block.
      {"LOT 26150 BANDAR SETIA,\n43000 KAJANG", {"LOT 26150 BANDAR SETIA,\n43000 KAJANG"}},
      {"NO 8 JALAN INTAN\nDATE: 12/03/2018 45000 KUALA SELANGOR", {"NO 8 JALAN INTAN"}},
      // Not addresses: articles, totals, numbers of documents.
      {"NO. OF ITEMS 2\nTOTAL 12.50", {}},
      {"2 BLACK FRAME 12.90\n3 LED LIGHT 10.00\nTOTAL 22.90", {}},
      {"INVOICE NO: 48213 JALAN", {}},
  });
}

TEST(MergeMatches, AddressesWinThenDatesAndTextOrder) {
  const Matches addresses = {{10, 20, kResultTypeAddress}};
  const Matches dates = {{0, 5, kResultTypeDate}, {15, 5, kResultTypeDate}, {40, 8, kResultTypeDate}};
  const Matches phones = {{3, 6, kResultTypePhoneNumber}, {29, 5, kResultTypePhoneNumber}, {50, 9, kResultTypePhoneNumber}};
  const Matches merged = mergeMatches(addresses, dates, phones);
  std::vector<std::pair<size_t, uint64_t>> got;
  for (const auto& m : merged) got.emplace_back(m.location, m.resultType);
  EXPECT_EQ(got, (std::vector<std::pair<size_t, uint64_t>>{
                     {0, kResultTypeDate}, {10, kResultTypeAddress}, {40, kResultTypeDate},
                     {50, kResultTypePhoneNumber}}));
}

// The rule written out pair by pair: every address; a date that overlaps no address; a phone
// number that overlaps no address and no date (displaced or not).
Matches mergedPairwise(const Matches& addresses, const Matches& dates, const Matches& phones) {
  const auto overlap = [](const DetectorMatch& a, const DetectorMatch& b) {
    return a.location < b.location + b.length && b.location < a.location + a.length;
  };
  Matches all = addresses;
  for (const DetectorMatch& d : dates) {
    if (std::none_of(addresses.begin(), addresses.end(),
                     [&](const auto& a) { return overlap(a, d); })) {
      all.push_back(d);
    }
  }
  for (const DetectorMatch& p : phones) {
    const auto hit = [&](const auto& m) { return overlap(m, p); };
    if (std::none_of(addresses.begin(), addresses.end(), hit) &&
        std::none_of(dates.begin(), dates.end(), hit)) {
      all.push_back(p);
    }
  }
  return all;
}

std::vector<std::tuple<size_t, size_t, uint64_t>> sortedTuples(const Matches& matches) {
  std::vector<std::tuple<size_t, size_t, uint64_t>> out;
  for (const auto& m : matches) out.emplace_back(m.location, m.length, m.resultType);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(MergeMatches, AgreesWithThePairwiseRuleOnRandomLists) {
  std::mt19937 random(18);
  for (int round = 0; round < 2000; ++round) {
    // Short texts and long matches make overlaps of every kind common: nested, touching,
    // zero-length, unsorted and (in some rounds) overlapping within one list.
    const size_t textLength = 1 + random() % 60;
    const auto list = [&](uint64_t type) {
      Matches m(random() % 7);
      for (auto& x : m) {
        x = {random() % textLength, random() % 12, type};
      }
      return m;
    };
    const Matches a = list(kResultTypeAddress), d = list(kResultTypeDate),
                  p = list(kResultTypePhoneNumber);
    const Matches merged = mergeMatches(a, d, p);
    EXPECT_EQ(sortedTuples(merged), sortedTuples(mergedPairwise(a, d, p))) << "round " << round;
    EXPECT_TRUE(std::is_sorted(merged.begin(), merged.end(), [](const auto& x, const auto& y) {
      return x.location < y.location;
    }));
  }
}

TEST(DataDetector, ReportsEveryKindInTextOrder) {
  const std::string text =
      "\U0001F600 Phone: +91 98765 43210\nBorn 12/03/1990\nAddress: 221B Baker Street, London NW1 6XE";
  const auto detector = makeDataDetector();
  ASSERT_TRUE(detector);
  const std::u16string u = toUtf16(text);
  Matches got;
  detector->enumerateMatches(u, [&](const std::optional<DetectorMatch>& m) {
    ASSERT_TRUE(m);
    got.push_back(*m);
  });
  EXPECT_EQ(texts(text, got), (std::vector<std::string>{"+91 98765 43210", "12/03/1990",
                                                         "221B Baker Street, London NW1 6XE"}));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].resultType, kResultTypePhoneNumber);
  EXPECT_EQ(got[1].resultType, kResultTypeDate);
  EXPECT_EQ(got[2].resultType, kResultTypeAddress);
}

}  // namespace
}  // namespace marrowfen::entities
