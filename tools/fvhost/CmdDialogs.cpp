// Dialog automation: "dlg-..." lines queue steps that a driver thread plays
// against the dialogs that the next "edit" call opens (the property dialog,
// the file and colour dialogs, message boxes); "edit" calls fvEditAction and
// keeps the parameter slots for the checks that follow.
#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "Host.h"
#include "Script.h"
#include "base/Text.h"
#include "win32/Screenshot.h"
#include "win32/UiSync.h"

namespace fvhost {

namespace {

struct TStep {
  std::string Verb;
  TArgs Args;
  int Line;
};

std::vector<TStep> GSteps;
std::vector<kv::THostString> GSlots;
std::vector<kv::THostString> GSlotsBefore;
std::vector<std::string> GTextsBefore;
int GEditResult = -1;

std::wstring Text(HWND H) {
  wchar_t Buf[4096] = {};
  SendMessageW(H, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(Buf));
  return Buf;
}

// Enumeration callbacks are stdcall (CALLBACK): a lambda would be cdecl on i686.
BOOL CALLBACK MarkFormControl(HWND C, LPARAM P) {
  if (!GetPropW(C, L"kvControlName")) return TRUE;
  *reinterpret_cast<bool*>(P) = true;
  return FALSE;
}

bool IsFormDialog(HWND Dlg) {
  bool Found = false;
  EnumChildWindows(Dlg, MarkFormControl, reinterpret_cast<LPARAM>(&Found));
  return Found;
}

BOOL CALLBACK MarkUnpainted(HWND C, LPARAM P) {
  if (!IsWindowVisible(C) || !GetUpdateRect(C, nullptr, FALSE)) return TRUE;
  *reinterpret_cast<bool*>(P) = true;
  return FALSE;
}

// True while the window or a visible child still waits for its paint.
bool PaintPending(HWND W) {
  bool Pending = GetUpdateRect(W, nullptr, FALSE) != FALSE;
  if (!Pending) EnumChildWindows(W, MarkUnpainted, reinterpret_cast<LPARAM>(&Pending));
  return Pending;
}

struct TFind {
  DWORD Thread;
  bool Form;
  HWND Result = nullptr;
};

BOOL CALLBACK MatchDialog(HWND W, LPARAM P) {
  auto* Find = reinterpret_cast<TFind*>(P);
  wchar_t Cls[64] = {};
  GetClassNameW(W, Cls, 64);
  if (std::wstring(Cls) != L"#32770" || !IsWindowVisible(W)) return TRUE;
  if (IsFormDialog(W) != Find->Form) return TRUE;
  Find->Result = W;
  return FALSE;
}

// The visible "#32770" window of the UI thread that is (or is not) a form.
HWND FindDialog(DWORD Thread, bool Form) {
  TFind F{Thread, Form};
  EnumThreadWindows(Thread, MatchDialog, reinterpret_cast<LPARAM>(&F));
  return F.Result;
}

// The dialog once it is there as a user sees it: shown, done with what it
// posted to itself while opening, and painted with every visible child.
// Playing a dialog before its first paint would skip what painting creates
// once per process (Wine keeps the pens of the first radio button it draws),
// so that a long run would see it appear in whichever block first paints.
HWND WaitDialog(DWORD Thread, kv::TUiSync& Sync, bool Form) {
  HWND D = nullptr;
  if (!THost::Get().WaitUntil([&] { return (D = FindDialog(Thread, Form)) != nullptr; }))
    return nullptr;
  Sync.WaitHandled();
  THost::Get().WaitUntil([&] { return !PaintPending(D); });
  return D;
}

struct TNamedControl {
  std::wstring Name;
  HWND Found = nullptr;
};

BOOL CALLBACK MatchControlName(HWND C, LPARAM P) {
  auto* Query = reinterpret_cast<TNamedControl*>(P);
  auto Atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(C, L"kvControlName")));
  wchar_t Buf[128] = {};
  if (!Atom || !GlobalGetAtomNameW(Atom, Buf, 128) || Query->Name != Buf) return TRUE;
  Query->Found = C;
  return FALSE;
}

HWND ControlByName(HWND Dlg, const std::string& Name) {
  TNamedControl Q{WideOf(Name)};
  EnumChildWindows(Dlg, MatchControlName, reinterpret_cast<LPARAM>(&Q));
  return Q.Found;
}

