#include "xml/XmlNames.h"

namespace kv {

std::string_view LocalName(std::string_view Name) {
  const size_t Colon = Name.rfind(':');
  return Colon == std::string_view::npos ? Name : Name.substr(Colon + 1);
}

bool IsLocal(std::string_view Name, std::string_view Wanted) {
  // The local part is what follows the last ':', so it is Wanted exactly when
  // Name ends in Wanted with a ':' or nothing before it (a Wanted holding a
  // ':' is never a local part). Called for every element of a sheet: no calls.
  if (Name.size() < Wanted.size()) return false;
  const size_t Cut = Name.size() - Wanted.size();
  if (Cut > 0 && Name[Cut - 1] != ':') return false;
  const auto Upper = [](char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 32) : C; };
  for (size_t I = 0; I < Wanted.size(); ++I) {
    const char A = Name[Cut + I], B = Wanted[I];
    if (B == ':' || (A != B && Upper(A) != Upper(B))) return false;
  }
  return true;
}

}  // namespace kv
