// The layout decisions of the dialog view over a measure that gives every
// character 6 pixels and every wrapped line 13: the tab order, hints that
// grow, captions and labels that widen.
#include <gtest/gtest.h>

#include <algorithm>

#include "dialogs/FormLayout.h"
#include "unit/dialogs/FakeDialogs.h"

namespace kv {

namespace {

class TBareForm : public TFormModel {
 public:
  explicit TBareForm(IDialogHost& Host) : TFormModel(Host, "Form", 300, 200) {}
  void FillFromParams(const std::vector<std::string>&) override {}
  bool StoreParams(std::vector<std::string>&) override { return true; }
  TControl& Put(TControlKind Kind, const std::string& Name, int Left, int Top, int Width,
                int Height, int Tab = -1, const std::string& Text = "") {
    TControl C = MakeControl(Name, Kind, Left, Top, Width, Height, Tab);
    C.Text = Text;
    Controls().push_back(C);
    return Controls().back();
  }
};

class TFixedMeasure : public ITextMeasure {
 public:
  std::vector<std::string> FMeasured;
  int TextWidth(const std::string& Text) override {
    FMeasured.push_back(Text);
    return 6 * static_cast<int>(Text.size());
  }
  int WrappedTextHeight(const std::string& Text, int Width) override {
    const int PerLine = std::max(1, Width / 6);
    return 13 * ((static_cast<int>(Text.size()) + PerLine - 1) / PerLine);
  }
  int CheckMarkWidth() override { return 13; }
};

class FormLayout : public ::testing::Test {
 protected:
  test::TFakeDialogHost FHost;
  TBareForm FForm{FHost};
  TFixedMeasure FMeasure;

