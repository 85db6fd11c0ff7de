// Export of a loaded workbook's cell texts to CSV, tab-delimited text, HTML,
// XML Spreadsheet 2003, a Word .docx package or a PDF file. Sheet names and
// cell texts are used, the cells' types by XML Spreadsheet, and the hidden
// rows and columns by Word and PDF (which leave them out, as printing does);
// no styles or widths.
//
// Promises: every file is written in pieces, as it is made, through a
// temporary name beside its target, then moved over it, so a failed export
// never leaves a partial file under the user's name and never changes an
// existing one, and the memory an export takes does not grow with the file. (A
// CSV or Text export of several sheets writes one file per sheet; files
// finished for earlier sheets stay when a later one fails.)
//
// The writers work from a list of sheets: ExportWorkbookToFile selects them
// once (the current one, or all in workbook order) and passes them down
// through ExportSheets.
#ifndef KV_EXPORT_XLSXEXPORTER_H
#define KV_EXPORT_XLSXEXPORTER_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/Workbook.h"
#include "workbook/CellNotation.h"

namespace kv {

class TZipWriter;
class TPdfFontSet;
class IFontSource;

enum class ExportFormat { CSV, Text, HTML, XMLSpreadsheet, Word, PDF };

using TSheetList = std::vector<const TXlsxSheet*>;

// The one export entry. Workbook may be null. ScopeStr selects all sheets
// ("allsheets", "all sheets", "all") or else the current sheet.
// Raises: "No workbook is currently open.", "No output file name was given.",
// the unknown-format error of ParseExportFormat, "The workbook has no
// worksheets to export.", "There is no current worksheet to export." (a
// current sheet index out of range), "Not enough memory to export the
// workbook to <OutputFileName>." and the writers' file errors. Returns how
// many characters print as "?" (a PDF's characters its font has no glyph
// for; 0 for the other formats).
// PdfFont names the PDF's font (see ExportPdf).
int ExportWorkbookToFile(const TXlsxWorkbook* Workbook, int CurrentSheet,
                         const std::string& FormatStr, const std::string& OutputFileName,
                         const std::string& ScopeStr, const std::string& PdfFont = {});

// Format words, trimmed and ASCII lower-cased, then matched exactly: csv;
// text, txt, tabtext; html, web page; xmlspreadsheet, xml spreadsheet, xml;
// word, docx; pdf. Raises: "Unknown export format \"<FormatStr as
// passed>\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF."
ExportFormat ParseExportFormat(const std::string& FormatStr);
bool IsAllSheetsScope(std::string_view ScopeStr);

// Every sheet in workbook order when AllSheets, else just CurrentSheet.
// Requires: CurrentSheet valid unless AllSheets. Raises: the errors of
// TXlsxWorkbook::Sheet.
TSheetList SelectSheets(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets);

// Writes Sheets to OutputFileName in Format (CSV and Text: one file per
// sheet when there are several, see ExportDelimited). Returns the characters
// printed as "?" (ExportPdf). Raises: the writers' file errors.
// PdfFont: see ExportPdf.
int ExportSheets(ExportFormat Format, const TSheetList& Sheets, const std::string& OutputFileName,
                 const std::string& PdfFont = {});

// & < > " as entities; each LF and each CR LF pair as <br>.
std::string HtmlEscape(std::string_view Text);
// & < > " ' as entities; the characters XML 1.0 cannot hold in any form (C0
// controls other than TAB, LF and CR; U+FFFE and U+FFFF) as ?.
std::string XmlEscape(std::string_view Text);
// Each of " * / : < > ? \ | becomes _.
std::string SafeFileNamePart(std::string_view Text);

// --- Delimited text and HTML -------------------------------------------------

// The bytes of one sheet as delimited text: BOM, CR LF after every row, cells
// holding the delimiter, a quote, CR or LF quoted with quotes doubled.
std::string DelimitedSheetText(const TXlsxSheet& Sheet, char Delimiter);
// Raises: the file system's error.
void WriteDelimitedSheet(const TXlsxSheet& Sheet, const std::string& FileName, char Delimiter);
// The file of each sheet of an export of several sheets: OutputFileName's
// folder and stem + "_" + SafeFileNamePart(sheet name) + its extension; a
// name an earlier sheet took (ignoring ASCII case) gets "_2", "_3", ... before
// the extension, so no sheet's file replaces another's.
std::vector<std::string> SheetFileNames(const TSheetList& Sheets,
                                        const std::string& OutputFileName);
// One sheet goes to OutputFileName; several go to one file each, named by
// SheetFileNames. Raises: the file system's error.
void ExportDelimited(const TSheetList& Sheets, char Delimiter, const std::string& OutputFileName);

std::string HtmlDocumentText(const TSheetList& Sheets);
// Raises: the file system's error.
void ExportHtml(const TSheetList& Sheets, const std::string& OutputFileName);

// --- XML Spreadsheet 2003 and Word -------------------------------------------

// A number cell of the workbook is a Number written with the shortest digits
// that read back as its value, a date a DateTime, a text cell a String; a
// cell whose type the workbook does not tell (edited, built in memory) is a
// Number only when its text is its number's canonical text (FormatNumberText
// of TryParseNumberText gives it back). Empty cells are left out.
std::string XmlSpreadsheetText(const TSheetList& Sheets);
// Raises: the file system's error.
void ExportXmlSpreadsheet(const TSheetList& Sheets, const std::string& OutputFileName);

// Appends the sheet's heading paragraph and its table (or the italic
// "(empty worksheet)" paragraph) to the main document text. Tables have a
// fixed layout with explicit grid and cell widths: the landscape page's 10
// inches shared out, up to 140 points a column; a sheet whose columns would be
// narrower than 42 points gives one table per band of 17 columns, each under
// a heading "<name> (columns A-Q)". The first row repeats on every page (a
// header row). Hidden rows and columns are left out. A line break in a text
// is a w:br.
void AppendDocxSheet(const TXlsxSheet& Sheet, std::string& Builder);
// The text of word/document.xml for the sheets.
std::string DocxDocumentText(const TSheetList& Sheets);
// Adds [Content_Types].xml, _rels/.rels and word/document.xml, in that order,
// the last streamed into the archive as it is made. Raises: the ZIP writer's
// errors.
void WriteDocxPackage(const TSheetList& Sheets, TZipWriter& Zip);
// Adds Text (UTF-8, no BOM) as a deflated entry. Raises: the ZIP writer's errors.
void AddZipTextEntry(TZipWriter& Zip, std::string_view EntryName, std::string_view Text);
// Raises: the ZIP writer's and file system's errors.
void ExportDocx(const TSheetList& Sheets, const std::string& OutputFileName);

// --- PDF ---------------------------------------------------------------------

// A PDF 1.4 file held as numbered object bodies (single-byte text): 1 the
// Helvetica font, 2 the page tree, 3 the catalog, then per page its content
// stream and its page object.
class TPdfWriter {
 public:
  // Keeps the objects until FileBytes or SaveToFile.
  TPdfWriter();
  // Writes the file to Sink as it goes: header and first objects at once,
  // each page as it is added, the cross-reference table and trailer in
  // Finish. PageCount must be the number of pages that will be added.
  // Fonts, when given and embedding, set the text: the pages then share one
  // resources object, written in Finish with the fonts after the last page,
  // and the file has no Helvetica font object.
  TPdfWriter(std::function<void(std::string_view)> Sink, int PageCount,
             TPdfFontSet* Fonts = nullptr);

