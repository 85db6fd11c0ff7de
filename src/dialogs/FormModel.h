// The portable model of a property dialog. A form is a fixed list of controls
// (kind, caption, position in pixels at 96 dpi, tab order, tooltip) plus their
// state (texts, check marks, selections, enabled and read-only flags) and the
// handlers that change that state. The Win32 view creates one window per
// control from the list, copies the state into the windows, and hands every
// click, check change and focus loss back to the model, then copies the state
// out again; all decisions stay here and are tested natively.
//
// A form reaches the host only through IDialogHost and the platform's own
// dialogs (file open, colour, message box) only through IDialogUi, so the
// models need neither the plug-in nor Windows.
#ifndef KV_DIALOGS_FORMMODEL_H
#define KV_DIALOGS_FORMMODEL_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

// Modal results.
constexpr int kModalOk = 1;
constexpr int kModalCancel = 2;

// What the forms need of the host. Texts are UTF-8.
class IDialogHost {
 public:
  virtual ~IDialogHost() = default;
  virtual bool HasInterfaceAccess() const = 0;
  // As IHost::InterfaceAccess (request codes in base/HostPorts.h): Slot in,
  // what the host left there out.
  // Requires: HasInterfaceAccess().
  virtual bool InterfaceAccess(int Request, std::optional<std::string>& Slot) = 0;
  // A bracketed host variable; empty when it cannot be read. Never raises.
  virtual std::string ReadHostVariable(const std::string& Name) = 0;
  // Puts Message into "[LastError]" when the host can take it. Never raises.
  virtual void SetLastError(const std::string& Message) = 0;
  // The open publication's full path, empty when unknown. Never raises.
  virtual std::string CurrentPublicationPath() = 0;
  // "[PubDir]" and "[PubTitle]" expanded from the host's variables. Never raises.
  virtual std::string ExpandPublicationPlaceholders(const std::string& Text) = 0;
};

// The platform dialogs a form opens itself, owned by the form's window.
class IDialogUi {
 public:
  virtual ~IDialogUi() = default;
  // File-open dialog starting at FileName; on OK FileName takes the choice.
  // Filter: description and pattern pairs joined by "|".
  virtual bool BrowseForFile(const std::string& Filter, std::string& FileName) = 0;
  // Colour dialog; Preset and Chosen are COLORREF values (red in the low byte).
  virtual bool RunColorDialog(std::optional<uint32_t> Preset, uint32_t& Chosen) = 0;
  // Error message box with one OK button.
  virtual void ShowError(const std::string& Text) = 0;
};

class TFormModel;

// Shows a form modally; the Win32 view on Windows, a script in tests.
class IFormRunner {
 public:
  virtual ~IFormRunner() = default;
  // The platform dialogs, owned by the form's window once it exists and by
  // the active window before.
  virtual IDialogUi& Ui() = 0;
  // Runs the form until a button with a modal result (or closing the window,
  // kModalCancel) ends it; returns that result. Raises: TKvError when the
  // dialog cannot be created.
  virtual int ShowModal(TFormModel& Form) = 0;
};

enum class TControlKind {
  Label,      // sized to its caption when Width is 0
  HintLabel,  // fixed size, wraps its text
  Edit,
  BrowseButton,  // flat "..." button, outside the tab order
  Button,
  DropDownList,  // pick only, no free text
  CheckBox,
  RadioButton,
  GroupBox,
  CheckListBox,
};

struct TControl {
  std::string Name;
  TControlKind Kind = TControlKind::Label;
  std::string Text;  // caption, or the text of an edit box
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int TabOrder = -1;   // -1: not a tab stop
  std::string Parent;  // group box holding it; positions are relative to it
  std::string Tooltip;
  std::string FocusControl;  // labels: where their accelerator moves the focus
  std::vector<std::string> Items;
  std::vector<bool> ItemChecked;  // check list boxes, one per item
  int ItemIndex = -1;
  int ItemHeight = 0;
  bool Checked = false;
  bool Enabled = true;
  bool ReadOnly = false;
  int ModalResult = 0;  // buttons that end the dialog
  bool IsDefault = false;
  bool IsCancel = false;
};

