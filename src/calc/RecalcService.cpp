// The recalculating workbook (see RecalcService.h).
#include "calc/RecalcService.h"

#include "base/Error.h"
#include "base/Text.h"
#include "calc/CalcCode.h"
#include "workbook/CellNotation.h"
#include "workbook/CellTyping.h"

namespace kv {

using namespace calc;

TCachedValue CachedValueOf(const TCalcValue& V) {
  TCachedValue C;
  switch (V.Type) {
    case TValueType::Empty:
      break;  // a formula reading an empty cell shows 0
    case TValueType::Number:
      C.Number = V.Number;
      break;
    case TValueType::Text:
      C.Kind = TCachedKind::Text;
      C.Text = V.Text;
      break;
    case TValueType::Boolean:
      C.Kind = TCachedKind::Boolean;
      C.Number = V.Number != 0 ? 1 : 0;
      break;
    case TValueType::Error:
      C.Kind = TCachedKind::Error;
      C.Text = std::string(ErrorCodeText(V.Error));
      break;
  }
  return C;
}

namespace {

// Functions younger than the file format: a file names them with the
// "_xlfn." prefix, which readers that know them drop.
constexpr std::string_view kPrefixedFunctions[] = {"CEILING.MATH",
                                                   "CONCAT",
                                                   "DAYS",
                                                   "FLOOR.MATH",
                                                   "IFNA",
                                                   "IFS",
                                                   "ISOWEEKNUM",
                                                   "MAXIFS",
                                                   "MINIFS",
                                                   "MODE.SNGL",
                                                   "PERCENTILE.INC",
                                                   "QUARTILE.INC",
                                                   "RANK.AVG",
                                                   "RANK.EQ",
                                                   "STDEV.P",
                                                   "STDEV.S",
                                                   "SWITCH",
                                                   "TEXTJOIN",
                                                   "VAR.P",
                                                   "VAR.S",
                                                   "XLOOKUP",
                                                   "XMATCH",
                                                   "XOR"};
constexpr std::string_view kFilePrefix = "_xlfn.";

bool IsNameChar(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' ||
         C == '.' || static_cast<unsigned char>(C) >= 0x80;
}

// Calls Visit(Start, End) for every function name of a formula text (a name
// followed by "("), outside strings and quoted sheet names.
template <class TVisit>
void ForEachFunctionName(std::string_view F, TVisit&& Visit) {
  for (size_t I = 0; I < F.size();) {
    const char C = F[I];
    if (C == '"' || C == '\'') {  // doubled quotes inside read as two strings
      const size_t End = F.find(C, I + 1);
      I = End == std::string_view::npos ? F.size() : End + 1;
      continue;
    }
    if (!IsNameChar(C)) {
      ++I;
      continue;
    }
    const size_t Start = I;
    while (I < F.size() && IsNameChar(F[I])) ++I;
    if (I < F.size() && F[I] == '(') Visit(Start, I);
  }
}

}  // namespace

std::string FormulaForFile(std::string_view Typed) {
  std::string Out;
  size_t Copied = 0;
  ForEachFunctionName(Typed, [&](size_t Start, size_t End) {
    const std::string_view Name = Typed.substr(Start, End - Start);
    for (std::string_view P : kPrefixedFunctions)
      if (SameTextAscii(Name, P)) {
        Out.append(Typed.substr(Copied, Start - Copied));
        Out += kFilePrefix;
        Copied = Start;
        break;
      }
  });
  Out.append(Typed.substr(Copied));
  return Out;
}

std::string FormulaForEditor(std::string_view Stored) {
  std::string Out;
  size_t Copied = 0;
  ForEachFunctionName(Stored, [&](size_t Start, size_t End) {
    std::string_view Name = Stored.substr(Start, End - Start);
    size_t Cut = 0;
    for (std::string_view P : {std::string_view("_xlfn."), std::string_view("_xlws.")})
      while (StartsWithAscii(Name.substr(Cut), P)) Cut += P.size();
    if (Cut == 0) return;
    Out.append(Stored.substr(Copied, Start - Copied));
    Copied = Start + Cut;
  });
  Out.append(Stored.substr(Copied));
  return Out;
}

TRecalcService::TRecalcService(TXlsxWorkbook& Book)
    : FBook(Book), FEngine(std::make_unique<TCalcEngine>(*this)) {}

TRecalcService::~TRecalcService() = default;

// ---- the cells, as the engine reads them -----------------------------------

const TSheetCells* TRecalcService::Cells(int Sheet) const {
  if (Sheet < 0 || Sheet >= FBook.AllSheetCount()) return nullptr;
  try {
    return FBook.Sheet(Sheet).Data.get();
  } catch (const TKvError&) {
    return nullptr;  // the sheet's own error is raised where it is shown
  }
}

int TRecalcService::SheetCount() const {
  return FBook.AllSheetCount();
}

int TRecalcService::FindSheet(std::string_view Name) const {
  for (int S = 0; S < FBook.AllSheetCount(); ++S)
    if (SameTextAscii(FBook.SheetName(S), Name)) return S;
  try {
    for (const std::string& Unread : FBook.FormulaNames().UnreadSheets)
      if (SameTextAscii(Unread, Name)) return kUnreadableSheet;
  } catch (const TKvError&) {
    return kUnreadableSheet;  // the names cannot be known: nothing is vouched for
  }
  return -1;
}

TCalcValue TRecalcService::CellValue(int Sheet, int32_t Row, int32_t Col) const {
  const TSheetCells* C = Cells(Sheet);
  TCellType Type;
  std::string_view Text, Stored;
  if (!C || !C->ReadCell(Row, Col, Type, Text, Stored)) return {};
  switch (Type) {
    case TCellType::Empty:
      return {};
    case TCellType::Number: {
      double V = 0;
      if (TryParseNumberText(Stored, V)) return TCalcValue::Num(V);
      if (Stored.empty()) return {};  // "<v></v>": no value
      return TCalcValue::Str(std::string(Text));
    }
    case TCellType::Boolean:
      return TCalcValue::Bool(Text == "TRUE");
    case TCellType::Error: {
      const TCalcError E = ErrorCodeFromText(Text);
      return TCalcValue::Err(E == TCalcError::None ? TCalcError::Value : E);
    }
    case TCellType::IsoDate: {
      double Serial = 0;
      if (ParseTypedDate(Trim(Stored), {}, FBook.Date1904(), Serial))
        return TCalcValue::Num(Serial);
      return TCalcValue::Str(std::string(Text));
    }
    case TCellType::SharedString:
    case TCellType::InlineString:
    case TCellType::FormulaString:
      break;
  }
  return TCalcValue::Str(std::string(Text));
}

void TRecalcService::UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const {
  const TSheetCells* C = Cells(Sheet);
  Rows = C ? C->RowCount() : 0;
  Cols = C ? C->ColCount() : 0;
}

namespace {

void InfoOf(int32_t Row, int32_t Col, const TCellFormula& F, TFormulaCellInfo& Info) {
  Info.Row = Row;
  Info.Col = Col;
  Info.Text = F.Text;
  Info.Shared = F.Kind == TFormulaKind::Shared && F.AnchorRow >= 0;
  Info.Array = F.Kind == TFormulaKind::Array;
  Info.AnchorRow = Info.Shared ? F.AnchorRow : Row;
  Info.AnchorCol = Info.Shared ? F.AnchorCol : Col;
}

bool FormulaInfo(const TSheetCells& C, int32_t Row, int32_t Col, TFormulaCellInfo& Info) {
  TCellFormula F;
  if (!C.CellFormula(Row, Col, F)) return false;
  InfoOf(Row, Col, F, Info);
  return true;
}

}  // namespace

void TRecalcService::ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const {
  const TSheetCells* C = Cells(Sheet);
  if (!C) return;
  Out.reserve(Out.size() + C->FormulaCellCount());
  for (size_t I = 0; I < C->FormulaCellCount(); ++I) {
    int32_t Row, Col;
    TCellFormula F;
    C->FormulaCellAt(I, Row, Col, F);
    InfoOf(Row, Col, F, Out.emplace_back());
  }
}

bool TRecalcService::FormulaAt(int Sheet, int32_t Row, int32_t Col, TFormulaCellInfo& Out) const {
  const TSheetCells* C = Cells(Sheet);
  return C && FormulaInfo(*C, Row, Col, Out);
}

bool TRecalcService::DefinedName(std::string_view Name, int Sheet, std::string& Formula) const {
  const TFormulaNames* Names = nullptr;
  try {
    Names = &FBook.FormulaNames();
  } catch (const TKvError&) {
    return false;
  }
  const TDefinedName* Found = nullptr;
  for (const TDefinedName& D : Names->Names) {
    if (!SameTextAscii(D.Name, Name)) continue;
    if (D.Scope == Sheet) {
      Found = &D;
      break;
    }
    if (D.Scope == -1 && !Found) Found = &D;
  }
  if (!Found) return false;
  Formula = Found->Formula;
  return true;
}

bool TRecalcService::Date1904() const {
  return FBook.Date1904();
}

// ---- recomputing -------------------------------------------------------------

void TRecalcService::Settle(bool Save, bool WithVolatile) {
  FEngine->Recalculate(
      [&](int Sheet, int32_t Row, int32_t Col, const TCalcValue& Value) {
        if (Save)
          FBook.SetCachedValue(Sheet, Row, Col, CachedValueOf(Value));
        else
          FBook.ShowCachedValue(Sheet, Row, Col, CachedValueOf(Value));
      },
      WithVolatile);
}

const TXlsxSheet& TRecalcService::Sheet(int Index) {
  const TXlsxSheet& S = FBook.Sheet(Index);
  if (FSheetSettled.size() < size_t(FBook.AllSheetCount()))
    FSheetSettled.resize(size_t(FBook.AllSheetCount()));
  if (FSheetSettled[size_t(Index)]) return S;
  FSheetSettled[size_t(Index)] = true;
  if (!S.Data || FEngine->SheetLoaded(Index)) return S;
  bool Missing = false;
  for (size_t I = 0; I < S.Data->FormulaCellCount() && !Missing; ++I) {
    int32_t Row, Col;
    S.Data->FormulaCellAt(I, Row, Col);
    Missing = CellValue(Index, Row, Col).IsEmpty();
  }
  if (!Missing) return S;
  FEngine->LoadSheet(Index);
  Settle(false, false);
  return S;
}

void TRecalcService::RecalculateAll(int ShownSheet) {
  FAllLoaded = true;
  FEngine->RecalculateAll([&](int Sheet, int32_t Row, int32_t Col, const TCalcValue& Value) {
    if (ShownSheet < 0 || Sheet == ShownSheet)
      FBook.ShowCachedValue(Sheet, Row, Col, CachedValueOf(Value));
  });
}

void TRecalcService::LoadAll() {
  if (FAllLoaded) return;
  FAllLoaded = true;
  FEngine->Load();
  Settle(false, false);
}

void TRecalcService::CheckFormula(int SheetIndex, int32_t Row, int32_t Col,
                                  const std::string& Formula) {
  struct TResolver : TNameResolver {
    const TRecalcService& S;
    int Sheet;
    TResolver(const TRecalcService& Service, int At) : S(Service), Sheet(At) {}
    int FindSheet(std::string_view Name) override { return S.FindSheet(Name); }
    bool DefinedName(std::string_view Name, std::string& Text) override {
      return S.DefinedName(Name, Sheet, Text);
    }
  } Names(*this, SheetIndex);
  const TParsed P = ParseFormula(Formula, Row, Col, Names);
  if (P.Ok) return;
  // Counted as the reader sees it: the "=" is the first character.
  const size_t At = Utf16Length(std::string_view(Formula).substr(0, P.ErrorAt)) + 2;
  throw TKvError("The formula cannot be read at character " + std::to_string(At) + ": " + P.Reason +
                 ".");
}

void TRecalcService::EditCell(int SheetIndex, int32_t Row, int32_t Col, const std::string& Typed) {
  if (SheetIndex < 0 || SheetIndex >= FBook.SheetCount()) return;
  // In a Text cell, "=..." is text as typed, as in Excel.
  const bool IsFormula =
      !Typed.empty() && Typed[0] == '=' && !FBook.IsTextCell(SheetIndex, Row, Col);
  if (IsFormula) CheckFormula(SheetIndex, Row, Col, Typed.substr(1));
  LoadAll();
  if (IsFormula)
    FBook.SetCellFormula(SheetIndex, Row, Col, FormulaForFile(std::string_view(Typed).substr(1)));
  else if (!Typed.empty() && Typed[0] == '\'')
    FBook.SetCellValue(SheetIndex, Row, Col, Typed.substr(1), true);
  else
    FBook.SetCellValue(SheetIndex, Row, Col, Typed);
  FEngine->CellChanged(SheetIndex, Row, Col);
  Settle(true, true);
}

std::string TRecalcService::EditorText(int SheetIndex, int32_t Row, int32_t Col) {
  if (SheetIndex < 0 || SheetIndex >= FBook.SheetCount()) return {};
  const TXlsxSheet& S = Sheet(SheetIndex);
  if (S.Data && S.Data->HasFormula(Row, Col))
    return "=" + FormulaForEditor(S.FormulaText(Row, Col));
  const std::string_view Text = S.Cell(Row, Col);
  const TCellType Type = S.CellType(Row, Col);
  const bool IsText = Type == TCellType::SharedString || Type == TCellType::InlineString ||
                      Type == TCellType::FormulaString;
  if (IsText && !Text.empty() && (Text[0] == '=' || Text[0] == '\''))
    return "'" + std::string(Text);
  return std::string(Text);
}

}  // namespace kv
