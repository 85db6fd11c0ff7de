// Text functions. Positions and lengths count UTF-16 code units, as a
// Windows program counts characters.
#include <cmath>

#include "base/Text.h"
#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"
#include "numfmt/NumberFormat.h"

namespace kv::calc {

namespace fn {

namespace {

constexpr size_t kMaxText = 32767;

TOperand Str(std::string S) {
  // A text has no more UTF-16 units than bytes.
  if (S.size() > kMaxText && Utf16Length(S) > kMaxText) return ErrOut(TCalcError::Value);
  return TOperand::Value(TCalcValue::Str(std::move(S)));
}

bool OptNumber(TEvalContext& Ctx, TOperand* A, int N, int I, double Default, double& V,
               TOperand& Out) {
  V = Default;
  if (I < N && !A[I].IsMissing()) return ArgNumber(Ctx, A[I], V, Out);
  return true;
}

// Every value of the arguments as text, ranges cell by cell.
bool EachText(TEvalContext& Ctx, TOperand* A, int N, bool Ranges,
              const std::function<void(const std::string&, bool Empty)>& Fn, TOperand& Out) {
  for (int I = 0; I < N; ++I) {
    if ((A[I].IsRef() || A[I].IsArray()) && Ranges) {
      int32_t Rows = A[I].Rows(), Cols = A[I].Cols();
      if (A[I].IsRef()) {
        TRef U = Ctx.Clamp(A[I].R);
        Rows = std::max(0, std::min(Rows, U.R2 - A[I].R.R1 + 1));
        Cols = std::max(0, std::min(Cols, U.C2 - A[I].R.C1 + 1));
      }
      for (int32_t R = 0; R < Rows; ++R)
        for (int32_t C = 0; C < Cols; ++C) {
          const TCalcValue& V = ElementAt(Ctx, A[I], R, C);
          std::string T;
          TCalcError E = TCalcError::None;
          if (!CoerceToText(V, T, E)) return Out = ErrOut(E), false;
          Fn(T, V.IsEmpty() || T.empty());
        }
    } else {
      std::string T;
      if (!A[I].IsMissing() && !ArgText(Ctx, A[I], T, Out)) return false;
      Fn(T, T.empty());
    }
  }
  return true;
}

}  // namespace

FN(Concatenate) {
  std::string R;
  if (EachText(
          Ctx, A, N, false, [&](const std::string& T, bool) { R += T; }, Out))
    Out = Str(R);
}

FN(Concat) {
  std::string R;
  if (EachText(
          Ctx, A, N, true, [&](const std::string& T, bool) { R += T; }, Out))
    Out = Str(R);
}

FN(TextJoin) {
  std::string Delim, R;
  bool Skip;
  if (!ArgText(Ctx, A[0], Delim, Out) || !ArgBool(Ctx, A[1], Skip, Out)) return;
  bool First = true;
  if (!EachText(
          Ctx, A + 2, N - 2, true,
          [&](const std::string& T, bool Empty) {
            if (Skip && Empty) return;
            if (!First) R += Delim;
            R += T;
            First = false;
          },
          Out))
    return;
  Out = Str(R);
}

template <int Kind>  // 0 LEFT, 1 RIGHT
FN(LeftRight) {
  std::string T;
  double Count;
  if (!ArgText(Ctx, A[0], T, Out) || !OptNumber(Ctx, A, N, 1, 1, Count, Out)) return;
  if (Count < 0) return void(Out = ErrOut(TCalcError::Value));
  std::u16string U = Utf8ToUtf16(T);
  size_t K = std::min(U.size(), size_t(std::min(Count, 1e9)));
  Out = Str(Utf16ToUtf8(Kind == 0 ? U.substr(0, K) : U.substr(U.size() - K)));
}
template FN(LeftRight<0>);
template FN(LeftRight<1>);

FN(Mid) {
  std::string T;
  double Start, Count;
  if (!ArgText(Ctx, A[0], T, Out) || !ArgNumber(Ctx, A[1], Start, Out) ||
      !ArgNumber(Ctx, A[2], Count, Out))
    return;
  if (Start < 1 || Count < 0) return void(Out = ErrOut(TCalcError::Value));
  std::u16string U = Utf8ToUtf16(T);
  size_t S = size_t(std::min(Start, 1e9)) - 1;
  if (S >= U.size()) return void(Out = Str(""));
  Out = Str(Utf16ToUtf8(U.substr(S, size_t(std::min(Count, 1e9)))));
}

FN(Len) {
  std::string T;
  if (ArgText(Ctx, A[0], T, Out)) Out = NumOut(double(Utf16Length(T)));
}

template <bool Search>
FN(Find) {
  std::string What, Within;
  double Start;
  if (!ArgText(Ctx, A[0], What, Out) || !ArgText(Ctx, A[1], Within, Out) ||
      !OptNumber(Ctx, A, N, 2, 1, Start, Out))
    return;
  std::u16string W = Utf8ToUtf16(What), T = Utf8ToUtf16(Within);
  if (Start < 1 || Start > double(T.size()) + 1) return void(Out = ErrOut(TCalcError::Value));
  size_t From = size_t(Start) - 1;
  if (!Search) {
    size_t P = T.find(W, From);
    return void(Out =
                    P == std::u16string::npos ? ErrOut(TCalcError::Value) : NumOut(double(P + 1)));
  }
  // SEARCH: ASCII case ignored, wildcards; the match may end anywhere.
  // Once the part before the first "*" matches, the rest either matches from
  // there or from no later start either: one full match per search.
  std::string Pattern = What + "*";
  size_t Star = What.find('*');
  std::string Head = (Star == std::string::npos ? What : What.substr(0, Star)) + "*";
  size_t Unit = 0;
  for (size_t P = 0; P <= Within.size();) {
    std::string_view Rest = std::string_view(Within).substr(P);
    if (Unit >= From && WildcardMatch(Head, Rest)) {
      if (WildcardMatch(Pattern, Rest)) return void(Out = NumOut(double(Unit + 1)));
      if (Star != std::string::npos) break;
    }
    if (P == Within.size()) break;
    size_t L = 1;
    while (P + L < Within.size() && (uint8_t(Within[P + L]) & 0xC0) == 0x80) ++L;
    Unit += L == 4 ? 2 : 1;
    P += L;
  }
  Out = ErrOut(TCalcError::Value);
}
template FN(Find<false>);
template FN(Find<true>);

FN(Substitute) {
  std::string T, Old, New;
  double Which = 0;
  if (!ArgText(Ctx, A[0], T, Out) || !ArgText(Ctx, A[1], Old, Out) ||
      !ArgText(Ctx, A[2], New, Out) || !OptNumber(Ctx, A, N, 3, 0, Which, Out))
    return;
  if (N > 3 && Which < 1) return void(Out = ErrOut(TCalcError::Value));
  if (Old.empty()) return void(Out = Str(T));
  std::string R;
  size_t P = 0, K = 0;
  for (;;) {
    size_t Q = T.find(Old, P);
    if (Q == std::string::npos) break;
    ++K;
    R.append(T, P, Q - P);
    R += (N <= 3 || double(K) == std::trunc(Which)) ? New : Old;
    P = Q + Old.size();
    if (R.size() > kMaxText * 4) return void(Out = ErrOut(TCalcError::Value));
  }
  R.append(T, P);
  Out = Str(R);
}

FN(Replace) {
  std::string T, New;
  double Start, Count;
  if (!ArgText(Ctx, A[0], T, Out) || !ArgNumber(Ctx, A[1], Start, Out) ||
      !ArgNumber(Ctx, A[2], Count, Out) || !ArgText(Ctx, A[3], New, Out))
    return;
  if (Start < 1 || Count < 0) return void(Out = ErrOut(TCalcError::Value));
  std::u16string U = Utf8ToUtf16(T);
  size_t S = std::min(U.size(), size_t(std::min(Start, 1e9)) - 1);
  size_t C = std::min(U.size() - S, size_t(std::min(Count, 1e9)));
  U.replace(S, C, Utf8ToUtf16(New));
  Out = Str(Utf16ToUtf8(U));
}

template <int Kind>  // 0 UPPER, 1 LOWER, 2 PROPER, 3 TRIM
FN(Case) {
  std::string T;
  if (!ArgText(Ctx, A[0], T, Out)) return;
  std::string R;
  if (Kind == 0)
    R = AsciiUpper(T);
  else if (Kind == 1)
    R = AsciiLower(T);
  else if (Kind == 2) {
    bool Prev = false;
    for (char C : T) {
      bool Letter = std::isalpha((unsigned char)C) || (unsigned char)C >= 0x80;
      R += Letter ? (Prev ? AsciiLowerChar(C) : AsciiUpperChar(C)) : C;
      Prev = Letter;
    }
  } else {
    for (char C : T)
      if (C != ' ' || (!R.empty() && R.back() != ' ')) R += C;
    if (!R.empty() && R.back() == ' ') R.pop_back();
  }
  Out = Str(R);
}
template FN(Case<0>);
template FN(Case<1>);
template FN(Case<2>);
template FN(Case<3>);

FN(Value) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  if (V.IsError()) return void(Out = TOperand::Value(V));
  if (V.IsNumber()) return void(Out = NumOut(V.Number));
  if (V.IsBool()) return void(Out = ErrOut(TCalcError::Value));
  double X;
  if (V.IsEmpty()) return void(Out = NumOut(0));
  Out = ParseNumberLike(V.Text, X) ? NumOut(X) : ErrOut(TCalcError::Value);
}

FN(Char) {
  double X;
  if (!ArgNumber(Ctx, A[0], X, Out)) return;
  int C = TruncToInt(X);
  if (C < 1 || C > 255) return void(Out = ErrOut(TCalcError::Value));
  Out = Str(Windows1252ToUtf8(std::string(1, char(C))));
}

FN(Code) {
  std::string T;
  if (!ArgText(Ctx, A[0], T, Out)) return;
  if (T.empty()) return void(Out = ErrOut(TCalcError::Value));
  std::u16string U = Utf8ToUtf16(T);
  int B = Windows1252ByteOf(U[0]);
  Out = NumOut(B < 0 ? 63 : B);
}

FN(Rept) {
  std::string T;
  double K;
  if (!ArgText(Ctx, A[0], T, Out) || !ArgNumber(Ctx, A[1], K, Out)) return;
  if (K < 0 || double(Utf16Length(T)) * std::trunc(K) > double(kMaxText))
    return void(Out = ErrOut(TCalcError::Value));
  std::string R;
  for (int I = 0; I < int(K); ++I) R += T;
  Out = Str(R);
}

FN(Exact) {
  std::string X, Y;
  if (ArgText(Ctx, A[0], X, Out) && ArgText(Ctx, A[1], Y, Out))
    Out = TOperand::Value(TCalcValue::Bool(X == Y));
}

FN(T) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  if (V.IsError()) return void(Out = TOperand::Value(V));
  Out = Str(V.IsText() ? V.Text : "");
}

