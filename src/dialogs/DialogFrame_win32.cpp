#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <map>
#include <memory>
#include <type_traits>

#include "base/Error.h"
#include "base/Text.h"
#include "base/WideText.h"
#include "dialogs/DialogFrame.h"
#include "dialogs/FormLayout.h"
#include "base/ScopedWin.h"

namespace kv {

namespace {

constexpr int kFirstId = 1000;
constexpr int kDroppedListHeight = 200;  // a drop-down's window includes its list
const wchar_t* const kNameProp = L"kvControlName";

std::wstring WindowText(HWND H) {
  int Len = GetWindowTextLengthW(H);
  std::wstring S(static_cast<size_t>(Len) + 1, L'\0');
  GetWindowTextW(H, S.data(), Len + 1);
  S.resize(static_cast<size_t>(Len));
  return S;
}

// Measures in the dialog's font on the dialog's own device context.
class TDcMeasure : public ITextMeasure {
 public:
  TDcMeasure(HWND Dlg, HFONT Font) : FDlg(Dlg), FFont(Font) {}
  int TextWidth(const std::string& Text) override {
    const TScopedGetDc Dc(FDlg);
    const TScopedSelect Font(Dc, FFont);
    std::wstring T = WideOf(Text);
    SIZE Sz = {};
    GetTextExtentPoint32W(Dc, T.c_str(), static_cast<int>(T.size()), &Sz);
    return Sz.cx;
  }
  int WrappedTextHeight(const std::string& Text, int Width) override {
    const TScopedGetDc Dc(FDlg);
    const TScopedSelect Font(Dc, FFont);
    std::wstring T = WideOf(Text);
    RECT R = {0, 0, Width, 0};
    DrawTextW(Dc, T.c_str(), -1, &R, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return R.bottom;
  }
  int CheckMarkWidth() override { return GetSystemMetrics(SM_CXMENUCHECK); }

 private:
  HWND FDlg;
  HFONT FFont;
};

class TWin32Frame : public IFormRunner, public IDialogUi {
 public:
  IDialogUi& Ui() override { return *this; }
  int ShowModal(TFormModel& Form) override;

  bool BrowseForFile(const std::string& Filter, std::string& FileName) override;
  bool RunColorDialog(std::optional<uint32_t> Preset, uint32_t& Chosen) override;
  void ShowError(const std::string& Text) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND Dlg, UINT Msg, WPARAM WParam, LPARAM LParam);
  void Init(HWND Dlg);
  void PlaceLabel(size_t Index);
  // The window class and styles that show a model control.
  struct TWindowKind {
    const wchar_t* Class = L"STATIC";
    DWORD Style = WS_CHILD | WS_VISIBLE;
    DWORD Ex = 0;
  };
  void CreateControls();
  HWND CreateControl(size_t Index);
  TWindowKind WindowKindOf(size_t Index);
  void FillControl(HWND H, size_t Index, int Width);
  void AddTooltip(HWND H, const std::string& Text);
  void ModelToWindows();
  void WindowsToModel();
  void Handle(size_t Index, int Event);
  HWND Owner() const { return FDlg ? FDlg : GetActiveWindow(); }
  TControl& Model(size_t Index) { return FForm->Controls()[Index]; }

