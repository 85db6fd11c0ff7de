// The dialog frame over real windows: every form of the eleven actions laid
// out at its pixel positions in "MS Sans Serif" 8 pt, centred, fixed border,
// with no two controls on top of each other as Wine actually draws them, and
// each one captured as a PNG under dialog-screens/ beside the test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "base/Text.h"
#include "base/WideText.h"
#include "dialogs/DialogFrame.h"
#include "dialogs/EditForms.h"
#include "support/BuildFolder.h"
#include "win32/Screenshot.h"
#include "win32/UiSync.h"

namespace kv {
namespace {

class TNoHost : public IDialogHost {
 public:
  bool HasInterfaceAccess() const override { return false; }
  bool InterfaceAccess(int, std::optional<std::string>&) override { return false; }
  std::string ReadHostVariable(const std::string& Name) override {
    return Name == "[PubTitle]" ? "Course" : Name == "[PubDir]" ? "C:\\pubs" : "";
  }
  void SetLastError(const std::string&) override {}
  std::string CurrentPublicationPath() override { return "C:\\pubs\\Course.pub"; }
  std::string ExpandPublicationPlaceholders(const std::string& T) override { return T; }
};

struct TShown {
  std::string Caption;
  LONG_PTR Style = 0;
  RECT Window{}, Client{};
  std::map<std::string, RECT> Rects;  // client coordinates of the form
  std::map<std::string, bool> Visible;
  std::map<std::string, std::string> Fonts;
  TPixels Shot;
};

// stdcall, as EnumThreadWindows calls it (a lambda would be cdecl on i686).
BOOL CALLBACK MatchVisibleDialog(HWND W, LPARAM P) {
  wchar_t Cls[16] = {};
  GetClassNameW(W, Cls, 16);
  if (std::wstring(Cls) != L"#32770" || !IsWindowVisible(W)) return TRUE;
  *reinterpret_cast<HWND*>(P) = W;
  return FALSE;
}

HWND FindForm(DWORD Thread) {
  HWND Found = nullptr;
  for (int T = 0; T < 250 && !Found; ++T) {
    EnumThreadWindows(Thread, MatchVisibleDialog, reinterpret_cast<LPARAM>(&Found));
    if (!Found) Sleep(20);
  }
  return Found;
}

TShown ShowAndInspect(TFormModel& Form) {
  TShown Out;
  const DWORD Ui = GetCurrentThreadId();
  TUiSync Sync;
  std::thread Driver([&] {
    HWND D = FindForm(Ui);
    if (!D) return;
    Sync.WaitHandled();  // the dialog's loop runs: set-up is over
    wchar_t Buf[256] = {};
    GetWindowTextW(D, Buf, 256);
    Out.Caption = Utf8OfWide(Buf);
    Out.Style = GetWindowLongPtrW(D, GWL_STYLE);
    GetWindowRect(D, &Out.Window);
    GetClientRect(D, &Out.Client);
    for (HWND C = GetWindow(D, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT)) {
      auto Atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(C, L"kvControlName")));
      wchar_t Name[128] = {};
      if (!Atom || !GlobalGetAtomNameW(Atom, Name, 128)) continue;
      RECT R;
      GetWindowRect(C, &R);
      MapWindowPoints(nullptr, D, reinterpret_cast<POINT*>(&R), 2);
      Out.Rects[Utf8OfWide(Name)] = R;
      Out.Visible[Utf8OfWide(Name)] = IsWindowVisible(C) != FALSE;
      LOGFONTW Lf = {};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(C, WM_GETFONT, 0, 0)), sizeof(Lf), &Lf);
      Out.Fonts[Utf8OfWide(Name)] = Utf8OfWide(Lf.lfFaceName) + "/" + std::to_string(Lf.lfHeight);
    }
    RedrawWindow(D, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // The picture has settled when two captures in a row agree.
    Out.Shot = CaptureWindow(reinterpret_cast<TWindowHandle>(D));
    for (int Round = 0; Round < 50 && Sync.WaitHandled(); ++Round) {
      TPixels Again = CaptureWindow(reinterpret_cast<TWindowHandle>(D));
      const bool Same = Again.Rgb == Out.Shot.Rgb && Again.Width == Out.Shot.Width;
      Out.Shot = std::move(Again);
      if (Same) break;
    }
    SendMessageW(D, WM_COMMAND, IDCANCEL, 0);
  });
  auto Runner = CreateWin32FormRunner();
  Form.SetUi(&Runner->Ui());
  int Result = Runner->ShowModal(Form);
  Driver.join();
  EXPECT_EQ(Result, kModalCancel);
  return Out;
}

