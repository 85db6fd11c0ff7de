// Inside the formula engine: the compact code a formula is parsed into, the
// operands the evaluator works on, and the function table. Not for use
// outside src/calc.
//
// Code is a byte string in reverse Polish order. A reference's relative row
// or column is held as an offset from the cell the formula is written at, so
// one code serves every cell of a shared formula.
#ifndef KV_CALC_CALCCODE_H
#define KV_CALC_CALCCODE_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/Calc.h"
#include "numfmt/NumberFormat.h"
#include "workbook/CellNotation.h"

namespace kv::calc {

constexpr int32_t kMaxRows = kSheetRows;
constexpr int32_t kMaxCols = kSheetCols;
constexpr uint16_t kSameSheet = 0xFFFF;

enum TOp : uint8_t {
  opNum = 1,  // double
  opStr,      // u16 length, bytes
  opBool,     // u8
  opErr,      // u8 TCalcError
  opMissing,  // an argument left out
  opRef,      // u16 sheet, i32 row, i16 col, u8 flags
  opArea,     // u16 sheet, i32 r1, i16 c1, i32 r2, i16 c2, u8 flags
  opArray,    // u16 rows, u16 cols, then rows*cols constant tokens
  opAdd,
  opSub,
  opMul,
  opDiv,
  opPow,
  opConcat,
  opEq,
  opNe,
  opLt,
  opLe,
  opGt,
  opGe,
  opNeg,
  opPlus,
  opPercent,
  opRange,
  opUnion,
  opIsect,
  opFunc,  // u16 function id, u8 argument count
};
// Set on an operator inside an argument that takes arrays (SUMPRODUCT): it
// works element by element on ranges instead of on the host's row or column.
constexpr uint8_t kArrayMode = 0x80;
constexpr uint16_t kUnknownFunction = 0xFFFF;

// Flags of references: which parts are absolute.
constexpr uint8_t kAbsRow1 = 1, kAbsCol1 = 2, kAbsRow2 = 4, kAbsCol2 = 8;

// A rectangle of cells on one sheet; rows and columns 0-based, inclusive.
struct TRef {
  int Sheet = 0;
  int32_t R1 = 0, C1 = 0, R2 = 0, C2 = 0;
  int32_t Rows() const { return R2 - R1 + 1; }
  int32_t Cols() const { return C2 - C1 + 1; }
  bool Contains(int S, int32_t R, int32_t C) const {
    return S == Sheet && R >= R1 && R <= R2 && C >= C1 && C <= C2;
  }
};

struct TArray {
  int32_t Rows = 0, Cols = 0;
  std::vector<TCalcValue> Cells;  // row by row
  const TCalcValue& At(int32_t R, int32_t C) const { return Cells[size_t(R) * size_t(Cols) + C]; }
};

// What the evaluator's stack holds.
struct TOperand {
  enum TKind : uint8_t { kValue, kRef, kArray, kMissing } Kind = kValue;
  TCalcValue V;
  TRef R;
  std::shared_ptr<const TArray> A;

  static TOperand Value(TCalcValue Val) {
    TOperand O;
    O.V = std::move(Val);
    return O;
  }
  static TOperand Ref(const TRef& Ref) {
    TOperand O;
    O.Kind = kRef;
    O.R = Ref;
    return O;
  }
  static TOperand Arr(std::shared_ptr<const TArray> Arr) {
    TOperand O;
    O.Kind = kArray;
    O.A = std::move(Arr);
    return O;
  }
  bool IsRef() const { return Kind == kRef; }
  bool IsArray() const { return Kind == kArray; }
  bool IsMissing() const { return Kind == kMissing; }
  int32_t Rows() const { return Kind == kRef ? R.Rows() : Kind == kArray ? A->Rows : 1; }
  int32_t Cols() const { return Kind == kRef ? R.Cols() : Kind == kArray ? A->Cols : 1; }
};

// What functions see of the engine while a formula is evaluated.
class TEvalContext {
 public:
  virtual ~TEvalContext() = default;
  // The value of a cell as the formula sees it (computed formulas included).
  virtual const TCalcValue& Cell(int Sheet, int32_t Row, int32_t Col) = 0;
  // The used part of a rectangle (cells beyond hold nothing).
  virtual TRef Clamp(const TRef& R) = 0;
  virtual int FindSheet(std::string_view Name) = 0;
  virtual bool Date1904() = 0;
  // The cell the formula stands at.
  bool ArrayFormula = false;  // operators work element by element on ranges
  int HostSheet = 0;
  int32_t HostRow = 0, HostCol = 0;
  // The number format of a code, kept until another code is asked for, in
  // Formats where the caller keeps one across formulas: a column of TEXT
  // formulas then reads its code once.
  struct TFormatCache {
    std::string Code;
    std::optional<TNumberFormat> Format;
  };
  TFormatCache* Formats = nullptr;
  const TNumberFormat& NumberFormat(std::string_view Code);

