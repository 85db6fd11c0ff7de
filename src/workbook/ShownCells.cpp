// Cells as the workbook shows them: each cell's value through its style's
// number format.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "numfmt/NumberFormat.h"
#include "workbook/TextPool.h"
#include "workbook/WorkbookImpl.h"
#include "workbook/CellNotation.h"

namespace kv {

namespace {

const TNumberFormat kGeneral;

// Number text as cells store it; the common plain form without allocating.
bool ReadNumber(std::string_view Text, double& Value) {
  if (!Text.empty() && Text[0] != '+' && Text[0] != ' ') {
    const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Ec == std::errc() && End == Text.data() + Text.size()) return std::isfinite(Value);
  }
  return TryParseNumberText(Text, Value);
}

// Whether General shows Text exactly as stored: plain decimal digits, at most
// 15 significant ones, no needless zeros, within General's decimal range.
bool ShowsAsStoredInGeneral(std::string_view Text) {
  size_t I = Text.size() && Text[0] == '-' ? 1 : 0;
  const size_t IntStart = I;
  while (I < Text.size() && Text[I] >= '0' && Text[I] <= '9') ++I;
  const size_t IntLen = I - IntStart;
  if (IntLen == 0 || (IntLen > 1 && Text[IntStart] == '0')) return false;
  size_t Significant = Text[IntStart] == '0' ? 0 : IntLen;
  if (I == Text.size()) return Significant <= 15 && !(IntStart && Significant == 0);
  if (Text[I] != '.' || I + 1 == Text.size() || Text.back() == '0') return false;
  const size_t FracStart = ++I;
  while (I < Text.size() && Text[I] >= '0' && Text[I] <= '9') ++I;
  if (I != Text.size()) return false;
  const size_t FracLen = I - FracStart;
  size_t Zeros = 0;
  if (Significant == 0)
    while (Text[FracStart + Zeros] == '0') ++Zeros;
  Significant += FracLen - Zeros;
  return Significant <= 15 && FracLen <= 15 && Zeros <= 8;
}

}  // namespace

const TNumberFormat& TCellFormats::ForStyle(int32_t Style) const {
  return static_cast<size_t>(Style) < ByStyle.size() ? ByStyle[static_cast<size_t>(Style)]
                                                     : kGeneral;
}

void TSheetCells::ShownOf(const TCell& C, TShownText& Out) const {
  Out.HasColor = Out.IsNumber = false;
  const std::string_view Text = TextOf(C);
  const bool AsText = C.Type == TCellType::SharedString || C.Type == TCellType::InlineString ||
                      C.Type == TCellType::FormulaString;
  if (!FFormats || Text.empty() || !(AsText || C.Type == TCellType::Number)) {
    Out.Text = Text;
    return;
  }
  const TNumberFormat& F =
      C.Style ? FFormats->ForStyle(static_cast<int32_t>(C.Style - 1)) : kGeneral;
  if (AsText) {
    F.RenderText(Text, Out);
    return;
  }
  const std::string_view Value =
      (C.Form & kPooled) && C.Ids.Value ? FTexts->Get(C.Ids.Value) : Text;
  if (F.IsGeneral() && ShowsAsStoredInGeneral(Value)) {
    Out.Text = Value;
    Out.IsNumber = true;
    return;
  }
  double Number = 0;
  if (!ReadNumber(Value, Number)) {
    Out.Text = Text;  // a number cell whose value is unreadable
    return;
  }
  F.RenderNumber(Number, FFormats->Date1904, Out);
  Out.IsNumber = true;
}

void TSheetCells::ShownCell(int32_t Row, int32_t Col, TShownText& Out) const {
  const TCell* C = Find(Row, Col);
  if (C) {
    ShownOf(*C, Out);
    return;
  }
  Out.Text.clear();
  Out.HasColor = Out.IsNumber = false;
}

TShownView TSheetCells::ShownCellKept(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  if (!C) return {};
  // Enough for every cell of a large screen several times over.
  constexpr size_t kMaxKept = 16384;
  const uint64_t Key = (static_cast<uint64_t>(Row) << 14) | static_cast<uint64_t>(Col);
  auto It = FKept.find(Key);
  if (It == FKept.end()) {
    if (FKept.size() >= kMaxKept) FKept.clear();
    TShownText Out;
    ShownOf(*C, Out);
    It =
        FKept.emplace(Key, TKept{std::move(Out.Text), Out.IsNumber, Out.HasColor, Out.Color}).first;
  }
  const TKept& K = It->second;
  return {K.Text, K.IsNumber, K.HasColor, K.HasColor ? K.Color : 0};
}

std::shared_ptr<TSheetCells> TSheetCells::ShownCopy() const {
  auto Copy = std::make_shared<TSheetCells>(FTexts, nullptr);
  TShownText Out;
  ForEachStored([&](int32_t Row, const TCell& C) {
    ShownOf(C, Out);
    bool Existed;
    TCell& To = Copy->Place(Row, C.Col, Existed);
    // A text shown as stored stays the one text.
    if (Out.Text == TextOf(C)) {
      To = C;
    } else {
      To.Type = C.Type;
      To.Style = C.Style;
      To.Form = C.Form & kFormula;
      Copy->StoreText(To, Out.Text, {});
    }
  });
  Copy->Grow(FRows, FCols);
  Copy->FFormulas = FFormulas;
  Copy->FFormulaCells = FFormulaCells;
  Copy->Compact();
  return Copy;
}

void TXlsxSheet::ShownCell(int32_t Row, int32_t Col, TShownText& Out) const {
  if (Data) {
    Data->ShownCell(Row, Col, Out);
    return;
  }
  Out.Text.clear();
  Out.HasColor = Out.IsNumber = false;
}

void TXlsxWorkbook::UseShownTexts() {
  for (int I = 0; I < SheetCount(); ++I) {
    const TXlsxSheet& S = Sheet(I);
    if (!S.Data) continue;
    std::shared_ptr<TSheetCells> Shown = S.Data->ShownCopy();
    FImpl->FCells[static_cast<size_t>(I)] = Shown;
    FSheets[static_cast<size_t>(I)].Data = std::move(Shown);
  }
}

}  // namespace kv
