// Math, logic and information functions.
#include <algorithm>
#include <cmath>
#include <random>

#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"

namespace kv::calc {

bool EachNumber(TEvalContext& Ctx, TOperand* A, int N, const std::function<void(double)>& Fn,
                TOperand& Out) {
  for (int I = 0; I < N; ++I) {
    if (A[I].IsMissing()) continue;
    if (A[I].IsRef() || A[I].IsArray()) {
      TCalcError E = TCalcError::None;
      ForEachValue(Ctx, A[I], [&](const TCalcValue& V) {
        if (V.IsError()) {
          E = V.Error;
          return false;
        }
        if (V.IsNumber()) Fn(V.Number);
        return true;
      });
      if (E != TCalcError::None) {
        Out = ErrOut(E);
        return false;
      }
    } else if (!A[I].V.IsEmpty()) {
      double X;
      if (!ArgNumber(Ctx, A[I], X, Out)) return false;
      Fn(X);
    }
  }
  return true;
}

TOperand NumResult(double V) {
  if (!std::isfinite(V)) return ErrOut(TCalcError::Num);
  return NumOut(V == 0 ? 0 : V);
}

namespace fn {

namespace {

#define SumNumbers EachNumber

TOperand Num(double V) {
  return NumResult(V);
}

}  // namespace

FN(Sum) {
  double S = 0;
  if (SumNumbers(
          Ctx, A, N, [&](double X) { S += X; }, Out))
    Out = Num(S);
}

FN(Product) {
  double P = 1;
  bool Any = false;
  if (SumNumbers(
          Ctx, A, N, [&](double X) { P *= X, Any = true; }, Out))
    Out = Num(Any ? P : 0);
}

FN(SumSq) {
  double S = 0;
  if (SumNumbers(
          Ctx, A, N, [&](double X) { S += X * X; }, Out))
    Out = Num(S);
}

namespace {

bool Numbers2(TEvalContext& Ctx, TOperand* A, int N, double& X, double& Y, TOperand& Out,
              double DefaultY = 0) {
  if (!ArgNumber(Ctx, A[0], X, Out)) return false;
  Y = DefaultY;
  if (N > 1 && !A[1].IsMissing() && !ArgNumber(Ctx, A[1], Y, Out)) return false;
  return true;
}

double RoundDir(double X, int Digits, int Mode) {  // Mode: 0 half away, 1 up, -1 down
  if (Mode == 0) return RoundHalfAway(X, Digits);
  if (!std::isfinite(X) || Digits > 15) return X;
  if (Digits < -308) return 0;  // 10^-Digits is past every double
  double P = std::pow(10.0, std::abs(Digits));
  double V = RoundTo15Digits(Digits >= 0 ? X * P : X / P);
  V = Mode > 0 ? (V < 0 ? -std::ceil(-V) : std::ceil(V)) : std::trunc(V);
  return RoundTo15Digits(Digits >= 0 ? V / P : V * P);
}

}  // namespace

// ROUND, ROUNDUP, ROUNDDOWN and TRUNC: a digit count outside a 16-bit integer is refused,
// as LibreOffice refuses it; any count within it gives a number.
template <int Mode>
FN(RoundFn) {
  double X, D;
  if (!Numbers2(Ctx, A, N, X, D, Out)) return;
  if (!(D > -32769 && D < 32768)) {
    Out = ErrOut(TCalcError::Num);
    return;
  }
  Out = Num(RoundDir(X, int(D), Mode));
}
template FN(RoundFn<0>);
template FN(RoundFn<1>);
template FN(RoundFn<-1>);

FN(Int) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = Num(std::floor(RoundTo15Digits(X)));
}

FN(Mod) {
  double X, Y;
  if (!Numbers2(Ctx, A, N, X, Y, Out)) return;
  if (Y == 0) return void(Out = ErrOut(TCalcError::Div0));
  double R = X - Y * std::floor(X / Y);
  if (std::fabs(R - Y) < std::fabs(Y) * 1e-15) R = 0;
  Out = Num(R);
}

FN(Quotient) {
  double X, Y;
  if (!Numbers2(Ctx, A, N, X, Y, Out)) return;
  if (Y == 0) return void(Out = ErrOut(TCalcError::Div0));
  Out = Num(std::trunc(X / Y));
}

// The functions of one number. A number outside the function's domain gives
// #NUM!.
FN(Abs) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = Num(std::fabs(X));
}
FN(Sign) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = Num(X > 0 ? 1 : X < 0 ? -1 : 0);
}
FN(Sqrt) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = X < 0 ? ErrOut(TCalcError::Num) : Num(std::sqrt(X));
}
FN(Exp) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = Num(std::exp(X));
}
FN(Ln) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = X <= 0 ? ErrOut(TCalcError::Num) : Num(std::log(X));
}
FN(Log10) {
  double X;
  if (ArgNumber(Ctx, A[0], X, Out)) Out = X <= 0 ? ErrOut(TCalcError::Num) : Num(std::log10(X));
}
FN(Even) {
  double X;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  double V = std::ceil(std::fabs(X) / 2) * 2;
  Out = Num(X < 0 ? -V : V);
}
FN(Odd) {
  double X;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  double V = std::ceil(std::fabs(X));
  if (std::fmod(V, 2) == 0) V += 1;
  Out = Num(X < 0 ? -V : V);
}
FN(Fact) {
  double X;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  if (X < 0) return void(Out = ErrOut(TCalcError::Num));
  double R = 1;
  for (int I = 2; I <= int(X) && I < 200; ++I) R *= I;
  Out = Num(R);
}

