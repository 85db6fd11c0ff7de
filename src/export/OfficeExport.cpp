#include <algorithm>

#include "base/Files.h"
#include "export/ExportSink.h"
#include "export/XlsxExporter.h"
#include "zip/ZipWriter.h"
#include "workbook/CellNotation.h"

namespace kv {

namespace {

constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";

// --- XML Spreadsheet 2003 ---

void PutSpreadsheetStart(TTextSink& Out) {
  Out.Put("\xEF\xBB\xBF");
  Out.Put("<?xml version=\"1.0\"?>\r\n");
  Out.Put("<?mso-application progid=\"Excel.Sheet\"?>\r\n");
  Out.Put(
      "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
      "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n");
}

// A text is a number only when it is its number's own text: "00012" (a
// postcode) or "1234567890123456" would lose digits as a Number.
bool IsCanonicalNumber(std::string_view Text) {
  double Value = 0;
  return TryParseNumberText(Text, Value) && FormatNumberText(Value) == Text;
}

void PutSpreadsheetCell(TTextSink& Out, std::string_view Text) {
  if (IsCanonicalNumber(Text)) {
    Out.Put("    <Cell><Data ss:Type=\"Number\">");
    Out.Put(Text);
  } else {
    Out.Put("    <Cell><Data ss:Type=\"String\">");
    PutXmlEscaped(Out, Text);
  }
  Out.Put("</Data></Cell>\r\n");
}

void PutWorksheet(TTextSink& Out, const TXlsxSheet& Sheet) {
  Out.Put(" <Worksheet ss:Name=\"");
  PutXmlEscaped(Out, Sheet.Name);
  Out.Put("\">\r\n");
  Out.Put("  <Table>\r\n");
  for (int32_t R = 0; R < Sheet.RowCount(); ++R) {
    Out.Put("   <Row>\r\n");
    for (int32_t C = 0; C < Sheet.ColCount(); ++C) PutSpreadsheetCell(Out, Sheet.Cell(R, C));
    Out.Put("   </Row>\r\n");
  }
  Out.Put("  </Table>\r\n");
  Out.Put(" </Worksheet>\r\n");
}

void PutSpreadsheet(TTextSink& Out, const TSheetList& Sheets) {
  PutSpreadsheetStart(Out);
  for (const TXlsxSheet* Sheet : Sheets) PutWorksheet(Out, *Sheet);
  Out.Put("</Workbook>\r\n");
}

// --- Word ---

// Word's own limit: a wider table is cut into bands of columns.
constexpr int32_t kDocxMaxColumns = 63;

// The text of a w:t, each line break (CR LF, LF or CR) as a w:br between
// text pieces: a raw line feed in w:t shows as a blank.
void PutDocxText(TTextSink& Out, std::string_view Text) {
  for (;;) {
    const size_t Br = Text.find_first_of("\r\n");
    if (Br == std::string_view::npos) break;
    PutXmlEscaped(Out, Text.substr(0, Br));
    Out.Put("</w:t><w:br/><w:t xml:space=\"preserve\">");
    Text.remove_prefix(Br + (Text.compare(Br, 2, "\r\n") == 0 ? 2 : 1));
  }
  PutXmlEscaped(Out, Text);
}

void PutDocxHeading(TTextSink& Out, std::string_view Title) {
  Out.Put(
      "<w:p><w:pPr><w:spacing w:before=\"240\" w:after=\"120\"/></w:pPr><w:r><w:rPr><w:b/>"
      "<w:sz w:val=\"28\"/></w:rPr><w:t xml:space=\"preserve\">");
  PutDocxText(Out, Title);
  Out.Put("</w:t></w:r></w:p>");
}

void PutDocxTableStart(TTextSink& Out, int32_t ColCount) {
  Out.Put("<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>");
  for (const char* Side : {"top", "left", "bottom", "right", "insideH", "insideV"}) {
    Out.Put("<w:");
    Out.Put(Side);
    Out.Put(" w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"999999\"/>");
  }
  Out.Put("</w:tblBorders></w:tblPr>");
  // The table grid is required by the WordprocessingML schema; readers that
  // validate (python-docx among them) refuse a table without it.
  Out.Put("<w:tblGrid>");
  for (int32_t C = 0; C < ColCount; ++C) Out.Put("<w:gridCol/>");
  Out.Put("</w:tblGrid>");
}

void PutDocxCell(TTextSink& Out, std::string_view Text) {
  Out.Put(
      "<w:tc><w:tcPr><w:tcW w:w=\"0\" w:type=\"auto\"/></w:tcPr><w:p><w:r><w:rPr>"
      "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">");
  PutDocxText(Out, Text);
  Out.Put("</w:t></w:r></w:p></w:tc>");
}

void PutDocxTable(TTextSink& Out, const TXlsxSheet& Sheet, int32_t FirstCol, int32_t LastCol) {
  PutDocxTableStart(Out, LastCol - FirstCol + 1);
  for (int32_t R = 0; R < Sheet.RowCount(); ++R) {
    Out.Put("<w:tr>");
    for (int32_t C = FirstCol; C <= LastCol; ++C) PutDocxCell(Out, Sheet.Cell(R, C));
    Out.Put("</w:tr>");
  }
  Out.Put("</w:tbl>");
}

void PutDocxSheet(TTextSink& Out, const TXlsxSheet& Sheet) {
  if (Sheet.RowCount() == 0 || Sheet.ColCount() == 0) {
    PutDocxHeading(Out, Sheet.Name);
    Out.Put("<w:p><w:r><w:rPr><w:i/></w:rPr><w:t>(empty worksheet)</w:t></w:r></w:p>");
    return;
  }
  if (Sheet.ColCount() <= kDocxMaxColumns) {
    PutDocxHeading(Out, Sheet.Name);
    PutDocxTable(Out, Sheet, 0, Sheet.ColCount() - 1);
    return;
  }
  // One table per band, each under a heading naming its columns.
  for (int32_t First = 0; First < Sheet.ColCount(); First += kDocxMaxColumns) {
    const int32_t Last = std::min(First + kDocxMaxColumns - 1, Sheet.ColCount() - 1);
    PutDocxHeading(Out, Sheet.Name + " (columns " + ColumnIndexToLetters(First) + "-" +
                            ColumnIndexToLetters(Last) + ")");
    PutDocxTable(Out, Sheet, First, Last);
  }
}

void PutDocxDocument(TTextSink& Out, const TSheetList& Sheets) {
  Out.Put(kXmlDeclaration);
  Out.Put(
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<w:body>");
  for (const TXlsxSheet* Sheet : Sheets) PutDocxSheet(Out, *Sheet);
  Out.Put(
      "<w:sectPr><w:pgSz w:w=\"15840\" w:h=\"12240\" w:orient=\"landscape\"/>"
      "<w:pgMar w:top=\"720\" w:right=\"720\" w:bottom=\"720\" w:left=\"720\"/></w:sectPr>"
      "</w:body></w:document>");
}

std::string ContentTypesText() {
  std::string Out(kXmlDeclaration);
  Out +=
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/word/document.xml\" "
      "ContentType=\"application/"
      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
      "</Types>";
  return Out;
}

std::string PackageRelationshipsText() {
  std::string Out(kXmlDeclaration);
  Out +=
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
      "officeDocument\" Target=\"word/document.xml\"/>"
      "</Relationships>";
  return Out;
}

}  // namespace

std::string XmlSpreadsheetText(const TSheetList& Sheets) {
  TTextSink Out;
  PutSpreadsheet(Out, Sheets);
  return Out.Take();
}

void ExportXmlSpreadsheet(const TSheetList& Sheets, const std::string& OutputFileName) {
  WriteFileInPieces(OutputFileName, [&](TTextSink& Out) { PutSpreadsheet(Out, Sheets); });
}

void AppendDocxSheet(const TXlsxSheet& Sheet, std::string& Builder) {
  TTextSink Out;
  PutDocxSheet(Out, Sheet);
  Builder += Out.Take();
}

std::string DocxDocumentText(const TSheetList& Sheets) {
  TTextSink Out;
  PutDocxDocument(Out, Sheets);
  return Out.Take();
}

void AddZipTextEntry(TZipWriter& Zip, std::string_view EntryName, std::string_view Text) {
  Zip.AddEntry(EntryName, Text, TZipMethod::Deflated);
}

void WriteDocxPackage(const TSheetList& Sheets, TZipWriter& Zip) {
  AddZipTextEntry(Zip, "[Content_Types].xml", ContentTypesText());
  AddZipTextEntry(Zip, "_rels/.rels", PackageRelationshipsText());
  // The main part goes into the archive as it is made, never whole in memory.
  Zip.BeginEntry("word/document.xml");
  TTextSink Out([&Zip](std::string_view Piece) { Zip.WriteEntryData(Piece); });
  PutDocxDocument(Out, Sheets);
  Out.Finish();
  Zip.EndEntry();
}

void ExportDocx(const TSheetList& Sheets, const std::string& OutputFileName) {
  TZipWriter Zip(OutputFileName);
  WriteDocxPackage(Sheets, Zip);
  Zip.Finish();
}

}  // namespace kv
