#include <new>
#include <utility>
#include <vector>

#include "base/Error.h"
#include "base/Text.h"
#include "export/ExportSink.h"
#include "export/XlsxExporter.h"
#include "xml/XmlEscape.h"

namespace kv {

namespace {

std::string NormalizedWord(std::string_view S) {
  return AsciiLower(Trim(S));
}

}  // namespace

ExportFormat ParseExportFormat(const std::string& FormatStr) {
  // Each format with the words that name it.
  static const std::pair<ExportFormat, std::vector<std::string_view>> kWords[] = {
      {ExportFormat::CSV, {"csv"}},
      {ExportFormat::Text, {"text", "txt", "tabtext"}},
      {ExportFormat::HTML, {"html", "web page"}},
      {ExportFormat::XMLSpreadsheet, {"xmlspreadsheet", "xml spreadsheet", "xml"}},
      {ExportFormat::Word, {"word", "docx"}},
      {ExportFormat::PDF, {"pdf"}},
  };
  const std::string Word = NormalizedWord(FormatStr);
  for (const auto& [Format, Names] : kWords)
    for (std::string_view Name : Names)
      if (Word == Name) return Format;
  throw TKvError("Unknown export format \"" + FormatStr +
                 "\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
}

bool IsAllSheetsScope(std::string_view ScopeStr) {
  const std::string Word = NormalizedWord(ScopeStr);
  return Word == "allsheets" || Word == "all sheets" || Word == "all";
}

TSheetList SelectSheets(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets) {
  if (!AllSheets) return {&Workbook.Sheet(CurrentSheet)};
  TSheetList Sheets;
  for (int I = 0; I < Workbook.SheetCount(); ++I) Sheets.push_back(&Workbook.Sheet(I));
  return Sheets;
}

int ExportSheets(ExportFormat Format, const TSheetList& Sheets, const std::string& OutputFileName,
                 const std::string& PdfFont) {
  switch (Format) {
    case ExportFormat::CSV:
      ExportDelimited(Sheets, ',', OutputFileName);
      break;
    case ExportFormat::Text:
      ExportDelimited(Sheets, '\t', OutputFileName);
      break;
    case ExportFormat::HTML:
      ExportHtml(Sheets, OutputFileName);
      break;
    case ExportFormat::XMLSpreadsheet:
      ExportXmlSpreadsheet(Sheets, OutputFileName);
      break;
    case ExportFormat::Word:
      ExportDocx(Sheets, OutputFileName);
      break;
    case ExportFormat::PDF:
      return ExportPdf(Sheets, OutputFileName, PdfFont);
  }
  return 0;
}

namespace {

// Puts Text with the characters that Replacement names replaced: for the
// character at I it gives the text to put instead (empty: keep it) and how
// many bytes that replaces.
template <class TReplacement>
void PutReplaced(TTextSink& Sink, std::string_view Text, TReplacement Replacement) {
  size_t Run = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    size_t Skip = 1;
    const std::string_view To = Replacement(Text, I, Skip);
    if (To.empty()) continue;
    Sink.Put(Text.substr(Run, I - Run));
    Sink.Put(To);
    I += Skip - 1;
    Run = I + 1;
  }
  Sink.Put(Text.substr(Run));
}

std::string_view HtmlReplacement(std::string_view Text, size_t I, size_t& Skip) {
  switch (Text[I]) {
    case '\n':
      return "<br>";
    case '\r':
      if (I + 1 == Text.size() || Text[I + 1] != '\n') return {};
      Skip = 2;
      return "<br>";
    case '\'':
      return {};  // HTML 4 has no "&apos;"
    default:
      return XmlEntityFor(Text[I]);
  }
}

std::string_view XmlReplacement(std::string_view Text, size_t I, size_t& Skip) {
  const unsigned char C = static_cast<unsigned char>(Text[I]);
  switch (C) {
    case '\t':
    case '\n':
    case '\r':
      return {};
    case 0xEF:
      // U+FFFE and U+FFFF (EF BF BE, EF BF BF): XML 1.0 has no form at all
      // for them, as for the C0 controls below, not even a character
      // reference; one left in would make the file unreadable.
      if (I + 2 >= Text.size() || (unsigned char)Text[I + 1] != 0xBF ||
          ((unsigned char)Text[I + 2] & 0xFE) != 0xBE)
        return {};
      Skip = 3;
      return "?";
    default:
      return C < 0x20 ? "?" : XmlEntityFor(Text[I]);
  }
}

}  // namespace

void PutHtmlEscaped(TTextSink& Sink, std::string_view Text) {
  PutReplaced(Sink, Text, HtmlReplacement);
}

void PutXmlEscaped(TTextSink& Sink, std::string_view Text) {
  PutReplaced(Sink, Text, XmlReplacement);
}

std::string HtmlEscape(std::string_view Text) {
  TTextSink Sink;
  PutHtmlEscaped(Sink, Text);
  return Sink.Take();
}

std::string XmlEscape(std::string_view Text) {
  TTextSink Sink;
  PutXmlEscaped(Sink, Text);
  return Sink.Take();
}

std::string SafeFileNamePart(std::string_view Text) {
  std::string Out(Text);
  for (char& C : Out) switch (C) {
      case '"':
      case '*':
      case '/':
      case ':':
      case '<':
      case '>':
      case '?':
      case '\\':
      case '|':
        C = '_';
        break;
      default:
        break;
    }
  return Out;
}

int ExportWorkbookToFile(const TXlsxWorkbook* Workbook, int CurrentSheet,
                         const std::string& FormatStr, const std::string& OutputFileName,
                         const std::string& ScopeStr, const std::string& PdfFont) {
  if (Workbook == nullptr) throw TKvError("No workbook is currently open.");
  if (IsBlank(OutputFileName)) throw TKvError("No output file name was given.");
  const ExportFormat Format = ParseExportFormat(FormatStr);
  const bool AllSheets = IsAllSheetsScope(ScopeStr);
  // The viewer always passes a valid sheet; other callers may not, and an
  // index out of range must not reach the writers.
  if (Workbook->SheetCount() == 0) throw TKvError("The workbook has no worksheets to export.");
  if (!AllSheets && (CurrentSheet < 0 || CurrentSheet >= Workbook->SheetCount()))
    throw TKvError("There is no current worksheet to export.");
  try {
    return ExportSheets(Format, SelectSheets(*Workbook, CurrentSheet, AllSheets), OutputFileName,
                        PdfFont);
  } catch (const std::bad_alloc&) {
    throw TKvError("Not enough memory to export the workbook to " + OutputFileName + ".");
  }
}

}  // namespace kv