FN(Log) {
  double X, B;
  if (!Numbers2(Ctx, A, N, X, B, Out, 10)) return;
  if (X <= 0 || B <= 0) return void(Out = ErrOut(TCalcError::Num));
  if (B == 1) return void(Out = ErrOut(TCalcError::Div0));
  Out = Num(std::log(X) / std::log(B));
}

FN(Power) {
  double X, Y;
  if (!Numbers2(Ctx, A, N, X, Y, Out)) return;
  if (X == 0 && Y == 0) return void(Out = ErrOut(TCalcError::Num));
  if (X == 0 && Y < 0) return void(Out = ErrOut(TCalcError::Div0));
  Out = Num(std::pow(X, Y));
}

FN(Pi) {
  Out = NumOut(3.14159265358979323846);
}

namespace {

// Multiples: CEILING(x, s) and FLOOR(x, s) round away from / toward zero in
// steps of s for positive x; MROUND to the nearest multiple.
double Multiple(double X, double S, int Mode) {
  double Q = RoundTo15Digits(X / S);
  double R = Mode > 0 ? std::ceil(Q) : Mode < 0 ? std::floor(Q) : std::round(Q);
  return RoundTo15Digits(R * S);
}

}  // namespace

FN(Ceiling) {
  double X, S;
  if (!Numbers2(Ctx, A, N, X, S, Out, 1)) return;
  if (S == 0 || X == 0) return void(Out = NumOut(0));
  if (X > 0 && S < 0) return void(Out = ErrOut(TCalcError::Num));
  if (X < 0 && S < 0) return void(Out = Num(-Multiple(-X, -S, 1)));
  Out = Num(Multiple(X, S, 1));
}

FN(Floor) {
  double X, S;
  if (!Numbers2(Ctx, A, N, X, S, Out, 1)) return;
  if (X == 0) return void(Out = NumOut(0));
  if (S == 0) return void(Out = ErrOut(TCalcError::Div0));
  if (X > 0 && S < 0) return void(Out = ErrOut(TCalcError::Num));
  if (X < 0 && S < 0) return void(Out = Num(-Multiple(-X, -S, -1)));
  Out = Num(Multiple(X, S, -1));
}

template <bool IsCeiling>
FN(MathRound) {  // CEILING.MATH / FLOOR.MATH (x, significance, mode)
  double X, S = 1, M = 0;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  if (N > 1 && !A[1].IsMissing() && !ArgNumber(Ctx, A[1], S, Out)) return;
  if (N > 2 && !A[2].IsMissing() && !ArgNumber(Ctx, A[2], M, Out)) return;
  S = std::fabs(S);
  if (S == 0 || X == 0) return void(Out = NumOut(0));
  bool AwayFromZero = X < 0 && M != 0;
  int Dir = IsCeiling ? 1 : -1;
  if (X < 0 && AwayFromZero) Dir = -Dir;
  Out = Num(Multiple(X, S, Dir));
}
template FN(MathRound<true>);
template FN(MathRound<false>);

