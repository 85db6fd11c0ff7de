#include "dialogs/ObjectForms.h"

#include "base/Text.h"

namespace kv {

const char* const kWorkbookFilter = "Excel Workbook|*.xlsx;*.xlsm|All Files|*.*";
const char* const kExportFilter =
    "CSV|*.csv|Text (Tab delimited)|*.txt|Web Page|*.htm;*.html|"
    "XML Spreadsheet|*.xml|Word Document|*.docx|PDF|*.pdf|All Files|*.*";

namespace {

enum class TKind { Edit, List, Check };

// One parameter's control at the form's left edge. An edit or a list sits
// 20 pixels below its label, which is named "Lbl" and the control's name
// without its "Edit" or "Combo"; EditRect and EditFile have a browse button
// ("BtnBrowseRect", "BtnBrowseFile") at their right. A check box stores
// OnWord or OffWord and is ticked by OnWord (trimmed first when TrimOnRead).
struct TField {
  TKind Kind;
  const char* Control;
  const char* Caption;  // the label's, or the check box's own
  int Top;              // the label's, or the check box's
  int Width;
  std::vector<std::string> Items = {};
  const char* OnWord = nullptr;
  const char* OffWord = nullptr;
  bool TrimOnRead = false;
  int Height = 21;  // a check box's
};

struct TFormRow {
  int Id;
  const char* Caption;
  int Width, Height;
  std::vector<TField> Fields;
  const char* FileFilter = nullptr;
  const char* Hint = nullptr;  // under the fields, 12 pixels in from each side
  int HintTop = 0, HintHeight = 0;
};

TField Edit(const char* Control, const char* Caption, int Top, int Width) {
  return {TKind::Edit, Control, Caption, Top, Width};
}
TField List(const char* Control, const char* Caption, int Top, int Width,
            std::vector<std::string> Items) {
  return {TKind::List, Control, Caption, Top, Width, std::move(Items)};
}
TField Check(const char* Control, const char* Caption, int Top, int Width, int Height,
             const char* OnWord, const char* OffWord, bool TrimOnRead) {
  return {TKind::Check, Control, Caption, Top, Width, {}, OnWord, OffWord, TrimOnRead, Height};
}
TFormRow Form(int Id, const char* Caption, int Width, int Height, std::vector<TField> Fields,
              const char* FileFilter = nullptr, const char* Hint = nullptr, int HintTop = 0,
              int HintHeight = 0) {
  return {Id, Caption, Width, Height, std::move(Fields), FileFilter, Hint, HintTop, HintHeight};
}

const char* const kViewerRect = "&Rectangle object hosting the Excel viewer:";

const std::vector<TFormRow>& FormRows() {
  static const std::vector<TFormRow> Rows = {
      Form(1, "kvGridfoldOpen Properties", 400, 312,
           {Edit("EditRect", "&Rectangle object to attach the viewer to:", 12, 345),
            Edit("EditFile", "&Excel file (.xlsx):", 64, 345),
            Edit("EditVar", "&Variable to store the current sheet name (optional):", 116, 345),
            List("ComboToolbar", "&Editing toolbar (Prev/Next/Save):", 168, 180,
                 {"None", "Page", "Top", "Bottom", "Left", "Right"}),
            Check("CheckShowToolbar", "Show &Edit/Highlight/Save/Prev/Next-sheet action toolbar",
                  212, 345, 21, "Yes", "No", true)},
           kWorkbookFilter,
           "Also sets <Variable>_Index and <Variable>_Count so scripts can react to the sheet "
           "count and current position. The toolbar, if placed, is docked to the chosen edge "
           "inside the same Rectangle - it is not a separate object. The target must be a "
           "Rectangle.",
           244, 52),
      Form(2, "kvGridfoldNext Properties", 340, 92, {Edit("EditRect", kViewerRect, 12, 285)}),
      Form(3, "kvGridfoldPrev Properties", 340, 92, {Edit("EditRect", kViewerRect, 12, 285)}),
      Form(4, "kvGridfoldGoto Properties", 340, 140,
           {Edit("EditRect", kViewerRect, 12, 285),
            Edit("EditSheet", "&Sheet name or 1-based sheet number to show:", 64, 313)}),
      Form(5, "kvGridfoldClose Properties", 340, 92, {Edit("EditRect", kViewerRect, 12, 285)}),
      Form(6, "kvGridfoldSave Properties", 400, 190,
           {Edit("EditRect", "&Rectangle hosting the Excel viewer to save:", 12, 345),
            Edit("EditFile", "Save &as (leave blank to overwrite the file that was opened):", 64,
                 345)},
           kWorkbookFilter,
           "Only cells edited through this viewer are changed - everything else in the "
           "workbook (styles, other sheets, images) is left as is.",
           122, 32),
      // Only the scope word this form writes ticks its box; the export's
      // other scope words are shown unticked.
      Form(7, "kvGridfoldExport Properties", 420, 260,
           {Edit("EditRect", "&Rectangle hosting the Excel viewer to export:", 12, 365),
            Edit("EditFile", "&Export to file:", 64, 365),
            List("ComboFormat", "F&ormat:", 116, 180,
                 {"CSV", "Text", "HTML", "XMLSpreadsheet", "Word", "PDF"}),
            Check("CheckAllSheets", "Include &all worksheets (default: current sheet only)", 164,
                  300, 17, "AllSheets", "CurrentSheet", false)},
           kExportFilter,
           "CSV and Text only ever hold one table, so with \"all worksheets\" checked they are "
           "written as one file per sheet instead (<file>_<SheetName>). HTML, XML "
           "Spreadsheet, Word and PDF can each hold every sheet in a single file.",
           192, 56),
      Form(9, "kvGridfoldEdit Properties", 340, 92, {Edit("EditRect", kViewerRect, 12, 285)}),
      Form(10, "kvGridfoldHighlight Properties", 340, 140,
           {Edit("EditRect", kViewerRect, 12, 285),
            List("ComboColor", "&Highlight color for the selected cell:", 64, 150,
                 {"Yellow", "Green", "Red", "Blue", "Orange", "None"})}),
  };
  return Rows;
}

// A missing parameter reads as empty, as a null slot does.
const std::string& Param(const std::vector<std::string>& P, size_t I) {
  static const std::string Empty;
  return I < P.size() ? P[I] : Empty;
}

void Put(std::vector<std::string>& P, size_t I, const std::string& Text) {
  if (P.size() <= I) P.resize(I + 1);
  P[I] = Text;
}

// A form of the table: parameter I goes to and from field I.
class TObjectForm : public TFormModel {
 public:
  TObjectForm(IDialogHost& Host, const TFormRow& Row);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;