std::string ListItems(HWND Lv) {
  std::string Out;
  int Count = static_cast<int>(SendMessageW(Lv, LVM_GETITEMCOUNT, 0, 0));
  for (int I = 0; I < Count; ++I) {
    wchar_t Buf[512] = {};
    LVITEMW It = {};
    It.iSubItem = 0;
    It.pszText = Buf;
    It.cchTextMax = 512;
    SendMessageW(Lv, LVM_GETITEMTEXTW, I, reinterpret_cast<LPARAM>(&It));
    UINT State = static_cast<UINT>(SendMessageW(Lv, LVM_GETITEMSTATE, I, LVIS_STATEIMAGEMASK));
    if (!Out.empty()) Out += ";";
    Out += Utf8OfWide(Buf) + "=" + (((State >> 12) - 1) ? "1" : "0");
  }
  return Out;
}

// The dialog as it shows on screen, frame and caption included; no pixels
// when no bitmap can be made.
kv::TPixels CaptureScreen(HWND Dlg) {
  kv::TPixels P;
  RECT R;
  GetWindowRect(Dlg, &R);
  const int W = R.right - R.left, H = R.bottom - R.top;
  if (W <= 0 || H <= 0) return P;
  HDC Screen = GetDC(nullptr);
  HDC Mem = CreateCompatibleDC(Screen);
  BITMAPINFO Bi = {};
  Bi.bmiHeader.biSize = sizeof(Bi.bmiHeader);
  Bi.bmiHeader.biWidth = W;
  Bi.bmiHeader.biHeight = -H;  // top-down rows
  Bi.bmiHeader.biPlanes = 1;
  Bi.bmiHeader.biBitCount = 24;
  void* Bits = nullptr;
  HBITMAP Bmp = CreateDIBSection(Screen, &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (Bmp && Bits) {
    HGDIOBJ Old = SelectObject(Mem, Bmp);
    BitBlt(Mem, 0, 0, W, H, Screen, R.left, R.top, SRCCOPY);
    GdiFlush();
    P.Width = W;
    P.Height = H;
    P.Rgb.resize(size_t(W) * size_t(H) * 3);
    const size_t Stride = ((size_t(W) * 3 + 3) / 4) * 4;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const uint8_t* Bgr = static_cast<const uint8_t*>(Bits) + size_t(Y) * Stride + size_t(X) * 3;
        uint8_t* Rgb = &P.Rgb[(size_t(Y) * size_t(W) + size_t(X)) * 3];
        Rgb[0] = Bgr[2];
        Rgb[1] = Bgr[1];
        Rgb[2] = Bgr[0];
      }
    SelectObject(Mem, Old);
  }
  if (Bmp) DeleteObject(Bmp);
  DeleteDC(Mem);
  ReleaseDC(nullptr, Screen);
  return P;
}

