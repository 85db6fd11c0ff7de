#include "workbook/CharEscapes.h"

#include <cstdio>

#include "base/Text.h"

namespace kv {

namespace {

// The code unit of the escape at S[I], or -1 when none starts there.
int EscapedUnitAt(std::string_view S, size_t I) {
  if (S[I] != '_' || I + 6 >= S.size() || S[I + 1] != 'x' || S[I + 6] != '_') return -1;
  int V = 0;
  for (size_t K = 2; K < 6; ++K) {
    const int D = HexDigitValue(S[I + K]);
    if (D < 0) return -1;
    V = V * 16 + D;
  }
  return V;
}

bool XmlCanHold(char32_t Cp, bool InAttribute) {
  if (Cp == '\t' || Cp == '\n' || Cp == '\r') return !InAttribute;
  return Cp >= 0x20 && Cp != 0xFFFE && Cp != 0xFFFF && (Cp < 0xD800 || Cp > 0xDFFF);
}

void AppendEscape(std::string& Out, unsigned Unit) {
  char Buf[8];
  std::snprintf(Buf, sizeof Buf, "_x%04X_", Unit);
  Out += Buf;
}

}  // namespace

bool StartsCharEscape(std::string_view S, size_t I) {
  return EscapedUnitAt(S, I) >= 0;
}

std::string DecodeCharEscapes(std::string_view S) {
  if (S.find("_x") == std::string_view::npos) return std::string(S);
  std::u16string Units;
  std::string Out;
  auto FlushUnits = [&] {
    if (!Units.empty()) Out += Utf16ToUtf8(Units);
    Units.clear();
  };
  for (size_t I = 0; I < S.size();) {
    if (const int Unit = EscapedUnitAt(S, I); Unit >= 0) {
      Units += static_cast<char16_t>(Unit);
      I += 7;
      continue;
    }
    FlushUnits();
    Out += S[I++];
  }
  FlushUnits();
  return Out;
}

std::string EncodeCharEscapes(std::string_view S, bool InAttribute) {
  std::string Out;
  Out.reserve(S.size());
  for (size_t I = 0; I < S.size();) {
    const size_t At = I;
    const char32_t Cp = NextCodePoint(S, I, true);  // escaped surrogates go out escaped again
    if (!XmlCanHold(Cp, InAttribute))
      AppendEscape(Out, unsigned(Cp));
    else if (StartsCharEscape(S, At))
      AppendEscape(Out, '_');
    else
      Out.append(S, At, I - At);
  }
  return Out;
}

}  // namespace kv