  TFormModel* FForm = nullptr;
  HWND FDlg = nullptr;
  TScopedFont FFont;  // the dialog font
  std::unique_ptr<TDcMeasure> FMeasure;
  HWND FTips = nullptr;
  std::vector<HWND> FWindows;  // per model control
  std::vector<std::vector<std::string>> FShownItems;
  bool FSyncing = false;
  bool FInHandler = false;
  bool FEnded = false;
};

enum { evClick, evExit, evItemCheck };

int TWin32Frame::ShowModal(TFormModel& Form) {
  FForm = &Form;
  // An empty template: the frame sizes the window and creates the controls
  // itself, in pixels rather than dialog units.
  alignas(4) WORD Template[32] = {};
  auto* T = reinterpret_cast<DLGTEMPLATE*>(Template);
  T->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  T->cdit = 0;
  WORD* P = reinterpret_cast<WORD*>(T + 1);
  *P++ = 0;  // menu
  *P++ = 0;  // class
  *P++ = 0;  // title
  *P++ = 8;  // point size
  for (const wchar_t* F = L"MS Sans Serif"; *F; ++F) *P++ = static_cast<WORD>(*F);
  *P++ = 0;
  HWND Parent = GetActiveWindow();
  INT_PTR R = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), T, Parent, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
  FMeasure.reset();
  FFont.Reset();
  FDlg = nullptr;
  FForm = nullptr;
  if (R == -1) throw TKvError("The dialog could not be created.");
  return static_cast<int>(R);
}

INT_PTR CALLBACK TWin32Frame::DialogProc(HWND Dlg, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto* Self = reinterpret_cast<TWin32Frame*>(GetWindowLongPtrW(Dlg, DWLP_USER));
  switch (Msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(Dlg, DWLP_USER, LParam);
      reinterpret_cast<TWin32Frame*>(LParam)->Init(Dlg);
      return TRUE;
    case WM_COMMAND: {
      if (!Self || Self->FSyncing || Self->FEnded) break;
      int Id = LOWORD(WParam), Code = HIWORD(WParam);
      size_t Index = 0;
      if (Id == IDOK || Id == IDCANCEL) {
        int Wanted = Id == IDOK ? kModalOk : kModalCancel;
        for (size_t I = 0; I < Self->FWindows.size(); ++I)
          if (Self->Model(I).ModalResult == Wanted) Index = I + 1;
        if (!Index) {
          if (Id == IDCANCEL) {
            Self->FEnded = true;
            EndDialog(Dlg, kModalCancel);
          }
          return TRUE;
        }
        Self->Handle(Index - 1, evClick);
        return TRUE;
      }
      if (Id < kFirstId || Id >= kFirstId + static_cast<int>(Self->FWindows.size())) break;
      Index = static_cast<size_t>(Id - kFirstId);
      if (Code == BN_CLICKED) Self->Handle(Index, evClick);
      if (Code == EN_KILLFOCUS) Self->Handle(Index, evExit);
      return TRUE;
    }
    case WM_NOTIFY: {
      if (!Self || Self->FSyncing || Self->FEnded) break;
      auto* Hdr = reinterpret_cast<NMHDR*>(LParam);
      if (Hdr->code != LVN_ITEMCHANGED) break;
      auto* Lv = reinterpret_cast<NMLISTVIEW*>(LParam);
      if (!(Lv->uChanged & LVIF_STATE) ||
          ((Lv->uOldState ^ Lv->uNewState) & LVIS_STATEIMAGEMASK) == 0)
        break;
      int Id = static_cast<int>(Hdr->idFrom);
      if (Id >= kFirstId && Id < kFirstId + static_cast<int>(Self->FWindows.size()))
        Self->Handle(static_cast<size_t>(Id - kFirstId), evItemCheck + Lv->iItem);
      return TRUE;
    }
    case WM_DESTROY:
      if (Self)
        for (HWND H : Self->FWindows)
          if (H)
            GlobalDeleteAtom(
                static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(H, kNameProp))));
      break;
    case WM_CLOSE:
      if (Self && !Self->FEnded) {
        Self->WindowsToModel();
        Self->FEnded = true;
        EndDialog(Dlg, kModalCancel);
      }
      return TRUE;
  }
  return FALSE;
}