  TBounds Place(const std::string& Name) {
    const auto& Cs = FForm.Controls();
    for (size_t I = 0; I < Cs.size(); ++I)
      if (Cs[I].Name == Name) return PlaceControl(FForm, I, FMeasure);
    ADD_FAILURE() << "no control " << Name;
    return {};
  }
};

void ExpectBounds(const TBounds& B, int Left, int Top, int Width, int Height) {
  EXPECT_EQ(B.Left, Left);
  EXPECT_EQ(B.Top, Top);
  EXPECT_EQ(B.Width, Width);
  EXPECT_EQ(B.Height, Height);
}

}  // namespace

TEST_F(FormLayout, TabOrderPutsGroupsBeforeTheirControlsAndLabelsBeforeTheirFields) {
  FForm.Put(TControlKind::Edit, "EditA", 10, 10, 80, 21, 1);
  FForm.Put(TControlKind::GroupBox, "Group", 10, 40, 200, 80, 0);
  FForm.Put(TControlKind::RadioButton, "Radio1", 8, 20, 80, 17, 1).Parent = "Group";
  FForm.Put(TControlKind::RadioButton, "Radio0", 8, 40, 80, 17, 0).Parent = "Group";
  FForm.Put(TControlKind::HintLabel, "LblHint", 10, 150, 200, 13);
  FForm.Put(TControlKind::Label, "LblA", 10, 0, 0, 0).FocusControl = "EditA";
  FForm.Put(TControlKind::BrowseButton, "BtnBrowse", 95, 10, 22, 22);
  std::vector<std::string> Names;
  for (size_t I : CreationOrder(FForm)) Names.push_back(FForm.Controls()[I].Name);
  EXPECT_EQ(Names, (std::vector<std::string>{"Group", "Radio0", "Radio1", "LblA", "EditA",
                                             "LblHint", "BtnBrowse"}));
}

TEST_F(FormLayout, HintGrowsToItsTextAndPushesDownOnlyWhatLiesBelow) {
  FForm.Put(TControlKind::Edit, "Above", 10, 0, 80, 10);
  FForm.Put(TControlKind::HintLabel, "Hint", 10, 10, 60, 13, -1, std::string(25, 'x'));
  FForm.Put(TControlKind::Edit, "Below", 10, 30, 80, 21);
  FForm.Put(TControlKind::GroupBox, "Group", 10, 60, 200, 80);
  FForm.Put(TControlKind::HintLabel, "Inner", 4, 30, 6, 13, -1, "long text").Parent = "Group";
  EXPECT_EQ(ReflowHints(FForm, FMeasure), 26);  // three lines instead of one
  EXPECT_EQ(FForm.Control("Hint").Height, 39);
  EXPECT_EQ(FForm.Control("Above").Top, 0);
  EXPECT_EQ(FForm.Control("Below").Top, 56);
  EXPECT_EQ(FForm.Control("Group").Top, 86);
  EXPECT_EQ(FForm.Control("Inner").Top, 30);  // moves with its group, is not re-flowed
  EXPECT_EQ(FForm.Control("Inner").Height, 13);
  ExpectBounds(Place("Inner"), 14, 116, 6, 13);
  EXPECT_EQ(ReflowHints(FForm, FMeasure), 0);
}

TEST_F(FormLayout, CaptionsWidenToTheEdgeOfFormOrGroupShortOfASibling) {
  // 20 characters: 120 + the mark 13 + 8 = 141 pixels wanted.
  const std::string Long(20, 'c');
  FForm.Put(TControlKind::CheckBox, "Free", 10, 0, 40, 17, 0, Long);
  FForm.Put(TControlKind::CheckBox, "Short", 10, 20, 40, 17, 1, "&ab");
  FForm.Put(TControlKind::CheckBox, "Edge", 200, 40, 40, 17, 2, Long);
  FForm.Put(TControlKind::CheckBox, "Crowded", 10, 60, 40, 17, 3, Long);
  FForm.Put(TControlKind::Edit, "Neighbour", 100, 65, 80, 21, 4);
  FForm.Put(TControlKind::GroupBox, "Group", 20, 100, 100, 60);
  FForm.Put(TControlKind::RadioButton, "InGroup", 8, 20, 40, 17, 0, Long).Parent = "Group";
  ExpectBounds(Place("Free"), 10, 0, 141, 17);
  ExpectBounds(Place("Short"), 10, 20, 40, 17);  // never narrower than designed
  EXPECT_EQ(FMeasure.FMeasured.back(), "ab");    // accelerator marks take no room
  EXPECT_EQ(Place("Edge").Width, 300 - 8 - 200);
  EXPECT_EQ(Place("Crowded").Width, 100 - 4 - 10);
  ExpectBounds(Place("InGroup"), 28, 120, 20 + 100 - 4 - 28, 17);
}

TEST_F(FormLayout, WidenedLabelTakesRoomFromTheLeftOfTheFieldItNames) {
  FForm.Put(TControlKind::Label, "LblWide", 10, 0, 50, 13, -1, std::string(15, 'w')).FocusControl =
      "EditWide";
  FForm.Put(TControlKind::Edit, "EditWide", 65, 0, 100, 21, 0);
  FForm.Put(TControlKind::Label, "LblFits", 10, 30, 50, 13, -1, "&Fits").FocusControl = "EditFits";
  FForm.Put(TControlKind::Edit, "EditFits", 65, 30, 100, 21, 1);
  FForm.Put(TControlKind::Label, "LblAuto", 10, 60, 0, 0, -1, "Auto").FocusControl = "EditAuto";
  FForm.Put(TControlKind::Edit, "EditAuto", 20, 60, 100, 21, 2);
  ExpectBounds(Place("LblWide"), 10, 0, 92, 13);
  ExpectBounds(Place("EditWide"), 105, 0, 60, 21);  // the right edge stays
  ExpectBounds(Place("LblFits"), 10, 30, 50, 13);
  ExpectBounds(Place("EditFits"), 65, 30, 100, 21);
  // A label of width 0 is sized to its caption and moves nothing.
  ExpectBounds(Place("LblAuto"), 10, 60, 26, 13);
  ExpectBounds(Place("EditAuto"), 20, 60, 100, 21);

  FForm.SetText("LblFits", std::string(20, 'f'));  // a caption changed by a handler
  EXPECT_EQ(Place("EditFits").Left, 10 + 122 + 3);
}

}  // namespace kv
