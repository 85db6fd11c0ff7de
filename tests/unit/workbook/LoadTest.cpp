#include <gtest/gtest.h>

#include <cmath>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "workbook/Workbook.h"
#include "workbook/CellNotation.h"
#include "zip/ZipCrc.h"

namespace kv {

namespace {

using test::MakeBook;
using test::TPackage;

std::string LoadError(const std::string& Bytes) {
  TXlsxWorkbook B;
  try {
    B.LoadFromBytes(Bytes, "book.xlsx");
  } catch (const TKvError& E) {
    return E.what();
  }
  return "(loaded)";
}

// All cells of the first sheet as rows of tab-separated texts.
std::string Dump(const TXlsxSheet& S) {
  std::string R;
  for (int32_t Row = 0; Row < S.RowCount(); ++Row) {
    for (int32_t C = 0; C < S.ColCount(); ++C) R += (C ? "\t" : "") + std::string(S.Cell(Row, C));
    R += "\n";
  }
  return R;
}

TXlsxWorkbook& Load(TXlsxWorkbook& B, const TPackage& P) {
  B.LoadFromBytes(P.Bytes(), "book.xlsx");
  return B;
}

const char* kStyles =
    "<styleSheet><numFmts count=\"3\">"
    "<numFmt numFmtId=\"164\" formatCode=\"0.00;[Red]-0.00\"/>"
    "<numFmt numFmtId=\"165\" formatCode=\"[h]:mm\"/>"
    "<numFmt numFmtId=\"166\" formatCode=\"&quot;days&quot; 0\"/>"
    "<numFmt numFmtId=\"167\" formatCode=\"[$-409]d mmm yyyy\"/>"
    "</numFmts><cellXfs>"
    "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"21\"/><xf numFmtId=\"164\"/>"
    "<xf numFmtId=\"165\"/><xf numFmtId=\"166\"/><xf numFmtId=\"27\"/><xf numFmtId=\"167\"/>"
    "</cellXfs></styleSheet>";

}  // namespace

TEST(Loading, SheetsInOrderHiddenOnesSkippedDefaultNamesCountAll) {
  TPackage P =
      MakeBook({{"A", "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c></row>"},
                {"H", ""},
                {"V", ""},
                {"", "<row r=\"1\"><c r=\"B2\"><v>5</v></c></row>"}});
  std::string Book = P.FEntries[1].second;
  Book = ReplaceAll(Book, "name=\"H\"", "name=\"H\" state=\"hidden\"");
  Book = ReplaceAll(Book, "name=\"V\"", "name=\"V\" state=\"VERYHIDDEN\"");
  Book = ReplaceAll(Book, "name=\"\" ", "");
  P.Set("xl/workbook.xml", Book);
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.SheetCount(), 2);
  EXPECT_EQ(B.Sheet(0).Name, "A");
  EXPECT_EQ(B.Sheet(1).Name, "Sheet4");
  EXPECT_EQ(B.Sheet(1).PartName, "xl/worksheets/sheet4.xml");
  EXPECT_EQ(B.Sheet(1).RowCount(), 2);
  EXPECT_EQ(B.Sheet(1).ColCount(), 2);
  EXPECT_EQ(B.Sheet(1).Cell(1, 1), "5");
  EXPECT_EQ(B.FileName(), "book.xlsx");
}

TEST(Loading, CellTypes) {
  TPackage P = MakeBook(
      {{"S",
        "<row r=\"1\"><c r=\"A1\" t=\"b\"><v>0</v></c><c r=\"B1\" t=\"b\"><v>1</v>"
        "</c><c r=\"C1\" t=\"B\"><v>true</v></c><c r=\"D1\" t=\"e\"><v>#N/A</v></c>"
        "<c r=\"E1\"><f>1+1</f></c><c r=\"F1\" t=\"s\"><v>7</v></c>"
        "<c r=\"G1\" t=\"s\"><v>0</v></c><c r=\"H1\" t=\"str\"><f>x</f><v>A_x000D_B</v></c>"
        "<c r=\"I1\"><v>1E-3</v></c><c r=\"J1\" t=\"n\"><v>0.1</v></c></row>"}});
  P.Set("xl/sharedStrings.xml",
        "<sst><si><r><t>one</t></r><r><rPr/><t xml:space=\"preserve\"> two</t></r><r><t>3</t></r>"
        "<rPh><t>PHONETIC</t></rPh></si></sst>");
  TXlsxWorkbook B;
  Load(B, P);
  EXPECT_EQ(Dump(B.Sheet(0)), "FALSE\tTRUE\tFALSE\t#N/A\t\t\tone two3\tA\rB\t1E-3\t0.1\n");
}

