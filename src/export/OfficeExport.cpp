#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

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
  // Date cells are DateTime values shown as the workbook's cells show them.
  Out.Put(
      " <Styles>\r\n"
      "  <Style ss:ID=\"kvDate\"><NumberFormat ss:Format=\"yyyy\\-mm\\-dd\"/></Style>\r\n"
      "  <Style ss:ID=\"kvDateTime\"><NumberFormat ss:Format=\"yyyy\\-mm\\-dd\\ "
      "hh:mm\"/></Style>\r\n"
      " </Styles>\r\n");
}

// The shortest text that reads back as the same double: the digits it has.
bool NumberDigits(std::string_view Stored, std::string& Out) {
  double Value = 0;
  if (!TryParseNumberText(Stored, Value)) return false;
  char Buf[32];
  const auto R = std::to_chars(Buf, Buf + sizeof Buf, Value);
  Out.assign(Buf, R.ptr);
  return true;
}

// A date cell's text ("2024-01-15", "2024-01-15 13:45") and its serial as an
// ISO date-time with the serial's time of day to the millisecond. False for a
// text that is no date.
bool DateTimeText(std::string_view Text, double Serial, std::string& Out) {
  const bool Shape = (Text.size() == 10 || Text.size() == 16) && Text[4] == '-' && Text[7] == '-';
  if (!Shape || !std::isfinite(Serial)) return false;
  int64_t Ms = std::llround((Serial - std::floor(Serial)) * 86400000.0);
  Ms = std::min<int64_t>(Ms, 86400000 - 1);
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "T%02d:%02d:%02d.%03d", int(Ms / 3600000), int(Ms / 60000 % 60),
                int(Ms / 1000 % 60), int(Ms % 1000));
  Out.assign(Text.substr(0, 10));
  Out += Buf;
  return true;
}

// Index: the 1-based column of a cell after left-out ones, else 0.
void PutSpreadsheetData(TTextSink& Out, int32_t Index, std::string_view Style,
                        std::string_view Type, std::string_view Text, bool Escape) {
  Out.Put("    <Cell");
  if (Index > 0) {
    Out.Put(" ss:Index=\"");
    Out.Put(std::to_string(Index));
    Out.Put("\"");
  }
  if (!Style.empty()) {
    Out.Put(" ss:StyleID=\"");
    Out.Put(Style);
    Out.Put("\"");
  }
  Out.Put("><Data ss:Type=\"");
  Out.Put(Type);
  Out.Put("\">");
  if (Escape)
    PutXmlEscaped(Out, Text);
  else
    Out.Put(Text);
  Out.Put("</Data></Cell>\r\n");
}

// A number cell of the workbook is a Number written with the digits it has,
// a date a DateTime; a text cell a String whatever it looks like.
void PutSpreadsheetCell(TTextSink& Out, const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                        int32_t Index, std::string& Buffer) {
  const std::string_view Text = Sheet.Cell(Row, Col);
  if (Sheet.CellType(Row, Col) == TCellType::Number) {
    const std::string_view Stored = Sheet.Data->CellValue(Row, Col);
    double Serial = 0;
    if (Stored != Text && TryParseNumberText(Stored, Serial) && DateTimeText(Text, Serial, Buffer))
      return PutSpreadsheetData(Out, Index, Text.size() == 10 ? "kvDate" : "kvDateTime", "DateTime",
                                Buffer, false);
    if (NumberDigits(Stored, Buffer))
      return PutSpreadsheetData(Out, Index, {}, "Number", Buffer, false);
  }
  PutSpreadsheetData(Out, Index, {}, "String", Text, true);
}

