// The formula engine: typed values with a spreadsheet's coercions, a parser
// of formula text into compact codes (a shared formula held once), the
// functions, and a dependency graph that recomputes what an edit reaches.
//
// The engine reads cells only through ICellSource, so it knows nothing of how
// a workbook stores them; the recalculating layer above the workbook supplies
// one (RecalcService.h).
//
// Promises: parsing and evaluation never recurse on the formula's depth or on
// the length of a chain of cells, so deep nesting and long chains cost heap,
// never stack. A formula that cannot be read, that calls a function the engine
// lacks, that lies on a circular reference, or that reads such a cell after
// its inputs changed keeps the value the file cached: never a wrong value in
// place of a stale one. Such cells are counted (TCalcCounts). Nothing here
// raises except std::bad_alloc.
#ifndef KV_CALC_CALC_H
#define KV_CALC_CALC_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

enum class TValueType : uint8_t { Empty, Number, Text, Boolean, Error };

// Error codes in the order of ERROR.TYPE.
enum class TCalcError : uint8_t { None, Null, Div0, Value, Ref, Name, Num, NA };

// "#DIV/0!" and the like; empty for None.
std::string_view ErrorCodeText(TCalcError Code);
// The code of an error text ("#N/A"), None for any other text.
TCalcError ErrorCodeFromText(std::string_view Text);

struct TCalcValue {
  TValueType Type = TValueType::Empty;
  TCalcError Error = TCalcError::None;
  double Number = 0;  // Number, and Boolean as 0/1
  std::string Text;   // Text

  static TCalcValue Num(double V);
  static TCalcValue Str(std::string V);
  static TCalcValue Bool(bool V);
  static TCalcValue Err(TCalcError E);

  bool IsEmpty() const { return Type == TValueType::Empty; }
  bool IsNumber() const { return Type == TValueType::Number; }
  bool IsText() const { return Type == TValueType::Text; }
  bool IsBool() const { return Type == TValueType::Boolean; }
  bool IsError() const { return Type == TValueType::Error; }
  bool operator==(const TCalcValue& O) const;
};

// Coercions as arithmetic does them: empty is 0, booleans 1/0, text read as a
// number (also "1,234", "$5", "50%", dates and times); anything else #VALUE!.
// False with Err set when the value cannot be a number.
bool CoerceToNumber(const TCalcValue& V, double& Out, TCalcError& Err);
// Text as "&" makes it: numbers in General form, TRUE/FALSE, empty "".
bool CoerceToText(const TCalcValue& V, std::string& Out, TCalcError& Err);
// Booleans: numbers non-zero, texts "TRUE"/"FALSE" (any case), empty FALSE.
bool CoerceToBool(const TCalcValue& V, bool& Out, TCalcError& Err);
// Text to number as VALUE reads it; false when it is no number.
bool ParseNumberLike(std::string_view Text, double& Out);

// Orders two non-error values as comparisons do: numbers < texts <
// booleans, texts without regard to case, empty as 0, "" or FALSE after the
// other side's type. Negative, zero or positive.
int CompareValues(const TCalcValue& A, const TCalcValue& B);

// Rounding half away from zero to Digits decimals (negative: tens, hundreds).
double RoundHalfAway(double Value, int Digits);
// The value kept to 15 significant digits, as a spreadsheet stores results.
double RoundTo15Digits(double Value);
// Text of a number as a cell in General format shows it ("0.3", "1E+20").
std::string NumberToGeneralText(double Value);

// What the engine needs of a workbook.
struct TFormulaCellInfo {
  int32_t Row = 0, Col = 0;
  std::string_view Text;                 // formula text without "=", as stored
  int32_t AnchorRow = 0, AnchorCol = 0;  // of a shared formula's group (else Row, Col)
  bool Shared = false;                   // Text is the group's, written at the anchor
  bool Array = false;                    // a single-cell array formula
};

