#include "dialogs/ObjectForms.h"

#include "base/Text.h"

namespace kv {

const char* const kWorkbookFilter = "Excel Workbook|*.xlsx;*.xlsm|All Files|*.*";
const char* const kExportFilter =
    "CSV|*.csv|Text (Tab delimited)|*.txt|Web Page|*.htm;*.html|"
    "XML Spreadsheet|*.xml|Word Document|*.docx|PDF|*.pdf|All Files|*.*";

namespace {

const char* const kRectTip = "Select a Rectangle";
const char* const kFileTip = "Browse for a file";

// A missing parameter reads as empty, as a null slot does.
const std::string& Param(const std::vector<std::string>& P, size_t I) {
  static const std::string Empty;
  return I < P.size() ? P[I] : Empty;
}

void Put(std::vector<std::string>& P, size_t I, const std::string& Text) {
  if (P.size() <= I) P.resize(I + 1);
  P[I] = Text;
}

using TKind = TParamSlot::TKind;

TParamSlot Edit(const char* Control) {
  return {TKind::Edit, Control};
}
TParamSlot List(const char* Control) {
  return {TKind::List, Control};
}

}  // namespace

void TObjectForm::FillFromParams(const std::vector<std::string>& P) {
  for (size_t I = 0; I < FSlots.size(); ++I) {
    const TParamSlot& S = FSlots[I];
    if (S.Kind == TKind::Edit)
      SetText(S.Control, Param(P, I));
    else if (S.Kind == TKind::List)
      SelectItemMatching(S.Control, Param(P, I));
    else
      Control(S.Control).Checked =
          SameTextAscii(S.TrimOnRead ? Trim(Param(P, I)) : Param(P, I), S.OnWord);
  }
}

bool TObjectForm::StoreParams(std::vector<std::string>& P) {
  for (size_t I = 0; I < FSlots.size(); ++I) {
    const TParamSlot& S = FSlots[I];
    if (S.Kind == TKind::Edit)
      Put(P, I, Text(S.Control));
    else if (S.Kind == TKind::List)
      Put(P, I, SelectedItem(S.Control));
    else
      Put(P, I, Checked(S.Control) ? S.OnWord : S.OffWord);
  }
  return true;
}

void TObjectForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
  if (Name == "BtnBrowseFile" && FFileFilter) BtnBrowseFileClick();
}

