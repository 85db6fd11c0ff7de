// The viewer over real windows under Wine: a top-level host window with a
// Rectangle as a STATIC child, messages sent as the system and the user would.
// Screenshots go to viewer-screens/ beside the test program, in the build folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "base/Files.h"
#include "support/BuildFolder.h"
#include "support/FakeHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "viewer/VantSpreadsheet.h"
#include "win32/Screenshot.h"
#include "win32/ViewerWindow.h"

namespace kv {
namespace {

int GViewerTicks = 0;  // ticks of the viewer's timer dispatched so far

// Dispatches every message already waiting.
void PumpPending() {
  MSG M;
  while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&M);
    DispatchMessageW(&M);
    if (M.message == WM_TIMER && M.wParam == kViewerTimerId) ++GViewerTicks;
  }
}

// Dispatches the thread's messages until Done() holds; false when it still
// does not after five seconds.
template <class TDone>
bool PumpUntil(TDone Done) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!Done()) {
    if (std::chrono::steady_clock::now() >= End) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpPending();
  }
  return true;
}

// Until the viewer's timer has ticked once more, so whatever a tick does is done.
bool PumpTimerTick() {
  const int Before = GViewerTicks;
  return PumpUntil([&] { return GViewerTicks > Before; });
}

LPARAM At(int X, int Y) {
  return MAKELPARAM(X, Y);
}

class TViewerWindow : public ::testing::Test {
 protected:
  test::TTempDir FDir;
  test::TFakeHost FHost;
  HWND FHostWnd = nullptr, FRect = nullptr;
  std::unique_ptr<TVantSpreadsheet> FViewer;

  void SetUp() override {
    WNDCLASSW C{};
    C.lpfnWndProc = DefWindowProcW;
    C.hInstance = GetModuleHandleW(nullptr);
    C.lpszClassName = L"KvTestHost";
    C.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&C);
    FHostWnd = CreateWindowExW(0, L"KvTestHost", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, 1000, 700, nullptr, nullptr, C.hInstance, nullptr);
    ASSERT_NE(FHostWnd, nullptr);
    // Activation of a new top-level window reaches it late under X; an
    // editor opened before it settles would lose the focus (and commit) early.
    SetForegroundWindow(FHostWnd);
    // No state the program can read shows that X has delivered it (the
    // window reads as active at once), so this one wait is timed.
    const auto Settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    PumpUntil([&] { return std::chrono::steady_clock::now() >= Settled; });
    FRect = MakeRect(40, 30, 600, 400);
    FHost.FWindow = reinterpret_cast<uintptr_t>(FHostWnd);
    FHost.FOnAccess = [this](int Request, std::optional<std::string>& Slot) {
      if (Request == iaObjectWindow && Slot == "Grid1")
        Slot = std::to_string(reinterpret_cast<uintptr_t>(FRect));
      return true;
    };
  }
  void TearDown() override {
    FViewer.reset();
    DestroyWindow(FHostWnd);
  }
  // Clipped by its siblings, as a host's object windows must be: an unclipped
  // Rectangle repainting itself would paint over the viewer lying on it.
  HWND MakeRect(int X, int Y, int W, int H) {
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, X, Y, W, H,
                           FHostWnd, nullptr, nullptr, nullptr);
  }
  HWND View() const { return reinterpret_cast<HWND>(FViewer->Handle()); }
  RECT ViewerPlace() const {
    RECT R;
    GetWindowRect(View(), &R);
    MapWindowPoints(nullptr, FHostWnd, reinterpret_cast<POINT*>(&R), 2);
    return R;
  }
  void Open(const std::string& Placement, bool ActionToolbar = false) {
    FViewer = TVantSpreadsheet::CreateAttached(Win32WindowSystem(), &FHost, nullptr,
                                               reinterpret_cast<uintptr_t>(FRect));
    FViewer->SetRectangleName("Grid1");
    FViewer->SetToolbarPlacement(Placement);
    FViewer->SetShowActionToolbar(ActionToolbar);
    std::string Path = FDir.File("book.xlsx");
    WriteWholeFile(
        Path, test::MakeBook({{"Sales", test::GridData(40, 12)}, {"Costs", test::GridData(3, 3)}})
                  .Bytes());
    FViewer->LoadWorkbook(Path);
    FViewer->ShowSpreadsheet();
    PumpPending();
  }
  TPixels Shot(const std::string& Name) {
    UpdateWindow(View());
    PumpPending();
    TPixels P = CaptureWindow(FViewer->Handle());
    WritePng(P, test::BuildFolderFile("viewer-screens", Name + ".png"));
    return P;
  }
};

