// Script commands that act on the plug-in's viewer windows as a user and the
// host would: mouse, key, character and wheel messages at client coordinates,
// host notifications, position checks against the Rectangle, screenshots as
// PNG with pixel checks, and repaint timings; the host's own text fields and
// where the keyboard focus is.
//
// A viewer is named by its Rectangle: the host window's child (or the
// Rectangle's own child) that is not the host's own, preferring one lying on
// the Rectangle's origin.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "Host.h"
#include "Script.h"
#include "base/Files.h"
#include "base/HostPorts.h"
#include "base/Text.h"
#include "viewer/VantSpreadsheet.h"
#include "win32/Screenshot.h"
#include "win32/ViewerWindow.h"
#include "zip/ZipWriter.h"
#include "workbook/CellNotation.h"

namespace fvhost {

namespace {

THost& H() {
  return THost::Get();
}

HWND RectWindow(const std::string& Name) {
  auto It = H().FRects.find(kv::AsciiUpper(Name));
  return It == H().FRects.end() ? nullptr : It->second.Window;
}

HWND FindViewer(const std::string& RectName) {
  HWND Rect = RectWindow(RectName);
  POINT Origin{0, 0};
  if (Rect) ClientToScreen(Rect, &Origin);
  HWND Any = nullptr;
  for (HWND Parent : {H().Window(), Rect}) {
    if (!Parent) continue;
    for (HWND W = GetWindow(Parent, GW_CHILD); W; W = GetWindow(W, GW_HWNDNEXT)) {
      if (H().IsOwnChild(W)) continue;
      RECT R;
      GetWindowRect(W, &R);
      if (Rect && Origin.x == R.left && Origin.y == R.top) return W;
      if (!Any) Any = W;
    }
  }
  return Any;
}

HWND NeedViewer(TScript& S, const std::string& RectName) {
  HWND W = FindViewer(RectName);
  if (!W) S.Fail("no viewer window over " + RectName);
  return W;
}

// What has the keyboard focus, in script words: "field NAME", "viewer RECT",
// "editor RECT", "host", "none", or the class of any other window.
std::string FocusName() {
  HWND F = GetFocus();
  if (!F) return "none";
  if (F == H().Window()) return "host";
  for (const auto& [Key, W] : H().FFields)
    if (W == F) return "field " + Key;
  for (const auto& [Key, R] : H().FRects) {
    HWND V = FindViewer(R.Name);
    if (V == F) return "viewer " + kv::AsciiUpper(R.Name);
    if (V && IsChild(V, F)) return "editor " + kv::AsciiUpper(R.Name);
  }
  wchar_t Class[64] = L"";
  GetClassNameW(F, Class, 64);
  return "window of class " + Utf8OfWide(Class);
}

// The window keys meant for Viewer reach, as a keyboard sends them: the one
// with the focus. Only when no window of the host has it (a script may type
// before any click) the viewer itself. With the focus anywhere else the keys
// go there all the same, and Elsewhere says where.
HWND KeyTarget(HWND Viewer, std::string& Elsewhere) {
  HWND F = GetFocus();
  if (!F || F == H().Window()) return Viewer;
  if (F != Viewer && !IsChild(Viewer, F)) Elsewhere = FocusName();
  return F;
}

UINT KeyCode(const std::string& Name) {
  static const struct {
    const char* Name;
    UINT Vk;
  } Keys[] = {{"RETURN", VK_RETURN}, {"ENTER", VK_RETURN}, {"F2", VK_F2},
              {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},  {"UP", VK_UP},
              {"DOWN", VK_DOWN},     {"PRIOR", VK_PRIOR},  {"NEXT", VK_NEXT},
              {"ESCAPE", VK_ESCAPE}, {"TAB", VK_TAB},      {"DELETE", VK_DELETE},
              {"BACK", VK_BACK},     {"HOME", VK_HOME},    {"END", VK_END}};
  for (const auto& K : Keys)
    if (kv::SameTextAscii(Name, K.Name)) return K.Vk;
  return UINT(kv::ParseInt32Or(Name, 0));
}

void CmdClick(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  HWND W = NeedViewer(S, A[0]);
  if (!W) return;
  LPARAM P = MAKELPARAM(kv::ParseInt32Or(A[1], 0), kv::ParseInt32Or(A[2], 0));
  SendMessageW(W, WM_LBUTTONDOWN, MK_LBUTTON, P);
  SendMessageW(W, WM_LBUTTONUP, 0, P);
  if (A.size() > 3 && A[3] == "double") {
    SendMessageW(W, WM_LBUTTONDBLCLK, MK_LBUTTON, P);
    SendMessageW(W, WM_LBUTTONUP, 0, P);
  }
}

// KEY with "ctrl+", "shift+" and "alt+" prefixes in any order: the
// modifiers are held in the thread's keyboard state while the key goes out,
// with Alt as WM_SYSKEYDOWN as a keyboard sends it.
void CmdKey(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    std::string Name = A[1];
    std::vector<UINT> Held;
    for (auto [Prefix, Vk] : {std::pair<const char*, UINT>{"CTRL+", VK_CONTROL},
                              {"SHIFT+", VK_SHIFT},
                              {"ALT+", VK_MENU}})
      for (size_t P = kv::AsciiUpper(Name).find(Prefix); P != std::string::npos;
           P = kv::AsciiUpper(Name).find(Prefix)) {
        Name.erase(P, std::string_view(Prefix).size());
        Held.push_back(Vk);
      }
    UINT Vk = KeyCode(Name);
    if (Vk == 0) return S.Fail("unknown key " + A[1]);
    BYTE Old[256], State[256];
    GetKeyboardState(Old);
    std::copy(std::begin(Old), std::end(Old), std::begin(State));
    bool Alt = false;
    for (UINT H : Held) {
      State[H] |= 0x80;
      Alt = Alt || H == VK_MENU;
    }
    SetKeyboardState(State);
    std::string Elsewhere;
    HWND To = KeyTarget(W, Elsewhere);
    const LPARAM Context = Alt ? LPARAM(1) << 29 : 0;
    SendMessageW(To, Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, Vk, 1 | Context);
    // The key may have closed the editor it went to.
    if (IsWindow(To))
      SendMessageW(To, Alt ? WM_SYSKEYUP : WM_KEYUP, Vk, LPARAM(0xC0000001) | Context);
    SetKeyboardState(Old);
    if (!Elsewhere.empty()) S.Fail("keys for " + A[0] + " went to the focused " + Elsewhere);
  }
}

void CmdType(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    // Per character: the first may open the editor, which takes the rest.
    std::string Elsewhere;
    for (wchar_t C : WideOf(A[1])) SendMessageW(KeyTarget(W, Elsewhere), WM_CHAR, C, 1);
    if (!Elsewhere.empty()) S.Fail("keys for " + A[0] + " went to the focused " + Elsewhere);
  }
}