// Writes the dialog as it shows on screen into a PNG file (the pictures of
// the authors' guide are these files), once the picture has settled: the UI
// thread has painted and two captures in a row agree.
bool Screenshot(HWND Dlg, kv::TUiSync& Sync, const std::string& Path) {
  kv::TPixels P = CaptureScreen(Dlg);
  THost::Get().WaitUntil([&] {
    if (P.Width == 0 || !Sync.WaitHandled()) return true;
    kv::TPixels Again = CaptureScreen(Dlg);
    const bool Same = Again.Width == P.Width && Again.Height == P.Height && Again.Rgb == P.Rgb;
    P = std::move(Again);
    return Same;
  });
  if (P.Width == 0) return false;
  try {
    kv::WritePng(P, HostPath(Path));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void Click(HWND B) {
  SendMessageW(B, BM_CLICK, 0, 0);
}

// Plays one step; returns a failure text or "". Sync waits until the UI
// thread has handled what a step posted.
std::string Play(DWORD Thread, kv::TUiSync& Sync, const TStep& S) {
  const TArgs& A = S.Args;
  auto Arg = [&](size_t I) { return I < A.size() ? A[I] : std::string(); };
  if (S.Verb == "dlg-answer-file" || S.Verb == "dlg-cancel-file" || S.Verb == "dlg-answer-color" ||
      S.Verb == "dlg-cancel-color" || S.Verb == "dlg-expect-message") {
    HWND D = WaitDialog(Thread, Sync, false);
    if (!D) return "no common dialog or message box appeared";
    if (S.Verb == "dlg-expect-message") {
      std::string All;
      for (HWND C = GetWindow(D, GW_CHILD); C; C = GetWindow(C, GW_HWNDNEXT))
        All += Utf8OfWide(Text(C)) + "\n";
      Click(GetDlgItem(D, IDOK));
      if (All.find(Arg(0)) == std::string::npos)
        return "message box lacks \"" + Arg(0) + "\": " + All;
      return "";
    }
    if (S.Verb == "dlg-cancel-file" || S.Verb == "dlg-cancel-color") {
      SendMessageW(D, WM_COMMAND, IDCANCEL, 0);
      return "";
    }
    if (S.Verb == "dlg-answer-file") {
      HWND Name = GetDlgItem(D, 0x47c);  // file name combo box
      if (!Name) Name = GetDlgItem(D, 0x480);
      if (!Name) return "file dialog without a file name box";
      SetWindowTextW(Name, WideOf(HostPath(Arg(0))).c_str());
      SendMessageW(D, WM_COMMAND, IDOK, 0);
      return "";
    }
    // Colour dialog: the red, green and blue boxes.
    const unsigned long V = std::strtoul(Arg(0).c_str(), nullptr, 16);
    const int Ids[3] = {706, 707, 708};
    const unsigned long Parts[3] = {(V >> 16) & 255, (V >> 8) & 255, V & 255};
    for (int I = 0; I < 3; ++I) {
      HWND E = GetDlgItem(D, Ids[I]);
      if (!E) return "colour dialog without its RGB boxes";
      SetWindowTextW(E, std::to_wstring(Parts[I]).c_str());
    }
    Sync.WaitHandled();
    SendMessageW(D, WM_COMMAND, IDOK, 0);
    return "";
  }

  HWND D = WaitDialog(Thread, Sync, true);
  if (!D) return "no property dialog appeared";
  if (S.Verb == "dlg-expect-caption") {
    std::string C = Utf8OfWide(Text(D));
    return C == Arg(0) ? "" : "caption \"" + C + "\", expected \"" + Arg(0) + "\"";
  }
  if (S.Verb == "dlg-shot") {
    RedrawWindow(D, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return Screenshot(D, Sync, Arg(0)) ? "" : "screenshot not written";
  }
  if (S.Verb == "dlg-ok" || S.Verb == "dlg-cancel") {
    Click(GetDlgItem(D, S.Verb == "dlg-ok" ? IDOK : IDCANCEL));
    return "";
  }
  if (S.Verb == "dlg-key") {
    // Posted to the focused control, as a key press reaches the dialog's
    // message loop.
    GUITHREADINFO Gi = {};
    Gi.cbSize = sizeof(Gi);
    GetGUIThreadInfo(Thread, &Gi);
    HWND Target = Gi.hwndFocus ? Gi.hwndFocus : D;
    const WPARAM Vk = Arg(0) == "escape" ? VK_ESCAPE : VK_RETURN;
    PostMessageW(Target, WM_KEYDOWN, Vk, 1);
    PostMessageW(Target, WM_KEYUP, Vk, 0xC0000001);
    return "";
  }
  if (S.Verb == "dlg-close") {
    SendMessageW(D, WM_CLOSE, 0, 0);
    return "";
  }
  HWND C = ControlByName(D, Arg(0));
  if (!C) return "no control " + Arg(0);
  if (S.Verb == "dlg-expect") {
    std::string T = Utf8OfWide(Text(C));
    return T == Arg(1) ? "" : Arg(0) + " shows \"" + T + "\", expected \"" + Arg(1) + "\"";
  }
  if (S.Verb == "dlg-expect-check") {
    bool On = SendMessageW(C, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return (On ? "1" : "0") == Arg(1) ? "" : Arg(0) + " check state differs";
  }
  if (S.Verb == "dlg-expect-enabled") {
    bool On = IsWindowEnabled(C) && !(GetWindowLongW(C, GWL_STYLE) & ES_READONLY);
    return (On ? "1" : "0") == Arg(1) ? "" : Arg(0) + " enabled/read-only state differs";
  }
  if (S.Verb == "dlg-expect-items") {
    std::string T = ListItems(C);
    return T == Arg(1) ? "" : Arg(0) + " holds \"" + T + "\", expected \"" + Arg(1) + "\"";
  }
  if (S.Verb == "dlg-set") {
    SendMessageW(C, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WideOf(Arg(1)).c_str()));
    return "";
  }
  if (S.Verb == "dlg-select") {
    LRESULT I = SendMessageW(C, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(WideOf(Arg(1)).c_str()));
    if (I == CB_ERR) return Arg(0) + " has no item " + Arg(1);
    SendMessageW(C, CB_SETCURSEL, static_cast<WPARAM>(I), 0);
    return "";
  }
  if (S.Verb == "dlg-click") {
    // Posted: a click that opens a modal dialog would block a sent message
    // until that dialog closes, and the next step is what closes it.
    PostMessageW(C, BM_CLICK, 0, 0);
    return "";
  }
  if (S.Verb == "dlg-focus") {
    SendMessageW(D, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(C), TRUE);
    return "";
  }
  if (S.Verb == "dlg-check-item") {
    LVITEMW It = {};
    It.stateMask = LVIS_STATEIMAGEMASK;
    It.state = INDEXTOSTATEIMAGEMASK(Arg(2) == "1" ? 2 : 1);
    SendMessageW(C, LVM_SETITEMSTATE, kv::ParseInt32Or(Arg(1), 0), reinterpret_cast<LPARAM>(&It));
    return "";
  }
  return "unknown step " + S.Verb;
}

void CmdQueue(TScript& S, const TArgs& A, const char* Verb) {
  GSteps.push_back({Verb, A, S.CurrentLine()});
}

#define KV_STEP(Fn, Verb)               \
  void Fn(TScript& S, const TArgs& A) { \
    CmdQueue(S, A, Verb);               \
  }
KV_STEP(StepCaption, "dlg-expect-caption")
KV_STEP(StepExpect, "dlg-expect")
KV_STEP(StepExpectCheck, "dlg-expect-check")
KV_STEP(StepExpectEnabled, "dlg-expect-enabled")
KV_STEP(StepExpectItems, "dlg-expect-items")
KV_STEP(StepSet, "dlg-set")
KV_STEP(StepSelect, "dlg-select")
KV_STEP(StepClick, "dlg-click")
KV_STEP(StepFocus, "dlg-focus")
KV_STEP(StepCheckItem, "dlg-check-item")
KV_STEP(StepShot, "dlg-shot")
KV_STEP(StepOk, "dlg-ok")
KV_STEP(StepCancel, "dlg-cancel")
KV_STEP(StepClose, "dlg-close")
KV_STEP(StepKey, "dlg-key")
KV_STEP(StepAnswerFile, "dlg-answer-file")
KV_STEP(StepCancelFile, "dlg-cancel-file")
KV_STEP(StepAnswerColor, "dlg-answer-color")
KV_STEP(StepCancelColor, "dlg-cancel-color")
KV_STEP(StepMessage, "dlg-expect-message")
#undef KV_STEP

void FreeSlots() {
  for (auto& P : GSlots) THost::FreeHostString(P);
  GSlots.clear();
}

void CmdEdit(TScript& S, const TArgs& A) {
  THost& H = THost::Get();
  if (!H.Loaded()) return S.Fail("no DLL loaded");
  if (!S.Need(A, 1)) return;
  int Id = 0;
  if (!H.ActionId(A[0], Id)) return S.Fail("unknown action " + A[0]);
  FreeSlots();
  GTextsBefore.clear();
  for (size_t I = 1; I < A.size(); ++I) {
    GSlots.push_back(A[I] == "<null>" ? nullptr : THost::NewHostString(A[I]));
    GTextsBefore.push_back(A[I] == "<null>" ? "" : A[I]);
  }
  GSlots.resize(8, nullptr);
  GSlotsBefore = GSlots;

  std::vector<TStep> Steps;
  Steps.swap(GSteps);
  std::mutex Mu;
  std::vector<std::pair<int, std::string>> Failures;
  // Stopped once the edit call has returned: no dialog loop is left then.
  kv::TUiSync Sync;
  const DWORD Ui = GetCurrentThreadId();
  std::thread Driver([&] {
    for (const TStep& St : Steps) {
      std::string F = Play(Ui, Sync, St);
      if (!F.empty()) {
        std::lock_guard<std::mutex> L(Mu);
        Failures.emplace_back(St.Line, F);
      }
      // What a step posted (a key, a click) is handled before the next.
      Sync.WaitHandled();
    }
    // Watchdog: whatever is still open after the steps is cancelled, so that a
    // script that forgot its OK or Cancel fails instead of hanging.
    if (Sync.WaitStopped(3000)) return;
    do {
      for (bool Form : {false, true})
        if (HWND D = FindDialog(Ui, Form)) {
          SendMessageW(D, WM_COMMAND, IDCANCEL, 0);
          std::lock_guard<std::mutex> L(Mu);
          Failures.emplace_back(0, "a dialog was still open and was cancelled");
        }
    } while (!Sync.WaitStopped(50));
  });
  GEditResult = H.FEdit(Id, GSlots.data(), nullptr) ? 1 : 0;
  Sync.Stop();
  Driver.join();
  for (const auto& [Line, F] : Failures)
    S.Fail((Line ? "line " + std::to_string(Line) + ": " : std::string()) + F);
  S.Print("edit " + A[0] + " -> " + std::to_string(GEditResult));
}

void CmdExpectEditResult(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  if (std::to_string(GEditResult) != A[0])
    S.Fail("edit result " + std::to_string(GEditResult) + ", expected " + A[0]);
}

void CmdExpectParam(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  size_t I = static_cast<size_t>(kv::ParseInt32Or(A[0], 1) - 1);
  std::string T = I < GSlots.size() ? THost::ReadHostString(GSlots[I]) : "";
  if (T != A[1]) S.Fail("param " + A[0] + " is \"" + T + "\", expected \"" + A[1] + "\"");
}

void CmdPrintParam(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  size_t I = static_cast<size_t>(kv::ParseInt32Or(A[0], 1) - 1);
  S.Print("param " + A[0] + " = " + (I < GSlots.size() ? THost::ReadHostString(GSlots[I]) : ""));
}

// Every slot still holds the very block it held before the call.
void CmdExpectParamsUntouched(TScript& S, const TArgs&) {
  for (size_t I = 0; I < GSlots.size(); ++I) {
    if (GSlots[I] != GSlotsBefore[I])
      S.Fail("slot " + std::to_string(I + 1) + " was replaced");
    else if (I < GTextsBefore.size() && THost::ReadHostString(GSlots[I]) != GTextsBefore[I])
      S.Fail("slot " + std::to_string(I + 1) + " changed");
  }
}

void CmdExpectRequest(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  const auto& R = THost::Get().FRequests;
  if (R.empty() || R.back() != A[0])
    S.Fail("last request \"" + (R.empty() ? std::string() : R.back()) + "\", expected \"" + A[0] +
           "\"");
}

const TScriptCommand Reg[] = {
    {"edit ACTION [PARAMS...]", CmdEdit},
    {"expect-edit-result 0|1", CmdExpectEditResult},
    {"expect-param INDEX TEXT", CmdExpectParam},
    {"print-param INDEX", CmdPrintParam},
    {"expect-params-untouched", CmdExpectParamsUntouched},
    {"expect-request CODE:TEXT", CmdExpectRequest},
    {"dlg-expect-caption TEXT", StepCaption},
    {"dlg-expect CONTROL TEXT", StepExpect},
    {"dlg-expect-check CONTROL 0|1", StepExpectCheck},
    {"dlg-expect-enabled CONTROL 0|1", StepExpectEnabled},
    {"dlg-expect-items CONTROL NAME=0|1;...", StepExpectItems},
    {"dlg-set CONTROL TEXT", StepSet},
    {"dlg-select CONTROL ITEM", StepSelect},
    {"dlg-click CONTROL", StepClick},
    {"dlg-focus CONTROL", StepFocus},
    {"dlg-check-item CONTROL INDEX 0|1", StepCheckItem},
    {"dlg-shot FILE.png", StepShot},
    {"dlg-ok", StepOk},
    {"dlg-cancel", StepCancel},
    {"dlg-close", StepClose},
    {"dlg-key return|escape", StepKey},
    {"dlg-answer-file PATH", StepAnswerFile},
    {"dlg-cancel-file", StepCancelFile},
    {"dlg-answer-color RRGGBB", StepAnswerColor},
    {"dlg-cancel-color", StepCancelColor},
    {"dlg-expect-message TEXT", StepMessage},
};

}  // namespace

}  // namespace fvhost
