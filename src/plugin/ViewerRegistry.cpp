#include "plugin/ViewerRegistry.h"

#include "base/Text.h"

namespace kv {

std::string ViewerKey(const std::string& Name) {
  return AsciiUpper(Name);
}

}  // namespace kv
