// Imports into publications whose bytes Python wrote (tests/fixtures/pub), one
// per encoding: the existing lines must come back byte for byte around the new
// pages, in the encoding the file had.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "support/Package.h"
#include "support/TempDir.h"

namespace kv {

namespace {

struct TFixture {
  const char* Label;
  const char* File;
  TPubEncoding Encoding;
  const char* LastMasterLine;  // the master page's last line
  const char* NextPage;        // the page line after the master page
  int32_t ExistingPages;
  int32_t FirstGrid;
  const char* Geometry;
  const char* KeptLine;  // an existing line with characters beyond ASCII
};

const TFixture kFixtures[] = {
    {"Ansi", "course-ansi.pub", TPubEncoding::Ansi,
     "Text=Prix : 5 \xE2\x82\xAC \xE2\x80\x93 caf\xC3\xA9", "NewPage=Accueil\r\n", 4, 1,
     "W=1016\r\nH=760\r\n", "Text=Prix : 5 \xE2\x82\xAC \xE2\x80\x93 caf\xC3\xA9"},
    {"Utf8", "course-utf8.pub", TPubEncoding::Utf8Bom,
     "Text=\xCE\x9C\xCE\xAC\xCE\xB8\xCE\xB7\xCE\xBC\xCE\xB1",
     "NewPage=\xCE\x95\xCE\xB9\xCF\x83\xCE\xB1\xCE\xB3\xCF\x89\xCE\xB3\xCE\xAE\r\n", 3, 6,
     "W=792\r\nH=592\r\n",
     "Text=\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1, "
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
    // The marker is the master page's own page line.
    {"Utf16", "course-utf16.pub", TPubEncoding::Utf16LeBom, "PgExitAction=StopSound",
     "NewPage=\xE8\xA1\xA8\xE7\xB4\x99\n", 4, 8, "W=632\r\nH=472\r\n",
     "Text=\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF \xF0\x9F\x8C\x8D"},
};

const char* const kGreekSheet = "\xCE\xA3\xCF\x8D\xCE\xBD\xCE\xBF\xCF\x88\xCE\xB7";

class FixtureImport : public ::testing::TestWithParam<TFixture> {};

}  // namespace

TEST_P(FixtureImport, ExistingBytesSurviveAroundTheNewPages) {
  const TFixture& F = GetParam();
  test::TTempDir Dir;
  const std::string Original = ReadWholeFile(std::string(KV_FIXTURES_DIR) + "/pub/" + F.File);
  const std::string Pub = Dir.File("Course.pub");
  WriteWholeFile(Pub, Original);
  WriteWholeFile(Dir.File("Book.xlsx"),
                 test::MakeBook({{"Sales 2024", ""}, {"Q1/Q2", ""}, {kGreekSheet, ""}}).Bytes());

  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "ALL", Pub);

  // Every byte of the master page's block stays before the first new page.
  const std::string After = ReadWholeFile(Pub);
  const std::string NextPage = EncodePublicationText(F.NextPage, F.Encoding)
                                   .substr(F.Encoding == TPubEncoding::Ansi      ? 0
                                           : F.Encoding == TPubEncoding::Utf8Bom ? 3
                                                                                 : 2);
  const size_t HeadSize = Original.find(NextPage);
  ASSERT_NE(HeadSize, std::string::npos);
  ASSERT_GT(After.size(), Original.size());
  EXPECT_EQ(After.substr(0, HeadSize), Original.substr(0, HeadSize));
  EXPECT_EQ(After.substr(After.size() - (Original.size() - HeadSize)), Original.substr(HeadSize));

  TPubEncoding Read = TPubEncoding::Ansi;
  const std::string Text = ReadPublicationText(Pub, &Read);
  EXPECT_EQ(Read, F.Encoding);
  const size_t Kept = Text.find(F.KeptLine);
  ASSERT_NE(Kept, std::string::npos);
  EXPECT_TRUE(Text.compare(Kept + std::string(F.KeptLine).size(), 1, "\r") == 0 ||
              Text.compare(Kept + std::string(F.KeptLine).size(), 1, "\n") == 0);
  EXPECT_EQ(CountPublicationPages(Text), F.ExistingPages + 3);
  EXPECT_NE(Text.find(F.Geometry), std::string::npos);
  for (int32_t G = F.FirstGrid; G < F.FirstGrid + 3; ++G)
    EXPECT_NE(Text.find("ObjectType=5\r\nName=ExcelGrid_" + std::to_string(G) + "\r\n"),
              std::string::npos)
        << G;
  EXPECT_NE(Text.find("NewPage=Q1_Q2\r\n"), std::string::npos);

