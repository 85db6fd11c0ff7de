// Every writer of the project, failing at each of its steps in turn: see
// FaultHarness.h for the rules checked after every run. Grouped by writer;
// the plug-in's actions are run as the host runs them, so each failure is
// also checked to arrive in "[LastError]".
#include <gtest/gtest.h>

#include <cstdio>

#include "FaultHarness.h"
#include "base/Error.h"
#include "export/XlsxExporter.h"
#include "import/GridfoldImporter.h"
#include "plugin/ActionTable.h"
#include "plugin/HostVariables.h"
#include "plugin/ImportDriver.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "support/PublicationHost.h"
#include "support/Package.h"
#include "support/ViewerActions.h"
#include "unit/viewer/FakeWindows.h"
#include "workbook/Workbook.h"

namespace kv {

namespace {

using test::TOutcome;
using test::TTempDir;
using test::TWriterCase;

class TTotalsPrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    const test::TFaultTotals& T = test::FaultTotals();
    std::printf("kvGridfold file faults: %d injected, %d survived\n", T.Injected, T.Survived);
    std::printf("kvGridfold damaged packages: %d loaded, %d refused clearly or read correctly\n",
                T.Damaged, T.Answered);
  }
};
const auto* const kPrinter = ::testing::AddGlobalTestEnvironment(new TTotalsPrinter);

std::string Fixture(const std::string& Name) {
  return ReadWholeFile(std::string(KV_FIXTURES_DIR) + "/xlsx/" + Name);
}

template <typename Fn>
TOutcome Catching(Fn&& Body) {
  try {
    Body();
    return {true, ""};
  } catch (const std::exception& E) {
    return {false, E.what()};
  }
}

const char* const kPub = "NewPage=Master\r\nMasterPage\r\nNewPage=Intro\r\nScreenWidth=640\r\n";
const char* const kOldLog = "2026-01-02 03:04:05  IMPORT START\r\n";

std::string ThreeSheets() {
  return test::MakeBook({{"One",
                          "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\">"
                          "<is><t>a,b</t></is></c></row>"},
                         {"Two", "<row r=\"2\"><c r=\"C2\"><v>2.5</v></c></row>"},
                         {"Three", ""}})
      .Bytes();
}

void RunEvery(const TWriterCase& Case, int AtLeast) {
  test::TFaultRunner Runner(Case);
  const int Injected = Runner.RunAll();
  if (::testing::Test::HasFatalFailure()) return;
  EXPECT_GE(Runner.Steps(TFaultPoint::Create), 1) << Case.Name;
  EXPECT_GE(Runner.Steps(TFaultPoint::Write), 1) << Case.Name;
  EXPECT_GE(Injected, AtLeast) << Case.Name;
  ::testing::Test::RecordProperty(Case.Name, Injected);
}

}  // namespace

// ---- Saving a workbook ----------------------------------------------------------

TEST(WriterFaults, WorkbookSavedOverItselfOrBesideIt) {
  for (const char* Producer : {"edit-libreoffice.xlsx", "edit-openpyxl.xlsx"}) {
    TWriterCase Over{
        std::string("save over ") + Producer,
        [Producer](const TTempDir& D) { WriteWholeFile(D.File("book.xlsx"), Fixture(Producer)); },
        [](const TTempDir& D) {
          return Catching([&] {
            TXlsxWorkbook B;
            B.LoadFromFile(D.File("book.xlsx"));
            B.SetCellValue(0, 0, 0, "changed");
            B.SetCellValue(0, 40, 3, "12.5");
            B.SaveToFile(D.File("book.xlsx"));
          });
        },
        {"book.xlsx"},
        false,
        {},
        {},
        {"book.xlsx"}};
    RunEvery(Over, 8);
  }
  TWriterCase Beside{"save as a new file",
                     [](const TTempDir& D) {
                       WriteWholeFile(D.File("book.xlsx"), Fixture("edit-xlsxwriter.xlsx"));
                     },
                     [](const TTempDir& D) {
                       return Catching([&] {
                         TXlsxWorkbook B;
                         B.LoadFromFile(D.File("book.xlsx"));
                         B.SetCellValue(1, 2, 2, "x");
                         B.SaveToFile(D.File("copy.xlsx"));
                       });
                     },
                     {"copy.xlsx"},
                     false,
                     {},
                     {},
                     {"copy.xlsx"}};
  RunEvery(Beside, 8);
}

// ---- The six exports --------------------------------------------------------------