void TWin32Frame::Init(HWND Dlg) {
  FDlg = Dlg;
  FEnded = false;
  SetWindowTextW(Dlg, WideOf(FForm->Caption()).c_str());
  FFont.Reset(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));
  FMeasure = std::make_unique<TDcMeasure>(Dlg, FFont.Get());
  // The font the system substitutes may need more lines than the table
  // allows; whatever sits below a hint then moves down with it.
  const int Grow = ReflowHints(*FForm, *FMeasure);
  RECT R = {0, 0, FForm->ClientWidth(), FForm->ClientHeight() + Grow};
  DWORD Style = static_cast<DWORD>(GetWindowLongPtrW(Dlg, GWL_STYLE));
  DWORD ExStyle = static_cast<DWORD>(GetWindowLongPtrW(Dlg, GWL_EXSTYLE));
  AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
  const int Width = R.right - R.left, Height = R.bottom - R.top;
  const int X = (GetSystemMetrics(SM_CXSCREEN) - Width) / 2;
  const int Y = (GetSystemMetrics(SM_CYSCREEN) - Height) / 2;
  SetWindowPos(Dlg, nullptr, X, Y, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
  CreateControls();
  FForm->FormShow();
  ModelToWindows();
  for (size_t I = 0; I < FWindows.size(); ++I)
    if (Model(I).TabOrder == 0 && Model(I).Parent.empty() &&
        Model(I).Kind != TControlKind::GroupBox) {
      SetFocus(FWindows[I]);
      break;
    }
}

void TWin32Frame::PlaceLabel(size_t Index) {
  // A fixed-width label follows its caption, and so does the field it names.
  const TControl& C = Model(Index);
  for (size_t I = 0; I < FWindows.size(); ++I) {
    if (!FWindows[I] || (I != Index && Model(I).Name != C.FocusControl)) continue;
    const TBounds B = PlaceControl(*FForm, I, *FMeasure);
    const bool Dropped = Model(I).Kind == TControlKind::DropDownList;
    MoveWindow(FWindows[I], B.Left, B.Top, B.Width, Dropped ? kDroppedListHeight : B.Height, TRUE);
  }
}

void TWin32Frame::CreateControls() {
  FWindows.assign(FForm->Controls().size(), nullptr);
  FShownItems.assign(FForm->Controls().size(), {});
  // Creation order is the tab order.
  for (size_t I : CreationOrder(*FForm)) FWindows[I] = CreateControl(I);
}

TWin32Frame::TWindowKind TWin32Frame::WindowKindOf(size_t Index) {
  const TControl& C = Model(Index);
  TWindowKind K;
  switch (C.Kind) {
    case TControlKind::Label:
      K.Style |= SS_LEFT;
      break;
    case TControlKind::HintLabel:
      K.Style |= SS_LEFT | SS_NOPREFIX;
      break;
    case TControlKind::Edit:
      K.Class = L"EDIT";
      K.Style |= WS_TABSTOP | ES_AUTOHSCROLL;
      K.Ex = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::BrowseButton:
      K.Class = L"BUTTON";
      K.Style |= BS_PUSHBUTTON | BS_FLAT;
      break;
    case TControlKind::Button:
      K.Class = L"BUTTON";
      K.Style |= WS_TABSTOP | (C.IsDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case TControlKind::DropDownList:
      K.Class = L"COMBOBOX";
      K.Style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case TControlKind::CheckBox:
      K.Class = L"BUTTON";
      K.Style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
    case TControlKind::RadioButton: {
      K.Class = L"BUTTON";
      K.Style |= WS_TABSTOP | BS_AUTORADIOBUTTON;
      bool First = true;
      for (size_t I = 0; I < Index; ++I)
        if (Model(I).Kind == TControlKind::RadioButton && Model(I).Parent == C.Parent)
          First = false;
      if (First) K.Style |= WS_GROUP;
      break;
    }
    case TControlKind::GroupBox:
      K.Class = L"BUTTON";
      K.Style |= BS_GROUPBOX;
      break;
    case TControlKind::CheckListBox:
      K.Class = WC_LISTVIEWW;
      K.Style |= WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
      K.Ex = WS_EX_CLIENTEDGE;
      break;
  }
  return K;
}

void TWin32Frame::FillControl(HWND H, size_t Index, int Width) {
  const TControl& C = Model(Index);
  if (C.Kind == TControlKind::DropDownList) {
    for (const std::string& Item : C.Items)
      SendMessageW(H, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideOf(Item).c_str()));
    FShownItems[Index] = C.Items;
  }
  if (C.Kind == TControlKind::CheckListBox) {
    ListView_SetExtendedListViewStyle(H, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW Col = {};
    Col.mask = LVCF_WIDTH;
    Col.cx = Width - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_InsertColumn(H, 0, &Col);
  }
}

void TWin32Frame::AddTooltip(HWND H, const std::string& Text) {
  if (!FTips)
    FTips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, FDlg,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  std::wstring Tip = WideOf(Text);
  TOOLINFOW Ti = {};
  Ti.cbSize = sizeof(Ti);
  Ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  Ti.hwnd = FDlg;
  Ti.uId = reinterpret_cast<UINT_PTR>(H);
  Ti.lpszText = Tip.data();
  SendMessageW(FTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Ti));
}

