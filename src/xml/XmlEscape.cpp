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
  // Told apart by length, without a search: the reader decodes every entity
  // of a sheet's texts through here.
  switch (Name.size()) {
    case 2:
      if (Name[1] != 't') return 0;
      return Name[0] == 'l' ? '<' : Name[0] == 'g' ? '>' : 0;
    case 3:
      return Name == "amp" ? '&' : 0;
    case 4:
      return Name == "quot" ? '"' : Name == "apos" ? '\'' : 0;
    default:
      return 0;
  }
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
