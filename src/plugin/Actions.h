// The run-time action handlers: each takes the action's parameter texts,
// finds the viewer of the named Rectangle in the registry and asks one thing
// of it. Every failure ends as result 0 with its message in "[LastError]";
// nothing raises out of these functions.
#ifndef KV_PLUGIN_ACTIONS_H
#define KV_PLUGIN_ACTIONS_H

#include <string>
#include <vector>

#include "plugin/PlugIn.h"

namespace kv {

// "There is no Excel viewer attached to an object named <Name>."
std::string NoViewerMessage(const std::string& Name);

// Sets "[LastError]" when the host handed over its set-variable callback.
void SetLastError(TPlugInState& State, const std::string& Message);

TVantSpreadsheet* FindViewer(TPlugInState& State, const std::string& Name);
// 1 when a viewer was removed (and destroyed); otherwise 0, reporting the
// no-viewer message when Report is set.
int CloseViewer(TPlugInState& State, const std::string& Name, bool Report);
// Whether the host answers the probe request (recent enough for Open).
bool HostSupportsObjectAccess(TPlugInState& State);

int ExecOpen(TPlugInState& State, const std::string& Name, const std::string& FileName,
             const std::string& Variable, const std::string& Placement, bool Toolbar);
int ExecNext(TPlugInState& State, const std::string& Name);
int ExecPrev(TPlugInState& State, const std::string& Name);
int ExecGoto(TPlugInState& State, const std::string& Name, const std::string& Sheet);
int ExecClose(TPlugInState& State, const std::string& Name);
int ExecSave(TPlugInState& State, const std::string& Name, const std::string& FileName);
int ExecExport(TPlugInState& State, const std::string& Name, const std::string& FileName,
               const std::string& Format, const std::string& Scope);
int ExecEdit(TPlugInState& State, const std::string& Name);
int ExecHighlight(TPlugInState& State, const std::string& Name, const std::string& Color);
int ExecSettings(TPlugInState& State, const std::string& Name, const std::string& Settings);

}  // namespace kv

#endif
