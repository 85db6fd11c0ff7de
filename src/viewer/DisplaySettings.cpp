#include "viewer/DisplaySettings.h"

#include <iterator>

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

bool ParseSettingsColor(std::string_view Value, TColor& Color) {
  std::string V = Trim(Value);
  std::string_view Digits = V;
  if (!Digits.empty() && Digits[0] == '#') Digits.remove_prefix(1);
  if (Digits.size() != 6) return false;
  uint32_t Rgb24 = 0;
  for (char C : Digits) {
    int D = HexDigitValue(C);
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
    int D = HexDigitValue(C);
    if (D < 0 || unsigned(D) >= Base) return false;
    N = N * Base + unsigned(D);
    if (N > Limit) return false;
  }
  Result = Negative ? static_cast<int32_t>(-static_cast<int64_t>(N)) : static_cast<int32_t>(N);
  return true;
}

static_assert(
    [] {
      for (size_t I = 0; I < std::size(kSettingsKeys); ++I)
        if (static_cast<size_t>(kSettingsKeys[I].Key) != I) return false;
      return true;
    }(),
    "kSettingsKeys is indexed by TSettingsKey");

std::vector<TSettingsEntry> ParseSettingsEntries(std::string_view Settings) {
  std::vector<TSettingsEntry> Entries;
  for (const std::string& Piece : SplitSettingsEntries(Settings)) {
    const size_t Eq = Piece.find('=');
    if (Eq == std::string::npos) continue;
    const std::string Key = Trim(std::string_view(Piece).substr(0, Eq));
    for (const TSettingsKeyInfo& Info : kSettingsKeys)
      if (SameTextAscii(Key, Info.Name)) {
        Entries.push_back({&Info, Trim(std::string_view(Piece).substr(Eq + 1))});
        break;
      }
  }
  return Entries;
}

bool ParseSettingsIntegerIn(const TSettingsKeyInfo& Info, std::string_view Value, int32_t& Result) {
  int32_t N = 0;
  if (!ParseSettingsInteger(Value, N) || N < Info.Min || N > Info.Max) return false;
  Result = N;
  return true;
}

}  // namespace kv