FN(MRound) {
  double X, S;
  if (!Numbers2(Ctx, A, N, X, S, Out)) return;
  if (S == 0) return void(Out = NumOut(0));
  if ((X > 0 && S < 0) || (X < 0 && S > 0)) return void(Out = ErrOut(TCalcError::Num));
  double Q = RoundTo15Digits(X / S);
  Out = Num(RoundTo15Digits((Q < 0 ? -std::floor(-Q + 0.5) : std::floor(Q + 0.5)) * S));
}

namespace {

std::mt19937_64& Random() {
  static std::mt19937_64 G{std::random_device{}()};
  return G;
}

}  // namespace

FN(Rand) {
  Out = NumOut(std::uniform_real_distribution<double>(0, 1)(Random()));
}

FN(RandBetween) {
  double Lo, Hi;
  if (!Numbers2(Ctx, A, N, Lo, Hi, Out)) return;
  Lo = std::ceil(Lo), Hi = std::floor(Hi);
  if (Lo > Hi) return void(Out = ErrOut(TCalcError::Num));
  Out = NumOut(Lo +
               std::floor(std::uniform_real_distribution<double>(0, 1)(Random()) * (Hi - Lo + 1)));
}

FN(SumProduct) {
  int32_t Rows = A[0].Rows(), Cols = A[0].Cols();
  for (int I = 1; I < N; ++I)
    if (A[I].Rows() != Rows || A[I].Cols() != Cols) return void(Out = ErrOut(TCalcError::Value));
  // Past the used part of every referenced sheet each product is 0, so
  // whole-column ranges cost their used rows only.
  bool AllRefs = true;
  int32_t UsedRows = 0, UsedCols = 0;
  for (int I = 0; I < N && AllRefs; ++I) {
    if (!A[I].IsRef()) {
      AllRefs = false;
      break;
    }
    TRef U = Ctx.Clamp(A[I].R);
    UsedRows = std::max(UsedRows, U.R2 - A[I].R.R1 + 1);
    UsedCols = std::max(UsedCols, U.C2 - A[I].R.C1 + 1);
  }
  if (AllRefs) Rows = std::min(Rows, UsedRows), Cols = std::min(Cols, UsedCols);
  double S = 0;
  for (int32_t R = 0; R < Rows; ++R)
    for (int32_t C = 0; C < Cols; ++C) {
      double P = 1;
      for (int I = 0; I < N; ++I) {
        const TCalcValue& V = ElementAt(Ctx, A[I], R, C);
        if (V.IsError()) return void(Out = ErrOut(V.Error));
        P *= V.IsNumber() ? V.Number : 0;
      }
      S += P;
    }
  Out = Num(S);
}

// Logic.
FN(If) {
  bool C;
  if (!ArgBool(Ctx, A[0], C, Out)) return;
  int Pick = C ? 1 : 2;
  if (Pick < N)
    Out = A[Pick].IsMissing() ? NumOut(0) : A[Pick];
  else
    Out = TOperand::Value(TCalcValue::Bool(C));
}

FN(Ifs) {
  if (N % 2) return void(Out = ErrOut(TCalcError::NA));
  for (int I = 0; I < N; I += 2) {
    bool C;
    if (!ArgBool(Ctx, A[I], C, Out)) return;
    if (C) return void(Out = A[I + 1]);
  }
  Out = ErrOut(TCalcError::NA);
}

template <bool OnlyNa>
FN(IfError) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  bool Hit = V.IsError() && (!OnlyNa || V.Error == TCalcError::NA);
  if (Hit)
    Out = A[1].IsMissing() ? NumOut(0) : A[1];
  else
    Out = A[0].IsArray() ? A[0] : TOperand::Value(V);
}
template FN(IfError<false>);
template FN(IfError<true>);

