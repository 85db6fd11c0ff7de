// The sparse cell store: typed reads, formulas as the file holds them, the
// navigation queries, memory that follows the cells present, and the cell
// budget.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Error.h"
#include "support/Package.h"
#include "workbook/SheetCells.h"
#include "workbook/TextPool.h"
#include "workbook/Workbook.h"

namespace kv {

namespace {

using test::MakeBook;

std::string LoadError(TXlsxWorkbook& B, const std::string& Bytes, int Sheet) {
  try {
    B.LoadFromBytes(Bytes, "book.xlsx");
    (void)B.Sheet(Sheet);
  } catch (const TKvError& E) {
    return E.what();
  }
  return "(loaded)";
}

}  // namespace

TEST(SheetCells, CellsKeepTypeStyleTextAndFormula) {
  TXlsxWorkbook B;
  auto P = MakeBook(
      {{"S",
        "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>12.5</v></c><c r=\"B1\" t=\"s\"><v>0</v></c>"
        "<c r=\"C1\" t=\"inlineStr\"><is><t>in</t></is></c><c r=\"D1\" t=\"b\"><v>1</v></c>"
        "<c r=\"E1\" t=\"e\"><v>#DIV/0!</v></c>"
        "<c r=\"F1\" t=\"str\"><f>CONCAT(\"a\",\"b\")</f><v>ab</v></c>"
        "<c r=\"G1\" t=\"d\"><v>2024-01-15</v></c><c r=\"H1\" s=\"2\"/>"
        "<c r=\"I1\"><v>3.3333333333333335</v></c><c r=\"J1\"><v>1E-3</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" ref=\"A2:A4\" si=\"0\">B2*2</f><v>4</v></c>"
        "<c r=\"B2\"><v>2</v></c></row>"
        "<row r=\"3\"><c r=\"A3\"><f t=\"shared\" si=\"0\"/><v>6</v></c><c "
        "r=\"B3\"><v>3</v></c></row>"
        "<row r=\"4\"><c r=\"A4\"><f t=\"shared\" si=\"0\"/><v>8</v></c><c "
        "r=\"B4\"><v>4</v></c></row>"
        "<row r=\"5\"><c r=\"C5\"><f t=\"array\" ref=\"C5:C6\">B2:B3*2</f><v>4</v></c></row>"}});
  P.Set("xl/sharedStrings.xml", "<sst><si><t>shared</t></si></sst>");
  B.LoadFromBytes(P.Bytes(), "book.xlsx");
  const TXlsxSheet& S = B.Sheet(0);
  const TCellType Types[] = {TCellType::Number,  TCellType::SharedString, TCellType::InlineString,
                             TCellType::Boolean, TCellType::Error,        TCellType::FormulaString,
                             TCellType::IsoDate, TCellType::Empty,        TCellType::Number};
  const char* Texts[] = {"12.5", "shared", "in", "TRUE", "#DIV/0!", "ab", "2024-01-15", ""};
  for (int32_t C = 0; C < 8; ++C) {
    EXPECT_EQ(S.CellType(0, C), Types[C]) << C;
    EXPECT_EQ(S.Cell(0, C), Texts[C]) << C;
  }
  EXPECT_EQ(S.Cell(0, 8), "3.3333333333333335");  // long numbers exactly as stored
  EXPECT_EQ(S.Cell(0, 9), "1E-3");
  EXPECT_EQ(S.CellStyle(0, 0), 1);
  EXPECT_EQ(S.CellStyle(0, 1), -1);
  EXPECT_EQ(S.CellStyle(0, 7), 2);  // an empty cell keeps its style
  EXPECT_EQ(S.CellType(40, 40), TCellType::Empty);

  // Formulas: a shared group held once, each member reading it moved.
  EXPECT_EQ(S.FormulaText(0, 5), "CONCAT(\"a\",\"b\")");
  EXPECT_EQ(S.FormulaText(1, 0), "B2*2");
  EXPECT_EQ(S.FormulaText(3, 0), "B4*2");
  EXPECT_EQ(S.FormulaText(1, 1), "");
  TCellFormula F;
  ASSERT_TRUE(S.Data->CellFormula(2, 0, F));
  EXPECT_EQ(F.Kind, TFormulaKind::Shared);
  EXPECT_EQ(F.Text, "B2*2");
  EXPECT_EQ(F.AnchorRow, 1);
  EXPECT_EQ(F.Range, "A2:A4");
  ASSERT_TRUE(S.Data->CellFormula(4, 2, F));
  EXPECT_EQ(F.Kind, TFormulaKind::Array);
  EXPECT_EQ(F.Range, "C5:C6");
  EXPECT_EQ(S.Data->FormulaCellCount(), 5u);

  // An edit replaces the cell's formula only; one in an array range ends the array.
  B.SetCellValue(0, 2, 0, "7");
  B.SetCellValue(0, 5, 2, "x");
  EXPECT_EQ(S.FormulaText(2, 0), "");
  EXPECT_EQ(S.CellType(2, 0), TCellType::Number);
  EXPECT_EQ(S.FormulaText(3, 0), "B4*2");
  EXPECT_EQ(S.FormulaText(4, 2), "");
  EXPECT_EQ(S.Cell(4, 2), "4");
  EXPECT_EQ(S.CellType(5, 2), TCellType::InlineString);
  EXPECT_EQ(S.Data->FormulaCellCount(), 3u);
  // The list of formula cells gives what a look-up of each gives, edits included.
  for (size_t I = 0; I < S.Data->FormulaCellCount(); ++I) {
    int32_t Row, Col;
    TCellFormula Listed, Found;
    S.Data->FormulaCellAt(I, Row, Col, Listed);
    ASSERT_TRUE(S.Data->CellFormula(Row, Col, Found)) << I;
    EXPECT_EQ(Listed.Text, Found.Text) << I;
    EXPECT_EQ(Listed.Kind, Found.Kind) << I;
    EXPECT_EQ(Listed.AnchorRow, Found.AnchorRow) << I;
    EXPECT_EQ(Listed.Range, Found.Range) << I;
  }
}

TEST(SheetCells, WholeSheetCostsTheCellsPresent) {
  TXlsxWorkbook B;
  B.LoadFromBytes(MakeBook({{"S", "<row r=\"5000\"><c r=\"A5000\"><v>1</v></c></row>"},
                            {"W",
                             "<row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"XFD1\"><v>3</v></c>"
                             "<c r=\"XFE1\"><v>x</v></c></row>"
                             "<row r=\"1048576\"><c r=\"XFD1048576\"><v>4</v></c></row>"
                             "<row r=\"1048577\"><c r=\"A1048577\"><v>5</v></c></row>"}})
                      .Bytes(),
                  "book.xlsx");
  EXPECT_EQ(B.Sheet(0).RowCount(), 5000);
  EXPECT_EQ(B.Sheet(0).Cell(4999, 0), "1");
  const TXlsxSheet& W = B.Sheet(1);
  EXPECT_EQ(W.RowCount(), 1048576);
  EXPECT_EQ(W.ColCount(), 16384);
  EXPECT_EQ(W.Data->CellCount(), 3u);  // cells beyond the format's limits have no place
  EXPECT_EQ(W.Cell(1048575, 16383), "4");
  EXPECT_EQ(W.Cell(0, 16383), "3");
  EXPECT_LT(W.Data->TextBytes(), size_t{128} << 10);  // one empty block slot per 256 rows

  // 100,000 numbers: 16 bytes each and a block slot per 256 rows; the growth
  // of the first block is given back once the sheet is read.
  std::string Rows;
  for (int R = 1; R <= 10000; ++R) {
    Rows += "<row r=\"" + std::to_string(R) + "\">";
    for (int C = 0; C < 10; ++C) Rows += "<c><v>" + std::to_string(R * 10 + C) + ".25</v></c>";
    Rows += "</row>";
  }
  TXlsxWorkbook N;
  N.LoadFromBytes(MakeBook({{"N", Rows}}).Bytes(), "n.xlsx");
  EXPECT_EQ(N.Sheet(0).Data->CellCount(), 100000u);
  EXPECT_EQ(N.Sheet(0).Cell(9999, 9), "100009.25");
  EXPECT_LE(N.Sheet(0).Data->TextBytes(), size_t{100000} * 16 + 4096);
}

// Cells put in any order land in row-major order and read back wherever
// they are: rows of one width (read by a guess at their place), ragged rows,
// rows added before and between others, across two blocks.
TEST(SheetCells, CellsPutInAnyOrderReadBack) {
  TSheetCells T;
  std::vector<std::pair<int32_t, int32_t>> Order;
  for (int32_t R : {300, 2, 0, 255, 1, 256})
    for (int32_t C : {3, 0, 2, 1}) Order.push_back({R, C});
  Order.push_back({1, 9});  // row 1 made wider: the guess misses from there on
  Order.push_back({0, 16383});
  for (const auto& [R, C] : Order) T.SetCell(R, C, std::to_string(R) + "," + std::to_string(C));
  EXPECT_EQ(T.CellCount(), Order.size());
  for (const auto& [R, C] : Order)
    EXPECT_EQ(T.Cell(R, C), std::to_string(R) + "," + std::to_string(C));
  EXPECT_FALSE(T.HasCell(0, 4));
  EXPECT_FALSE(T.HasCell(3, 0));
  std::vector<std::pair<int32_t, int32_t>> Visited;
  T.ForEachCell([&](int32_t R, int32_t C, std::string_view) { Visited.push_back({R, C}); });
  std::sort(Order.begin(), Order.end());
  EXPECT_EQ(Visited, Order);
  EXPECT_EQ(T.NextUsedRow(2), 255);
  EXPECT_EQ(T.NextUsedRow(256), 300);
  EXPECT_EQ(T.NextUsedRow(300), -1);
  // The style field holds indices up to 16,777,214; beyond, none.
  T.PutCell(5, 5, TCellType::Number, 16777214, "1");
  T.PutCell(5, 6, TCellType::Number, 16777215, "1");
  EXPECT_EQ(T.CellStyle(5, 5), 16777214);
  EXPECT_EQ(T.CellStyle(5, 6), -1);
  EXPECT_EQ(T.Cell(2, 3), "2,3");
}

TEST(SheetCells, CellBudgetNamesTheSheetThatPassesIt) {
  std::string Rows;
  for (int R = 1; R <= 60; ++R) Rows += "<row><c><v>1</v></c><c><v>2</v></c></row>";
  const std::string Book = MakeBook({{"First", Rows}, {"Second", Rows}}).Bytes();
  TXlsxWorkbook B;
  B.SetCellBudget(240);
  EXPECT_EQ(LoadError(B, Book, 1), "(loaded)");
  B.SetCellBudget(150);
  EXPECT_EQ(LoadError(B, Book, 1),
            "The sheet \"Second\" cannot be loaded: the workbook would hold more than 150 cells, "
            "the most it can hold in memory.");
  EXPECT_EQ(B.Sheet(0).Cell(59, 1), "2");  // the sheets read before stay
  B.SetCellBudget(119);
  EXPECT_NE(LoadError(B, Book, 0).find("\"First\""), std::string::npos);
  EXPECT_EQ(TXlsxWorkbook::kCellBudget, 16777216u);
}

// Rows 1-5, 8 and 1,048,576 of column A filled; row 1 holds A-C and E (D1
// empty but styled); J4 makes the table ten columns wide.
TEST(SheetCells, NavigationFindsRegionEdgesWithoutWalkingEmptyRows) {
  TSheetCells T;
  for (int32_t R : {0, 1, 2, 3, 4, 7, TSheetCells::kMaxRows - 1}) T.SetCell(R, 0, "a");
  T.SetCell(0, 1, "b");
  T.SetCell(0, 2, "c");
  T.PutCell(0, 3, TCellType::Empty, 4, "");
  T.SetCell(0, 4, "e");
  T.SetCell(3, 9, "j");
  struct TMove {
    int32_t Row, Col;
    TDirection Dir;
    int32_t ToRow, ToCol;
  } const Moves[] = {
      {0, 0, TDirection::Down, 4, 0},       {4, 0, TDirection::Down, 7, 0},
      {7, 0, TDirection::Down, 1048575, 0}, {1048575, 0, TDirection::Down, 1048575, 0},
      {1048575, 0, TDirection::Up, 7, 0},   {7, 0, TDirection::Up, 4, 0},
      {4, 0, TDirection::Up, 0, 0},         {0, 0, TDirection::Up, 0, 0},
      {0, 0, TDirection::Right, 0, 2},      {0, 2, TDirection::Right, 0, 4},
      {0, 4, TDirection::Right, 0, 9},      {0, 4, TDirection::Left, 0, 2},
      {0, 2, TDirection::Left, 0, 0},       {5, 0, TDirection::Right, 5, 9},
      {6, 5, TDirection::Down, 1048575, 5}, {3, 5, TDirection::Right, 3, 9},
  };
  for (const TMove& M : Moves) {
    int32_t R, C;
    T.DataRegionEdge(M.Row, M.Col, M.Dir, R, C);
    EXPECT_EQ(R, M.ToRow) << M.Row << "," << M.Col << " dir " << int(M.Dir);
    EXPECT_EQ(C, M.ToCol) << M.Row << "," << M.Col << " dir " << int(M.Dir);
  }
  int32_t R, C;
  ASSERT_TRUE(T.LastUsedCell(R, C));
  EXPECT_EQ(R, 1048575);
  EXPECT_EQ(C, 9);
  EXPECT_EQ(T.FirstUsedCol(0), 0);
  EXPECT_EQ(T.LastUsedCol(0), 4);
  EXPECT_EQ(T.FirstUsedCol(3), 0);
  EXPECT_EQ(T.LastUsedCol(3), 9);
  EXPECT_EQ(T.FirstUsedCol(5), -1);
  ASSERT_TRUE(T.FindCell(0, 0, TDirection::Down, false, R, C));
  EXPECT_EQ(R, 5);
  ASSERT_TRUE(T.FindCell(5, 0, TDirection::Down, true, R, C));
  EXPECT_EQ(R, 7);
  EXPECT_FALSE(T.FindCell(7, 1, TDirection::Down, true, R, C));
  ASSERT_TRUE(T.FindCell(0, 2, TDirection::Right, false, R, C));
  EXPECT_EQ(C, 3);  // an empty cell with a style is empty
  TSheetCells Empty;
  EXPECT_FALSE(Empty.LastUsedCell(R, C));
}

}  // namespace kv
