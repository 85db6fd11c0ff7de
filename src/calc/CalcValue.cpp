// Typed values: coercions, comparisons, rounding.
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/Text.h"
#include "calc/Calc.h"
#include "calc/CalcCode.h"
#include "numfmt/NumberFormat.h"

namespace kv {

namespace {
// The powers of ten that doubles hold exactly.
constexpr double kPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::string_view kErrorTexts[] = {"",      "#NULL!", "#DIV/0!", "#VALUE!",
                                            "#REF!", "#NAME?", "#NUM!",   "#N/A"};
}  // namespace

std::string_view ErrorCodeText(TCalcError Code) {
  return kErrorTexts[size_t(Code)];
}

TCalcError ErrorCodeFromText(std::string_view Text) {
  for (size_t I = 1; I < std::size(kErrorTexts); ++I)
    if (SameTextAscii(Text, kErrorTexts[I])) return TCalcError(I);
  return TCalcError::None;
}

TCalcValue TCalcValue::Num(double V) {
  TCalcValue R;
  R.Type = TValueType::Number;
  R.Number = V;
  return R;
}
TCalcValue TCalcValue::Str(std::string V) {
  TCalcValue R;
  R.Type = TValueType::Text;
  R.Text = std::move(V);
  return R;
}
TCalcValue TCalcValue::Bool(bool V) {
  TCalcValue R;
  R.Type = TValueType::Boolean;
  R.Number = V ? 1 : 0;
  return R;
}
TCalcValue TCalcValue::Err(TCalcError E) {
  TCalcValue R;
  R.Type = TValueType::Error;
  R.Error = E;
  return R;
}

bool TCalcValue::operator==(const TCalcValue& O) const {
  if (Type != O.Type) return false;
  switch (Type) {
    case TValueType::Empty:
      return true;
    case TValueType::Number:
    case TValueType::Boolean:
      return Number == O.Number;
    case TValueType::Text:
      return Text == O.Text;
    case TValueType::Error:
      return Error == O.Error;
  }
  return false;
}

namespace {

thread_local bool GDate1904 = false;

bool ParsePlainNumber(std::string_view S, double& Out) {
  if (S.empty()) return false;
  std::string Buf;
  bool Digit = false, Dot = false, Exp = false;
  for (size_t I = 0; I < S.size(); ++I) {
    char C = S[I];
    if (C >= '0' && C <= '9') {
      Digit = true;
      Buf += C;
    } else if (C == '.' && !Dot && !Exp) {
      Dot = true;
      Buf += C;
    } else if (C == ',' && Digit && !Dot && !Exp) {
      // thousands separator: three digits must follow
      size_t J = I + 1, N = 0;
      while (J < S.size() && S[J] >= '0' && S[J] <= '9') ++J, ++N;
      if (N != 3) return false;
    } else if ((C == 'e' || C == 'E') && Digit && !Exp) {
      Exp = true;
      Buf += 'e';
      if (I + 1 < S.size() && (S[I + 1] == '+' || S[I + 1] == '-')) Buf += S[++I];
      if (I + 1 >= S.size()) return false;
    } else {
      return false;
    }
  }
  if (!Digit) return false;
  char* End = nullptr;
  Out = std::strtod(Buf.c_str(), &End);
  return End && *End == 0 && std::isfinite(Out);
}

int MonthFromName(std::string_view S) {
  static const char* Names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                "jul", "aug", "sep", "oct", "nov", "dec"};
  if (S.size() < 3) return 0;
  for (int I = 0; I < 12; ++I)
    if (StartsWithAscii(S, Names[I])) return I + 1;
  return 0;
}

// "13:45", "1:05:30 PM", "9 AM": the fraction of a day.
bool ParseTimeText(std::string_view S, double& Out) {
  std::string T = AsciiLower(Trim(S));
  double Add = 0;
  bool Ampm = false;
  if (EndsWithAscii(T, "am") || EndsWithAscii(T, "pm")) {
    Ampm = true;
    Add = T[T.size() - 2] == 'p' ? 12 : 0;
    T = Trim(T.substr(0, T.size() - 2));
  }
  auto Parts = SplitString(T, ':');
  if (Parts.empty() || Parts.size() > 3 || (Parts.size() == 1 && !Ampm)) return false;
  double V[3] = {0, 0, 0};
  for (size_t I = 0; I < Parts.size(); ++I)
    if (!ParsePlainNumber(Parts[I], V[I]) || (I < 2 && V[I] != std::floor(V[I]))) return false;
  if (Ampm) {
    if (V[0] < 1 || V[0] > 12) return false;
    if (V[0] == 12) V[0] = 0;
    V[0] += Add;
  }
  if (V[1] >= 60 || V[2] >= 60) return false;
  Out = (V[0] * 3600 + V[1] * 60 + V[2]) / 86400.0;
  return true;
}

// "2024-03-05", "3/5/2024", "5-Mar-2024", "March 5, 2024", optionally
// followed by a time.
bool ParseDateText(std::string_view S, double& Out) {
  std::string T = Trim(S);
  double Time = 0;
  size_t Space = T.find(' ');
  if (Space != std::string::npos && T.find(':') != std::string::npos) {
    size_t Colon = T.find(':');
    size_t Cut = T.rfind(' ', Colon);
    if (Cut != std::string::npos && ParseTimeText(T.substr(Cut + 1), Time))
      T = Trim(T.substr(0, Cut));
  }
  std::vector<std::string> P;
  std::string Cur;
  for (char C : T) {
    if (C == '-' || C == '/' || C == ' ' || C == ',') {
      if (!Cur.empty()) P.push_back(Cur);
      Cur.clear();
    } else {
      Cur += C;
    }
  }
  if (!Cur.empty()) P.push_back(Cur);
  if (P.size() != 3 && P.size() != 2) return false;
  auto Int = [](const std::string& X, int& V) {
    auto R = TryParseInt32(X);
    if (!R) return false;
    V = *R;
    return true;
  };
  int Y = 0, M = 0, D = 0;
  bool HasYear = P.size() == 3;
  if (P.size() == 3 && P[0].size() == 4 && Int(P[0], Y)) {
    if (!Int(P[1], M) && !(M = MonthFromName(P[1]))) return false;
    if (!Int(P[2], D)) return false;
  } else if (int Mn = MonthFromName(P[0]); Mn && !std::isdigit((unsigned char)P[0][0])) {
    M = Mn;
    if (!Int(P[1], D)) return false;
    if (HasYear && !Int(P[2], Y)) return false;
  } else if (int Mn2 = P.size() >= 2 ? MonthFromName(P[1]) : 0;
             Mn2 && !std::isdigit((unsigned char)P[1][0])) {
    M = Mn2;
    if (!Int(P[0], D)) return false;
    if (HasYear && !Int(P[2], Y)) return false;
  } else {
    if (!Int(P[0], M) || !Int(P[1], D)) return false;
    if (HasYear && !Int(P[2], Y)) return false;
  }
  if (!HasYear) return false;  // the current year would make it depend on the clock
  if (Y < 100) Y += Y < 30 ? 2000 : 1900;
  if (M < 1 || M > 12 || D < 1 || D > 31 || Y < 1900 || Y > 9999) return false;
  int64_t Ry;
  unsigned Rm, Rd;
  CivilFromDays(DaysFromCivil(Y, unsigned(M), 1) + D - 1, Ry, Rm, Rd);
  if (int(Rm) != M && !(Y == 1900 && M == 2 && D == 29)) return false;
  Out = calc::DateToSerial(Y, M, D, GDate1904) + Time;
  return true;
}

}  // namespace

