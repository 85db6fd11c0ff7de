// Cell references and number text in the notation the package stores:
// A1-style references and invariant decimal numbers.
#ifndef KV_WORKBOOK_CELLNOTATION_H
#define KV_WORKBOOK_CELLNOTATION_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// The format's limits: rows 1 to 1,048,576, columns A to XFD.
constexpr int32_t kSheetRows = 1048576;
constexpr int32_t kSheetCols = 16384;

// Cell references.
std::string ColumnIndexToLetters(int32_t Index);         // 0 -> "A", 26 -> "AA"; <0 -> ""
int32_t ColumnLettersToIndex(std::string_view Letters);  // "A" -> 0, "" -> -1
// "AA10" -> Col 26, Row 9. Unusable references set both to 0 and give false.
bool ParseCellRef(std::string_view Ref, int32_t& Col, int32_t& Row);

// Number text in invariant notation (decimal point, no grouping).
bool TryParseNumberText(std::string_view Text, double& Value);
// Shortest text of at most 15 significant digits: 0.1 + 0.2 -> "0.3", 1e20 -> "1E20".
std::string FormatNumberText(double Value);

}  // namespace kv

#endif
