#include "plugin/HostVariables.h"

#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace kv {

const char* const kImportLogName = "kvGridfold_import.log";
const char* const kBuildLinePrefix = "BUILD=v65 real page navigation via fvPlayAction DLL=";

std::string ReadHostVariable(IHost* Host, const std::string& Name) {
  if (!Host || !Host->HasGetVariable()) return {};
  return Host->GetVariable(Name);
}

std::string ImportLogPath(IHost* Host) {
  if (!Host || !Host->HasGetVariable()) return {};
  std::string Dir = Trim(ReadHostVariable(Host, "[PubDir]"));
  if (Dir.empty()) return {};
  return IncludeTrailingPathDelimiter(Dir) + kImportLogName;
}

std::string FormatLogEntry(const TLocalTime& When, const std::string& Message) {
  return FormatTimestamp(When) + "  " + Message + "\r\n";
}

void WriteImportLog(IHost* Host, const std::string& Message) {
  try {
    std::string Path = ImportLogPath(Host);
    if (Path.empty()) return;
    AppendToFile(Path, FormatLogEntry(NowLocal(), Message));
  } catch (...) {
    // A log that cannot be written never affects the caller.
  }
}

void WriteBuildLine(IHost* Host, const std::string& ModulePath) {
  if (ModulePath.empty()) return;
  WriteImportLog(Host, kBuildLinePrefix + ModulePath);
}

}  // namespace kv
