// Date, time and finance functions. Dates are serials of the workbook's
// date system (Functions.cpp converts).
#include <cmath>

#include "base/Clock.h"
#include "base/Text.h"
#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"
#include "numfmt/NumberFormat.h"

namespace kv::calc {

namespace fn {

namespace {

bool OptNumber(TEvalContext& Ctx, TOperand* A, int N, int I, double Default, double& V,
               TOperand& Out) {
  V = Default;
  if (I < N && !A[I].IsMissing()) return ArgNumber(Ctx, A[I], V, Out);
  return true;
}

// A date argument: a serial (or date text) of a real day.
bool ArgDate(TEvalContext& Ctx, const TOperand& A, double& S, int& Y, int& M, int& D,
             TOperand& Out) {
  if (!ArgNumber(Ctx, A, S, Out)) return false;
  if (!SerialToDate(S, Ctx.Date1904(), Y, M, D)) return Out = ErrOut(TCalcError::Num), false;
  return true;
}

TOperand SerialOut(TEvalContext& Ctx, int64_t Y, int64_t M, int64_t D) {
  if (Y < 0 || Y > 9999) return ErrOut(TCalcError::Num);
  double S = DateToSerial(Y, M, D, Ctx.Date1904());
  if (S < 0 || S >= 2958466) return ErrOut(TCalcError::Num);
  return NumOut(S);
}

}  // namespace

FN(Date) {
  double Y, M, D;
  if (!ArgNumber(Ctx, A[0], Y, Out) || !ArgNumber(Ctx, A[1], M, Out) ||
      !ArgNumber(Ctx, A[2], D, Out))
    return;
  Y = std::trunc(Y), M = std::trunc(M), D = std::trunc(D);
  if (Y < 0 || Y >= 10000 || std::fabs(M) > 1e6 || std::fabs(D) > 1e8)
    return void(Out = ErrOut(TCalcError::Num));
  if (Y < 1900) Y += 1900;
  Out = SerialOut(Ctx, int64_t(Y), int64_t(M), int64_t(D));
}

FN(Time) {
  double H, M, S;
  if (!ArgNumber(Ctx, A[0], H, Out) || !ArgNumber(Ctx, A[1], M, Out) ||
      !ArgNumber(Ctx, A[2], S, Out))
    return;
  double T = std::trunc(H) * 3600 + std::trunc(M) * 60 + std::trunc(S);
  if (T < 0 || T > 1e12) return void(Out = ErrOut(TCalcError::Num));
  Out = NumOut(std::fmod(T, 86400) / 86400);
}

template <int Part>  // 0 year, 1 month, 2 day
FN(DatePart) {
  double S;
  int Y, M, D;
  if (!ArgDate(Ctx, A[0], S, Y, M, D, Out)) return;
  Out = NumOut(Part == 0 ? Y : Part == 1 ? M : D);
}
template FN(DatePart<0>);
template FN(DatePart<1>);
template FN(DatePart<2>);

template <int Part>  // 0 hour, 1 minute, 2 second
FN(TimePart) {
  double S;
  if (!ArgNumber(Ctx, A[0], S, Out)) return;
  if (S < 0) return void(Out = ErrOut(TCalcError::Num));
  double Secs = std::round((S - std::floor(S)) * 86400);
  if (Secs >= 86400) Secs = 0;
  int64_t T = int64_t(Secs);
  Out = NumOut(double(Part == 0 ? T / 3600 : Part == 1 ? T / 60 % 60 : T % 60));
}
template FN(TimePart<0>);
template FN(TimePart<1>);
template FN(TimePart<2>);

namespace {

// Day of the week, 0 for Sunday, of a serial (1900 serials before March
// 1900 follow the calendar that had 1900-02-29).
int WeekDay0(TEvalContext& Ctx, double S) {
  int64_t Day = int64_t(std::floor(S)) + (Ctx.Date1904() ? 1462 : 0);
  return int(((Day + 6) % 7 + 7) % 7);
}

}  // namespace

FN(Weekday) {
  double S, Type;
  int Y, M, D;
  if (!ArgDate(Ctx, A[0], S, Y, M, D, Out) || !OptNumber(Ctx, A, N, 1, 1, Type, Out)) return;
  int W = WeekDay0(Ctx, S);  // Sunday 0
  int T = int(Type);
  if (T == 1 || T == 17)
    Out = NumOut(W + 1);
  else if (T == 2 || T == 11)
    Out = NumOut((W + 6) % 7 + 1);
  else if (T == 3)
    Out = NumOut((W + 6) % 7);
  else if (T >= 12 && T <= 16)
    Out = NumOut((W + 7 - (T - 10)) % 7 + 1);
  else
    Out = ErrOut(TCalcError::Num);
}

FN(WeekNum) {
  double S, Type;
  int Y, M, D;
  if (!ArgDate(Ctx, A[0], S, Y, M, D, Out) || !OptNumber(Ctx, A, N, 1, 1, Type, Out)) return;
  int T = int(Type);
  double Jan1 = DateToSerial(Y, 1, 1, Ctx.Date1904());
  if (T == 21) {                          // ISO 8601
    int Wd = (WeekDay0(Ctx, S) + 6) % 7;  // Monday 0
    double Thursday = std::floor(S) - Wd + 3;
    int Ty, Tm, Td;
    SerialToDate(Thursday, Ctx.Date1904(), Ty, Tm, Td);
    double TJan1 = DateToSerial(Ty, 1, 1, Ctx.Date1904());
    return void(Out = NumOut(std::floor((Thursday - TJan1) / 7) + 1));
  }
  int Start;  // first day of the week, Sunday 0
  if (T == 1 || T == 17)
    Start = 0;
  else if (T == 2 || T == 11)
    Start = 1;
  else if (T >= 12 && T <= 16)
    Start = T - 10;
  else
    return void(Out = ErrOut(TCalcError::Num));
  int Offset = (WeekDay0(Ctx, Jan1) - Start + 7) % 7;
  Out = NumOut(std::floor((std::floor(S) - Jan1 + Offset) / 7) + 1);
}

// ISO 8601 week: WEEKNUM with type 21.
FN(IsoWeekNum) {
  TOperand Args[2] = {A[0], NumOut(21)};
  WeekNum(Ctx, Args, 2, Out);
}

namespace {

double TodaySerial(TEvalContext& Ctx, bool WithTime) {
  TLocalTime T = NowLocal();
  double S = DateToSerial(T.Year, T.Month, T.Day, Ctx.Date1904());
  if (WithTime) S += (T.Hour * 3600 + T.Minute * 60 + T.Second) / 86400.0;
  return S;
}

}  // namespace

FN(Today) {
  Out = NumOut(TodaySerial(Ctx, false));
}

FN(Now) {
  Out = NumOut(TodaySerial(Ctx, true));
}

namespace {

int DaysInMonth(int64_t Y, int64_t M) {
  int64_t Ny = Y + (M == 12), Nm = M == 12 ? 1 : M + 1;
  return int(DaysFromCivil(Ny, unsigned(Nm), 1) - DaysFromCivil(Y, unsigned(M), 1));
}

}  // namespace

template <bool EndOfMonth>
FN(EDate) {
  double S, K;
  int Y, M, D;
  if (!ArgDate(Ctx, A[0], S, Y, M, D, Out) || !ArgNumber(Ctx, A[1], K, Out)) return;
  if (std::fabs(K) > 1e6) return void(Out = ErrOut(TCalcError::Num));
  int64_t Total = int64_t(Y) * 12 + (M - 1) + int64_t(std::trunc(K));
  int64_t Ny = Total / 12, Nm = Total % 12 + 1;
  if (Total < 0) return void(Out = ErrOut(TCalcError::Num));
  int Dim = DaysInMonth(Ny, Nm);
  Out = SerialOut(Ctx, Ny, Nm, EndOfMonth ? Dim : std::min(D, Dim));
}
template FN(EDate<false>);
template FN(EDate<true>);

FN(DateDif) {
  double S1, S2;
  int Y1, M1, D1, Y2, M2, D2;
  std::string Unit;
  if (!ArgDate(Ctx, A[0], S1, Y1, M1, D1, Out) || !ArgDate(Ctx, A[1], S2, Y2, M2, D2, Out) ||
      !ArgText(Ctx, A[2], Unit, Out))
    return;
  S1 = std::floor(S1), S2 = std::floor(S2);
  if (S1 > S2) return void(Out = ErrOut(TCalcError::Num));
  Unit = AsciiUpper(Unit);
  int Months = (Y2 - Y1) * 12 + (M2 - M1) - (D2 < D1 ? 1 : 0);
  if (Unit == "Y")
    Out = NumOut(Months / 12);
  else if (Unit == "M")
    Out = NumOut(Months);
  else if (Unit == "D")
    Out = NumOut(S2 - S1);
  else if (Unit == "YM")
    Out = NumOut(Months % 12);
  else if (Unit == "MD") {
    int Pm = M2 == 1 ? 12 : M2 - 1, Py = M2 == 1 ? Y2 - 1 : Y2;
    Out = NumOut(D2 >= D1 ? D2 - D1 : DaysInMonth(Py, Pm) - D1 + D2);
  } else if (Unit == "YD") {
    int Yy = (M2 > M1 || (M2 == M1 && D2 >= D1)) ? Y2 : Y2 - 1;
    double Start = DateToSerial(Yy, M1, std::min(D1, DaysInMonth(Yy, M1)), Ctx.Date1904());
    Out = NumOut(S2 - Start);
  } else {
    Out = ErrOut(TCalcError::Num);
  }
}

FN(Days) {
  double E, S;
  if (!ArgNumber(Ctx, A[0], E, Out) || !ArgNumber(Ctx, A[1], S, Out)) return;
  Out = NumOut(std::floor(E) - std::floor(S));
}

namespace {

bool Holidays(TEvalContext& Ctx, TOperand* A, int N, int I, std::vector<double>& H, TOperand& Out) {
  if (I >= N || A[I].IsMissing()) return true;
  return EachNumber(
      Ctx, A + I, 1, [&](double X) { H.push_back(std::floor(X)); }, Out);
}
bool IsWorkday(TEvalContext& Ctx, double S, const std::vector<double>& H) {
  int W = WeekDay0(Ctx, S);
  if (W == 0 || W == 6) return false;
  for (double X : H)
    if (X == S) return false;
  return true;
}
// The arguments of NETWORKDAYS and WORKDAY: the start day (its date only),
// a number, and the holidays.
bool WorkdayArgs(TEvalContext& Ctx, TOperand* A, int N, double& Start, double& X,
                 std::vector<double>& H, TOperand& Out) {
  if (!ArgNumber(Ctx, A[0], Start, Out) || !ArgNumber(Ctx, A[1], X, Out) ||
      !Holidays(Ctx, A, N, 2, H, Out))
    return false;
  Start = std::floor(Start);
  return true;
}

}  // namespace

FN(NetworkDays) {
  double S, E;
  std::vector<double> H;
  if (!WorkdayArgs(Ctx, A, N, S, E, H, Out)) return;
  E = std::floor(E);
  double Sign = 1;
  if (S > E) std::swap(S, E), Sign = -1;
  if (E - S > 1e7) return void(Out = ErrOut(TCalcError::Num));
  double Count = 0;
  for (double D = S; D <= E; ++D) Count += IsWorkday(Ctx, D, H);
  Out = NumOut(Sign * Count);
}

FN(Workday) {
  double S, K;
  std::vector<double> H;
  if (!WorkdayArgs(Ctx, A, N, S, K, H, Out)) return;
  K = std::trunc(K);
  if (std::fabs(K) > 1e6) return void(Out = ErrOut(TCalcError::Num));
  double Step = K < 0 ? -1 : 1;
  for (double Left = std::fabs(K); Left > 0;) {
    S += Step;
    if (S < 0) return void(Out = ErrOut(TCalcError::Num));
    if (IsWorkday(Ctx, S, H)) --Left;
  }
  Out = NumOut(S);
}

FN(DateValue) {
  std::string T;
  double V;
  if (!ArgText(Ctx, A[0], T, Out)) return;
  if (!ParseNumberLike(T, V) || V < 1) return void(Out = ErrOut(TCalcError::Value));
  Out = NumOut(std::floor(V));
}

FN(TimeValue) {
  std::string T;
  double V;
  if (!ArgText(Ctx, A[0], T, Out)) return;
  if (!ParseNumberLike(T, V) || V < 0) return void(Out = ErrOut(TCalcError::Value));
  Out = NumOut(V - std::floor(V));
}

namespace {

// Finance: annuities with payments at the end (type 0) or start (1) of
// each period.
bool Annuity(TEvalContext& Ctx, TOperand* A, int N, double V[5], TOperand& Out) {
  for (int I = 0; I < 5; ++I)
    if (!OptNumber(Ctx, A, N, I, 0, V[I], Out)) return false;
  V[4] = V[4] != 0 ? 1 : 0;
  return true;
}
// (1 + R)^N and (1 + R)^N - 1 without the rounding of 1 + R.
double Growth(double R, double N) {
  return std::exp(N * std::log1p(R));
}
double GrowthLess1(double R, double N) {
  return std::expm1(N * std::log1p(R));
}
// PMT, PV and FV: the rate, the count of periods, the two amounts that follow
// them (X, Y), the type, and the growth over the periods, G = (1 + R)^Np and
// G1 = G - 1.
struct TAnnuity {
  double R = 0, Np = 0, X = 0, Y = 0, T = 0;
  double G = 1, G1 = 0;
};
bool Annuity(TEvalContext& Ctx, TOperand* A, int N, TAnnuity& F, TOperand& Out) {
  double V[5];
  if (!Annuity(Ctx, A, N, V, Out)) return false;
  F = {V[0], V[1], V[2], V[3], V[4], Growth(V[0], V[1]), GrowthLess1(V[0], V[1])};
  return true;
}

}  // namespace

FN(Pmt) {
  TAnnuity F;  // X: present value, Y: future value
  if (!Annuity(Ctx, A, N, F, Out)) return;
  if (F.Np == 0) return void(Out = ErrOut(TCalcError::Num));
  if (F.R == 0) return void(Out = NumResult(-(F.X + F.Y) / F.Np));
  Out = NumResult(-F.R * (F.Y + F.X * F.G) / ((1 + F.R * F.T) * F.G1));
}

FN(Pv) {
  TAnnuity F;  // X: payment, Y: future value
  if (!Annuity(Ctx, A, N, F, Out)) return;
  if (F.R == 0) return void(Out = NumResult(-(F.Y + F.X * F.Np)));
  Out = NumResult(-(F.Y + F.X * (1 + F.R * F.T) * F.G1 / F.R) / F.G);
}

FN(Fv) {
  TAnnuity F;  // X: payment, Y: present value
  if (!Annuity(Ctx, A, N, F, Out)) return;
  if (F.R == 0) return void(Out = NumResult(-(F.Y + F.X * F.Np)));
  Out = NumResult(-(F.Y * F.G + F.X * (1 + F.R * F.T) * F.G1 / F.R));
}

FN(Nper) {
  double V[5];
  if (!Annuity(Ctx, A, N, V, Out)) return;
  double R = V[0], P = V[1], Pv = V[2], Fv = V[3], T = V[4];
  if (R == 0) return void(Out = P == 0 ? ErrOut(TCalcError::Num) : NumResult(-(Pv + Fv) / P));
  double Q = P * (1 + R * T) / R;
  Out = NumResult(std::log((Q - Fv) / (Q + Pv)) / std::log(1 + R));
}

FN(Npv) {
  double R;
  if (!ArgNumber(Ctx, A[0], R, Out)) return;
  if (R == -1) return void(Out = ErrOut(TCalcError::Div0));
  double S = 0, K = 0;
  if (EachNumber(
          Ctx, A + 1, N - 1, [&](double X) { S += X / std::pow(1 + R, ++K); }, Out))
    Out = NumResult(S);
}

FN(Irr) {
  std::vector<double> V;
  double Guess;
  if (!EachNumber(
          Ctx, A, 1, [&](double X) { V.push_back(X); }, Out) ||
      !OptNumber(Ctx, A, N, 1, 0.1, Guess, Out))
    return;
  double X = Guess;
  for (int It = 0; It < 200; ++It) {
    double F0 = 0, F1 = 0;
    for (size_t I = 0; I < V.size(); ++I) {
      double D = std::pow(1 + X, double(I));
      F0 += V[I] / D;
      F1 -= double(I) * V[I] / (D * (1 + X));
    }
    if (F1 == 0 || !std::isfinite(F0)) break;
    double Next = X - F0 / F1;
    if (std::fabs(Next - X) <= 1e-15 * std::max(1.0, std::fabs(Next)))
      return void(Out = NumResult(Next));
    X = Next;
    if (X <= -1) break;
  }
  Out = ErrOut(TCalcError::Num);
}

#undef FN
}  // namespace fn

}  // namespace kv::calc
