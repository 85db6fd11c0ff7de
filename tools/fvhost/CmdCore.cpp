// Core script commands: loading the DLL, calling its exports, host variables,
// the action table, Rectangles, pickers, played commands and files.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <fstream>
#include <sstream>

#include "Host.h"
#include "Script.h"
#include "base/Text.h"

namespace fvhost {

namespace {

THost& H() {
  return THost::Get();
}

bool NeedLoaded(TScript& S) {
  if (H().Loaded()) return true;
  S.Fail("no DLL loaded");
  return false;
}

std::string Quote(const std::string& S) {
  std::string R = "\"";
  for (char C : S) {
    if (C == '"' || C == '\\') R += '\\';
    if (C == '\r') {
      R += "\\r";
      continue;
    }
    if (C == '\n') {
      R += "\\n";
      continue;
    }
    R += C;
  }
  return R + "\"";
}

std::string ReadFileBytes(const std::string& Path, bool& Ok) {
  std::ifstream In(WideOf(HostPath(Path)).c_str(), std::ios::binary);
  Ok = static_cast<bool>(In);
  std::ostringstream Ss;
  Ss << In.rdbuf();
  return Ss.str();
}

void CmdLoad(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  std::string Err = H().Load(HostPath(A[0]));
  if (!Err.empty()) return S.Fail(Err);
  S.Define("DLL", H().DllPath());
  S.Print("loaded " + H().DllPath());
}

void CmdUnload(TScript&, const TArgs&) {
  H().Unload();
}

std::string LastTitle, LastPublisher, LastHint;

void CmdInit(TScript& S, const TArgs&) {
  if (!NeedLoaded(S)) return;
  kv::THostString Title = nullptr, Publisher = nullptr, Hint = nullptr;
  H().FInit(H().Window(), &Title, &Publisher, &Hint);
  LastTitle = THost::ReadHostString(Title);
  LastPublisher = THost::ReadHostString(Publisher);
  LastHint = THost::ReadHostString(Hint);
  THost::FreeHostString(Title), THost::FreeHostString(Publisher), THost::FreeHostString(Hint);
  S.Print("title=" + LastTitle);
  S.Print("publisher=" + LastPublisher);
  S.Print("hint=" + LastHint);
}

void CmdExpectInit(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  const std::string& Got = A[0] == "title" ? LastTitle : A[0] == "hint" ? LastHint : LastPublisher;
  if (A[0] == "publisher" && A[1] == "*") {
    if (LastPublisher.empty()) S.Fail("empty publisher");
    return;
  }
  if (Got != A[1]) S.Fail(A[0] + " is " + Quote(Got) + ", expected " + Quote(A[1]));
}

void CmdRegister(TScript& S, const TArgs& A) {
  if (!NeedLoaded(S)) return;
  bool NoVars = !A.empty() && A[0] == "novars";
  H().FRegister(&THost::AddAction, &THost::Unnamed, NoVars ? nullptr : &THost::GetVariable,
                NoVars ? nullptr : &THost::SetVariable);
}

void CmdRegisterAccess(TScript& S, const TArgs& A) {
  if (!NeedLoaded(S)) return;
  H().FRegisterAccess(!A.empty() && A[0] == "none" ? nullptr : &THost::InterfaceAccess);
}

void CmdRegisterScript(TScript& S, const TArgs& A) {
  if (!NeedLoaded(S)) return;
  H().FRegisterScript(!A.empty() && A[0] == "none" ? nullptr : &THost::PlayAction);
}

// The usual start-up: the register exports first, then init.
void CmdSetup(TScript& S, const TArgs& A) {
  CmdRegister(S, A);
  CmdRegisterAccess(S, {});
  CmdRegisterScript(S, {});
  CmdInit(S, {});
}

void CmdSet(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  H().FVariables[A[0]] = A[1];
}

void CmdUnset(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  H().FVariables.erase(A[0]);
}

void CmdPrintVar(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  auto It = H().FVariables.find(A[0]);
  S.Print(A[0] + "=" + (It == H().FVariables.end() ? "(unset)" : Quote(It->second)));
}

void CmdExpectVar(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  auto It = H().FVariables.find(A[0]);
  std::string Got = It == H().FVariables.end() ? "" : It->second;
  if (Got != A[1]) S.Fail(A[0] + " is " + Quote(Got) + ", expected " + Quote(A[1]));
}

void CmdExpectVarContains(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  std::string Got = H().FVariables[A[0]];
  if (Got.find(A[1]) == std::string::npos)
    S.Fail(A[0] + " is " + Quote(Got) + ", lacks " + Quote(A[1]));
}

std::string ActionLine(const TRegisteredAction& R) {
  std::string Kinds;
  for (int K : R.Kinds) Kinds += (Kinds.empty() ? "" : ",") + std::to_string(K);
  return std::to_string(R.Id) + "|" + R.Name + "|" + R.Hint + "|" + Kinds + "|" +
         std::to_string(R.KindsHigh) + "|" + std::to_string(R.ParamCount);
}

void CmdDumpActions(TScript& S, const TArgs&) {
  for (const TRegisteredAction& R : H().FActions) S.Print(ActionLine(R));
}

void CmdClearActions(TScript&, const TArgs&) {
  H().FActions.clear();
}

// Compares the recorded fvAddAction calls with a file of lines in the
// dump-actions form.
void CmdCheckActions(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  bool Ok = false;
  std::string Text = ReadFileBytes(A[0], Ok);
  if (!Ok) return S.Fail("cannot read " + A[0]);
  std::vector<std::string> Want;
  for (std::string& L : kv::SplitString(Text, '\n')) {
    L = kv::TrimRight(L);
    if (!L.empty()) Want.push_back(L);
  }
  const auto& Got = H().FActions;
  if (Got.size() != Want.size())
    S.Fail(std::to_string(Got.size()) + " actions registered, expected " +
           std::to_string(Want.size()));
  for (size_t I = 0; I < Got.size() && I < Want.size(); ++I)
    if (ActionLine(Got[I]) != Want[I])
      S.Fail("entry " + std::to_string(I + 1) + " is " + ActionLine(Got[I]) + ", expected " +
             Want[I]);
}

int LastResult = -1;
std::vector<std::string> GMessageBoxes;  // "caption: text" of boxes closed by the last exec

// While the plug-in runs an action, a second thread answers every message box
// of the host's thread with OK and records it, so a test never hangs on one.
class TMessageBoxAnswerer {
 public:
  explicit TMessageBoxAnswerer(DWORD UiThread)
      : FThread([this, UiThread] {
          for (;;) {
            EnumThreadWindows(UiThread, &TMessageBoxAnswerer::Visit,
                              reinterpret_cast<LPARAM>(this));
            // Stop wakes the wait, so an action's end is not held up by it.
            std::unique_lock<std::mutex> Lock(FMutex);
            if (FWake.wait_for(Lock, std::chrono::milliseconds(40), [this] { return FDone; }))
              break;
          }
        }) {}
  ~TMessageBoxAnswerer() { Stop(); }
  void Stop() {
    {
      std::lock_guard<std::mutex> Lock(FMutex);
      FDone = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
  }
  std::vector<std::string> FSeen;

 private:
  static BOOL CALLBACK Visit(HWND W, LPARAM P) {
    wchar_t Class[32] = {};
    GetClassNameW(W, Class, 32);
    if (std::wstring(Class) != L"#32770" || !IsWindowVisible(W)) return TRUE;
    auto* Self = reinterpret_cast<TMessageBoxAnswerer*>(P);
    if (Self->FClosed.count(W)) return TRUE;
    wchar_t Caption[256] = {}, Text[4096] = {};
    GetWindowTextW(W, Caption, 256);
    GetDlgItemTextW(W, 0xFFFF, Text, 4096);
    Self->FSeen.push_back(Utf8OfWide(Caption) + ": " + Utf8OfWide(Text));
    Self->FClosed.insert(W);
    PostMessageW(W, WM_COMMAND, IDOK, 0);
    return TRUE;
  }
  std::mutex FMutex;
  std::condition_variable FWake;
  bool FDone = false;
  std::set<HWND> FClosed;
  std::thread FThread;
};

void CmdExpectMessageBox(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  for (const std::string& M : GMessageBoxes)
    if (M.find(A[0]) != std::string::npos) return;
  S.Fail("no message box with " + Quote(A[0]) + " (" + std::to_string(GMessageBoxes.size()) +
         " shown)");
}

void CmdExec(TScript& S, const TArgs& A) {
  if (!NeedLoaded(S) || !S.Need(A, 1)) return;
  int Id = 0;
  if (!H().ActionId(A[0], Id)) return S.Fail("unknown action " + A[0]);
  std::vector<kv::THostString> Params;
  for (size_t I = 1; I < A.size(); ++I) Params.push_back(THost::NewHostString(A[I]));
  Params.resize(8, nullptr);
  {
    TMessageBoxAnswerer Answerer(GetCurrentThreadId());
    LastResult = H().FExec(Id, Params.data());
    Answerer.Stop();
    GMessageBoxes = Answerer.FSeen;
  }
  for (auto& P : Params) THost::FreeHostString(P);
  S.Print("exec " + A[0] + " -> " + std::to_string(LastResult));
  for (const std::string& M : GMessageBoxes) S.Print("message box " + M);
}

void CmdExpectResult(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  if (std::to_string(LastResult) != A[0])
    S.Fail("result " + std::to_string(LastResult) + ", expected " + A[0]);
}

void CmdMessage(TScript& S, const TArgs& A) {
  if (!NeedLoaded(S) || !S.Need(A, 1)) return;
  H().FMessage(kv::ParseInt32Or(A[0], 0));
  S.Print("message " + A[0]);
}

// pump [MS]: lets MS milliseconds pass with messages dispatched, for a script
// that needs time itself to pass (a timer to tick over a state that shows no
// sign of it). Whatever has a condition waits on it instead: "settle", or an
// expectation that registers as TCheck::Eventually.
void CmdPump(TScript& S, const TArgs& A) {
  H().Pump(A.empty() ? 50 : kv::ParseInt32Or(A[0], 50));
  (void)S;
}

// settle: dispatches until nothing is queued for the host's thread (no
// message, paint, due timer or pending command); fails after kEventuallyMs.
void CmdSettle(TScript& S, const TArgs&) {
  if (!H().WaitUntil([] { return H().Idle(); }, kEventuallyMs))
    S.Fail("the host's queue was still not empty after " + std::to_string(kEventuallyMs) + " ms");
}

void CmdRect(TScript& S, const TArgs& A) {
  if (!S.Need(A, 5)) return;
  TRectangle& R = H().FRects[kv::AsciiUpper(A[0])];
  if (R.Window) DestroyWindow(R.Window);
  R.Name = A[0];
  R.Window = CreateWindowExW(0, L"STATIC", WideOf(A[0]).c_str(), WS_CHILD | WS_VISIBLE,
                             kv::ParseInt32Or(A[1], 0), kv::ParseInt32Or(A[2], 0),
                             kv::ParseInt32Or(A[3], 0), kv::ParseInt32Or(A[4], 0), H().Window(),
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!R.Window) S.Fail("cannot create Rectangle " + A[0]);
}

void CmdRectMove(TScript& S, const TArgs& A) {
  if (!S.Need(A, 5)) return;
  auto It = H().FRects.find(kv::AsciiUpper(A[0]));
  if (It == H().FRects.end()) return S.Fail("no Rectangle " + A[0]);
  MoveWindow(It->second.Window, kv::ParseInt32Or(A[1], 0), kv::ParseInt32Or(A[2], 0),
             kv::ParseInt32Or(A[3], 0), kv::ParseInt32Or(A[4], 0), TRUE);
}

void CmdRectDestroy(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  auto It = H().FRects.find(kv::AsciiUpper(A[0]));
  if (It == H().FRects.end()) return S.Fail("no Rectangle " + A[0]);
  DestroyWindow(It->second.Window);
  H().FRects.erase(It);
}

void CmdProbe(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  H().FProbeAnswers = A[0] == "on";
}

void CmdPick(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  H().FPickAnswers.push_back(A[0]);
}

void CmdPickCancel(TScript&, const TArgs&) {
  H().FPickAnswers.push_back("\x01");
}

void CmdExpectPlayed(TScript& S, const TArgs& A) {
  std::string Got;
  for (const std::string& P : H().FPlayed) Got += (Got.empty() ? "" : ",") + P;
  std::string Want;
  for (const std::string& P : A) Want += (Want.empty() ? "" : ",") + P;
  if (Got != Want) S.Fail("played [" + Got + "], expected [" + Want + "]");
}

void CmdClearPlayed(TScript&, const TArgs&) {
  H().FPlayed.clear();
}

void CmdExpectFile(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  bool Ok = false;
  ReadFileBytes(A[0], Ok);
  if (!Ok) S.Fail("no file " + A[0]);
}

void CmdExpectNoFile(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  bool Ok = false;
  ReadFileBytes(A[0], Ok);
  if (Ok) S.Fail("file exists: " + A[0]);
}

void CmdExpectFileContains(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  bool Ok = false;
  std::string Text = ReadFileBytes(A[0], Ok);
  if (!Ok) return S.Fail("no file " + A[0]);
  if (Text.find(A[1]) == std::string::npos) S.Fail(A[0] + " lacks " + Quote(A[1]));
}

void CmdExpectFileLacks(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  bool Ok = false;
  std::string Text = ReadFileBytes(A[0], Ok);
  if (Ok && Text.find(A[1]) != std::string::npos) S.Fail(A[0] + " contains " + Quote(A[1]));
}

// expect-same-file A B: both files exist and hold the same bytes.
void CmdExpectSameFile(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  bool OkA = false, OkB = false;
  std::string BytesA = ReadFileBytes(A[0], OkA), BytesB = ReadFileBytes(A[1], OkB);
  if (!OkA || !OkB) return S.Fail("no file " + (OkA ? A[1] : A[0]));
  if (BytesA == BytesB) return;
  size_t At = 0;
  while (At < BytesA.size() && At < BytesB.size() && BytesA[At] == BytesB[At]) ++At;
  S.Fail(A[0] + " (" + std::to_string(BytesA.size()) + " bytes) and " + A[1] + " (" +
         std::to_string(BytesB.size()) + " bytes) differ from byte " + std::to_string(At));
}

void CmdCopyFile(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  if (!CopyFileW(WideOf(HostPath(A[0])).c_str(), WideOf(HostPath(A[1])).c_str(), FALSE))
    S.Fail("cannot copy " + A[0]);
}

void CmdDeleteFile(TScript&, const TArgs& A) {
  if (!A.empty()) DeleteFileW(WideOf(HostPath(A[0])).c_str());
}

void CmdEcho(TScript& S, const TArgs& A) {
  std::string Line;
  for (const std::string& W : A) Line += (Line.empty() ? "" : " ") + W;
  S.Print(Line);
}

const TScriptCommand Reg[] = {
    {"load DLL", CmdLoad},
    {"unload", CmdUnload},
    {"init", CmdInit},
    {"expect-init title|publisher|hint VALUE", CmdExpectInit},
    {"register [novars]", CmdRegister},
    {"register-access [none]", CmdRegisterAccess},
    {"register-script [none]", CmdRegisterScript},
    {"setup", CmdSetup},
    {"set [VAR] VALUE", CmdSet},
    {"unset [VAR]", CmdUnset},
    {"print-var [VAR]", CmdPrintVar},
    {"expect-var [VAR] VALUE", CmdExpectVar, TCheck::Eventually},
    {"expect-var-contains [VAR] TEXT", CmdExpectVarContains},
    {"dump-actions", CmdDumpActions},
    {"clear-actions", CmdClearActions},
    {"check-actions FILE", CmdCheckActions},
    {"exec ACTION [PARAMS...]", CmdExec},
    {"expect-result N", CmdExpectResult},
    {"expect-message-box TEXT", CmdExpectMessageBox},
    {"copy-file SOURCE TARGET", CmdCopyFile},
    {"message CODE", CmdMessage},
    {"pump [MS]", CmdPump},
    {"settle", CmdSettle},
    {"rect NAME X Y W H", CmdRect},
    {"rect-move NAME X Y W H", CmdRectMove},
    {"rect-destroy NAME", CmdRectDestroy},
    {"probe on|off", CmdProbe},
    {"pick ANSWER", CmdPick},
    {"pick-cancel", CmdPickCancel},
    {"expect-played [COMMANDS...]", CmdExpectPlayed, TCheck::Eventually},
    {"clear-played", CmdClearPlayed},
    {"expect-file PATH", CmdExpectFile},
    {"expect-no-file PATH", CmdExpectNoFile},
    {"expect-file-contains PATH TEXT", CmdExpectFileContains},
    {"expect-file-lacks PATH TEXT", CmdExpectFileLacks},
    {"expect-same-file PATH PATH", CmdExpectSameFile},
    {"delete-file PATH", CmdDeleteFile},
    {"echo TEXT...", CmdEcho},
};

}  // namespace

}  // namespace fvhost
