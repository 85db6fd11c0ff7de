// Telling readers to recalculate: once a save has changed input cells, the
// values cached in formula cells may be stale, so the workbook part asks
// every reader to compute all formulas when it opens the file
// (calcPr fullCalcOnLoad="1"). Only that attribute changes; every other byte
// of the part stays as it was.
#ifndef KV_WORKBOOK_CALCONLOAD_H
#define KV_WORKBOOK_CALCONLOAD_H

#include <string>
#include <string_view>

#include "xml/XmlPull.h"

namespace kv {

// The workbook part with fullCalcOnLoad="1" set on its "calcPr", or a new
// "calcPr" where the workbook schema places it. PartName names the part in
// errors. Raises: the pull reader's errors.
std::string WithFullCalcOnLoad(std::string_view Part, const std::string& PartName);

// Whether a worksheet part read from Source holds a formula in a cell.
// Raises: the pull reader's and the source's errors.
bool SheetHasFormula(TXmlSource& Source, const std::string& PartName);

}  // namespace kv

#endif