 protected:
  void ButtonClick(const std::string& Name) override;

 private:
  void AddField(const TField& F, int Tab);

  const TFormRow& FRow;
};

TObjectForm::TObjectForm(IDialogHost& Host, const TFormRow& Row)
    : TFormModel(Host, Row.Caption, Row.Width, Row.Height), FRow(Row) {
  int Tab = 0;
  for (const TField& F : Row.Fields) AddField(F, Tab++);
  if (Row.Hint) Add(MakeHint(Row.Hint, 12, Row.HintTop, Row.Width - 24, Row.HintHeight));
  AddOkCancel(Row.Width - 164, Row.Height - 34, Tab);
}

void TObjectForm::AddField(const TField& F, int Tab) {
  const std::string Name = F.Control;
  if (F.Kind == TKind::Check) {
    Add(MakeCheck(Name, F.Caption, 12, F.Top, F.Width, F.Height, Tab));
    return;
  }
  const size_t Prefix = F.Kind == TKind::Edit ? 4 : 5;  // "Edit", "Combo"
  Add(MakeLabel("Lbl" + Name.substr(Prefix), F.Caption, 12, F.Top, Name));
  if (F.Kind == TKind::List) {
    Add(MakeList(Name, F.Items, 12, F.Top + 20, F.Width, Tab));
    return;
  }
  Add(MakeEdit(Name, 12, F.Top + 20, F.Width, 21, Tab));
  if (Name == "EditRect")
    AddBrowse("BtnBrowseRect", 17 + F.Width, F.Top + 20, "Select a Rectangle");
  if (Name == "EditFile") AddBrowse("BtnBrowseFile", 17 + F.Width, F.Top + 20, "Browse for a file");
}

void TObjectForm::FillFromParams(const std::vector<std::string>& P) {
  for (size_t I = 0; I < FRow.Fields.size(); ++I) {
    const TField& F = FRow.Fields[I];
    if (F.Kind == TKind::Edit)
      SetText(F.Control, Param(P, I));
    else if (F.Kind == TKind::List)
      SelectItemMatching(F.Control, Param(P, I));
    else
      Control(F.Control).Checked =
          SameTextAscii(F.TrimOnRead ? Trim(Param(P, I)) : Param(P, I), F.OnWord);
  }
}

bool TObjectForm::StoreParams(std::vector<std::string>& P) {
  for (size_t I = 0; I < FRow.Fields.size(); ++I) {
    const TField& F = FRow.Fields[I];
    if (F.Kind == TKind::Edit)
      Put(P, I, Text(F.Control));
    else if (F.Kind == TKind::List)
      Put(P, I, SelectedItem(F.Control));
    else
      Put(P, I, Checked(F.Control) ? F.OnWord : F.OffWord);
  }
  return true;
}

void TObjectForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BrowseRect();
  if (Name == "BtnBrowseFile" && FRow.FileFilter) BrowseHostFile("EditFile", FRow.FileFilter);
}

}  // namespace

std::unique_ptr<TFormModel> CreateObjectForm(int Id, IDialogHost& Host) {
  for (const TFormRow& Row : FormRows())
    if (Row.Id == Id) return std::make_unique<TObjectForm>(Host, Row);
  return nullptr;
}

}  // namespace kv
