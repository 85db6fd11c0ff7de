// Formula text to code: one pass over the text with an explicit operator
// stack (shunting-yard), so nesting depth costs heap, never stack.
#include <cmath>
#include <cstdlib>

#include "base/Text.h"
#include "calc/CalcCode.h"

namespace kv::calc {

namespace {

constexpr size_t kMaxFormulaLength = 32768;
constexpr int kMaxNameDepth = 8;

template <class T>
void Put(std::string& Code, T V) {
  char B[sizeof(T)];
  std::memcpy(B, &V, sizeof(T));
  Code.append(B, sizeof(T));
}

// A column part "$AB" at S[I]: index, absolute flag, end position.
bool ScanColumn(std::string_view S, size_t& I, int32_t& Col, bool& Abs) {
  size_t J = I;
  Abs = J < S.size() && S[J] == '$';
  if (Abs) ++J;
  size_t Start = J;
  int32_t V = 0;
  while (J < S.size() && IsLetter(S[J]) && J - Start < 4) {
    V = V * 26 + (AsciiUpperChar(S[J]) - 'A' + 1);
    ++J;
  }
  if (J == Start || J - Start > 3 || V > kMaxCols) return false;
  Col = V - 1;
  I = J;
  return true;
}
bool ScanRow(std::string_view S, size_t& I, int32_t& Row, bool& Abs) {
  size_t J = I;
  Abs = J < S.size() && S[J] == '$';
  if (Abs) ++J;
  size_t Start = J;
  int64_t V = 0;
  while (J < S.size() && IsDigit(S[J]) && J - Start < 8) V = V * 10 + (S[J++] - '0');
  if (J == Start || V < 1 || V > kMaxRows) return false;
  Row = int32_t(V - 1);
  I = J;
  return true;
}
// Nothing that would make the scanned part a longer name follows.
bool RefEnds(std::string_view S, size_t I) {
  return I >= S.size() || !(IsIdentChar(S[I]) || S[I] == '(' || S[I] == '$' || S[I] == '!');
}

struct TRefParts {
  int32_t R1 = 0, C1 = 0, R2 = 0, C2 = 0;
  uint8_t Flags = 0;
  bool Area = false;
};

// A cell, cell:cell, col:col or row:row reference at S[I].
bool ScanReference(std::string_view S, size_t& I, TRefParts& P) {
  size_t J = I;
  bool A1, A2;
  int32_t C, R;
  if (ScanColumn(S, J, C, A1)) {
    size_t K = J;
    if (ScanRow(S, K, R, A2)) {
      P = {R,    C, R, C, uint8_t((A2 ? kAbsRow1 | kAbsRow2 : 0) | (A1 ? kAbsCol1 | kAbsCol2 : 0)),
           false};
      size_t M = K;
      if (M < S.size() && S[M] == ':') {
        ++M;
        bool B1, B2;
        int32_t C2, R2;
        if (ScanColumn(S, M, C2, B1) && ScanRow(S, M, R2, B2) && RefEnds(S, M)) {
          P.R2 = R2;
          P.C2 = C2;
          P.Flags = uint8_t((A2 ? kAbsRow1 : 0) | (A1 ? kAbsCol1 : 0) | (B2 ? kAbsRow2 : 0) |
                            (B1 ? kAbsCol2 : 0));
          P.Area = true;
          I = M;
          return true;
        }
      }
      if (!RefEnds(S, K)) return false;
      I = K;
      return true;
    }
    // col:col
    if (J < S.size() && S[J] == ':') {
      size_t M = J + 1;
      int32_t C2;
      bool B1;
      if (ScanColumn(S, M, C2, B1) && RefEnds(S, M)) {
        P = {0,
             C,
             kMaxRows - 1,
             C2,
             uint8_t(kAbsRow1 | kAbsRow2 | (A1 ? kAbsCol1 : 0) | (B1 ? kAbsCol2 : 0)),
             true};
        I = M;
        return true;
      }
    }
    return false;
  }
  J = I;
  if (ScanRow(S, J, R, A1) && J < S.size() && S[J] == ':') {
    size_t M = J + 1;
    int32_t R2;
    if (ScanRow(S, M, R2, A2) && RefEnds(S, M)) {
      P = {R,
           0,
           R2,
           kMaxCols - 1,
           uint8_t(kAbsCol1 | kAbsCol2 | (A1 ? kAbsRow1 : 0) | (A2 ? kAbsRow2 : 0)),
           true};
      I = M;
      return true;
    }
  }
  return false;
}

enum TStackKind : uint8_t { skOp, skParen, skFunc };
struct TStackItem {
  TStackKind Kind;
  uint8_t Op = 0;
  int Prec = 0;
  int Func = 0;
  int Argc = 0;
  bool Empty = true;  // no argument seen yet (for F())
};

int Precedence(uint8_t Op) {
  switch (Op) {
    case opEq:
    case opNe:
    case opLt:
    case opLe:
    case opGt:
    case opGe:
      return 1;
    case opConcat:
      return 2;
    case opAdd:
    case opSub:
      return 3;
    case opMul:
    case opDiv:
      return 4;
    case opPow:
      return 5;
    case opNeg:
    case opPlus:
      return 7;
    case opRange:
      return 9;
    default:
      return 0;
  }
}

std::string ArgumentCountText(const TFunctionDef& D) {
  const auto Count = [](int N) {
    return std::to_string(N) + (N == 1 ? " argument" : " arguments");
  };
  if (D.MaxArgs == 255) return "at least " + Count(D.MinArgs);
  if (D.MinArgs == D.MaxArgs) return Count(D.MinArgs);
  return std::to_string(D.MinArgs) + " to " + Count(D.MaxArgs);
}

class TParser {
 public:
  TParser(std::string_view Text, int32_t Row, int32_t Col, TNameResolver& Names, int Depth)
      : S(Text), FRow(Row), FCol(Col), FNames(Names), FDepth(Depth) {}

