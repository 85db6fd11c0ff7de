// The simulated host: loads the plug-in DLL, hands it the callbacks, keeps
// host variables, records every fvAddAction and fvPlayAction call, answers
// interface-access requests (probe, object windows by name, scripted pick
// answers) and owns the host window with its Rectangles as child windows.
#ifndef KV_TOOLS_FVHOST_HOST_H
#define KV_TOOLS_FVHOST_HOST_H

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "plugin/dll/HostAbi.h"

namespace fvhost {

struct TRegisteredAction {
  int Id;
  std::string Name, Hint;
  std::vector<int> Kinds;
  int KindsHigh;
  int ParamCount;
};

struct TRectangle {
  std::string Name;
  HWND Window = nullptr;
};

class THost {
 public:
  static THost& Get();

  // Loads the DLL and resolves the seven exports. Returns an error text or "".
  std::string Load(const std::string& Path);
  void Unload();
  bool Loaded() const { return FModule != nullptr; }
  const std::string& DllPath() const { return FDllPath; }

  HWND Window();  // the host's main window (created on first use)
  // Dispatches pending messages for about Ms milliseconds.
  void Pump(int Ms);
  // Waits until Done() holds: checks it first, then again after each time
  // the thread's queue has been emptied, at least every 10 ms. On the host's
  // thread it dispatches meanwhile (timers tick, posted commands run), on
  // another thread it only waits. False when Done() still fails after
  // TimeoutMs.
  bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = 5000);
  // On the host's thread: nothing is queued to dispatch (no message, no due
  // timer, no paint, no pending command).
  bool Idle() const;

  // Host variables, names with brackets, values as UTF-8.
  std::map<std::string, std::string> FVariables;
  std::vector<TRegisteredAction> FActions;
  std::vector<std::string> FPlayed;
  std::map<std::string, TRectangle> FRects;  // key: upper-cased name
  // The host's own text fields (key: upper-cased name), children of its
  // window beside the Rectangles, that the keyboard focus can move to.
  std::map<std::string, HWND> FFields;
  // A Rectangle's or a field's window: a child of the host window that is
  // not the plug-in's.
  bool IsOwnChild(HWND W) const;
  std::deque<std::string> FPickAnswers;  // "\x01" means cancel
  bool FProbeAnswers = true;
  // Commands from fvPlayAction not yet carried out: the host runs them after
  // the plug-in's call has returned, from the message loop.
  std::deque<std::string> FPendingCommands;
  // Carries out one pending command (set by the publication player).
  std::function<void(const std::string&)> FRunCommand;
  std::vector<std::string> FRequests;  // "code:in-slot" of every interface request

  kv::TfvInitPlugIn FInit = nullptr;
  kv::TfvRegisterPlugIn FRegister = nullptr;
  kv::TfvRegisterInterfaceAccess FRegisterAccess = nullptr;
  kv::TfvRegisterScriptProcessor FRegisterScript = nullptr;
  kv::TfvExecAction FExec = nullptr;
  kv::TfvEditAction FEdit = nullptr;
  kv::TfvMessage FMessage = nullptr;

  // The callbacks handed to the plug-in.
  static void KV_STDCALL AddAction(int Id, const char* Name, const char* Hint,
                                   const unsigned char* Kinds, int KindsHigh, int ParamCount);
  static void KV_STDCALL Unnamed();
  static void KV_STDCALL GetVariable(const char* Name, kv::THostString* Value);
  static void KV_STDCALL SetVariable(const char* Name, const char* Value);
  static BOOL KV_STDCALL InterfaceAccess(int Request, kv::THostString* Slot);
  static void KV_STDCALL PlayAction(const char* Command);

  // HostString helpers on the host's side of the boundary (ANSI <-> UTF-8).
  static kv::THostString NewHostString(const std::string& Utf8);
  static std::string ReadHostString(kv::THostString S);
  static void FreeHostString(kv::THostString& S);

  // The id the plug-in registered for an action name (ASCII case ignored), or
  // a number given as text; false when neither.
  bool ActionId(const std::string& NameOrId, int& Id) const;

 private:
  HMODULE FModule = nullptr;
  std::string FDllPath;
  // Dispatches the queued messages, then runs the pending commands.
  void DispatchPending();

  HWND FWindow = nullptr;
  DWORD FThread = GetCurrentThreadId();  // the host's thread, which made THost
};

}  // namespace fvhost

#endif
