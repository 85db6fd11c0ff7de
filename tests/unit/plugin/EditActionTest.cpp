#include <gtest/gtest.h>

#include <functional>

#include "base/Error.h"
#include "plugin/EditAction.h"
#include "support/FakeHost.h"

namespace kv {
namespace {

using test::TFakeHost;
using Params = std::vector<std::string>;

// Plays the author: Act changes the form, then the dialog ends with Result.
class TScriptedRunner : public IFormRunner, public IDialogUi {
 public:
  int FResult = kModalOk;
  std::function<void(TFormModel&)> FAct = [](TFormModel&) {};
  std::vector<std::string> FCaptions;

  IDialogUi& Ui() override { return *this; }
  int ShowModal(TFormModel& Form) override {
    FCaptions.push_back(Form.Caption());
    Form.FormShow();
    FAct(Form);
    return FResult;
  }
  bool BrowseForFile(const std::string&, std::string&) override { return false; }
  bool RunColorDialog(std::optional<uint32_t>, uint32_t&) override { return false; }
  void ShowError(const std::string&) override {}
};

struct EditActionTest : ::testing::Test {
  TFakeHost Host;
  TPlugInState State;
  TScriptedRunner Runner;
  EditActionTest() { State.Host = &Host; }
};

TEST_F(EditActionTest, UnknownIdsShowNothing) {
  Params P = {"x"};
  for (int Id : {0, 12, -1}) EXPECT_FALSE(EditAction(State, Id, P, Runner));
  EXPECT_TRUE(Runner.FCaptions.empty());
  EXPECT_EQ(P, (Params{"x"}));
}

TEST_F(EditActionTest, CancelLeavesEveryParameterAsItWas) {
  const Params Before = {" R ", "bottom", "v", "bogus", " YES "};
  for (int Id = 1; Id <= 11; ++Id) {
    Params P = Before;
    Runner.FResult = kModalCancel;
    Runner.FAct = [](TFormModel& F) {
      if (F.HasControl("EditRect")) F.SetText("EditRect", "changed");
    };
    EXPECT_FALSE(EditAction(State, Id, P, Runner)) << Id;
    EXPECT_EQ(P, Before) << Id;
  }
  EXPECT_EQ(Runner.FCaptions.size(), 11u);
  EXPECT_EQ(Runner.FCaptions[4], "kvGridfoldClose Properties");
}

TEST_F(EditActionTest, OkRewritesTheSlotsInTheirEncoding) {
  Params P = {"R", "book.xlsx", "", "bottom", " YES "};
  ASSERT_TRUE(EditAction(State, 1, P, Runner));
  EXPECT_EQ(P, (Params{"R", "book.xlsx", "", "Bottom", "Yes"}));

  Params H = {"R"};  // a short array grows to the action's count
  ASSERT_TRUE(EditAction(State, 10, H, Runner));
  EXPECT_EQ(H, (Params{"R", "Yellow"}));

  Params E = {"R", "o.csv", "word", "all"};
  ASSERT_TRUE(EditAction(State, 7, E, Runner));
  EXPECT_EQ(E, (Params{"R", "o.csv", "Word", "CurrentSheet"}));

  Runner.FAct = [](TFormModel& F) { F.SetText("EditFontSize", " 11 "); };
  Params S = {"R", "rowheight = 30"};
  ASSERT_TRUE(EditAction(State, 11, S, Runner));
  EXPECT_EQ(S, (Params{"R", "FontSize=11;RowHeight=30"}));
}

// A dialog that fails answers false with its message in "[LastError]", as an
// action's failure does; the parameters stay as they were.
TEST_F(EditActionTest, AFailingDialogAnswersFalseWithLastError) {
  Runner.FAct = [](TFormModel&) { throw TKvError("The dialog could not be created."); };
  Params P = {"R"};
  EXPECT_FALSE(EditAction(State, 2, P, Runner));
  EXPECT_EQ(P, (Params{"R"}));
  EXPECT_EQ(Host.Var("[LastError]"), "The dialog could not be created.");
}

TEST_F(EditActionTest, ImportWithoutSheetsAnswersFalseWithLastError) {
  Host.FVars["[PubDir]"] = "/pubs";
  Host.FVars["[PubTitle]"] = "Course";
  Runner.FAct = [](TFormModel& F) { F.Click("BtnSelectNone"); };
  Params P = {"", "ALL", ""};
  EXPECT_FALSE(EditAction(State, 8, P, Runner));
  EXPECT_EQ(P, (Params{"", "ALL", ""}));
  EXPECT_EQ(Host.Var("[LastError]"), "Select at least one worksheet to import.");

  // Confirmed with all sheets: the shown path of the open publication is stored.
  Runner.FAct = [](TFormModel&) {};
  ASSERT_TRUE(EditAction(State, 8, P, Runner));
  EXPECT_EQ(P, (Params{"", "ALL", "/pubs/Course.pub"}));
}

TEST_F(EditActionTest, BrowseGoesThroughTheHostsPicker) {
  Host.FOnAccess = [](int Request, std::optional<std::string>& Slot) {
    if (Request != iaPickObject) return false;
    Slot = "Rectangle 3";
    return true;
  };
  Runner.FAct = [](TFormModel& F) { F.Click("BtnBrowseRect"); };
  Params P = {"old"};
  ASSERT_TRUE(EditAction(State, 2, P, Runner));
  EXPECT_EQ(P, (Params{"Rectangle 3"}));
  ASSERT_EQ(Host.FRequests.size(), 1u);
  EXPECT_EQ(Host.FRequests[0].second, std::optional<std::string>("old"));
}

}  // namespace
}  // namespace kv
