// A double's 15 significant digits, worked out in integers where the value's
// size allows and by printing it otherwise.
#include <array>
#include <bit>
#include <charconv>

#include "numfmt/NumberFormat.h"

namespace kv {

namespace {

// 10^0 to 10^19, every power of ten below 2^64.
constexpr auto kPow10 = [] {
  std::array<uint64_t, 20> P{};
  P[0] = 1;
  for (size_t I = 1; I < P.size(); ++I) P[I] = P[I - 1] * 10;
  return P;
}();
constexpr uint64_t kLow15 = kPow10[14], kHigh15 = kPow10[15];

// An unsigned 128-bit number; plain 64-bit halves, so 32-bit builds have it too.
struct TWide {
  uint64_t Hi = 0, Lo = 0;
};

TWide Multiply(uint64_t A, uint64_t B) {
  const uint64_t A0 = A & 0xFFFFFFFFu, A1 = A >> 32, B0 = B & 0xFFFFFFFFu, B1 = B >> 32;
  const uint64_t P00 = A0 * B0, P01 = A0 * B1, P10 = A1 * B0, P11 = A1 * B1;
  const uint64_t Mid = (P00 >> 32) + (P01 & 0xFFFFFFFFu) + (P10 & 0xFFFFFFFFu);
  return TWide{P11 + (P01 >> 32) + (P10 >> 32) + (Mid >> 32), (Mid << 32) | (P00 & 0xFFFFFFFFu)};
}

// How the part of a quotient below its integer compares with one half.
enum class TRest { Zero, Below, Half, Above };

// Mantissa * 10^Scale / 2^Shift as its integer part and the rest.
// Requires: Mantissa < 2^53, 0 <= Scale <= 22, 0 < Shift < 128, a quotient below 2^64.
uint64_t ScaledFloor(uint64_t Mantissa, int Scale, int Shift, TRest& Rest) {
  const auto At = [](int I) { return kPow10[static_cast<size_t>(I)]; };
  const TWide X =
      Scale <= 19 ? Multiply(Mantissa, At(Scale)) : Multiply(Mantissa * At(Scale - 19), At(19));
  uint64_t Floor, RestHi, RestLo, HalfHi, HalfLo;
  if (Shift < 64) {
    Floor = (X.Lo >> Shift) | (X.Hi << (64 - Shift));
    RestHi = 0, RestLo = X.Lo & ((uint64_t{1} << Shift) - 1);
    HalfHi = 0, HalfLo = uint64_t{1} << (Shift - 1);
  } else {
    Floor = X.Hi >> (Shift - 64);
    RestHi = Shift == 64 ? 0 : X.Hi & ((uint64_t{1} << (Shift - 64)) - 1), RestLo = X.Lo;
    HalfHi = Shift == 64 ? 0 : uint64_t{1} << (Shift - 65);
    HalfLo = Shift == 64 ? uint64_t{1} << 63 : 0;
  }
  if (RestHi == 0 && RestLo == 0)
    Rest = TRest::Zero;
  else if (RestHi == HalfHi && RestLo == HalfLo)
    Rest = TRest::Half;
  else
    Rest = (RestHi != HalfHi ? RestHi > HalfHi : RestLo > HalfLo) ? TRest::Above : TRest::Below;
  return Floor;
}

// The integer way, for values from about 1e-8 to 1e15. False outside it.
bool DigitsExactly(double V, uint64_t& Digits, int& Exp10) {
  const uint64_t Bits = std::bit_cast<uint64_t>(V);
  const int Biased = static_cast<int>(Bits >> 52) & 0x7FF;
  if (Biased == 0) return false;  // subnormal: far below the range
  const uint64_t Mantissa = (Bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int Shift = 1075 - Biased;  // V = Mantissa / 2^Shift
  // V lies in [2^E2, 2^(E2+1)); floor(E2 * log10(2)) is its decimal exponent or one less.
  const int E2 = 52 - Shift;
  int Scale = 14 - ((E2 * 78913) >> 18);
  if (Shift <= 0 || Shift >= 128 || Scale < 0 || Scale > 22) return false;
  TRest Rest;
  uint64_t N = ScaledFloor(Mantissa, Scale, Shift, Rest);
  if (N >= kHigh15) {  // the exponent was one low: one digit more goes to the rest
    const uint64_t Last = N % 10;
    N /= 10, --Scale;
    if (Last > 5 || (Last == 5 && Rest != TRest::Zero))
      Rest = TRest::Above;
    else if (Last == 5)
      Rest = TRest::Half;
    else if (Last > 0 || Rest != TRest::Zero)
      Rest = TRest::Below;
  }
  if (N < kLow15 || N >= kHigh15) return false;  // not expected: let printing decide
  if (Rest == TRest::Above || (Rest == TRest::Half && (N & 1))) ++N;
  if (N == kHigh15) N = kLow15, --Scale;  // 999...95 rounded up to 10^15
  Digits = N;
  Exp10 = -Scale;
  return true;
}

}  // namespace

void SignificantDigits15(double V, uint64_t& Digits, int& Exp10) {
  if (DigitsExactly(V, Digits, Exp10)) return;
  char Buf[40];
  const auto Printed = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::scientific, 14);
  Digits = 0;
  const char* P = Buf;
  for (; P < Printed.ptr && *P != 'e'; ++P)
    if (*P >= '0' && *P <= '9') Digits = Digits * 10 + static_cast<uint64_t>(*P - '0');
  int E = 0;
  std::from_chars(P + (P < Printed.ptr && P[1] == '+' ? 2 : 1), Printed.ptr, E);
  Exp10 = E - 14;
}

}  // namespace kv
