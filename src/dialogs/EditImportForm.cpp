#include "dialogs/EditImportForm.h"

#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "dialogs/ObjectForms.h"
#include "import/PublicationRules.h"
#include "workbook/Workbook.h"

namespace kv {

const char* const kNoSheetSelected = "Select at least one worksheet to import.";

namespace {

const char* const kPublicationFilter = "Folivant Publication|*.pub|All Files|*.*";

TControl InGroup(TControl C, const char* Group) {
  C.Parent = Group;
  return C;
}

TControl MakeButton(const std::string& Name, const std::string& Text, int Left, int Top,
                    int Width) {
  TControl C = MakeControl(Name, TControlKind::Button, Left, Top, Width, 25, -1);
  C.Text = Text;
  return C;
}

TControl MakeRadio(const std::string& Name, const std::string& Text, int Left, int Width) {
  TControl C = MakeControl(Name, TControlKind::RadioButton, Left, 22, Width, 17, -1);
  C.Text = Text;
  return C;
}

}  // namespace

TImportForm::TImportForm(IDialogHost& Host)
    : TFormModel(Host, "kvGridfoldImport Properties", 610, 520) {
  TControl Lbl = MakeLabel("LblExcel", "&Excel File Name:", 12, 12, "EditExcel");
  Lbl.Width = 180;
  Lbl.Height = 13;
  Add(Lbl);
  Add(MakeEdit("EditExcel", 12, 32, 550, 21, 0));
  AddBrowse("BtnBrowseExcel", 568, 32, "");
  Control("BtnBrowseExcel").Width = 30;

  TControl Sheets = MakeControl("GroupSheets", TControlKind::GroupBox, 12, 66, 586, 250, 1);
  Sheets.Text = "Names of the Sheets to be imported";
  Add(Sheets);
  TControl All =
      InGroup(MakeCheck("CheckAll", "Import ALL sheets", 12, 22, 160, 17, 0), "GroupSheets");
  All.Checked = true;
  Add(All);
  TControl List =
      InGroup(MakeControl("Sheet", TControlKind::CheckListBox, 12, 48, 560, 160, 1), "GroupSheets");
  List.ItemHeight = 16;
  Add(List);
  TControl SelAll = InGroup(MakeButton("BtnSelectAll", "Select ALL", 12, 215, 90), "GroupSheets");
  SelAll.TabOrder = 2;
  Add(SelAll);
  TControl SelNone =
      InGroup(MakeButton("BtnSelectNone", "Select NONE", 108, 215, 90), "GroupSheets");
  SelNone.TabOrder = 3;
  Add(SelNone);

  TControl Dest = MakeControl("GroupDestination", TControlKind::GroupBox, 12, 326, 586, 108, 2);
  Dest.Text = "Import Destination";
  Add(Dest);
  TControl Cur = InGroup(MakeRadio("RadioCurrent", "Import to current publication", 12, 210),
                         "GroupDestination");
  Cur.Checked = true;
  Cur.TabOrder = 0;
  Add(Cur);
  TControl Other =
      InGroup(MakeRadio("RadioOther", "Import to another pubfile", 228, 200), "GroupDestination");
  Other.TabOrder = 1;
  Add(Other);
  TControl Target =
      InGroup(MakeLabel("LblTarget", "Current publication (.pub):", 12, 49, "EditTarget"),
              "GroupDestination");
  Target.Width = 170;
  Target.Height = 13;
  Add(Target);
  Add(InGroup(MakeEdit("EditTarget", 185, 46, 365, 21, 2), "GroupDestination"));
  TControl Browse = MakeControl("BtnBrowseTarget", TControlKind::BrowseButton, 556, 46, 22, 22, -1);
  Browse.Text = "...";
  Add(InGroup(Browse, "GroupDestination"));

  Add(
      MakeHint("Current publication: a new .kvGridfold.pub copy is created beside the open "
               "publication; the open publication is never overwritten. Another publication: the "
               "selected .pub is updated directly. Each selected worksheet becomes one real page "
               "with an invisible Rectangle.",
               12, 445, 470, 43));
  AddOkCancel(426, 486, 3);
  Control("OKBtn").Width = 80;
  Control("CancelBtn").Left = 514;
  Control("CancelBtn").Width = 76;
}

void TImportForm::FillFromParams(const std::vector<std::string>& P) {
  auto Param = [&](size_t I) { return I < P.size() ? P[I] : std::string(); };
  SetText("EditExcel", Param(0));
  SetText("EditTarget", Param(2));
  if (IsBlank(Text("EditTarget"))) SetText("EditTarget", kCurrentPublicationTemplate);
  if (!IsBlank(Text("EditExcel"))) LoadSheets();
  RestoreSheetSpec(Param(1));

  const std::string Target = Text("EditTarget");
  bool Current = IsBlank(Target) || NamesCurrentPublication(Target);
  if (!Current) {
    const std::string Expanded = Host().ExpandPublicationPlaceholders(Target);
    const std::string Open = Host().CurrentPublicationPath();
    Current = !Open.empty() && SamePath(Open, FullPath(Expanded));
    if (!Current && (Target.find("[PubDir]") != std::string::npos ||
                     Target.find("[PubTitle]") != std::string::npos))
      Current = FileExists(Expanded);
  }
  SelectRadio(Current ? "RadioCurrent" : "RadioOther");
}

bool TImportForm::StoreParams(std::vector<std::string>& P) {
  const std::string Spec = SheetSpec();
  if (IsBlank(Spec)) {
    Host().SetLastError(kNoSheetSelected);
    return false;
  }
  if (P.size() < 3) P.resize(3);
  P[0] = Text("EditExcel");
  P[1] = Spec;
  if (Checked("RadioCurrent")) {
    const std::string T = Trim(Text("EditTarget"));
    const bool Token =
        T.empty() || SameTextAscii(T, kCurrentPublicationToken) || HasCurrentPublicationPrefix(T);
    P[2] = Token ? std::string(kCurrentPublicationTemplate) : T;
  } else {
    P[2] = Text("EditTarget");
  }
  return true;
}

void TImportForm::FormShow() {
  FLoading = false;
  if (SameTextAscii(Trim(Text("EditTarget")), kCurrentPublicationToken)) SetText("EditTarget", "");
  if (IsBlank(Text("EditTarget"))) SetText("EditTarget", kCurrentPublicationTemplate);
  UpdateTargetControls();
}

void TImportForm::LoadSheets() {
  if (FLoading) return;
  FLoading = true;
  TControl& List = Control("Sheet");
  List.Items.clear();
  List.ItemChecked.clear();
  const std::string FileName = Text("EditExcel");
  FLoadedFrom = FileName;
  try {
    if (FileExists(FileName)) {
      TXlsxWorkbook Book;
      Book.LoadFromFile(FileName);
      for (int I = 0; I < Book.SheetCount(); ++I) List.Items.push_back(Book.SheetName(I));
      List.ItemChecked.assign(List.Items.size(), true);
      Control("CheckAll").Checked = true;
    }
  } catch (const std::exception& E) {
    List.Items.clear();
    List.ItemChecked.clear();
    if (Ui())
      Ui()->ShowError(std::string("Unable to read the workbook:") + "\r\n" + ErrorMessage(E));
  }
  FLoading = false;
}

std::string TImportForm::SheetSpec() const {
  if (Checked("CheckAll")) return "ALL";
  const TControl& List = Control("Sheet");
  std::string Out;
  bool First = true;
  for (size_t I = 0; I < List.Items.size(); ++I) {
    if (I >= List.ItemChecked.size() || !List.ItemChecked[I]) continue;
    if (!First) Out += '|';
    Out += ReplaceAll(List.Items[I], "|", " ");
    First = false;
  }
  return Out;
}

void TImportForm::RestoreSheetSpec(const std::string& Spec) {
  if (SelectsAllSheets(Spec)) {
    Control("CheckAll").Checked = true;
    SetAllItems(true);
    return;
  }
  Control("CheckAll").Checked = false;
  SetAllItems(false);
  TControl& List = Control("Sheet");
  for (const std::string& Name : ParseSheetList(Spec))
    for (size_t I = 0; I < List.Items.size(); ++I)
      if (SameTextAscii(List.Items[I], Name)) List.ItemChecked[I] = true;
}

void TImportForm::SetAllItems(bool Checked) {
  TControl& List = Control("Sheet");
  List.ItemChecked.assign(List.Items.size(), Checked);
}

void TImportForm::SelectRadio(const std::string& Name) {
  Control("RadioCurrent").Checked = Name == "RadioCurrent";
  Control("RadioOther").Checked = Name == "RadioOther";
}

void TImportForm::CheckAllClick() {
  if (FLoading) return;
  SetAllItems(Checked("CheckAll"));
}

void TImportForm::SheetClickCheck() {
  if (FLoading) return;
  const TControl& List = Control("Sheet");
  bool All = !List.Items.empty();
  for (size_t I = 0; I < List.Items.size(); ++I)
    if (I >= List.ItemChecked.size() || !List.ItemChecked[I]) All = false;
  Control("CheckAll").Checked = All;
}

void TImportForm::BtnSelectAllClick() {
  SetAllItems(true);
  Control("CheckAll").Checked = true;
}

void TImportForm::BtnSelectNoneClick() {
  SetAllItems(false);
  Control("CheckAll").Checked = false;
}

void TImportForm::BrowseForFile(const std::string& Edit, const std::string& Filter) {
  if (!Ui()) return;
  std::string FileName = Text(Edit);
  if (Ui()->BrowseForFile(Filter, FileName)) SetText(Edit, FileName);
}

void TImportForm::BtnBrowseExcelClick() {
  BrowseForFile("EditExcel", kWorkbookFilter);
  LoadSheets();
}

void TImportForm::EditExcelExit() {
  // Only a changed file name reloads: moving the focus from the box into the
  // list must not throw away the selection that was restored or ticked.
  if (Text("EditExcel") != FLoadedFrom) LoadSheets();
}

void TImportForm::RadioCurrentClick() {
  SetText("EditTarget", kCurrentPublicationTemplate);
  UpdateTargetControls();
}

void TImportForm::RadioOtherClick() {
  UpdateTargetControls();
}

void TImportForm::BtnBrowseTargetClick() {
  BrowseForFile("EditTarget", kPublicationFilter);
  if (!IsBlank(Text("EditTarget"))) SelectRadio("RadioOther");
  UpdateTargetControls();
}

void TImportForm::UpdateTargetControls() {
  for (const char* Name : {"LblTarget", "EditTarget", "BtnBrowseTarget"})
    Control(Name).Enabled = true;
  if (Checked("RadioCurrent")) {
    SetText("LblTarget", "Current publication (.pub) - automatic:");
    ShowCurrentTarget();
    Control("EditTarget").ReadOnly = true;
    Control("BtnBrowseTarget").Enabled = false;
  } else {
    SetText("LblTarget", "Another publication (.pub):");
    Control("EditTarget").ReadOnly = false;
    Control("BtnBrowseTarget").Enabled = true;
  }
}

void TImportForm::ShowCurrentTarget() {
  const std::string Path = PublicationPathFromTitle(Host().ReadHostVariable("[PubDir]"),
                                                    Host().ReadHostVariable("[PubTitle]"));
  SetText("EditTarget", Path.empty() ? std::string(kCurrentPublicationTemplate) : Path);
}

void TImportForm::ItemCheckChanged(const std::string& Name, int Index) {
  (void)Index;
  if (Name == "Sheet") SheetClickCheck();
}

void TImportForm::ControlExit(const std::string& Name) {
  if (Name == "EditExcel") EditExcelExit();
}

void TImportForm::ButtonClick(const std::string& Name) {
  if (Name == "CheckAll") CheckAllClick();
  if (Name == "BtnSelectAll") BtnSelectAllClick();
  if (Name == "BtnSelectNone") BtnSelectNoneClick();
  if (Name == "BtnBrowseExcel") BtnBrowseExcelClick();
  if (Name == "RadioCurrent") RadioCurrentClick();
  if (Name == "RadioOther") RadioOtherClick();
  if (Name == "BtnBrowseTarget") BtnBrowseTargetClick();
}

}  // namespace kv
