// The import action: resolves the workbook and the target publication through
// the host's variables, imports into a new copy of the open publication or
// into another publication file in place, and reports the outcome through
// "[LastError]", "[kvGridfoldImportedPub]", a message box and the import log.
#ifndef KV_PLUGIN_IMPORTDRIVER_H
#define KV_PLUGIN_IMPORTDRIVER_H

#include <cstdint>
#include <string>

#include "plugin/PlugIn.h"

namespace kv {

// True after a successful import, false after a reported failure; never raises.
bool ExecImport(TPlugInState& State, const std::string& WorkbookFile, const std::string& SheetList,
                const std::string& Target);

// The file's size in bytes, 0 when it does not exist.
int64_t FileSizeOf(const std::string& Path);

}  // namespace kv

#endif
