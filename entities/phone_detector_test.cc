#include "entities/phone_detector.h"

#include <gtest/gtest.h>

#include "entities/detector_test_cases.h"

namespace marrowfen::entities {
namespace {

using detector_testing::check;
using detector_testing::texts;

TEST(FindPhoneNumbers, InternationalAndNationalForms) {
  check(findPhoneNumbers,
        {
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

TEST(FindPhoneNumbers, LabelledNumbersOfMoreCountries) {
  check(findPhoneNumbers,
        {
            {"Telefone: (11) 98765-4321", {"(11) 98765-4321"}},
            {"Tel: 91 123 45 67", {"91 123 45 67"}},
            {"TEL NO.: (852) 2123 4567", {"(852) 2123 4567"}},
            // Without a label the same digits are sums, codes or other numbers.
            {"(11) 98765-4321", {}},
            {"Ref 91 123 45 67", {}},
            {"Tel: 91 123 45 67, Fax: 91 123 45 68", {"91 123 45 67", "91 123 45 68"}},
        });
}

TEST(FindPhoneNumbers, ManyLabelledNumbersStillLeaveTheRestOfTheTextSearched) {
  // Many labelled numbers that no plan reads spend the labelled budget, not the one for the
  // whole text: the number at the end is still found.
  std::string text;
  for (int i = 0; i < 1500; ++i) text += "Tel: 1" + std::to_string(1000000 + i) + "\n";
  text += "Phone: +44 20 7946 0958";
  check(findPhoneNumbers, {{text, {"+44 20 7946 0958"}}});
}

}  // namespace
}  // namespace marrowfen::entities
