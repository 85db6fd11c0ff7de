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

TRecalcService::TRecalcService(TXlsxWorkbook& Book)
    : FBook(Book), FEngine(std::make_unique<TCalcEngine>(*this)) {}

TRecalcService::~TRecalcService() = default;

// ---- the cells, as the engine reads them -----------------------------------

const TSheetCells* TRecalcService::Cells(int Sheet) const {
  if (Sheet < 0 || Sheet >= FBook.SheetCount()) return nullptr;
  try {
    return FBook.Sheet(Sheet).Data.get();
  } catch (const TKvError&) {
    return nullptr;  // the sheet's own error is raised where it is shown
  }
}

int TRecalcService::SheetCount() const {
  return FBook.SheetCount();
}

int TRecalcService::FindSheet(std::string_view Name) const {
  for (int S = 0; S < FBook.SheetCount(); ++S)
    if (SameTextAscii(FBook.SheetName(S), Name)) return S;
  try {
    for (const std::string& Hidden : FBook.FormulaNames().HiddenSheets)
      if (SameTextAscii(Hidden, Name)) return kUnreadableSheet;
  } catch (const TKvError&) {
    return kUnreadableSheet;  // the names cannot be known: nothing is vouched for
  }
  return -1;
}

TCalcValue TRecalcService::CellValue(int Sheet, int32_t Row, int32_t Col) const {
  const TSheetCells* C = Cells(Sheet);
  if (!C) return {};
  switch (C->CellType(Row, Col)) {
    case TCellType::Empty:
      return {};
    case TCellType::Number: {
      const std::string_view Stored = C->CellValue(Row, Col);
      double V = 0;
      if (TryParseNumberText(Stored, V)) return TCalcValue::Num(V);
      if (Stored.empty()) return {};  // "<v></v>": no value
      return TCalcValue::Str(std::string(C->Cell(Row, Col)));
    }
    case TCellType::Boolean:
      return TCalcValue::Bool(C->Cell(Row, Col) == "TRUE");
    case TCellType::Error: {
      const TCalcError E = ErrorCodeFromText(C->Cell(Row, Col));
      return TCalcValue::Err(E == TCalcError::None ? TCalcError::Value : E);
    }
    case TCellType::IsoDate: {
      double Serial = 0;
      if (ParseTypedDate(Trim(C->CellValue(Row, Col)), {}, FBook.Date1904(), Serial))
        return TCalcValue::Num(Serial);
      return TCalcValue::Str(std::string(C->Cell(Row, Col)));
    }
    case TCellType::SharedString:
    case TCellType::InlineString:
    case TCellType::FormulaString:
      break;
  }
  return TCalcValue::Str(std::string(C->Cell(Row, Col)));
}

void TRecalcService::UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const {
  const TSheetCells* C = Cells(Sheet);
  Rows = C ? C->RowCount() : 0;
  Cols = C ? C->ColCount() : 0;
}

void TRecalcService::ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const {
  const TSheetCells* C = Cells(Sheet);
  if (!C) return;
  Out.reserve(Out.size() + C->FormulaCellCount());
  for (size_t I = 0; I < C->FormulaCellCount(); ++I) {
    TFormulaCellInfo Info;
    C->FormulaCellAt(I, Info.Row, Info.Col);
    TCellFormula F;
    if (!C->CellFormula(Info.Row, Info.Col, F)) continue;
    Info.Text = F.Text;
    Info.Shared = F.Kind == TFormulaKind::Shared && F.AnchorRow >= 0;
    Info.Array = F.Kind == TFormulaKind::Array;
    Info.AnchorRow = Info.Shared ? F.AnchorRow : Info.Row;
    Info.AnchorCol = Info.Shared ? F.AnchorCol : Info.Col;
    Out.push_back(Info);
  }
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
  std::vector<TChangedCell> Changed;
  FEngine->Recalculate(&Changed, WithVolatile);
  for (const TChangedCell& C : Changed) {
    const TCachedValue V = CachedValueOf(C.Value);
    if (Save)
      FBook.SetCachedValue(C.Sheet, C.Row, C.Col, V);
    else
      FBook.ShowCachedValue(C.Sheet, C.Row, C.Col, V);
  }
}

const TXlsxSheet& TRecalcService::Sheet(int Index) {
  const TXlsxSheet& S = FBook.Sheet(Index);
  if (FSheetSettled.size() < size_t(FBook.SheetCount()))
    FSheetSettled.resize(size_t(FBook.SheetCount()));
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
  const bool IsFormula = !Typed.empty() && Typed[0] == '=';
  if (IsFormula) CheckFormula(SheetIndex, Row, Col, Typed.substr(1));
  LoadAll();
  if (IsFormula)
    FBook.SetCellFormula(SheetIndex, Row, Col, Typed.substr(1));
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
  if (S.Data && S.Data->HasFormula(Row, Col)) return "=" + S.FormulaText(Row, Col);
  const std::string_view Text = S.Cell(Row, Col);
  const TCellType Type = S.CellType(Row, Col);
  const bool IsText = Type == TCellType::SharedString || Type == TCellType::InlineString ||
                      Type == TCellType::FormulaString;
  if (IsText && !Text.empty() && (Text[0] == '=' || Text[0] == '\''))
    return "'" + std::string(Text);
  return std::string(Text);
}

}  // namespace kv