 private:
  TFormatCache FOwnFormats;
};

// One element of an operand: a single value, a cell of a reference or an
// array element at (Row, Col) of its rectangle.
const TCalcValue& ElementAt(TEvalContext& Ctx, const TOperand& O, int32_t Row, int32_t Col);
// The operand as one value: a reference's single cell, or the cell of a
// larger one in the host's row or column (implicit intersection, #VALUE!
// when there is none); an array's first element.
TCalcValue ScalarOf(TEvalContext& Ctx, const TOperand& O);
// Calls Fn for every non-empty element of the operand (a reference's used
// part only), in rows then columns; Fn returns false to stop.
void ForEachValue(TEvalContext& Ctx, const TOperand& O,
                  const std::function<bool(const TCalcValue&)>& Fn);

using TFunctionFn = void (*)(TEvalContext& Ctx, TOperand* Args, int Count, TOperand& Out);

struct TFunctionDef {
  const char* Name;
  TFunctionFn Fn;
  uint8_t MinArgs;
  uint8_t MaxArgs;  // 255: any number
  uint8_t Flags = 0;
};
constexpr uint8_t kVolatile = 1;
constexpr uint8_t kRefArgs = 2;  // takes references as they are (no implicit intersection)

// The function of a name (without any "_xlfn." prefix, ASCII case ignored),
// as an id for opFunc; -1 when the engine does not have it.
int FindFunction(std::string_view Name);
const TFunctionDef& FunctionById(int Id);

// Parsing.
struct TParsed {
  std::string Code;
  bool Ok = false;
  bool Unsupported = false;  // calls a function the engine lacks
  bool Volatile = false;
  bool Dynamic = false;  // OFFSET/INDIRECT: reads cells its code does not name
  // When not Ok: the byte of the text where reading failed (its length when
  // the text ended too soon) and a short reason ("\")\" is not expected here").
  size_t ErrorAt = 0;
  std::string Reason;
};
// FindSheet's answer for a sheet the workbook has but the source cannot read
// (a hidden one): a formula naming it is read as calling a function the
// engine lacks, so it keeps its cached value.
constexpr int kUnreadableSheet = -2;
class TNameResolver {
 public:
  virtual ~TNameResolver() = default;
  virtual int FindSheet(std::string_view Name) = 0;
  virtual bool DefinedName(std::string_view Name, std::string& Formula) = 0;
};
// Parses Text (no leading "=") written at (Row, Col). Never raises on bad
// text: Ok is false then.
TParsed ParseFormula(std::string_view Text, int32_t Row, int32_t Col, TNameResolver& Names);

// The references a code names when it stands at (Row, Col) on Sheet.
void CodeReferences(std::string_view Code, int Sheet, int32_t Row, int32_t Col,
                    std::vector<TRef>& Out);

// A reference written as text ("B3", "'My Sheet'!A1:C9"), as INDIRECT reads
// it; false when the text is none.
bool ReferenceFromText(std::string_view Text, TEvalContext& Ctx, TRef& Out);

// The characters of formula text as the parser reads them: ASCII letters
// and digits, and those a name may hold (letters, digits, "_", ".", "\",
// "?" and every byte of a non-ASCII character).
inline bool IsLetter(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}
inline bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}
inline bool IsIdentChar(char C) {
  return IsLetter(C) || IsDigit(C) || C == '_' || C == '.' || C == '\\' || C == '?' ||
         static_cast<unsigned char>(C) >= 0x80;
}

// Evaluates code at the context's host cell.
TCalcValue EvaluateCode(std::string_view Code, TEvalContext& Ctx);

// Shared helpers of the functions. FN(Name) declares a function's body with
// the one signature the function table calls; `template FN(Name<A, B>);`
// instantiates one variant of a template entry.
#define FN(...)                                                                      \
  void __VA_ARGS__([[maybe_unused]] TEvalContext& Ctx, [[maybe_unused]] TOperand* A, \
                   [[maybe_unused]] int N, [[maybe_unused]] TOperand& Out)
// A function's integer argument: truncated toward zero and held within
// +-2147483647, so that a huge number meets the function's own range check
// rather than an out-of-range conversion. NaN gives 0.
inline int32_t TruncToInt(double V) {
  if (!(V > -2147483647.0)) return V != V ? 0 : -2147483647;
  if (V > 2147483647.0) return 2147483647;
  return int32_t(V);
}
inline TOperand ErrOut(TCalcError E) {
  return TOperand::Value(TCalcValue::Err(E));
}
inline TOperand NumOut(double V) {
  return TOperand::Value(TCalcValue::Num(V));
}
// Scalar argument as a number/text/bool; false with Out set to the error.
bool ArgNumber(TEvalContext& Ctx, const TOperand& A, double& V, TOperand& Out);
bool ArgText(TEvalContext& Ctx, const TOperand& A, std::string& V, TOperand& Out);
bool ArgBool(TEvalContext& Ctx, const TOperand& A, bool& V, TOperand& Out);
// The numbers of SUM-like arguments: ranges and arrays give their numbers
// (texts and booleans skipped), direct arguments are coerced; the first error
// ends it with Out set to the error.
bool EachNumber(TEvalContext& Ctx, TOperand* Args, int Count, const std::function<void(double)>& Fn,
                TOperand& Out);
// A number result: #NUM! when not finite, no negative zero.
TOperand NumResult(double V);
// A criterion of COUNTIF and its family, applied to values.
class TCriterion {
 public:
  explicit TCriterion(const TCalcValue& Crit);
  bool Matches(const TCalcValue& V) const;

 private:
  int FOp = 0;  // 0 =, 1 <>, 2 <, 3 <=, 4 >, 5 >=
  TCalcValue FValue;
  bool FWildcard = false;
  bool FBlank = false;
};
// Wildcard match (* ? ~) ignoring ASCII case.
bool WildcardMatch(std::string_view Pattern, std::string_view Text);
// The date system texts read as dates ("2024-03-15") are counted in, for
// the formulas evaluated next on this thread.
void SetTextDateSystem(bool Date1904);
// Serial date helpers (the 1900 system counts 1900-02-29).
bool SerialToDate(double Serial, bool Date1904, int& Y, int& M, int& D);
double DateToSerial(int64_t Y, int64_t M, int64_t D, bool Date1904);

}  // namespace kv::calc

#endif
