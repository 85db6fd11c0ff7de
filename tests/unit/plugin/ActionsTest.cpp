// The run-time actions through the dispatcher, with a fake host and a fake
// window system: the registry's key rules, the steps of Open and their
// failure texts, every handler's answer, and the action table the host receives.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "plugin/ActionTable.h"
#include "plugin/Actions.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "unit/viewer/FakeWindows.h"

namespace kv {

namespace {

class ActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FHostWindow = FWindows.Add(1024, 768);
    FHost.FWindow = FHostWindow;
    FRect = FWindows.Add(400, 300, 10, 10);
    FHost.FOnAccess = [this](int Request, std::optional<std::string>& Slot) {
      if (Request == iaProbe) Slot = FProbe ? std::optional<std::string>("1") : std::nullopt;
      if (Request == iaObjectWindow) {
        auto It = FObjects.find(Slot.value_or(""));
        Slot = It == FObjects.end() ? "0" : std::to_string(It->second);
      }
      return true;
    };
    FObjects["Grid"] = FRect;
    FObjects["grid"] = FRect;
    FObjects["Grid "] = FRect;
    FState.Host = &FHost;
    FState.Windows = &FWindows;
    FBook = FDir.File("book.xlsx");
    WriteWholeFile(FBook, test::MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                                          {"Two", "<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"},
                                          {"Three", ""}})
                              .Bytes());
  }

  int Exec(int Id, std::vector<std::string> Params) { return ExecuteAction(FState, Id, Params); }
  int Open(const std::string& Name, const std::string& Placement = "Top",
           const std::string& Toolbar = "No") {
    return Exec(aidOpen, {Name, FBook, "", Placement, Toolbar});
  }
  std::string LastError() { return FHost.Var("[LastError]"); }
  size_t Viewers() const { return FState.Registry ? FState.Registry->Count() : 0; }

  test::TTempDir FDir;
  test::TFakeHost FHost;
  test::TFakeWindowSystem FWindows;
  TPlugInState FState;
  std::map<std::string, TWindowHandle> FObjects;
  TWindowHandle FHostWindow = 0, FRect = 0;
  bool FProbe = true;
  std::string FBook;
};

}  // namespace

TEST_F(ActionsTest, OpenNeedsAHostThatAnswersTheProbe) {
  FProbe = false;
  EXPECT_EQ(Open("Grid"), 0);
  EXPECT_EQ(LastError(), "This function requires Folivant 4.0.9 or higher.");
  EXPECT_EQ(Viewers(), 0u);
  FHost.FHasAccess = false;
  EXPECT_EQ(Open("Grid"), 0);
  EXPECT_EQ(LastError(), "This function requires Folivant 4.0.9 or higher.");
}

TEST_F(ActionsTest, OpenRegistersOneViewerPerCaseInsensitiveName) {
  ASSERT_EQ(Open("Grid"), 1) << LastError();
  EXPECT_EQ(Viewers(), 1u);
  TVantSpreadsheet* First = FindViewer(FState, "GRID");
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(First->RectangleName(), "Grid");
  ASSERT_EQ(Open("grid"), 1);
  EXPECT_EQ(Viewers(), 1u);
  EXPECT_EQ(FindViewer(FState, "gRiD")->RectangleName(), "grid");
  // A trailing blank makes another key.
  ASSERT_EQ(Open("Grid "), 1);
  EXPECT_EQ(Viewers(), 2u);
  EXPECT_EQ(Exec(aidClose, {"GRID"}), 1);
  EXPECT_EQ(Viewers(), 1u);
  EXPECT_NE(FindViewer(FState, "Grid "), nullptr);
}

TEST_F(ActionsTest, OpenOnAnUnknownObjectDestroysTheOldViewerFirst) {
  ASSERT_EQ(Open("Grid"), 1);
  FObjects.erase("Grid");
  EXPECT_EQ(Open("Grid"), 0);
  EXPECT_EQ(LastError(), "An object named Grid does not exist.");
  EXPECT_EQ(FindViewer(FState, "Grid"), nullptr);
}

TEST_F(ActionsTest, OpenWithAnUnreadableWorkbookLeavesNoViewer) {
  EXPECT_EQ(Exec(aidOpen, {"Grid", FDir.File("missing.xlsx"), "", "Top", "No"}), 0);
  EXPECT_EQ(LastError(), "File not found: " + FDir.File("missing.xlsx"));
  EXPECT_EQ(FindViewer(FState, "Grid"), nullptr);
  WriteWholeFile(FDir.File("bad.xlsx"), "not a workbook");
  EXPECT_EQ(Exec(aidOpen, {"Grid", FDir.File("bad.xlsx"), "", "Top", "No"}), 0);
  EXPECT_NE(LastError().find("ZIP"), std::string::npos) << LastError();
  EXPECT_EQ(FindViewer(FState, "Grid"), nullptr);
}

TEST_F(ActionsTest, ToolbarFlagIsYesTrimmedAndCaseInsensitiveOnly) {
  ASSERT_EQ(Open("Grid", "Page", "  yes "), 1);
  EXPECT_TRUE(FindViewer(FState, "Grid")->ShowActionToolbar());
  for (const char* No : {"Y", "True", "", "No"}) {
    ASSERT_EQ(Open("Grid", "Page", No), 1);
    EXPECT_FALSE(FindViewer(FState, "Grid")->ShowActionToolbar()) << No;
  }
}

TEST_F(ActionsTest, PageModeOpensTheNamedSheet) {
  ASSERT_EQ(Exec(aidOpen, {"Grid", FBook, "two", "Page", "Yes"}), 1);
  TVantSpreadsheet* V = FindViewer(FState, "Grid");
  EXPECT_TRUE(V->IsPageMode());
  EXPECT_EQ(V->CurrentSheetName(), "Two");
}

