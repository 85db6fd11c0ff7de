// The binary interface between Folivant and the plug-in DLL: the callback
// types the host hands over and the signatures of the seven exports. All
// texts are HostStrings: zero-terminated ANSI text in a fixed GlobalAlloc
// block. stdcall on 32-bit Windows; 64-bit Windows has one convention only.
#ifndef KV_PLUGIN_DLL_HOSTABI_H
#define KV_PLUGIN_DLL_HOSTABI_H

#include <windows.h>

#define KV_STDCALL __stdcall

namespace kv {

typedef char* THostString;  // GlobalAlloc(GMEM_FIXED) block; null reads as empty

typedef void(KV_STDCALL* TfvAddAction)(int Id, const char* Name, const char* Hint,
                                       const unsigned char* Kinds, int KindsHigh, int ParamCount);
typedef void(KV_STDCALL* TfvUnnamed)(void);
typedef void(KV_STDCALL* TfvGetVariable)(const char* Name, THostString* Value);
typedef void(KV_STDCALL* TfvSetVariable)(const char* Name, const char* Value);
typedef BOOL(KV_STDCALL* TfvInterfaceAccess)(int Request, THostString* Slot);
typedef void(KV_STDCALL* TfvPlayAction)(const char* Command);

typedef void(KV_STDCALL* TfvInitPlugIn)(HWND HostWindow, THostString* Title, THostString* Publisher,
                                        THostString* Hint);
typedef void(KV_STDCALL* TfvRegisterPlugIn)(TfvAddAction AddAction, TfvUnnamed Unnamed,
                                            TfvGetVariable GetVariable, TfvSetVariable SetVariable);
typedef void(KV_STDCALL* TfvRegisterInterfaceAccess)(TfvInterfaceAccess Access);
typedef void(KV_STDCALL* TfvRegisterScriptProcessor)(TfvPlayAction Play);
typedef int(KV_STDCALL* TfvExecAction)(int Id, THostString* Params);
typedef BOOL(KV_STDCALL* TfvEditAction)(int Id, THostString* Params, void* Unused);
typedef void(KV_STDCALL* TfvMessage)(int Code);

}  // namespace kv

#endif
