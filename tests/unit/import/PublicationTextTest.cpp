#include <gtest/gtest.h>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "support/TempDir.h"

namespace kv {

TEST(PublicationText, EncodingFollowsTheFirstBytes) {
  TPubEncoding E = TPubEncoding::Ansi;
  EXPECT_EQ(DecodePublicationBytes("\xEF\xBB\xBFNewPage=\xC3\xA4", &E), "NewPage=\xC3\xA4");
  EXPECT_EQ(E, TPubEncoding::Utf8Bom);
  EXPECT_EQ(DecodePublicationBytes("\xEF\xBB", &E), "\xC3\xAF\xC2\xBB");  // two bytes: ANSI
  EXPECT_EQ(E, TPubEncoding::Ansi);
  EXPECT_EQ(DecodePublicationBytes(std::string("\xFF\xFE"
                                               "A\0\xA9\x03",
                                               6),
                                   &E),
            "A\xCE\xA9");
  EXPECT_EQ(E, TPubEncoding::Utf16LeBom);
  // An odd last byte of a UTF-16 file comes back at the end.
  const std::string Odd(
      "\xFF\xFE"
      "A\0B\0\x43",
      7);
  EXPECT_EQ(EncodePublicationText(DecodePublicationBytes(Odd), TPubEncoding::Utf16LeBom), Odd);
  EXPECT_EQ(EncodePublicationText(DecodePublicationBytes(Odd).substr(0, 1) + "x" +
                                      DecodePublicationBytes(Odd).substr(1),
                                  TPubEncoding::Utf16LeBom),
            std::string("\xFF\xFE"
                        "A\0x\0B\0\x43",
                        9));
  // An odd CR is no line break: pages inserted at the end start a line of their own.
  const std::string OddCr(
      "\xFF\xFE"
      "M\0\x0D",
      5);
  const std::string Joined = InsertAfterMasterPage(DecodePublicationBytes(OddCr), "NewPage=N");
  const std::string Written = EncodePublicationText(Joined, TPubEncoding::Utf16LeBom);
  EXPECT_EQ(CountPublicationPages(DecodePublicationBytes(Written)), 1);
  EXPECT_EQ(Written.back(), '\x0D');
  for (TPubEncoding Enc : {TPubEncoding::Utf8Bom, TPubEncoding::Utf16LeBom}) {
    TPubEncoding Back = TPubEncoding::Ansi;
    EXPECT_EQ(DecodePublicationBytes(EncodePublicationText("\xCE\xA9 x\r\n", Enc), &Back),
              "\xCE\xA9 x\r\n");
    EXPECT_EQ(Back, Enc);
  }
  EXPECT_EQ(EncodePublicationText("caf\xC3\xA9", TPubEncoding::Ansi), "caf\xE9");
}

TEST(PublicationText, LineScanTrimsAndIgnoresCase) {
  const std::string Text = "  newpage=Intro  \nNewPage=\r\nNEWPAGE=Data Sheet\r\nXNewPage=no\n";
  EXPECT_EQ(CountPublicationPages(Text), 3);
  EXPECT_TRUE(PublicationHasPage(Text, "intro"));
  EXPECT_TRUE(PublicationHasPage(Text, "data sheet"));
  EXPECT_FALSE(PublicationHasPage(Text, "Data"));
  EXPECT_EQ(CountPublicationPages("NewPage=a\nNewPage=b\nNewPage=c"), 3);
}

TEST(PublicationText, IntegersTakeTheFirstMatchingLine) {
  EXPECT_EQ(ReadPublicationInteger("ScreenWidth=wide\r\nScreenWidth=1024\r\n", "ScreenWidth", 800),
            800);
  EXPECT_EQ(ReadPublicationInteger("screenheight= 480 \r\n", "ScreenHeight", 600), 480);
  EXPECT_EQ(ReadPublicationInteger("ScreenHeightX=1\r\n", "ScreenHeight", 600), 600);
}

TEST(PublicationText, NextGridNumberTakesTheLargestPlusOne) {
  EXPECT_EQ(NextGridNumber(""), 1);
  EXPECT_EQ(NextGridNumber("Name=ExcelGrid_7\r\nName=ExcelGrid_12abc\r\nName=ExcelGrid_\r\n"), 13);
  EXPECT_EQ(NextGridNumber("name=excelgrid_2\nName=ExcelGrid_99999999999\n"), 3);
}

TEST(PublicationText, InsertionGoesAfterTheMasterPagesBlock) {
  const struct {
    const char* Text;
    const char* Insertion;
    const char* Result;
  } kCases[] = {
      {"NewPage=M\r\nMasterPage=1\r\nPageColor=5\r\nNewPage=B\r\n", "X\r\n",
       "NewPage=M\r\nMasterPage=1\r\nPageColor=5\r\nX\r\nNewPage=B\r\n"},
      // The marker on the master page's own page line; the next page line
      // counts however it is written.
      {"NewPage=MasterPage\r\nPageStyle=0\r\nPgExitAction=Beep\n  newpage=Intro\n", "X",
       "NewPage=MasterPage\r\nPageStyle=0\r\nPgExitAction=Beep\nX\r\n  newpage=Intro\n"},
      {"NewPage=First\r\nMasterPage\r\nXNewPage=no\r\nNewPage=Next", "X\r\n",
       "NewPage=First\r\nMasterPage\r\nXNewPage=no\r\nX\r\nNewPage=Next"},
      // No page after the master page: at the end, on a line of its own.
      {"A\r\nMasterPage\r\nB", "X", "A\r\nMasterPage\r\nB\r\nX\r\n"},
      {"MasterPage", "X\r\n", "MasterPage\r\nX\r\n"},
      {"MasterPage1\nB\n", "X\r\n", "MasterPage1\nB\nX\r\n"},
  };
  for (const auto& C : kCases)
    EXPECT_EQ(InsertAfterMasterPage(C.Text, C.Insertion), C.Result) << C.Text;
}

TEST(PublicationText, WriteAndReadFiles) {
  test::TTempDir Dir;
  const std::string P = Dir.File("p.pub");
  WritePublicationText(P, "caf\xC3\xA9\r\n");
  EXPECT_EQ(ReadWholeFile(P), "caf\xE9\r\n");
  TPubEncoding E;
  EXPECT_EQ(ReadPublicationText(P, &E), "caf\xC3\xA9\r\n");
  WritePublicationText(P, "");
  EXPECT_EQ(FileSize(P), 0);
  EXPECT_THROW(ReadPublicationText(Dir.File("none.pub")), TKvError);
}

TEST(SheetList, AllOrNamesSeparatedByBarsAndLineBreaks) {
  EXPECT_TRUE(ParseSheetList("  all ").empty());
  EXPECT_TRUE(ParseSheetList("   ").empty());
  EXPECT_EQ(ParseSheetList("Sheet2| sheet1 ||\r\nData\n"),
            (std::vector<std::string>{"Sheet2", "sheet1", "Data"}));
  EXPECT_TRUE(IsSheetSelected("Anything", " ALL "));
  EXPECT_TRUE(IsSheetSelected("SHEET1", "Sheet2|sheet1"));
  EXPECT_FALSE(IsSheetSelected("Sheet3", "Sheet2|sheet1"));
  EXPECT_FALSE(IsSheetSelected("Sheet2", "2"));
  EXPECT_TRUE(IsSheetSelected("2", "2"));
  // Items are trimmed: a name with blanks at its ends is found trimmed, unless
  // another name equals the item as it stands.
  const std::vector<std::string> Names = {" Padded ", "Plain", "Both", " both"};
  EXPECT_EQ(SelectSheets(Names, "padded|plain"), (std::vector<int>{0, 1}));
  EXPECT_EQ(SelectSheets(Names, "Both"), (std::vector<int>{2}));
  EXPECT_EQ(SelectSheets(Names, " ALL "), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(SelectSheets(Names, "Pad").empty());
}

TEST(PageNames, CleanedToLettersDigitsAndUnderscores) {
  EXPECT_EQ(MakePageName("Sales 2024"), "Sales_2024");
  EXPECT_EQ(MakePageName("a/b"), "a_b");
  EXPECT_EQ(MakePageName("\xC3\x9C"
                         "bersicht"),
            "_bersicht");  // one unit, one "_"
  EXPECT_EQ(MakePageName(""), "Sheet");
  EXPECT_EQ(MakeUniquePageName("NewPage=Sheet\r\nNewPage=Sheet_2\r\n", "Sheet"), "Sheet_3");
  EXPECT_EQ(MakeUniquePageName("NewPage=Other\r\n", "Sheet"), "Sheet");
}

TEST(GridPage, TwentyThreeLinesWithTheActionCalls) {
  std::string B;
  AppendGridPage(B, "Sales_2024", 3, 6, 1000, "[PubDir]Book.xlsx", "Sales 2024");
  EXPECT_EQ(B,
            "NewPage=Sales_2024\r\nPageStyle=0\r\nPageColor=16777215\r\nPageGradient1=0\r\n"
            "PageGradient2=0\r\nPageGradientDir=1\r\nWallpaperStyle=0\r\nEffectSpeed=5\r\n"
            "PgEnterAction=kvGridfoldOpen \"ExcelGrid_3\" \"[PubDir]Book.xlsx\" \"Sales 2024\" "
            "\"Page\" \"Yes\"\r\nPgExitAction=kvGridfoldClose \"ExcelGrid_3\"\r\nObjectType=5\r\n"
            "Name=ExcelGrid_3\r\nX=4\r\nY=4\r\nW=1\r\nH=992\r\nAnchor=0\r\nLineColor=0\r\n"
            "LineWidth=0\r\nLineStyle=0\r\nFillColor=16777215\r\nFillPattern=0\r\nTabOrder=1\r\n");
}

TEST(GridPage, ScreenSizesAtTheIntegerLimitsStayInRange) {
  std::string B;
  AppendGridPage(B, "P", 1, INT32_MIN, INT32_MIN + 7, "b.xlsx", "S");
  EXPECT_NE(B.find("\r\nW=1\r\nH=1\r\n"), std::string::npos);
  B.clear();
  AppendGridPage(B, "P", 1, INT32_MAX, 9, "b.xlsx", "S");
  EXPECT_NE(B.find("\r\nW=2147483639\r\nH=1\r\n"), std::string::npos);
}

TEST(WorkbookReference, SameFolderUsesPubDir) {
  test::TTempDir Dir;
  EXPECT_EQ(MakeWorkbookReference(Dir.File("Book.xlsx"), Dir.File("p.pub")), "[PubDir]Book.xlsx");
  // Another folder: the full path (on Windows "/elsewhere" lies on the current drive).
  EXPECT_EQ(MakeWorkbookReference("/elsewhere/Book.xlsx", Dir.File("p.pub")),
            FullPath("/elsewhere/Book.xlsx"));
  EXPECT_EQ(MakeWorkbookReference("C:\\Data\\B.xlsx", "c:\\data\\p.pub"), "[PubDir]B.xlsx");
  EXPECT_EQ(MakeWorkbookReference("C:\\Data\\B.xlsx", "C:\\Pubs\\p.pub"), "C:\\Data\\B.xlsx");
}

namespace {

std::string VerifyError(const std::string& Text, int First, int Imported, int Existing) {
  try {
    VerifyImportedPublication(Text, First, Imported, Existing);
  } catch (const TKvError& E) {
    return E.what();
  }
  return "";
}

std::string GoodText() {
  std::string B;
  AppendGridPage(B, "A", 1, 800, 600, "b.xlsx", "A");
  AppendGridPage(B, "B", 2, 800, 600, "b.xlsx", "B");
  return InsertAfterMasterPage("NewPage=M\r\nMasterPage=1\r\n", B);
}

}  // namespace

TEST(Verification, RulesInTheirOrder) {
  const std::string Good = GoodText();
  EXPECT_EQ(VerifyError(Good, 1, 2, 1), "");
  EXPECT_EQ(VerifyError(Good, 1, 2, 2),
            "kvGridfold verification failed: expected at least 4 pages, found 3.");
  EXPECT_EQ(VerifyError(ReplaceAll(Good, "MasterPage", "Master"), 1, 2, 1),
            "kvGridfold verification failed: MasterPage marker disappeared.");
  EXPECT_EQ(VerifyError(Good, 1, 3, 0),
            "kvGridfold verification failed: missing Rectangle ExcelGrid_3");
  EXPECT_EQ(VerifyError(ReplaceAll(Good, "Open \"ExcelGrid_2\"", "Open \"X\""), 1, 2, 1),
            "kvGridfold verification failed: missing PgEnterAction for ExcelGrid_2");
  EXPECT_EQ(VerifyError(ReplaceAll(Good, "Close \"ExcelGrid_1\"", "Close \"X\""), 1, 2, 1),
            "kvGridfold verification failed: missing PgExitAction for ExcelGrid_1");
  EXPECT_EQ(
      VerifyError(ReplaceAll(Good, "\"B\" \"Page\" \"Yes\"", "\"B\" \"Top\" \"Yes\""), 1, 2, 1),
      "kvGridfold verification failed: page for ExcelGrid_2 does not request the action "
      "toolbar (ShowActionToolbar=\"Yes\").");
  EXPECT_EQ(VerifyError(Good + "PgEnterAction=\r\n", 1, 2, 1),
            "kvGridfold verification failed: blank PgEnterAction record found.");
  EXPECT_EQ(VerifyError("NewPage=Old\r\nPgExitAction=\r\n" + Good, 1, 2, 2),
            "kvGridfold verification failed: blank PgExitAction record found.");
}

}  // namespace kv
