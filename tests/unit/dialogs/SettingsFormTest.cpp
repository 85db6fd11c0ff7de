#include <gtest/gtest.h>

#include "dialogs/EditSettingsForm.h"
#include "unit/dialogs/FakeDialogs.h"

namespace kv {
namespace {

using test::TFakeDialogHost;
using test::TFakeDialogUi;

const char* const kEdits[] = {"EditToolbarColor", "EditHeaderColor", "EditSelectionColor",
                              "EditFont",         "EditFontSize",    "EditRowHeight",
                              "EditColumnWidth"};

std::vector<std::string> Fields(const TSettingsForm& F) {
  std::vector<std::string> Out;
  for (const char* E : kEdits) Out.push_back(F.Text(E));
  return Out;
}

TEST(SettingsForm, LoadMatchesKeysIgnoringCaseAndTrimsAroundTheEqualsSign) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  Form.SetText("EditRect", "R");
  Form.LoadSettingsString("toolbarcolor = FF0000 ; FontSize=12");
  EXPECT_EQ(Fields(Form), (std::vector<std::string>{"FF0000", "", "", "", "12", "", ""}));
  EXPECT_EQ(Form.Text("EditRect"), "R");

  // Unknown keys and pieces without "=" change nothing; an empty string clears.
  Form.LoadSettingsString("Bogus=1;FontSize;GRIDFONT=Arial=Narrow");
  EXPECT_EQ(Form.Text("EditFont"), "Arial=Narrow");
  EXPECT_EQ(Form.Text("EditFontSize"), "");
  Form.LoadSettingsString("");
  EXPECT_EQ(Fields(Form), std::vector<std::string>(7));
}

TEST(SettingsForm, LoadTakesTheLastValueLinesAndQuotes) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  Form.LoadSettingsString("RowHeight=20\r\nRowHeight=\nGridFont='A;B'\nColumnWidth=120");
  EXPECT_EQ(Form.Text("EditRowHeight"), "");  // the last value, even empty
  EXPECT_EQ(Form.Text("EditFont"), "'A;B'");
  EXPECT_EQ(Form.Text("EditColumnWidth"), "120");
}

TEST(SettingsForm, BuildWritesTrimmedNonBlankFieldsInKeyOrder) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  EXPECT_EQ(Form.BuildSettingsString(), "");
  Form.SetText("EditRowHeight", "  30 ");
  EXPECT_EQ(Form.BuildSettingsString(), "RowHeight=30");
  Form.SetText("EditColumnWidth", "40;");
  Form.SetText("EditToolbarColor", "E2E2E2");
  Form.SetText("EditFontSize", "\t");
  EXPECT_EQ(Form.BuildSettingsString(), "ToolbarColor=E2E2E2;RowHeight=30;ColumnWidth=40");

  // What the form writes loads back into the same fields.
  Form.SetText("EditFont", "Segoe UI");
  std::string S = Form.BuildSettingsString();
  TSettingsForm Again(Host);
  Again.LoadSettingsString(S);
  EXPECT_EQ(Again.BuildSettingsString(), S);
}

TEST(SettingsForm, NumberFormatsCheckBoxIsWrittenAfterTheOtherKeys) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  const TControl& Check = Form.Control("ChkShownNumbers");
  EXPECT_EQ(Check.Top, Form.Control("OKBtn").Top + 2);  // beside the buttons, below the hint
  Form.LoadSettingsString("numberformats = shown;RowHeight=30");
  EXPECT_TRUE(Form.Checked("ChkShownNumbers"));
  EXPECT_EQ(Form.BuildSettingsString(), "RowHeight=30;NumberFormats=Shown");
  Form.Control("ChkShownNumbers").Checked = false;
  EXPECT_EQ(Form.BuildSettingsString(), "RowHeight=30");
  // An explicit Stored stays; loading anything else clears the box.
  Form.LoadSettingsString("NumberFormats=Stored");
  EXPECT_FALSE(Form.Checked("ChkShownNumbers"));
  EXPECT_EQ(Form.BuildSettingsString(), "NumberFormats=Stored");
  Form.LoadSettingsString("FontSize=9");
  EXPECT_FALSE(Form.Checked("ChkShownNumbers"));
  EXPECT_EQ(Form.BuildSettingsString(), "FontSize=9");
}

TEST(SettingsForm, ScrollBarsCheckBoxIsWrittenLast) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  EXPECT_LT(Form.Control("ChkScrollBars").Top + 20, Form.Control("ChkShownNumbers").Top + 1);
  Form.LoadSettingsString("scrollbars = yes;NumberFormats=Shown;FontSize=10");
  EXPECT_TRUE(Form.Checked("ChkScrollBars"));
  EXPECT_EQ(Form.BuildSettingsString(), "FontSize=10;NumberFormats=Shown;ScrollBars=Yes");
  Form.Control("ChkScrollBars").Checked = false;
  EXPECT_EQ(Form.BuildSettingsString(), "FontSize=10;NumberFormats=Shown");
  Form.LoadSettingsString("ScrollBars=No");
  EXPECT_FALSE(Form.Checked("ChkScrollBars"));
  EXPECT_EQ(Form.BuildSettingsString(), "ScrollBars=No");
}

TEST(SettingsForm, OkWritesRectangleAndCanonicalString) {
  TFakeDialogHost Host;
  TSettingsForm Form(Host);
  Form.FillFromParams({" R ", "fontsize = 10;headercolor=#00ff00"});
  std::vector<std::string> P = {" R ", "x"};
  ASSERT_TRUE(Form.StoreParams(P));
  EXPECT_EQ(P, (std::vector<std::string>{" R ", "HeaderColor=#00ff00;FontSize=10"}));
}

TEST(SettingsForm, ColourPickerSwapsIntoPlatformOrderAndWritesUpperHex) {
  TFakeDialogHost Host;
  TFakeDialogUi Ui;
  TSettingsForm Form(Host);
  Form.SetUi(&Ui);
  Form.SetText("EditToolbarColor", " 1020ff ");
  Ui.FColorAnswer = 0x0000FF;  // pure red as COLORREF
  Form.Click("BtnPickToolbarColor");
  ASSERT_EQ(Ui.FColorPresets.size(), 1u);
  EXPECT_EQ(Ui.FColorPresets[0], std::optional<uint32_t>(0xFF2010));
  EXPECT_EQ(Form.Text("EditToolbarColor"), "FF0000");

  // "#" does not parse after the "$" is put in front; higher bits are dropped.
  Form.SetText("EditHeaderColor", "#00FF00");
  Form.SetText("EditSelectionColor", "AB123456");
  Ui.FColorAnswer.reset();
  Form.Click("BtnPickHeaderColor");
  Form.Click("BtnPickSelectionColor");
  EXPECT_EQ(Ui.FColorPresets[1], std::nullopt);
  EXPECT_EQ(Ui.FColorPresets[2], std::optional<uint32_t>(0x563412));
  EXPECT_EQ(Form.Text("EditHeaderColor"), "#00FF00");  // cancelled: unchanged
  EXPECT_EQ(ColorRefToHex(0x00C08040), "4080C0");
}

}  // namespace
}  // namespace kv
