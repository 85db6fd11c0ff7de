#include <utility>

#include "base/Error.h"
#include "base/Text.h"
#include "export/XlsxExporter.h"

namespace kv {

namespace {

std::string NormalizedWord(std::string_view S) {
  return AsciiLower(Trim(S));
}

std::string ReplaceEach(std::string_view Text,
                        std::initializer_list<std::pair<char, std::string_view>> Map) {
  std::string Out;
  Out.reserve(Text.size() + Text.size() / 8);
  for (char C : Text) {
    bool Done = false;
    for (const auto& [From, To] : Map)
      if (C == From) {
        Out.append(To);
        Done = true;
        break;
      }
    if (!Done) Out += C;
  }
  return Out;
}

}  // namespace

ExportFormat ParseExportFormat(const std::string& FormatStr) {
  static const std::pair<std::string_view, ExportFormat> kWords[] = {
      {"csv", ExportFormat::CSV},
      {"text", ExportFormat::Text},
      {"txt", ExportFormat::Text},
      {"tabtext", ExportFormat::Text},
      {"html", ExportFormat::HTML},
      {"web page", ExportFormat::HTML},
      {"xmlspreadsheet", ExportFormat::XMLSpreadsheet},
      {"xml spreadsheet", ExportFormat::XMLSpreadsheet},
      {"xml", ExportFormat::XMLSpreadsheet},
      {"word", ExportFormat::Word},
      {"docx", ExportFormat::Word},
      {"pdf", ExportFormat::PDF},
  };
  const std::string Word = NormalizedWord(FormatStr);
  for (const auto& [Name, Format] : kWords)
    if (Word == Name) return Format;
  throw TKvError("Unknown export format \"" + FormatStr +
                 "\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
}

bool IsAllSheetsScope(std::string_view ScopeStr) {
  const std::string Word = NormalizedWord(ScopeStr);
  return Word == "allsheets" || Word == "all sheets" || Word == "all";
}

std::vector<int> SelectSheetIndexes(const TXlsxWorkbook& Workbook, int CurrentSheet,
                                    bool AllSheets) {
  if (!AllSheets) return {CurrentSheet};
  std::vector<int> Indexes;
  for (int I = 0; I < Workbook.SheetCount(); ++I) Indexes.push_back(I);
  return Indexes;
}

TSheetList SelectSheets(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets) {
  TSheetList Sheets;
  for (int I : SelectSheetIndexes(Workbook, CurrentSheet, AllSheets))
    Sheets.push_back(&Workbook.Sheet(I));
  return Sheets;
}

std::string HtmlEscape(std::string_view Text) {
  const std::string Escaped =
      ReplaceEach(Text, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}});
  return ReplaceAll(Escaped, "\r\n", "<br>");
}

std::string XmlEscape(std::string_view Text) {
  std::string Out = ReplaceEach(
      Text, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}});
  // XML 1.0 has no form at all for the other C0 controls (not even a
  // character reference); one left in would make the file unreadable.
  for (char& C : Out)
    if ((unsigned char)C < 0x20 && C != '\t' && C != '\n' && C != '\r') C = '?';
  return Out;
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

void ExportWorkbookToFile(const TXlsxWorkbook* Workbook, int CurrentSheet,
                          const std::string& FormatStr, const std::string& OutputFileName,
                          const std::string& ScopeStr) {
  if (Workbook == nullptr) throw TKvError("No workbook is currently open.");
  if (IsBlank(OutputFileName)) throw TKvError("No output file name was given.");
  const ExportFormat Format = ParseExportFormat(FormatStr);
  const bool AllSheets = IsAllSheetsScope(ScopeStr);
  // The viewer always passes a valid sheet; other callers may not, and an
  // index out of range must not reach the writers.
  if (Workbook->SheetCount() == 0) throw TKvError("The workbook has no worksheets to export.");
  if (!AllSheets && (CurrentSheet < 0 || CurrentSheet >= Workbook->SheetCount()))
    throw TKvError("There is no current worksheet to export.");
  const TSheetList Sheets = SelectSheets(*Workbook, CurrentSheet, AllSheets);
  switch (Format) {
    case ExportFormat::CSV:
      ExportDelimited(Sheets, ',', OutputFileName);
      break;
    case ExportFormat::Text:
      ExportDelimited(Sheets, '\t', OutputFileName);
      break;
    case ExportFormat::HTML:
      ExportHtml(*Workbook, CurrentSheet, AllSheets, OutputFileName);
      break;
    case ExportFormat::XMLSpreadsheet:
      ExportXmlSpreadsheet(*Workbook, CurrentSheet, AllSheets, OutputFileName);
      break;
    case ExportFormat::Word:
      ExportDocx(*Workbook, CurrentSheet, AllSheets, OutputFileName);
      break;
    case ExportFormat::PDF:
      ExportPdf(Sheets, OutputFileName);
      break;
  }
}

}  // namespace kv