  TParsed Run() {
    TParsed P;
    if (S.size() > kMaxFormulaLength) {
      P.Reason = "the formula is longer than " + std::to_string(kMaxFormulaLength) + " characters";
      return P;
    }
    if (!Parse()) {
      Fault(P);
      return P;
    }
    P.Code = std::move(FCode);
    P.Ok = true;
    P.Unsupported = FUnsupported;
    P.Volatile = FVolatile;
    P.Dynamic = FDynamic;
    return P;
  }

 private:
  std::string_view S;
  size_t I = 0;
  int32_t FRow, FCol;
  TNameResolver& FNames;
  int FDepth;
  std::string FCode;
  std::vector<TStackItem> FStack;
  long FDepthCount = 0;  // operands the code leaves
  bool FExpect = true;   // an operand comes next
  bool FUnsupported = false, FVolatile = false, FDynamic = false;
  int FArrayArgs = 0;   // open calls of functions that take arrays
  size_t FAt = 0;       // where the token being read starts
  std::string FReason;  // why reading stopped, when known better than "unexpected"

  // Where and why the text could not be read.
  void Fault(TParsed& P) const {
    bool Open = false;
    for (const TStackItem& T : FStack) Open |= T.Kind != skOp;
    if (!FReason.empty()) {
      P.ErrorAt = FAt;
      P.Reason = FReason;
    } else if (I >= S.size() || FAt >= S.size()) {
      P.ErrorAt = S.size();
      P.Reason = Open ? "a \"(\" is not closed" : "the formula ends too soon";
    } else {
      P.ErrorAt = FAt;
      size_t End = FAt;
      NextCodePoint(S, End);
      P.Reason = "\"" + std::string(S.substr(FAt, End - FAt)) + "\" is not expected here";
    }
  }

  static bool StartsOperand(char C) {
    return (IsIdentChar(C) && C != '.' && C != '?') || C == '$' || C == '\'' || C == '(';
  }
  void SkipBlanks() {
    while (I < S.size() && (S[I] == ' ' || S[I] == '\n' || S[I] == '\r' || S[I] == '\t')) ++I;
  }
  bool Emit(uint8_t OpByte) {
    FCode += char(OpByte);
    uint8_t Op = OpByte & ~kArrayMode;
    if (Op >= opAdd && Op <= opGe) --FDepthCount;
    if (Op == opRange || Op == opUnion || Op == opIsect) --FDepthCount;
    return FDepthCount >= 1;
  }
  void PushOperand() {
    ++FDepthCount;
    FExpect = false;
  }
  bool PopOp() {
    TStackItem T = FStack.back();
    FStack.pop_back();
    return Emit(uint8_t(T.Op | (FArrayArgs ? kArrayMode : 0)));
  }

