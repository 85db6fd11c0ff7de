// The sheet parameter of the enter action must make the Open action show the
// sheet the page was made for: it trims the text, takes a positive number as a
// position and otherwise looks the name up. Names it would miss go in as the
// sheet's number, with a report line each.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "import/GridfoldImporter.h"
#include "support/Package.h"
#include "support/TempDir.h"

namespace kv {

namespace {

const char* const kPub = "NewPage=M\r\nMasterPage\r\nNewPage=Intro\r\n";

std::string SheetParamOf(const std::string& Text, int Grid) {
  const std::string Head =
      "kvGridfoldOpen \"ExcelGrid_" + std::to_string(Grid) + "\" \"[PubDir]Book.xlsx\" \"";
  size_t At = Text.find(Head);
  if (At == std::string::npos) return "<missing>";
  At += Head.size();
  return Text.substr(At, Text.find('"', At) - At);
}

}  // namespace

TEST(SheetParameter, NamesTheOpenActionWouldMissBecomeNumbers) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("Book.xlsx"), test::MakeBook({{"Plain name", ""},
                                                        {"2024", ""},
                                                        {" Padded", ""},
                                                        {"&quot;Q&quot;", ""},
                                                        {"-1", ""},
                                                        {"Caf\xC3\xA9", ""},
                                                        {"", ""},
                                                        {"\xCE\xA3", ""}})
                                            .Bytes());
  WriteWholeFile(Dir.File("p.pub"), kPub);
  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "ALL", Dir.File("p.pub"));
  const std::string Text = ReadPublicationText(Dir.File("p.pub"));
  EXPECT_EQ(SheetParamOf(Text, 1), "Plain name");
  EXPECT_EQ(SheetParamOf(Text, 2), "2");
  EXPECT_EQ(SheetParamOf(Text, 3), "3");
  EXPECT_EQ(SheetParamOf(Text, 4), "4");
  EXPECT_EQ(SheetParamOf(Text, 5), "-1");  // not a position: found by its name
  EXPECT_EQ(SheetParamOf(Text, 6), "Caf\xC3\xA9");
  EXPECT_EQ(SheetParamOf(Text, 7), "7");
  EXPECT_EQ(SheetParamOf(Text, 8), "8");
  // Each number says why, so an author who reorders the sheets later knows.
  const std::string Report = ReadWholeFile(Dir.File("p.pub.kvdiag.txt"));
  EXPECT_NE(Report.find("Verification=PASSED\r\n"
                        "SheetByNumber=2 (the sheet's name would be read as a sheet number)\r\n"
                        "SheetByNumber=3 (the sheet's name begins or ends with blanks)\r\n"
                        "SheetByNumber=4 (the sheet's name holds double quotes)\r\n"
                        "SheetByNumber=7 (the sheet's name is empty)\r\n"
                        "SheetByNumber=8 (the sheet's name cannot be written in the ANSI code "
                        "page)\r\n"),
            std::string::npos)
      << Report;
  EXPECT_EQ(Report.find("SheetByNumber=5"), std::string::npos);
}

TEST(SheetParameter, NumbersCountVisibleSheetsOnly) {
  test::TTempDir Dir;
  test::TPackage Book = test::MakeBook({{"A", ""}, {"Hidden", ""}, {"7", ""}});
  std::string Workbook;
  for (const auto& E : Book.FEntries)
    if (E.first == "xl/workbook.xml") Workbook = E.second;
  const std::string Hidden = "name=\"Hidden\"";
  ASSERT_NE(Workbook.find(Hidden), std::string::npos);
  Workbook.replace(Workbook.find(Hidden), Hidden.size(), Hidden + " state=\"hidden\"");
  Book.Set("xl/workbook.xml", Workbook);
  WriteWholeFile(Dir.File("Book.xlsx"), Book.Bytes());
  WriteWholeFile(Dir.File("p.pub"), kPub);
  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "7", Dir.File("p.pub"));
  EXPECT_EQ(SheetParamOf(ReadPublicationText(Dir.File("p.pub")), 1), "2");
}

