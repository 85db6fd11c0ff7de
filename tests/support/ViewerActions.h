// Runs the plug-in's actions as the host would, with a fake host whose every
// object is one Rectangle window and a fake window system, so an Open puts a
// real viewer on it. The viewers are released before the fakes go away.
#ifndef KV_TESTS_SUPPORT_VIEWERACTIONS_H
#define KV_TESTS_SUPPORT_VIEWERACTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "plugin/ActionTable.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "unit/viewer/FakeWindows.h"

namespace kv::test {

struct TViewerActions {
  TFakeHost Host;
  TFakeWindowSystem Windows;
  TPlugInState State;

  TViewerActions() {
    const TWindowHandle Rect = Windows.Add(400, 300);
    Host.FWindow = Windows.Add(1024, 768);
    Host.FOnAccess = [Rect](int Request, std::optional<std::string>& Slot) {
      if (Request == iaProbe) Slot = "1";
      if (Request == iaObjectWindow) Slot = std::to_string(Rect);
      return true;
    };
    State.Host = &Host;
    State.Windows = &Windows;
  }
  ~TViewerActions() { ReleaseRegistry(State); }
  TViewerActions(const TViewerActions&) = delete;
  TViewerActions& operator=(const TViewerActions&) = delete;

  // The action's result; "[LastError]" is cleared first, so it holds only
  // what this action reported.
  int Run(int Id, const std::vector<std::string>& Params) {
    Host.FVars["[LastError]"] = "";
    return ExecuteAction(State, Id, Params);
  }
  std::string LastError() { return Host.Var("[LastError]"); }
};

}  // namespace kv::test

#endif
