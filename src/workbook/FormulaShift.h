// Formula text moved as a formula copied elsewhere reads: what the save
// needs when a shared formula's first cell is edited and the other cells of
// its group get the formula as their own. Editing and saving themselves are
// TXlsxWorkbook::SetCellValue and SaveToFile (Workbook.h), the worksheet
// splice in SheetSplice.h.
#ifndef KV_WORKBOOK_FORMULASHIFT_H
#define KV_WORKBOOK_FORMULASHIFT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Formula text with its relative references moved DRow rows and DCol columns,
// as a formula copied that far reads: "A1+$B2*Sheet2!C$3" moved one row and
// column reads "B2+$B3*Sheet2!D$3". Absolute parts ("$") stay; a reference
// moved off the sheet becomes "#REF!". Strings, quoted sheet names,
// bracketed parts, function and sheet names are copied unchanged.
std::string ShiftFormulaReferences(std::string_view Formula, int32_t DRow, int32_t DCol);

}  // namespace kv

#endif
