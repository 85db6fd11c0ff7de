// The recalculating workbook: an edit through the service reaches the
// formulas that read it on any sheet, the values shown and saved follow, and
// what cannot be computed keeps the value the file cached. One row per case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Error.h"
#include "calc/RecalcService.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "workbook/CellNotation.h"
#include "workbook/Workbook.h"

namespace kv {
namespace {

struct TCell {
  int Sheet;
  const char* Ref;
  const char* Text;  // what the sheet shows
};

struct TCase {
  const char* What;
  std::vector<std::pair<std::string, std::string>> Sheets;  // name, sheetData
  int EditSheet;                                            // -1: no edit
  const char* EditRef;
  const char* Typed;
  const char* Refused;  // part of the error the edit raises, or null
  std::vector<TCell> Expect;
  std::string Hidden = {};                                     // a sheet the workbook hides
  std::string Names = {};                                      // definedNames of the workbook part
  std::string State = "hidden";                                // how it hides it
  std::vector<std::pair<const char*, const char*>> Then = {};  // later edits: ref, typed
};

// Style 1 formats as Text.
constexpr const char* kStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"49\" applyNumberFormat=\"1\"/>"
    "</cellXfs></styleSheet>";

std::string Row(int R, const std::string& Cells) {
  return "<row r=\"" + std::to_string(R) + "\">" + Cells + "</row>";
}
std::string TextStyled(const std::string& Ref) {
  return "<c r=\"" + Ref + "\" s=\"1\"/>";
}
std::string Num(const std::string& Ref, const std::string& V) {
  return "<c r=\"" + Ref + "\"><v>" + V + "</v></c>";
}
// V null: no "v" element; "": an empty one, as openpyxl writes.
std::string Formula(const std::string& Ref, const std::string& F, const char* V = nullptr) {
  return "<c r=\"" + Ref + "\"><f>" + F + "</f>" + (V ? "<v>" + std::string(V) + "</v>" : "") +
         "</c>";
}

void Place(const char* Ref, int32_t& Row, int32_t& Col) {
  ASSERT_TRUE(ParseCellRef(Ref, Col, Row)) << Ref;
}

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> K = {
      {"an edit reaches the total beside it",
       {{"Sales", Row(2, Num("B2", "1200.5") + Num("C2", "1350.25") + Num("D2", "1410") +
                             Num("E2", "1600") + Formula("F2", "SUM(B2:E2)", "5560.75"))}},
       0,
       "B2",
       "1234.5",
       nullptr,
       {{0, "B2", "1234.5"}, {0, "F2", "5594.75"}}},
      {"an edit reaches formulas on other sheets, quoted names too",
       {{"My Data", Row(1, Num("A1", "2"))},
        {"Sum", Row(1, Formula("A1", "'My Data'!A1*10", "20") + Formula("B1", "A1+1", "21"))}},
       0,
       "A1",
       "3",
       nullptr,
       {{1, "A1", "30"}, {1, "B1", "31"}}},
      {"a typed formula is computed at once, errors by their code",
       {{"S", Row(1, Num("A1", "4") + Num("B1", "0"))}},
       0,
       "C1",
       "=A1/B1",
       nullptr,
       {{0, "C1", "#DIV/0!"}}},
      {"a formula that cannot be read is refused and nothing changes",
       {{"S", Row(1, Num("A1", "4"))}},
       0,
       "A1",
       "=SUM(A1,",
       "at character 9: a \"(\" is not closed",
       {{0, "A1", "4"}}},
      {"a fault inside names its character",
       {{"S", Row(1, Num("A1", "4"))}},
       0,
       "A1",
       "=1+)",
       "at character 4: \")\" is not expected here",
       {{0, "A1", "4"}}},
      {"a wrong number of arguments is named",
       {{"S", Row(1, Num("A1", "4"))}},
       0,
       "A1",
       "=ABS(1,2)",
       "ABS takes 1 argument, not 2",
       {{0, "A1", "4"}}},
      {"an apostrophe enters the rest as text, and readers see text",
       {{"S", Row(1, Num("A1", "4") + Formula("B1", "ISTEXT(A1)", "0") +
                         Formula("C1", "A1&\"!\"", "4!"))}},
       0,
       "A1",
       "'=12",
       nullptr,
       {{0, "A1", "=12"}, {0, "B1", "TRUE"}, {0, "C1", "=12!"}}},
      {"a formula without a cached value is computed when its sheet is read",
       {{"S", Row(1, Num("A1", "6") + Formula("B1", "A1*7") + Formula("C1", "1/0", "") +
                         Formula("D1", "Other!A1&\"x\""))},
        {"Other", Row(1, Formula("A1", "2+3"))}},
       -1,
       nullptr,
       nullptr,
       nullptr,
       {{0, "B1", "42"}, {0, "C1", "#DIV/0!"}, {0, "D1", "5x"}}},
      {"circular and unsupported formulas keep their cached values, and so do their readers",
       {{"S", Row(1, Num("A1", "1") + Formula("B1", "A1+C1", "7") + Formula("C1", "B1*2", "8") +
                         Formula("D1", "CUBEVALUE(A1)", "9") + Formula("E1", "D1+A1", "10") +
                         Formula("F1", "A1*3", "3"))}},
       0,
       "A1",
       "2",
       nullptr,
       {{0, "B1", "7"}, {0, "C1", "8"}, {0, "D1", "9"}, {0, "E1", "10"}, {0, "F1", "6"}}},
      {"in a cell formatted as Text a leading \"=\" is text, as typed",
       {{"S", Row(1, Num("A1", "4") + TextStyled("B1") + Formula("C1", "ISTEXT(B1)", "0"))}},
       0,
       "B1",
       "=A1*2",
       nullptr,
       {{0, "B1", "=A1*2"}, {0, "C1", "TRUE"}}},
      {"a hidden sheet is read as any other: formulas naming it, in it, INDIRECT to it",
       {{"S", Row(1, Num("A1", "1") + Formula("B1", "A1+Secret!A1", "11") +
                         Formula("C1", "INDIRECT(\"Secret!B1\")", "2"))},
        {"Secret", Row(1, Num("A1", "10") + Formula("B1", "S!A1*2", "2"))}},
       0,
       "A1",
       "5",
       nullptr,
       {{0, "B1", "15"}, {0, "C1", "10"}, {1, "B1", "10"}},
       "Secret"},
      {"a very hidden sheet between shown ones comes after them, with its own names",
       {{"S", Row(1, Num("A1", "1"))},
        {"Secret", Row(1, Formula("A1", "S!A1*3", "3") + Formula("B1", "Base*10", "10"))},
        {"T", Row(1, Formula("A1", "Secret!A1+1", "4"))}},
       0,
       "A1",
       "2",
       nullptr,
       {{1, "A1", "7"}, {2, "A1", "6"}, {2, "B1", "20"}},
       "Secret",
       "<definedName name=\"Base\" localSheetId=\"1\">S!$A$1</definedName>",
       "veryHidden"},
      {"defined names: the sheet's own before the workbook's",
       {{"S", Row(1, Num("A1", "2") + Num("A2", "100") + Formula("B1", "A1*Rate", "0") +
                         Formula("C1", "A1+Base", "0"))},
        {"T", Row(1, Num("A1", "3"))}},
       0,
       "A1",
       "4",
       nullptr,
       {{0, "B1", "400"}, {0, "C1", "7"}},
       "",
       "<definedName name=\"Rate\">T!$A$1</definedName>"
       "<definedName name=\"Base\">T!$A$1</definedName>"
       "<definedName name=\"rate\" localSheetId=\"0\">S!$A$2</definedName>"},
      {"a value typed over a recomputed formula is saved as typed, and its readers follow",
       {{"S", Row(1, Num("A1", "1") + Formula("B1", "A1*2", "2") + Formula("C1", "B1+1", "3") +
                         Formula("D1", "1/(B1-7)", "-0.2"))}},
       0,
       "A1",
       "5",
       nullptr,
       {{0, "B1", "7"}, {0, "C1", "8"}, {0, "D1", "#DIV/0!"}},
       "",
       "",
       "hidden",
       {{"B1", "7"}}},
      {"a formula typed over a recomputed one is saved with its latest value",
       {{"S", Row(1, Num("A1", "1") + Formula("B1", "A1*2", "2") + Formula("C1", "B1+1", "3"))}},
       0,
       "A1",
       "5",
       nullptr,
       {{0, "B1", "18"}, {0, "C1", "19"}},
       "",
       "",
       "hidden",
       {{"B1", "=A1*3"}, {"A1", "6"}}},
  };
  return K;
}

TEST(RecalcService, EditsReachTheirReadersAndTheRestKeepsItsValue) {
  for (const TCase& C : Cases()) {
    test::TPackage P = test::MakeBook(C.Sheets);
    std::string Part = P.FEntries[1].second;  // xl/workbook.xml
    if (!C.Hidden.empty()) {
      const std::string Sheet = "<sheet name=\"" + C.Hidden + "\"";
      Part.replace(Part.find(Sheet), Sheet.size(), Sheet + " state=\"" + C.State + "\"");
    }
    if (!C.Names.empty())
      Part.replace(Part.find("</sheets>"), 9,
                   "</sheets><definedNames>" + C.Names + "</definedNames>");
    P.Set("xl/workbook.xml", Part);
    P.Set("xl/styles.xml", kStyles);
    TXlsxWorkbook Book;
    Book.LoadFromBytes(P.Bytes(), "case.xlsx");
    // The viewer lists the shown sheets only.
    EXPECT_EQ(Book.SheetCount(), int(C.Sheets.size()) - (C.Hidden.empty() ? 0 : 1)) << C.What;
    TRecalcService Service(Book);
    (void)Service.Sheet(0);
    if (C.EditSheet >= 0) {
      int32_t R, Col;
      Place(C.EditRef, R, Col);
      try {
        Service.EditCell(C.EditSheet, R, Col, C.Typed);
        for (const auto& [Ref, Typed] : C.Then) {
          Place(Ref, R, Col);
          Service.EditCell(C.EditSheet, R, Col, Typed);
        }
        EXPECT_EQ(C.Refused, nullptr) << C.What;
      } catch (const TKvError& E) {
        ASSERT_NE(C.Refused, nullptr) << C.What << ": " << E.what();
        EXPECT_NE(std::string(E.what()).find(C.Refused), std::string::npos)
            << C.What << ": " << E.what();
      }
    }
    for (const TCell& X : C.Expect) {
      int32_t R, Col;
      Place(X.Ref, R, Col);
      EXPECT_EQ(Service.Sheet(X.Sheet).Cell(R, Col), X.Text) << C.What << ": " << X.Ref;
    }
    if (C.EditSheet < 0) continue;  // values computed without an edit are not saved
    // The saved file holds what was shown, with the formulas the cells have.
    test::TTempDir Dir;
    Book.SaveToFile(Dir.File("saved.xlsx"));
    TXlsxWorkbook Saved;
    Saved.LoadFromFile(Dir.File("saved.xlsx"));
    for (const TCell& X : C.Expect) {
      int32_t R, Col;
      Place(X.Ref, R, Col);
      EXPECT_EQ(Saved.Sheet(X.Sheet).Cell(R, Col), X.Text) << C.What << ": saved " << X.Ref;
      EXPECT_EQ(Saved.Sheet(X.Sheet).Data->FormulaText(R, Col),
                Book.Sheet(X.Sheet).Data->FormulaText(R, Col))
          << C.What << ": saved " << X.Ref;
    }
  }
}

TEST(RecalcService, TheEditorShowsFormulasAndTextThatWouldReadOtherwise) {
  TXlsxWorkbook Book;
  Book.LoadFromBytes(
      test::MakeBook({{"S", Row(1, Num("A1", "2") + Formula("B1", "A1*2", "4") +
                                       "<c r=\"C1\" t=\"inlineStr\"><is><t>=x</t></is></c>")}})
          .Bytes(),
      "e.xlsx");
  TRecalcService Service(Book);
  EXPECT_EQ(Service.EditorText(0, 0, 0), "2");
  EXPECT_EQ(Service.EditorText(0, 0, 1), "=A1*2");
  EXPECT_EQ(Service.EditorText(0, 0, 2), "'=x");
  Service.EditCell(0, 1, 0, "=B1+1");
  EXPECT_EQ(Service.EditorText(0, 1, 0), "=B1+1");
  EXPECT_EQ(Service.Sheet(0).Cell(1, 0), "5");
  // Younger functions carry their file prefix in the file, not in the editor.
  Service.EditCell(0, 1, 1, "=ifs(A1>1,\"IFS(\",TRUE,0)&'S'!A1&concat(1)");
  EXPECT_EQ(Service.Sheet(0).FormulaText(1, 1),
            "_xlfn.ifs(A1>1,\"IFS(\",TRUE,0)&'S'!A1&_xlfn.concat(1)");
  EXPECT_EQ(Service.Sheet(0).Cell(1, 1), "IFS(21");
  EXPECT_EQ(Service.EditorText(0, 1, 1), "=ifs(A1>1,\"IFS(\",TRUE,0)&'S'!A1&concat(1)");
  EXPECT_EQ(FormulaForEditor("_xlfn._xlws.FILTER(A:A,B:B)+SUM(1)"), "FILTER(A:A,B:B)+SUM(1)");
}

}  // namespace
}  // namespace kv
