// Edits as a spreadsheet makes them, through the workbook: the type a cell
// gives typed text, the limits and protection that refuse an edit, and what
// a save tells readers. Books are built in the test; each saved part is read
// back through the loader and as XML.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "workbook/CalcOnLoad.h"
#include "workbook/CellNotation.h"
#include "numfmt/NumberFormat.h"
#include "workbook/TableParts.h"
#include "workbook/Workbook.h"
#include "zip/ZipReader.h"

namespace kv {

namespace {

// Styles: 0 General, 1 Text, 2 yyyy-mm-dd, 3 dd/mm/yyyy, 4 0.00, 5 General unlocked.
const char* const kStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd\"/>"
    "<numFmt numFmtId=\"165\" formatCode=\"dd/mm/yyyy\"/></numFmts><cellXfs count=\"6\">"
    "<xf numFmtId=\"0\"/><xf numFmtId=\"49\" applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"164\"/><xf numFmtId=\"165\"/><xf numFmtId=\"2\"/>"
    "<xf numFmtId=\"0\" applyProtection=\"1\"><protection locked=\"0\"/></xf></cellXfs>"
    "</styleSheet>";

std::string PartText(const std::string& Path, const std::string& Name) {
  TZipReader Zip(ReadWholeFile(Path));
  for (size_t I = 0; I < Zip.EntryCount(); ++I)
    if (Zip.Entry(I).Name == Name) return Zip.ReadEntry(I);
  ADD_FAILURE() << "no entry " << Name;
  return {};
}

// The cell element REF of a saved sheet part, as written.
std::string CellXml(const std::string& Sheet, const std::string& Ref) {
  const size_t At = Sheet.find("<c r=\"" + Ref + "\"");
  if (At == std::string::npos) return {};
  const size_t Short = Sheet.find("/>", At), Long = Sheet.find("</c>", At);
  const size_t End = Long < Short && Sheet.find('>', At) < Short ? Long + 4 : Short + 2;
  return Sheet.substr(At, End - At);
}

struct TBook {
  test::TTempDir Dir;
  std::string Path = Dir.File("book.xlsx");
  TXlsxWorkbook Book;

