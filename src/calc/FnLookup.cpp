// Lookup and reference functions.
#include <cmath>

#include "base/Text.h"
#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"

namespace kv::calc {

namespace fn {

namespace {

// A row or column of an operand seen as a list.
struct TVector {
  const TOperand* O = nullptr;
  bool Vertical = true;
  int32_t Fixed = 0;  // the row or column index across
  int32_t Length = 0;
  const TCalcValue& At(TEvalContext& Ctx, int32_t K) const {
    return Vertical ? ElementAt(Ctx, *O, K, Fixed) : ElementAt(Ctx, *O, Fixed, K);
  }
};

// The length worth walking: a reference ends where the sheet's cells do.
int32_t UsedLength(TEvalContext& Ctx, const TOperand& O, bool Vertical) {
  int32_t Full = Vertical ? O.Rows() : O.Cols();
  if (!O.IsRef()) return Full;
  TRef U = Ctx.Clamp(O.R);
  if (U.R1 > U.R2 || U.C1 > U.C2) return 0;
  return std::min(Full, Vertical ? U.R2 - O.R.R1 + 1 : U.C2 - O.R.C1 + 1);
}

TVector VectorOf(TEvalContext& Ctx, const TOperand& O, bool Vertical, int32_t Fixed = 0) {
  TVector V;
  V.O = &O;
  V.Vertical = Vertical;
  V.Fixed = Fixed;
  V.Length = UsedLength(Ctx, O, Vertical);
  return V;
}

bool SameType(const TCalcValue& A, const TCalcValue& B) {
  bool Na = A.IsNumber() || A.IsEmpty(), Nb = B.IsNumber() || B.IsEmpty();
  if (Na || Nb) return Na && Nb;
  return A.Type == B.Type;
}
bool ExactMatch(const TCalcValue& X, const TCalcValue& V, bool Wild) {
  if (V.IsEmpty() || V.IsError()) return false;
  if (Wild && X.IsText() && V.IsText() && X.Text.find_first_of("*?~") != std::string::npos)
    return WildcardMatch(X.Text, V.Text);
  return SameType(X, V) && CompareValues(X, V) == 0;
}

// Position of X in the list, -1 when none. Mode 0: exact (wildcards), 1:
// largest value <= X in an ascending list, -1: smallest >= X in a
// descending one.
int32_t Find(TEvalContext& Ctx, const TVector& L, const TCalcValue& X, int Mode) {
  if (Mode == 0) {
    for (int32_t K = 0; K < L.Length; ++K)
      if (ExactMatch(X, L.At(Ctx, K), true)) return K;
    return -1;
  }
  // Binary search over the list as if sorted, skipping cells of other types.
  int32_t Lo = 0, Hi = L.Length - 1, Best = -1;
  while (Lo <= Hi) {
    int32_t Mid = Lo + (Hi - Lo) / 2, M = Mid;
    while (M <= Hi && !SameType(X, L.At(Ctx, M))) ++M;
    if (M > Hi) {
      Hi = Mid - 1;
      continue;
    }
    int C = CompareValues(L.At(Ctx, M), X);
    if (Mode > 0 ? C <= 0 : C >= 0) {
      Best = M;
      Lo = M + 1;
    } else {
      Hi = Mid - 1;
    }
  }
  return Best;
}

bool LookupValue(TEvalContext& Ctx, const TOperand& O, TCalcValue& X, TOperand& Out) {
  X = ScalarOf(Ctx, O);
  if (X.IsError()) return Out = TOperand::Value(X), false;
  return true;
}

TOperand CellOf(TEvalContext& Ctx, const TOperand& O, int32_t R, int32_t C) {
  if (O.IsRef()) return TOperand::Ref({O.R.Sheet, O.R.R1 + R, O.R.C1 + C, O.R.R1 + R, O.R.C1 + C});
  return TOperand::Value(ElementAt(Ctx, O, R, C));
}

}  // namespace

template <bool Vertical>
FN(VLookup) {
  TCalcValue X;
  if (!LookupValue(Ctx, A[0], X, Out)) return;
  double Index;
  bool Approx = true;
  if (!ArgNumber(Ctx, A[2], Index, Out)) return;
  if (N > 3 && !A[3].IsMissing() && !ArgBool(Ctx, A[3], Approx, Out)) return;
  if (!A[1].IsRef() && !A[1].IsArray()) return void(Out = ErrOut(TCalcError::Value));
  int32_t I = TruncToInt(Index);
  if (I < 1) return void(Out = ErrOut(TCalcError::Value));
  if (I > (Vertical ? A[1].Cols() : A[1].Rows())) return void(Out = ErrOut(TCalcError::Ref));
  TVector L = VectorOf(Ctx, A[1], Vertical, 0);
  int32_t K = Find(Ctx, L, X, Approx ? 1 : 0);
  if (K < 0) return void(Out = ErrOut(TCalcError::NA));
  Out = Vertical ? CellOf(Ctx, A[1], K, I - 1) : CellOf(Ctx, A[1], I - 1, K);
}
template FN(VLookup<true>);
template FN(VLookup<false>);

FN(Match) {
  TCalcValue X;
  if (!LookupValue(Ctx, A[0], X, Out)) return;
  double Type = 1;
  if (N > 2 && !A[2].IsMissing() && !ArgNumber(Ctx, A[2], Type, Out)) return;
  if (A[1].Rows() > 1 && A[1].Cols() > 1) return void(Out = ErrOut(TCalcError::NA));
  TVector L = VectorOf(Ctx, A[1], A[1].Cols() == 1 && A[1].Rows() > 1);
  int32_t K = Find(Ctx, L, X, Type > 0 ? 1 : Type < 0 ? -1 : 0);
  Out = K < 0 ? ErrOut(TCalcError::NA) : NumOut(K + 1);
}

namespace {

// XMATCH/XLOOKUP: match mode 0 exact, -1 exact or next smaller, 1 exact or
// next larger, 2 wildcards; search mode 1 first to last, -1 last to first
// (binary modes searched the same way).
int32_t XFind(TEvalContext& Ctx, const TVector& L, const TCalcValue& X, int Match, int Search) {
  int32_t Best = -1;
  for (int32_t I = 0; I < L.Length; ++I) {
    int32_t K = Search < 0 ? L.Length - 1 - I : I;
    const TCalcValue& V = L.At(Ctx, K);
    if (Match == 2 ? ExactMatch(X, V, true) : ExactMatch(X, V, false)) return K;
    if (Match == 0 || Match == 2 || !SameType(X, V) || V.IsEmpty()) continue;
    int C = CompareValues(V, X);
    if ((Match < 0 && C < 0) || (Match > 0 && C > 0)) {
      int Better = Best < 0 ? 1 : CompareValues(V, L.At(Ctx, Best));
      if (Best < 0 || (Match < 0 ? Better > 0 : Better < 0)) Best = K;
    }
  }
  return Best;
}
bool XModes(TEvalContext& Ctx, TOperand* A, int N, int At, int& Match, int& Search, TOperand& Out) {
  double M = 0, S = 1;
  if (N > At && !A[At].IsMissing() && !ArgNumber(Ctx, A[At], M, Out)) return false;
  if (N > At + 1 && !A[At + 1].IsMissing() && !ArgNumber(Ctx, A[At + 1], S, Out)) return false;
  Match = int(M), Search = int(S);
  if (Match < -1 || Match > 2 || Search == 0 || Search < -2 || Search > 2)
    return Out = ErrOut(TCalcError::Value), false;
  return true;
}

}  // namespace

FN(XMatch) {
  TCalcValue X;
  int Match, Search;
  if (!LookupValue(Ctx, A[0], X, Out) || !XModes(Ctx, A, N, 2, Match, Search, Out)) return;
  TVector L = VectorOf(Ctx, A[1], A[1].Cols() == 1);
  int32_t K = XFind(Ctx, L, X, Match, Search);
  Out = K < 0 ? ErrOut(TCalcError::NA) : NumOut(K + 1);
}

FN(XLookup) {
  TCalcValue X;
  int Match, Search;
  if (!LookupValue(Ctx, A[0], X, Out) || !XModes(Ctx, A, N, 4, Match, Search, Out)) return;
  bool Vertical = A[1].Cols() == 1;
  if (A[1].Rows() > 1 && A[1].Cols() > 1) return void(Out = ErrOut(TCalcError::Value));
  if ((Vertical ? A[2].Rows() : A[2].Cols()) != (Vertical ? A[1].Rows() : A[1].Cols()))
    return void(Out = ErrOut(TCalcError::Value));
  TVector L = VectorOf(Ctx, A[1], Vertical);
  int32_t K = XFind(Ctx, L, X, Match, Search);
  if (K < 0) {
    Out = N > 3 && !A[3].IsMissing() ? A[3] : ErrOut(TCalcError::NA);
    return;
  }
  const TOperand& R = A[2];
  if (R.IsRef()) {
    TRef Hit = R.R;
    if (Vertical)
      Hit.R1 = Hit.R2 = R.R.R1 + K;
    else
      Hit.C1 = Hit.C2 = R.R.C1 + K;
    Out = TOperand::Ref(Hit);
  } else {
    Out = TOperand::Value(Vertical ? ElementAt(Ctx, R, K, 0) : ElementAt(Ctx, R, 0, K));
  }
}

FN(Lookup) {
  TCalcValue X;
  if (!LookupValue(Ctx, A[0], X, Out)) return;
  const TOperand& S = A[1];
  bool Vertical = S.Rows() >= S.Cols();
  TVector L = VectorOf(Ctx, S, Vertical, 0);
  int32_t K = Find(Ctx, L, X, 1);
  if (K < 0) return void(Out = ErrOut(TCalcError::NA));
  if (N > 2) {
    const TOperand& R = A[2];
    bool RV = R.Rows() >= R.Cols();
    Out = RV ? CellOf(Ctx, R, K, 0) : CellOf(Ctx, R, 0, K);
  } else {
    Out = Vertical ? CellOf(Ctx, S, K, S.Cols() - 1) : CellOf(Ctx, S, S.Rows() - 1, K);
  }
}

FN(Index) {
  double R = 0, C = 0;
  if (N > 1 && !A[1].IsMissing() && !ArgNumber(Ctx, A[1], R, Out)) return;
  if (N > 2 && !A[2].IsMissing() && !ArgNumber(Ctx, A[2], C, Out)) return;
  const TOperand& T = A[0];
  int32_t Ri = TruncToInt(R), Ci = TruncToInt(C);
  // A single row or column takes one index as its position.
  if (N == 2 && T.Rows() == 1) std::swap(Ri, Ci), Ri = Ri ? Ri : 0;
  if (Ri < 0 || Ci < 0 || Ri > T.Rows() || Ci > T.Cols())
    return void(Out = ErrOut(TCalcError::Ref));
  if (T.IsRef()) {
    TRef X = T.R;
    if (Ri) X.R1 = X.R2 = T.R.R1 + Ri - 1;
    if (Ci) X.C1 = X.C2 = T.R.C1 + Ci - 1;
    Out = TOperand::Ref(X);
    return;
  }
  if (!T.IsArray()) return void(Out = Ri <= 1 && Ci <= 1 ? T : ErrOut(TCalcError::Ref));
  if (!Ri || !Ci) {
    if (T.Rows() == 1 && Ci) return void(Out = TOperand::Value(T.A->At(0, Ci - 1)));
    if (T.Cols() == 1 && Ri) return void(Out = TOperand::Value(T.A->At(Ri - 1, 0)));
    if ((!Ri && !Ci) || (!Ri && T.Cols() == 1) || (!Ci && T.Rows() == 1)) return void(Out = T);
    auto Part = std::make_shared<TArray>();  // one whole row or column
    Part->Rows = Ri ? 1 : T.Rows();
    Part->Cols = Ci ? 1 : T.Cols();
    for (int32_t Y = 0; Y < Part->Rows; ++Y)
      for (int32_t X = 0; X < Part->Cols; ++X)
        Part->Cells.push_back(T.A->At(Ri ? Ri - 1 : Y, Ci ? Ci - 1 : X));
    return void(Out = TOperand::Arr(std::move(Part)));
  }
  Out = TOperand::Value(T.A->At(Ri - 1, Ci - 1));
}

template <bool IsRow>
FN(RowCol) {
  if (N == 0 || A[0].IsMissing())
    return void(Out = NumOut(IsRow ? Ctx.HostRow + 1 : Ctx.HostCol + 1));
  if (!A[0].IsRef()) return void(Out = ErrOut(TCalcError::Value));
  Out = NumOut(IsRow ? A[0].R.R1 + 1 : A[0].R.C1 + 1);
}
template FN(RowCol<true>);
template FN(RowCol<false>);

template <bool IsRows>
FN(RowsCols) {
  if (A[0].Kind == TOperand::kValue && A[0].V.IsError()) return void(Out = A[0]);
  Out = NumOut(IsRows ? A[0].Rows() : A[0].Cols());
}
template FN(RowsCols<true>);
template FN(RowsCols<false>);

FN(Offset) {
  if (!A[0].IsRef()) return void(Out = ErrOut(TCalcError::Value));
  double Dr, Dc, H = A[0].R.Rows(), W = A[0].R.Cols();
  if (!ArgNumber(Ctx, A[1], Dr, Out) || !ArgNumber(Ctx, A[2], Dc, Out)) return;
  if (N > 3 && !A[3].IsMissing() && !ArgNumber(Ctx, A[3], H, Out)) return;
  if (N > 4 && !A[4].IsMissing() && !ArgNumber(Ctx, A[4], W, Out)) return;
  // Offsets and sizes beyond any sheet give #REF! before they meet an integer.
  for (double V : {Dr, Dc, H, W})
    if (!(std::fabs(V) < 1e9)) return void(Out = ErrOut(TCalcError::Ref));
  int64_t R1 = A[0].R.R1 + int64_t(std::trunc(Dr)), C1 = A[0].R.C1 + int64_t(std::trunc(Dc));
  int64_t Hi = int64_t(std::trunc(H)), Wi = int64_t(std::trunc(W));
  if (Hi == 0 || Wi == 0) return void(Out = ErrOut(TCalcError::Ref));
  int64_t R2 = R1 + Hi - (Hi > 0 ? 1 : -1), C2 = C1 + Wi - (Wi > 0 ? 1 : -1);
  if (std::min(R1, R2) < 0 || std::min(C1, C2) < 0 || std::max(R1, R2) >= kMaxRows ||
      std::max(C1, C2) >= kMaxCols)
    return void(Out = ErrOut(TCalcError::Ref));
  Out = TOperand::Ref({A[0].R.Sheet, int32_t(std::min(R1, R2)), int32_t(std::min(C1, C2)),
                       int32_t(std::max(R1, R2)), int32_t(std::max(C1, C2))});
}

FN(Indirect) {
  std::string Text;
  bool A1 = true;
  if (!ArgText(Ctx, A[0], Text, Out)) return;
  if (N > 1 && !A[1].IsMissing() && !ArgBool(Ctx, A[1], A1, Out)) return;
  TRef R;
  if (!A1 || !ReferenceFromText(Text, Ctx, R)) return void(Out = ErrOut(TCalcError::Ref));
  Out = TOperand::Ref(R);
}

#undef FN
}  // namespace fn

}  // namespace kv::calc
