#include <windows.h>

#include <exception>

#include "base/Text.h"
#include "base/WideText.h"
#include "base/ScopedWin.h"
#include "win32/ViewerWindow.h"
#include "workbook/Workbook.h"

namespace kv {

namespace {

HWND Hwnd(TWindowHandle H) {
  return reinterpret_cast<HWND>(H);
}

TWindowHandle HandleOf(HWND W) {
  return reinterpret_cast<TWindowHandle>(W);
}

HINSTANCE ModuleInstance() {
  HMODULE M = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleInstance), &M);
  return M;
}

class TWin32ViewerWindow;
LRESULT CALLBACK ViewerWndProc(HWND W, UINT Msg, WPARAM WP, LPARAM LP);
LRESULT CALLBACK EditorWndProc(HWND E, UINT Msg, WPARAM WP, LPARAM LP);
// The EDIT class's own window procedure, which the editor's hands on to.
WNDPROC GEditClassProc = nullptr;

// The viewer's font at Points points for the resolution of Dc.
HFONT MakeFont(HDC Dc, const std::string& Name, int32_t Points, bool Bold) {
  int Height = -MulDiv(Points, GetDeviceCaps(Dc, LOGPIXELSY), 72);
  return CreateFontW(Height, 0, 0, 0, Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, WideOf(Name).c_str());
}

class TWin32ViewerWindow final : public IViewerWindow {
 public:
  TWin32ViewerWindow(HWND W, IViewerMessageSink& Sink) : FWnd(W), FSink(&Sink) {}
  ~TWin32ViewerWindow() override { Destroy(); }

  HWND FWnd;
  IViewerMessageSink* FSink;
  // The font the viewer measures labels in, kept while its face and size stay.
  mutable TScopedFont FMeasureFont;
  mutable std::string FMeasureName;
  mutable int32_t FMeasurePoints = 0;
  // The editor's font, alive as long as the editor.
  TScopedFont FEditorFont;