  bool Parse() {
    for (;;) {
      size_t Before = I;
      SkipBlanks();
      if (I >= S.size()) break;
      if (!FExpect && I > Before && StartsOperand(S[I])) {
        // A blank between two references: their intersection.
        while (!FStack.empty() && FStack.back().Kind == skOp && FStack.back().Prec >= 8)
          if (!PopOp()) return false;
        FStack.push_back({skOp, opIsect, 8});
        FExpect = true;
        continue;
      }
      FAt = I;
      if (FExpect ? !Operand() : !Operator()) return false;
    }
    FAt = S.size();
    if (FExpect) return false;
    while (!FStack.empty()) {
      if (FStack.back().Kind != skOp) return false;
      if (!PopOp()) return false;
    }
    return FDepthCount == 1;
  }

  bool Operand() {
    char C = S[I];
    if (C == '(') {
      ++I;
      FStack.push_back({skParen});
      return true;
    }
    if (C == '-' || C == '+') {
      ++I;
      FStack.push_back({skOp, uint8_t(C == '-' ? opNeg : opPlus), 7});
      return true;
    }
    if (C == '@') {  // implicit intersection marker: what a single cell does anyway
      ++I;
      return true;
    }
    if (C == ')' && !FStack.empty() && FStack.back().Kind == skFunc && FStack.back().Empty) {
      FExpect = false;
      return Operator();
    }
    if ((C == ',' || C == ')') && !FStack.empty() && FStack.back().Kind == skFunc) {
      FCode += char(opMissing);
      PushOperand();
      return true;
    }
    if (C == '"') return StringLiteral();
    if (C == '#') return ErrorLiteral();
    if (C == '{') return ArrayLiteral();
    if (IsDigit(C) || C == '.') {
      TRefParts P;
      size_t J = I;
      if (ScanReference(S, J, P)) {
        I = J;
        return EmitRef(kSameSheet, P);
      }
      return NumberLiteral();
    }
    if (C == '\'' || C == '$' || IsIdentChar(C)) return Word();
    return false;
  }

  bool NumberLiteral() {
    size_t J = I;
    while (J < S.size() && (IsDigit(S[J]) || S[J] == '.')) ++J;
    if (J < S.size() && (S[J] == 'e' || S[J] == 'E')) {
      size_t K = J + 1;
      if (K < S.size() && (S[K] == '+' || S[K] == '-')) ++K;
      if (K < S.size() && IsDigit(S[K])) {
        J = K;
        while (J < S.size() && IsDigit(S[J])) ++J;
      }
    }
    std::string T(S.substr(I, J - I));
    char* End = nullptr;
    double V = std::strtod(T.c_str(), &End);
    if (!End || *End || T == ".") return false;
    I = J;
    FCode += char(opNum);
    Put(FCode, V);
    PushOperand();
    return true;
  }