// AND/OR/XOR over booleans and numbers; texts in ranges are skipped.
template <int Kind>  // 0 AND, 1 OR, 2 XOR
FN(Logical) {
  int Seen = 0, True = 0;
  TCalcError E = TCalcError::None;
  for (int I = 0; I < N && E == TCalcError::None; ++I) {
    if (A[I].IsRef() || A[I].IsArray()) {
      ForEachValue(Ctx, A[I], [&](const TCalcValue& V) {
        if (V.IsError())
          E = V.Error;
        else if (V.IsNumber() || V.IsBool())
          ++Seen, True += V.Number != 0;
        return E == TCalcError::None;
      });
    } else if (!A[I].IsMissing()) {
      bool B;
      if (!ArgBool(Ctx, A[I], B, Out)) return;
      ++Seen, True += B;
    }
  }
  if (E != TCalcError::None) return void(Out = ErrOut(E));
  if (!Seen) return void(Out = ErrOut(TCalcError::Value));
  bool R = Kind == 0 ? True == Seen : Kind == 1 ? True > 0 : (True % 2) == 1;
  Out = TOperand::Value(TCalcValue::Bool(R));
}
template FN(Logical<0>);
template FN(Logical<1>);
template FN(Logical<2>);

FN(Not) {
  bool B;
  if (ArgBool(Ctx, A[0], B, Out)) Out = TOperand::Value(TCalcValue::Bool(!B));
}

FN(True) {
  Out = TOperand::Value(TCalcValue::Bool(true));
}

FN(False) {
  Out = TOperand::Value(TCalcValue::Bool(false));
}

FN(Switch) {
  TCalcValue X = ScalarOf(Ctx, A[0]);
  if (X.IsError()) return void(Out = TOperand::Value(X));
  int I = 1;
  for (; I + 1 < N; I += 2) {
    TCalcValue C = ScalarOf(Ctx, A[I]);
    if (C.IsError()) return void(Out = TOperand::Value(C));
    if (CompareValues(X, C) == 0 && X.Type == C.Type) return void(Out = A[I + 1]);
  }
  Out = I < N ? A[I] : ErrOut(TCalcError::NA);
}

FN(Choose) {
  double K;
  if (!ArgNumber(Ctx, A[0], K, Out)) return;
  int I = TruncToInt(K);
  if (I < 1 || I >= N) return void(Out = ErrOut(TCalcError::Value));
  Out = A[I].IsMissing() ? NumOut(0) : A[I];
}

// Information.
template <int Kind>
FN(Is) {
  TCalcValue V = A[0].IsRef() && A[0].R.Rows() * A[0].R.Cols() == 1
                     ? Ctx.Cell(A[0].R.Sheet, A[0].R.R1, A[0].R.C1)
                     : ScalarOf(Ctx, A[0]);
  bool R = false;
  switch (Kind) {
    case 0:
      R = V.IsEmpty() && A[0].IsRef();
      break;
    case 1:
      R = V.IsNumber();
      break;
    case 2:
      R = V.IsText();
      break;
    case 3:
      R = V.IsError();
      break;
    case 4:
      R = V.IsError() && V.Error != TCalcError::NA;
      break;
    case 5:
      R = V.IsError() && V.Error == TCalcError::NA;
      break;
    case 6:
      R = V.IsBool();
      break;
    case 7:
      R = !V.IsText();
      break;
  }
  Out = TOperand::Value(TCalcValue::Bool(R));
}
template FN(Is<0>);
template FN(Is<1>);
template FN(Is<2>);
template FN(Is<3>);
template FN(Is<4>);
template FN(Is<5>);
template FN(Is<6>);
template FN(Is<7>);

template <int Parity>
FN(IsParity) {
  double X;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  bool Even = std::fmod(std::trunc(std::fabs(X)), 2) == 0;
  Out = TOperand::Value(TCalcValue::Bool(Parity == 0 ? Even : !Even));
}
template FN(IsParity<0>);
template FN(IsParity<1>);

FN(Na) {
  Out = ErrOut(TCalcError::NA);
}

FN(ErrorType) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  Out = V.IsError() ? NumOut(double(V.Error)) : ErrOut(TCalcError::NA);
}

#undef FN
}  // namespace fn

}  // namespace kv::calc
