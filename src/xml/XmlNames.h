// Names of elements and attributes as package parts write them: an optional
// namespace prefix ("x:") and the local part. Parts choose their prefixes
// freely, so names are matched by their local part. Nothing here raises.
#ifndef KV_XML_XMLNAMES_H
#define KV_XML_XMLNAMES_H

#include <string_view>

namespace kv {

// The name after its prefix ("x:row" -> "row"; "row" -> "row").
std::string_view LocalName(std::string_view Name);

// Whether the local part of Name is Wanted, ASCII case ignored.
bool IsLocal(std::string_view Name, std::string_view Wanted);

}  // namespace kv

#endif