  TWindowHandle Handle() const override { return HandleOf(FWnd); }
  bool IsAlive() const override { return FWnd && ::IsWindow(FWnd); }
  bool IsVisible() const override { return FWnd && ::IsWindowVisible(FWnd); }
  void ClientSize(int32_t& Width, int32_t& Height) const override {
    RECT R{};
    if (FWnd) GetClientRect(FWnd, &R);
    Width = R.right - R.left;
    Height = R.bottom - R.top;
  }
  void Move(int32_t X, int32_t Y, int32_t Width, int32_t Height) override {
    SetWindowPos(FWnd, HWND_TOP, X, Y, Width, Height, SWP_NOACTIVATE);
  }
  void Show() override { ShowWindow(FWnd, SW_SHOW); }
  void ShowNoActivate() override { ShowWindow(FWnd, SW_SHOWNOACTIVATE); }
  void Hide() override { ShowWindow(FWnd, SW_HIDE); }
  void Invalidate() override { InvalidateRect(FWnd, nullptr, FALSE); }
  void SetFocus() override { ::SetFocus(FWnd); }
  TWindowHandle FocusedWindow() const override { return HandleOf(GetFocus()); }
  void StartTimer(uint32_t Id, uint32_t Ms) override { SetTimer(FWnd, Id, Ms, nullptr); }
  void StopTimer(uint32_t Id) override { KillTimer(FWnd, Id); }
  void PostToSelf(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override {
    PostMessageW(FWnd, Msg, WParam, LParam);
  }
  void Paint(const std::function<void(TPaintList&)>& Fill) override {
    const TScopedPaint Painting(FWnd);
    const HDC Dc = Painting.Dc();
    // The STATIC class paints with its parent's clipping region; the
    // toolbar's unclipped labels must not reach the neighbours.
    RECT C;
    GetClientRect(FWnd, &C);
    IntersectClipRect(Dc, C.left, C.top, C.right, C.bottom);
    TPaintList List;
    Fill(List);
    RenderPaintList(Dc, List);
  }
  void Destroy() override {
    if (!FWnd) return;
    // Detached first: the messages destruction causes reach no viewer.
    SetWindowLongPtrW(FWnd, GWLP_USERDATA, 0);
    FSink = nullptr;
    DestroyWindow(FWnd);
    FWnd = nullptr;
  }

  // The measuring font for FontName at FontPoints (made on Dc when it changes).
  HFONT MeasureFont(HDC Dc, const std::string& FontName, int32_t FontPoints) const {
    if (!FMeasureFont || FMeasureName != FontName || FMeasurePoints != FontPoints) {
      FMeasureFont.Reset(MakeFont(Dc, FontName, FontPoints, false));
      FMeasureName = FontName;
      FMeasurePoints = FontPoints;
    }
    return FMeasureFont.Get();
  }
  int32_t TextWidth(const std::string& FontName, int32_t FontPoints,
                    std::string_view Text) const override {
    const TScopedGetDc Dc(FWnd);
    if (!Dc) return 0;
    const TScopedSelect Font(Dc, MeasureFont(Dc, FontName, FontPoints));
    std::wstring W = WideOf(Text);
    SIZE Size{};
    GetTextExtentPoint32W(Dc, W.c_str(), int(W.size()), &Size);
    return Size.cx;
  }
  int32_t TextHeight(const std::string& FontName, int32_t FontPoints) const override {
    const TScopedGetDc Dc(FWnd);
    if (!Dc) return 0;
    const TScopedSelect Font(Dc, MeasureFont(Dc, FontName, FontPoints));
    TEXTMETRICW Tm{};
    GetTextMetricsW(Dc, &Tm);
    return Tm.tmHeight;
  }

  TWindowHandle CreateEditor(int32_t X, int32_t Y, int32_t Width, int32_t Height,
                             const std::string& Text, const std::string& FontName,
                             int32_t FontPoints) override {
    HWND E = CreateWindowExW(
        0, L"EDIT", WideOf(Text).c_str(),
        WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, X, Y,
        Width, Height, FWnd, nullptr, ModuleInstance(), nullptr);
    if (!E) return 0;
    // Its keys reach the viewer first: Enter, Tab and Escape end the edit.
    SetWindowLongPtrW(E, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    WNDPROC Old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(E, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditorWndProc)));
    if (!GEditClassProc) GEditClassProc = Old;
    // A cell's limit, not the control's default of 30000.
    SendMessageW(E, EM_SETLIMITTEXT, WPARAM(kMaxCellTextLength), 0);
    // Without a font the control shows the bold system font, unlike the grid.
    if (const TScopedGetDc Dc(E); Dc) {
      FEditorFont.Reset(MakeFont(Dc, FontName, FontPoints, false));
      SendMessageW(E, WM_SETFONT, reinterpret_cast<WPARAM>(FEditorFont.Get()), FALSE);
    }
    return HandleOf(E);
  }
  void SelectAllAndFocusEditor(TWindowHandle Editor) override {
    SendMessageW(Hwnd(Editor), EM_SETSEL, 0, -1);
    ::SetFocus(Hwnd(Editor));
  }
  void PlaceEditorCaretAtEnd(TWindowHandle Editor) override {
    int Len = GetWindowTextLengthW(Hwnd(Editor));
    SendMessageW(Hwnd(Editor), EM_SETSEL, WPARAM(Len), LPARAM(Len));
  }
  void InsertEditorText(TWindowHandle Editor, const std::string& Text) override {
    std::wstring W = WideOf(Text);
    SendMessageW(Hwnd(Editor), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(W.c_str()));
  }
  void SetScrollBar(bool Vertical, bool Shown, int32_t Max, int32_t Page, int32_t Pos) override {
    const int Bar = Vertical ? SB_VERT : SB_HORZ;
    ShowScrollBar(FWnd, Bar, Shown);
    if (!Shown) return;
    SCROLLINFO Si{};
    Si.cbSize = sizeof Si;
    Si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    Si.nMax = Max;
    Si.nPage = UINT(Page);
    Si.nPos = Pos;
    SetScrollInfo(FWnd, Bar, &Si, TRUE);
  }
  void ScreenToClientPoint(int32_t& X, int32_t& Y) const override {
    POINT P{X, Y};
    ScreenToClient(FWnd, &P);
    X = P.x;
    Y = P.y;
  }
  uint32_t KeyModifiers() const override {
    return (GetKeyState(VK_SHIFT) < 0 ? kModShift : 0) |
           (GetKeyState(VK_CONTROL) < 0 ? kModCtrl : 0) | (GetKeyState(VK_MENU) < 0 ? kModAlt : 0);
  }
  std::string EditorText(TWindowHandle Editor) const override {
    int Len = GetWindowTextLengthW(Hwnd(Editor));
    if (Len <= 0) return {};
    std::wstring Buf(size_t(Len) + 1, L'\0');
    int Got = GetWindowTextW(Hwnd(Editor), Buf.data(), Len + 1);
    Buf.resize(size_t(std::max(Got, 0)));
    return Utf8OfWide(Buf);
  }
  void DestroyEditor(TWindowHandle Editor) override {
    if (Editor && ::IsWindow(Hwnd(Editor))) DestroyWindow(Hwnd(Editor));
    FEditorFont.Reset();
  }
};

