#include <gtest/gtest.h>

#include "support/Package.h"
#include "workbook/Workbook.h"

namespace kv {

// A sheet's hidden columns (<col hidden>) and rows (<row hidden>) are kept as
// ranges; everything else about the sheet loads as before.
TEST(HiddenLines, ColsAndRowsTheSheetHidesAreKept) {
  test::TPackage P = test::MakeBook({{"S", ""}});
  std::string Rows;
  for (int R = 1; R <= 6; ++R)
    Rows += "<row r=\"" + std::to_string(R) + "\"" +
            (R == 2 || R == 3 || R == 5 ? " hidden=\"1\""
             : R == 4                   ? " hidden=\"false\""
                                        : "") +
            "><c r=\"A" + std::to_string(R) + "\"><v>" + std::to_string(R) + "</v></c></row>";
  P.Set("xl/worksheets/sheet1.xml",
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><cols>"
        "<col min=\"2\" max=\"3\" width=\"9\" hidden=\"1\"/><col min=\"4\" max=\"4\" width=\"9\"/>"
        "<col min=\"6\" max=\"6\" hidden=\"true\"/></cols><sheetData>" +
            Rows + "</sheetData></worksheet>");
  TXlsxWorkbook B;
  B.LoadFromBytes(P.Bytes(), "book.xlsx");
  const TXlsxSheet& S = B.Sheet(0);
  EXPECT_EQ(S.RowCount(), 6);
  for (int32_t C : {1, 2, 5}) EXPECT_TRUE(S.HiddenCols.Hidden(C)) << C;
  for (int32_t C : {0, 3, 4, 6}) EXPECT_FALSE(S.HiddenCols.Hidden(C)) << C;
  for (int32_t R : {1, 2, 4}) EXPECT_TRUE(S.HiddenRows.Hidden(R)) << R;
  EXPECT_FALSE(S.HiddenRows.Hidden(3));
  EXPECT_EQ(S.HiddenRows.ShownCount(6), 3);
  EXPECT_EQ(S.HiddenRows.NextShown(1), 3);
  EXPECT_EQ(S.HiddenCols.ShownCount(7), 4);
  EXPECT_EQ(S.Cell(1, 0), "2");
}

TEST(HiddenLines, RangesOutOfOrderAreMerged) {
  THiddenLines L;
  L.Add(10, 12);
  L.Add(2, 3);
  L.Add(4, 9);
  L.Add(20, 20);
  EXPECT_EQ(L.ShownCount(25), 25 - 12);
  EXPECT_EQ(L.NextShown(2), 13);
  EXPECT_EQ(L.NextShown(13), 13);
  EXPECT_TRUE(L.Hidden(20));
  EXPECT_FALSE(L.Hidden(21));
}

}  // namespace kv
