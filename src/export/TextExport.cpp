#include <cstdint>
#include <set>

#include "base/Files.h"
#include "base/Text.h"
#include "export/ExportSink.h"
#include "export/XlsxExporter.h"

namespace kv {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

void PutDelimitedCell(TTextSink& Out, std::string_view Cell, char Delimiter) {
  bool Quote = false;
  for (char C : Cell)
    if (C == Delimiter || C == '"' || C == '\n' || C == '\r') {
      Quote = true;
      break;
    }
  if (!Quote) {
    Out.Put(Cell);
    return;
  }
  Out.Put('"');
  for (size_t At = 0;;) {
    const size_t Q = Cell.find('"', At);
    Out.Put(Cell.substr(At, Q == std::string_view::npos ? Q : Q + 1 - At));
    if (Q == std::string_view::npos) break;
    Out.Put('"');
    At = Q + 1;
  }
  Out.Put('"');
}

// Folder and stem of Path, and its extension with the dot ("" without one).
// Both separators count, so a Windows-style name splits the same everywhere.
void SplitExtension(const std::string& Path, std::string& Stem, std::string& Extension) {
  const size_t Sep = Path.find_last_of("/\\");
  const size_t Dot = Path.rfind('.');
  if (Dot == std::string::npos || (Sep != std::string::npos && Dot < Sep)) {
    Stem = Path;
    Extension.clear();
  } else {
    Stem = Path.substr(0, Dot);
    Extension = Path.substr(Dot);
  }
}

void PutLine(TTextSink& Out, std::string_view Line) {
  Out.Put(Line);
  Out.Put(kCrLf);
}

void PutDelimitedSheet(TTextSink& Out, const TXlsxSheet& Sheet, char Delimiter) {
  Out.Put(kBom);
  for (int32_t R = 0; R < Sheet.RowCount(); ++R) {
    for (int32_t C = 0; C < Sheet.ColCount(); ++C) {
      if (C > 0) Out.Put(Delimiter);
      PutDelimitedCell(Out, Sheet.Cell(R, C), Delimiter);
    }
    Out.Put(kCrLf);
  }
}

void PutHtmlDocument(TTextSink& Out, const TSheetList& Sheets) {
  Out.Put(kBom);
  PutLine(Out, "<!DOCTYPE html><html><head><meta charset=\"utf-8\">");
  PutLine(Out,
          "<style>body{font-family:Segoe UI,Arial,sans-serif;}table{border-collapse:collapse;"
          "margin-bottom:28px;font-size:13px;}td,th{border:1px solid #999;padding:4px 8px;}"
          "th{background:#f0f0f0;font-weight:bold;}h2{font-size:16px;}</style></head><body>");
  for (const TXlsxSheet* Sheet : Sheets) {
    Out.Put("<h2>");
    PutHtmlEscaped(Out, Sheet->Name);
    PutLine(Out, "</h2>");
    PutLine(Out, "<table>");
    for (int32_t R = 0; R < Sheet->RowCount(); ++R) {
      PutLine(Out, "<tr>");
      for (int32_t C = 0; C < Sheet->ColCount(); ++C) {
        Out.Put("<td>");
        PutHtmlEscaped(Out, Sheet->Cell(R, C));
        PutLine(Out, "</td>");
      }
      PutLine(Out, "</tr>");
    }
    PutLine(Out, "</table>");
  }
  PutLine(Out, "</body></html>");
}

}  // namespace

std::string DelimitedSheetText(const TXlsxSheet& Sheet, char Delimiter) {
  return TextOfPieces([&](TTextSink& Out) { PutDelimitedSheet(Out, Sheet, Delimiter); });
}

void WriteDelimitedSheet(const TXlsxSheet& Sheet, const std::string& FileName, char Delimiter) {
  WriteFileInPieces(FileName, [&](TTextSink& Out) { PutDelimitedSheet(Out, Sheet, Delimiter); });
}

std::vector<std::string> SheetFileNames(const TSheetList& Sheets,
                                        const std::string& OutputFileName) {
  std::string Stem, Extension;
  SplitExtension(OutputFileName, Stem, Extension);
  // Names are told apart as Windows does, ignoring case, so that no sheet's
  // file replaces another's.
  std::set<std::string> Taken;
  std::vector<std::string> Names;
  for (const TXlsxSheet* Sheet : Sheets) {
    const std::string Base = Stem + "_" + SafeFileNamePart(Sheet->Name);
    std::string Name = Base + Extension;
    for (int N = 2; Taken.count(AsciiLower(Name)) != 0; ++N)
      Name = Base + "_" + std::to_string(N) + Extension;
    Taken.insert(AsciiLower(Name));
    Names.push_back(std::move(Name));
  }
  return Names;
}

void ExportDelimited(const TSheetList& Sheets, char Delimiter, const std::string& OutputFileName) {
  if (Sheets.size() == 1) {
    WriteDelimitedSheet(*Sheets.front(), OutputFileName, Delimiter);
    return;
  }
  const std::vector<std::string> Names = SheetFileNames(Sheets, OutputFileName);
  for (size_t I = 0; I < Sheets.size(); ++I) WriteDelimitedSheet(*Sheets[I], Names[I], Delimiter);
}

std::string HtmlDocumentText(const TSheetList& Sheets) {
  return TextOfPieces([&](TTextSink& Out) { PutHtmlDocument(Out, Sheets); });
}

void ExportHtml(const TSheetList& Sheets, const std::string& OutputFileName) {
  WriteFileInPieces(OutputFileName, [&](TTextSink& Out) { PutHtmlDocument(Out, Sheets); });
}

}  // namespace kv
