// Files another program holds open without sharing, and files marked
// read-only, as Windows (here Wine) treats them: the save, the exports, the
// import and the log each fail or skip cleanly, the held file stays as it
// was, no temporary file is left, and an action's failure is in "[LastError]".
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <optional>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "base/WideText.h"
#include "export/XlsxExporter.h"
#include "import/GridfoldImporter.h"
#include "plugin/ActionTable.h"
#include "plugin/HostVariables.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "support/PublicationHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "support/ViewerActions.h"
#include "unit/viewer/FakeWindows.h"
#include "workbook/Workbook.h"

namespace kv {

namespace {

// Another program's handle on a file, sharing nothing.
class THeld {
 public:
  explicit THeld(const std::string& Path)
      : FHandle(CreateFileW(WideOf(Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~THeld() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
  }
  THeld(const THeld&) = delete;
  THeld& operator=(const THeld&) = delete;
  bool IsHeld() const { return FHandle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE FHandle;
};

void MakeReadOnly(const std::string& Path, bool On) {
  SetFileAttributesW(WideOf(Path).c_str(), On ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

const char* const kPub = "NewPage=Master\r\nMasterPage\r\nNewPage=Intro\r\n";
const char* const kOld = "what the user had";

std::string Book() {
  return test::MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}, {"Two", ""}})
      .Bytes();
}

class HeldFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteWholeFile(FDir.File("book.xlsx"), Book());
    WriteWholeFile(FDir.File("Course.pub"), kPub);
  }
  void TearDown() override {
    for (const std::string& N : FDir.List()) MakeReadOnly(FDir.File(N), false);
  }

  // The plug-in's Open, then one more action; "[LastError]" when it fails.
  // Hold names a file another program takes hold of between the two.
  std::string RunAction(int Id, std::vector<std::string> Params, const std::string& Hold = "") {
    test::TViewerActions Plugin;
    EXPECT_EQ(Plugin.Run(aidOpen, {"Grid", FDir.File("book.xlsx"), "", "Top", "No"}), 1)
        << Plugin.LastError();
    std::optional<THeld> Held;
    if (!Hold.empty()) {
      Held.emplace(Hold);
      EXPECT_TRUE(Held->IsHeld());
    }
    const int R = Plugin.Run(Id, Params);
    Held.reset();
    EXPECT_EQ(R == 1, Plugin.LastError().empty());
    return Plugin.LastError();
  }

  std::string Import() {
    try {
      ImportWorkbookToFolivantPages(FDir.File("book.xlsx"), "ALL", FDir.File("Course.pub"));
    } catch (const TKvError& E) {
      return E.what();
    }
    return "";
  }

