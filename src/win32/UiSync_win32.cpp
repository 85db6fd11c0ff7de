#include "win32/UiSync.h"

#include <windows.h>

#include <cstdint>

#include "base/Error.h"

namespace kv {

namespace {

constexpr UINT kMarker = WM_APP + 0x4B56;
const wchar_t* const kClassName = L"kvUiSync";

}  // namespace

// Win32 locks rather than std::mutex: the shipped DLL's compilers may lack
// the standard thread library.
struct TUiSync::TState {
  HWND Window = nullptr;
  SRWLOCK Lock = SRWLOCK_INIT;
  CONDITION_VARIABLE Changed = CONDITION_VARIABLE_INIT;
  uint64_t Posted = 0;   // markers posted
  uint64_t Handled = 0;  // the latest marker dispatched
  bool Stopped = false;

  // Waits until Done() holds or TimeoutMs pass; called with Lock held.
  template <class TDone>
  bool WaitUntil(int TimeoutMs, TDone Done) {
    const ULONGLONG End = GetTickCount64() + static_cast<ULONGLONG>(TimeoutMs);
    while (!Done()) {
      const ULONGLONG Now = GetTickCount64();
      if (Now >= End) return false;
      SleepConditionVariableSRW(&Changed, &Lock, static_cast<DWORD>(End - Now), 0);
    }
    return true;
  }

  static LRESULT CALLBACK WindowProc(HWND W, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg != kMarker) return DefWindowProcW(W, Msg, WParam, LParam);
    auto* S = reinterpret_cast<TState*>(GetWindowLongPtrW(W, GWLP_USERDATA));
    if (S) {
      AcquireSRWLockExclusive(&S->Lock);
      if (static_cast<uint64_t>(WParam) > S->Handled) S->Handled = static_cast<uint64_t>(WParam);
      ReleaseSRWLockExclusive(&S->Lock);
      WakeAllConditionVariable(&S->Changed);
    }
    return 0;
  }
};

TUiSync::TUiSync() : FState(std::make_unique<TState>()) {
  static const bool Registered = [] {
    WNDCLASSW C{};
    C.lpfnWndProc = TState::WindowProc;
    C.hInstance = GetModuleHandleW(nullptr);
    C.lpszClassName = kClassName;
    return RegisterClassW(&C) != 0;
  }();
  (void)Registered;
  FState->Window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  if (!FState->Window) throw TKvError("The UI marker window could not be created.");
  SetWindowLongPtrW(FState->Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FState.get()));
}

TUiSync::~TUiSync() {
  Stop();
  SetWindowLongPtrW(FState->Window, GWLP_USERDATA, 0);
  DestroyWindow(FState->Window);
}

bool TUiSync::WaitHandled(int TimeoutMs) {
  TState& S = *FState;
  AcquireSRWLockExclusive(&S.Lock);
  bool Ok = false;
  if (!S.Stopped) {
    // WPARAM is 32 bits wide in a 32-bit process; so many markers are never posted.
    const uint64_t Marker = ++S.Posted;
    if (PostMessageW(S.Window, kMarker, static_cast<WPARAM>(Marker), 0))
      Ok = S.WaitUntil(TimeoutMs, [&] { return S.Stopped || S.Handled >= Marker; }) && !S.Stopped;
  }
  ReleaseSRWLockExclusive(&S.Lock);
  return Ok;
}

void TUiSync::Stop() {
  AcquireSRWLockExclusive(&FState->Lock);
  FState->Stopped = true;
  ReleaseSRWLockExclusive(&FState->Lock);
  WakeAllConditionVariable(&FState->Changed);
}

bool TUiSync::WaitStopped(int TimeoutMs) {
  TState& S = *FState;
  AcquireSRWLockExclusive(&S.Lock);
  const bool Stopped = S.WaitUntil(TimeoutMs, [&] { return S.Stopped; });
  ReleaseSRWLockExclusive(&S.Lock);
  return Stopped;
}

}  // namespace kv
