#include "workbook/SheetCells.h"

#include <algorithm>

#include "workbook/TextPool.h"

namespace kv {

TSheetCells::TSheetCells(int32_t Rows, int32_t Cols)
    : TSheetCells(Rows, Cols, std::make_shared<TTextPool>()) {}

TSheetCells::TSheetCells(int32_t Rows, int32_t Cols, std::shared_ptr<TTextPool> Texts)
    : FTexts(std::move(Texts)) {
  Grow(Rows, Cols);
}

std::string_view TSheetCells::Cell(int32_t Row, int32_t Col) const {
  if (Row < 0 || Col < 0 || Row >= FRows || Col >= FCols) return {};
  return FTexts->Get(
      FIndex[static_cast<size_t>(Row) * static_cast<size_t>(FCols) + static_cast<size_t>(Col)]);
}

void TSheetCells::Grow(int32_t Rows, int32_t Cols) {
  if (!FTexts) FTexts = std::make_shared<TTextPool>();
  const int32_t NewRows = std::max(FRows, Rows);
  const int32_t NewCols = std::max(FCols, Cols);
  if (NewRows == FRows && NewCols == FCols) return;
  const size_t NewSize = static_cast<size_t>(NewRows) * static_cast<size_t>(NewCols);
  const size_t Tables = 1 + (FFormats != nullptr) + !FValues.empty();
  FTexts->Charge((NewSize - FIndex.size()) * sizeof(uint32_t) * Tables);
  auto Relayout = [&](std::vector<uint32_t>& Table) {
    if (NewCols == FCols) {
      Table.resize(NewSize, 0);
      return;
    }
    std::vector<uint32_t> Index(NewSize, 0);
    for (int32_t R = 0; R < FRows; ++R)
      std::copy_n(Table.begin() + static_cast<ptrdiff_t>(R) * FCols, FCols,
                  Index.begin() + static_cast<ptrdiff_t>(R) * NewCols);
    Table.swap(Index);
  };
  Relayout(FIndex);
  FKept.clear();
  if (FFormats) Relayout(FShown);
  if (!FValues.empty()) Relayout(FValues);
  FRows = NewRows;
  FCols = NewCols;
}

void TSheetCells::SetCell(int32_t Row, int32_t Col, std::string_view Text) {
  Grow(Row + 1, Col + 1);
  const size_t I = static_cast<size_t>(Row) * static_cast<size_t>(FCols) + static_cast<size_t>(Col);
  FIndex[I] = FTexts->Add(Text);
  // The cell keeps its style; whether the new text is a number is read when shown.
  if (!FShown.empty()) FShown[I] = (FShown[I] & ~kShownKindMask) | kShownEdited;
  if (!FValues.empty()) FValues[I] = 0;
  if (!FKept.empty()) FKept[I] = {};
}

size_t TSheetCells::TextBytes() const {
  return FTexts ? FTexts->HeldBytes() : 0;
}

}  // namespace kv