void calc::SetTextDateSystem(bool Date1904) {
  GDate1904 = Date1904;
}

bool ParseNumberLike(std::string_view Text, double& Out) {
  std::string T = Trim(Text);
  if (T.empty()) return false;
  bool Neg = false;
  std::string_view S = T;
  if (S.size() > 2 && S.front() == '(' && S.back() == ')') {
    Neg = true;
    S = S.substr(1, S.size() - 2);
  }
  if (!S.empty() && (S[0] == '-' || S[0] == '+')) {
    Neg = Neg != (S[0] == '-');
    S.remove_prefix(1);
  }
  if (!S.empty() && S[0] == '$') S.remove_prefix(1);
  double Scale = 1;
  if (!S.empty() && S.back() == '%') {
    Scale = 0.01;
    S.remove_suffix(1);
  }
  double V;
  if (ParsePlainNumber(S, V)) {
    Out = (Neg ? -V : V) * Scale;
    return true;
  }
  if (Neg || Scale != 1) return false;
  if (ParseTimeText(T, V) || ParseDateText(T, V)) {
    Out = V;
    return true;
  }
  return false;
}

bool CoerceToNumber(const TCalcValue& V, double& Out, TCalcError& Err) {
  switch (V.Type) {
    case TValueType::Empty:
      Out = 0;
      return true;
    case TValueType::Number:
    case TValueType::Boolean:
      Out = V.Number;
      return true;
    case TValueType::Text:
      if (ParseNumberLike(V.Text, Out)) return true;
      Err = TCalcError::Value;
      return false;
    case TValueType::Error:
      Err = V.Error;
      return false;
  }
  return false;
}

bool CoerceToText(const TCalcValue& V, std::string& Out, TCalcError& Err) {
  switch (V.Type) {
    case TValueType::Empty:
      Out.clear();
      return true;
    case TValueType::Number:
      Out = NumberToGeneralText(V.Number);
      return true;
    case TValueType::Boolean:
      Out = V.Number != 0 ? "TRUE" : "FALSE";
      return true;
    case TValueType::Text:
      Out = V.Text;
      return true;
    case TValueType::Error:
      Err = V.Error;
      return false;
  }
  return false;
}

