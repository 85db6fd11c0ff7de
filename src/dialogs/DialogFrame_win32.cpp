#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <map>

#include "base/Error.h"
#include "base/Text.h"
#include "dialogs/DialogFrame.h"

namespace kv {

namespace {

constexpr int kFirstId = 1000;
const wchar_t* const kNameProp = L"kvControlName";

std::wstring W(const std::string& S) {
  std::u16string U = Utf8ToUtf16(S);
  return std::wstring(U.begin(), U.end());
}

std::string N(const std::wstring& S) {
  return Utf16ToUtf8(std::u16string(S.begin(), S.end()));
}

std::wstring WindowText(HWND H) {
  int Len = GetWindowTextLengthW(H);
  std::wstring S(static_cast<size_t>(Len) + 1, L'\0');
  GetWindowTextW(H, S.data(), Len + 1);
  S.resize(static_cast<size_t>(Len));
  return S;
}

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
  int FitHints();
  int TextWidth(const std::string& Text);
  void FitLabel(size_t Index);
  int FitCaption(const TControl& C, int X, int Width);
  void CreateControls();
  HWND CreateControl(size_t Index);
  void ModelToWindows();
  void WindowsToModel();
  void Handle(size_t Index, int Event);
  HWND Owner() const { return FDlg ? FDlg : GetActiveWindow(); }
  TControl& Model(size_t Index) { return FForm->Controls()[Index]; }

