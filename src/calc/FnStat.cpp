// Statistics and the conditional aggregates (COUNTIF and its family).
#include <algorithm>
#include <cmath>
#include <map>

#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"

namespace kv::calc {

namespace fn {

namespace {

bool Collect(TEvalContext& Ctx, TOperand* A, int N, std::vector<double>& V, TOperand& Out) {
  return EachNumber(
      Ctx, A, N, [&](double X) { V.push_back(X); }, Out);
}

}  // namespace

FN(Average) {
  double S = 0;
  size_t C = 0;
  if (!EachNumber(
          Ctx, A, N, [&](double X) { S += X, ++C; }, Out))
    return;
  Out = C ? NumResult(S / double(C)) : ErrOut(TCalcError::Div0);
}

FN(AverageA) {
  double S = 0;
  size_t C = 0;
  for (int I = 0; I < N; ++I) {
    if (A[I].IsRef() || A[I].IsArray()) {
      TCalcError E = TCalcError::None;
      ForEachValue(Ctx, A[I], [&](const TCalcValue& V) {
        if (V.IsError())
          E = V.Error;
        else
          S += V.IsText() ? 0 : V.Number, ++C;
        return E == TCalcError::None;
      });
      if (E != TCalcError::None) return void(Out = ErrOut(E));
    } else if (!A[I].IsMissing()) {
      double X;
      if (!ArgNumber(Ctx, A[I], X, Out)) return;
      S += X, ++C;
    }
  }
  Out = C ? NumResult(S / double(C)) : ErrOut(TCalcError::Div0);
}

FN(Count) {
  double C = 0;
  for (int I = 0; I < N; ++I) {
    if (A[I].IsRef() || A[I].IsArray()) {
      ForEachValue(Ctx, A[I], [&](const TCalcValue& V) {
        C += V.IsNumber();
        return true;
      });
    } else if (!A[I].IsMissing()) {
      TCalcValue V = ScalarOf(Ctx, A[I]);
      double X;
      TCalcError E;
      C += (V.IsNumber() || V.IsBool() || (V.IsText() && CoerceToNumber(V, X, E)));
    }
  }
  Out = NumOut(C);
}

FN(CountA) {
  double C = 0;
  for (int I = 0; I < N; ++I) {
    if (A[I].IsRef() || A[I].IsArray()) {
      ForEachValue(Ctx, A[I], [&](const TCalcValue&) {
        ++C;
        return true;
      });
    } else if (!A[I].IsMissing()) {
      ++C;
    }
  }
  Out = NumOut(C);
}

FN(CountBlank) {
  if (!A[0].IsRef()) return void(Out = ErrOut(TCalcError::Value));
  double Filled = 0;
  ForEachValue(Ctx, A[0], [&](const TCalcValue& V) {
    Filled += !(V.IsText() && V.Text.empty());
    return true;
  });
  Out = NumOut(double(A[0].R.Rows()) * double(A[0].R.Cols()) - Filled);
}

template <bool IsMax>
FN(MaxMin) {
  double R = 0;
  bool Any = false;
  if (!EachNumber(
          Ctx, A, N,
          [&](double X) {
            if (!Any || (IsMax ? X > R : X < R)) R = X;
            Any = true;
          },
          Out))
    return;
  Out = NumResult(R);
}
template FN(MaxMin<true>);
template FN(MaxMin<false>);

FN(Median) {
  std::vector<double> V;
  if (!Collect(Ctx, A, N, V, Out)) return;
  if (V.empty()) return void(Out = ErrOut(TCalcError::Num));
  std::sort(V.begin(), V.end());
  size_t M = V.size() / 2;
  Out = NumResult(V.size() % 2 ? V[M] : (V[M - 1] + V[M]) / 2);
}

FN(Mode) {
  std::vector<double> V;
  if (!Collect(Ctx, A, N, V, Out)) return;
  std::map<double, size_t> Counts;
  for (double X : V) ++Counts[X];
  size_t Best = 1;
  double R = 0;
  for (double X : V)  // the first value that occurs most often
    if (Counts[X] > Best) Best = Counts[X], R = X;
  Out = Best > 1 ? NumResult(R) : ErrOut(TCalcError::NA);
}

template <bool Sample, bool Root>
FN(Variance) {
  std::vector<double> V;
  if (!Collect(Ctx, A, N, V, Out)) return;
  size_t Min = Sample ? 2 : 1;
  if (V.size() < Min) return void(Out = ErrOut(TCalcError::Div0));
  double Mean = 0;
  for (double X : V) Mean += X;
  Mean /= double(V.size());
  double S = 0;
  for (double X : V) S += (X - Mean) * (X - Mean);
  double R = S / double(V.size() - (Sample ? 1 : 0));
  Out = NumResult(Root ? std::sqrt(R) : R);
}
template FN(Variance<true, true>);
template FN(Variance<false, true>);
template FN(Variance<true, false>);
template FN(Variance<false, false>);

namespace {

// The arguments of LARGE, SMALL, PERCENTILE and QUARTILE: the numbers of
// A[0], and A[1] as the number k.
bool ValuesAndK(TEvalContext& Ctx, TOperand* A, std::vector<double>& V, double& K, TOperand& Out) {
  return Collect(Ctx, A, 1, V, Out) && ArgNumber(Ctx, A[1], K, Out);
}

double PercentileOf(std::vector<double>& V, double K) {
  std::sort(V.begin(), V.end());
  double Pos = K * double(V.size() - 1);
  size_t Lo = size_t(std::floor(Pos));
  double Frac = Pos - double(Lo);
  if (Lo + 1 >= V.size()) return V.back();
  return V[Lo] + Frac * (V[Lo + 1] - V[Lo]);
}

}  // namespace

template <bool Large>
FN(KthValue) {
  std::vector<double> V;
  double K;
  if (!ValuesAndK(Ctx, A, V, K, Out)) return;
  size_t I = size_t(std::ceil(K));
  if (K < 1 || I > V.size()) return void(Out = ErrOut(TCalcError::Num));
  std::sort(V.begin(), V.end());
  Out = NumResult(Large ? V[V.size() - I] : V[I - 1]);
}
template FN(KthValue<true>);
template FN(KthValue<false>);

template <bool Avg>
FN(Rank) {
  double X, Order = 0;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  if (!A[1].IsRef() && !A[1].IsArray()) return void(Out = ErrOut(TCalcError::Value));
  if (N > 2 && !A[2].IsMissing() && !ArgNumber(Ctx, A[2], Order, Out)) return;
  std::vector<double> V;
  if (!Collect(Ctx, A + 1, 1, V, Out)) return;
  double Before = 0, Same = 0;
  for (double Y : V) {
    if (Y == X)
      ++Same;
    else if (Order == 0 ? Y > X : Y < X)
      ++Before;
  }
  if (!Same) return void(Out = ErrOut(TCalcError::NA));
  Out = NumOut(Avg ? Before + (Same + 1) / 2 : Before + 1);
}
template FN(Rank<false>);
template FN(Rank<true>);

template <bool Quartile>
FN(Percentile) {
  std::vector<double> V;
  double K;
  if (!ValuesAndK(Ctx, A, V, K, Out)) return;
  if (Quartile) {
    K = std::trunc(K);
    if (K < 0 || K > 4) return void(Out = ErrOut(TCalcError::Num));
    K /= 4;
  }
  if (V.empty() || K < 0 || K > 1) return void(Out = ErrOut(TCalcError::Num));
  Out = NumResult(PercentileOf(V, K));
}
template FN(Percentile<false>);
template FN(Percentile<true>);

namespace {

// The conditional family. Ranges are walked offset by offset; only offsets
// where some range has a used cell are visited, the rest are empty in all.
struct TCondScan {
  std::vector<const TOperand*> Ranges;
  std::vector<TCriterion> Crits;
  int32_t Rows = 0, Cols = 0;
};

bool BuildScan(TEvalContext& Ctx, TOperand* A, int First, int N, TCondScan& S, TOperand& Out) {
  if ((N - First) % 2 || N - First < 2) return Out = ErrOut(TCalcError::Value), false;
  S.Rows = A[First].Rows();
  S.Cols = A[First].Cols();
  for (int I = First; I < N; I += 2) {
    if (A[I].Rows() != S.Rows || A[I].Cols() != S.Cols)
      return Out = ErrOut(TCalcError::Value), false;
    S.Ranges.push_back(&A[I]);
    S.Crits.emplace_back(ScalarOf(Ctx, A[I + 1]));
  }
  return true;
}

// Calls Fn(row, col) for the matching offsets inside the used area and
// returns how many offsets outside it match (all-empty cells).
double ScanMatches(TEvalContext& Ctx, const TCondScan& S, const TOperand* Extra,
                   const std::function<void(int32_t, int32_t)>& Fn) {
  int32_t Rows = 0, Cols = 0;
  auto Extent = [&](const TOperand& O) {
    if (!O.IsRef()) {
      Rows = std::max(Rows, O.Rows()), Cols = std::max(Cols, O.Cols());
      return;
    }
    TRef U = Ctx.Clamp(O.R);
    if (U.R1 > U.R2 || U.C1 > U.C2) return;
    Rows = std::max(Rows, U.R2 - O.R.R1 + 1);
    Cols = std::max(Cols, U.C2 - O.R.C1 + 1);
  };
  for (const TOperand* R : S.Ranges) Extent(*R);
  if (Extra) Extent(*Extra);
  Rows = std::min(Rows, S.Rows), Cols = std::min(Cols, S.Cols);
  for (int32_t R = 0; R < Rows; ++R)
    for (int32_t C = 0; C < Cols; ++C) {
      bool All = true;
      for (size_t K = 0; K < S.Ranges.size() && All; ++K)
        All = S.Crits[K].Matches(ElementAt(Ctx, *S.Ranges[K], R, C));
      if (All) Fn(R, C);
    }
  for (const TCriterion& C : S.Crits)
    if (!C.Matches(TCalcValue())) return 0;
  return double(S.Rows) * double(S.Cols) - double(Rows) * double(Cols);
}

}  // namespace

FN(CountIfs) {
  TCondScan S;
  if (!BuildScan(Ctx, A, 0, N, S, Out)) return;
  double C = 0;
  C += ScanMatches(Ctx, S, nullptr, [&](int32_t, int32_t) { ++C; });
  Out = NumOut(C);
}

namespace {

// Aggregate of the values of Target at matching offsets. Kind: 0 sum,
// 1 average, 2 min, 3 max.
void Aggregate(TEvalContext& Ctx, const TOperand& Target, const TCondScan& S, int Kind,
               TOperand& Out) {
  double Sum = 0, Best = 0;
  size_t Count = 0;
  TCalcError E = TCalcError::None;
  ScanMatches(Ctx, S, &Target, [&](int32_t R, int32_t C) {
    const TCalcValue& V = ElementAt(Ctx, Target, R, C);
    if (V.IsError()) {
      if (E == TCalcError::None) E = V.Error;
    } else if (V.IsNumber()) {
      if (!Count || (Kind == 2 ? V.Number < Best : V.Number > Best)) Best = V.Number;
      Sum += V.Number, ++Count;
    }
  });
  if (E != TCalcError::None) return void(Out = ErrOut(E));
  switch (Kind) {
    case 0:
      Out = NumResult(Sum);
      break;
    case 1:
      Out = Count ? NumResult(Sum / double(Count)) : ErrOut(TCalcError::Div0);
      break;
    default:
      Out = NumResult(Count ? Best : 0);
  }
}

// SUMIF(range, criterion, [sum range]): the sum range takes the shape of
// the range from its own first cell.
TOperand ShapedLike(const TOperand& Target, const TOperand& Shape) {
  if (!Target.IsRef() || !Shape.IsRef()) return Target;
  TRef R = Target.R;
  R.R2 = std::min(kMaxRows - 1, R.R1 + Shape.R.Rows() - 1);
  R.C2 = std::min(kMaxCols - 1, R.C1 + Shape.R.Cols() - 1);
  return TOperand::Ref(R);
}

}  // namespace

template <int Kind>
FN(IfOne) {
  TCondScan S;
  if (!BuildScan(Ctx, A, 0, 2, S, Out)) return;
  TOperand Target = N > 2 && !A[2].IsMissing() ? ShapedLike(A[2], A[0]) : A[0];
  Aggregate(Ctx, Target, S, Kind, Out);
}
template FN(IfOne<0>);
template FN(IfOne<1>);

template <int Kind>
FN(IfMany) {
  TCondScan S;
  if (!BuildScan(Ctx, A, 1, N, S, Out)) return;
  if (A[0].Rows() != S.Rows || A[0].Cols() != S.Cols) return void(Out = ErrOut(TCalcError::Value));
  Aggregate(Ctx, A[0], S, Kind, Out);
}
template FN(IfMany<0>);
template FN(IfMany<1>);
template FN(IfMany<2>);
template FN(IfMany<3>);

FN(CountIf) {
  TCondScan S;
  if (!BuildScan(Ctx, A, 0, 2, S, Out)) return;
  double C = 0;
  C += ScanMatches(Ctx, S, nullptr, [&](int32_t, int32_t) { ++C; });
  Out = NumOut(C);
}

#undef FN
}  // namespace fn

}  // namespace kv::calc
