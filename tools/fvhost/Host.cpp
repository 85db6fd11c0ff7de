#include "Host.h"

#include <cstring>

#include "Script.h"
#include "base/Ansi.h"
#include "base/Text.h"

namespace fvhost {

namespace {

LRESULT CALLBACK HostWndProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  return DefWindowProcW(Wnd, Msg, W, L);
}

}  // namespace

THost& THost::Get() {
  static THost Host;
  return Host;
}

std::string THost::Load(const std::string& Path) {
  Unload();
  FModule = LoadLibraryW(WideOf(Path).c_str());
  if (!FModule) return "LoadLibrary failed with error " + std::to_string(GetLastError());
  wchar_t Buf[MAX_PATH];
  DWORD N = GetModuleFileNameW(FModule, Buf, MAX_PATH);
  FDllPath = Utf8OfWide(std::wstring(Buf, N));
  // Through void* so that the cast between function types is explicit.
  auto Proc = [this](const char* Name) {
    return reinterpret_cast<void*>(GetProcAddress(FModule, Name));
  };
  FInit = reinterpret_cast<kv::TfvInitPlugIn>(Proc("fvInitPlugIn"));
  FRegister = reinterpret_cast<kv::TfvRegisterPlugIn>(Proc("fvRegisterPlugIn"));
  FRegisterAccess =
      reinterpret_cast<kv::TfvRegisterInterfaceAccess>(Proc("fvRegisterInterfaceAccess"));
  FRegisterScript =
      reinterpret_cast<kv::TfvRegisterScriptProcessor>(Proc("fvRegisterScriptProcessor"));
  FExec = reinterpret_cast<kv::TfvExecAction>(Proc("fvExecAction"));
  FEdit = reinterpret_cast<kv::TfvEditAction>(Proc("fvEditAction"));
  FMessage = reinterpret_cast<kv::TfvMessage>(Proc("fvMessage"));
  if (!FInit || !FRegister || !FRegisterAccess || !FRegisterScript || !FExec || !FEdit || !FMessage)
    return "the DLL lacks one of the seven exports";
  return "";
}

void THost::Unload() {
  if (FModule) FreeLibrary(FModule);
  FModule = nullptr;
  FInit = nullptr, FRegister = nullptr, FRegisterAccess = nullptr, FRegisterScript = nullptr;
  FExec = nullptr, FEdit = nullptr, FMessage = nullptr;
}

HWND THost::Window() {
  if (FWindow) return FWindow;
  WNDCLASSW Wc{};
  Wc.lpfnWndProc = HostWndProc;
  Wc.hInstance = GetModuleHandleW(nullptr);
  Wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  Wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  Wc.lpszClassName = L"FvHostWindow";
  RegisterClassW(&Wc);
  FWindow = CreateWindowExW(0, L"FvHostWindow", L"fvhost", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                            0, 1024, 768, nullptr, nullptr, Wc.hInstance, nullptr);
  ShowWindow(FWindow, SW_SHOWNOACTIVATE);
  UpdateWindow(FWindow);
  return FWindow;
}

bool THost::IsOwnChild(HWND W) const {
  for (const auto& [Key, R] : FRects)
    if (R.Window == W) return true;
  for (const auto& [Key, F] : FFields)
    if (F == W) return true;
  return false;
}

void THost::Pump(int Ms) {
  const ULONGLONG End = GetTickCount64() + static_cast<ULONGLONG>(Ms > 0 ? Ms : 0);
  DispatchPending();
  WaitUntil([&] { return GetTickCount64() >= End; }, Ms);
}

bool THost::WaitUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const ULONGLONG End = GetTickCount64() + static_cast<ULONGLONG>(TimeoutMs > 0 ? TimeoutMs : 0);
  const bool Host = GetCurrentThreadId() == FThread;
  for (;;) {
    if (Done()) return true;
    if (GetTickCount64() >= End) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    if (Host) DispatchPending();
  }
}