TOpenForm::TOpenForm(IDialogHost& Host)
    : TObjectForm(Host, "kvGridfoldOpen Properties", 400, 312,
                  {Edit("EditRect"),
                   Edit("EditFile"),
                   Edit("EditVar"),
                   List("ComboToolbar"),
                   {TKind::Check, "CheckShowToolbar", "Yes", "No", true}},
                  kWorkbookFilter) {
  Add(MakeLabel("LblRect", "&Rectangle object to attach the viewer to:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 345, 21, 0));
  AddBrowse("BtnBrowseRect", 362, 32, kRectTip);
  Add(MakeLabel("LblFile", "&Excel file (.xlsx):", 12, 64, "EditFile"));
  Add(MakeEdit("EditFile", 12, 84, 345, 21, 1));
  AddBrowse("BtnBrowseFile", 362, 84, kFileTip);
  Add(MakeLabel("LblVar", "&Variable to store the current sheet name (optional):", 12, 116,
                "EditVar"));
  Add(MakeEdit("EditVar", 12, 136, 345, 21, 2));
  Add(MakeLabel("LblToolbar", "&Editing toolbar (Prev/Next/Save):", 12, 168, "ComboToolbar"));
  Add(MakeList("ComboToolbar", {"None", "Page", "Top", "Bottom", "Left", "Right"}, 12, 188, 180,
               3));
  Add(MakeCheck("CheckShowToolbar", "Show &Edit/Highlight/Save/Prev/Next-sheet action toolbar", 12,
                212, 345, 21, 4));
  Add(
      MakeHint("Also sets <Variable>_Index and <Variable>_Count so scripts can react to the sheet "
               "count and current position. The toolbar, if placed, is docked to the chosen edge "
               "inside the same Rectangle - it is not a separate object. The target must be a "
               "Rectangle.",
               12, 244, 376, 52));
  AddOkCancel(236, 278, 5);
}

TRectForm::TRectForm(IDialogHost& Host)
    : TObjectForm(Host, "Action Properties", 340, 92, {Edit("EditRect")}) {
  Add(MakeLabel("LblRect", "&Rectangle object hosting the Excel viewer:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 285, 21, 0));
  AddBrowse("BtnBrowseRect", 302, 32, kRectTip);
  AddOkCancel(176, 58, 1);
}

TGotoForm::TGotoForm(IDialogHost& Host)
    : TObjectForm(Host, "kvGridfoldGoto Properties", 340, 140,
                  {Edit("EditRect"), Edit("EditSheet")}) {
  Add(MakeLabel("LblRect", "&Rectangle object hosting the Excel viewer:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 285, 21, 0));
  AddBrowse("BtnBrowseRect", 302, 32, kRectTip);
  Add(MakeLabel("LblSheet", "&Sheet name or 1-based sheet number to show:", 12, 64, "EditSheet"));
  Add(MakeEdit("EditSheet", 12, 84, 313, 21, 1));
  AddOkCancel(176, 106, 2);
}

TSaveForm::TSaveForm(IDialogHost& Host)
    : TObjectForm(Host, "kvGridfoldSave Properties", 400, 190, {Edit("EditRect"), Edit("EditFile")},
                  kWorkbookFilter) {
  Add(MakeLabel("LblRect", "&Rectangle hosting the Excel viewer to save:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 345, 21, 0));
  AddBrowse("BtnBrowseRect", 362, 32, kRectTip);
  Add(MakeLabel("LblFile", "Save &as (leave blank to overwrite the file that was opened):", 12, 64,
                "EditFile"));
  Add(MakeEdit("EditFile", 12, 84, 345, 21, 1));
  AddBrowse("BtnBrowseFile", 362, 84, kFileTip);
  Add(
      MakeHint("Only cells edited through this viewer are changed - everything else in the "
               "workbook (styles, other sheets, images) is left as is.",
               12, 122, 376, 32));
  AddOkCancel(236, 156, 2);
}

TExportForm::TExportForm(IDialogHost& Host)
    : TObjectForm(Host, "kvGridfoldExport Properties", 420, 260,
                  {Edit("EditRect"),
                   Edit("EditFile"),
                   List("ComboFormat"),
                   // Only the word this form writes ticks the box; the
                   // export's other scope words are shown unticked.
                   {TKind::Check, "CheckAllSheets", "AllSheets", "CurrentSheet", false}},
                  kExportFilter) {
  Add(MakeLabel("LblRect", "&Rectangle hosting the Excel viewer to export:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 365, 21, 0));
  AddBrowse("BtnBrowseRect", 382, 32, kRectTip);
  Add(MakeLabel("LblFile", "&Export to file:", 12, 64, "EditFile"));
  Add(MakeEdit("EditFile", 12, 84, 365, 21, 1));
  AddBrowse("BtnBrowseFile", 382, 84, kFileTip);
  Add(MakeLabel("LblFormat", "F&ormat:", 12, 116, "ComboFormat"));
  Add(MakeList("ComboFormat", {"CSV", "Text", "HTML", "XMLSpreadsheet", "Word", "PDF"}, 12, 136,
               180, 2));
  Add(MakeCheck("CheckAllSheets", "Include &all worksheets (default: current sheet only)", 12, 164,
                300, 17, 3));
  Add(
      MakeHint("CSV and Text only ever hold one table, so with \"all worksheets\" checked they are "
               "written as one file per sheet instead (<file>_<SheetName>). HTML, XML "
               "Spreadsheet, Word and PDF can each hold every sheet in a single file.",
               12, 192, 396, 56));
  AddOkCancel(256, 226, 4);
}

THighlightForm::THighlightForm(IDialogHost& Host)
    : TObjectForm(Host, "kvGridfoldHighlight Properties", 340, 140,
                  {Edit("EditRect"), List("ComboColor")}) {
  Add(MakeLabel("LblRect", "&Rectangle object hosting the Excel viewer:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 285, 21, 0));
  AddBrowse("BtnBrowseRect", 302, 32, kRectTip);
  Add(MakeLabel("LblColor", "&Highlight color for the selected cell:", 12, 64, "ComboColor"));
  Add(MakeList("ComboColor", {}, 12, 84, 150, 1));
  AddOkCancel(176, 106, 2);
  FormCreate();
}

void THighlightForm::FormCreate() {
  TControl& C = Control("ComboColor");
  if (!C.Items.empty()) return;
  C.Items = SplitString("Yellow,Green,Red,Blue,Orange,None", ',');
  C.ItemIndex = 0;
}

}  // namespace kv