TEST(Loading, StringEscapesAndRuns) {
  TPackage P = MakeBook({{"S",
                          "<row><c t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r></is></c>"
                          "<c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c>"
                          "<c t=\"inlineStr\"><is><t> </t></is></c></row>"}});
  P.Set("xl/sharedStrings.xml",
        "<sst><si><t>a_x005F_x0041_b</t></si><si><t>_x0041__xD83D__xDE00_</t></si>"
        "<si><t>_x00zz_</t></si></sst>");
  TXlsxWorkbook B;
  Load(B, P);
  EXPECT_EQ(Dump(B.Sheet(0)), "inline\ta_x0041_b\tA\xF0\x9F\x98\x80\t_x00zz_\t \n");
}

TEST(Loading, MalformedUtf8BecomesOneReplacementCharacterPerSequence) {
  // Latin-1 bytes where UTF-8 belongs, in every part a text comes from.
  TPackage P = MakeBook({{"Caf\xE9",
                          "<row><c t=\"s\"><v>0</v></c><c t=\"inlineStr\"><is><t>"
                          "x\xE2\x82y</t></is></c></row>"}});
  std::string Long;  // valid three-byte characters across every read of the part
  for (int I = 0; I < 30000; ++I) Long += "\xE2\x82\xAC";
  P.Set("xl/sharedStrings.xml", "<sst><si><t>" + Long + "\xE9t\xE9 \xC3\xA9</t></si></sst>");
  TXlsxWorkbook B;
  Load(B, P);
  const std::string R = "\xEF\xBF\xBD";
  EXPECT_EQ(B.SheetName(0), "Caf" + R);
  EXPECT_EQ(Dump(B.Sheet(0)), Long + R + "t" + R + " \xC3\xA9\tx" + R + "y\n");
}

TEST(Loading, DatesFollowCellFormats) {
  TPackage P =
      MakeBook({{"S",
                 "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>45000</v></c><c r=\"B1\" s=\"1\">"
                 "<v>45000.5</v></c><c r=\"C1\" s=\"2\"><v>0.5</v></c><c r=\"D1\" s=\"1\">"
                 "<v>1</v></c><c r=\"E1\" s=\"3\"><v>12.5</v></c><c r=\"F1\" s=\"4\">"
                 "<v>1.25</v></c><c r=\"G1\" s=\"5\"><v>3</v></c><c r=\"H1\" s=\"6\">"
                 "<v>45000</v></c><c r=\"I1\" s=\"7\"><v>45000</v></c><c r=\"J1\" s=\"1\">"
                 "<v>abc</v></c><c r=\"K1\" s=\"1\"><v>99999999</v></c>"
                 "<c r=\"L1\" t=\"d\"><v>2024-01-15T13:45:30</v></c>"
                 "<c r=\"M1\" t=\"d\"><v>2024-02-29</v></c><c r=\"N1\" s=\"99\"><v>7</v></c>"
                 "<c r=\"O1\" s=\"1\"><v>45000.99999999</v></c>"
                 "<c r=\"P1\" s=\"1\"><v>45000.9999999999</v></c></row>"}});
  P.Set("xl/styles.xml", kStyles);
  TXlsxWorkbook B;
  Load(B, P);
  EXPECT_EQ(
      Dump(B.Sheet(0)),
      "2023-03-15\t2023-03-15 12:00\t1899-12-30 12:00\t1899-12-31\t12.5\t1899-12-31 06:00\t3\t"
      "2023-03-15\t2023-03-15\tabc\t99999999\t2024-01-15 13:45\t2024-02-29\t7\t"
      "2023-03-15 23:59\t2023-03-16 00:00\n");
}