TEST_F(ActionsTest, NavigationAnswersWithoutMessages) {
  ASSERT_EQ(Open("Grid"), 1);
  FHost.FVars["[LastError]"] = "before";
  EXPECT_EQ(Exec(aidGoto, {"Grid", "2"}), 1);
  EXPECT_EQ(FindViewer(FState, "Grid")->CurrentSheetIndex(), 1);
  EXPECT_EQ(Exec(aidNext, {"Grid"}), 1);
  EXPECT_EQ(Exec(aidNext, {"Grid"}), 0);
  EXPECT_EQ(Exec(aidPrev, {"Grid"}), 1);
  EXPECT_EQ(Exec(aidGoto, {"Grid", "0"}), 0);
  EXPECT_EQ(Exec(aidGoto, {"Grid", "-1"}), 0);
  EXPECT_EQ(Exec(aidGoto, {"Grid", "Nowhere"}), 0);
  EXPECT_EQ(LastError(), "before");
}

TEST_F(ActionsTest, EveryViewerActionReportsAMissingViewer) {
  const std::vector<std::pair<int, std::vector<std::string>>> Calls = {
      {aidNext, {"Nobody"}},        {aidPrev, {"Nobody"}},
      {aidGoto, {"Nobody", "1"}},   {aidClose, {"Nobody"}},
      {aidSave, {"Nobody", ""}},    {aidExport, {"Nobody", "x.csv", "CSV", "AllSheets"}},
      {aidEdit, {"Nobody"}},        {aidHighlight, {"Nobody", "Yellow"}},
      {aidSettings, {"Nobody", ""}}};
  for (const auto& [Id, Params] : Calls) {
    FHost.FVars["[LastError]"] = "";
    EXPECT_EQ(Exec(Id, Params), 0) << Id;
    EXPECT_EQ(LastError(), "There is no Excel viewer attached to an object named Nobody.") << Id;
  }
}

TEST_F(ActionsTest, ViewerErrorsPassThroughUnchanged) {
  ASSERT_EQ(Open("Grid"), 1);
  EXPECT_EQ(Exec(aidExport, {"Grid", FDir.File("o.x"), "Lotus", "AllSheets"}), 0);
  EXPECT_EQ(LastError(),
            "Unknown export format \"Lotus\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
  EXPECT_EQ(Exec(aidExport, {"Grid", FDir.File("out.csv"), "CSV", "CurrentSheet"}), 1)
      << LastError();
  EXPECT_TRUE(FileExists(FDir.File("out.csv")));
  EXPECT_EQ(Exec(aidHighlight, {"Grid", "Yellow"}), 1);
  EXPECT_EQ(Exec(aidSettings, {"Grid", "ToolbarColor=FF0000"}), 1) << LastError();
}

TEST_F(ActionsTest, SaveWithBlankNameWritesTheOpenedFile) {
  ASSERT_EQ(Open("Grid"), 1);
  const std::string Before = ReadWholeFile(FBook);
  EXPECT_EQ(Exec(aidSave, {"Grid", "  "}), 1) << LastError();
  TXlsxWorkbook Back;
  Back.LoadFromFile(FBook);
  EXPECT_EQ(Back.SheetCount(), 3);
  EXPECT_EQ(Exec(aidSave, {"Grid", FDir.File("copy.xlsx")}), 1);
  EXPECT_TRUE(FileExists(FDir.File("copy.xlsx")));
  (void)Before;
}

TEST_F(ActionsTest, ReleaseMakesEveryNameUnknown) {
  ASSERT_EQ(Open("Grid"), 1);
  ReleaseRegistry(FState);
  ReleaseRegistry(FState);
  EXPECT_EQ(Exec(aidClose, {"Grid"}), 0);
  EXPECT_EQ(LastError(), "There is no Excel viewer attached to an object named Grid.");
  ASSERT_EQ(Open("Grid"), 1);  // a later Open makes a new registry
  EXPECT_EQ(Viewers(), 1u);
}

TEST_F(ActionsTest, IdsOutsideTheTableTouchNothing) {
  FHost.FVars["[LastError]"] = "kept";
  EXPECT_EQ(Exec(0, {"Grid"}), 0);
  EXPECT_EQ(Exec(12, {"Grid"}), 0);
  EXPECT_EQ(Exec(-3, {}), 0);
  EXPECT_EQ(LastError(), "kept");
  EXPECT_TRUE(FHost.FRequests.empty());
}

TEST(ActionTable, SixteenEntriesWithKindsMatchingCounts) {
  const auto& T = ActionTable();
  ASSERT_EQ(T.size(), 16u);
  int Groups = 0;
  for (const TActionDef& A : T) {
    if (A.Id == 0) {
      ++Groups;
      EXPECT_EQ(A.Kinds, std::vector<uint8_t>{0});
      EXPECT_EQ(A.ParamCount, 0);
      EXPECT_STREQ(A.Hint, "");
    } else {
      EXPECT_EQ(static_cast<int>(A.Kinds.size()), A.ParamCount) << A.Name;
    }
  }
  EXPECT_EQ(Groups, 5);
  EXPECT_EQ(FindAction(0), nullptr);
  EXPECT_EQ(FindAction(12), nullptr);
  EXPECT_STREQ(FindAction(8)->Name, "kvGridfoldImport");
  EXPECT_EQ(FindAction(1)->Kinds, (std::vector<uint8_t>{1, 5, 6, 1, 1}));
}

}  // namespace kv
