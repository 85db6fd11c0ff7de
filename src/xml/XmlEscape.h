// The five entities XML predefines, read and written in one place: what the
// pull reader decodes and what splicing and the exporters write. Nothing
// here raises.
#ifndef KV_XML_XMLESCAPE_H
#define KV_XML_XMLESCAPE_H

#include <string>
#include <string_view>

namespace kv {

// The entity for C: "&amp;", "&lt;", "&gt;", "&quot;" or "&apos;"; empty for
// any other character.
std::string_view XmlEntityFor(char C);

// The character an entity's name stands for ("amp" gives '&'); 0 when Name
// is none of the five.
char XmlEntityChar(std::string_view Name);

// Text for a double-quoted attribute value: &, <, > and " as entities.
std::string EscapeXmlAttribute(std::string_view Text);

}  // namespace kv

#endif
