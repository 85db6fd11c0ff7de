#include <gtest/gtest.h>

#include <set>

#include "dialogs/EditForms.h"
#include "unit/dialogs/FakeDialogs.h"

namespace kv {
namespace {

using test::TFakeDialogHost;
using Params = std::vector<std::string>;

// Fills the form, "presses OK" and returns what it writes back.
Params RoundTrip(TFormModel& Form, const Params& In) {
  Form.FillFromParams(In);
  Params Out = In;
  EXPECT_TRUE(Form.StoreParams(Out));
  return Out;
}

TEST(EditForms, EveryActionGetsItsDialogAndCaption) {
  TFakeDialogHost Host;
  const std::map<int, std::string> Captions = {
      {1, "kvGridfoldOpen Properties"},     {2, "kvGridfoldNext Properties"},
      {3, "kvGridfoldPrev Properties"},     {4, "kvGridfoldGoto Properties"},
      {5, "kvGridfoldClose Properties"},    {6, "kvGridfoldSave Properties"},
      {7, "kvGridfoldExport Properties"},   {8, "kvGridfoldImport Properties"},
      {9, "kvGridfoldEdit Properties"},     {10, "kvGridfoldHighlight Properties"},
      {11, "kvGridfoldSettings Properties"}};
  for (const auto& [Id, Caption] : Captions) {
    auto Form = CreateEditForm(Id, Host);
    ASSERT_NE(Form, nullptr) << Id;
    EXPECT_EQ(Form->Caption(), Caption);
  }
  EXPECT_EQ(CreateEditForm(0, Host), nullptr);
  EXPECT_EQ(CreateEditForm(12, Host), nullptr);
}

// The tables are typed in by hand: catch a control placed outside its form or
// group, two controls on top of each other, or a broken tab order.
TEST(EditForms, LayoutsFitAndTabOrdersAreComplete) {
  TFakeDialogHost Host;
  for (int Id = 1; Id <= 11; ++Id) {
    auto Form = CreateEditForm(Id, Host);
    std::map<std::string, std::set<int>> Tabs;
    const auto& Cs = Form->Controls();
    for (const TControl& C : Cs) {
      int W = Form->ClientWidth(), H = Form->ClientHeight();
      if (!C.Parent.empty()) {
        W = Form->Control(C.Parent).Width;
        H = Form->Control(C.Parent).Height;
      }
      EXPECT_LE(C.Left + C.Width, W) << Id << " " << C.Name;
      EXPECT_LE(C.Top + C.Height, H) << Id << " " << C.Name;
      if (C.TabOrder >= 0) {
        EXPECT_TRUE(Tabs[C.Parent].insert(C.TabOrder).second) << C.Name;
      }
      if (C.Kind == TControlKind::BrowseButton) {
        EXPECT_EQ(C.TabOrder, -1) << C.Name;
      }
      if (C.Kind == TControlKind::Label && C.Text.find('&') != std::string::npos) {
        EXPECT_TRUE(Form->HasControl(C.FocusControl)) << C.Name;
      }
    }
    for (const auto& [Parent, Set] : Tabs)
      EXPECT_EQ(*Set.rbegin(), static_cast<int>(Set.size()) - 1) << Id << " " << Parent;
    for (size_t I = 0; I < Cs.size(); ++I)
      for (size_t J = I + 1; J < Cs.size(); ++J) {
        const TControl &A = Cs[I], &B = Cs[J];
        if (A.Parent != B.Parent || A.Width == 0 || B.Width == 0) continue;
        if (A.Kind == TControlKind::GroupBox || B.Kind == TControlKind::GroupBox) continue;
        bool Apart = A.Left + A.Width <= B.Left || B.Left + B.Width <= A.Left ||
                     A.Top + A.Height <= B.Top || B.Top + B.Height <= A.Top;
        EXPECT_TRUE(Apart) << Id << ": " << A.Name << " overlaps " << B.Name;
      }
    const TControl& Ok = Form->Control("OKBtn");
    const TControl& Cancel = Form->Control("CancelBtn");
    EXPECT_TRUE(Ok.IsDefault && Cancel.IsCancel);
    EXPECT_EQ(Ok.ModalResult, kModalOk);
    EXPECT_EQ(Cancel.ModalResult, kModalCancel);
    EXPECT_EQ(Cancel.Left - (Ok.Left + Ok.Width), 8) << Id;
  }
}

TEST(OpenForm, ToolbarPlacementMatchesWholeWordIgnoringCase) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(1, Host);
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "bottom", "Yes"})[3], "Bottom");
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "", "Yes"})[3], "None");
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "Bot", "Yes"})[3], "None");
  // The parameter is not trimmed before matching.
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", " Top", "Yes"})[3], "None");
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "RIGHT", "Yes"})[3], "Right");
}

TEST(OpenForm, ActionToolbarFlagIsTrimmedAndWrittenAsYesOrNo) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(1, Host);
  Form->FillFromParams({"R", "f", "v", "Page", "  YES "});
  EXPECT_TRUE(Form->Checked("CheckShowToolbar"));
  Params Out(5);
  Form->StoreParams(Out);
  EXPECT_EQ(Out[4], "Yes");
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "Page", "Y"})[4], "No");
  EXPECT_EQ(RoundTrip(*Form, {"R", "f", "v", "Page", ""})[4], "No");
}