  explicit TBook(const std::string& SheetData, const std::string& AfterSheetData = "",
                 const std::string& Cols = "", const std::string& Table = "") {
    test::TPackage P = test::MakeBook({{"S", SheetData}});
    if (!Table.empty()) {
      P.Set("xl/worksheets/_rels/sheet1.xml.rels",
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
            "2006/relationships/table\" Target=\"../tables/table1.xml\"/></Relationships>");
      P.Set("xl/tables/table1.xml", Table);
    }
    P.Set("xl/styles.xml", kStyles);
    std::string Sheet = test::SheetXml(SheetData);
    Sheet.replace(Sheet.find("<sheetData>"), 0, Cols);
    Sheet.replace(Sheet.find("</worksheet>"), 0, AfterSheetData);
    P.Set("xl/worksheets/sheet1.xml", Sheet);
    WriteWholeFile(Path, P.Bytes());
    Book.LoadFromFile(Path);
  }
  // Saves elsewhere and answers the saved sheet part; Reloaded gets the book.
  std::string Save(TXlsxWorkbook* Reloaded = nullptr) {
    const std::string Out = Dir.File("out.xlsx");
    Book.SaveToFile(Out);
    if (Reloaded) Reloaded->LoadFromFile(Out);
    return PartText(Out, "xl/worksheets/sheet1.xml");
  }
};

// Every table of the saved book: header cells are text equal to their
// column's name, and no two names of a table are the same.
void ExpectTablesAgree(const std::string& Path) {
  TXlsxWorkbook Back;
  Back.LoadFromFile(Path);
  const std::string Sheet = PartText(Path, "xl/worksheets/sheet1.xml");
  TTablePart T;
  ASSERT_TRUE(ReadTablePart(PartText(Path, "xl/tables/table1.xml"), "t", T));
  for (size_t K = 0; K < T.Columns.size(); ++K) {
    const int32_t Col = T.Left + static_cast<int32_t>(K);
    EXPECT_EQ(Back.Sheet(0).Cell(T.Top, Col), T.Columns[K]);
    const std::string Cell = CellXml(Sheet, ColumnIndexToLetters(Col) + std::to_string(T.Top + 1));
    EXPECT_TRUE(Cell.find("t=\"inlineStr\"") != std::string::npos ||
                Cell.find("t=\"s\"") != std::string::npos)
        << Cell;
    for (size_t J = 0; J < K; ++J) EXPECT_NE(AsciiLower(T.Columns[J]), AsciiLower(T.Columns[K]));
  }
}

}  // namespace

TEST(EditRules, TypedTextTakesTheCellsTypeAndReloadsAsShown) {
  TBook B(
      "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>00123</t></is></c>"
      "<c r=\"B1\" t=\"b\"><v>1</v></c><c r=\"C1\" s=\"2\"><v>45000</v></c>"
      "<c r=\"D1\" s=\"3\"><v>45000</v></c><c r=\"E1\" s=\"4\" t=\"b\"><v>0</v></c>"
      "<c r=\"F1\" s=\"4\"><v>1</v></c></row><row r=\"3\"><c r=\"A3\" s=\"1\"/></row>",
      "", "<cols><col min=\"8\" max=\"9\" style=\"1\"/></cols>");
  struct {
    const char* Ref;
    int32_t Col;
    const char* Typed;
    const char* Written;
  } const Cases[] = {
      {"A1", 0, "00456", "<c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>00456</t></is></c>"},
      {"B1", 1, "false", "<c r=\"B1\" t=\"b\"><v>0</v></c>"},
      {"C1", 2, "2024-02-01 14:30", "<c r=\"C1\" s=\"2\" t=\"n\"><v>45323.6041666667</v></c>"},
      {"D1", 3, "01/02/2024", "<c r=\"D1\" s=\"3\" t=\"n\"><v>45323</v></c>"},
      {"E1", 4, "TRUE", "<c r=\"E1\" s=\"4\" t=\"b\"><v>1</v></c>"},
      {"F1", 5, "TRUE", "<c r=\"F1\" s=\"4\" t=\"inlineStr\"><is><t>TRUE</t></is></c>"},
      {"G1", 6, "True", "<c r=\"G1\" t=\"b\"><v>1</v></c>"},
      // A new cell in a Text column takes the column's style and keeps its zeros.
      {"H1", 7, "007", "<c r=\"H1\" s=\"1\" t=\"inlineStr\"><is><t>007</t></is></c>"},
  };
  for (const auto& C : Cases) B.Book.SetCellValue(0, 0, C.Col, C.Typed);
  // An empty Text cell below the last row with values keeps the zeros too.
  B.Book.SetCellValue(0, 2, 0, "0042");
  TXlsxWorkbook Back;
  const std::string Sheet = B.Save(&Back);
  EXPECT_EQ(CellXml(Sheet, "A3"), "<c r=\"A3\" s=\"1\" t=\"inlineStr\"><is><t>0042</t></is></c>");
  EXPECT_EQ(Back.Sheet(0).Cell(2, 0), "0042");
  for (const auto& C : Cases) {
    EXPECT_EQ(CellXml(Sheet, C.Ref), C.Written) << C.Typed;
    // Right after the edit the book shows what a reload shows, as stored and as formatted.
    EXPECT_EQ(B.Book.Sheet(0).Cell(0, C.Col), Back.Sheet(0).Cell(0, C.Col)) << C.Ref;
    TShownText Now, Reloaded;
    B.Book.Sheet(0).ShownCell(0, C.Col, Now);
    Back.Sheet(0).ShownCell(0, C.Col, Reloaded);
    EXPECT_EQ(Now.Text, Reloaded.Text) << C.Ref;
    EXPECT_EQ(Now.IsNumber, Reloaded.IsNumber) << C.Ref;
  }
  EXPECT_EQ(Back.Sheet(0).Cell(0, 2), "2024-02-01 14:30");
}

TEST(EditRules, TextBeyondExcelsLimitIsRefusedUnchanged) {
  TBook B("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
  // Counted in UTF-16 units: a character outside the BMP counts twice.
  const std::string Emoji = "\xF0\x9F\x98\x80";
  std::string AtLimit(32765, 'x');
  AtLimit += Emoji;
  B.Book.SetCellValue(0, 0, 1, AtLimit);
  try {
    B.Book.SetCellValue(0, 0, 0, AtLimit + "y");
    FAIL() << "no error";
  } catch (const TKvError& E) {
    EXPECT_EQ(ErrorMessage(E), "A cell can hold at most 32,767 characters; this text has 32768.");
  }
  EXPECT_EQ(B.Book.Sheet(0).Cell(0, 0), "1");
  TXlsxWorkbook Back;
  B.Save(&Back);
  EXPECT_EQ(Back.Sheet(0).Cell(0, 1), AtLimit);
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "1");
}

TEST(EditRules, LockedCellsOfProtectedSheetsAreRefused) {
  const std::string Data =
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" s=\"5\"><v>2</v></c></row>"
      "<row r=\"3\" s=\"5\" customFormat=\"1\"/>";
  const std::string Cols = "<cols><col min=\"4\" max=\"4\" style=\"5\"/></cols>";
  TBook Open(Data, "", Cols);
  EXPECT_FALSE(Open.Book.IsCellLocked(0, 0, 0));
  TBook B(Data, "<sheetProtection sheet=\"1\" objects=\"1\"/>", Cols);
  EXPECT_TRUE(B.Book.IsCellLocked(0, 0, 0));   // General style, locked by default
  EXPECT_FALSE(B.Book.IsCellLocked(0, 0, 1));  // its style unlocks it
  EXPECT_TRUE(B.Book.IsCellLocked(0, 1, 0));   // no cell: style 0
  EXPECT_FALSE(B.Book.IsCellLocked(0, 2, 0));  // no cell, in an unlocked row
  EXPECT_FALSE(B.Book.IsCellLocked(0, 5, 3));  // no cell, in an unlocked column
  EXPECT_FALSE(B.Book.IsCellLocked(1, 0, 0));  // no such sheet
  try {
    B.Book.SetCellValue(0, 0, 0, "9");
    FAIL() << "no error";
  } catch (const TKvError& E) {
    EXPECT_EQ(ErrorMessage(E), "The cell A1 is locked: the sheet S is protected.");
  }
  B.Book.SetCellValue(0, 0, 1, "8");
  B.Book.SetCellValue(0, 5, 3, "7");
  TXlsxWorkbook Back;
  const std::string Sheet = B.Save(&Back);
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "1");
  EXPECT_EQ(Back.Sheet(0).Cell(0, 1), "8");
  EXPECT_EQ(CellXml(Sheet, "D6"), "<c r=\"D6\" s=\"5\" t=\"n\"><v>7</v></c>");
  EXPECT_FALSE(Back.IsCellLocked(0, 5, 3));
  TBook Off(Data, "<sheetProtection sheet=\"0\"/>");
  EXPECT_FALSE(Off.Book.IsCellLocked(0, 0, 0));
}

