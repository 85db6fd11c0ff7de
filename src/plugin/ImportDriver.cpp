#include "plugin/ImportDriver.h"

#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "plugin/Actions.h"
#include "plugin/HostVariables.h"
#include "plugin/PublicationPaths.h"

namespace kv {

namespace {

void SetVariable(TPlugInState& State, const std::string& Name, const std::string& Value) {
  if (State.Host && State.Host->HasSetVariable()) State.Host->SetVariable(Name, Value);
}

void Show(TPlugInState& State, const std::string& Text, const std::string& Caption,
          TMessageIcon Icon) {
  if (State.Messages) State.Messages->ShowMessage(Text, Caption, Icon);
}

// The mode rules, in their order: true for the current-publication mode, in
// which Current may be replaced by the resolved target's full path.
bool IsCurrentPublicationMode(TPlugInState& State, const std::string& Token,
                              const std::string& Resolved, std::string& Current) {
  const std::string T = Trim(Token);
  if (SameTextAscii(T, kCurrentPublicationToken)) return true;
  if (HasCurrentPublicationPrefix(T)) {
    Current = FullPath(Resolved);
    return true;
  }
  if (T.empty()) return true;
  if (!Current.empty() && SamePath(Current, FullPath(Resolved))) return true;
  // A host that fails to answer fails the run: taken as "not D", the target
  // would be changed in place.
  const std::string Mode = Trim(ReadHostVariable(State.Host, "[FVMode]"));
  if (SameTextAscii(Mode, "D") && FileExists(Resolved)) {
    Current = FullPath(Resolved);
    return true;
  }
  if (Token.find("[PubTitle]") != std::string::npos && FileExists(Resolved)) {
    Current = FullPath(Resolved);
    return true;
  }
  return false;
}

}  // namespace

int64_t FileSizeOf(const std::string& Path) {
  int64_t Size = FileSize(Path);
  return Size < 0 ? 0 : Size;
}

bool ExecImport(TPlugInState& State, const std::string& WorkbookFile, const std::string& SheetList,
                const std::string& Target) {
  IHost* Host = State.Host;
  WriteBuildLine(Host, State.ModulePath);
  try {
    const std::string Source = ExpandPublicationPlaceholders(Host, WorkbookFile);
    std::string Current = CurrentPublicationPath(Host);
    const std::string Resolved = ResolveTargetPublication(Host, Target);
    WriteImportLog(Host, "IMPORT START");
    WriteImportLog(Host, "ExcelFile=" + WorkbookFile);
    WriteImportLog(Host, "SourceExcel=" + Source);
    WriteImportLog(Host, "TargetPub(raw)=" + Target);
    WriteImportLog(Host, "CurrentPub=" + Current);
    WriteImportLog(Host, "ResolvedTarget=" + Resolved);

    if (IsCurrentPublicationMode(State, Target, Resolved, Current)) {
      if (Current.empty())
        throw TKvError(
            "Unable to determine the current Folivant publication. Use the current-publication "
            "mode from the kvGridfoldImport editor.");
      const std::string Output = CopyCurrentPublication(Current);
      WriteImportLog(Host, "OutputPub=" + Output);
      TImportResult Result;
      try {
        WriteImportLog(Host, "Calling ImportWorkbookToFolivantPages");
        Result = ImportWorkbookToFolivantPages(Source, SheetList, Output);
      } catch (...) {
        // The import writes its report last, so a failed one leaves none.
        DeleteFileAt(Output);
        throw;
      }
      WriteImportLog(Host, "ImportWorkbookToFolivantPages completed");
      WriteImportLog(Host, "OutputSize=" + std::to_string(FileSizeOf(Output)));
      WriteImportLog(Host, "RectangleRecords=" + std::to_string(Result.RectangleRecords));
      WriteImportLog(Host, "OpenActions=" + std::to_string(Result.OpenActions));
      WriteImportLog(Host, "CloseActions=" + std::to_string(Result.CloseActions));
      SetVariable(State, "[kvGridfoldImportedPub]", Output);
      SetVariable(State, "[LastError]",
                  "Excel pages created successfully.\r\nGenerated publication:\r\n" + Output +
                      "\r\nClose the current publication and open the generated .pub file.");
      WriteImportLog(Host, "SUCCESS: " + Output);
      Show(State,
           "Excel pages created successfully.\r\n\r\nGenerated publication:\r\n" + Output +
               "\r\n\r\nThe current publication was not overwritten.",
           "kvGridfoldImport", TMessageIcon::Information);
      return true;
    }

    if (Trim(Resolved).empty()) throw TKvError("Select a target Folivant publication.");
    if (!FileExists(Resolved)) throw TKvError("Target Folivant publication not found: " + Resolved);
    ImportWorkbookToFolivantPages(Source, SheetList, Resolved);
    const std::string Full = FullPath(Resolved);
    SetVariable(State, "[kvGridfoldImportedPub]", Full);
    SetVariable(State, "[LastError]", "Excel pages imported into:\r\n" + Full);
    return true;
  } catch (const std::exception& E) {
    const std::string Message = ErrorMessage(E);
    WriteImportLog(Host, "ERROR: " + Message);
    SetVariable(State, "[LastError]", Message);
    Show(State,
         Message +
             "\r\n\r\nSee kvGridfold_import.log beside the current publication for "
             "diagnostic details.",
         "kvGridfoldImport - Error", TMessageIcon::Error);
    return false;
  }
}

}  // namespace kv
