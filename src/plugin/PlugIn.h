// Module-wide state of the plug-in and the portable side of its exports. The
// Win32 exports hold one TPlugInState, fill its ports from the host's calls,
// and hand every action to ExecuteAction / EditAction; nothing here knows
// about HostStrings or calling conventions.
#ifndef KV_PLUGIN_PLUGIN_H
#define KV_PLUGIN_PLUGIN_H

#include <memory>
#include <string>
#include <vector>

#include "base/HostPorts.h"
#include "plugin/ViewerRegistry.h"

namespace kv {

struct TPlugInState {
  IHost* Host = nullptr;                      // never null once the exports are set up
  IMessagePort* Messages = nullptr;           // message boxes owned by the host window
  IWindowSystem* Windows = nullptr;           // creates the viewers' windows
  std::string ModulePath;                     // the plug-in's own module file
  std::unique_ptr<TViewerRegistry> Registry;  // created by the first successful Open
};

// The title, publisher and hint handed back by fvInitPlugIn.
extern const char* const kPlugInTitle;
extern const char* const kPlugInPublisher;
extern const char* const kPlugInHint;

// fvExecAction: 1 for success, 0 for failure; no error escapes.
int ExecuteAction(TPlugInState& State, int Id, const std::vector<std::string>& Params);

// fvMessage 2 and unloading: detach the registry first, then destroy it with
// every viewer in it. Never raises.
void ReleaseRegistry(TPlugInState& State);

}  // namespace kv

#endif
