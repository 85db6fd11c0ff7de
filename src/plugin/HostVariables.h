// Host variable reading and the import log. The log is
// "kvGridfold_import.log" in the folder named by "[PubDir]": one line per
// entry, "yyyy-mm-dd hh:nn:ss", two blanks, the message, CR LF, UTF-8 without
// byte-order mark, appended with full sharing. Writing the log never fails.
#ifndef KV_PLUGIN_HOSTVARIABLES_H
#define KV_PLUGIN_HOSTVARIABLES_H

#include <string>

#include "base/Clock.h"
#include "base/HostPorts.h"

namespace kv {

extern const char* const kImportLogName;    // "kvGridfold_import.log"
extern const char* const kBuildLinePrefix;  // "BUILD=v65 ... DLL="

// Empty text when the host has not handed over its get-variable callback.
// Raises: the host's errors.
std::string ReadHostVariable(IHost* Host, const std::string& Name);

// The log's path for the current "[PubDir]", or empty text when none is known.
std::string ImportLogPath(IHost* Host);

// The complete log line, CR LF included.
std::string FormatLogEntry(const TLocalTime& When, const std::string& Message);

// Appends one entry; swallows every failure.
void WriteImportLog(IHost* Host, const std::string& Message);

// Writes the start-up entry with the plug-in's module path; nothing when the
// path is empty.
void WriteBuildLine(IHost* Host, const std::string& ModulePath);

}  // namespace kv

#endif