TEST(GridNumbers, ExhaustedNumbersFailBeforeAnyFileChanges) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("Book.xlsx"), test::MakeBook({{"A", ""}, {"B", ""}}).Bytes());
  const std::string Almost = std::string(kPub) + "ObjectType=5\r\nName=ExcelGrid_2147483646\r\n";
  const std::string Full = std::string(kPub) + "ObjectType=5\r\nName=ExcelGrid_2147483647\r\n";
  for (const auto& [Pub, List] : {std::pair{Almost, "ALL"}, std::pair{Full, "A"}}) {
    WriteWholeFile(Dir.File("p.pub"), Pub);
    try {
      ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), List, Dir.File("p.pub"));
      ADD_FAILURE() << List;
    } catch (const TKvError& E) {
      EXPECT_STREQ(E.what(),
                   "The publication has no grid numbers left for new pages (ExcelGrid_2147483647 "
                   "is taken).");
    }
    EXPECT_EQ(ReadWholeFile(Dir.File("p.pub")), Pub);
    EXPECT_EQ(Dir.List(), (std::vector<std::string>{"Book.xlsx", "p.pub"}));
  }
  // The very last number is still free for one page.
  WriteWholeFile(Dir.File("p.pub"), Almost);
  ImportWorkbookToFolivantPages(Dir.File("Book.xlsx"), "B", Dir.File("p.pub"));
  EXPECT_EQ(SheetParamOf(ReadWholeFile(Dir.File("p.pub")), 2147483647), "B");
}

TEST(WorkbookPath, OutsideTheCodePageFailsInEveryEncoding) {
  test::TTempDir Dir;
  // Joined by hand: the test folder's own path type would read UTF-8 as ANSI on Windows.
  const std::string Book =
      JoinPath(Dir.Path(), "\xCE\x92\xCE\xB9\xCE\xB2\xCE\xBB\xCE\xAF\xCE\xBF.xlsx");
  WriteWholeFile(Book, test::MakeBook({{"A", ""}}).Bytes());
  for (TPubEncoding Enc : {TPubEncoding::Ansi, TPubEncoding::Utf8Bom, TPubEncoding::Utf16LeBom}) {
    WritePublicationText(Dir.File("p.pub"), kPub, Enc);
    const std::string Before = ReadWholeFile(Dir.File("p.pub"));
    try {
      ImportWorkbookToFolivantPages(Book, "ALL", Dir.File("p.pub"));
      ADD_FAILURE();
    } catch (const TKvError& E) {
      EXPECT_EQ(std::string(E.what()),
                "The workbook's path cannot be written in the ANSI code page: [PubDir]" +
                    Book.substr(Book.size() - 17));
    }
    EXPECT_EQ(ReadWholeFile(Dir.File("p.pub")), Before);
  }
}

TEST(WorkbookPath, DoubleQuoteInTheNameIsRefused) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("p.pub"), kPub);
  // Windows forbids the quote in file names; the check needs no such file to exist there.
  const std::string Book = Dir.File("Q\"1\".xlsx");
  try {
    if (!FileExists(Book)) WriteWholeFile(Book, test::MakeBook({{"A", ""}}).Bytes());
  } catch (const TKvError&) {
    GTEST_SKIP() << "the file system refuses a quote in a file name";
  }
  try {
    ImportWorkbookToFolivantPages(Book, "ALL", Dir.File("p.pub"));
    ADD_FAILURE();
  } catch (const TKvError& E) {
    EXPECT_EQ(std::string(E.what()),
              "The workbook's path contains a double quote, which a page action cannot hold; "
              "rename the file or its folder: [PubDir]Q\"1\".xlsx");
  }
  EXPECT_EQ(ReadWholeFile(Dir.File("p.pub")), kPub);
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"Q\"1\".xlsx", "p.pub"}));
}

TEST(WorkbookPath, DotSegmentsAreResolvedBeforeComparingFolders) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("Book.xlsx"), test::MakeBook({{"A", ""}}).Bytes());
  WriteWholeFile(Dir.File("p.pub"), kPub);
  const std::string Sub = Dir.File("sub");
  std::filesystem::create_directory(Sub);
  EXPECT_EQ(MakeWorkbookReference(JoinPath(Dir.Path(), "./Book.xlsx"), Dir.File("p.pub")),
            "[PubDir]Book.xlsx");
  EXPECT_EQ(MakeWorkbookReference(JoinPath(Sub, "../Book.xlsx"), Dir.File("p.pub")),
            "[PubDir]Book.xlsx");
  // The same file named two ways is still the same file.
  try {
    ImportWorkbookToFolivantPages(JoinPath(Sub, "../p.pub"), "ALL", Dir.File("./p.pub"));
    ADD_FAILURE();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "The Excel workbook and Folivant publication must be different files.");
  }
}

}  // namespace kv
