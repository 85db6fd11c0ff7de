#include "xml/XmlEscape.h"

namespace kv {

namespace {

struct TEntity {
  char Char;
  std::string_view Name, Written;
};

constexpr TEntity kEntities[] = {{'&', "amp", "&amp;"},
                                 {'<', "lt", "&lt;"},
                                 {'>', "gt", "&gt;"},
                                 {'"', "quot", "&quot;"},
                                 {'\'', "apos", "&apos;"}};

}  // namespace

std::string_view XmlEntityFor(char C) {
  for (const TEntity& E : kEntities)
    if (E.Char == C) return E.Written;
  return {};
}

char XmlEntityChar(std::string_view Name) {
  for (const TEntity& E : kEntities)
    if (E.Name == Name) return E.Char;
  return 0;
}

std::string EscapeXmlAttribute(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (char C : Text) {
    const std::string_view Entity = C == '\'' ? std::string_view() : XmlEntityFor(C);
    if (Entity.empty())
      Out += C;
    else
      Out += Entity;
  }
  return Out;
}

}  // namespace kv