HWND TWin32Frame::CreateControl(size_t Index) {
  TControl& C = Model(Index);
  const TBounds B = PlaceControl(*FForm, Index, *FMeasure);
  const TWindowKind K = WindowKindOf(Index);
  const int Height = C.Kind == TControlKind::DropDownList ? kDroppedListHeight : B.Height;
  int Id = kFirstId + static_cast<int>(Index);
  if (C.ModalResult == kModalOk) Id = IDOK;
  if (C.ModalResult == kModalCancel) Id = IDCANCEL;
  HWND H = CreateWindowExW(K.Ex, K.Class, WideOf(C.Text).c_str(), K.Style, B.Left, B.Top, B.Width,
                           Height, FDlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!H) return nullptr;
  SendMessageW(H, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
  SetPropW(H, kNameProp,
           reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(WideOf(C.Name).c_str()))));
  FillControl(H, Index, B.Width);
  if (!C.Tooltip.empty()) AddTooltip(H, C.Tooltip);
  return H;
}

void TWin32Frame::ModelToWindows() {
  FSyncing = true;
  for (size_t I = 0; I < FWindows.size(); ++I) {
    HWND H = FWindows[I];
    if (!H) continue;
    const TControl& C = Model(I);
    switch (C.Kind) {
      case TControlKind::DropDownList:
        SendMessageW(H, CB_SETCURSEL, static_cast<WPARAM>(C.ItemIndex), 0);
        break;
      case TControlKind::CheckBox:
      case TControlKind::RadioButton:
        SendMessageW(H, BM_SETCHECK, C.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      case TControlKind::CheckListBox: {
        if (FShownItems[I] != C.Items) {
          ListView_DeleteAllItems(H);
          for (size_t K = 0; K < C.Items.size(); ++K) {
            std::wstring T = WideOf(C.Items[K]);
            LVITEMW It = {};
            It.mask = LVIF_TEXT;
            It.iItem = static_cast<int>(K);
            It.pszText = T.data();
            ListView_InsertItem(H, &It);
          }
          FShownItems[I] = C.Items;
        }
        for (size_t K = 0; K < C.Items.size(); ++K)
          ListView_SetCheckState(H, static_cast<int>(K),
                                 K < C.ItemChecked.size() && C.ItemChecked[K]);
        break;
      }
      default:
        if (WindowText(H) != WideOf(C.Text)) {
          SetWindowTextW(H, WideOf(C.Text).c_str());
          if (C.Kind == TControlKind::Label && C.Width > 0) PlaceLabel(I);
        }
    }
    if (C.Kind == TControlKind::Edit) SendMessageW(H, EM_SETREADONLY, C.ReadOnly, 0);
    EnableWindow(H, C.Enabled);
  }
  FSyncing = false;
}

void TWin32Frame::WindowsToModel() {
  for (size_t I = 0; I < FWindows.size(); ++I) {
    HWND H = FWindows[I];
    if (!H) continue;
    TControl& C = Model(I);
    switch (C.Kind) {
      case TControlKind::Edit:
        C.Text = Utf8OfWide(WindowText(H));
        break;
      case TControlKind::DropDownList:
        C.ItemIndex = static_cast<int>(SendMessageW(H, CB_GETCURSEL, 0, 0));
        break;
      case TControlKind::CheckBox:
      case TControlKind::RadioButton:
        C.Checked = SendMessageW(H, BM_GETCHECK, 0, 0) == BST_CHECKED;
        break;
      case TControlKind::CheckListBox:
        C.ItemChecked.resize(C.Items.size());
        for (size_t K = 0; K < C.Items.size(); ++K)
          C.ItemChecked[K] = ListView_GetCheckState(H, static_cast<int>(K)) != 0;
        break;
      default:
        break;
    }
  }
}

void TWin32Frame::Handle(size_t Index, int Event) {
  // A message box or file dialog opened by a handler moves the focus; the
  // focus changes it causes are not the author's.
  if (FInHandler) return;
  FInHandler = true;
  try {
    WindowsToModel();
    const TControl& C = Model(Index);
    if (Event == evClick && C.ModalResult) {
      FEnded = true;
      EndDialog(FDlg, C.ModalResult);
      FInHandler = false;
      return;
    }
    if (Event == evClick) FForm->Click(C.Name);
    if (Event == evExit) FForm->ControlExit(C.Name);
    if (Event >= evItemCheck) FForm->ItemCheckChanged(C.Name, Event - evItemCheck);
  } catch (const std::exception& E) {
    ShowError(ErrorMessage(E));
  }
  ModelToWindows();
  FInHandler = false;
}

bool TWin32Frame::BrowseForFile(const std::string& Filter, std::string& FileName) {
  std::wstring F = WideOf(Filter);
  std::replace(F.begin(), F.end(), L'|', L'\0');
  F.push_back(L'\0');
  F.push_back(L'\0');
  std::wstring Buffer = WideOf(FileName);
  Buffer.resize(std::max<size_t>(Buffer.size() + 1, 32768), L'\0');
  OPENFILENAMEW Ofn = {};
  Ofn.lStructSize = sizeof(Ofn);
  Ofn.hwndOwner = Owner();
  Ofn.lpstrFilter = F.c_str();
  Ofn.nFilterIndex = 1;
  Ofn.lpstrFile = Buffer.data();
  Ofn.nMaxFile = static_cast<DWORD>(Buffer.size());
  Ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&Ofn)) return false;
  FileName = Utf8OfWide(Buffer.c_str());
  return true;
}