TEST(EditRules, ASaveWithEditsTellsReadersToRecalculateFormulas) {
  struct {
    const char* What;
    const char* Part;
    const char* Written;
  } const Cases[] = {
      {"set", "<workbook><sheets/><calcPr calcId=\"1\" fullCalcOnLoad=\"0\"/></workbook>",
       "<workbook><sheets/><calcPr calcId=\"1\" fullCalcOnLoad=\"1\"/></workbook>"},
      {"added to calcPr", "<workbook><sheets/><x:calcPr calcId='1' >\n</x:calcPr></workbook>",
       "<workbook><sheets/><x:calcPr calcId='1'  fullCalcOnLoad=\"1\">\n</x:calcPr></workbook>"},
      {"new, before what follows it",
       "\xEF\xBB\xBF<x:workbook><x:sheets/><x:definedNames/><x:extLst/></x:workbook>",
       "\xEF\xBB\xBF<x:workbook><x:sheets/><x:definedNames/><x:calcPr fullCalcOnLoad=\"1\"/>"
       "<x:extLst/></x:workbook>"},
      {"new, last", "<workbook>\n<sheets/>\n</workbook>",
       "<workbook>\n<sheets/>\n<calcPr fullCalcOnLoad=\"1\"/></workbook>"},
  };
  for (const auto& C : Cases) EXPECT_EQ(WithFullCalcOnLoad(C.Part, "wb"), C.Written) << C.What;

  // Through a save: only with an edit, only in a book with formulas.
  const std::string Formula =
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f>A1*2</f>"
      "<v>2</v></c></row>";
  TBook Plain("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"), Calc(Formula), Unedited(Formula);
  const std::string Before = PartText(Calc.Path, "xl/workbook.xml");
  Plain.Book.SetCellValue(0, 0, 0, "5");
  Calc.Book.SetCellValue(0, 0, 0, "5");
  Plain.Save();
  Calc.Save();
  Unedited.Save();
  EXPECT_EQ(PartText(Plain.Dir.File("out.xlsx"), "xl/workbook.xml"), Before);
  EXPECT_EQ(PartText(Unedited.Dir.File("out.xlsx"), "xl/workbook.xml"), Before);
  EXPECT_EQ(PartText(Calc.Dir.File("out.xlsx"), "xl/workbook.xml"),
            WithFullCalcOnLoad(Before, "wb"));
  EXPECT_NE(WithFullCalcOnLoad(Before, "wb"), Before);
}

}  // namespace kv

