#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace kv {

namespace {

// Four pages: the master page and three more, ANSI with CR LF.
const char* const kFourPages =
    "ScreenWidth=1024\r\nScreenHeight=768\r\nNewPage=Master\r\nMasterPage\r\n"
    "NewPage=Intro\r\nPgEnterAction=Beep \"1\"\r\nNewPage=Middle\r\nNewPage=Sheet1\r\n";

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FBook = FDir.File("Book.xlsx");
    WriteWholeFile(
        FBook,
        test::MakeBook({{"Sheet1", ""}, {"Sales &quot;2024&quot;", ""}, {"Sheet/1", ""}}).Bytes());
    FPub = FDir.File("Course.pub");
    WriteWholeFile(FPub, kFourPages);
  }
  std::string ImportError(const std::string& List) {
    try {
      ImportWorkbookToFolivantPages(FBook, List, FPub);
    } catch (const TKvError& E) {
      return E.what();
    }
    return "";
  }
  test::TTempDir FDir;
  std::string FBook, FPub;
};

}  // namespace

TEST_F(ImportTest, ThreeSheetsIntoFourPages) {
  ImportWorkbookToFolivantPages(FBook, "ALL", FPub);
  const std::string Text = ReadWholeFile(FPub);
  EXPECT_EQ(CountPublicationPages(Text), 7);
  // Inserted right after the master page, in sheet order, names made unique.
  const size_t Master = Text.find("MasterPage\r\n");
  EXPECT_EQ(Text.find("NewPage=Sheet1_2\r\n"), Master + 12);
  EXPECT_NE(Text.find("NewPage=Sales__2024_\r\n"), std::string::npos);
  EXPECT_NE(Text.find("NewPage=Sheet_1\r\n"), std::string::npos);
  // The quotes cannot be written, and without them the name finds no sheet.
  EXPECT_NE(Text.find("PgEnterAction=kvGridfoldOpen \"ExcelGrid_2\" \"[PubDir]Book.xlsx\" "
                      "\"2\" \"Page\" \"Yes\"\r\n"),
            std::string::npos);
  EXPECT_NE(Text.find("W=1016\r\nH=760\r\n"), std::string::npos);
  EXPECT_EQ(Text.substr(Text.size() - 50),
            std::string(kFourPages).substr(std::string(kFourPages).size() - 50));
  EXPECT_EQ(ReadWholeFile(FPub + ".kvdiag.txt"),
            "kvGridfold publication verification\r\nTarget=" + FPub +
                "\r\nExistingPages=4\r\nImportedPages=3\r\nFirstGrid=1\r\nFinalPages=7\r\n"
                "PageActions=3\r\nPageLeaveActions=3\r\nRectangles=3\r\nVerification=PASSED\r\n"
                "SheetByNumber=2 (the sheet's name holds double quotes)\r\n");
  EXPECT_FALSE(FileExists(FPub + ".kvtmp"));
  // A second import numbers on from the first.
  ImportWorkbookToFolivantPages(FBook, "sheet1", FPub);
  EXPECT_NE(ReadWholeFile(FPub).find("Name=ExcelGrid_4\r\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(FPub).find("NewPage=Sheet1_3\r\n"), std::string::npos);
}

TEST_F(ImportTest, EveryFailureLeavesThePublicationAsItWas) {
  const std::string Before = ReadWholeFile(FPub);
  EXPECT_EQ(ImportError("Nope|Other"),
            "None of the requested worksheets were found in the workbook.");
  WriteWholeFile(FPub, "NewPage=Only\r\n");
  EXPECT_EQ(ImportError("ALL"), "The target publication does not contain a MasterPage marker.");
  WriteWholeFile(FPub, Before + "NewPage=Bad\r\nPgExitAction=\r\n");
  EXPECT_EQ(ImportError("ALL"), "kvGridfold verification failed: blank PgExitAction record found.");
  EXPECT_EQ(ReadWholeFile(FPub), Before + "NewPage=Bad\r\nPgExitAction=\r\n");
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Book.xlsx", "Course.pub"}));
  // A selected sheet that cannot be read refuses the import; an unselected one does not.
  WriteWholeFile(FPub, Before);
  WriteWholeFile(FBook, test::MakeBook({{"Good", ""}, {"Bad", "<row><c><v>1"}}).Bytes());
  EXPECT_NE(ImportError("ALL").find("sheet2.xml"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(FPub), Before);
  EXPECT_EQ(ImportError("Good"), "");
  try {
    ImportWorkbookToFolivantPages(FPub, "ALL", FPub);
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "The Excel workbook and Folivant publication must be different files.");
  }
  try {
    ImportWorkbookToFolivantPages(FDir.File("none.xlsx"), "ALL", FPub);
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_EQ(std::string(E.what()), "Excel file not found: " + FDir.File("none.xlsx"));
  }
  try {
    ImportWorkbookToFolivantPages(FBook, "ALL", FDir.File("none.pub"));
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_EQ(std::string(E.what()),
              "Target Folivant publication not found: " + FDir.File("none.pub"));
  }
}

TEST_F(ImportTest, UnicodePublicationsKeepTheirEncoding) {
  const std::string Greek = "NewPage=M\r\nMasterPage\r\nNewPage=\xCE\xA9mega\r\n";
  for (TPubEncoding E : {TPubEncoding::Utf8Bom, TPubEncoding::Utf16LeBom}) {
    WriteWholeFile(FPub, EncodePublicationText(Greek, E));
    ImportWorkbookToFolivantPages(FBook, "Sheet1", FPub);
    TPubEncoding Back = TPubEncoding::Ansi;
    std::string Text = ReadPublicationText(FPub, &Back);
    EXPECT_EQ(Back, E);
    EXPECT_NE(Text.find("NewPage=\xCE\xA9mega\r\n"), std::string::npos);
    EXPECT_NE(Text.find("ExcelGrid_1"), std::string::npos);
  }
}

TEST_F(ImportTest, SheetNameOutsideTheCodePageIsWrittenAsItsNumber) {
  WriteWholeFile(FBook, test::MakeBook({{"First", ""},
                                        {"\xCE\xA3\xCF\x8D\xCE\xBD\xCE\xBF\xCF\x88\xCE\xB7", ""}})
                            .Bytes());
  ImportWorkbookToFolivantPages(FBook, "ALL", FPub);
  const std::string Text = ReadWholeFile(FPub);
  EXPECT_NE(Text.find("\"ExcelGrid_2\" \"[PubDir]Book.xlsx\" \"2\" \"Page\" \"Yes\""),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(FPub + ".kvdiag.txt").find("Verification=PASSED\r\nSheetByNumber=2 "),
            std::string::npos);
}

TEST_F(ImportTest, ReadOnlyFilesAreNotReplaced) {
  if (test::RerunUnprivileged()) return;
  const auto ReadOnly = [](const std::string& P, bool On) {
    std::filesystem::permissions(
        P, std::filesystem::perms::owner_write,
        On ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add);
  };
  // A read-only publication stays as it was, with the system's reason.
  const std::string Before = ReadWholeFile(FPub);
  ReadOnly(FPub, true);
  EXPECT_EQ(ImportError("ALL"),
            "Unable to replace target publication: " + test::AccessDeniedText());
  EXPECT_EQ(ReadWholeFile(FPub), Before);
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Book.xlsx", "Course.pub"}));
  ReadOnly(FPub, false);
  // A read-only report: the import succeeds and the old report stays.
  WriteWholeFile(FPub + ".kvdiag.txt", "an older report\r\n");
  ReadOnly(FPub + ".kvdiag.txt", true);
  EXPECT_EQ(ImportError("ALL"), "");
  EXPECT_EQ(CountPublicationPages(ReadWholeFile(FPub)), 7);
  EXPECT_EQ(ReadWholeFile(FPub + ".kvdiag.txt"), "an older report\r\n");
  EXPECT_EQ(FDir.List(),
            (std::vector<std::string>{"Book.xlsx", "Course.pub", "Course.pub.kvdiag.txt"}));
  ReadOnly(FPub + ".kvdiag.txt", false);
}

TEST_F(ImportTest, ReportThatCannotBeWrittenDoesNotFailTheImport) {
  // A folder where the report should go: the report cannot be written.
  std::filesystem::create_directory(FPub + ".kvdiag.txt");
  EXPECT_EQ(ImportError("ALL"), "");
  EXPECT_EQ(CountPublicationPages(ReadWholeFile(FPub)), 7);
}

}  // namespace kv
