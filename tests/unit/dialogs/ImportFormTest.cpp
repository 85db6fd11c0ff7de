#include <gtest/gtest.h>

#include "base/Files.h"
#include "dialogs/EditImportForm.h"
#include "support/TempDir.h"
#include "unit/dialogs/FakeDialogs.h"

namespace kv {
namespace {

using test::TFakeDialogHost;
using test::TFakeDialogUi;
using Params = std::vector<std::string>;

const std::string kBook = std::string(KV_FIXTURES_DIR) + "/xlsx/dialog-sheets.xlsx";

struct ImportForm : ::testing::Test {
  TFakeDialogHost Host;
  TFakeDialogUi Ui;
  TImportForm Form{Host};
  ImportForm() { Form.SetUi(&Ui); }

  // The editing sequence up to the dialog being shown.
  void Open(const Params& P) {
    Form.FillFromParams(P);
    Form.FormShow();
  }
  std::vector<bool> Marks() const { return Form.Control("Sheet").ItemChecked; }
  void Tick(int I, bool On) {
    Form.Control("Sheet").ItemChecked[static_cast<size_t>(I)] = On;
    Form.ItemCheckChanged("Sheet", I);
  }
};

TEST_F(ImportForm, ListsVisibleSheetsAndRestoresAStoredSelection) {
  Open({kBook, "gamma|ALPHA", ""});
  EXPECT_EQ(Form.Control("Sheet").Items, (std::vector<std::string>{"Alpha", "Be|ta", "Gamma"}));
  EXPECT_FALSE(Form.Checked("CheckAll"));
  EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Form.SheetSpec(), "Alpha|Gamma");

  // Leaving the unchanged workbook box keeps that selection.
  Form.ControlExit("EditExcel");
  EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true}));
  // A changed file name reloads and selects everything.
  Form.SetText("EditExcel", kBook + ".missing");
  Form.ControlExit("EditExcel");
  EXPECT_TRUE(Form.Control("Sheet").Items.empty());
  Form.SetText("EditExcel", kBook);
  Form.ControlExit("EditExcel");
  EXPECT_TRUE(Form.Checked("CheckAll"));
  EXPECT_EQ(Marks(), std::vector<bool>(3, true));
}

TEST_F(ImportForm, CheckMarksFollowImportAll) {
  Open({kBook, "ALL", ""});
  EXPECT_TRUE(Form.Checked("CheckAll"));
  // Unticking one sheet clears "all" but leaves the others ticked.
  Tick(1, false);
  EXPECT_FALSE(Form.Checked("CheckAll"));
  EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true}));
  Tick(1, true);
  EXPECT_TRUE(Form.Checked("CheckAll"));

  Form.Control("CheckAll").Checked = false;
  Form.Click("CheckAll");
  EXPECT_EQ(Marks(), std::vector<bool>(3, false));
  EXPECT_EQ(Form.SheetSpec(), "");
  Form.Click("BtnSelectAll");
  EXPECT_TRUE(Form.Checked("CheckAll"));
  EXPECT_EQ(Marks(), std::vector<bool>(3, true));
  Form.Click("BtnSelectNone");
  EXPECT_FALSE(Form.Checked("CheckAll"));
  EXPECT_EQ(Marks(), std::vector<bool>(3, false));
}

TEST_F(ImportForm, BarInASheetNameIsStoredAsABlank) {
  Open({kBook, "Be|ta", ""});  // "Be" and "ta" name no sheet
  EXPECT_EQ(Marks(), std::vector<bool>(3, false));
  Tick(1, true);
  Params P = {kBook, "Be|ta", ""};
  ASSERT_TRUE(Form.StoreParams(P));
  EXPECT_EQ(P[1], "Be ta");

  TImportForm Again(Host);
  Again.FillFromParams(P);
  EXPECT_EQ(Again.Control("Sheet").ItemChecked, std::vector<bool>(3, false));
}

TEST_F(ImportForm, OkWithoutSheetsKeepsTheParametersAndSetsLastError) {
  Open({kBook, "Alpha", "other.pub"});
  Form.Click("BtnSelectNone");
  Params P = {kBook, "Alpha", "other.pub"};
  EXPECT_FALSE(Form.StoreParams(P));
  EXPECT_EQ(P, (Params{kBook, "Alpha", "other.pub"}));
  EXPECT_EQ(Host.FVars["[LastError]"], "Select at least one worksheet to import.");

  // "Import ALL sheets" stores ALL even with nothing listed.
  TImportForm Empty(Host);
  Empty.FillFromParams({"", "", ""});
  Params Q(3);
  ASSERT_TRUE(Empty.StoreParams(Q));
  EXPECT_EQ(Q[1], "ALL");
}