  // The text that the quote at S[At] opens (the quote doubled inside stands
  // for itself), with At moved past the closing quote; false when no quote
  // closes it. Texts in double quotes, sheet names in single quotes.
  bool ReadQuoted(size_t& At, std::string& Out) const {
    const char Quote = S[At++];
    for (;;) {
      if (At >= S.size()) return false;
      if (S[At] == Quote) {
        if (At + 1 < S.size() && S[At + 1] == Quote) {
          Out += Quote;
          At += 2;
          continue;
        }
        ++At;
        return true;
      }
      Out += S[At++];
    }
  }
  void PutString(const std::string& T) {
    FCode += char(opStr);
    Put(FCode, uint16_t(T.size()));
    FCode += T;
  }
  bool StringLiteral() {
    std::string T;
    if (!ReadQuoted(I, T) || T.size() > 32767) return false;
    PutString(T);
    PushOperand();
    return true;
  }
  bool ReadError(TCalcError& E) {
    static const char* Codes[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                  "#NAME?", "#NUM!",   "#N/A"};
    for (int K = 0; K < 7; ++K) {
      std::string_view T = Codes[K];
      if (S.size() - I >= T.size() && SameTextAscii(S.substr(I, T.size()), T)) {
        I += T.size();
        E = TCalcError(K + 1);
        return true;
      }
    }
    return false;
  }
  bool ErrorLiteral() {
    TCalcError E;
    if (!ReadError(E)) return false;
    FCode += char(opErr);
    FCode += char(E);
    PushOperand();
    return true;
  }
  bool ArrayConstant() {
    SkipBlanks();
    if (I >= S.size()) return false;
    char C = S[I];
    if (C == '"') {
      std::string T;
      if (!ReadQuoted(I, T) || T.size() > 32767) return false;
      PutString(T);
      return true;
    }
    if (C == '#') {
      TCalcError E;
      if (!ReadError(E)) return false;
      FCode += char(opErr);
      FCode += char(E);
      return true;
    }
    bool Neg = false;
    if (C == '-' || C == '+') {
      Neg = C == '-';
      ++I;
    }
    if (I < S.size() && (IsDigit(S[I]) || S[I] == '.')) {
      size_t Before = FCode.size();
      long D = FDepthCount;
      if (!NumberLiteral()) return false;
      FDepthCount = D;
      if (Neg) {
        double V;
        std::memcpy(&V, FCode.data() + Before + 1, sizeof V);
        V = -V;
        std::memcpy(FCode.data() + Before + 1, &V, sizeof V);
      }
      return true;
    }
    for (const char* W : {"TRUE", "FALSE"}) {
      size_t L = std::strlen(W);
      if (S.size() - I >= L && SameTextAscii(S.substr(I, L), W)) {
        I += L;
        FCode += char(opBool);
        FCode += char(W[0] == 'T');
        return true;
      }
    }
    return false;
  }
  bool ArrayLiteral() {
    ++I;
    FCode += char(opArray);
    size_t At = FCode.size();
    Put(FCode, uint16_t(0));
    Put(FCode, uint16_t(0));
    int Rows = 1, Cols = 0, ColsThisRow = 0;
    for (;;) {
      if (!ArrayConstant()) return false;
      ++ColsThisRow;
      SkipBlanks();
      if (I >= S.size()) return false;
      char C = S[I++];
      if (C == ',') continue;
      if (C == ';' || C == '}') {
        if (Cols && ColsThisRow != Cols) return false;
        Cols = ColsThisRow;
        ColsThisRow = 0;
        if (C == '}') break;
        ++Rows;
        continue;
      }
      return false;
    }
    if (Rows > 65535 || Cols > 65535) return false;
    uint16_t R = uint16_t(Rows), Cc = uint16_t(Cols);
    std::memcpy(FCode.data() + At, &R, 2);
    std::memcpy(FCode.data() + At + 2, &Cc, 2);
    PushOperand();
    return true;
  }

  bool EmitRef(uint16_t Sheet, const TRefParts& P) {
    auto Row = [&](int32_t R, bool Abs) { return Abs ? R : R - FRow; };
    auto Col = [&](int32_t C, bool Abs) { return int16_t(Abs ? C : C - FCol); };
    if (!P.Area) {
      FCode += char(opRef);
      Put(FCode, Sheet);
      Put(FCode, Row(P.R1, P.Flags & kAbsRow1));
      Put(FCode, Col(P.C1, P.Flags & kAbsCol1));
      FCode += char(P.Flags);
    } else {
      FCode += char(opArea);
      Put(FCode, Sheet);
      Put(FCode, Row(P.R1, P.Flags & kAbsRow1));
      Put(FCode, Col(P.C1, P.Flags & kAbsCol1));
      Put(FCode, Row(P.R2, P.Flags & kAbsRow2));
      Put(FCode, Col(P.C2, P.Flags & kAbsCol2));
      FCode += char(P.Flags);
    }
    PushOperand();
    return true;
  }
  bool EmitRefError() {
    FCode += char(opErr);
    FCode += char(TCalcError::Ref);
    PushOperand();
    return true;
  }