  TFormModel* FForm = nullptr;
  HWND FDlg = nullptr;
  HFONT FFont = nullptr;
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
  if (FFont) DeleteObject(FFont);
  FFont = nullptr;
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
  SetWindowTextW(Dlg, W(FForm->Caption()).c_str());
  FFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
  const int Grow = FitHints();
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

int TWin32Frame::FitHints() {
  // The font the system substitutes may need more lines than the table
  // allows; a hint then grows to its text and whatever sits below it moves
  // down, so no line is cut off and nothing covers it.
  int Total = 0;
  HDC Dc = GetDC(FDlg);
  HGDIOBJ Old = SelectObject(Dc, FFont);
  auto& Cs = FForm->Controls();
  for (TControl& Hint : Cs) {
    if (Hint.Kind != TControlKind::HintLabel || !Hint.Parent.empty()) continue;
    std::wstring T = W(Hint.Text);
    RECT R = {0, 0, Hint.Width, 0};
    DrawTextW(Dc, T.c_str(), -1, &R, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    const int Extra = R.bottom - Hint.Height;
    if (Extra <= 0) continue;
    const int Bottom = Hint.Top + Hint.Height;
    for (TControl& C : Cs)
      if (C.Parent.empty() && C.Top >= Bottom) C.Top += Extra;
    Hint.Height += Extra;
    Total += Extra;
  }
  SelectObject(Dc, Old);
  ReleaseDC(FDlg, Dc);
  return Total;
}

int TWin32Frame::FitCaption(const TControl& C, int X, int Width) {
  // A substituted font may run a check box caption past its box: widen it
  // towards the right edge of its form or group, never beyond.
  HDC Dc = GetDC(FDlg);
  HGDIOBJ Old = SelectObject(Dc, FFont);
  std::wstring T = W(ReplaceAll(C.Text, "&", ""));
  SIZE Sz = {};
  GetTextExtentPoint32W(Dc, T.c_str(), static_cast<int>(T.size()), &Sz);
  SelectObject(Dc, Old);
  ReleaseDC(FDlg, Dc);
  const int Needed = Sz.cx + GetSystemMetrics(SM_CXMENUCHECK) + 8;
  int Limit = FForm->ClientWidth() - 8;
  if (!C.Parent.empty()) {
    const TControl& G = FForm->Control(C.Parent);
    Limit = G.Left + G.Width - 4;
  }
  // Never onto a sibling to the right.
  for (const TControl& O : FForm->Controls())
    if (&O != &C && O.Parent == C.Parent && O.Left > C.Left && O.Top < C.Top + C.Height &&
        C.Top < O.Top + O.Height)
      Limit = std::min(Limit, X + (O.Left - C.Left) - 4);
  return std::max(Width, std::min(Needed, Limit - X));
}

int TWin32Frame::TextWidth(const std::string& Text) {
  HDC Dc = GetDC(FDlg);
  HGDIOBJ Old = SelectObject(Dc, FFont);
  std::wstring T = W(ReplaceAll(Text, "&", ""));
  SIZE Sz = {};
  GetTextExtentPoint32W(Dc, T.c_str(), static_cast<int>(T.size()), &Sz);
  SelectObject(Dc, Old);
  ReleaseDC(FDlg, Dc);
  return Sz.cx;
}

void TWin32Frame::FitLabel(size_t Index) {
  // A fixed-width label whose caption outgrows it widens, and the field it
  // names, when that sits to its right, gives up room on its left side.
  const TControl& C = Model(Index);
  HWND H = FWindows[Index];
  RECT R;
  GetWindowRect(H, &R);
  MapWindowPoints(nullptr, FDlg, reinterpret_cast<POINT*>(&R), 2);
  const int Needed = TextWidth(C.Text) + 2;
  const int Width = std::max(C.Width, Needed);
  MoveWindow(H, R.left, R.top, Width, R.bottom - R.top, TRUE);
  if (C.FocusControl.empty()) return;
  for (size_t I = 0; I < FWindows.size(); ++I) {
    const TControl& F = Model(I);
    if (F.Name != C.FocusControl || F.Parent != C.Parent || F.Left < C.Left + C.Width) continue;
    RECT Fr;
    GetWindowRect(FWindows[I], &Fr);
    MapWindowPoints(nullptr, FDlg, reinterpret_cast<POINT*>(&Fr), 2);
    const int DesignLeft = static_cast<int>(R.left) + (F.Left - C.Left);
    const int Left = std::max<int>(DesignLeft, R.left + Width + 3);
    MoveWindow(FWindows[I], Left, Fr.top, Fr.right - Left, Fr.bottom - Fr.top, TRUE);
  }
}

void TWin32Frame::CreateControls() {
  auto& Cs = FForm->Controls();
  FWindows.assign(Cs.size(), nullptr);
  FShownItems.assign(Cs.size(), {});
  // Creation order is the tab order: controls sorted by their group's tab
  // position and their own, each preceded by the label whose accelerator
  // moves to it; everything outside the tab order comes last.
  auto GroupTab = [&](const TControl& C) {
    return C.Parent.empty() ? C.TabOrder : FForm->Control(C.Parent).TabOrder;
  };
  std::vector<size_t> Tabbed, Rest;
  for (size_t I = 0; I < Cs.size(); ++I) (Cs[I].TabOrder >= 0 ? Tabbed : Rest).push_back(I);
  std::stable_sort(Tabbed.begin(), Tabbed.end(), [&](size_t A, size_t B) {
    const TControl &Ca = Cs[A], &Cb = Cs[B];
    int Ga = GroupTab(Ca), Gb = GroupTab(Cb);
    if (Ga != Gb) return Ga < Gb;
    bool Pa = Ca.Parent.empty(), Pb = Cb.Parent.empty();
    if (Pa != Pb) return Pa;  // the group box before what it holds
    return Ca.TabOrder < Cb.TabOrder;
  });
  std::vector<size_t> Order;
  for (size_t I : Tabbed) {
    for (size_t L : Rest)
      if (Cs[L].FocusControl == Cs[I].Name) Order.push_back(L);
    Order.push_back(I);
  }
  for (size_t L : Rest)
    if (std::find(Order.begin(), Order.end(), L) == Order.end()) Order.push_back(L);
  for (size_t I : Order) FWindows[I] = CreateControl(I);
  for (size_t I = 0; I < Cs.size(); ++I)
    if (FWindows[I] && Cs[I].Kind == TControlKind::Label && Cs[I].Width > 0) FitLabel(I);
}

HWND TWin32Frame::CreateControl(size_t Index) {
  TControl& C = Model(Index);
  int X = C.Left, Y = C.Top, Wd = C.Width, Ht = C.Height;
  if (!C.Parent.empty()) {
    X += FForm->Control(C.Parent).Left;
    Y += FForm->Control(C.Parent).Top;
  }
  const wchar_t* Class = L"STATIC";
  DWORD Style = WS_CHILD | WS_VISIBLE;
  DWORD Ex = 0;
  int Id = kFirstId + static_cast<int>(Index);
  if (C.ModalResult == kModalOk) Id = IDOK;
  if (C.ModalResult == kModalCancel) Id = IDCANCEL;
  switch (C.Kind) {
    case TControlKind::Label:
      Style |= SS_LEFT;
      if (Wd == 0) {
        HDC Dc = GetDC(FDlg);
        HGDIOBJ Old = SelectObject(Dc, FFont);
        std::wstring T = W(ReplaceAll(C.Text, "&", ""));
        SIZE Sz = {};
        GetTextExtentPoint32W(Dc, T.c_str(), static_cast<int>(T.size()), &Sz);
        SelectObject(Dc, Old);
        ReleaseDC(FDlg, Dc);
        Wd = Sz.cx + 2;
        Ht = 13;
      }
      break;
    case TControlKind::HintLabel:
      Style |= SS_LEFT | SS_NOPREFIX;
      break;
    case TControlKind::Edit:
      Class = L"EDIT";
      Style |= WS_TABSTOP | ES_AUTOHSCROLL;
      Ex = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::BrowseButton:
      Class = L"BUTTON";
      Style |= BS_PUSHBUTTON | BS_FLAT;
      break;
    case TControlKind::Button:
      Class = L"BUTTON";
      Style |= WS_TABSTOP | (C.IsDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case TControlKind::DropDownList:
      Class = L"COMBOBOX";
      Style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      Ht = 200;  // the dropped list
      break;
    case TControlKind::CheckBox:
      Class = L"BUTTON";
      Style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      Wd = FitCaption(C, X, Wd);
      break;
    case TControlKind::RadioButton: {
      Class = L"BUTTON";
      Style |= WS_TABSTOP | BS_AUTORADIOBUTTON;
      bool First = true;
      for (size_t I = 0; I < Index; ++I)
        if (Model(I).Kind == TControlKind::RadioButton && Model(I).Parent == C.Parent)
          First = false;
      if (First) Style |= WS_GROUP;
      Wd = FitCaption(C, X, Wd);
      break;
    }
    case TControlKind::GroupBox:
      Class = L"BUTTON";
      Style |= BS_GROUPBOX;
      break;
    case TControlKind::CheckListBox:
      Class = WC_LISTVIEWW;
      Style |= WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
      Ex = WS_EX_CLIENTEDGE;
      break;
  }
  HWND H = CreateWindowExW(Ex, Class, W(C.Text).c_str(), Style, X, Y, Wd, Ht, FDlg,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                           GetModuleHandleW(nullptr), nullptr);
  if (!H) return nullptr;
  SendMessageW(H, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  SetPropW(H, kNameProp,
           reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(W(C.Name).c_str()))));
  if (C.Kind == TControlKind::DropDownList) {
    for (const std::string& Item : C.Items)
      SendMessageW(H, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(Item).c_str()));
    FShownItems[Index] = C.Items;
  }
  if (C.Kind == TControlKind::CheckListBox) {
    ListView_SetExtendedListViewStyle(H, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW Col = {};
    Col.mask = LVCF_WIDTH;
    Col.cx = Wd - GetSystemMetrics(SM_CXVSCROLL) - 4;
    ListView_InsertColumn(H, 0, &Col);
  }
  if (!C.Tooltip.empty()) {
    if (!FTips)
      FTips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                              FDlg, nullptr, GetModuleHandleW(nullptr), nullptr);
    std::wstring Tip = W(C.Tooltip);
    TOOLINFOW Ti = {};
    Ti.cbSize = sizeof(Ti);
    Ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    Ti.hwnd = FDlg;
    Ti.uId = reinterpret_cast<UINT_PTR>(H);
    Ti.lpszText = Tip.data();
    SendMessageW(FTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Ti));
  }
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
            std::wstring T = W(C.Items[K]);
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
        if (WindowText(H) != W(C.Text)) {
          SetWindowTextW(H, W(C.Text).c_str());
          if (C.Kind == TControlKind::Label && C.Width > 0) FitLabel(I);
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
        C.Text = N(WindowText(H));
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
  std::wstring F = W(Filter);
  std::replace(F.begin(), F.end(), L'|', L'\0');
  F.push_back(L'\0');
  F.push_back(L'\0');
  std::wstring Buffer = W(FileName);
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
  FileName = N(Buffer.c_str());
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
  MessageBoxW(Owner(), W(Text).c_str(), L"kvGridfold", MB_OK | MB_ICONERROR);
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