TEST(DialogFrame, EveryFormIsLaidOutAsDesigned) {
  TNoHost Host;
  for (int Id = 1; Id <= 11; ++Id) {
    SCOPED_TRACE("action " + std::to_string(Id));
    auto Form = CreateEditForm(Id, Host);
    auto Design = CreateEditForm(Id, Host);  // untouched by the frame
    Form->FillFromParams({});
    TShown S = ShowAndInspect(*Form);
    ASSERT_FALSE(S.Rects.empty());
    EXPECT_EQ(S.Caption, Design->Caption());
    EXPECT_FALSE(S.Style & WS_THICKFRAME);
    EXPECT_EQ(S.Client.right, Design->ClientWidth());
    EXPECT_GE(S.Client.bottom, Design->ClientHeight());
    const int Cx = (S.Window.left + S.Window.right) / 2, Cy = (S.Window.top + S.Window.bottom) / 2;
    EXPECT_NEAR(Cx, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR(Cy, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    // Fields, lists and buttons sit where the table puts them; only rows
    // below a hint that had to grow may move down, never sideways.
    int FirstMoved = 1 << 30;
    for (const TControl& C : Form->Controls())
      if (C.Kind == TControlKind::HintLabel) {
        const TControl& D = Design->Control(C.Name);
        if (C.Height > D.Height || C.Top != D.Top) FirstMoved = std::min(FirstMoved, D.Top);
      }
    for (const TControl& D : Design->Controls()) {
      if (D.Kind == TControlKind::Label || D.Kind == TControlKind::HintLabel) continue;
      ASSERT_TRUE(S.Rects.count(D.Name)) << D.Name;
      const RECT R = S.Rects[D.Name];
      int Left = D.Left, Top = D.Top;
      if (!D.Parent.empty()) {
        Left += Design->Control(D.Parent).Left;
        Top += Design->Control(D.Parent).Top;
      }
      // The field a widened label names gives up room on its left only.
      bool Named = false;
      for (const TControl& L : Design->Controls())
        if (L.Kind == TControlKind::Label && L.FocusControl == D.Name && L.Width > 0) Named = true;
      EXPECT_EQ(R.left == Left || Named, true) << D.Name;
      EXPECT_GE(R.left, Left) << D.Name;
      if (Top < FirstMoved) {
        EXPECT_EQ(R.top, Top) << D.Name;
      }
      if (D.Kind != TControlKind::CheckBox && D.Kind != TControlKind::RadioButton) {
        EXPECT_EQ(R.right, Left + D.Width) << D.Name;
      }
      if (D.Kind != TControlKind::DropDownList) {
        EXPECT_EQ(R.bottom - R.top, D.Height) << D.Name;
      }
    }
    for (const auto& [Name, Font] : S.Fonts) EXPECT_EQ(Font, "MS Sans Serif/-11") << Name;

    // As drawn: nothing lies on anything else (group boxes hold controls,
    // and a drop-down's window includes its closed list).
    for (const auto& [A, Ra] : S.Rects)
      for (const auto& [B, Rb] : S.Rects) {
        if (!(A < B) || !S.Visible[A] || !S.Visible[B]) continue;
        const TControl &Ca = Form->Control(A), &Cb = Form->Control(B);
        if (Ca.Kind == TControlKind::GroupBox || Cb.Kind == TControlKind::GroupBox) continue;
        RECT Ea = Ra, Eb = Rb, X;
        if (Ca.Kind == TControlKind::DropDownList) Ea.bottom = Ea.top + 21;
        if (Cb.Kind == TControlKind::DropDownList) Eb.bottom = Eb.top + 21;
        EXPECT_FALSE(IntersectRect(&X, &Ea, &Eb)) << A << " overlaps " << B;
      }
    ASSERT_GT(S.Shot.Width, 0);
    WritePng(S.Shot,
             test::BuildFolderFile("dialog-screens", "action" + std::to_string(Id) + ".png"));
  }
}

}  // namespace
}  // namespace kv