  // A sheet name ending in "!" at I; false when there is none (I unchanged).
  bool SheetPrefix(std::string& Name, bool& Found) {
    Found = false;
    size_t J = I;
    if (S[J] == '\'') {
      if (!ReadQuoted(J, Name) || J >= S.size() || S[J] != '!') return false;
    } else {
      while (J < S.size() && IsIdentChar(S[J])) Name += S[J++];
      if (J < S.size() && S[J] == ':' && !Name.empty()) {
        // Sheet1:Sheet3!A1, a reference through several sheets: not read.
        size_t K = J + 1;
        while (K < S.size() && IsIdentChar(S[K])) ++K;
        if (K < S.size() && S[K] == '!') return false;
      }
      if (J >= S.size() || S[J] != '!' || Name.empty()) {
        Name.clear();
        return true;
      }
    }
    I = J + 1;
    Found = true;
    return true;
  }

  bool Word() {
    std::string Sheet;
    bool HasSheet;
    if (!SheetPrefix(Sheet, HasSheet)) return false;
    if (HasSheet) {
      if (Sheet.find(':') != std::string::npos || Sheet.find('[') != std::string::npos)
        return false;  // 3-D and external references
      int Index = FNames.FindSheet(Sheet);
      TRefParts P;
      if (I < S.size() && S[I] == '#') {
        TCalcError E;
        if (!ReadError(E) || E != TCalcError::Ref) return false;
        return EmitRefError();
      }
      if (!ScanReference(S, I, P)) return SheetScopedName(Index);
      if (Index == kUnreadableSheet) FUnsupported = true;
      if (Index < 0) return EmitRefError();
      return EmitRef(uint16_t(Index), P);
    }
    TRefParts P;
    size_t J = I;
    if (ScanReference(S, J, P)) {
      I = J;
      return EmitRef(kSameSheet, P);
    }
    size_t Start = I;
    while (I < S.size() && (IsIdentChar(S[I]) || S[I] == '$')) ++I;
    std::string_view W = S.substr(Start, I - Start);
    if (W.empty()) return false;
    if (I < S.size() && S[I] == '(') return Function(W);
    if (I < S.size() && S[I] == '[') return false;  // structured references
    if (SameTextAscii(W, "TRUE") || SameTextAscii(W, "FALSE")) {
      FCode += char(opBool);
      FCode += char(SameTextAscii(W, "TRUE"));
      PushOperand();
      return true;
    }
    return Name(W);
  }

  bool SheetScopedName(int) {
    // Sheet1!Name: names of one sheet's scope, read as the sheet's own.
    size_t Start = I;
    while (I < S.size() && IsIdentChar(S[I])) ++I;
    if (I == Start) return false;
    return Name(S.substr(Start, I - Start));
  }

  bool Name(std::string_view W) {
    std::string Text;
    if (FDepth >= kMaxNameDepth || !FNames.DefinedName(W, Text)) {
      FCode += char(opErr);
      FCode += char(TCalcError::Name);
      PushOperand();
      return true;
    }
    if (!Text.empty() && Text[0] == '=') Text.erase(0, 1);
    TParser Inner(Text, FRow, FCol, FNames, FDepth + 1);
    TParsed P = Inner.Run();
    if (!P.Ok) return false;
    FCode += P.Code;
    FUnsupported |= P.Unsupported;
    FVolatile |= P.Volatile;
    FDynamic |= P.Dynamic;
    PushOperand();
    return true;
  }

  bool Function(std::string_view W) {
    std::string_view N = W;
    for (std::string_view Prefix : {"_xlfn.", "_xlws."})
      if (StartsWithAscii(N, Prefix)) N.remove_prefix(Prefix.size());
    if (StartsWithAscii(N, "_xlws.")) N.remove_prefix(6);
    int Id = FindFunction(N);
    if (Id < 0)
      FUnsupported = true;
    else {
      const TFunctionDef& D = FunctionById(Id);
      if (D.Flags & kVolatile) FVolatile = true;
      if (SameTextAscii(N, "INDIRECT") || SameTextAscii(N, "OFFSET")) FDynamic = true;
    }
    ++I;  // '('
    TStackItem T{skFunc};
    T.Func = Id < 0 ? kUnknownFunction : Id;
    if (SameTextAscii(N, "SUMPRODUCT") || SameTextAscii(N, "INDEX") || SameTextAscii(N, "LOOKUP")) {
      T.Op = 1;
      ++FArrayArgs;
    }
    FStack.push_back(T);
    FExpect = true;
    return true;
  }