FN(NFn) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  if (V.IsError()) return void(Out = TOperand::Value(V));
  Out = NumOut(V.IsNumber() || V.IsBool() ? V.Number : 0);
}

namespace {

std::string Render(TEvalContext& Ctx, double V, const std::string& Code) {
  TShownText S;
  Ctx.NumberFormat(Code).RenderNumber(V, Ctx.Date1904(), S);
  return std::move(S.Text);
}

}  // namespace

FN(Text) {
  TCalcValue V = ScalarOf(Ctx, A[0]);
  std::string Code;
  if (V.IsError()) return void(Out = TOperand::Value(V));
  if (!ArgText(Ctx, A[1], Code, Out)) return;
  double X;
  TCalcError E;
  if (V.IsText() && !CoerceToNumber(V, X, E)) {
    TShownText S;
    Ctx.NumberFormat(Code).RenderText(V.Text, S);
    return void(Out = Str(S.Text));
  }
  if (V.IsBool()) return void(Out = Str(V.Number ? "TRUE" : "FALSE"));
  CoerceToNumber(V, X, E);
  Out = Str(Render(Ctx, X, Code));
}

namespace {

std::string Decimals(double D) {
  return D > 0 ? "." + std::string(size_t(std::min(D, 127.0)), '0') : "";
}

}  // namespace

FN(Fixed) {
  double X, D;
  bool NoCommas = false;
  if (!ArgNumber(Ctx, A[0], X, Out) || !OptNumber(Ctx, A, N, 1, 2, D, Out)) return;
  if (N > 2 && !A[2].IsMissing() && !ArgBool(Ctx, A[2], NoCommas, Out)) return;
  D = std::trunc(D);
  X = RoundHalfAway(X, int(std::max(-308.0, std::min(D, 127.0))));
  Out = Str(Render(Ctx, X, (NoCommas ? "0" : "#,##0") + Decimals(D)));
}

FN(Dollar) {
  double X, D;
  if (!ArgNumber(Ctx, A[0], X, Out) || !OptNumber(Ctx, A, N, 1, 2, D, Out)) return;
  D = std::trunc(D);
  X = RoundHalfAway(X, int(std::max(-308.0, std::min(D, 127.0))));
  std::string Body = "$#,##0" + Decimals(D);
  Out = Str(Render(Ctx, X, Body + ";(" + Body + ")"));
}

#undef FN
}  // namespace fn

}  // namespace kv::calc