// Empty cells are left out: the next cell written says its column.
void PutWorksheet(TTextSink& Out, const TXlsxSheet& Sheet) {
  Out.Put(" <Worksheet ss:Name=\"");
  PutXmlEscaped(Out, Sheet.Name);
  Out.Put("\">\r\n");
  Out.Put("  <Table>\r\n");
  std::string Buffer;
  for (int32_t R = 0; R < Sheet.RowCount(); ++R) {
    Out.Put("   <Row>\r\n");
    bool Skipped = false;
    for (int32_t C = 0; C < Sheet.ColCount(); ++C) {
      if (Sheet.Cell(R, C).empty()) {
        Skipped = true;
        continue;
      }
      PutSpreadsheetCell(Out, Sheet, R, C, Skipped ? C + 1 : 0, Buffer);
      Skipped = false;
    }
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

// A landscape Letter page with half-inch margins holds 10 inches of table
// (14400 twips). Columns get the PDF's widths: the page shared out up to 140
// points (2800 twips) each; where that would be narrower than 42 points (840
// twips), bands of 17 columns, each table under a heading naming its columns.
constexpr int32_t kDocxUsableTwips = 14400;
constexpr int32_t kDocxMaxColTwips = 2800;
constexpr int32_t kDocxMinColTwips = 840;

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

// A fixed layout with an explicit grid, so that Word and LibreOffice give
// every column the same width.
void PutDocxTableStart(TTextSink& Out, size_t ColCount, int32_t ColTwips) {
  Out.Put("<w:tbl><w:tblPr><w:tblW w:w=\"");
  Out.Put(std::to_string(ColTwips * static_cast<int32_t>(ColCount)));
  Out.Put("\" w:type=\"dxa\"/><w:tblBorders>");
  for (const char* Side : {"top", "left", "bottom", "right", "insideH", "insideV"}) {
    Out.Put("<w:");
    Out.Put(Side);
    Out.Put(" w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"999999\"/>");
  }
  Out.Put("</w:tblBorders><w:tblLayout w:type=\"fixed\"/></w:tblPr>");
  Out.Put("<w:tblGrid>");
  const std::string GridCol = "<w:gridCol w:w=\"" + std::to_string(ColTwips) + "\"/>";
  for (size_t C = 0; C < ColCount; ++C) Out.Put(GridCol);
  Out.Put("</w:tblGrid>");
}

void PutDocxCell(TTextSink& Out, std::string_view Text, std::string_view CellWidth) {
  Out.Put("<w:tc><w:tcPr>");
  Out.Put(CellWidth);
  Out.Put(
      "</w:tcPr><w:p><w:r><w:rPr>"
      "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">");
  PutDocxText(Out, Text);
  Out.Put("</w:t></w:r></w:p></w:tc>");
}

// The sheet's shown rows across the columns Cols; the first row repeats at
// the top of every page the table runs over.
void PutDocxTable(TTextSink& Out, const TXlsxSheet& Sheet, const std::vector<int32_t>& Cols,
                  int32_t ColTwips) {
  PutDocxTableStart(Out, Cols.size(), ColTwips);
  const std::string CellWidth = "<w:tcW w:w=\"" + std::to_string(ColTwips) + "\" w:type=\"dxa\"/>";
  bool First = true;
  for (int32_t R = Sheet.HiddenRows.NextShown(0); R < Sheet.RowCount();
       R = Sheet.HiddenRows.NextShown(R + 1)) {
    Out.Put(First ? "<w:tr><w:trPr><w:tblHeader/></w:trPr>" : "<w:tr>");
    First = false;
    for (int32_t C : Cols) PutDocxCell(Out, Sheet.Cell(R, C), CellWidth);
    Out.Put("</w:tr>");
  }
  Out.Put("</w:tbl>");
}

void PutDocxEmptySheet(TTextSink& Out, const TXlsxSheet& Sheet) {
  PutDocxHeading(Out, Sheet.Name);
  Out.Put("<w:p><w:r><w:rPr><w:i/></w:rPr><w:t>(empty worksheet)</w:t></w:r></w:p>");
}

// Hidden rows and columns are left out, as printing leaves them out.
void PutDocxSheet(TTextSink& Out, const TXlsxSheet& Sheet) {
  const int32_t ShownCols = Sheet.HiddenCols.ShownCount(Sheet.ColCount());
  if (ShownCols == 0 || Sheet.HiddenRows.ShownCount(Sheet.RowCount()) == 0)
    return PutDocxEmptySheet(Out, Sheet);
  int32_t ColTwips = std::min(kDocxUsableTwips / ShownCols, kDocxMaxColTwips);
  int32_t PerBand = ShownCols;
  if (ColTwips < kDocxMinColTwips) {
    PerBand = kDocxUsableTwips / kDocxMinColTwips;
    ColTwips = kDocxUsableTwips / PerBand;
  }
  std::vector<int32_t> Cols;
  for (int32_t C = Sheet.HiddenCols.NextShown(0); C < Sheet.ColCount();) {
    Cols.push_back(C);
    C = Sheet.HiddenCols.NextShown(C + 1);
    if (static_cast<int32_t>(Cols.size()) < PerBand && C < Sheet.ColCount()) continue;
    if (PerBand == ShownCols)
      PutDocxHeading(Out, Sheet.Name);
    else
      PutDocxHeading(Out, Sheet.Name + " (columns " + ColumnIndexToLetters(Cols.front()) + "-" +
                              ColumnIndexToLetters(Cols.back()) + ")");
    PutDocxTable(Out, Sheet, Cols, ColTwips);
    Cols.clear();
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
  return TextOfPieces([&](TTextSink& Out) { PutSpreadsheet(Out, Sheets); });
}

void ExportXmlSpreadsheet(const TSheetList& Sheets, const std::string& OutputFileName) {
  WriteFileInPieces(OutputFileName, [&](TTextSink& Out) { PutSpreadsheet(Out, Sheets); });
}

void AppendDocxSheet(const TXlsxSheet& Sheet, std::string& Builder) {
  Builder += TextOfPieces([&](TTextSink& Out) { PutDocxSheet(Out, Sheet); });
}

std::string DocxDocumentText(const TSheetList& Sheets) {
  return TextOfPieces([&](TTextSink& Out) { PutDocxDocument(Out, Sheets); });
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