TEST(WriterFaults, EveryExportFormatOverAnExistingFile) {
  const std::pair<const char*, const char*> kFormats[] = {{"CSV", "out.csv"},   {"Text", "out.txt"},
                                                          {"HTML", "out.html"}, {"XML", "out.xml"},
                                                          {"Word", "out.docx"}, {"PDF", "out.pdf"}};
  for (const auto& [Format, File] : kFormats)
    for (const char* Scope : {"CurrentSheet", "AllSheets"}) {
      const bool PerSheetFiles = Scope == std::string("AllSheets") &&
                                 (Format == std::string("CSV") || Format == std::string("Text"));
      if (PerSheetFiles) continue;  // below
      const std::string Target = File;
      TWriterCase Case{
          std::string(Format) + " " + Scope,
          [Target](const TTempDir& D) {
            WriteWholeFile(D.File("book.xlsx"), ThreeSheets());
            WriteWholeFile(D.File(Target), "an export the user keeps\r\n");
          },
          [Target, Format = std::string(Format), Scope = std::string(Scope)](const TTempDir& D) {
            return Catching([&] {
              TXlsxWorkbook B;
              B.LoadFromFile(D.File("book.xlsx"));
              ExportWorkbookToFile(&B, 1, Format, D.File(Target), Scope);
            });
          },
          {Target},
          false,
          {},
          {},
          {Target}};
      RunEvery(Case, 4);
    }
}

TEST(WriterFaults, DelimitedExportOfAllSheetsWritesOneWholeFilePerSheet) {
  for (const char* Format : {"CSV", "Text"}) {
    const std::string Ext = Format == std::string("CSV") ? ".csv" : ".txt";
    TWriterCase Case{std::string(Format) + " all sheets",
                     [Ext](const TTempDir& D) {
                       WriteWholeFile(D.File("book.xlsx"), ThreeSheets());
                       WriteWholeFile(D.File("out_Two" + Ext), "last month's\r\n");
                     },
                     [Ext, Format = std::string(Format)](const TTempDir& D) {
                       return Catching([&] {
                         TXlsxWorkbook B;
                         B.LoadFromFile(D.File("book.xlsx"));
                         ExportWorkbookToFile(&B, 0, Format, D.File("out" + Ext), "All");
                       });
                     },
                     {"out_One" + Ext, "out_Two" + Ext, "out_Three" + Ext},
                     true,
                     {},
                     {},
                     {"out_"}};
    RunEvery(Case, 12);
  }
}

// ---- Copies ---------------------------------------------------------------------

TEST(WriterFaults, CopyOfALargeFileIsWholeOrAbsent) {
  TWriterCase Case{"copy",
                   [](const TTempDir& D) {
                     std::string Big(150000, '\0');
                     for (size_t I = 0; I < Big.size(); ++I) Big[I] = static_cast<char>(I * 31);
                     WriteWholeFile(D.File("a.pub"), Big);
                   },
                   [](const TTempDir& D) {
                     return Catching([&] { CopyFileShared(D.File("a.pub"), D.File("b.pub")); });
                   },
                   {"b.pub"},
                   false,
                   {},
                   {},
                   {"b.pub"}};
  RunEvery(Case, 8);
}

// ---- Importing into a publication ----------------------------------------------------

TEST(WriterFaults, ImportIntoAPublicationFileWithItsReport) {
  TWriterCase Case{"import into file",
                   [](const TTempDir& D) {
                     WriteWholeFile(D.File("Book.xlsx"), ThreeSheets());
                     WriteWholeFile(D.File("Course.pub"), kPub);
                     WriteWholeFile(D.File("Course.pub.kvdiag.txt"), "an older report\r\n");
                   },
                   [](const TTempDir& D) {
                     return Catching([&] {
                       ImportWorkbookToFolivantPages(D.File("Book.xlsx"), "ALL",
                                                     D.File("Course.pub"));
                     });
                   },
                   {"Course.pub"},
                   false,
                   {"Course.pub.kvdiag.txt"},
                   {},
                   {"Course.pub", "target publication"}};
  RunEvery(Case, 8);
}

TEST(WriterFaults, ImportActionInCurrentModeCopiesLogsAndReports) {
  TWriterCase Case{"import action",
                   [](const TTempDir& D) {
                     WriteWholeFile(D.File("Book.xlsx"), ThreeSheets());
                     WriteWholeFile(D.File("Course.pub"), kPub);
                     WriteWholeFile(D.File("kvGridfold_import.log"), kOldLog);
                   },
                   [](const TTempDir& D) {
                     test::TPublicationHost Pub(D.Path());
                     auto& [Host, Messages, State] = Pub;
                     State.ModulePath = "kvGridfold.dll";
                     TOutcome Out{
                         ExecuteAction(State, aidImport,
                                       {D.File("Book.xlsx"), "ALL", "__KVGRIDFOLD_CURRENT__"}) == 1,
                         Host.Var("[LastError]")};
                     EXPECT_EQ(Out.Ok, !Host.Var("[kvGridfoldImportedPub]").empty());
                     EXPECT_EQ(Messages.FShown.size(), 1u);
                     if (!Out.Ok && !Messages.FShown.empty()) {
                       EXPECT_EQ(Messages.FShown[0].Icon, TMessageIcon::Error);
                       EXPECT_EQ(Messages.FShown[0].Text.rfind(Out.Message, 0), 0u);
                     }
                     return Out;
                   },
                   {"Course.kvGridfold.pub"},
                   false,
                   {"Course.kvGridfold.pub.kvdiag.txt"},
                   {"kvGridfold_import.log"},
                   {"Course.kvGridfold.pub", "target publication"}};
  RunEvery(Case, 12);
}

