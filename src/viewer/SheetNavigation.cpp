#include "viewer/SheetNavigation.h"

namespace kv {

namespace {

bool Filled(const TXlsxSheet& Sheet, int32_t Row, int32_t Col) {
  return !Sheet.Cell(Row, Col).empty();
}

}  // namespace

int32_t RowFirstUsedCol(const TXlsxSheet& Sheet, int32_t Row) {
  for (int32_t C = 0; C < Sheet.ColCount(); ++C)
    if (Filled(Sheet, Row, C)) return C;
  return -1;
}

int32_t RowLastUsedCol(const TXlsxSheet& Sheet, int32_t Row) {
  for (int32_t C = Sheet.ColCount() - 1; C >= 0; --C)
    if (Filled(Sheet, Row, C)) return C;
  return -1;
}

void DataRegionEdge(const TXlsxSheet& Sheet, int32_t DRow, int32_t DCol, int32_t& Row,
                    int32_t& Col) {
  const int32_t Rows = Sheet.RowCount(), Cols = Sheet.ColCount();
  auto Inside = [&](int32_t R, int32_t C) { return R >= 0 && R < Rows && C >= 0 && C < Cols; };
  if (!Inside(Row, Col) || (DRow == 0 && DCol == 0)) return;
  int32_t R = Row + DRow, C = Col + DCol;
  if (!Inside(R, C)) return;
  if (Filled(Sheet, Row, Col) && Filled(Sheet, R, C)) {
    // Along the block to its last filled cell.
    while (Inside(R + DRow, C + DCol) && Filled(Sheet, R + DRow, C + DCol)) R += DRow, C += DCol;
  } else {
    // Over the gap to the next filled cell, or to the edge.
    while (Inside(R + DRow, C + DCol) && !Filled(Sheet, R, C)) R += DRow, C += DCol;
  }
  Row = R;
  Col = C;
}

}  // namespace kv
