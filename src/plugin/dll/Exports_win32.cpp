// The seven exports of kvGridfold.dll. They keep the host's callbacks in the
// module-wide state, convert HostStrings, and hand every action to the
// portable core. No error crosses an export.
#include <vector>

#include "dialogs/DialogFrame.h"
#include "plugin/ActionTable.h"
#include "plugin/EditAction.h"
#include "plugin/HostVariables.h"
#include "plugin/PlugIn.h"
#include "plugin/dll/HostAdapter.h"
#include "plugin/dll/PlugInUtils.h"
#include "win32/ViewerWindow.h"

namespace {

kv::THostAdapter GHost;
kv::TMessageBoxPort GMessages(GHost);
kv::TPlugInState GState;

kv::TPlugInState& State() {
  GState.Host = &GHost;
  GState.Messages = &GMessages;
  GState.Windows = &kv::Win32WindowSystem();
  return GState;
}

std::vector<std::string> ReadParams(int Id, kv::THostString* Params) {
  std::vector<std::string> Texts;
  const kv::TActionDef* Def = kv::FindAction(Id);
  if (!Def) return Texts;
  Texts.resize(static_cast<size_t>(Def->ParamCount));
  if (Params)
    for (int I = 0; I < Def->ParamCount; ++I) Texts[I] = kv::HostStringToText(Params[I]);
  return Texts;
}

}  // namespace

extern "C" {

void KV_STDCALL fvInitPlugIn(HWND HostWindow, kv::THostString* Title, kv::THostString* Publisher,
                             kv::THostString* Hint) {
  try {
    GHost.FHostWindow = HostWindow;
    State().ModulePath = kv::OwnModulePath();
    kv::WriteBuildLine(&GHost, GState.ModulePath);
    kv::SetHostString(Title, kv::kPlugInTitle);
    kv::SetHostString(Publisher, kv::kPlugInPublisher);
    kv::SetHostString(Hint, kv::kPlugInHint);
  } catch (...) {
  }
}

void KV_STDCALL fvRegisterPlugIn(kv::TfvAddAction AddAction, kv::TfvUnnamed Unnamed,
                                 kv::TfvGetVariable GetVariable, kv::TfvSetVariable SetVariable) {
  try {
    GHost.FAddAction = AddAction;
    GHost.FUnnamed = Unnamed;
    GHost.FGetVariable = GetVariable;
    GHost.FSetVariable = SetVariable;
    if (!AddAction) return;
    for (const kv::TActionDef& A : kv::ActionTable())
      AddAction(A.Id, A.Name, A.Hint, A.Kinds.data(), static_cast<int>(A.Kinds.size()) - 1,
                A.ParamCount);
  } catch (...) {
  }
}

void KV_STDCALL fvRegisterInterfaceAccess(kv::TfvInterfaceAccess Access) {
  GHost.FInterfaceAccess = Access;
}

void KV_STDCALL fvRegisterScriptProcessor(kv::TfvPlayAction Play) {
  GHost.FPlayAction = Play;
}

int KV_STDCALL fvExecAction(int Id, kv::THostString* Params) {
  try {
    return kv::ExecuteAction(State(), Id, ReadParams(Id, Params));
  } catch (...) {
    return 0;
  }
}

BOOL KV_STDCALL fvEditAction(int Id, kv::THostString* Params, void* Unused) {
  (void)Unused;
  try {
    const kv::TActionDef* Def = kv::FindAction(Id);
    if (!Def || Id == kv::aidGroup || !Params) return FALSE;
    std::vector<std::string> Texts = ReadParams(Id, Params);
    std::unique_ptr<kv::IFormRunner> Runner = kv::CreateWin32FormRunner();
    if (!kv::EditAction(State(), Id, Texts, *Runner)) return FALSE;
    for (int I = 0; I < Def->ParamCount; ++I) kv::SetHostString(&Params[I], Texts[I]);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

void KV_STDCALL fvMessage(int Code) {
  if (Code == 2) kv::ReleaseRegistry(State());
}

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID Reserved) {
  (void)Instance;
  // On FreeLibrary (Reserved is null) release the viewers; at process exit
  // the windows are gone already and nothing may be touched.
  if (Reason == DLL_PROCESS_DETACH && Reserved == nullptr) kv::ReleaseRegistry(GState);
  return TRUE;
}

}  // extern "C"
