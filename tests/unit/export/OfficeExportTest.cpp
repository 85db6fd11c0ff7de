#include <gtest/gtest.h>

#include "SheetBuilder.h"
#include "support/Package.h"
#include "export/XlsxExporter.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

namespace kv {

using test::MakeSheet;

namespace {

size_t CountOf(const std::string& S, const std::string& Needle) {
  size_t N = 0;
  for (size_t At = S.find(Needle); At != std::string::npos; At = S.find(Needle, At + 1)) ++N;
  return N;
}

}  // namespace

TEST(XmlSpreadsheet, DocumentLinesAreExact) {
  const TXlsxSheet S = MakeSheet("R&D", {{"7", "1.5", "it's"}, {"", "1000", "1,5"}});
  const TXlsxSheet E = MakeSheet("Empty", {});
  const std::string Expected =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n"
      "<?mso-application progid=\"Excel.Sheet\"?>\r\n"
      "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
      "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n"
      " <Styles>\r\n"
      "  <Style ss:ID=\"kvDate\"><NumberFormat ss:Format=\"yyyy\\-mm\\-dd\"/></Style>\r\n"
      "  <Style ss:ID=\"kvDateTime\"><NumberFormat ss:Format=\"yyyy\\-mm\\-dd\\ "
      "hh:mm\"/></Style>\r\n"
      " </Styles>\r\n"
      " <Worksheet ss:Name=\"R&amp;D\">\r\n"
      "  <Table>\r\n"
      "   <Row>\r\n"
      "    <Cell><Data ss:Type=\"Number\">7</Data></Cell>\r\n"
      "    <Cell><Data ss:Type=\"Number\">1.5</Data></Cell>\r\n"
      "    <Cell><Data ss:Type=\"String\">it&apos;s</Data></Cell>\r\n"
      "   </Row>\r\n"
      "   <Row>\r\n"
      "    <Cell ss:Index=\"2\"><Data ss:Type=\"Number\">1000</Data></Cell>\r\n"
      "    <Cell><Data ss:Type=\"String\">1,5</Data></Cell>\r\n"
      "   </Row>\r\n"
      "  </Table>\r\n"
      " </Worksheet>\r\n"
      " <Worksheet ss:Name=\"Empty\">\r\n"
      "  <Table>\r\n"
      "  </Table>\r\n"
      " </Worksheet>\r\n"
      "</Workbook>\r\n";
  EXPECT_EQ(XmlSpreadsheetText(TSheetList{&S, &E}), Expected);
}

// The store's type decides, whatever the text looks like: a text stays a
// String, a number is written with the digits its value has.
TEST(XmlSpreadsheet, TheStoresTypeDecidesForEditedCells) {
  auto Written = [](const std::string& Text, TCellType Type) {
    TXlsxSheet S = MakeSheet("S", {{"x"}});
    std::const_pointer_cast<TSheetCells>(S.Data)->SetCell(0, 0, Text, Type);
    const std::string Doc = XmlSpreadsheetText(TSheetList{&S});
    const size_t At = Doc.find("<Data ss:Type=");
    return Doc.substr(At + 15, Doc.find("</Data>") - At - 15);
  };
  for (const char* Text : {"00012", "1234567890123456", "1.50", "+5", "NaN"})
    EXPECT_EQ(Written(Text, TCellType::InlineString), std::string("String\">") + Text) << Text;
  EXPECT_EQ(Written("1.50", TCellType::Number), "Number\">1.5");
  EXPECT_EQ(Written("1E3", TCellType::Number), "Number\">1000");
  EXPECT_EQ(Written("0.1", TCellType::Number), "Number\">0.1");
}

// A loaded cell's type decides, not its text's shape: numbers keep every
// digit the file stored, texts that look like numbers stay Strings, and
// empty cells have no Data.
TEST(XmlSpreadsheet, TheWorkbooksTypesDecide) {
  TXlsxWorkbook Book;
  Book.LoadFromBytes(
      test::MakeBook(
          {{"S",
            "<row r=\"1\"><c r=\"A1\"><v>0.33333333333333331</v></c>"
            "<c r=\"B1\"><v>1E-7</v></c><c r=\"D1\" t=\"inlineStr\"><is><t>00012</t></is></c>"
            "<c r=\"E1\"><v>123456789.12345679</v></c><c r=\"F1\"><v>1e15</v></c></row>"}})
          .Bytes(),
      "book.xlsx");
  const std::string Doc = XmlSpreadsheetText(TSheetList{&Book.Sheet(0)});
  for (const char* Cell : {"<Cell><Data ss:Type=\"Number\">0.3333333333333333</Data>",
                           "<Cell><Data ss:Type=\"Number\">1e-07</Data>",
                           "<Cell ss:Index=\"4\"><Data ss:Type=\"String\">00012</Data>",
                           "<Cell><Data ss:Type=\"Number\">123456789.12345679</Data>",
                           "<Cell><Data ss:Type=\"Number\">1e+15</Data>"})
    EXPECT_NE(Doc.find(Cell), std::string::npos) << Cell << "\n" << Doc;
  EXPECT_EQ(CountOf(Doc, "<Data"), 5u);
}

TEST(Docx, LineBreaksAreBreaksAndForbiddenCharactersQuestionMarks) {
  std::string B;
  AppendDocxSheet(MakeSheet("S", {{"one\ntwo\r\nthree\rfour", "x\xEF\xBF\xBF\x01"}}), B);
  const std::string Br = "</w:t><w:br/><w:t xml:space=\"preserve\">";
  EXPECT_NE(B.find(">one" + Br + "two" + Br + "three" + Br + "four</w:t>"), std::string::npos);
  EXPECT_NE(B.find(">x?"
                   "?</w:t>"),
            std::string::npos);
}

// 200 columns would be 72 twips each: bands of 17 at 847 twips (0.59 inch),
// the last of 13; every band's first row is a header row.
TEST(Docx, WideSheetsAreCutIntoBandsThatFitThePage) {
  std::string B;
  AppendDocxSheet(test::MakeNumberedSheet("Wide", 2, 200), B);
  EXPECT_EQ(CountOf(B, "<w:tbl>"), 12u);
  EXPECT_EQ(CountOf(B, "<w:gridCol w:w=\"847\"/>"), 200u);
  EXPECT_EQ(CountOf(B, "<w:tcW w:w=\"847\" w:type=\"dxa\"/>"), 400u);
  EXPECT_EQ(CountOf(B, "<w:tr><w:trPr><w:tblHeader/></w:trPr>"), 12u);
  const std::vector<std::string> Titles = {"Wide (columns A-Q)", "Wide (columns R-AH)",
                                           "Wide (columns GF-GR)"};
  size_t At = 0;
  for (const std::string& T : Titles) {
    At = B.find(">" + T + "</w:t>", At);
    ASSERT_NE(At, std::string::npos) << T;
  }
  // Each band's rows hold its own columns: the last band starts at column 188.
  EXPECT_LT(B.find(">r1c188<"), B.find(">r2c1<", B.find(Titles[2])));
  EXPECT_GT(B.find(">r1c188<"), B.find(Titles[2]));
}

// Two columns share the page up to 140 points (2800 twips) each.
TEST(Docx, SheetBodyIsExact) {
  std::string B;
  AppendDocxSheet(MakeSheet("R&D", {{"it's", ""}}), B);
  const std::string Border = " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"999999\"/>";
  const std::string Cell =
      "<w:tc><w:tcPr><w:tcW w:w=\"2800\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:rPr>"
      "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">";
  EXPECT_EQ(B,
            "<w:p><w:pPr><w:spacing w:before=\"240\" w:after=\"120\"/></w:pPr><w:r><w:rPr><w:b/>"
            "<w:sz w:val=\"28\"/></w:rPr><w:t xml:space=\"preserve\">R&amp;D</w:t></w:r></w:p>"
            "<w:tbl><w:tblPr><w:tblW w:w=\"5600\" w:type=\"dxa\"/><w:tblBorders><w:top" +
                Border + "<w:left" + Border + "<w:bottom" + Border + "<w:right" + Border +
                "<w:insideH" + Border + "<w:insideV" + Border +
                "</w:tblBorders><w:tblLayout w:type=\"fixed\"/></w:tblPr><w:tblGrid>"
                "<w:gridCol w:w=\"2800\"/><w:gridCol w:w=\"2800\"/></w:tblGrid>"
                "<w:tr><w:trPr><w:tblHeader/></w:trPr>" +
                Cell + "it&apos;s</w:t></w:r></w:p></w:tc>" + Cell +
                "</w:t></w:r></w:p></w:tc></w:tr></w:tbl>");
}

TEST(Docx, EmptySheetGetsItsHeadingAndAnItalicNote) {
  std::string B;
  AppendDocxSheet(MakeSheet("Blank", {}), B);
  EXPECT_NE(B.find(">Blank</w:t>"), std::string::npos);
  EXPECT_TRUE(
      B.ends_with("</w:p><w:p><w:r><w:rPr><w:i/></w:rPr><w:t>(empty worksheet)</w:t></w:r></w:p>"));
  EXPECT_EQ(B.find("<w:tbl>"), std::string::npos);
}

TEST(Docx, PackageHoldsExactlyThreePartsInOrderWithOneSection) {
  const TXlsxSheet A = MakeSheet("One", {{"1"}});
  const TXlsxSheet B = MakeSheet("Two", {{"2", "3"}});
  const TXlsxSheet C = MakeSheet("Three", {{"4"}, {"5"}});
  TZipWriter Zip;
  WriteDocxPackage(TSheetList{&A, &B, &C}, Zip);
  Zip.Finish();
  const TZipReader Reader(Zip.TakeBytes());
  ASSERT_EQ(Reader.EntryCount(), 3u);
  std::vector<std::pair<std::string, std::string>> Parts;
  for (size_t I = 0; I < 3; ++I) {
    EXPECT_EQ(Reader.Entry(I).Method, 8);
    Parts.emplace_back(Reader.Entry(I).Name, Reader.ReadEntry(I));
  }
  EXPECT_EQ(Parts[0].first, "[Content_Types].xml");
  EXPECT_EQ(Parts[1].first, "_rels/.rels");
  EXPECT_EQ(Parts[2].first, "word/document.xml");
  const std::string Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  for (const auto& P : Parts) EXPECT_TRUE(P.second.starts_with(Decl)) << P.first;
  EXPECT_NE(Parts[0].second.find("<Override PartName=\"/word/document.xml\""), std::string::npos);
  EXPECT_NE(Parts[1].second.find("Id=\"rId1\""), std::string::npos);

  const std::string& Doc = Parts[2].second;
  EXPECT_EQ(Doc, DocxDocumentText(TSheetList{&A, &B, &C}));
  EXPECT_EQ(CountOf(Doc, "<w:tbl>"), 3u);
  EXPECT_EQ(CountOf(Doc, "<w:sectPr>"), 1u);
  EXPECT_EQ(CountOf(Doc, "\n"), 0u);
  EXPECT_LT(Doc.find(">One<"), Doc.find(">Two<"));
  EXPECT_LT(Doc.find(">Two<"), Doc.find(">Three<"));
  EXPECT_TRUE(Doc.ends_with(
      "<w:sectPr><w:pgSz w:w=\"15840\" w:h=\"12240\" w:orient=\"landscape\"/><w:pgMar "
      "w:top=\"720\" w:right=\"720\" w:bottom=\"720\" w:left=\"720\"/></w:sectPr>"
      "</w:body></w:document>"));
}

}  // namespace kv
