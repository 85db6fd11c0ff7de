// Cells as the workbook shows them: each cell's value through its style's
// number format.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "numfmt/NumberFormat.h"
#include "workbook/TextPool.h"
#include "workbook/Workbook.h"
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

void TSheetCells::SetShownInfo(size_t Index, uint32_t Kind, int32_t Style, uint32_t ValueId) {
  if (!FFormats) return;
  if (FShown.size() < FIndex.size()) FShown.resize(FIndex.size(), 0);
  const uint32_t S = Style >= 0 && Style < (1 << 28) - 1 ? static_cast<uint32_t>(Style) + 1 : 0;
  FShown[Index] = Kind | S;
  if (ValueId != 0) {
    if (FValues.empty()) {
      FTexts->Charge(FIndex.size() * sizeof(uint32_t));
      FValues.resize(FIndex.size(), 0);
    }
    FValues[Index] = ValueId;
  }
}

void TSheetCells::ShownCell(int32_t Row, int32_t Col, TShownText& Out) const {
  Out.HasColor = Out.IsNumber = false;
  if (Row < 0 || Col < 0 || Row >= FRows || Col >= FCols) {
    Out.Text.clear();
    return;
  }
  const size_t I = static_cast<size_t>(Row) * static_cast<size_t>(FCols) + static_cast<size_t>(Col);
  const std::string_view Text = FTexts->Get(FIndex[I]);
  const uint32_t Entry = I < FShown.size() ? FShown[I] : 0;
  const uint32_t Kind = Entry & kShownKindMask;
  if (!FFormats || Kind == 0 || Text.empty()) {
    Out.Text = Text;
    return;
  }
  const uint32_t Style = Entry & ~kShownKindMask;
  const TNumberFormat& F = Style ? FFormats->ForStyle(static_cast<int32_t>(Style - 1)) : kGeneral;
  if (Kind == kShownText) {
    F.RenderText(Text, Out);
    return;
  }
  const std::string_view Value = I < FValues.size() && FValues[I] ? FTexts->Get(FValues[I]) : Text;
  if (F.IsGeneral() && ShowsAsStoredInGeneral(Value)) {
    Out.Text = Value;
    Out.IsNumber = true;
    return;
  }
  double Number = 0;
  if (!ReadNumber(Value, Number)) {
    // An edited cell that is no number, or a number cell whose value is unreadable.
    if (Kind == kShownEdited) {
      F.RenderText(Text, Out);
    } else {
      Out.Text = Text;
    }
    return;
  }
  F.RenderNumber(Number, FFormats->Date1904, Out);
  Out.IsNumber = true;
}

TSheetCells::TStoredKind TSheetCells::StoredKind(int32_t Row, int32_t Col,
                                                 std::string_view& Value) const {
  if (Row < 0 || Col < 0 || Row >= FRows || Col >= FCols) return TStoredKind::Unknown;
  const size_t I = static_cast<size_t>(Row) * static_cast<size_t>(FCols) + static_cast<size_t>(Col);
  const uint32_t Kind = I < FShown.size() ? FShown[I] & kShownKindMask : 0;
  if (FIndex[I] == 0) return TStoredKind::Unknown;
  if (Kind == kShownText) return TStoredKind::Text;
  if (Kind != kShownNumber) return TStoredKind::Unknown;
  Value = FTexts->Get(I < FValues.size() && FValues[I] ? FValues[I] : FIndex[I]);
  return TStoredKind::Number;
}

TShownView TSheetCells::ShownCellKept(int32_t Row, int32_t Col) const {
  if (Row < 0 || Col < 0 || Row >= FRows || Col >= FCols) return {};
  const size_t I = static_cast<size_t>(Row) * static_cast<size_t>(FCols) + static_cast<size_t>(Col);
  if (FKept.empty()) {
    // Emptied by every growth: only a larger table counts again.
    const size_t Bytes = FIndex.size() * sizeof(TKept);
    if (Bytes > FKeptCharged) FTexts->Charge(Bytes - FKeptCharged);
    FKeptCharged = std::max(FKeptCharged, Bytes);
    FKept.resize(FIndex.size());
  }
  TKept& K = FKept[I];
  if (!(K.Color & kKept)) {
    TShownText Out;
    ShownCell(Row, Col, Out);
    K.Id = Out.Text == FTexts->Get(FIndex[I]) ? FIndex[I] : FTexts->Add(Out.Text);
    K.Color = kKept | (Out.IsNumber ? kKeptNumber : 0) | (Out.HasColor ? kKeptColor : 0) |
              (Out.HasColor ? Out.Color & 0xFFFFFF : 0);
  }
  return {FTexts->Get(K.Id), (K.Color & kKeptNumber) != 0, (K.Color & kKeptColor) != 0,
          K.Color & 0xFFFFFF};
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
  TShownText Out;
  for (int I = 0; I < SheetCount(); ++I) {
    const TXlsxSheet& S = Sheet(I);
    if (!S.Data) continue;
    auto Shown = std::shared_ptr<TSheetCells>(new TSheetCells(0, 0, S.Data->FTexts));
    Shown->Grow(S.RowCount(), S.ColCount());
    for (int32_t R = 0; R < S.RowCount(); ++R)
      for (int32_t C = 0; C < S.ColCount(); ++C) {
        S.ShownCell(R, C, Out);
        const size_t At =
            static_cast<size_t>(R) * static_cast<size_t>(S.ColCount()) + static_cast<size_t>(C);
        // A text shown as stored stays the one text.
        Shown->FIndex[At] =
            Out.Text == S.Cell(R, C) ? S.Data->FIndex[At] : Shown->FTexts->Add(Out.Text);
      }
    FSheets[static_cast<size_t>(I)].Data = std::move(Shown);
  }
}

}  // namespace kv
