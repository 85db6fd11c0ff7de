// Running code: a stack machine over the reverse Polish code, with the
// operators and the helpers the functions share.
#include <cmath>

#include "base/Text.h"
#include "calc/CalcCode.h"

namespace kv::calc {

namespace {

template <class T>
T Get(std::string_view Code, size_t& P) {
  T V;
  std::memcpy(&V, Code.data() + P, sizeof(T));
  P += sizeof(T);
  return V;
}

constexpr int64_t kMaxArrayCells = int64_t(1) << 22;

const TCalcValue& NaValue() {
  static const TCalcValue V = TCalcValue::Err(TCalcError::NA);
  return V;
}

TCalcValue Checked(double V) {
  if (!std::isfinite(V)) return TCalcValue::Err(TCalcError::Num);
  return TCalcValue::Num(V == 0 ? 0 : V);
}

bool ApproxEqual(double A, double B) {
  double D = std::fabs(A - B);
  return D < std::max(std::fabs(A), std::fabs(B)) * (1.0 / 281474976710656.0);
}

TCalcValue Arith(uint8_t Op, const TCalcValue& A, const TCalcValue& B) {
  if (Op == opConcat) {
    std::string X, Y;
    TCalcError E = TCalcError::None;
    if (!CoerceToText(A, X, E) || !CoerceToText(B, Y, E)) return TCalcValue::Err(E);
    return TCalcValue::Str(X + Y);
  }
  if (Op >= opEq && Op <= opGe) {
    if (A.IsError()) return A;
    if (B.IsError()) return B;
    int C = CompareValues(A, B);
    bool R = Op == opEq   ? C == 0
             : Op == opNe ? C != 0
             : Op == opLt ? C < 0
             : Op == opLe ? C <= 0
             : Op == opGt ? C > 0
                          : C >= 0;
    return TCalcValue::Bool(R);
  }
  double X, Y;
  TCalcError E = TCalcError::None;
  if (!CoerceToNumber(A, X, E) || !CoerceToNumber(B, Y, E)) return TCalcValue::Err(E);
  switch (Op) {
    case opAdd:
      if ((X < 0) != (Y < 0) && ApproxEqual(X, -Y)) return TCalcValue::Num(0);
      return Checked(X + Y);
    case opSub:
      if ((X < 0) == (Y < 0) && ApproxEqual(X, Y)) return TCalcValue::Num(0);
      return Checked(X - Y);
    case opMul:
      return Checked(X * Y);
    case opDiv:
      if (Y == 0) return TCalcValue::Err(TCalcError::Div0);
      return Checked(X / Y);
    case opPow:
      if (X == 0 && Y == 0) return TCalcValue::Err(TCalcError::Num);
      if (X == 0 && Y < 0) return TCalcValue::Err(TCalcError::Div0);
      if (X < 0 && Y != std::floor(Y)) {
        // Odd roots of negative numbers: (-8)^(1/3) is -2.
        double Inv = 1 / Y;
        if (std::fabs(Inv - std::round(Inv)) < 1e-10 && std::fmod(std::round(Inv), 2) != 0)
          return Checked(-std::pow(-X, Y));
        return TCalcValue::Err(TCalcError::Num);
      }
      return Checked(std::pow(X, Y));
  }
  return TCalcValue::Err(TCalcError::Value);
}

TCalcValue Unary(uint8_t Op, const TCalcValue& A) {
  if (Op == opPlus) return A;
  double X;
  TCalcError E = TCalcError::None;
  if (!CoerceToNumber(A, X, E)) return TCalcValue::Err(E);
  return Checked(Op == opNeg ? -X : X / 100);
}

// An operand as the operator sees it: a range becomes its element in array
// mode, else the host's cell of it.
TOperand Elementwise(TEvalContext& Ctx, const TOperand& O, bool ArrayMode) {
  if (O.IsRef() && (O.R.Rows() > 1 || O.R.Cols() > 1) && ArrayMode) {
    // Cells past the used ones add nothing but memory: a whole column ends
    // where the sheet's cells do (the start stays, so ranges stay aligned).
    TRef R = O.R, Used = Ctx.Clamp(O.R);
    R.R2 = std::max(R.R1, std::min(R.R2, Used.R2));
    R.C2 = std::max(R.C1, std::min(R.C2, Used.C2));
    if (int64_t(R.Rows()) * R.Cols() > kMaxArrayCells) return ErrOut(TCalcError::Num);
    return TOperand::Ref(R);
  }
  if (O.IsArray()) return O;
  return TOperand::Value(ScalarOf(Ctx, O));
}

// A value, or a reference to one cell: what most operators meet.
bool IsSingle(const TOperand& O) {
  return O.Kind == TOperand::kValue || (O.IsRef() && O.R.Rows() == 1 && O.R.Cols() == 1);
}
const TCalcValue& SingleValue(TEvalContext& Ctx, const TOperand& O) {
  return O.IsRef() ? Ctx.Cell(O.R.Sheet, O.R.R1, O.R.C1) : O.V;
}

TOperand ApplyBinary(TEvalContext& Ctx, uint8_t Op, const TOperand& A0, const TOperand& B0,
                     bool ArrayMode) {
  if (IsSingle(A0) && IsSingle(B0)) {  // as below, without copying the operands
    const TCalcValue& X = SingleValue(Ctx, A0);
    return TOperand::Value(Arith(Op, X, SingleValue(Ctx, B0)));
  }
  TOperand A = Elementwise(Ctx, A0, ArrayMode), B = Elementwise(Ctx, B0, ArrayMode);
  if (A.Kind == TOperand::kValue && B.Kind == TOperand::kValue)
    return TOperand::Value(Arith(Op, A.V, B.V));
  if (A.Kind == TOperand::kValue && A.V.IsError() && !B.IsArray() && !B.IsRef()) return A;
  int32_t Rows = std::max(A.Rows(), B.Rows()), Cols = std::max(A.Cols(), B.Cols());
  if (int64_t(Rows) * Cols > kMaxArrayCells) return ErrOut(TCalcError::Num);
  auto R = std::make_shared<TArray>();
  R->Rows = Rows;
  R->Cols = Cols;
  R->Cells.reserve(size_t(Rows) * size_t(Cols));
  for (int32_t I = 0; I < Rows; ++I)
    for (int32_t J = 0; J < Cols; ++J)
      R->Cells.push_back(Arith(Op, ElementAt(Ctx, A, I, J), ElementAt(Ctx, B, I, J)));
  return TOperand::Arr(std::move(R));
}

TOperand ApplyUnary(TEvalContext& Ctx, uint8_t Op, const TOperand& A0, bool ArrayMode) {
  TOperand A = Elementwise(Ctx, A0, ArrayMode);
  if (A.Kind == TOperand::kValue) return TOperand::Value(Unary(Op, A.V));
  auto R = std::make_shared<TArray>();
  R->Rows = A.Rows();
  R->Cols = A.Cols();
  for (int32_t I = 0; I < R->Rows; ++I)
    for (int32_t J = 0; J < R->Cols; ++J) R->Cells.push_back(Unary(Op, ElementAt(Ctx, A, I, J)));
  return TOperand::Arr(std::move(R));
}

TOperand RangeOf(const TOperand& A, const TOperand& B) {
  if (!A.IsRef() || !B.IsRef() || A.R.Sheet != B.R.Sheet) return ErrOut(TCalcError::Value);
  TRef R{A.R.Sheet, std::min(A.R.R1, B.R.R1), std::min(A.R.C1, B.R.C1), std::max(A.R.R2, B.R.R2),
         std::max(A.R.C2, B.R.C2)};
  return TOperand::Ref(R);
}

TOperand Intersection(const TOperand& A, const TOperand& B) {
  if (!A.IsRef() || !B.IsRef()) return ErrOut(TCalcError::Value);
  TRef R{A.R.Sheet, std::max(A.R.R1, B.R.R1), std::max(A.R.C1, B.R.C1), std::min(A.R.R2, B.R.R2),
         std::min(A.R.C2, B.R.C2)};
  if (A.R.Sheet != B.R.Sheet || R.R1 > R.R2 || R.C1 > R.C2) return ErrOut(TCalcError::Null);
  return TOperand::Ref(R);
}

// The rectangle a reference's code names at the host cell; false when it
// lies off the sheet (#REF!).
bool DecodeRect(std::string_view Code, size_t& P, bool Area, const TEvalContext& Ctx, TRef& R) {
  uint16_t Sheet = Get<uint16_t>(Code, P);
  int32_t R1 = Get<int32_t>(Code, P);
  int32_t C1 = Get<int16_t>(Code, P);
  int32_t R2 = R1, C2 = C1;
  if (Area) {
    R2 = Get<int32_t>(Code, P);
    C2 = Get<int16_t>(Code, P);
  }
  uint8_t F = uint8_t(Code[P++]);
  if (!Area) F = uint8_t(F | ((F & kAbsRow1) ? kAbsRow2 : 0) | ((F & kAbsCol1) ? kAbsCol2 : 0));
  R.Sheet = Sheet == kSameSheet ? Ctx.HostSheet : Sheet;
  R.R1 = (F & kAbsRow1) ? R1 : Ctx.HostRow + R1;
  R.C1 = (F & kAbsCol1) ? C1 : Ctx.HostCol + C1;
  R.R2 = (F & kAbsRow2) ? R2 : Ctx.HostRow + R2;
  R.C2 = (F & kAbsCol2) ? C2 : Ctx.HostCol + C2;
  if (R.R1 > R.R2) std::swap(R.R1, R.R2);
  if (R.C1 > R.C2) std::swap(R.C1, R.C2);
  return !(R.R1 < 0 || R.C1 < 0 || R.R2 >= kMaxRows || R.C2 >= kMaxCols);
}

bool DecodeRef(std::string_view Code, size_t& P, bool Area, TEvalContext& Ctx, TOperand& Out) {
  TRef R;
  if (!DecodeRect(Code, P, Area, Ctx, R)) {
    Out = ErrOut(TCalcError::Ref);
    return true;
  }
  Out = TOperand::Ref(R);
  return true;
}

TCalcValue Constant(std::string_view Code, size_t& P) {
  uint8_t Op = uint8_t(Code[P++]);
  switch (Op) {
    case opNum:
      return TCalcValue::Num(Get<double>(Code, P));
    case opStr: {
      uint16_t L = Get<uint16_t>(Code, P);
      std::string T(Code.substr(P, L));
      P += L;
      return TCalcValue::Str(std::move(T));
    }
    case opBool:
      return TCalcValue::Bool(Code[P++] != 0);
    case opErr:
      return TCalcValue::Err(TCalcError(Code[P++]));
  }
  return TCalcValue::Err(TCalcError::Value);
}

// Steps over the constant at Code[P] without making its value.
void SkipConstant(std::string_view Code, size_t& P) {
  switch (uint8_t(Code[P++])) {
    case opNum:
      P += sizeof(double);
      break;
    case opStr: {
      const uint16_t Length = Get<uint16_t>(Code, P);
      P += Length;
      break;
    }
    case opBool:
    case opErr:
      ++P;
      break;
  }
}

}  // namespace

const TCalcValue& ElementAt(TEvalContext& Ctx, const TOperand& O, int32_t Row, int32_t Col) {
  switch (O.Kind) {
    case TOperand::kRef: {
      int32_t R = O.R.Rows() == 1 ? 0 : Row, C = O.R.Cols() == 1 ? 0 : Col;
      if (R >= O.R.Rows() || C >= O.R.Cols()) return NaValue();
      return Ctx.Cell(O.R.Sheet, O.R.R1 + R, O.R.C1 + C);
    }
    case TOperand::kArray: {
      int32_t R = O.A->Rows == 1 ? 0 : Row, C = O.A->Cols == 1 ? 0 : Col;
      if (R >= O.A->Rows || C >= O.A->Cols) return NaValue();
      return O.A->At(R, C);
    }
    default:
      return O.V;
  }
}

const TNumberFormat& TEvalContext::NumberFormat(std::string_view Code) {
  TFormatCache& C = Formats ? *Formats : FOwnFormats;
  if (!C.Format || Code != C.Code) {
    C.Format.emplace(Code);
    C.Code = Code;
  }
  return *C.Format;
}

TCalcValue ScalarOf(TEvalContext& Ctx, const TOperand& O) {
  switch (O.Kind) {
    case TOperand::kRef: {
      const TRef& R = O.R;
      if (R.Rows() == 1 && R.Cols() == 1) return Ctx.Cell(R.Sheet, R.R1, R.C1);
      if (R.Cols() == 1 && Ctx.HostRow >= R.R1 && Ctx.HostRow <= R.R2)
        return Ctx.Cell(R.Sheet, Ctx.HostRow, R.C1);
      if (R.Rows() == 1 && Ctx.HostCol >= R.C1 && Ctx.HostCol <= R.C2)
        return Ctx.Cell(R.Sheet, R.R1, Ctx.HostCol);
      return TCalcValue::Err(TCalcError::Value);
    }
    case TOperand::kArray:
      return O.A->Cells.empty() ? TCalcValue::Err(TCalcError::Value) : O.A->Cells[0];
    case TOperand::kMissing:
      return TCalcValue();
    default:
      return O.V;
  }
}

void ForEachValue(TEvalContext& Ctx, const TOperand& O,
                  const std::function<bool(const TCalcValue&)>& Fn) {
  if (O.IsRef()) {
    TRef R = Ctx.Clamp(O.R);
    for (int32_t Row = R.R1; Row <= R.R2; ++Row)
      for (int32_t Col = R.C1; Col <= R.C2; ++Col) {
        const TCalcValue& V = Ctx.Cell(R.Sheet, Row, Col);
        if (!V.IsEmpty() && !Fn(V)) return;
      }
  } else if (O.IsArray()) {
    for (const TCalcValue& V : O.A->Cells)
      if (!V.IsEmpty() && !Fn(V)) return;
  } else if (O.Kind == TOperand::kValue && !O.V.IsEmpty()) {
    Fn(O.V);
  }
}

TCalcValue EvaluateCode(std::string_view Code, TEvalContext& Ctx) {
  std::vector<TOperand> St;
  St.reserve(8);  // most formulas never need more: one allocation
  size_t P = 0;
  while (P < Code.size()) {
    uint8_t Byte = uint8_t(Code[P]);
    uint8_t Op = Byte & ~kArrayMode;
    bool ArrayMode = (Byte & kArrayMode) || Ctx.ArrayFormula;
    if (Op >= opNum && Op <= opErr) {
      St.push_back(TOperand::Value(Constant(Code, P)));
      continue;
    }
    ++P;
    switch (Op) {
      case opMissing: {
        TOperand M;
        M.Kind = TOperand::kMissing;
        St.push_back(M);
        break;
      }
      case opRef:
      case opArea:
        DecodeRef(Code, P, Op == opArea, Ctx, St.emplace_back());
        break;
      case opArray: {
        auto A = std::make_shared<TArray>();
        A->Rows = Get<uint16_t>(Code, P);
        A->Cols = Get<uint16_t>(Code, P);
        for (int32_t K = 0; K < A->Rows * A->Cols; ++K) A->Cells.push_back(Constant(Code, P));
        St.push_back(TOperand::Arr(std::move(A)));
        break;
      }
      case opNeg:
      case opPlus:
      case opPercent:
        St.back() = ApplyUnary(Ctx, Op, St.back(), ArrayMode);
        break;
      case opRange:
      case opIsect: {
        TOperand B = std::move(St.back());
        St.pop_back();
        St.back() = Op == opRange ? RangeOf(St.back(), B) : Intersection(St.back(), B);
        break;
      }
      case opFunc: {
        uint16_t Id = Get<uint16_t>(Code, P);
        int Argc = uint8_t(Code[P++]);
        TOperand Out;
        TOperand* Args = St.data() + (St.size() - size_t(Argc));
        if (Id == kUnknownFunction)
          Out = ErrOut(TCalcError::Name);
        else
          FunctionById(Id).Fn(Ctx, Args, Argc, Out);
        St.resize(St.size() - size_t(Argc));
        St.push_back(std::move(Out));
        break;
      }
      default:
        if (Op >= opAdd && Op <= opGe) {
          TOperand B = std::move(St.back());
          St.pop_back();
          St.back() = ApplyBinary(Ctx, Op, St.back(), B, ArrayMode);
        } else {
          return TCalcValue::Err(TCalcError::Value);
        }
    }
  }
  if (St.size() != 1) return TCalcValue::Err(TCalcError::Value);
  TCalcValue V = ScalarOf(Ctx, St.back());
  if (V.IsEmpty()) return TCalcValue::Num(0);
  return V;
}

void CodeReferences(std::string_view Code, int Sheet, int32_t Row, int32_t Col,
                    std::vector<TRef>& Out) {
  struct TPos : TEvalContext {
    const TCalcValue& Cell(int, int32_t, int32_t) override { return NaValue(); }
    TRef Clamp(const TRef& R) override { return R; }
    int FindSheet(std::string_view) override { return -1; }
    bool Date1904() override { return false; }
  } Pos;
  Pos.HostSheet = Sheet;
  Pos.HostRow = Row;
  Pos.HostCol = Col;
  size_t P = 0;
  while (P < Code.size()) {
    uint8_t Op = uint8_t(Code[P]) & ~kArrayMode;
    if (Op >= opNum && Op <= opErr) {
      SkipConstant(Code, P);
      continue;
    }
    ++P;
    if (Op == opRef || Op == opArea) {
      TRef R;
      if (DecodeRect(Code, P, Op == opArea, Pos, R)) Out.push_back(R);
    } else if (Op == opArray) {
      int32_t N = Get<uint16_t>(Code, P);
      N *= Get<uint16_t>(Code, P);
      for (int32_t K = 0; K < N; ++K) SkipConstant(Code, P);
    } else if (Op == opFunc) {
      P += 3;
    }
  }
}

bool ReferenceFromText(std::string_view Text, TEvalContext& Ctx, TRef& Out) {
  struct TSheets : TNameResolver {
    TEvalContext* C;
    int FindSheet(std::string_view Name) override { return C->FindSheet(Name); }
    bool DefinedName(std::string_view, std::string&) override { return false; }
  } Names;
  Names.C = &Ctx;
  TParsed P = ParseFormula(Text, Ctx.HostRow, Ctx.HostCol, Names);
  if (!P.Ok || P.Code.empty()) return false;
  uint8_t Op = uint8_t(P.Code[0]);
  size_t Size = Op == opRef ? 10 : Op == opArea ? 16 : 0;
  if (!Size || P.Code.size() != Size) return false;
  size_t At = 1;
  TOperand O;
  DecodeRef(P.Code, At, Op == opArea, Ctx, O);
  if (!O.IsRef()) return false;
  Out = O.R;
  return true;
}

namespace {

// An argument as one type: false, with the coercion's error in Out, when it is not one.
template <typename T>
bool ArgAs(bool (*Coerce)(const TCalcValue&, T&, TCalcError&), TEvalContext& Ctx, const TOperand& A,
           T& V, TOperand& Out) {
  TCalcError E = TCalcError::None;
  if (Coerce(ScalarOf(Ctx, A), V, E)) return true;
  Out = ErrOut(E);
  return false;
}

}  // namespace

bool ArgNumber(TEvalContext& Ctx, const TOperand& A, double& V, TOperand& Out) {
  return ArgAs(CoerceToNumber, Ctx, A, V, Out);
}
bool ArgText(TEvalContext& Ctx, const TOperand& A, std::string& V, TOperand& Out) {
  return ArgAs(CoerceToText, Ctx, A, V, Out);
}
bool ArgBool(TEvalContext& Ctx, const TOperand& A, bool& V, TOperand& Out) {
  return ArgAs(CoerceToBool, Ctx, A, V, Out);
}

}  // namespace kv::calc
