// Editing worksheet parts as XML trees: the element-level operations behind
// TXlsxWorkbook::SetCellValue and the serialisation that SaveToFile writes.
// They promise a worksheet that readers accept without repair: rows stay in
// ascending row number, cells in ascending column order within their row, and
// children of a cell in the order the cell schema asks (f, v, is, extLst).
// Elements are found by local name and created with their parent's prefix
// (none in the usual parts), so they serialise in the parent's namespace
// without a declaration of their own.
#ifndef KV_WORKBOOK_XLSXWRITER_H
#define KV_WORKBOOK_XLSXWRITER_H

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace kv {

// The first child "row" of SheetData whose "r" reads as RowNumber (1-based);
// otherwise a new row with that "r", placed before the first row with a higher
// number. Requires: SheetData is an element, RowNumber >= 1.
pugi::xml_node FindOrAddRow(pugi::xml_node SheetData, int32_t RowNumber);

// The first child of Row whose "r" equals Ref ignoring ASCII case; otherwise a
// new "c" with "r" = Ref, placed before the first cell of a later column.
// Requires: Row is an element, Ref a usable cell reference such as "C7".
pugi::xml_node FindOrAddCell(pugi::xml_node Row, std::string_view Ref);

// Removes the first child element named Name, if any.
void RemoveChildByName(pugi::xml_node Element, const char* Name);

// Gives a cell element the constant NewValue: drops its formula and value,
// then writes an empty number cell (blank text), a number cell (text that
// reads as an invariant number, stored in its shortest form) or an inline
// string (anything else, kept as typed). Other attributes, such as the style
// "s", are kept.
void SetCellElementValue(pugi::xml_node Cell, const std::string& NewValue);

// Formula text with its relative references moved DRow rows and DCol columns,
// as a formula copied that far reads: "A1+$B2*Sheet2!C$3" moved one row and
// column reads "B2+$B3*Sheet2!D$3". Absolute parts ("$") stay; a reference
// moved off the sheet becomes "#REF!". Strings, quoted sheet names,
// bracketed parts, function and sheet names are copied unchanged.
std::string ShiftFormulaReferences(std::string_view Formula, int32_t DRow, int32_t DCol);

// Before the shared formula of cell Master ("f" with t="shared" and its text)
// is removed: gives every cell of the same group in SheetData the formula
// moved to it, as a formula of its own, so none is left referring to a
// group whose text is gone. Nothing happens for other cells.
void UnshareFormulaGroup(pugi::xml_node SheetData, pugi::xml_node Master);

// The "sheetData" element of a worksheet tree, added at its place in the
// worksheet when missing; empty for trees that hold no cell data (a chart
// sheet, a document without an element).
pugi::xml_node FindOrAddSheetData(pugi::xml_document& Doc);

// Parses a worksheet part keeping everything the tree can keep (declaration,
// comments, processing instructions, white space), so that serialising it
// changes nothing but the edits. A leading UTF-8 byte order mark is skipped.
// Raises: TKvError naming PartName when the part is not well-formed XML.
void ParseSheetPart(pugi::xml_document& Doc, std::string_view Bytes, const std::string& PartName);

// The tree as UTF-8 bytes with an XML declaration naming UTF-8.
std::string SerializeSheetPart(pugi::xml_document& Doc);

}  // namespace kv

#endif
