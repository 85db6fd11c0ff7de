// Changing one attribute of a start tag as written, every other byte kept:
// what lets a save change a part without rewriting it.
#ifndef KV_WORKBOOK_TAGEDIT_H
#define KV_WORKBOOK_TAGEDIT_H

#include <string>
#include <string_view>

namespace kv {

// Tag is a whole start tag ("<a x='1'>" or "<a/>"); the attribute Name gets
// Value (already escaped for a double-quoted attribute, as
// EscapeXmlAttribute in xml/XmlEscape.h does): its old value
// replaced in its own quotes, or the attribute added after the others.
std::string SetTagAttribute(std::string_view Tag, std::string_view Name, std::string_view Value);

}  // namespace kv

#endif