// The host script viewer_window.fvh covers following, re-finding, editing,
// page buttons and screenshots through the DLL; these cases need the port
// itself.
TEST_F(TViewerWindow, EditorPausesTrackingAndItsWholeTextIsCommitted) {
  Open("Top");
  SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, At(46 + 96 + 10, 98 + 22 * 3 + 5));
  SendMessageW(View(), WM_CHAR, 'x', 0);
  HWND Edit = reinterpret_cast<HWND>(FViewer->EditorHandle());
  ASSERT_TRUE(IsWindow(Edit));
  EXPECT_EQ(GetFocus(), Edit);
  MoveWindow(FRect, 100, 80, 500, 300, TRUE);
  ASSERT_TRUE(PumpTimerTick());
  ASSERT_EQ(FViewer->EditorHandle(), reinterpret_cast<uintptr_t>(Edit)) << "editor lost the focus";
  EXPECT_EQ(ViewerPlace().left, 40);  // not moved under the editor

  // Longer than the edit control's default limit and any fixed read buffer;
  // the editor takes text up to a cell's limit and no further.
  std::wstring Long(32766, L'w');
  SendMessageW(Edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Long.c_str()));
  SendMessageW(Edit, EM_SETSEL, 32766, 32766);
  SendMessageW(Edit, WM_CHAR, 'z', 0);
  SendMessageW(Edit, WM_CHAR, 'y', 0);
  SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, At(46 + 10, 98 + 22 * 6 + 5));
  EXPECT_FALSE(IsWindow(Edit));
  EXPECT_EQ(FViewer->Workbook()->Sheet(0).Cell(2, 1), std::string(32766, 'w') + "z");
  ASSERT_TRUE(PumpTimerTick());
  EXPECT_EQ(ViewerPlace().left, 100);  // tracking resumed
}

// The edit control hands its keys to the viewer first: Alt+Enter breaks the
// line, Enter keeps the text and moves down, Escape drops it; the characters
// those keys make never reach the text.
TEST_F(TViewerWindow, EditorKeysReachTheViewerThroughTheEditControl) {
  Open("Top");
  SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, At(46 + 10, 98 + 22 + 5));  // A1
  SendMessageW(View(), WM_CHAR, '7', 0);
  HWND Edit = reinterpret_cast<HWND>(FViewer->EditorHandle());
  ASSERT_TRUE(IsWindow(Edit));
  SendMessageW(Edit, WM_CHAR, '1', 0);
  BYTE Old[256], Alt[256];
  GetKeyboardState(Old);
  std::copy(std::begin(Old), std::end(Old), std::begin(Alt));
  Alt[VK_MENU] |= 0x80;
  SetKeyboardState(Alt);
  SendMessageW(Edit, WM_SYSKEYDOWN, VK_RETURN, LPARAM(1) | (LPARAM(1) << 29));
  SendMessageW(Edit, WM_SYSCHAR, '\r', LPARAM(1) | (LPARAM(1) << 29));
  SetKeyboardState(Old);
  ASSERT_TRUE(IsWindow(Edit));
  SendMessageW(Edit, WM_CHAR, '2', 0);
  SendMessageW(Edit, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_FALSE(IsWindow(Edit));
  EXPECT_EQ(FViewer->Workbook()->Sheet(0).Cell(0, 0), "71\n2");
  EXPECT_EQ(FViewer->SelectedRow(), 1);
  EXPECT_EQ(GetFocus(), View());
  SendMessageW(View(), WM_CHAR, '9', 0);
  Edit = reinterpret_cast<HWND>(FViewer->EditorHandle());
  ASSERT_TRUE(IsWindow(Edit));
  SendMessageW(Edit, WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_FALSE(IsWindow(Edit));
  EXPECT_EQ(FViewer->Workbook()->Sheet(0).Cell(1, 0), "1:0");
}

TEST_F(TViewerWindow, DestroyingWhileEditingLeavesNoWindowAndNoError) {
  Open("Top");
  SendMessageW(View(), WM_KEYDOWN, VK_F2, 0);
  HWND Edit = reinterpret_cast<HWND>(FViewer->EditorHandle());
  ASSERT_TRUE(IsWindow(Edit));
  SendMessageW(Edit, WM_CHAR, 'q', 0);
  HWND Wnd = View();
  FViewer.reset();
  EXPECT_FALSE(IsWindow(Wnd));
  EXPECT_FALSE(IsWindow(Edit));
  EXPECT_EQ(FHost.Var("[LastError]"), "");
}

TEST_F(TViewerWindow, AHostFieldClickedDuringAnEditKeepsTheFocusAndTheKeys) {
  HWND Field = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 700, 30, 200, 24,
                               FHostWnd, nullptr, nullptr, nullptr);
  ASSERT_NE(Field, nullptr);
  Open("Top");
  FViewer->ApplySettings("GridFont=Courier New;FontSize=12");
  SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, At(46 + 10, 98 + 22 + 5));
  SendMessageW(View(), WM_KEYDOWN, VK_F2, 0);
  HWND Edit = reinterpret_cast<HWND>(FViewer->EditorHandle());
  ASSERT_TRUE(IsWindow(Edit));
  ASSERT_EQ(GetFocus(), Edit);
  // The editor shows the viewer's font, not the bold system font.
  LOGFONTW Font{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Edit, WM_GETFONT, 0, 0)), sizeof Font,
                         &Font));
  EXPECT_STREQ(Font.lfFaceName, L"Courier New");
  HDC Dc = GetDC(Edit);
  EXPECT_EQ(Font.lfHeight, -MulDiv(12, GetDeviceCaps(Dc, LOGPIXELSY), 72));
  ReleaseDC(Edit, Dc);
  EXPECT_NE(Font.lfWeight, FW_BOLD);

  // The edit control takes the focus on a click, as a reader's click does.
  SendMessageW(Field, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  SendMessageW(Field, WM_LBUTTONUP, 0, At(5, 5));
  EXPECT_FALSE(IsWindow(Edit));
  ASSERT_EQ(GetFocus(), Field);
  for (wchar_t C : std::wstring(L"hello")) SendMessageW(GetFocus(), WM_CHAR, C, 1);
  wchar_t Got[32] = L"";
  GetWindowTextW(Field, Got, 32);
  EXPECT_STREQ(Got, L"hello");
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(FViewer->Workbook()->Sheet(0).Cell(0, 0), "0:0");

  // A sheet change closes an editor that has the focus and hands it to the
  // viewer.
  SendMessageW(View(), WM_LBUTTONDOWN, MK_LBUTTON, At(46 + 10, 98 + 22 + 5));
  SendMessageW(View(), WM_KEYDOWN, VK_F2, 0);
  ASSERT_EQ(GetFocus(), reinterpret_cast<HWND>(FViewer->EditorHandle()));
  FViewer->GotoSheet(1);
  EXPECT_EQ(GetFocus(), View());
  DestroyWindow(Field);
}