TEST_F(ImportForm, UnreadableWorkbookIsReportedAndLeavesTheListEmpty) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("bad.xlsx"), "not a zip");
  Open({Dir.File("bad.xlsx"), "ALL", ""});
  ASSERT_EQ(Ui.FErrors.size(), 1u);
  EXPECT_EQ(Ui.FErrors[0].rfind("Unable to read the workbook:\r\n", 0), 0u) << Ui.FErrors[0];
  EXPECT_GT(Ui.FErrors[0].size(), 30u);
  EXPECT_TRUE(Form.Control("Sheet").Items.empty());
  EXPECT_FALSE(Form.Loading());

  // A placeholder in the box is not expanded: no file, no list, no message.
  Host.FVars["[PubDir]"] = Dir.Path();
  TImportForm Placeholder(Host);
  Placeholder.SetUi(&Ui);
  Placeholder.FillFromParams({"[PubDir]dialog-sheets.xlsx", "", ""});
  EXPECT_TRUE(Placeholder.Control("Sheet").Items.empty());
  EXPECT_EQ(Ui.FErrors.size(), 1u);
}

TEST_F(ImportForm, CurrentPublicationModeShowsAndStoresThePath) {
  test::TTempDir Dir;
  Host.FVars["[PubDir]"] = Dir.Path();
  Host.FVars["[PubTitle]"] = "Course (draft)";
  Open({kBook, "ALL", "__kvgridfold_current__"});
  EXPECT_TRUE(Form.Checked("RadioCurrent"));
  const std::string Shown = Dir.File("Course.pub");
  EXPECT_EQ(Form.Text("EditTarget"), Shown);
  EXPECT_TRUE(Form.Control("EditTarget").ReadOnly);
  EXPECT_FALSE(Form.Control("BtnBrowseTarget").Enabled);
  EXPECT_EQ(Form.Text("LblTarget"), "Current publication (.pub) - automatic:");
  Params P(3);
  ASSERT_TRUE(Form.StoreParams(P));
  EXPECT_EQ(P[2], Shown);
}

TEST_F(ImportForm, WithoutATitleTheTemplateIsShownAndStored) {
  Open({kBook, "ALL", ""});
  EXPECT_TRUE(Form.Checked("RadioCurrent"));
  EXPECT_EQ(Form.Text("EditTarget"), "[PubDir][PubTitle].pub");
  Params P(3);
  ASSERT_TRUE(Form.StoreParams(P));
  EXPECT_EQ(P[2], "[PubDir][PubTitle].pub");
}

TEST_F(ImportForm, DestinationIsChosenFromTheStoredTarget) {
  test::TTempDir Dir;
  Host.FVars["[PubDir]"] = Dir.Path();
  Host.FVars["[PubTitle]"] = "Course";
  WriteWholeFile(Dir.File("Other.pub"), "x");
  auto ModeOf = [&](const std::string& Target) {
    TImportForm F(Host);
    F.FillFromParams({"", "ALL", Target});
    return F.Checked("RadioCurrent") ? "current" : "other";
  };
  EXPECT_STREQ(ModeOf(" [pubdir][pubtitle].PUB "), "current");
  EXPECT_STREQ(ModeOf(Dir.File("course.pub")), "current");  // the open publication
  EXPECT_STREQ(ModeOf("[PubDir]Other.pub"), "current");     // exists after expansion
  EXPECT_STREQ(ModeOf("[PubDir]Missing.pub"), "other");
  EXPECT_STREQ(ModeOf("[pubdir]Other.pub"), "other");  // placeholder test is case-exact
  EXPECT_STREQ(ModeOf(Dir.File("Other.pub")), "other");
  Host.FVars["[PubDir]"] = "C:\\x";
  Host.FVars["[PubTitle]"] = "a";
  EXPECT_STREQ(ModeOf("C:/x/A.pub"), "current");  // the open one, other separators
}

TEST_F(ImportForm, AnotherPublicationIsStoredAsTypedAndBrowsingSwitchesToIt) {
  Open({kBook, "ALL", ""});
  Ui.FFileAnswer = "C:\\pubs\\Other.pub";
  Form.Click("BtnBrowseTarget");
  EXPECT_EQ(Ui.FFilters.back(), "Folivant Publication|*.pub|All Files|*.*");
  EXPECT_TRUE(Form.Checked("RadioOther"));
  EXPECT_FALSE(Form.Checked("RadioCurrent"));
  EXPECT_FALSE(Form.Control("EditTarget").ReadOnly);
  EXPECT_EQ(Form.Text("LblTarget"), "Another publication (.pub):");
  Form.SetText("EditTarget", " C:\\pubs\\Other.pub ");
  Params P(3);
  ASSERT_TRUE(Form.StoreParams(P));
  EXPECT_EQ(P[2], " C:\\pubs\\Other.pub ");

  // Back to the current publication puts the template in the box.
  Form.Click("RadioCurrent");
  EXPECT_EQ(Form.Text("EditTarget"), "[PubDir][PubTitle].pub");
}

TEST_F(ImportForm, BrowsingForTheWorkbookReloadsEvenWhenCancelled) {
  Open({kBook, "Alpha", ""});
  Ui.FFileAnswer.reset();
  Form.Click("BtnBrowseExcel");
  EXPECT_EQ(Ui.FFilters.back(), "Excel Workbook|*.xlsx;*.xlsm|All Files|*.*");
  EXPECT_EQ(Marks(), std::vector<bool>(3, true));
  EXPECT_EQ(Form.SheetSpec(), "ALL");
}

}  // namespace
}  // namespace kv
