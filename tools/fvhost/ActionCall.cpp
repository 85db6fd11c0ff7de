#include "ActionCall.h"

#include "base/Text.h"

namespace fvhost {

bool ParseActionCall(const std::string& Call, std::string& Name, std::vector<std::string>& Params) {
  Params.clear();
  std::string S = kv::Trim(Call);
  size_t I = 0;
  while (I < S.size() && S[I] != ' ' && S[I] != '"') ++I;
  Name = S.substr(0, I);
  if (Name.empty()) return false;
  while (I < S.size()) {
    while (I < S.size() && S[I] == ' ') ++I;
    if (I >= S.size()) break;
    if (S[I] != '"') return false;
    size_t Close = S.find('"', I + 1);
    if (Close == std::string::npos) return false;
    Params.push_back(S.substr(I + 1, Close - I - 1));
    I = Close + 1;
  }
  return true;
}

}  // namespace fvhost
