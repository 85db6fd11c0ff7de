#include <windows.h>

#include <exception>

#include "base/Text.h"
#include "win32/ViewerWindow.h"

namespace kv {

namespace {

HWND Hwnd(TWindowHandle H) {
  return reinterpret_cast<HWND>(H);
}

TWindowHandle HandleOf(HWND W) {
  return reinterpret_cast<TWindowHandle>(W);
}

std::wstring WideOf(std::string_view Utf8) {
  std::u16string U = Utf8ToUtf16(Utf8);
  return std::wstring(U.begin(), U.end());
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

class TWin32ViewerWindow final : public IViewerWindow {
 public:
  TWin32ViewerWindow(HWND W, IViewerMessageSink& Sink) : FWnd(W), FSink(&Sink) {}
  ~TWin32ViewerWindow() override { Destroy(); }

  HWND FWnd;
  IViewerMessageSink* FSink;

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
  void StartTimer(uint32_t Id, uint32_t Ms) override { SetTimer(FWnd, Id, Ms, nullptr); }
  void StopTimer(uint32_t Id) override { KillTimer(FWnd, Id); }
  void PostToSelf(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override {
    PostMessageW(FWnd, Msg, WParam, LParam);
  }
  void Paint(const std::function<void(TPaintList&)>& Fill) override {
    PAINTSTRUCT Ps;
    HDC Dc = BeginPaint(FWnd, &Ps);
    struct TEnd {
      HWND W;
      PAINTSTRUCT& Ps;
      ~TEnd() { EndPaint(W, &Ps); }
    } End{FWnd, Ps};
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

  TWindowHandle CreateEditor(int32_t X, int32_t Y, int32_t Width, int32_t Height,
                             const std::string& Text) override {
    HWND E = CreateWindowExW(0, L"EDIT", WideOf(Text).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, X, Y, Width,
                             Height, FWnd, nullptr, ModuleInstance(), nullptr);
    // The default limit of typed text (30000) would cut long pastes silently.
    if (E) SendMessageW(E, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    return HandleOf(E);
  }
  void SelectAllAndFocusEditor(TWindowHandle Editor) override {
    SendMessageW(Hwnd(Editor), EM_SETSEL, 0, -1);
    ::SetFocus(Hwnd(Editor));
  }
  std::string EditorText(TWindowHandle Editor) const override {
    int Len = GetWindowTextLengthW(Hwnd(Editor));
    if (Len <= 0) return {};
    std::u16string Buf(size_t(Len) + 1, u'\0');
    int Got = GetWindowTextW(Hwnd(Editor), reinterpret_cast<wchar_t*>(Buf.data()), Len + 1);
    Buf.resize(size_t(std::max(Got, 0)));
    return Utf16ToUtf8(Buf);
  }
  void DestroyEditor(TWindowHandle Editor) override {
    if (Editor && ::IsWindow(Hwnd(Editor))) DestroyWindow(Hwnd(Editor));
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

// GDI objects of one repaint, released on every path.
struct TGdiFont {
  HFONT F = nullptr;
  ~TGdiFont() {
    if (F) DeleteObject(F);
  }
};

HFONT MakeFont(HDC Dc, const TPaintList& L, bool Bold) {
  int Height = -MulDiv(L.FFontPoints, GetDeviceCaps(Dc, LOGPIXELSY), 72);
  return CreateFontW(Height, 0, 0, 0, Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, WideOf(L.FFontName).c_str());
}

}  // namespace

IWindowSystem& Win32WindowSystem() {
  static TWin32WindowSystem System;
  return System;
}

void RenderPaintList(void* DcHandle, const TPaintList& List) {
  HDC Dc = static_cast<HDC>(DcHandle);
  TGdiFont Regular, Bold;
  Regular.F = MakeFont(Dc, List, false);
  HGDIOBJ OldFont = SelectObject(Dc, Regular.F);
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
          if (Op.Bold && !Bold.F) Bold.F = MakeFont(Dc, List, true);
          SelectObject(Dc, Op.Bold ? Bold.F : Regular.F);
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
    }
  }
  SelectObject(Dc, OldFont);
}

}  // namespace kv
