// Sheets built in the test, the way loading fills them.
#ifndef KV_TESTS_UNIT_EXPORT_SHEETBUILDER_H
#define KV_TESTS_UNIT_EXPORT_SHEETBUILDER_H

#include <memory>
#include <string>
#include <vector>

#include "workbook/Workbook.h"

namespace kv::test {

inline TXlsxSheet MakeSheet(const std::string& Name,
                            const std::vector<std::vector<std::string>>& Rows) {
  TXlsxSheet S;
  S.Name = Name;
  const auto RowCount = static_cast<int32_t>(Rows.size());
  const int32_t ColCount = Rows.empty() ? 0 : static_cast<int32_t>(Rows.front().size());
  if (RowCount == 0 || ColCount == 0) return S;
  auto Cells = std::make_shared<TSheetCells>(RowCount, ColCount);
  for (int32_t R = 0; R < RowCount; ++R)
    for (int32_t C = 0; C < ColCount; ++C)
      if (!Rows[size_t(R)][size_t(C)].empty()) Cells->SetCell(R, C, Rows[size_t(R)][size_t(C)]);
  S.Data = Cells;
  return S;
}

// Rows x Cols cells holding their own reference, "r1c1" style.
inline TXlsxSheet MakeNumberedSheet(const std::string& Name, int32_t Rows, int32_t Cols) {
  std::vector<std::vector<std::string>> Data(static_cast<size_t>(Rows),
                                             std::vector<std::string>(static_cast<size_t>(Cols)));
  for (int32_t R = 0; R < Rows; ++R)
    for (int32_t C = 0; C < Cols; ++C)
      Data[size_t(R)][size_t(C)] = "r" + std::to_string(R + 1) + "c" + std::to_string(C + 1);
  return MakeSheet(Name, Data);
}

}  // namespace kv::test

#endif
