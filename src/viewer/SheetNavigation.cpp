#include "viewer/SheetNavigation.h"

namespace kv {

// Every key asks the sheet's cell store, which skips the rows and columns it
// does not hold: no key walks the empty cells between two distant ones.

int32_t RowFirstUsedCol(const TXlsxSheet& Sheet, int32_t Row) {
  return Sheet.FirstUsedCol(Row);
}

int32_t RowLastUsedCol(const TXlsxSheet& Sheet, int32_t Row) {
  return Sheet.LastUsedCol(Row);
}

void DataRegionEdge(const TXlsxSheet& Sheet, int32_t DRow, int32_t DCol, int32_t& Row,
                    int32_t& Col) {
  const bool Inside = Row >= 0 && Row < Sheet.RowCount() && Col >= 0 && Col < Sheet.ColCount();
  if (!Inside || (DRow == 0) == (DCol == 0)) return;
  const TDirection Dir = DRow > 0   ? TDirection::Down
                         : DRow < 0 ? TDirection::Up
                         : DCol > 0 ? TDirection::Right
                                    : TDirection::Left;
  int32_t OutRow, OutCol;
  Sheet.DataRegionEdge(Row, Col, Dir, OutRow, OutCol);
  Row = OutRow;
  Col = OutCol;
}

}  // namespace kv
