#include "entities/date_detector.h"

#include <gtest/gtest.h>

#include "entities/detector_test_cases.h"

namespace marrowfen::entities {
namespace {

using detector_testing::check;
using detector_testing::texts;

TEST(FindDates, NumericAndNamedForms) {
  check(
      findDates,
      {
          {"Date of Birth: 12/03/1990", {"12/03/1990"}},
          {"born 03-12-90 and 1990-03-12", {"03-12-90", "1990-03-12"}},
          {"am 12.03.1990 in Köln", {"12.03.1990"}},
          {"US style 12/31/2020", {"12/31/2020"}},
          {"leap 29/02/2020", {"29/02/2020"}},
          {"Issue: 12-MAR-1990, expiry 12 Mar 2030", {"12-MAR-1990", "12 Mar 2030"}},
          {"1st March 2020, March 3rd, 2020 and the 2nd of May 1999",
           {"1st March 2020", "March 3rd, 2020", "2nd of May 1999"}},
          {"12. März 2021 / 3 de marzo de 2020 / 1er janvier 2000",
           {"12. März 2021", "3 de marzo de 2020", "1er janvier 2000"}},
          {"5 maggio 2019, 7 de setembro de 2021, 4 juli 2018",
           {"5 maggio 2019", "7 de setembro de 2021", "4 juli 2018"}},
          {"since March 2019 until 14 February", {"March 2019", "14 February"}},
          // Papers in two languages name the month twice.
          {"Date of birth 05 JUN /JUIN 78; issued 12 JAN/JAN 2019, expires 01 MÄR / MAR 2031",
           {"05 JUN /JUIN 78", "12 JAN/JAN 2019", "01 MÄR / MAR 2031"}},
          {"12/MAR/2020 and 3 Mai/May 2021", {"12/MAR/2020", "3 Mai/May 2021"}},
          {"Geboortedatum 15 MAA/MAR 1985, afgegeven 2 mrt 2020",
           {"15 MAA/MAR 1985", "2 mrt 2020"}},
          {"signed this 30th day of June, 2010", {"30th day of June, 2010"}},
          {"issued 2021-03-15T10:00:00Z", {"2021-03-15"}},
          {"\u767A\u884C2023\u5E745\u67081\u65E5, 2023\uB144 12\uC6D4 31\uC77C",
           {"2023\u5E745\u67081\u65E5", "2023\uB144 12\uC6D4 31\uC77C"}},
          {"\U0001F600 12/03/1990", {"12/03/1990"}},
          {"born Fourth June 1990 at home; the twenty-first day of March, 2001; TWENTY FIRST MAY "
           "1999",
           {"Fourth June 1990", "twenty-first day of March, 2001", "TWENTY FIRST MAY 1999"}},
          // The full month names of more languages, as their dates decline them.
          {"Warszawa, dnia 12 marca 2024 r.; V Praze dne 3. kv\u011Btna 2023",
           {"12 marca 2024", "3. kv\u011Btna 2023"}},
          {"7 maj 2024, 12. maaliskuuta 2024, 5 Mart 2024, 17 Agustus 1945, 1 Disember 2020",
           {"7 maj 2024", "12. maaliskuuta 2024", "5 Mart 2024", "17 Agustus 1945",
            "1 Disember 2020"}},
          {"Zagreb, 15. svibnja 2022; Bucure\u0219ti, 1 decembrie 2023",
           {"15. svibnja 2022", "1 decembrie 2023"}},
          // The year first: "2024. március 12.", "2024 March 12".
          {"Budapest, 2024. m\u00E1rcius 12. / 2024 March 12",
           {"2024. m\u00E1rcius 12.", "2024 March 12"}},
          // Dates written out in words, as French and Spanish civil records write them.
          {"Le dix-sept mars mil neuf cent quatre-vingt-dix, \u00E0 Marseille",
           {"dix-sept mars mil neuf cent quatre-vingt-dix"}},
          {"le premier janvier deux mille; le vingt et un juin mil neuf cent soixante-dix-sept",
           {"premier janvier deux mille", "vingt et un juin mil neuf cent soixante-dix-sept"}},
          {"el diecisiete de marzo de mil novecientos noventa; le quinze ao\u00FBt 1985",
           {"diecisiete de marzo de mil novecientos noventa", "quinze ao\u00FBt 1985"}},
          {"le trente f\u00E9vrier deux mille; dix ans en mars mil neuf cent; sept mars cent", {}},
          // The month in Roman numerals.
          {"ur. 15.III.1985 w Krakowie, 3-XII-2001, 7 IX 1999 and 15.III.85",
           {"15.III.1985", "3-XII-2001", "7 IX 1999", "15.III.85"}},
          // Day, month and year apart by spaces, after a label of a date.
          {"FECHA DE NACIMIENTO 15 03 1985", {"15 03 1985"}},
          {"Date of expiry: 01 02 2030 / Geburtsdatum 3 4 1990", {"01 02 2030", "3 4 1990"}},
          // Not dates.
          {"Thirtieth February 2020", {"February 2020"}},
          {"Tel 15 03 1985 / 15 03 1985 / Date 15 13 1985 / Date 12 15 03 1985", {}},
          {"Date of birth 15 03 1985 12", {}},
          {"31.II.2020 15.iii.1985 15 III 85 15.III-1985 Louis 14 IV 1990s 2.IV.3", {}},
          {"31/02/2020 13/13/2020 29/02/2021 00/01/2020", {}},
          {"at 10:30, 10:30:15 or 10.30", {}},
          {"version 1.2.10, v2.3.4 and 192.168.1.1", {}},
          {"H.No. 12-3-45, Banjara Hills", {}},
          {"Phone 98765-43210, 040-1234-5678, +49-30-12-34", {}},
          {"12/03 and 5 ago and May be 20", {}},
          // Abbreviations of the other languages are words too; the Malay "Mac" is a computer.
          {"2 Mac Mini, 5 lis, 3 sie, 2024 Mac 5", {}},
          {"from 12 JAN/FEB 2019", {}},
          {"2023\u5E7413\u67081\u65E5 2021-03-15Tuesday", {}},
          {"id 12/03/19901 or 112/03/1990", {}},
      });
}

}  // namespace
}  // namespace marrowfen::entities