  bool CloseArgument(TStackItem& F) {
    ++F.Argc;
    F.Empty = false;
    return F.Argc <= 255;
  }

  bool PopToOpen() {
    while (!FStack.empty() && FStack.back().Kind == skOp)
      if (!PopOp()) return false;
    return !FStack.empty();
  }

  bool Operator() {
    char C = S[I];
    if (C == '%') {
      ++I;
      FCode += char(opPercent | (FArrayArgs ? kArrayMode : 0));
      return true;
    }
    if (C == ')') {
      ++I;
      if (!PopToOpen()) return false;
      TStackItem T = FStack.back();
      FStack.pop_back();
      if (T.Kind == skFunc && T.Op == 1) --FArrayArgs;
      if (T.Kind == skFunc) {
        if (!FExpectedEmptyCall(T) && !CloseArgument(T)) return false;
        int Argc = T.Argc;
        if (T.Func != kUnknownFunction) {
          const TFunctionDef& D = FunctionById(T.Func);
          if (Argc < D.MinArgs || (D.MaxArgs != 255 && Argc > D.MaxArgs)) {
            FReason = std::string(D.Name) + " takes " + ArgumentCountText(D) + ", not " +
                      std::to_string(Argc);
            return false;
          }
        }
        FCode += char(opFunc);
        Put(FCode, uint16_t(T.Func));
        FCode += char(Argc);
        FDepthCount -= Argc;
        ++FDepthCount;
        if (FDepthCount < 1) return false;
      }
      FExpect = false;
      return true;
    }
    if (C == ',') {
      ++I;
      if (!PopToOpen() || FStack.back().Kind != skFunc) return false;  // union: not read
      if (!CloseArgument(FStack.back())) return false;
      FExpect = true;
      return true;
    }
    uint8_t Op = 0;
    size_t Len = 1;
    switch (C) {
      case '+':
        Op = opAdd;
        break;
      case '-':
        Op = opSub;
        break;
      case '*':
        Op = opMul;
        break;
      case '/':
        Op = opDiv;
        break;
      case '^':
        Op = opPow;
        break;
      case '&':
        Op = opConcat;
        break;
      case '=':
        Op = opEq;
        break;
      case ':':
        Op = opRange;
        break;
      case '<':
        if (I + 1 < S.size() && S[I + 1] == '=')
          Op = opLe, Len = 2;
        else if (I + 1 < S.size() && S[I + 1] == '>')
          Op = opNe, Len = 2;
        else
          Op = opLt;
        break;
      case '>':
        if (I + 1 < S.size() && S[I + 1] == '=')
          Op = opGe, Len = 2;
        else
          Op = opGt;
        break;
      default:
        return false;  // includes a blank between operands (intersection)
    }
    I += Len;
    int P = Precedence(Op);
    while (!FStack.empty() && FStack.back().Kind == skOp && FStack.back().Prec >= P)
      if (!PopOp()) return false;
    FStack.push_back({skOp, Op, P});
    FExpect = true;
    return true;
  }

  // F() with nothing between the parentheses.
  bool FExpectedEmptyCall(const TStackItem& T) const { return T.Empty && FLastWasOpen(T); }
  bool FLastWasOpen(const TStackItem& T) const { return T.Argc == 0 && FCodeEndsCall(); }
  bool FCodeEndsCall() const {
    // The ')' came straight after '(' (blanks aside).
    size_t J = I - 1;
    while (J > 0 && (S[J - 1] == ' ' || S[J - 1] == '\n' || S[J - 1] == '\r' || S[J - 1] == '\t'))
      --J;
    return J > 0 && S[J - 1] == '(';
  }
};

}  // namespace

TParsed ParseFormula(std::string_view Text, int32_t Row, int32_t Col, TNameResolver& Names) {
  TParser P(Text, Row, Col, Names, 0);
  return P.Run();
}

}  // namespace kv::calc