LRESULT CALLBACK ViewerWndProc(HWND W, UINT Msg, WPARAM WP, LPARAM LP) {
  auto* Port = reinterpret_cast<TWin32ViewerWindow*>(GetWindowLongPtrW(W, GWLP_USERDATA));
  if (!Port || !Port->FSink) return DefWindowProcW(W, Msg, WP, LP);
  TMessageResult R = TMessageResult::Default;
  try {
    R = Port->FSink->HandleMessage(Msg, WP, LP);
  } catch (...) {
    // The viewer reports its own errors; nothing may unwind through user32.
    R = TMessageResult::Handled;
  }
  LRESULT Result = 0;
  if (R != TMessageResult::Handled) Result = DefWindowProcW(W, Msg, WP, LP);
  if (R == TMessageResult::DefaultThenZero) Result = 0;
  if (Msg == WM_NCDESTROY) SetWindowLongPtrW(W, GWLP_USERDATA, 0);
  return Result;
}

LRESULT CALLBACK EditorWndProc(HWND E, UINT Msg, WPARAM WP, LPARAM LP) {
  auto* Port = reinterpret_cast<TWin32ViewerWindow*>(GetWindowLongPtrW(E, GWLP_USERDATA));
  switch (Msg) {
    case WM_GETDLGCODE:
      // A host's dialog manager would take Tab, Enter and Escape.
      return DLGC_WANTALLKEYS | DLGC_HASSETSEL;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (Port && Port->FSink) {
        TMessageResult R = TMessageResult::Default;
        try {
          R = Port->FSink->HandleMessage(msg::EditorKeyDown, WP, 0);
        } catch (...) {
          R = TMessageResult::Handled;
        }
        // The viewer may have closed the editor: E is gone.
        if (R == TMessageResult::Handled) return 0;
      }
      break;
    case WM_CHAR:
    case WM_SYSCHAR:
      // Their keys went to the viewer; a multi-line edit would break the line.
      if (WP == '\r' || WP == '\n' || WP == '\t' || WP == 27) return 0;
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(E, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return GEditClassProc ? CallWindowProcW(GEditClassProc, E, Msg, WP, LP)
                        : DefWindowProcW(E, Msg, WP, LP);
}

class TWin32WindowSystem final : public IWindowSystem {
 public:
  std::unique_ptr<IViewerWindow> CreateViewerWindow(TWindowHandle Parent, IViewerMessageSink& Sink,
                                                    int& ErrorCode) override {
    SetLastError(0);
    HWND W = CreateWindowExW(0, L"STATIC", L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP | SS_NOTIFY, 0, 0,
                             800, 500, Hwnd(Parent), nullptr, nullptr, nullptr);
    if (!W) {
      ErrorCode = int(GetLastError());
      return nullptr;
    }
    auto Port = std::make_unique<TWin32ViewerWindow>(W, Sink);
    SetWindowLongPtrW(W, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Port.get()));
    SetWindowLongPtrW(W, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWndProc));
    return Port;
  }
  bool IsWindow(TWindowHandle Window) const override {
    return Window != 0 && ::IsWindow(Hwnd(Window));
  }
  bool ClientSize(TWindowHandle Window, int32_t& Width, int32_t& Height) const override {
    RECT R;
    if (!GetClientRect(Hwnd(Window), &R)) return false;
    Width = R.right - R.left;
    Height = R.bottom - R.top;
    return true;
  }
  bool ClientOriginIn(TWindowHandle From, TWindowHandle To, int32_t& X, int32_t& Y) const override {
    POINT P{0, 0};
    if (!ClientToScreen(Hwnd(From), &P) || !ScreenToClient(Hwnd(To), &P)) return false;
    X = P.x;
    Y = P.y;
    return true;
  }
};

}  // namespace