// ---- The log ----------------------------------------------------------------------

TEST(WriterFaults, LogEntryThatCannotBeWrittenLeavesTheLogAsItWas) {
  for (bool Exists : {true, false}) {
    TTempDir Dir;
    const std::string Log = Dir.File("kvGridfold_import.log");
    if (Exists) WriteWholeFile(Log, kOldLog);
    test::TFakeHost Host;
    Host.FVars["[PubDir]"] = Dir.Path();
    const TFaultPoint Points[] = {TFaultPoint::Create, TFaultPoint::Write};
    std::vector<TFileFaults> Faults;
    for (TFaultPoint P : Points) {
      TFileFaults F;
      F.FPoint = P;
      F.FFailAt = 1;
      Faults.push_back(F);
    }
    for (int64_t K : {0, 5, 30, 40}) {
      TFileFaults F;
      F.FByteLimit = Exists ? K + 35 : K;
      Faults.push_back(F);
    }
    for (TFileFaults& F : Faults) {
      {
        test::TFaultScope Scope(F);
        EXPECT_NO_THROW(WriteImportLog(&Host, "IMPORT START with a longer message"));
      }
      ASSERT_EQ(F.FInjected, 1) << F.FByteLimit;
      ++test::FaultTotals().Injected;
      const int Before = ::testing::UnitTest::GetInstance()->failed_test_count();
      if (Exists)
        EXPECT_EQ(ReadWholeFile(Log), kOldLog) << F.FByteLimit;
      else
        EXPECT_FALSE(FileExists(Log)) << F.FByteLimit;
      EXPECT_EQ(Dir.List().size(), Exists ? 1u : 0u);
      if (::testing::UnitTest::GetInstance()->failed_test_count() == Before &&
          !::testing::Test::HasFailure())
        ++test::FaultTotals().Survived;
    }
    WriteImportLog(&Host, "after");
    EXPECT_TRUE(test::WholeLogEntries(ReadWholeFile(Log)));
  }
}

// ---- The plug-in's Save and Export actions -------------------------------------------

class ActionFaults : public ::testing::Test {
 protected:
  // Opens a viewer on the book in D and runs one action, as the host would.
  static TOutcome RunAction(const TTempDir& D, int Id, std::vector<std::string> Params) {
    test::TViewerActions Plugin;
    EXPECT_EQ(Plugin.Run(aidOpen, {"Grid", D.File("book.xlsx"), "", "Top", "No"}), 1)
        << Plugin.LastError();
    const bool Ok = Plugin.Run(Id, Params) == 1;
    EXPECT_EQ(Ok, Plugin.LastError().empty()) << Plugin.LastError();
    return {Ok, Plugin.LastError()};
  }
};

TEST_F(ActionFaults, SaveActionReportsEveryFailureInLastError) {
  TWriterCase Case{"save action",
                   [](const TTempDir& D) {
                     WriteWholeFile(D.File("book.xlsx"), Fixture("edit-libreoffice.xlsx"));
                   },
                   [](const TTempDir& D) {
                     return RunAction(D, aidSave, {"Grid", ""});
                   },
                   {"book.xlsx"},
                   false,
                   {},
                   {},
                   {"book.xlsx"}};
  RunEvery(Case, 8);
}

TEST_F(ActionFaults, ExportActionReportsEveryFailureInLastError) {
  for (const char* Format : {"PDF", "Word", "CSV"}) {
    const std::string Target = std::string("out.") + Format;
    const bool PerSheet = Format == std::string("CSV");
    TWriterCase Case{
        std::string("export action ") + Format,
        [Target](const TTempDir& D) {
          WriteWholeFile(D.File("book.xlsx"), ThreeSheets());
          WriteWholeFile(D.File(Target), "kept");
          WriteWholeFile(D.File("out_One.CSV"), "kept");
        },
        [Target, Format = std::string(Format)](const TTempDir& D) {
          return RunAction(D, aidExport, {"Grid", D.File(Target), Format, "AllSheets"});
        },
        PerSheet ? std::vector<std::string>{"out_One.CSV", "out_Two.CSV", "out_Three.CSV"}
                 : std::vector<std::string>{Target},
        PerSheet,
        {},
        {},
        {"out"}};
    RunEvery(Case, 4);
  }
}

}  // namespace kv