namespace kv {

TEST(EditRules, AHeaderCellRenamesItsTableColumn) {
  const std::string Data =
      "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Name</t></is></c><c r=\"B1\" "
      "t=\"inlineStr\"><is><t>Amount</t></is></c></row><row r=\"2\"><c r=\"A2\" "
      "t=\"inlineStr\"><is><t>x</t></is></c><c r=\"B2\"><v>1</v></c></row>";
  const std::string Table =
      "<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"1\" "
      "name=\"T1\" displayName=\"Sales\" ref=\"A1:B3\" totalsRowCount=\"1\">"
      "<autoFilter ref=\"A1:B2\"/><tableColumns count=\"2\"><tableColumn id=\"1\" "
      "name=\"Name\" totalsRowLabel=\"Total\"/><tableColumn id=\"2\" name=\"Amount\" "
      "totalsRowFunction=\"sum\"/></tableColumns><tableStyleInfo name=\"TableStyleMedium2\"/>"
      "</table>";
  struct {
    const char* What;
    int32_t Row, Col;
    const char* Typed;
    const char* Refused;  // the message, or null
    const char* Column2;  // the second column's name afterwards
  } const Cases[] = {
      {"renamed", 0, 1, "Price", nullptr, "Price"},
      {"a number stays text", 0, 1, "2024", nullptr, "2024"},
      {"escaped in the part", 0, 1, "A&B \"x\"\nnew", nullptr, "A&B \"x\"\nnew"},
      {"its own name in other case", 0, 1, "AMOUNT", nullptr, "AMOUNT"},
      {"empty", 0, 1, "", "A table's header cannot be empty: B1 heads a column of the table Sales.",
       "Amount"},
      {"blank", 0, 1, "  ",
       "A table's header cannot be empty: B1 heads a column of the table Sales.", "Amount"},
      {"another column's", 0, 1, "name", "The table Sales already has a column named name.",
       "Amount"},
      {"a data cell", 1, 1, "Name", nullptr, "Amount"},
      {"the totals row", 2, 1, "Amount", nullptr, "Amount"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TBook B(Data, "", "", Table);
    try {
      B.Book.SetCellValue(0, C.Row, C.Col, C.Typed);
      EXPECT_EQ(C.Refused, nullptr);
    } catch (const TKvError& E) {
      EXPECT_EQ(ErrorMessage(E), C.Refused ? C.Refused : "");
    }
    B.Save();
    const std::string Out = B.Dir.File("out.xlsx");
    TTablePart T;
    const std::string Part = PartText(Out, "xl/tables/table1.xml");
    ASSERT_TRUE(ReadTablePart(Part, "t", T));
    EXPECT_EQ(T.Columns.at(1), C.Column2);
    if (T.Columns[1] == "Amount") {
      EXPECT_EQ(Part, Table);
    }
    ExpectTablesAgree(Out);
  }
}

}  // namespace kv

namespace kv {

namespace {

const char* const kChanged =
    " was changed by another program since it was opened, so it was not overwritten. Save under "
    "another name, or open the file again.";

// Saves onto the loaded file; the error's message, empty when it saved.
std::string SaveOnto(TXlsxWorkbook& Book, const std::string& Path) {
  try {
    Book.SaveToFile(Path);
    return {};
  } catch (const TKvError& E) {
    return ErrorMessage(E);
  }
}

}  // namespace

TEST(EditRules, ASaveDoesNotOverwriteAnotherProgramsChange) {
  const std::string Data = "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>";
  {
    SCOPED_TRACE("another program saved the file");
    TBook B(Data);
    const std::string Theirs = test::MakeBook({{"Theirs", Data}}).Bytes();
    WriteWholeFile(B.Path, Theirs);
    B.Book.SetCellValue(0, 0, 0, "2");
    EXPECT_EQ(SaveOnto(B.Book, B.Path), "The file " + B.Path + kChanged);
    EXPECT_EQ(ReadWholeFile(B.Path), Theirs);
    EXPECT_EQ(B.Dir.List(), std::vector<std::string>{"book.xlsx"});
    TXlsxWorkbook Back;
    B.Save(&Back);  // saving elsewhere works
    EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "2");
  }
  {
    SCOPED_TRACE("the same size, one byte changed");
    TBook B(Data);
    std::string Bytes = ReadWholeFile(B.Path);
    Bytes[Bytes.size() - 30] ^= 1;  // in the ZIP's end records
    WriteWholeFile(B.Path, Bytes);
    EXPECT_EQ(SaveOnto(B.Book, B.Path), "The file " + B.Path + kChanged);
    EXPECT_EQ(ReadWholeFile(B.Path), Bytes);
  }
  {
    SCOPED_TRACE("written again with the same bytes, then our saves follow each other");
    TBook B(Data);
    WriteWholeFile(B.Path, ReadWholeFile(B.Path));
    B.Book.SetCellValue(0, 0, 0, "3");
    EXPECT_EQ(SaveOnto(B.Book, B.Path), "");
    B.Book.SetCellValue(0, 0, 0, "4");
    EXPECT_EQ(SaveOnto(B.Book, B.Path), "");
    TXlsxWorkbook Back;
    Back.LoadFromFile(B.Path);
    EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "4");
  }
  {
    SCOPED_TRACE("another program saves while our package is being written");
    TBook B(Data);
    const std::string Theirs = test::MakeBook({{"Theirs", Data}}).Bytes();
    TFileFaults Faults;
    Faults.FPathContains = "book.xlsx";  // the writer names its target at every step
    bool Written = false;
    Faults.FBeforeStep = [&](TFaultPoint Point, const std::string&) {
      if (Point != TFaultPoint::Flush || Written) return;
      Written = true;
      SetFileFaults(nullptr);
      WriteWholeFile(B.Path, Theirs);
      SetFileFaults(&Faults);
    };
    SetFileFaults(&Faults);
    const std::string Message = SaveOnto(B.Book, B.Path);
    SetFileFaults(nullptr);
    EXPECT_TRUE(Written);
    EXPECT_EQ(Message, "The file " + B.Path + kChanged);
    EXPECT_EQ(ReadWholeFile(B.Path), Theirs);
    EXPECT_EQ(B.Dir.List(), std::vector<std::string>{"book.xlsx"});
  }
}

}  // namespace kv
