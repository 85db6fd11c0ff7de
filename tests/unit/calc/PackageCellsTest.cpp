// Cells read from a package as Excel writes them: a shared formula stored
// once at its anchor, an array formula, cached values of every type.
#include <gtest/gtest.h>

#include "calc/Calc.h"
#include "calc/PackageCells.h"
#include "support/Package.h"

namespace kv {
namespace {

TEST(PackageCells, SharedFormulasAreReadOnceAndRecomputedPerCell) {
  std::string Data =
      "<row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" "
      "si=\"0\">A1*10</f><v>20</v></c><c r=\"C1\" t=\"str\"><f>\"x\"&amp;B1</f><v>x20</v></c>"
      "<c r=\"D1\"><f t=\"array\" ref=\"D1\">SUM(A1:A3*B1:B3)</f><v>0</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>3</v></c><c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>30</v></c>"
      "<c r=\"C2\" t=\"b\"><v>1</v></c><c r=\"D2\" t=\"e\"><v>#N/A</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>4</v></c><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>99</v></c>"
      "</row>";
  TPackageCells Cells(test::MakeBook({{"Data", Data}}).Bytes());
  EXPECT_TRUE(Cells.CellValue(0, 1, 2) == TCalcValue::Bool(true));
  EXPECT_TRUE(Cells.CellValue(0, 1, 3) == TCalcValue::Err(TCalcError::NA));
  EXPECT_TRUE(Cells.CellValue(0, 0, 2) == TCalcValue::Str("x20"));
  EXPECT_EQ(Cells.FormulaText(0, 2, 1), "A1*10");
  TCalcEngine Engine(Cells);
  std::vector<TChangedCell> Changed;
  Engine.RecalculateAll(&Changed);
  EXPECT_EQ(Engine.CodeBlocks(), 3u);  // the shared group once
  EXPECT_EQ(Engine.Value(0, 2, 1).Number, 40);
  EXPECT_EQ(Engine.Value(0, 0, 3).Number, 2 * 20 + 3 * 30 + 4 * 40);
  ASSERT_EQ(Changed.size(), 2u);  // B3 (cached 99) and the array formula
  Cells.SetValue(0, 0, 0, TCalcValue::Num(5));
  Engine.CellChanged(0, 0, 0);
  Engine.Recalculate();
  EXPECT_TRUE(Engine.Value(0, 0, 2) == TCalcValue::Str("x50"));
}

TEST(PackageCells, APackageWithoutWorkbookPartIsRefused) {
  test::TPackage P = test::MakeBook({{"S", ""}});
  P.Remove("xl/workbook.xml");
  EXPECT_THROW(TPackageCells(P.Bytes()), std::exception);
  P.Set("xl/workbook.xml", "<workbook");
  EXPECT_THROW(TPackageCells(P.Bytes()), std::exception);
}

}  // namespace
}  // namespace kv