  // ContentStream is single-byte text (its strings already made by
  // PdfEscapeText). Returns the page object's number.
  int AddPage(std::string_view ContentStream, double PageWidth, double PageHeight);
  // The whole file: header, objects, cross-reference table, trailer.
  std::string FileBytes();
  // Raises: the file system's error; FileName is then unchanged.
  void SaveToFile(const std::string& FileName);
  // Of a writer to a sink: the fonts, the cross-reference table and trailer.
  // Raises: TKvError when the pages added are not the pages announced, the
  // subsetter's and Sink's.
  void Finish();
  // The fonts the text is set in; null for Helvetica alone.
  TPdfFontSet* Fonts() const { return FFonts; }

  int PageCount() const { return static_cast<int>(FPageObjNums.size()); }
  // Characters the pages print as "?", as the layout counts them.
  void CountUnprintable(int Count) { FUnprintable += Count; }
  int Unprintable() const { return FUnprintable; }

 private:
  int AddObject(std::string Body);
  void AddFixedObjects(std::string PagesBody, bool Helvetica);
  static std::string PagesBody(const std::vector<int>& Pages);
  void Put(std::string_view Bytes);
  void PutObject(size_t Number, std::string_view Body);
  void PutTail(size_t ObjectCount);
  std::vector<std::string> FObjects;  // bodies, of a writer that keeps them
  std::vector<int> FPageObjNums;
  int FFontObjNum = 0;
  int FPagesObjNum = 0;
  int FCatalogObjNum = 0;
  std::function<void(std::string_view)> FSink;
  bool FStreamed = false;
  int FExpectedPages = 0;
  size_t FObjectCount = 0;  // objects written, of a writer to a sink
  uint64_t FOffset = 0;
  std::vector<uint64_t> FOffsets;
  int FUnprintable = 0;
  TPdfFontSet* FFonts = nullptr;
  int FResourcesObjNum = 0;
};

// At most two decimals, trailing zeros and point dropped: 574.8, 43.06, 30.
std::string PdfNum(double Value);
// Windows-1252 (unmappable characters as ?), with ( ) \ escaped by a backslash.
std::string PdfEscapeText(std::string_view Text);

// The number of pages LayoutSheetPages adds for the sheet.
int SheetPageCount(const TXlsxSheet& Sheet);
// Adds the sheet's pages: column blocks of up to 17 columns when columns would
// be narrower than 42 points, row blocks of 44 rows, a title on every page.
// Hidden rows and columns are left out, as printing leaves them out.
void LayoutSheetPages(const TXlsxSheet& Sheet, TPdfWriter& Writer);
// Where a table page's parts go, in points; the defaults are the export's
// own pages: US Letter landscape, 30-point margins, 7-point text in 12-point
// rows.
struct TPdfPageGeometry {
  double PageWidth = 792, PageHeight = 612;
  double LeftMargin = 30, TopMargin = 30;
  double FontSize = 7, RowHeight = 12;
};
// The content stream of one page: title, column letters, the cell texts of
// RowList x ColList (the sheet's rows and columns on the page, in order; each
// line break a blank) cut by Helvetica's widths to what fits between the
// 3-point insets, with an ellipsis where cut, then the grey rules. Widths
// holds one entry per column of ColList. Unprintable, when given, grows by
// the characters shown that the font has no glyph for (printed as "?").
// The text is set in Fonts when given and embedding, else in Helvetica.
std::string BuildTablePageContent(const TXlsxSheet& Sheet, const std::vector<int32_t>& RowList,
                                  const std::vector<int32_t>& ColList,
                                  const std::vector<double>& Widths, const TPdfPageGeometry& Page,
                                  std::string_view Title, int* Unprintable = nullptr,
                                  TPdfFontSet* Fonts = nullptr);
// Sets the text in subsets of TrueType fonts (Font: a font file, or on
// Windows a face name; empty for the platform's default, see FontSource.h)
// with other fonts for characters it lacks, or in Helvetica when no font can
// be read. Returns how many characters print as "?": those no font has a
// glyph for. Raises: the file system's error.
int ExportPdf(const TSheetList& Sheets, const std::string& OutputFileName,
              const std::string& Font = {});
// ExportPdf with the fonts of Source (null: Helvetica alone).
int ExportPdfWithFonts(const TSheetList& Sheets, const std::string& OutputFileName,
                       IFontSource* Source);

}  // namespace kv

#endif
