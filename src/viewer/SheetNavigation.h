// Where the viewer's navigation keys lead on a sheet: the row's first and
// last used columns (Home, End) and the edge of the data region in a
// direction (Ctrl+arrows), as spreadsheet readers know them. Pure functions
// of the sheet's cells; they raise nothing.
#ifndef KV_VIEWER_SHEETNAVIGATION_H
#define KV_VIEWER_SHEETNAVIGATION_H

#include <cstdint>

#include "workbook/Workbook.h"

namespace kv {

// The first and last non-empty column of Row; -1 when the row is empty.
int32_t RowFirstUsedCol(const TXlsxSheet& Sheet, int32_t Row);
int32_t RowLastUsedCol(const TXlsxSheet& Sheet, int32_t Row);

// From (Row, Col) one step at a time by (DRow, DCol), one of them 0 and the
// other +1 or -1: when the cell and the next are both filled, the last
// filled cell before a gap; otherwise the next filled cell; when there is
// none, the sheet's edge (row or column 0, or the last row or column). The
// result stays inside RowCount x ColCount; a start outside it is returned
// unchanged.
void DataRegionEdge(const TXlsxSheet& Sheet, int32_t DRow, int32_t DCol, int32_t& Row,
                    int32_t& Col);

}  // namespace kv

#endif
