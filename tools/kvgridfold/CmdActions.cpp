// "version" and "actions": what the plug-in registers with its host.
#include <cstdio>

#include "Cli.h"
#include "plugin/ActionTable.h"
#include "plugin/PlugIn.h"

namespace kv::cli {

namespace {

int CmdVersion(const TArgs&) {
  std::printf("%s 1.0.0\n", kPlugInTitle);
  return 0;
}

// One line per registered entry: id, name, kinds, count, hint; tab-separated.
int CmdActions(const TArgs&) {
  for (const TActionDef& A : ActionTable()) {
    std::string Kinds;
    for (uint8_t K : A.Kinds) Kinds += (Kinds.empty() ? "" : ",") + std::to_string(K);
    std::printf("%d\t%s\t%s\t%d\t%s\n", A.Id, A.Name, Kinds.c_str(), A.ParamCount, A.Hint);
  }
  return 0;
}

const TCliCommand RegVersion("version", "version", CmdVersion);
const TCliCommand RegActions("actions", "actions    (the action table the host receives)",
                             CmdActions);

}  // namespace

}  // namespace kv::cli