class TFormModel {
 public:
  TFormModel(IDialogHost& Host, std::string Caption, int ClientWidth, int ClientHeight);
  virtual ~TFormModel() = default;
  TFormModel(const TFormModel&) = delete;
  TFormModel& operator=(const TFormModel&) = delete;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Caption) { FCaption = Caption; }
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }

  std::vector<TControl>& Controls() { return FControls; }
  const std::vector<TControl>& Controls() const { return FControls; }
  // Requires: a control of that name exists (raises TKvError otherwise).
  TControl& Control(const std::string& Name);
  const TControl& Control(const std::string& Name) const;
  bool HasControl(const std::string& Name) const;

  std::string Text(const std::string& Name) const { return Control(Name).Text; }
  void SetText(const std::string& Name, const std::string& Text) { Control(Name).Text = Text; }
  bool Checked(const std::string& Name) const { return Control(Name).Checked; }
  // The selected item of a drop-down list, empty when none.
  std::string SelectedItem(const std::string& Name) const;

  void SetUi(IDialogUi* Ui) { FUi = Ui; }

  // Fills the controls from an action's parameter texts.
  virtual void FillFromParams(const std::vector<std::string>& Params) = 0;
  // After OK: writes the parameters back. False when nothing may be stored
  // (Params then unchanged).
  virtual bool StoreParams(std::vector<std::string>& Params) = 0;

  // Events from the view. Click: a button was pressed, or a check box or radio
  // button was clicked (its Checked already shows the new state; a radio
  // button's siblings are unchecked here). ItemCheckChanged: the mark of item
  // Index of a check list box changed (ItemChecked shows the new state).
  // ControlExit: the focus left the control.
  void Click(const std::string& Name);
  virtual void ItemCheckChanged(const std::string& Name, int Index);
  virtual void ControlExit(const std::string& Name);
  virtual void FormShow() {}

 protected:
  TControl& Add(TControl C);
  // Adds OK and Cancel, 70 by 25, OK 8 pixels left of Cancel.
  void AddOkCancel(int OkLeft, int Top, int OkTab);
  // Adds the flat "..." button right of a field.
  void AddBrowse(const std::string& Name, int Left, int Top, const std::string& Tooltip);
  // Adds an edit box Name ("Edit..."), Width by 21, 20 pixels below its
  // label, which stands at Left, Top and is named "Lbl" and the rest of Name.
  void AddLabeledEdit(const std::string& Name, const std::string& Caption, int Left, int Top,
                      int Width, int Tab);
  virtual void ButtonClick(const std::string& Name);

  // Selects the item equal to Value (whole text, ASCII case ignored), else the first.
  void SelectItemMatching(const std::string& Combo, const std::string& Value);
  // The host's object picker on EditRect; the field is kept when cancelled.
  void BrowseRect(const std::string& Edit = "EditRect");
  // The host's file picker on Edit with Filter.
  void BrowseHostFile(const std::string& Edit, const std::string& Filter);

  IDialogHost& Host() { return *FHost; }
  IDialogUi* Ui() { return FUi; }

 private:
  std::string FCaption;
  int FClientWidth;
  int FClientHeight;
  std::vector<TControl> FControls;
  IDialogHost* FHost;
  IDialogUi* FUi = nullptr;
};

// The request text of the host's file picker: current file, an empty field,
// the filter, "False", "True", joined by "\r".
std::string MakePickFileRequest(const std::string& CurrentFile, const std::string& Filter);

// Builders for the control table.
TControl MakeControl(const std::string& Name, TControlKind Kind, int Left, int Top, int Width,
                     int Height, int Tab);
TControl MakeLabel(const std::string& Name, const std::string& Text, int Left, int Top,
                   const std::string& Focus);
TControl MakeEdit(const std::string& Name, int Left, int Top, int Width, int Height, int Tab);
TControl MakeList(const std::string& Name, std::vector<std::string> Items, int Left, int Top,
                  int Width, int Tab);
TControl MakeCheck(const std::string& Name, const std::string& Text, int Left, int Top, int Width,
                   int Height, int Tab);
TControl MakeHint(const std::string& Text, int Left, int Top, int Width, int Height);

}  // namespace kv

#endif