bool CoerceToBool(const TCalcValue& V, bool& Out, TCalcError& Err) {
  switch (V.Type) {
    case TValueType::Empty:
      Out = false;
      return true;
    case TValueType::Number:
    case TValueType::Boolean:
      Out = V.Number != 0;
      return true;
    case TValueType::Text:
      if (SameTextAscii(V.Text, "TRUE"))
        Out = true;
      else if (SameTextAscii(V.Text, "FALSE"))
        Out = false;
      else {
        Err = TCalcError::Value;
        return false;
      }
      return true;
    case TValueType::Error:
      Err = V.Error;
      return false;
  }
  return false;
}

namespace {
int TypeRank(const TCalcValue& V) {
  switch (V.Type) {
    case TValueType::Number:
      return 0;
    case TValueType::Text:
      return 1;
    case TValueType::Boolean:
      return 2;
    default:
      return 3;
  }
}
int CompareText(std::string_view A, std::string_view B) {
  // AsciiLowerChar, here where the compiler can inline it.
  auto Lower = [](char C) {
    return static_cast<unsigned char>((C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C);
  };
  size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    unsigned char X = Lower(A[I]), Y = Lower(B[I]);
    if (X != Y) return X < Y ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
}
bool ApproxEqual(double A, double B) {
  if (A == B) return true;
  double D = std::fabs(A - B);
  return D < std::max(std::fabs(A), std::fabs(B)) * (1.0 / 281474976710656.0);  // 2^-48
}
}  // namespace

int CompareValues(const TCalcValue& A0, const TCalcValue& B0) {
  // An empty side is "" beside a text, FALSE beside a boolean, else 0.
  static const TCalcValue kEmptyText = TCalcValue::Str(""), kFalse = TCalcValue::Bool(false),
                          kZero = TCalcValue::Num(0);
  auto EmptyAs = [](const TCalcValue& E, const TCalcValue& Other) -> const TCalcValue& {
    if (!E.IsEmpty()) return E;
    return Other.IsText() ? kEmptyText : Other.IsBool() ? kFalse : kZero;
  };
  const TCalcValue& A = EmptyAs(A0, B0);
  const TCalcValue& B = EmptyAs(B0, A);
  int Ra = TypeRank(A), Rb = TypeRank(B);
  if (Ra != Rb) return Ra < Rb ? -1 : 1;
  if (A.IsText()) return CompareText(A.Text, B.Text);
  if (ApproxEqual(A.Number, B.Number)) return 0;
  return A.Number < B.Number ? -1 : 1;
}

double RoundTo15Digits(double Value) {
  if (!std::isfinite(Value) || Value == 0) return Value;
  // A whole number of 15 digits or fewer is its own 15-digit form.
  if (std::fabs(Value) < 1e15 && Value == std::trunc(Value)) return Value;
  uint64_t Digits;
  int Exp10;
  SignificantDigits15(std::fabs(Value), Digits, Exp10);
#if FLT_EVAL_METHOD == 0
  // Digits and 10^|Exp10| are exact doubles, so one division or
  // multiplication rounds their quotient or product correctly.
  if (Exp10 >= -22 && Exp10 <= 22) {
    const double Magnitude =
        Exp10 < 0 ? double(Digits) / kPowersOfTen[-Exp10] : double(Digits) * kPowersOfTen[Exp10];
    return Value < 0 ? -Magnitude : Magnitude;
  }
#endif
  // Elsewhere (and where intermediate results are wider than double) the
  // decimal is read back.
  char Buf[40];
  char* P = std::to_chars(Buf, Buf + 20, Digits).ptr;
  *P++ = 'e';
  P = std::to_chars(P, Buf + sizeof Buf, Exp10).ptr;
  double Out = std::fabs(Value);
  std::from_chars(Buf, P, Out);
  return Value < 0 ? -Out : Out;
}

double RoundHalfAway(double Value, int Digits) {
  if (!std::isfinite(Value)) return Value;
  if (Digits > 15) return Value;
  if (Digits < -308) return 0;
  // Round the 15-digit decimal form, not the binary one: 2.675 is 2.68.
  double V = RoundTo15Digits(Value);
  const int Magnitude = std::abs(Digits);
  double P = Magnitude <= 22 ? kPowersOfTen[Magnitude] : std::pow(10.0, Magnitude);
  double Scaled = Digits >= 0 ? V * P : V / P;
  if (!std::isfinite(Scaled)) return Value;
  double R = std::round(RoundTo15Digits(Scaled));
  double Out = Digits >= 0 ? R / P : R * P;
  // A whole R of 15 digits or fewer over an exact power of ten is already the
  // double nearest that decimal, which is its own 15-digit form.
  if (std::fabs(R) < 1e15 && Digits >= 0 && Digits <= 22) return Out;
  return RoundTo15Digits(Out);
}

std::string NumberToGeneralText(double Value) {
  return FormatGeneralNumber(Value);
}

}  // namespace kv
