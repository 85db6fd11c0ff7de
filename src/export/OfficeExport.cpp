#include "base/Files.h"
#include "export/XlsxExporter.h"
#include "workbook/ZipWriter.h"

namespace kv {

namespace {

constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";

// --- XML Spreadsheet 2003 ---

void WriteSpreadsheetStart(std::string& Out) {
  Out += "\xEF\xBB\xBF";
  Out += "<?xml version=\"1.0\"?>\r\n";
  Out += "<?mso-application progid=\"Excel.Sheet\"?>\r\n";
  Out +=
      "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
      "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
      "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n";
}

void WriteSpreadsheetCell(std::string& Out, std::string_view Text) {
  double Value = 0;
  if (TryParseNumberText(Text, Value)) {
    Out += "    <Cell><Data ss:Type=\"Number\">";
    Out += FormatNumberText(Value);
  } else {
    Out += "    <Cell><Data ss:Type=\"String\">";
    Out += XmlEscape(Text);
  }
  Out += "</Data></Cell>\r\n";
}

void WriteWorksheet(std::string& Out, const TXlsxSheet& Sheet) {
  Out += " <Worksheet ss:Name=\"" + XmlEscape(Sheet.Name) + "\">\r\n";
  Out += "  <Table>\r\n";
  for (int32_t R = 0; R < Sheet.RowCount; ++R) {
    Out += "   <Row>\r\n";
    for (int32_t C = 0; C < Sheet.ColCount; ++C) WriteSpreadsheetCell(Out, Sheet.Cell(R, C));
    Out += "   </Row>\r\n";
  }
  Out += "  </Table>\r\n";
  Out += " </Worksheet>\r\n";
}

// --- Word ---

void WriteDocxHeading(std::string& Out, std::string_view Name) {
  Out +=
      "<w:p><w:pPr><w:spacing w:before=\"240\" w:after=\"120\"/></w:pPr><w:r><w:rPr><w:b/>"
      "<w:sz w:val=\"28\"/></w:rPr><w:t xml:space=\"preserve\">";
  Out += XmlEscape(Name);
  Out += "</w:t></w:r></w:p>";
}

void WriteDocxTableStart(std::string& Out, int32_t ColCount) {
  Out += "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>";
  for (const char* Side : {"top", "left", "bottom", "right", "insideH", "insideV"}) {
    Out += "<w:";
    Out += Side;
    Out += " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"999999\"/>";
  }
  Out += "</w:tblBorders></w:tblPr>";
  // The table grid is required by the WordprocessingML schema; readers that
  // validate (python-docx among them) refuse a table without it.
  Out += "<w:tblGrid>";
  for (int32_t C = 0; C < ColCount; ++C) Out += "<w:gridCol/>";
  Out += "</w:tblGrid>";
}

void WriteDocxCell(std::string& Out, std::string_view Text) {
  Out +=
      "<w:tc><w:tcPr><w:tcW w:w=\"0\" w:type=\"auto\"/></w:tcPr><w:p><w:r><w:rPr>"
      "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">";
  Out += XmlEscape(Text);
  Out += "</w:t></w:r></w:p></w:tc>";
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
  std::string Out;
  WriteSpreadsheetStart(Out);
  for (const TXlsxSheet* Sheet : Sheets) WriteWorksheet(Out, *Sheet);
  Out += "</Workbook>\r\n";
  return Out;
}

void ExportXmlSpreadsheet(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets,
                          const std::string& OutputFileName) {
  WriteFileAtomically(OutputFileName,
                      XmlSpreadsheetText(SelectSheets(Workbook, CurrentSheet, AllSheets)));
}

void AppendDocxSheet(const TXlsxSheet& Sheet, std::string& Builder) {
  WriteDocxHeading(Builder, Sheet.Name);
  if (Sheet.RowCount == 0 || Sheet.ColCount == 0) {
    Builder += "<w:p><w:r><w:rPr><w:i/></w:rPr><w:t>(empty worksheet)</w:t></w:r></w:p>";
    return;
  }
  WriteDocxTableStart(Builder, Sheet.ColCount);
  for (int32_t R = 0; R < Sheet.RowCount; ++R) {
    Builder += "<w:tr>";
    for (int32_t C = 0; C < Sheet.ColCount; ++C) WriteDocxCell(Builder, Sheet.Cell(R, C));
    Builder += "</w:tr>";
  }
  Builder += "</w:tbl>";
}

std::string DocxDocumentText(const TSheetList& Sheets) {
  std::string Out(kXmlDeclaration);
  Out +=
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<w:body>";
  for (const TXlsxSheet* Sheet : Sheets) AppendDocxSheet(*Sheet, Out);
  Out +=
      "<w:sectPr><w:pgSz w:w=\"15840\" w:h=\"12240\" w:orient=\"landscape\"/>"
      "<w:pgMar w:top=\"720\" w:right=\"720\" w:bottom=\"720\" w:left=\"720\"/></w:sectPr>"
      "</w:body></w:document>";
  return Out;
}

void AddZipTextEntry(TZipWriter& Zip, std::string_view EntryName, std::string_view Text) {
  Zip.AddEntry(EntryName, Text, TZipMethod::Deflated);
}

namespace {

void WriteDocxParts(TZipWriter& Zip, std::string_view Document) {
  AddZipTextEntry(Zip, "[Content_Types].xml", ContentTypesText());
  AddZipTextEntry(Zip, "_rels/.rels", PackageRelationshipsText());
  AddZipTextEntry(Zip, "word/document.xml", Document);
}

}  // namespace

void WriteDocxPackage(const TSheetList& Sheets, TZipWriter& Zip) {
  WriteDocxParts(Zip, DocxDocumentText(Sheets));
}

void ExportDocx(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets,
                const std::string& OutputFileName) {
  // The document text is complete before the file is created.
  const std::string Document = DocxDocumentText(SelectSheets(Workbook, CurrentSheet, AllSheets));
  TZipWriter Zip(OutputFileName);
  WriteDocxParts(Zip, Document);
  Zip.Finish();
}

}  // namespace kv
