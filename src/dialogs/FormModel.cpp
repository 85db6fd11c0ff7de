#include "dialogs/FormModel.h"

#include <utility>

#include "base/Error.h"
#include "base/HostPorts.h"
#include "base/Text.h"

namespace kv {

TControl MakeControl(const std::string& Name, TControlKind Kind, int Left, int Top, int Width,
                     int Height, int Tab) {
  TControl C;
  C.Name = Name;
  C.Kind = Kind;
  C.Left = Left;
  C.Top = Top;
  C.Width = Width;
  C.Height = Height;
  C.TabOrder = Tab;
  return C;
}

TFormModel::TFormModel(IDialogHost& Host, std::string Caption, int ClientWidth, int ClientHeight)
    : FCaption(std::move(Caption)),
      FClientWidth(ClientWidth),
      FClientHeight(ClientHeight),
      FHost(&Host) {}

TControl& TFormModel::Control(const std::string& Name) {
  for (TControl& C : FControls)
    if (C.Name == Name) return C;
  throw TKvError("The dialog has no control " + Name + ".");
}

const TControl& TFormModel::Control(const std::string& Name) const {
  return const_cast<TFormModel*>(this)->Control(Name);
}

bool TFormModel::HasControl(const std::string& Name) const {
  for (const TControl& C : FControls)
    if (C.Name == Name) return true;
  return false;
}

std::string TFormModel::SelectedItem(const std::string& Name) const {
  const TControl& C = Control(Name);
  if (C.ItemIndex < 0 || C.ItemIndex >= static_cast<int>(C.Items.size())) return {};
  return C.Items[static_cast<size_t>(C.ItemIndex)];
}

TControl& TFormModel::Add(TControl C) {
  FControls.push_back(std::move(C));
  return FControls.back();
}

void TFormModel::AddOkCancel(int OkLeft, int Top, int OkTab) {
  // Some hint texts need more lines than the row above the buttons leaves;
  // rather than let the buttons cover the hint's last line, the button row
  // moves below it and the form grows by as much.
  for (const TControl& C : FControls) {
    if (C.Kind != TControlKind::HintLabel || !C.Parent.empty()) continue;
    const int Right = OkLeft + 78 + 70;
    if (C.Left + C.Width <= OkLeft || Right <= C.Left || C.Top + C.Height <= Top) continue;
    const int Shift = C.Top + C.Height + 8 - Top;
    Top += Shift;
    FClientHeight += Shift;
  }
  TControl Ok = MakeControl("OKBtn", TControlKind::Button, OkLeft, Top, 70, 25, OkTab);
  Ok.Text = "OK";
  Ok.ModalResult = kModalOk;
  Ok.IsDefault = true;
  TControl Cancel =
      MakeControl("CancelBtn", TControlKind::Button, OkLeft + 78, Top, 70, 25, OkTab + 1);
  Cancel.Text = "Cancel";
  Cancel.ModalResult = kModalCancel;
  Cancel.IsCancel = true;
  Add(std::move(Ok));
  Add(std::move(Cancel));
}

void TFormModel::AddBrowse(const std::string& Name, int Left, int Top, const std::string& Tooltip) {
  TControl B = MakeControl(Name, TControlKind::BrowseButton, Left, Top, 23, 22, -1);
  B.Text = "...";
  B.Tooltip = Tooltip;
  Add(std::move(B));
}

void TFormModel::AddLabeledEdit(const std::string& Name, const std::string& Caption, int Left,
                                int Top, int Width, int Tab) {
  Add(MakeLabel("Lbl" + Name.substr(4), Caption, Left, Top, Name));
  Add(MakeEdit(Name, Left, Top + 20, Width, 21, Tab));
}

void TFormModel::Click(const std::string& Name) {
  TControl& C = Control(Name);
  if (C.Kind == TControlKind::RadioButton) {
    for (TControl& Other : FControls)
      if (Other.Kind == TControlKind::RadioButton && Other.Parent == C.Parent)
        Other.Checked = false;
    C.Checked = true;
  }
  ButtonClick(Name);
}

void TFormModel::ButtonClick(const std::string& Name) {
  (void)Name;
}
void TFormModel::ItemCheckChanged(const std::string& Name, int Index) {
  (void)Name;
  (void)Index;
}
void TFormModel::ControlExit(const std::string& Name) {
  (void)Name;
}

void TFormModel::SelectItemMatching(const std::string& Combo, const std::string& Value) {
  TControl& C = Control(Combo);
  C.ItemIndex = C.Items.empty() ? -1 : 0;
  for (size_t I = 0; I < C.Items.size(); ++I)
    if (SameTextAscii(C.Items[I], Value)) {
      C.ItemIndex = static_cast<int>(I);
      break;
    }
}

void TFormModel::BrowseRect(const std::string& Edit) {
  if (!FHost->HasInterfaceAccess()) return;
  std::optional<std::string> Slot = Text(Edit);
  if (FHost->InterfaceAccess(iaPickObject, Slot)) SetText(Edit, Slot.value_or(""));
}

void TFormModel::BrowseHostFile(const std::string& Edit, const std::string& Filter) {
  if (!FHost->HasInterfaceAccess()) return;
  std::optional<std::string> Slot = MakePickFileRequest(Text(Edit), Filter);
  if (FHost->InterfaceAccess(iaPickFile, Slot)) SetText(Edit, Slot.value_or(""));
}

std::string MakePickFileRequest(const std::string& CurrentFile, const std::string& Filter) {
  return CurrentFile + "\r" + "\r" + Filter + "\r" + "False" + "\r" + "True";
}

TControl MakeLabel(const std::string& Name, const std::string& Text, int Left, int Top,
                   const std::string& Focus) {
  TControl C = MakeControl(Name, TControlKind::Label, Left, Top, 0, 0, -1);
  C.Text = Text;
  C.FocusControl = Focus;
  return C;
}

TControl MakeEdit(const std::string& Name, int Left, int Top, int Width, int Height, int Tab) {
  return MakeControl(Name, TControlKind::Edit, Left, Top, Width, Height, Tab);
}

TControl MakeList(const std::string& Name, std::vector<std::string> Items, int Left, int Top,
                  int Width, int Tab) {
  TControl C = MakeControl(Name, TControlKind::DropDownList, Left, Top, Width, 21, Tab);
  C.Items = std::move(Items);
  C.ItemIndex = C.Items.empty() ? -1 : 0;
  return C;
}

TControl MakeCheck(const std::string& Name, const std::string& Text, int Left, int Top, int Width,
                   int Height, int Tab) {
  TControl C = MakeControl(Name, TControlKind::CheckBox, Left, Top, Width, Height, Tab);
  C.Text = Text;
  return C;
}

TControl MakeHint(const std::string& Text, int Left, int Top, int Width, int Height) {
  TControl C = MakeControl("LblHint", TControlKind::HintLabel, Left, Top, Width, Height, -1);
  C.Text = Text;
  return C;
}

}  // namespace kv