TEST(Loading, DeclaredFormatsDecideWhateverTheirId) {
  // gnumeric numbers its own formats from 100; a declared code also replaces
  // the built-in meaning of its id.
  TPackage P = MakeBook({{"S",
                          "<row r=\"1\"><c r=\"A1\" s=\"0\"><v>45000</v></c>"
                          "<c r=\"B1\" s=\"1\"><v>45000</v></c></row>"}});
  P.Set("xl/styles.xml",
        "<styleSheet><numFmts><numFmt numFmtId=\"100\" formatCode=\"yyyy-mm-dd\"/>"
        "<numFmt numFmtId=\"14\" formatCode=\"0.00\"/></numFmts>"
        "<cellXfs><xf numFmtId=\"100\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>");
  TXlsxWorkbook B;
  Load(B, P);
  EXPECT_EQ(Dump(B.Sheet(0)), "2023-03-15\t45000\n");
}

TEST(Loading, Date1904SystemStartsOnFirstOfJanuary1904) {
  TPackage P = MakeBook({{"S",
                          "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>0</v></c><c r=\"B1\" s=\"1\">"
                          "<v>43538</v></c></row>"}});
  P.Set("xl/styles.xml", kStyles);
  P.Set("xl/workbook.xml",
        ReplaceAll(P.FEntries[1].second, "<sheets>", "<workbookPr date1904=\"true\"/><sheets>"));
  TXlsxWorkbook B;
  Load(B, P);
  EXPECT_EQ(Dump(B.Sheet(0)), "1904-01-01\t2023-03-15\n");
}

TEST(Loading, RowsAndCellsWithoutReferencesFollowTheirPredecessor) {
  TXlsxWorkbook B;
  Load(B, MakeBook({{"S",
                     "<row><c><v>1</v></c><c><v>2</v></c></row>"
                     "<row r=\"4\"><c r=\"B4\"><v>3</v></c><c><v>4</v></c></row>"
                     "<row><c r=\"?\"><v>x</v></c><c><v>5</v></c></row>"}}));
  EXPECT_EQ(Dump(B.Sheet(0)), "1\t2\t\n\t\t\n\t\t\n\t3\t4\n5\t\t\n");
}

TEST(Loading, PrefixedElementsAndRelationshipAttributes) {
  TPackage P;
  P.Set("xl/workbook.xml",
        "<x:workbook xmlns:x=\"urn:main\" xmlns:ns=\"urn:rel\"><x:sheets>"
        "<x:sheet name=\"P\" ns:id=\"R7\"/></x:sheets></x:workbook>");
  P.Set("xl/_rels/workbook.xml.rels",
        "<ns0:Relationships xmlns:ns0=\"urn:pkg\"><ns0:Relationship Id=\"r7\" "
        "Target=\"/xl/worksheets/../worksheets/./s.xml\"/></ns0:Relationships>");
  P.Set("xl/worksheets/s.xml",
        "<x:worksheet xmlns:x=\"urn:main\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"s\">"
        "<x:v>0</x:v></x:c></x:row></x:sheetData></x:worksheet>");
  P.Set("xl/sharedStrings.xml", "<x:sst xmlns:x=\"urn:main\"><x:si><x:t>hi</x:t></x:si></x:sst>");
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.SheetCount(), 1);
  EXPECT_EQ(B.Sheet(0).PartName, "xl/worksheets/s.xml");
  EXPECT_EQ(B.Sheet(0).Cell(0, 0), "hi");
}

TEST(Loading, WorkbookFoundThroughPackageRelationshipAnywhere) {
  TPackage P;
  P.Set("_rels/.rels",
        "<Relationships><Relationship Id=\"a\" Type=\"http://purl.oclc.org/ooxml/officeDocument/"
        "relationships/officeDocument\" Target=\"/content/book.xml\"/></Relationships>");
  P.Set("content/book.xml",
        "<workbook><sheets><sheet name=\"Only\" r:id=\"s1\"/></sheets></workbook>");
  P.Set("content\\_rels\\book.xml.rels",
        "<Relationships><Relationship Id=\"s1\" Target=\"Sheets/One.xml\"/></Relationships>");
  P.Set("CONTENT/sheets/one.XML", test::SheetXml("<row r=\"2\"><c r=\"C2\"><v>9</v></c></row>"));
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.SheetCount(), 1);
  EXPECT_EQ(B.Sheet(0).Name, "Only");
  EXPECT_EQ(B.Sheet(0).PartName, "CONTENT/sheets/one.XML");
  EXPECT_EQ(B.Sheet(0).Cell(1, 2), "9");
}