bool TWin32Frame::RunColorDialog(std::optional<uint32_t> Preset, uint32_t& Chosen) {
  static COLORREF Custom[16] = {};
  CHOOSECOLORW Cc = {};
  Cc.lStructSize = sizeof(Cc);
  Cc.hwndOwner = Owner();
  Cc.lpCustColors = Custom;
  Cc.Flags = CC_FULLOPEN;
  if (Preset) {
    Cc.rgbResult = *Preset;
    Cc.Flags |= CC_RGBINIT;
  }
  if (!ChooseColorW(&Cc)) return false;
  COLORREF C = Cc.rgbResult;
  // A system colour index resolves to its RGB value.
  if (C & 0xFF000000u) C = GetSysColor(static_cast<int>(C & 0xFF));
  Chosen = C & 0xFFFFFF;
  return true;
}

void TWin32Frame::ShowError(const std::string& Text) {
  MessageBoxW(Owner(), WideOf(Text).c_str(), L"kvGridfold", MB_OK | MB_ICONERROR);
}

}  // namespace

std::unique_ptr<IFormRunner> CreateWin32FormRunner() {
  static bool Initialised = [] {
    INITCOMMONCONTROLSEX Icc = {sizeof(Icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    return InitCommonControlsEx(&Icc) != FALSE;
  }();
  (void)Initialised;
  return std::make_unique<TWin32Frame>();
}

}  // namespace kv
