#include "viewer/DisplaySettings.h"

#include "base/Text.h"

namespace kv {

std::vector<std::string> SplitSettingsEntries(std::string_view Settings) {
  std::vector<std::string> Entries;
  std::string Current;
  char Quote = 0;
  auto Flush = [&] {
    size_t Start = Current.find_first_not_of("\r\n");
    if (Start != std::string::npos) Entries.push_back(Current.substr(Start));
    Current.clear();
  };
  for (char C : Settings) {
    if (Quote) {
      if (C == Quote) Quote = 0;
      Current += C;
    } else if (C == '"' || C == '\'') {
      Quote = C;
      Current += C;
    } else if (C == ';' || C == '\r' || C == '\n') {
      Flush();
    } else {
      Current += C;
    }
  }
  Flush();
  return Entries;
}

static int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

bool ParseSettingsColor(std::string_view Value, TColor& Color) {
  std::string V = Trim(Value);
  std::string_view Digits = V;
  if (!Digits.empty() && Digits[0] == '#') Digits.remove_prefix(1);
  if (Digits.size() != 6) return false;
  uint32_t Rgb24 = 0;
  for (char C : Digits) {
    int D = HexDigit(C);
    if (D < 0) return false;
    Rgb24 = Rgb24 * 16 + static_cast<uint32_t>(D);
  }
  Color = Rgb(uint8_t(Rgb24 >> 16), uint8_t(Rgb24 >> 8), uint8_t(Rgb24));
  return true;
}

bool ParseSettingsInteger(std::string_view Value, int32_t& Result) {
  std::string V = Trim(Value);
  std::string_view S = V;
  bool Negative = false;
  if (!S.empty() && (S[0] == '+' || S[0] == '-')) {
    Negative = S[0] == '-';
    S.remove_prefix(1);
  }
  unsigned Base = 10;
  if (!S.empty() && (S[0] == '$' || S[0] == 'x' || S[0] == 'X')) {
    Base = 16;
    S.remove_prefix(1);
  } else if (S.size() >= 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
    Base = 16;
    S.remove_prefix(2);
  }
  if (S.empty()) return false;
  const uint64_t Limit = Negative ? uint64_t(1) << 31 : (uint64_t(1) << 31) - 1;
  uint64_t N = 0;
  for (char C : S) {
    int D = HexDigit(C);
    if (D < 0 || unsigned(D) >= Base) return false;
    N = N * Base + unsigned(D);
    if (N > Limit) return false;
  }
  Result = Negative ? static_cast<int32_t>(-static_cast<int64_t>(N)) : static_cast<int32_t>(N);
  return true;
}

}  // namespace kv