IWindowSystem& Win32WindowSystem() {
  static TWin32WindowSystem System;
  return System;
}

void RenderPaintList(void* DcHandle, const TPaintList& List) {
  HDC Dc = static_cast<HDC>(DcHandle);
  const TScopedFont Regular(MakeFont(Dc, List.FFontName, List.FFontPoints, false));
  TScopedFont Bold;
  HGDIOBJ OldFont = SelectObject(Dc, Regular.Get());
  // The clipping the caller set up; every Clip op starts again from it.
  const TScopedRegion Base(CreateRectRgn(0, 0, 0, 0));
  const bool HasBase = Base && GetClipRgn(Dc, Base.Get()) == 1;
  auto RestoreClip = [&] { SelectClipRgn(Dc, HasBase ? Base.Get() : nullptr); };
  bool Clipping = false;
  HGDIOBJ Brush = GetStockObject(DC_BRUSH);
  SetBkMode(Dc, OPAQUE);
  bool BoldSelected = false;
  std::wstring Text;
  for (const TPaintOp& Op : List.FOps) {
    RECT R{Op.Box.Left, Op.Box.Top, Op.Box.Right, Op.Box.Bottom};
    switch (Op.Kind) {
      case TPaintKind::Fill:
        SetDCBrushColor(Dc, Op.Color);
        FillRect(Dc, &R, static_cast<HBRUSH>(Brush));
        break;
      case TPaintKind::Outline:
        SetDCBrushColor(Dc, Op.Color);
        FrameRect(Dc, &R, static_cast<HBRUSH>(Brush));
        break;
      case TPaintKind::Text: {
        if (Op.Bold != BoldSelected) {
          if (Op.Bold && !Bold) Bold.Reset(MakeFont(Dc, List.FFontName, List.FFontPoints, true));
          SelectObject(Dc, Op.Bold ? Bold.Get() : Regular.Get());
          BoldSelected = Op.Bold;
        }
        SetTextColor(Dc, Op.WindowTextColor ? GetSysColor(COLOR_WINDOWTEXT) : Op.Color);
        SetBkColor(Dc, Op.Back);
        Text = WideOf(Op.Text);
        if (Op.AlignRight) SetTextAlign(Dc, TA_RIGHT | TA_TOP | TA_NOUPDATECP);
        ExtTextOutW(Dc, Op.X, Op.Y, Op.Clipped ? ETO_CLIPPED : 0, Op.Clipped ? &R : nullptr,
                    Text.c_str(), UINT(Text.size()), nullptr);
        if (Op.AlignRight) SetTextAlign(Dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        break;
      }
      case TPaintKind::Clip:
        RestoreClip();
        Clipping = Op.Clipped;
        if (Clipping) IntersectClipRect(Dc, R.left, R.top, R.right, R.bottom);
        break;
    }
  }
  if (Clipping) RestoreClip();
  SelectObject(Dc, OldFont);
}

}  // namespace kv