TEST(Loading, MissingPartsGiveEmptyOrSkippedSheets) {
  TPackage P = MakeBook(
      {{"Chart", ""}, {"Gone", ""}, {"Data", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}});
  P.Set("xl/worksheets/sheet1.xml", "<chartsheet><drawing/></chartsheet>");
  P.Set("xl/_rels/workbook.xml.rels",
        ReplaceAll(P.FEntries[2].second, "Id=\"rId2\"", "Id=\"other\""));
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.SheetCount(), 2);
  EXPECT_EQ(B.Sheet(0).Name, "Chart");
  EXPECT_EQ(B.Sheet(0).RowCount(), 0);
  EXPECT_EQ(B.Sheet(0).Data, nullptr);
  EXPECT_EQ(B.Sheet(1).Name, "Data");
}

TEST(LoadErrors, StructuralFailuresHaveTheirMessages) {
  TPackage P = MakeBook({{"S", ""}});
  P.Remove("xl/workbook.xml");
  EXPECT_EQ(LoadError(P.Bytes()),
            "This does not look like a valid .xlsx workbook (xl/workbook.xml missing).");
  P = MakeBook({{"S", ""}});
  P.Set("xl/workbook.xml", "<workbook/>");
  EXPECT_EQ(LoadError(P.Bytes()), "Workbook contains no worksheets.");
  P.Set("xl/workbook.xml", "<workbook><sheets/></workbook>");
  EXPECT_EQ(LoadError(P.Bytes()), "No visible worksheets were found in this workbook.");
  for (const char* Empty : {"", "<?xml version=\"1.0\"?><!-- nothing -->"}) {
    P.Set("xl/workbook.xml", Empty);
    EXPECT_EQ(LoadError(P.Bytes()), "Could not parse xl/workbook.xml.");
  }
  P.Set("xl/workbook.xml", "<workbook><sheets><sheet name=\"a\"");
  EXPECT_NE(LoadError(P.Bytes()).find("Could not read xl/workbook.xml"), std::string::npos);
  P = MakeBook({{"S", "<row><c><v>1</v></row>"}});
  EXPECT_NE(LoadError(P.Bytes()).find("xl/worksheets/sheet1.xml"), std::string::npos);
  EXPECT_NE(LoadError("not a zip at all").find("ZIP"), std::string::npos);
  EXPECT_NE(LoadError(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'))
                .find("encrypted (password-protected) workbook or an old binary .xls file"),
            std::string::npos);
}

TEST(LoadErrors, FileNotFoundNamesThePath) {
  TXlsxWorkbook B;
  try {
    B.LoadFromFile("/no/such/book.xlsx");
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "File not found: /no/such/book.xlsx");
  }
}

TEST(LoadErrors, DamagedEntryIsReportedNotEmpty) {
  TPackage P = MakeBook({{"S", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}});
  std::string Bytes = P.Bytes();
  // Corrupt the stored CRC-32 of the sheet in the central directory.
  size_t Name = Bytes.rfind("xl/worksheets/sheet1.xml");
  ASSERT_NE(Name, std::string::npos);
  Bytes[Name - 46 + 16] ^= 0x55;
  std::string Err = LoadError(Bytes);
  EXPECT_NE(Err.find("sheet1.xml"), std::string::npos) << Err;
}

TEST(LoadErrors, ZipBombIsRefused) {
  TPackage P = MakeBook({{"S", ""}});
  P.Set("xl/worksheets/sheet1.xml",
        test::SheetXml("") + std::string(32u << 20, ' '));  // 32 MiB of blanks, over 1000:1
  std::string Err = LoadError(P.Bytes());
  EXPECT_NE(Err.find("zip bomb"), std::string::npos) << Err;
  EXPECT_NE(Err.find("sheet1.xml"), std::string::npos) << Err;
}

