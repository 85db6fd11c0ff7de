#include "xml/XmlNames.h"

#include "base/Text.h"

namespace kv {

std::string_view LocalName(std::string_view Name) {
  const size_t Colon = Name.rfind(':');
  return Colon == std::string_view::npos ? Name : Name.substr(Colon + 1);
}

bool IsLocal(std::string_view Name, std::string_view Wanted) {
  return SameTextAscii(LocalName(Name), Wanted);
}

}  // namespace kv