// host-field NAME X Y W H: a one-line text field of the host window.
void CmdHostField(TScript& S, const TArgs& A) {
  if (!S.Need(A, 5)) return;
  HWND& F = H().FFields[kv::AsciiUpper(A[0])];
  if (F) DestroyWindow(F);
  F = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                      kv::ParseInt32Or(A[1], 0), kv::ParseInt32Or(A[2], 0),
                      kv::ParseInt32Or(A[3], 0), kv::ParseInt32Or(A[4], 0), H().Window(), nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  if (!F) S.Fail("cannot create field " + A[0]);
}

HWND NeedField(TScript& S, const std::string& Name) {
  auto It = H().FFields.find(kv::AsciiUpper(Name));
  if (It == H().FFields.end() || !IsWindow(It->second)) {
    S.Fail("no field " + Name);
    return nullptr;
  }
  return It->second;
}

// field-click NAME: the reader clicks into the field, which takes the focus
// as an edit control does on a click.
void CmdFieldClick(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  if (HWND F = NeedField(S, A[0])) {
    SendMessageW(F, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(F, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  }
}

// type TEXT: characters to whatever window has the keyboard focus.
void CmdTypeToFocus(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  for (wchar_t C : WideOf(A[0])) {
    // Per character: one may move the focus (a viewer opens its editor).
    HWND F = GetFocus();
    if (!F) return S.Fail("no window has the keyboard focus");
    SendMessageW(F, WM_CHAR, C, 1);
  }
}

// expect-focus none | host | field NAME | viewer RECT | editor RECT
void CmdExpectFocus(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  std::string Want = A[0] + (A.size() > 1 ? " " + kv::AsciiUpper(A[1]) : "");
  std::string Got = FocusName();
  if (Got != Want) S.Fail("focus on " + Got + ", expected " + Want);
}

// expect-field NAME TEXT: the field's whole text.
void CmdExpectField(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (HWND F = NeedField(S, A[0])) {
    wchar_t Buf[1024] = L"";
    GetWindowTextW(F, Buf, 1024);
    if (Utf8OfWide(Buf) != A[1]) S.Fail("field " + A[0] + " holds \"" + Utf8OfWide(Buf) + "\"");
  }
}

// The wheel at client point (X, Y) of the viewer, sent in screen
// coordinates as Windows does; without a point at the screen's origin.
void CmdWheel(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    size_t I = 2;
    WORD Keys = 0;
    if (A.size() > I && A[I] == "shift") {
      Keys = MK_SHIFT;
      ++I;
    }
    POINT P{0, 0};
    if (A.size() >= I + 2) {
      P = {kv::ParseInt32Or(A[I], 0), kv::ParseInt32Or(A[I + 1], 0)};
      ClientToScreen(W, &P);
    }
    SendMessageW(W, WM_MOUSEWHEEL, MAKEWPARAM(Keys, WORD(short(kv::ParseInt32Or(A[1], 0)))),
                 MAKELPARAM(WORD(short(P.x)), WORD(short(P.y))));
  }
}

// viewer-scroll RECT v|h REQUEST [POS]: what the window's scroll bar sends
// after a click on an arrow (line-up, line-down), a page area (page-up,
// page-down), or while and after the thumb is dragged to POS (track, drop).
void CmdScroll(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    static const struct {
      const char* Name;
      WORD Code;
    } Codes[] = {{"line-up", SB_LINEUP},   {"line-down", SB_LINEDOWN},
                 {"page-up", SB_PAGEUP},   {"page-down", SB_PAGEDOWN},
                 {"track", SB_THUMBTRACK}, {"drop", SB_THUMBPOSITION}};
    for (const auto& C : Codes)
      if (A[2] == C.Name) {
        const WORD Pos = WORD(A.size() > 3 ? kv::ParseInt32Or(A[3], 0) : 0);
        SendMessageW(W, A[1] == "h" ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(C.Code, Pos), 0);
        if (C.Code == SB_THUMBTRACK || C.Code == SB_THUMBPOSITION)
          SendMessageW(W, A[1] == "h" ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
        return;
      }
    S.Fail("unknown scroll request " + A[2]);
  }
}

// The mouse moved to the screen point (X, Y), through the system's input
// queue as a real mouse's movement arrives.
INPUT MouseTo(int X, int Y, DWORD Buttons = 0) {
  const int Width = GetSystemMetrics(SM_CXSCREEN), Height = GetSystemMetrics(SM_CYSCREEN);
  INPUT In{};
  In.type = INPUT_MOUSE;
  In.mi.dx = (X * 65536 + Width - 1) / Width;
  In.mi.dy = (Y * 65536 + Height - 1) / Height;
  In.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | Buttons;
  return In;
}

// viewer-bar RECT v|h PART: the reader's mouse on the viewer window's own
// scroll bar, as real mouse input at the bar's screen coordinates: the
// cursor goes there, the left button goes down and up. PART: line-up,
// line-down (the arrows), page-up, page-down (the bar beside the thumb), or
// drag FRACTION: the thumb is held and moved, the button down, to FRACTION
// of the bar's length (0 its start, 1 its end: the thumb goes no further
// than its track's ends), then let go. Returns once the
// window has taken every message of the gesture.
void CmdBar(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  HWND W = NeedViewer(S, A[0]);
  if (!W) return;
  const bool Vertical = A[1] != "h";
  SCROLLBARINFO Bar{};
  Bar.cbSize = sizeof Bar;
  if (!GetScrollBarInfo(W, Vertical ? OBJID_VSCROLL : OBJID_HSCROLL, &Bar) ||
      (Bar.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)))
    return S.Fail(std::string(Vertical ? "vertical" : "horizontal") + " bar not shown");
  const RECT& R = Bar.rcScrollBar;  // screen coordinates
  const int Start = Vertical ? R.top : R.left,
            Length = Vertical ? R.bottom - R.top : R.right - R.left;
  const int Across = Vertical ? (R.left + R.right) / 2 : (R.top + R.bottom) / 2;
  const int Arrow = Bar.dxyLineButton;
  auto At = [&](int Along) { return Vertical ? MouseTo(Across, Along) : MouseTo(Along, Across); };
  std::vector<INPUT> Gesture;
  int Along = -1;
  if (A[2] == "line-up") Along = Start + Arrow / 2;
  if (A[2] == "line-down") Along = Start + Length - 1 - Arrow / 2;
  if (A[2] == "page-up") Along = Start + (Arrow + Bar.xyThumbTop) / 2;
  if (A[2] == "page-down") Along = Start + (Bar.xyThumbBottom + Length - Arrow) / 2;
  if (Along >= 0) {
    Gesture = {At(Along), At(Along), At(Along)};
    Gesture[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    Gesture[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  } else if (A[2] == "drag" && A.size() > 3) {
    const double Fraction = std::strtod(A[3].c_str(), nullptr);
    const int Thumb = Start + (Bar.xyThumbTop + Bar.xyThumbBottom) / 2;
    // Over the whole bar, arrows included: the thumb stops at its track's ends.
    const int To = Start + int(Fraction * (Length - 1));
    Gesture = {At(Thumb), At(Thumb), At((Thumb + To) / 2), At(To), At(To)};
    Gesture[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    Gesture[4].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  } else {
    return S.Fail("unknown scroll bar part " + A[2]);
  }
  if (SendInput(UINT(Gesture.size()), Gesture.data(), sizeof(INPUT)) != Gesture.size())
    return S.Fail("the mouse input was refused");
  // The button's messages reach this thread's queue (nothing is dispatched
  // meanwhile); the gesture is over once they are taken and the button is
  // up as the thread last saw it.
  if (!HIWORD(GetQueueStatus(QS_MOUSEBUTTON)) &&
      MsgWaitForMultipleObjects(0, nullptr, FALSE, kEventuallyMs, QS_MOUSEBUTTON) != WAIT_OBJECT_0)
    return S.Fail("the mouse input did not arrive");
  if (!H().WaitUntil(
          [] {
            return HIWORD(GetQueueStatus(QS_INPUT)) == 0 && !(GetKeyState(VK_LBUTTON) & 0x8000);
          },
          kEventuallyMs))
    S.Fail("the scroll bar did not take the mouse input");
}

// expect-scrollbar RECT v|h none | MAX PAGE POS: the window's own bar.
void CmdExpectScrollBar(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    const bool Vertical = A[1] != "h";
    const bool Shown = (GetWindowLongW(W, GWL_STYLE) & (Vertical ? WS_VSCROLL : WS_HSCROLL)) != 0;
    if (A[2] == "none") {
      if (Shown) S.Fail(std::string(Vertical ? "vertical" : "horizontal") + " scroll bar shown");
      return;
    }
    if (!Shown) return S.Fail(std::string(Vertical ? "vertical" : "horizontal") + " bar hidden");
    SCROLLINFO Si{};
    Si.cbSize = sizeof Si;
    Si.fMask = SIF_ALL;
    GetScrollInfo(W, Vertical ? SB_VERT : SB_HORZ, &Si);
    const std::string Got =
        std::to_string(Si.nMax) + " " + std::to_string(Si.nPage) + " " + std::to_string(Si.nPos);
    const std::string Want =
        A[2] + " " + (A.size() > 3 ? A[3] : "") + " " + (A.size() > 4 ? A[4] : "");
    if (Got != Want) S.Fail("scroll bar is " + Got + ", expected " + Want);
  }
}

void CmdNotify(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (HWND W = NeedViewer(S, A[0])) SendMessageW(W, WM_USER + 250, 0, kv::ParseInt32Or(A[1], 0));
}

// The viewer lies exactly over the Rectangle's client area and is visible.
void CmdExpectOver(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  HWND W = NeedViewer(S, A[0]), Rect = RectWindow(A[0]);
  if (!W || !Rect) return S.Fail("no Rectangle " + A[0]);
  RECT V, C;
  GetWindowRect(W, &V);
  GetClientRect(Rect, &C);
  MapWindowPoints(Rect, nullptr, reinterpret_cast<POINT*>(&C), 2);
  char Buf[160];
  std::snprintf(Buf, sizeof Buf, "viewer (%ld,%ld)-(%ld,%ld), Rectangle (%ld,%ld)-(%ld,%ld)",
                V.left, V.top, V.right, V.bottom, C.left, C.top, C.right, C.bottom);
  if (!EqualRect(&V, &C)) return S.Fail(Buf);
  if (!IsWindowVisible(W)) return S.Fail(std::string("viewer hidden; ") + Buf);
}

void CmdExpectHidden(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  HWND W = FindViewer(A[0]);
  if (W && IsWindowVisible(W)) S.Fail("viewer over " + A[0] + " is visible");
}

// viewer-shot RECT FILE.png [X Y RRGGBB]...: repaints the viewer, captures it
// from the screen, writes the PNG, then checks the given pixels.
void CmdShot(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  HWND W = NeedViewer(S, A[0]);
  if (!W) return;
  // Painted last, so nothing a sibling drew is left on it.
  RedrawWindow(W, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  try {
    kv::TPixels P = kv::CaptureWindow(reinterpret_cast<kv::TWindowHandle>(W));
    kv::WritePng(P, HostPath(A[1]));
    S.Print("screenshot " + A[1] + " " + std::to_string(P.Width) + "x" + std::to_string(P.Height));
    for (size_t I = 2; I + 3 <= A.size(); I += 3) {
      int X = kv::ParseInt32Or(A[I], -1), Y = kv::ParseInt32Or(A[I + 1], -1);
      if (X < 0 || Y < 0 || X >= P.Width || Y >= P.Height) {
        S.Fail("pixel outside the screenshot: " + A[I] + "," + A[I + 1]);
        continue;
      }
      kv::TColor C = P.At(X, Y);
      char Got[8];
      std::snprintf(Got, sizeof Got, "%02X%02X%02X", unsigned(C & 0xFF), unsigned((C >> 8) & 0xFF),
                    unsigned((C >> 16) & 0xFF));
      if (!kv::SameTextAscii(Got, A[I + 2]))
        S.Fail("pixel " + A[I] + "," + A[I + 1] + " is " + Got + ", expected " + A[I + 2]);
    }
  } catch (const std::exception& E) {
    S.Fail(E.what());
  }
}

double RepaintMs(HWND W, int Runs) {
  UpdateWindow(W);
  auto Start = std::chrono::steady_clock::now();
  for (int I = 0; I < Runs; ++I) RedrawWindow(W, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start)
             .count() /
         Runs;
}

void CmdPaintTime(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  if (HWND W = NeedViewer(S, A[0])) {
    char Buf[96];
    std::snprintf(Buf, sizeof Buf, "full repaint: %.2f ms",
                  RepaintMs(W, A.size() > 1 ? kv::ParseInt32Or(A[1], 20) : 20));
    S.Print(Buf);
  }
}

// A host with no callbacks but its window, for viewers made inside fvhost.
class TBareHost : public kv::IHost {
 public:
  bool HasGetVariable() const override { return false; }
  std::string GetVariable(const std::string&) override { return {}; }
  bool HasSetVariable() const override { return false; }
  void SetVariable(const std::string&, const std::string&) override {}
  bool HasInterfaceAccess() const override { return false; }
  bool InterfaceAccess(int, std::optional<std::string>&) override { return false; }
  bool HasPlayAction() const override { return false; }
  void PlayAction(const std::string&) override {}
  uintptr_t HostWindow() const override { return reinterpret_cast<uintptr_t>(H().Window()); }
};

// paint-bench ROWS COLS WIDTH HEIGHT [RUNS]: a viewer made here (not through
// the DLL) over a Rectangle of WIDTH x HEIGHT showing a ROWS x COLS sheet,
// scrolled to its middle; prints the average full repaint through GDI.
void CmdPaintBench(TScript& S, const TArgs& A) {
  if (!S.Need(A, 4)) return;
  int Rows = kv::ParseInt32Or(A[0], 0), Cols = kv::ParseInt32Or(A[1], 0);
  int Width = kv::ParseInt32Or(A[2], 0), Height = kv::ParseInt32Or(A[3], 0);
  int Runs = A.size() > 4 ? kv::ParseInt32Or(A[4], 20) : 20;
  std::string Data;
  Data.reserve(size_t(Rows) * size_t(Cols) * 40);
  for (int R = 0; R < Rows; ++R) {
    Data += "<row r=\"" + std::to_string(R + 1) + "\">";
    for (int C = 0; C < Cols; ++C)
      Data += "<c r=\"" + kv::ColumnIndexToLetters(C) + std::to_string(R + 1) + "\"><v>" +
              std::to_string(R * 7 + C) + ".25</v></c>";
    Data += "</row>";
  }
  const std::string Ns = "http://schemas.openxmlformats.org/";
  kv::TZipWriter Zip;
  Zip.AddEntry("[Content_Types].xml", "<Types xmlns=\"" + Ns + "package/2006/content-types\"/>");
  Zip.AddEntry("xl/workbook.xml",
               "<workbook xmlns=\"" + Ns + "spreadsheetml/2006/main\" xmlns:r=\"" + Ns +
                   "officeDocument/2006/relationships\"><sheets><sheet "
                   "name=\"Bench\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships xmlns=\"" + Ns +
                   "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + Ns +
                   "officeDocument/2006/relationships/worksheet\" "
                   "Target=\"worksheets/sheet1.xml\"/></Relationships>");
  Zip.AddEntry("xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + Ns +
                                               "spreadsheetml/2006/main\"><sheetData>" + Data +
                                               "</sheetData></worksheet>");
  Zip.Finish();
  wchar_t Tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, Tmp);
  std::string Path = Utf8OfWide(Tmp) + "fvhost-paint-bench.xlsx";
  try {
    kv::WriteWholeFile(Path, Zip.TakeBytes());
    HWND Rect = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                                Width, Height, H().Window(), nullptr, nullptr, nullptr);
    SetWindowPos(H().Window(), nullptr, 0, 0, Width + 40, Height + 60,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    TBareHost Host;
    auto V = kv::TVantSpreadsheet::CreateAttached(kv::Win32WindowSystem(), &Host, nullptr,
                                                  reinterpret_cast<kv::TWindowHandle>(Rect));
    V->LoadWorkbook(Path);
    V->ShowSpreadsheet();
    V->SelectCell(Cols / 2, Rows / 2, true);
    H().Pump(50);
    double Ms = RepaintMs(reinterpret_cast<HWND>(V->Handle()), Runs);
    char Buf[128];
    std::snprintf(Buf, sizeof Buf, "full repaint of a %d x %d viewer over %d x %d cells: %.2f ms",
                  Width, Height, Rows, Cols, Ms);
    S.Print(Buf);
    V.reset();
    DestroyWindow(Rect);
  } catch (const std::exception& E) {
    S.Fail(E.what());
  }
  kv::DeleteFileAt(Path);
}

const TScriptCommand Reg[] = {
    {"viewer-click RECT X Y [double]", CmdClick},
    {"viewer-key RECT [ctrl+][shift+][alt+]KEY", CmdKey},
    {"viewer-type RECT TEXT", CmdType},
    {"viewer-wheel RECT DELTA [shift] [X Y]", CmdWheel},
    {"viewer-notify RECT CODE", CmdNotify},
    {"viewer-scroll RECT v|h REQUEST [POS]", CmdScroll},
    {"viewer-bar RECT v|h PART [FRACTION]", CmdBar},
    {"expect-scrollbar RECT v|h none|MAX PAGE POS", CmdExpectScrollBar, TCheck::Eventually},
    {"host-field NAME X Y W H", CmdHostField},
    {"field-click NAME", CmdFieldClick},
    {"type TEXT", CmdTypeToFocus},
    {"expect-focus none|host|field NAME|viewer RECT|editor RECT", CmdExpectFocus,
     TCheck::Eventually},
    {"expect-field NAME TEXT", CmdExpectField},
    {"expect-viewer-over RECT", CmdExpectOver, TCheck::Eventually},
    {"expect-viewer-hidden RECT", CmdExpectHidden, TCheck::Eventually},
    {"viewer-shot RECT FILE.png [X Y RRGGBB]...", CmdShot},
    {"viewer-paint-time RECT [RUNS]", CmdPaintTime},
    {"paint-bench ROWS COLS WIDTH HEIGHT [RUNS]", CmdPaintBench},
};

}  // namespace

}  // namespace fvhost
