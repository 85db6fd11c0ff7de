#include "workbook/CellNotation.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/Text.h"

namespace kv {

std::string ColumnIndexToLetters(int32_t Index) {
  std::string Letters;
  if (Index < 0) return Letters;
  int64_t N = int64_t{Index} + 1;
  while (N > 0) {
    Letters.insert(Letters.begin(), static_cast<char>('A' + (N - 1) % 26));
    N = (N - 1) / 26;
  }
  return Letters;
}

int32_t ColumnLettersToIndex(std::string_view Letters) {
  if (Letters.empty()) return -1;
  int64_t V = 0;
  for (char C : Letters) {
    V = V * 26 + (AsciiUpperChar(C) - 64);
    // Hostile references must not overflow; anything this far right is off every sheet.
    if (V > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(V - 1);
}

bool ParseCellRef(std::string_view Ref, int32_t& Col, int32_t& Row) {
  Col = 0;
  Row = 0;
  // The usual form, letters then digits, without building the two parts.
  size_t L = 0;
  int32_t Letters26 = 0;
  while (L < Ref.size() && L < 4 &&
         ((Ref[L] >= 'A' && Ref[L] <= 'Z') || (Ref[L] >= 'a' && Ref[L] <= 'z')))
    Letters26 = Letters26 * 26 + ((Ref[L++] & ~0x20) - 64);  // a letter's upper case
  if (L > 0 && L < 4 && Ref.size() > L && Ref.size() - L <= 9 && Ref[L] != '0') {
    int32_t N = 0;
    size_t D = L;
    while (D < Ref.size() && Ref[D] >= '0' && Ref[D] <= '9') N = N * 10 + (Ref[D++] - '0');
    if (D == Ref.size()) {
      Col = Letters26 - 1;
      Row = N - 1;
      return true;
    }
  }
  std::string Letters, Digits;
  for (char C : Ref) {
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'))
      Letters += C;
    else
      Digits += C;
  }
  if (Letters.empty() || Digits.empty()) return false;
  int32_t Number = 1;
  if (auto N = TryParseInt32(Digits)) {
    Number = *N;
  } else {
    // A row number too long for 32 bits is far beyond any sheet; reading it
    // as row 1 would put the cell over A1.
    bool AllDigits = true;
    for (char C : Digits) AllDigits = AllDigits && (C >= '0' && C <= '9');
    if (AllDigits) return false;
  }
  Col = ColumnLettersToIndex(Letters);
  Row = Number == std::numeric_limits<int32_t>::min() ? Number : Number - 1;
  return true;
}

bool TryParseNumberText(std::string_view Text, double& Value) {
  const std::string T = Trim(Text);
  if (T.empty()) return false;
  size_t I = 0;
  const size_t N = T.size();
  auto IsDigit = [&](size_t K) { return K < N && T[K] >= '0' && T[K] <= '9'; };
  if (T[I] == '+' || T[I] == '-') ++I;
  const size_t MantissaStart = I;
  size_t IntDigits = 0, FracDigits = 0;
  while (IsDigit(I)) ++I, ++IntDigits;
  if (I < N && T[I] == '.') {
    ++I;
    while (IsDigit(I)) ++I, ++FracDigits;
  }
  if (IntDigits + FracDigits == 0) return false;
  if (I < N && (T[I] == 'e' || T[I] == 'E')) {
    ++I;
    if (I < N && (T[I] == '+' || T[I] == '-')) ++I;
    if (!IsDigit(I)) return false;
    while (IsDigit(I)) ++I;
  }
  if (I != N) return false;
  // from_chars takes no '+' and is locale independent.
  std::string Body = T.substr(MantissaStart);
  if (Body[0] == '.') Body.insert(Body.begin(), '0');
  double V = 0;
  auto [End, Ec] = std::from_chars(Body.data(), Body.data() + Body.size(), V);
  if (Ec != std::errc() || End != Body.data() + Body.size() || !std::isfinite(V)) return false;
  Value = T[0] == '-' ? -V : V;
  return true;
}

std::string FormatNumberText(double Value) {
  if (Value == 0) return "0";
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  char Buf[64];
  auto [End, Ec] = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::general, 15);
  std::string S(Buf, Ec == std::errc() ? End : Buf);
  const size_t E = S.find('e');
  if (E == std::string::npos) return S;
  // "1e+20" -> "1E20", "1.5e-07" -> "1.5E-7"
  std::string Mantissa = S.substr(0, E);
  std::string Exp = S.substr(E + 1);
  bool Negative = false;
  if (!Exp.empty() && (Exp[0] == '+' || Exp[0] == '-')) {
    Negative = Exp[0] == '-';
    Exp.erase(0, 1);
  }
  while (Exp.size() > 1 && Exp[0] == '0') Exp.erase(0, 1);
  return Mantissa + "E" + (Negative ? "-" : "") + Exp;
}

}  // namespace kv