// The sheet (40 x 12 cells) is larger than the grid: its partly visible last
// row or column and the tab reaching the strip's end stop at their regions.
TEST_F(TViewerWindow, ScreenshotsShowBottomAndRightToolbarsIntactOverALargerSheet) {
  const TColor Toolbar = Rgb(226, 226, 226);
  Open("Bottom");  // toolbar (0, 332)-(600, 400); the last row drawn runs to 338
  TPixels P = Shot("port-bottom");
  EXPECT_EQ(P.At(46 + 96 + 40, 333), Toolbar);
  EXPECT_EQ(P.At(300, 337), Toolbar);
  EXPECT_EQ(P.At(46 + 96 + 40, 331), Rgb(255, 255, 255));  // the cut row, above the toolbar

  // Three tabs: the third one, from 300, reaches past the strip's end at 410.
  std::string Path = FDir.File("three.xlsx");
  WriteWholeFile(Path, test::MakeBook({{"Sales", test::GridData(40, 12)},
                                       {"Costs", test::GridData(3, 3)},
                                       {"Third", test::GridData(3, 3)}})
                           .Bytes());
  FViewer->LoadWorkbook(Path);
  FViewer->SetToolbarPlacement("Right");  // toolbar from x 410; column D runs to 430
  P = Shot("port-right");
  EXPECT_EQ(P.At(412, 200), Toolbar);
  EXPECT_EQ(P.At(415, 15), Toolbar);                   // the third tab ends at 410
  EXPECT_EQ(P.At(405, 200 + 11), Rgb(255, 255, 255));  // the cut column
  EXPECT_EQ(P.At(405, 15), Rgb(232, 232, 232));        // the cut tab
}

TEST_F(TViewerWindow, ScreenshotsShowLeftToolbarAndPageModeAfterSettings) {
  Open("Left");
  FViewer->ApplySettings("ToolbarColor=#336699;HeaderColor=102030;SelectionColor=00FF00");
  TPixels P = Shot("port-left");
  EXPECT_EQ(P.At(180, 390), Rgb(0x33, 0x66, 0x99));
  EXPECT_EQ(P.At(190 + 46 + 90, 30 + 11), Rgb(0x10, 0x20, 0x30));
  EXPECT_EQ(P.At(190 + 46 + 90, 52 + 11), Rgb(0, 255, 0));
  EXPECT_EQ(P.At(190 + 46, 52 + 11), Rgb(200, 200, 200));

  FViewer->SetToolbarPlacement("Page");
  FViewer->SetShowActionToolbar(true);
  P = Shot("port-page");
  EXPECT_EQ(P.At(1, 1), Rgb(0x33, 0x66, 0x99));
  EXPECT_EQ(P.At(80 + 70, 28), Rgb(255, 255, 255));
  EXPECT_EQ(P.At(80 + 3, 20), Rgb(176, 176, 176));
  EXPECT_EQ(P.At(46 + 90, 56 + 11), Rgb(0, 255, 0));
  // A large font widens and heightens the buttons to their labels; the
  // outlines stay whole.
  FViewer->ApplySettings("FontSize=16");
  P = Shot("port-page-large");
  int32_t Slot = 1;
  while (FViewer->ActionButtonAt(Slot, 20) == 0) ++Slot;
  const int32_t Bottom = FViewer->ActionToolbarRect().Bottom;
  EXPECT_GT(Slot, 80);
  EXPECT_GT(Bottom, 34);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ(P.At(Slot * (I + 1) - 4, 20), Rgb(176, 176, 176)) << I;     // right edge
    EXPECT_EQ(P.At(Slot * I + 40, Bottom - 5), Rgb(176, 176, 176)) << I;  // bottom edge
  }
}

}  // namespace
}  // namespace kv
