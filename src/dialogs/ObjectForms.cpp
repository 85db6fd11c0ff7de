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

}  // namespace

TOpenForm::TOpenForm(IDialogHost& Host) : TFormModel(Host, "kvGridfoldOpen Properties", 400, 312) {
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

void TOpenForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
  SetText("EditFile", Param(P, 1));
  SetText("EditVar", Param(P, 2));
  SelectItemMatching("ComboToolbar", Param(P, 3));
  Control("CheckShowToolbar").Checked = SameTextAscii(Trim(Param(P, 4)), "Yes");
}

bool TOpenForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  Put(P, 1, Text("EditFile"));
  Put(P, 2, Text("EditVar"));
  Put(P, 3, SelectedItem("ComboToolbar"));
  Put(P, 4, Checked("CheckShowToolbar") ? "Yes" : "No");
  return true;
}

void TOpenForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
  if (Name == "BtnBrowseFile") BtnBrowseFileClick();
}

TRectForm::TRectForm(IDialogHost& Host) : TFormModel(Host, "Action Properties", 340, 92) {
  Add(MakeLabel("LblRect", "&Rectangle object hosting the Excel viewer:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 285, 21, 0));
  AddBrowse("BtnBrowseRect", 302, 32, kRectTip);
  AddOkCancel(176, 58, 1);
}

void TRectForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
}

bool TRectForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  return true;
}

void TRectForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
}

TGotoForm::TGotoForm(IDialogHost& Host) : TFormModel(Host, "kvGridfoldGoto Properties", 340, 140) {
  Add(MakeLabel("LblRect", "&Rectangle object hosting the Excel viewer:", 12, 12, "EditRect"));
  Add(MakeEdit("EditRect", 12, 32, 285, 21, 0));
  AddBrowse("BtnBrowseRect", 302, 32, kRectTip);
  Add(MakeLabel("LblSheet", "&Sheet name or 1-based sheet number to show:", 12, 64, "EditSheet"));
  Add(MakeEdit("EditSheet", 12, 84, 313, 21, 1));
  AddOkCancel(176, 106, 2);
}

void TGotoForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
  SetText("EditSheet", Param(P, 1));
}

bool TGotoForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  Put(P, 1, Text("EditSheet"));
  return true;
}

void TGotoForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
}

TSaveForm::TSaveForm(IDialogHost& Host) : TFormModel(Host, "kvGridfoldSave Properties", 400, 190) {
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

void TSaveForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
  SetText("EditFile", Param(P, 1));
}

bool TSaveForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  Put(P, 1, Text("EditFile"));
  return true;
}

void TSaveForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
  if (Name == "BtnBrowseFile") BtnBrowseFileClick();
}

TExportForm::TExportForm(IDialogHost& Host)
    : TFormModel(Host, "kvGridfoldExport Properties", 420, 260) {
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

void TExportForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
  SetText("EditFile", Param(P, 1));
  SelectItemMatching("ComboFormat", Param(P, 2));
  // Only the word this form writes ticks the box; the export's other scope
  // words are shown unticked.
  Control("CheckAllSheets").Checked = SameTextAscii(Param(P, 3), "AllSheets");
}

bool TExportForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  Put(P, 1, Text("EditFile"));
  Put(P, 2, SelectedItem("ComboFormat"));
  Put(P, 3, Checked("CheckAllSheets") ? "AllSheets" : "CurrentSheet");
  return true;
}

void TExportForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
  if (Name == "BtnBrowseFile") BtnBrowseFileClick();
}

THighlightForm::THighlightForm(IDialogHost& Host)
    : TFormModel(Host, "kvGridfoldHighlight Properties", 340, 140) {
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

void THighlightForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", Param(P, 0));
  SelectItemMatching("ComboColor", Param(P, 1));
}

bool THighlightForm::StoreParams(std::vector<std::string>& P) {
  Put(P, 0, Text("EditRect"));
  Put(P, 1, SelectedItem("ComboColor"));
  return true;
}

void THighlightForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BtnBrowseRectClick();
}

}  // namespace kv
