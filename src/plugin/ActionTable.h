// The plug-in's action table: five group headers and eleven actions in the
// order the host lists them, with ids, names, hints and parameter kinds.
#ifndef KV_PLUGIN_ACTIONTABLE_H
#define KV_PLUGIN_ACTIONTABLE_H

#include <cstdint>
#include <vector>

namespace kv {

enum TParamKind : uint8_t { ParamText = 1, ParamFileName = 5, ParamVariable = 6 };

enum TActionId : int {
  aidGroup = 0,
  aidOpen = 1,
  aidNext = 2,
  aidPrev = 3,
  aidGoto = 4,
  aidClose = 5,
  aidSave = 6,
  aidExport = 7,
  aidImport = 8,
  aidEdit = 9,
  aidHighlight = 10,
  aidSettings = 11,
};

struct TActionDef {
  int Id;
  const char* Name;
  const char* Hint;
  std::vector<uint8_t> Kinds;  // a group header has the single kind 0
  int ParamCount;
};

// The sixteen entries in registration order.
const std::vector<TActionDef>& ActionTable();
// The action with this id (1..11), or nullptr.
const TActionDef* FindAction(int Id);

}  // namespace kv

#endif
