#include "plugin/PlugIn.h"

#include "plugin/ActionTable.h"
#include "plugin/Actions.h"
#include "plugin/ImportDriver.h"

#include "base/Error.h"
#include "base/Text.h"

namespace kv {

const char* const kPlugInTitle = "kvGridfold";
const char* const kPlugInPublisher = "Katrin Vandermeer";
const char* const kPlugInHint =
    "Open an Excel workbook, browse and edit its worksheets, and save changes back.";

int ExecuteAction(TPlugInState& State, int Id, const std::vector<std::string>& Params) {
  const TActionDef* Def = FindAction(Id);
  if (!Def) return 0;
  std::vector<std::string> P = Params;
  P.resize(static_cast<size_t>(Def->ParamCount));
  try {
    switch (Id) {
      case aidOpen:
        return ExecOpen(State, P[0], P[1], P[2], P[3], SameTextAscii(Trim(P[4]), "Yes"));
      case aidNext:
        return ExecNext(State, P[0]);
      case aidPrev:
        return ExecPrev(State, P[0]);
      case aidGoto:
        return ExecGoto(State, P[0], P[1]);
      case aidClose:
        return ExecClose(State, P[0]);
      case aidSave:
        return ExecSave(State, P[0], P[1]);
      case aidExport:
        return ExecExport(State, P[0], P[1], P[2], P[3]);
      case aidImport:
        return ExecImport(State, P[0], P[1], P[2]) ? 1 : 0;
      case aidEdit:
        return ExecEdit(State, P[0]);
      case aidHighlight:
        return ExecHighlight(State, P[0], P[1]);
      case aidSettings:
        return ExecSettings(State, P[0], P[1]);
      default:
        return 0;
    }
  } catch (const std::exception& E) {
    SetLastError(State, ErrorMessage(E));
    return 0;
  } catch (...) {
    return 0;
  }
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