  const size_t FirstGridPage = Text.find("NewPage=Sales_2024\r\n");
  EXPECT_LT(Text.find(F.LastMasterLine), FirstGridPage);
  EXPECT_EQ(Text.find("NewPage=", Text.find("MasterPage") + 10), FirstGridPage);

  // A name the code page cannot hold is written as the sheet's number, and the
  // report says so, whatever the publication's encoding: the host hands
  // action parameters over as ANSI text.
  const std::string Third =
      "\"ExcelGrid_" + std::to_string(F.FirstGrid + 2) + "\" \"[PubDir]Book.xlsx\" \"";
  const std::string Report = ReadWholeFile(Pub + ".kvdiag.txt");
  EXPECT_NE(Report.find("\r\nExistingPages=" + std::to_string(F.ExistingPages) + "\r\n"),
            std::string::npos);
  EXPECT_NE(Text.find(Third + "3\" \"Page\" \"Yes\"\r\n"), std::string::npos);
  EXPECT_NE(Report.find("Verification=PASSED\r\nSheetByNumber=3 (the sheet's name cannot be "
                        "written in the ANSI code page)\r\n"),
            std::string::npos)
      << Report;
}

INSTANTIATE_TEST_SUITE_P(Encodings, FixtureImport, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<TFixture>& I) {
                           return std::string(I.param.Label);
                         });

}  // namespace kv

namespace kv {

TEST(AnsiPublication, EveryByteOfTheExistingLinesSurvives) {
  test::TTempDir Dir;
  std::string Bytes;
  for (int B = 1; B < 256; ++B)
    if (B != '\r' && B != '\n') Bytes += static_cast<char>(B);
  const std::string Head = "NewPage=M\r\nMasterPage\r\n";
  const std::string Tail = "NewPage=All\r\nText=" + Bytes + "\r\n";
  WriteWholeFile(Dir.File("p.pub"), Head + Tail);
  WriteWholeFile(Dir.File("Book.xlsx"), test::MakeBook({{"A", ""}}).Bytes());
  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "ALL", Dir.File("p.pub"));
  const std::string After = ReadWholeFile(Dir.File("p.pub"));
  EXPECT_EQ(After.substr(0, Head.size()), Head);
  ASSERT_GT(After.size(), Tail.size());
  EXPECT_EQ(After.substr(After.size() - Tail.size()), Tail);
}

}  // namespace kv

namespace kv {

TEST(Utf16Publication, UnpairedSurrogatesAndPairsSurvive) {
  test::TTempDir Dir;
  auto Units = [](std::u16string_view U) {
    std::string B;
    for (char16_t C : U) B += {static_cast<char>(C & 0xFF), static_cast<char>(C >> 8)};
    return B;
  };
  const std::string Head = "\xFF\xFE" + Units(u"NewPage=M\r\nMasterPage\r\n");
  const std::u16string Damaged = {u'T', 0xD800, u'x', 0xDC00, 0xD83C, 0xDF0D, 0xDBFF, u'\r', u'\n'};
  const std::string Tail = Units(u"NewPage=Old\r\nText=") + Units(Damaged);
  WriteWholeFile(Dir.File("p.pub"), Head + Tail);
  WriteWholeFile(Dir.File("Book.xlsx"), test::MakeBook({{"A", ""}}).Bytes());
  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "ALL", Dir.File("p.pub"));
  const std::string After = ReadWholeFile(Dir.File("p.pub"));
  EXPECT_EQ(After.substr(0, Head.size()), Head);
  ASSERT_GT(After.size(), Tail.size());
  EXPECT_EQ(After.substr(After.size() - Tail.size()), Tail);
  EXPECT_NE(ReadPublicationText(Dir.File("p.pub")).find("\xF0\x9F\x8C\x8D"), std::string::npos);
}

}  // namespace kv