  test::TTempDir FDir;
};

}  // namespace

TEST_F(HeldFiles, SaveOverAHeldWorkbookFailsAndKeepsIt) {
  const std::string Path = FDir.File("book.xlsx"), Before = ReadWholeFile(Path);
  TXlsxWorkbook B;
  B.LoadFromFile(Path);
  B.SetCellValue(0, 0, 0, "changed");
  std::string Error;
  {
    THeld Held(Path);
    ASSERT_TRUE(Held.IsHeld());
    try {
      B.SaveToFile(Path);
    } catch (const TKvError& E) {
      Error = E.what();
    }
  }
  EXPECT_NE(Error.find("book.xlsx"), std::string::npos) << Error;
  EXPECT_EQ(ReadWholeFile(Path), Before);
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Course.pub", "book.xlsx"}));
  // The same through the plug-in's Save action.
  Error = RunAction(aidSave, {"Grid", ""}, Path);
  EXPECT_NE(Error.find("book.xlsx"), std::string::npos) << Error;
  EXPECT_EQ(ReadWholeFile(Path), Before);
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Course.pub", "book.xlsx"}));
}

TEST_F(HeldFiles, ExportOverAHeldFileFailsAndKeepsIt) {
  const std::string Target = FDir.File("out.bin");
  WriteWholeFile(Target, kOld);
  for (const char* Format : {"CSV", "Text", "HTML", "XMLSpreadsheet", "Word", "PDF"}) {
    THeld Held(Target);
    ASSERT_TRUE(Held.IsHeld());
    const std::string Error = RunAction(aidExport, {"Grid", Target, Format, "CurrentSheet"});
    EXPECT_NE(Error.find("out.bin"), std::string::npos) << Format << ": " << Error;
  }
  EXPECT_EQ(ReadWholeFile(Target), kOld);
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Course.pub", "book.xlsx", "out.bin"}));
}

TEST_F(HeldFiles, ImportIntoAHeldPublicationFailsAndKeepsIt) {
  const std::string Pub = FDir.File("Course.pub");
  {
    THeld Held(Pub);
    ASSERT_TRUE(Held.IsHeld());
    const std::string Error = Import();
    EXPECT_NE(Error.find("Course.pub"), std::string::npos) << Error;
  }
  EXPECT_EQ(ReadWholeFile(Pub), kPub);
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Course.pub", "book.xlsx"}));
}

TEST_F(HeldFiles, HeldReportKeepsTheOlderOneAndTheImportSucceeds) {
  const std::string Report = FDir.File("Course.pub.kvdiag.txt");
  WriteWholeFile(Report, kOld);
  {
    THeld Held(Report);
    ASSERT_TRUE(Held.IsHeld());
    EXPECT_EQ(Import(), "");
  }
  EXPECT_EQ(ReadWholeFile(Report), kOld);
  EXPECT_EQ(CountPublicationPages(ReadWholeFile(FDir.File("Course.pub"))), 4);
  EXPECT_EQ(FDir.List(),
            (std::vector<std::string>{"Course.pub", "Course.pub.kvdiag.txt", "book.xlsx"}));
}

TEST_F(HeldFiles, HeldOpenPublicationStopsTheCurrentModeWithoutACopy) {
  test::TPublicationHost Pub(FDir.Path());
  auto& [Host, Messages, State] = Pub;
  THeld Held(FDir.File("Course.pub"));
  ASSERT_TRUE(Held.IsHeld());
  EXPECT_EQ(
      ExecuteAction(State, aidImport, {FDir.File("book.xlsx"), "ALL", "__KVGRIDFOLD_CURRENT__"}),
      0);
  EXPECT_NE(Host.Var("[LastError]").find("Course.pub"), std::string::npos)
      << Host.Var("[LastError]");
  EXPECT_EQ(Host.Var("[kvGridfoldImportedPub]"), "");
  EXPECT_EQ(FDir.List(),
            (std::vector<std::string>{"Course.pub", "book.xlsx", "kvGridfold_import.log"}));
}

TEST_F(HeldFiles, HeldLogIsSkippedAndKeptWhileTheImportRuns) {
  const std::string Log = FDir.File(kImportLogName);
  WriteWholeFile(Log, "2026-01-02 03:04:05  IMPORT START\r\n");
  const std::string Before = ReadWholeFile(Log);
  test::TPublicationHost Pub(FDir.Path());
  auto& [Host, Messages, State] = Pub;
  {
    THeld Held(Log);
    ASSERT_TRUE(Held.IsHeld());
    EXPECT_EQ(
        ExecuteAction(State, aidImport, {FDir.File("book.xlsx"), "ALL", "__KVGRIDFOLD_CURRENT__"}),
        1)
        << Host.Var("[LastError]");
  }
  EXPECT_EQ(ReadWholeFile(Log), Before);
  EXPECT_EQ(ReadWholeFile(FDir.File("Course.pub")), kPub);
}

// A file marked read-only is never replaced: Windows refuses the move, and
// the files port refuses it itself where Wine would not. Saves, exports and
// the import fail naming the file, the report stays old, and no temporary
// file is left.
TEST_F(HeldFiles, ReadOnlyFilesAreRefused) {
  const std::string Book = FDir.File("book.xlsx"), Pub = FDir.File("Course.pub");
  const std::string Out = FDir.File("out.pdf"), Report = Pub + ".kvdiag.txt";
  const std::string BookBefore = ReadWholeFile(Book);
  WriteWholeFile(Out, kOld);
  WriteWholeFile(Report, kOld);
  for (const std::string& F : {Book, Out, Report, Pub}) MakeReadOnly(F, true);

  const std::string SaveError = RunAction(aidSave, {"Grid", ""});
  const std::string ExportError = RunAction(aidExport, {"Grid", Out, "PDF", "AllSheets"});
  const std::string ImportError = Import();
  for (const std::string& F : {Book, Out, Report, Pub}) MakeReadOnly(F, false);

  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Course.pub", "Course.pub.kvdiag.txt",
                                                   "book.xlsx", "out.pdf"}));
  EXPECT_NE(SaveError.find("book.xlsx"), std::string::npos) << SaveError;
  EXPECT_NE(ExportError.find("out.pdf"), std::string::npos) << ExportError;
  EXPECT_EQ(ImportError.rfind("Unable to replace target publication: ", 0), 0u) << ImportError;
  EXPECT_EQ(ReadWholeFile(Book), BookBefore);
  EXPECT_EQ(ReadWholeFile(Out), kOld);
  EXPECT_EQ(ReadWholeFile(Pub), kPub);
  EXPECT_EQ(ReadWholeFile(Report), kOld);
}

}  // namespace kv