TEST(OpenForm, EditTextsGoBothWaysUntrimmed) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(1, Host);
  Params Out = RoundTrip(*Form, {" Rect 1 ", "[PubDir]book.xlsx ", "\tVar", "None", "No"});
  EXPECT_EQ(Out[0], " Rect 1 ");
  EXPECT_EQ(Out[1], "[PubDir]book.xlsx ");
  EXPECT_EQ(Out[2], "\tVar");
  // Short parameter arrays read as empty and are written in full.
  Form->FillFromParams({});
  EXPECT_EQ(Form->Text("EditRect"), "");
  Params Grown;
  Form->StoreParams(Grown);
  EXPECT_EQ(Grown, (Params{"", "", "", "None", "No"}));
}

TEST(SimpleForms, RectGotoAndSaveCopyTheirFields) {
  TFakeDialogHost Host;
  auto Rect = CreateEditForm(2, Host);
  EXPECT_EQ(RoundTrip(*Rect, {" ExcelGrid_1"}), (Params{" ExcelGrid_1"}));
  auto Goto = CreateEditForm(4, Host);
  EXPECT_EQ(RoundTrip(*Goto, {"R", " 2 "}), (Params{"R", " 2 "}));
  auto Save = CreateEditForm(6, Host);
  EXPECT_EQ(RoundTrip(*Save, {"R", ""}), (Params{"R", ""}));
  Save->FillFromParams({"R", "out.xlsx"});
  Save->SetText("EditFile", "  ");
  Params Out = {"R", "out.xlsx"};
  Save->StoreParams(Out);
  EXPECT_EQ(Out[1], "  ");
}

TEST(ExportForm, ScopeBoxTicksOnlyForAllSheets) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(7, Host);
  Form->FillFromParams({"R", "o.csv", "CSV", "all"});
  EXPECT_FALSE(Form->Checked("CheckAllSheets"));
  EXPECT_EQ(RoundTrip(*Form, {"R", "o.csv", "CSV", "all"})[3], "CurrentSheet");
  EXPECT_EQ(RoundTrip(*Form, {"R", "o.csv", "CSV", "AllSheets"})[3], "AllSheets");
  EXPECT_EQ(RoundTrip(*Form, {"R", "o.csv", "CSV", " AllSheets"})[3], "CurrentSheet");
}

TEST(ExportForm, FormatFallsBackToCsv) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(7, Host);
  EXPECT_EQ(RoundTrip(*Form, {"R", "o", "xmlspreadsheet", ""})[2], "XMLSpreadsheet");
  EXPECT_EQ(RoundTrip(*Form, {"R", "o", "pdf", ""})[2], "PDF");
  EXPECT_EQ(RoundTrip(*Form, {"R", "o", "Excel", ""})[2], "CSV");
  EXPECT_EQ(Form->Control("ComboFormat").Items,
            (std::vector<std::string>{"CSV", "Text", "HTML", "XMLSpreadsheet", "Word", "PDF"}));
}

TEST(HighlightForm, ColourListAndFallbackToYellow) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(10, Host);
  EXPECT_EQ(Form->Control("ComboColor").Items,
            (std::vector<std::string>{"Yellow", "Green", "Red", "Blue", "Orange", "None"}));
  EXPECT_EQ(RoundTrip(*Form, {"R", ""})[1], "Yellow");
  EXPECT_EQ(RoundTrip(*Form, {"R", "Purple"})[1], "Yellow");
  EXPECT_EQ(RoundTrip(*Form, {"R", "nONE"})[1], "None");
}

TEST(BrowseButtons, ObjectPickerTakesTheAnswerOnlyWhenConfirmed) {
  TFakeDialogHost Host;
  auto Form = CreateEditForm(4, Host);
  Form->FillFromParams({"Old", "1"});
  Form->Click("BtnBrowseRect");  // the picker says false
  EXPECT_EQ(Form->Text("EditRect"), "Old");
  ASSERT_EQ(Host.FRequests.size(), 1u);
  EXPECT_EQ(Host.FRequests[0], (std::pair<int, std::string>(8, "Old")));

  Host.FOnAccess = [](int, std::optional<std::string>& Slot) {
    Slot = "Rectangle 7";
    return true;
  };
  Form->Click("BtnBrowseRect");
  EXPECT_EQ(Form->Text("EditRect"), "Rectangle 7");

  Host.FHasAccess = false;
  Form->Click("BtnBrowseRect");
  EXPECT_EQ(Host.FRequests.size(), 2u);
  EXPECT_EQ(Form->Text("EditRect"), "Rectangle 7");
}

TEST(BrowseButtons, FilePickerSendsFiveFieldsAndTheFormsFilter) {
  TFakeDialogHost Host;
  Host.FOnAccess = [](int, std::optional<std::string>& Slot) {
    Slot = "C:\\out\\book.pdf";
    return true;
  };
  auto Open = CreateEditForm(1, Host);
  Open->Click("BtnBrowseFile");
  ASSERT_EQ(Host.FRequests.size(), 1u);
  EXPECT_EQ(Host.FRequests[0].first, 16);
  const std::string Req = Host.FRequests[0].second;
  EXPECT_EQ(Req, "\r\rExcel Workbook|*.xlsx;*.xlsm|All Files|*.*\rFalse\rTrue");
  EXPECT_EQ(SplitString(Req, '\r').size(), 5u);

  auto Export = CreateEditForm(7, Host);
  Export->FillFromParams({"R", "cur.csv", "CSV", ""});
  Export->Click("BtnBrowseFile");
  EXPECT_EQ(Host.FRequests[1].second,
            "cur.csv\r\rCSV|*.csv|Text (Tab delimited)|*.txt|Web Page|*.htm;*.html|XML "
            "Spreadsheet|*.xml|Word Document|*.docx|PDF|*.pdf|All Files|*.*\rFalse\rTrue");
  EXPECT_EQ(Export->Text("EditFile"), "C:\\out\\book.pdf");
}

}  // namespace
}  // namespace kv