bool THost::Idle() const {
  return HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0 && FPendingCommands.empty();
}

void THost::DispatchPending() {
  MSG M;
  while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&M);
    DispatchMessageW(&M);
  }
  while (!FPendingCommands.empty()) {
    std::string Command = FPendingCommands.front();
    FPendingCommands.pop_front();
    if (FRunCommand) FRunCommand(Command);
  }
}

kv::THostString THost::NewHostString(const std::string& Utf8) {
  std::string Bytes = kv::Utf8ToAnsi(Utf8);
  auto Block = static_cast<kv::THostString>(GlobalAlloc(GMEM_FIXED, Bytes.size() + 1));
  std::memcpy(Block, Bytes.c_str(), Bytes.size() + 1);
  return Block;
}

std::string THost::ReadHostString(kv::THostString S) {
  return S ? kv::AnsiToUtf8(S) : "";
}

void THost::FreeHostString(kv::THostString& S) {
  if (S) GlobalFree(S);
  S = nullptr;
}

bool THost::ActionId(const std::string& NameOrId, int& Id) const {
  if (auto N = kv::TryParseInt32(NameOrId)) {
    Id = *N;
    return true;
  }
  for (const TRegisteredAction& A : FActions)
    if (A.Id != 0 && kv::SameTextAscii(A.Name, NameOrId)) {
      Id = A.Id;
      return true;
    }
  return false;
}

void KV_STDCALL THost::AddAction(int Id, const char* Name, const char* Hint,
                                 const unsigned char* Kinds, int KindsHigh, int ParamCount) {
  TRegisteredAction A{
      Id,        Name ? kv::AnsiToUtf8(Name) : "", Hint ? kv::AnsiToUtf8(Hint) : "", {}, KindsHigh,
      ParamCount};
  for (int I = 0; Kinds && I <= KindsHigh; ++I) A.Kinds.push_back(Kinds[I]);
  Get().FActions.push_back(A);
}

void KV_STDCALL THost::Unnamed() {}

void KV_STDCALL THost::GetVariable(const char* Name, kv::THostString* Value) {
  auto& Vars = Get().FVariables;
  auto It = Vars.find(kv::AnsiToUtf8(Name ? Name : ""));
  if (Value) *Value = It == Vars.end() ? nullptr : NewHostString(It->second);
}

void KV_STDCALL THost::SetVariable(const char* Name, const char* Value) {
  Get().FVariables[kv::AnsiToUtf8(Name ? Name : "")] = kv::AnsiToUtf8(Value ? Value : "");
}

BOOL KV_STDCALL THost::InterfaceAccess(int Request, kv::THostString* Slot) {
  THost& H = Get();
  std::string In = Slot ? ReadHostString(*Slot) : "";
  H.FRequests.push_back(std::to_string(Request) + ":" + In);
  switch (Request) {
    case 6:  // probe
      if (Slot && H.FProbeAnswers) *Slot = NewHostString("1");
      return TRUE;
    case 7: {  // object window by name
      auto It = H.FRects.find(kv::AsciiUpper(In));
      std::string Answer = "0";
      if (It != H.FRects.end() && It->second.Window)
        Answer = std::to_string(reinterpret_cast<uintptr_t>(It->second.Window));
      if (Slot) {
        FreeHostString(*Slot);
        *Slot = NewHostString(Answer);
      }
      return TRUE;
    }
    case 8:
    case 16: {  // pickers: the next scripted answer
      if (H.FPickAnswers.empty()) return FALSE;
      std::string Answer = H.FPickAnswers.front();
      H.FPickAnswers.pop_front();
      if (Answer == "\x01") return FALSE;
      if (Slot) {
        FreeHostString(*Slot);
        *Slot = NewHostString(Answer);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void KV_STDCALL THost::PlayAction(const char* Command) {
  std::string Text = kv::AnsiToUtf8(Command ? Command : "");
  Get().FPlayed.push_back(Text);
  Get().FPendingCommands.push_back(Text);
}

}  // namespace fvhost
