#include "plugin/PlugIn.h"

#include "plugin/ActionTable.h"

namespace kv {

const char* const kPlugInTitle = "kvGridfold";
const char* const kPlugInPublisher = "Katrin Vandermeer";
const char* const kPlugInHint =
    "Open an Excel workbook, browse and edit its worksheets, and save changes back.";

int ExecuteAction(TPlugInState& State, int Id, const std::vector<std::string>& Params) {
  (void)State;
  (void)Params;
  if (!FindAction(Id)) return 0;
  // The action handlers are wired in as their subsystems arrive.
  return 0;
}

void ReleaseRegistry(TPlugInState& State) {
  std::unique_ptr<TViewerRegistry> Detached = std::move(State.Registry);
  try {
    Detached.reset();
  } catch (...) {
    // Destroying viewers must not take the host down.
  }
}

}  // namespace kv
