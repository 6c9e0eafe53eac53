#include "entities/address_detector.h"

#include <gtest/gtest.h>

#include "entities/detector_test_cases.h"

namespace marrowfen::entities {
namespace {

using detector_testing::check;
using detector_testing::texts;

TEST(FindAddresses, StreetPostcodeAndLabelledBlocks) {
  check(
      findAddresses,
      {
          {"Address: 221B Baker Street, London NW1 6XE", {"221B Baker Street, London NW1 6XE"}},
          {"Hauptstraße 5\n10115 Berlin", {"Hauptstraße 5\n10115 Berlin"}},
          {"12 rue de la Paix, 75002 Paris", {"12 rue de la Paix, 75002 Paris"}},
          {"1600 Pennsylvania Avenue NW\nWashington, DC 20500",
           {"1600 Pennsylvania Avenue NW\nWashington, DC 20500"}},
          {"Flat 12, MG Road\nBengaluru - 560001", {"Flat 12, MG Road\nBengaluru - 560001"}},
          {"Via Roma 10, Milano", {"Via Roma 10, Milano"}},
          // The town after the comma ends with its sentence; a long rest is prose, not a town.
          {"I moved to 12 Oxford Road, Leeds. The office in Oxford Road is closed.",
           {"12 Oxford Road, Leeds"}},
          {"Write to 12 High St., Ely!", {"12 High St., Ely"}},
          {"12 Station Road, Mt. Pleasant", {"12 Station Road, Mt. Pleasant"}},
          {"We live at 4 Mill Lane, which is near the old bridge over the river", {"4 Mill Lane"}},
          {"Calle Mayor 5", {"Calle Mayor 5"}},
          {"Bitte rufen Sie uns an oder schreiben Sie an die Allianz Versicherung AG, "
           "K\u00F6niginstra\u00DFe 28, 80802 M\u00FCnchen.",
           {"K\u00F6niginstra\u00DFe 28, 80802 M\u00FCnchen"}},
          {"Permanent Address:\n45 Park Lane\nMayfair\nLondon W1K 1AA\nEmail: a@b.c",
           {"45 Park Lane\nMayfair\nLondon W1K 1AA"}},
          {"Address: House 4, Gandhi Nagar\r\nJaipur\r\nPhone: +91 98765 43210",
           {"House 4, Gandhi Nagar\r\nJaipur"}},
          {"Springfield, IL 62704", {"Springfield, IL 62704"}},
          {"Stephansplatz 1\n1010 Wien", {"Stephansplatz 1\n1010 Wien"}},
          {"3511 NK Utrecht", {"3511 NK Utrecht"}},
          // A post-office box stands where the street would.
          {"PO Box 227\nRotherham S98 1PD", {"PO Box 227\nRotherham S98 1PD"}},
          {"Postbus 202, 1000 AE Amsterdam", {"Postbus 202, 1000 AE Amsterdam"}},
          {"Postfach 10 12 34\n1010 Wien", {"Postfach 10 12 34\n1010 Wien"}},
          {"Inbox 12 and P.O. Box", {}},
          {"Address: Flat 3, Rose Court\nNear Shiv Mandir\nPune 411001\nMobile 98765",
           {"Flat 3, Rose Court\nNear Shiv Mandir\nPune 411001"}},
          // An "Address:" block ends where the text goes on with something else.
          {"Adres: Oudegracht 231, 3511 NK Utrecht\nUtrecht, 5 januari 2024\nDe burgemeester van "
           "Utrecht",
           {"Oudegracht 231, 3511 NK Utrecht"}},
          {"Address: 12 Main Street\nSpringfield\nLondon, 5 January 2024\nThe registrar",
           {"12 Main Street\nSpringfield"}},
          {"Anschrift: Lindenweg 4\nbitte bis Montag zur\u00FCcksenden", {"Lindenweg 4"}},
          // Canada, Australia, Portugal and Poland.
          {"123 rue Sainte-Catherine Ouest, Montr\u00E9al (Qu\u00E9bec) H3B 1A7",
           {"123 rue Sainte-Catherine Ouest, Montr\u00E9al (Qu\u00E9bec) H3B 1A7"}},
          {"456 Queen St W, Toronto ON M5V 2A9", {"456 Queen St W, Toronto ON M5V 2A9"}},
          {"Toronto, ON M5V 2T6", {"Toronto, ON M5V 2T6"}},
          {"Unit 4/12 Beach Rd\nBONDI NSW 2026", {"Unit 4/12 Beach Rd\nBONDI NSW 2026"}},
          {"ADELAIDE SA 5000", {"ADELAIDE SA 5000"}},
          {"Rua Augusta 100\n1100-053 Lisboa", {"Rua Augusta 100\n1100-053 Lisboa"}},
          {"1 Infinite Loop Cupertino CA 95014", {"1 Infinite Loop Cupertino CA 95014"}},
          {"12 Acacia Gardens, Leeds LS1 4AP", {"12 Acacia Gardens, Leeds LS1 4AP"}},
          // Not addresses.
          {"Model K9X 4T2", {}},
          {"Order 12 34 shipped to CA 95014", {}},
          {"Lakers 10-150 Celtics", {}},
          {"Volkswagen SA 2020", {}},
          {"1985 Bordeaux", {}},
          {"PAN: ABCDE1234F  Aadhaar: 1234 5678 9012  PIN 411001", {}},
          {"We walked down the street for 5 minutes.", {}},
          {"Invoice 12345 Total", {}},
          // Six digits that start a longer number are no Indian PIN.
          {"SIRET 451 321 335 00017", {}},
          {"Client 123 456 789", {}},
          {"born 1990, St James's Hospital", {}},
          {"Bangalore 560 001", {"Bangalore 560 001"}},
          {"Address:", {}},
          {"Address:\nPhone: 12345", {}},
      });
}

TEST(FindAddresses, StreetsAndPostcodesOfMoreCountries) {
  check(
      findAddresses,
      {
          // Street words written apart after the name, before the number.
          {"Berliner Stra\u00DFe 12\n10115 Berlin", {"Berliner Stra\u00DFe 12\n10115 Berlin"}},
          {"POTSDAMER PLATZ 1, 10785 BERLIN", {"POTSDAMER PLATZ 1, 10785 BERLIN"}},
          {"V\u00E1clavsk\u00E9 n\u00E1m\u011Bst\u00ED 1\n110 00 Praha 1",
           {"V\u00E1clavsk\u00E9 n\u00E1m\u011Bst\u00ED 1\n110 00 Praha 1"}},
          {"Karl Johans gate 22\n0159 Oslo", {"Karl Johans gate 22\n0159 Oslo"}},
          // Swedish, Danish compounds; Polish "ul." in small letters; a comma before the number.
          {"Storgatan 12 B\n111 22 Stockholm", {"Storgatan 12 B\n111 22 Stockholm"}},
          {"Vesterbrogade 10\n1620 K\u00F8benhavn", {"Vesterbrogade 10\n1620 K\u00F8benhavn"}},
          {"ul. Marsza\u0142kowska 10/12\n00-590 Warszawa",
           {"ul. Marsza\u0142kowska 10/12\n00-590 Warszawa"}},
          {"Calle de Alcal\u00E1, 45\n28014 Madrid", {"Calle de Alcal\u00E1, 45\n28014 Madrid"}},
          // Eircodes after a street, or after places apart by commas.
          {"12 Main Street\nBallsbridge\nDublin 4\nD04 X2Y3",
           {"12 Main Street\nBallsbridge\nDublin 4\nD04 X2Y3"}},
          {"Scoil Mhuire, Main Street, Ballincollig, Co. Cork P31 X2K8",
           {"Scoil Mhuire, Main Street, Ballincollig, Co. Cork P31 X2K8"}},
          {"Model A12 C345 in stock", {}},
          // A town's code after it, Brazil's CEP; Indonesian and Portuguese abbreviations.
          {"Jl. Sudirman No. 5\nJakarta Pusat 10220", {"Jl. Sudirman No. 5\nJakarta Pusat 10220"}},
          {"Av. Paulista, 1578 - Bela Vista\nS\u00E3o Paulo - SP, 01310-200",
           {"Av. Paulista, 1578 - Bela Vista\nS\u00E3o Paulo - SP, 01310-200"}},
          {"Jakarta Pusat 10220", {}},
          {"Invoice Total 10220", {}},
          // Japan: the postal mark and code, and the rest of the line.
          {"\u3012100-0001 \u6771\u4EAC\u90FD\u5343\u4EE3\u7530\u533A\u5343\u4EE3\u75301-1",
           {"\u3012100-0001 \u6771\u4EAC\u90FD\u5343\u4EE3\u7530\u533A\u5343\u4EE3\u75301-1"}},
          {"\u3012 12-345", {}},
          // A whole address on one line, as Aadhaar cards print it; not prose.
          {"S/O Ramesh Kumar, House No 45, Ward 7, Village Rampur, Dist. Meerut, Uttar Pradesh - "
           "250001",
           {"S/O Ramesh Kumar, House No 45, Ward 7, Village Rampur, Dist. Meerut, Uttar Pradesh - "
            "250001"}},
          {"Our shop sells pens, paper, ink, stamps and glue, so call us in Pune 411001", {}},
          {"We have offices in many places across the whole of the country, in Pune 411001", {}},
          // A postcode after the town.
          {"12 Long Street, Cape Town, 8001", {"12 Long Street, Cape Town, 8001"}},
          {"I moved to 12 Oxford Road, Leeds, in 2019", {"12 Oxford Road"}},
          // Not streets or not postcodes: a gate at an airport, three and two digits alone.
          {"Boarding gate 22\nSeat 14C", {}},
          {"Departure gate 5, Terminal 2", {}},
          {"Order 123 45 Apples", {}},
          {"111 22 Stockholm", {}},
      });
}

TEST(FindAddresses, BlocksUnderALetterhead) {
  check(
      findAddresses,
      {
          // Street word first, house number before it; quarters; the postcode line ends the block.
          {"KEDAI BUKU SINAR JAYA\nNO. 7, JALAN KENANGA 2/3,\nTAMAN SRI INDAH,\n47100 PUCHONG, "
           "SELANGOR\nTEL: 03-8070 1234",
           {"NO. 7, JALAN KENANGA 2/3,\nTAMAN SRI INDAH,\n47100 PUCHONG, SELANGOR"}},
          // A postcode at the end of its line takes the town below it, and a country line follows.
          {"LOT 12, JALAN MAWAR 4,\nBANDAR BARU BANGI, 43650\nKAJANG SELANGOR\nMALAYSIA\nGST NO: "
           "0001",
           {"LOT 12, JALAN MAWAR 4,\nBANDAR BARU BANGI, 43650\nKAJANG SELANGOR\nMALAYSIA"}},
          {"No: 9, Lorong Cempaka 1,\n53200, Kuala Lumpur.\nSelangor Darul Ehsan",
           {"No: 9, Lorong Cempaka 1,\n53200, Kuala Lumpur.\nSelangor Darul Ehsan"}},
          // The telephone after the address on its last line is not part of it.
          {"NO.5, JALAN MELATI 8, TAMAN SENTOSA\n41200 KLANG, SELANGOR, TEL NO.: 03-3371 2222",
           {"NO.5, JALAN MELATI 8, TAMAN SENTOSA\n41200 KLANG, SELANGOR"}},
          // Floors, units and lots open a block as a house number does.
          {"3RD FLOOR, WISMA MUTIARA, JALAN RAJA LAUT,\n50350 KUALA LUMPUR.",
           {"3RD FLOOR, WISMA MUTIARA, JALAN RAJA LAUT,\n50350 KUALA LUMPUR."}},
          {"LOT P.T. 415, JALAN BESI,\nTAMAN DAMAI\n41150 KLANG",
           {"LOT P.T. 415, JALAN BESI,\nTAMAN DAMAI\n41150 KLANG"}},
          // Without a postcode, the lines that name streets and buildings.
          {"UNIT G-12, PLAZA DAMAI\nJALAN DAMAI 3/1\nTEL: 03-1234 5678",
           {"UNIT G-12, PLAZA DAMAI\nJALAN DAMAI 3/1"}},
          // The lot number is not the postcode; a field or a date ends the block.
          {"LOT 26150 BANDAR SETIA,\n43000 KAJANG", {"LOT 26150 BANDAR SETIA,\n43000 KAJANG"}},
          {"NO 8 JALAN INTAN\nDATE: 12/03/2018 45000 KUALA SELANGOR", {"NO 8 JALAN INTAN"}},
          // Not addresses: articles, totals, numbers of documents.
          {"NO. OF ITEMS 2\nTOTAL 12.50", {}},
          {"2 BLACK FRAME 12.90\n3 LED LIGHT 10.00\nTOTAL 22.90", {}},
          {"INVOICE NO: 48213 JALAN", {}},
      });
}

}  // namespace
}  // namespace marrowfen::entities
