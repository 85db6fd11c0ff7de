#include "plugin/Actions.h"

#include <type_traits>

#include "base/Error.h"
#include "base/Text.h"

namespace kv {

namespace {

// Runs one viewer operation on the viewer of Name: 1 when it completes (for
// an operation that answers, when it answers true), 0 with the no-viewer
// message or the operation's error in "[LastError]". Navigation reports its
// own failures and answers with a boolean.
template <typename TOperation>
int WithViewer(TPlugInState& State, const std::string& Name, TOperation Operation) {
  TVantSpreadsheet* Viewer = FindViewer(State, Name);
  if (!Viewer) {
    SetLastError(State, NoViewerMessage(Name));
    return 0;
  }
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<TOperation, TVantSpreadsheet&>>) {
      Operation(*Viewer);
      return 1;
    } else {
      return Operation(*Viewer) ? 1 : 0;
    }
  } catch (const std::exception& E) {
    SetLastError(State, ErrorMessage(E));
    return 0;
  }
}

// The window of a host object by name, 0 when the host knows none.
TWindowHandle ObjectWindow(TPlugInState& State, const std::string& Name) {
  std::optional<std::string> Slot = Name;
  State.Host->InterfaceAccess(iaObjectWindow, Slot);
  if (!Slot) return 0;
  auto Value = TryParseInt64(Trim(*Slot));
  return Value && *Value > 0 ? static_cast<TWindowHandle>(*Value) : 0;
}

}  // namespace

std::string NoViewerMessage(const std::string& Name) {
  return "There is no Excel viewer attached to an object named " + Name + ".";
}

void SetLastError(TPlugInState& State, const std::string& Message) {
  if (State.Host && State.Host->HasSetVariable()) State.Host->SetVariable("[LastError]", Message);
}

TVantSpreadsheet* FindViewer(TPlugInState& State, const std::string& Name) {
  return State.Registry ? State.Registry->Find(Name) : nullptr;
}

int CloseViewer(TPlugInState& State, const std::string& Name, bool Report) {
  try {
    if (State.Registry && State.Registry->Remove(Name)) return 1;
  } catch (const std::exception& E) {
    SetLastError(State, ErrorMessage(E));
    return 0;
  }
  if (Report) SetLastError(State, NoViewerMessage(Name));
  return 0;
}

bool HostSupportsObjectAccess(TPlugInState& State) {
  if (!State.Host || !State.Host->HasInterfaceAccess()) return false;
  std::optional<std::string> Slot;
  State.Host->InterfaceAccess(iaProbe, Slot);
  return Slot.has_value();
}

int ExecOpen(TPlugInState& State, const std::string& Name, const std::string& FileName,
             const std::string& Variable, const std::string& Placement, bool Toolbar) {
  try {
    if (!HostSupportsObjectAccess(State)) {
      SetLastError(State, "This function requires Folivant 4.0.9 or higher.");
      return 0;
    }
    CloseViewer(State, Name, false);
    TWindowHandle Rectangle = ObjectWindow(State, Name);
    if (Rectangle == 0) {
      SetLastError(State, "An object named " + Name + " does not exist.");
      return 0;
    }
    if (!State.Windows) throw TKvError("Excel spreadsheet: no window system is available.");
    std::unique_ptr<TVantSpreadsheet> Viewer =
        TVantSpreadsheet::CreateAttached(*State.Windows, State.Host, nullptr, Rectangle);
    bool Registered = false;
    try {
      Viewer->SetRectangleName(Name);
      Viewer->SetVariableName(Variable);
      Viewer->SetToolbarPlacement(Placement);
      Viewer->SetShowActionToolbar(Toolbar);
      Viewer->LoadWorkbook(FileName);
      if (Viewer->IsPageMode() && !IsBlank(Variable)) Viewer->GotoSheetByNameOrNumber(Variable);
      if (!State.Registry) State.Registry = std::make_unique<TViewerRegistry>();
      TVantSpreadsheet* Shown = Viewer.get();
      State.Registry->Add(Name, std::move(Viewer));
      Registered = true;
      Shown->ShowSpreadsheet();
      return 1;
    } catch (...) {
      if (Registered) State.Registry->Remove(Name);
      throw;
    }
  } catch (const std::exception& E) {
    SetLastError(State, ErrorMessage(E));
    return 0;
  }
}

int ExecNext(TPlugInState& State, const std::string& Name) {
  return WithViewer(State, Name, [](TVantSpreadsheet& V) { return V.NextSheet(); });
}

int ExecPrev(TPlugInState& State, const std::string& Name) {
  return WithViewer(State, Name, [](TVantSpreadsheet& V) { return V.PrevSheet(); });
}

int ExecGoto(TPlugInState& State, const std::string& Name, const std::string& Sheet) {
  return WithViewer(State, Name,
                    [&Sheet](TVantSpreadsheet& V) { return V.GotoSheetByNameOrNumber(Sheet); });
}

int ExecClose(TPlugInState& State, const std::string& Name) {
  return CloseViewer(State, Name, true);
}

int ExecSave(TPlugInState& State, const std::string& Name, const std::string& FileName) {
  return WithViewer(State, Name, [&FileName](TVantSpreadsheet& V) { V.SaveWorkbook(FileName); });
}

int ExecExport(TPlugInState& State, const std::string& Name, const std::string& FileName,
               const std::string& Format, const std::string& Scope) {
  return WithViewer(State, Name,
                    [&](TVantSpreadsheet& V) { V.ExportWorkbook(Format, Scope, FileName); });
}

int ExecEdit(TPlugInState& State, const std::string& Name) {
  return WithViewer(State, Name, [](TVantSpreadsheet& V) { V.StartEditSelection(); });
}

int ExecHighlight(TPlugInState& State, const std::string& Name, const std::string& Color) {
  return WithViewer(State, Name,
                    [&Color](TVantSpreadsheet& V) { V.ToggleHighlightSelection(Color); });
}

int ExecSettings(TPlugInState& State, const std::string& Name, const std::string& Settings) {
  return WithViewer(State, Name, [&Settings](TVantSpreadsheet& V) { V.ApplySettings(Settings); });
}

}  // namespace kv