TEST(LoadErrors, FailedLoadKeepsThePreviousSheetsAndName) {
  TXlsxWorkbook B;
  Load(B, MakeBook({{"Kept", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}}));
  const std::string Name = B.FileName();
  EXPECT_THROW(B.LoadFromBytes("junk", "other.xlsx"), TKvError);
  ASSERT_EQ(B.SheetCount(), 1);
  EXPECT_EQ(B.Sheet(0).Cell(0, 0), "1");
  EXPECT_EQ(B.FileName(), Name);
}

TEST(LaterSheets, AreReadOnFirstUseAndKeepTheirError) {
  TPackage P = MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                         {"Two", "<row r=\"1\"><c r=\"B2\" t=\"inlineStr\"><is><t>x"},
                         {"Three", "<row r=\"3\"><c r=\"C3\"><v>3</v></c></row>"}});
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.SheetCount(), 3);
  EXPECT_EQ(B.SheetName(1), "Two");
  EXPECT_EQ(Dump(B.Sheet(2)), "\t\t\n\t\t\n\t\t3\n");
  std::string First, Again;
  try {
    (void)B.Sheet(1);
  } catch (const TKvError& E) {
    First = E.what();
  }
  try {
    (void)B.Sheet(1);
  } catch (const TKvError& E) {
    Again = E.what();
  }
  EXPECT_NE(First.find("sheet2.xml"), std::string::npos) << First;
  EXPECT_EQ(First, Again);
  EXPECT_EQ(Dump(B.Sheet(0)), "1\n");
}

TEST(LaterSheets, FirstSheetErrorsAreTheLoads) {
  TPackage P = MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1"}, {"Two", ""}});
  EXPECT_NE(LoadError(P.Bytes()).find("sheet1.xml"), std::string::npos);
}

TEST(LaterSheets, EditingAnUnreadSheetKeepsItsOtherCells) {
  test::TTempDir Dir;
  TPackage P = MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                         {"Two",
                          "<row r=\"1\"><c r=\"A1\"><v>7</v></c><c r=\"B1\"><v>8</v></c>"
                          "</row>"}});
  TXlsxWorkbook B;
  Load(B, P);
  B.SetCellValue(1, 1, 0, "new");
  EXPECT_EQ(Dump(B.Sheet(1)), "7\t8\nnew\t\n");
  const std::string Saved = Dir.File("saved.xlsx");
  B.SaveToFile(Saved);
  TXlsxWorkbook C;
  C.LoadFromFile(Saved);
  EXPECT_EQ(Dump(C.Sheet(1)), "7\t8\nnew\t\n");
}

TEST(Loading, SharedStringIsStoredOnceForAllItsCells) {
  std::string Rows;
  for (int R = 1; R <= 2000; ++R) {
    Rows += "<row r=\"" + std::to_string(R) + "\">";
    for (int C = 0; C < 200; ++C)
      Rows += "<c r=\"" + ColumnIndexToLetters(C) + std::to_string(R) + "\" t=\"s\"><v>0</v></c>";
    Rows += "</row>";
  }
  TPackage P = MakeBook({{"S", Rows}});
  P.Set("xl/sharedStrings.xml", "<sst><si><t>" + std::string(10000, 'x') + "</t></si></sst>");
  TXlsxWorkbook B;
  Load(B, P);
  ASSERT_EQ(B.Sheet(0).Cell(1999, 199).size(), 10000u);
  // 400,000 references to one 10 KB text: the table holds ids, not copies.
  EXPECT_LT(B.Sheet(0).Data->TextBytes(), size_t{8} << 20);
}

}  // namespace kv

namespace kv {

using test::MakeBook;

TEST(Loading, EscapedAttributeValuesSurviveManyAttributes) {
  // The first decoded value must stay intact while later attributes are read.
  TXlsxWorkbook B;
  B.LoadFromBytes(MakeBook({{"S",
                             "<row r=\"1\"><c t=\"inline&#83;tr\" a=\"1\" b=\"2\" c=\"3\" "
                             "d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\" r=\"&#65;1\"><is><t>ok</t>"
                             "</is></c></row>"}})
                      .Bytes(),
                  "b.xlsx");
  EXPECT_EQ(B.Sheet(0).Cell(0, 0), "ok");
}

}  // namespace kv