class ICellSource {
 public:
  virtual ~ICellSource() = default;
  virtual int SheetCount() const = 0;
  // -1 for no sheet of that name (ASCII case ignored).
  virtual int FindSheet(std::string_view Name) const = 0;
  // The stored value of a cell (a formula cell's cached value).
  virtual TCalcValue CellValue(int Sheet, int32_t Row, int32_t Col) const = 0;
  // Rows and columns in use (cells beyond hold nothing).
  virtual void UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const = 0;
  // Every formula cell of a sheet, in any order.
  virtual void ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const = 0;
  // The formula of one cell; false for a cell without one. (Valid as long as
  // ListFormulas's; this one lists the sheet.)
  virtual bool FormulaAt(int Sheet, int32_t Row, int32_t Col, TFormulaCellInfo& Out) const;
  // The text of a defined name visible from Sheet (its own scope first, then
  // the workbook's); false when there is none.
  virtual bool DefinedName(std::string_view Name, int Sheet, std::string& Formula) const = 0;
  virtual bool Date1904() const = 0;
};

// Why a formula cell keeps its cached value.
enum class TKeptReason : uint8_t { None, Unreadable, Unsupported, Circular, DependsOnKept };

struct TCalcCounts {
  size_t Formulas = 0;
  size_t Computed = 0;
  // The cells that kept their cached value, one count per TKeptReason.
  size_t Unreadable = 0, Unsupported = 0, Circular = 0, DependsOnKept = 0;
};

// A formula cell whose value a recalculation changed.
struct TChangedCell {
  int Sheet = 0;
  int32_t Row = 0, Col = 0;
  TCalcValue Value;
};

class TCalcEngine {
 public:
  explicit TCalcEngine(const ICellSource& Source);
  ~TCalcEngine();
  TCalcEngine(const TCalcEngine&) = delete;
  TCalcEngine& operator=(const TCalcEngine&) = delete;

  // Reads and parses the formulas of every sheet; their values are the cached
  // ones until something recomputes them. A formula without a cached value
  // (its source value empty) is marked for the next Recalculate.
  void Load();
  // The same for one sheet and, in turn, the sheets its formulas read (every
  // sheet for INDIRECT and OFFSET), so that a sheet costs only what it reads.
  // CellChanged reads every sheet: a cell's readers may be anywhere.
  void LoadSheet(int Sheet);
  bool SheetLoaded(int Sheet) const;
  // Called with each formula cell a recalculation changed, once it is over
  // (the engine is consistent again, so the visitor may raise).
  using TChangeVisitor =
      std::function<void(int Sheet, int32_t Row, int32_t Col, const TCalcValue& Value)>;

  // Recomputes every formula from scratch; the changed cells (against their
  // values before) are appended to Changed when given, or handed to
  // OnChanged (which spares a list of values as long as the changes).
  void RecalculateAll(std::vector<TChangedCell>* Changed = nullptr);
  void RecalculateAll(const TChangeVisitor& OnChanged);
  // A cell's stored value or formula changed in the source (the source already
  // holds the new state): its formula, if any, is read again and everything it
  // reaches is marked for the next Recalculate.
  void CellChanged(int Sheet, int32_t Row, int32_t Col);
  // Recomputes the cells marked since the last call, and (WithVolatile) every
  // volatile formula with what it reaches, in order. Reads every sheet when
  // none was read yet.
  void Recalculate(std::vector<TChangedCell>* Changed = nullptr, bool WithVolatile = true);
  void Recalculate(const TChangeVisitor& OnChanged, bool WithVolatile = true);

  // The value the engine holds for a cell: a formula's computed (or kept)
  // value, else the source's.
  TCalcValue Value(int Sheet, int32_t Row, int32_t Col) const;
  bool IsFormula(int Sheet, int32_t Row, int32_t Col) const;
  TKeptReason KeptReason(int Sheet, int32_t Row, int32_t Col) const;
  const TCalcCounts& Counts() const;
  // Bytes of parsed formula code, and how many code blocks (shared formulas
  // count once) hold them.
  size_t CodeBytes() const;
  size_t CodeBlocks() const;

  // Evaluates one formula text as if it stood at (Sheet, Row, Col), for tests
  // and tools. Unreadable text gives #NAME?; Reason tells why a value could
  // not be computed.
  TCalcValue EvaluateText(std::string_view Formula, int Sheet, int32_t Row, int32_t Col,
                          TKeptReason* Reason = nullptr);

  struct TImpl;

 private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace kv

#endif
