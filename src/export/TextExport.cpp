#include <cstdint>

#include "base/Files.h"
#include "export/XlsxExporter.h"

namespace kv {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

void AppendDelimitedCell(std::string& Out, std::string_view Cell, char Delimiter) {
  bool Quote = false;
  for (char C : Cell)
    if (C == Delimiter || C == '"' || C == '\n' || C == '\r') {
      Quote = true;
      break;
    }
  if (!Quote) {
    Out.append(Cell);
    return;
  }
  Out += '"';
  for (char C : Cell) {
    if (C == '"') Out += '"';
    Out += C;
  }
  Out += '"';
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

void AppendLine(std::string& Out, std::string_view A, std::string_view B = {},
                std::string_view C = {}) {
  Out.append(A);
  Out.append(B);
  Out.append(C);
  Out.append(kCrLf);
}

}  // namespace

namespace {

// Appends the sheet's delimited text to Out, handing Out to Flush (which
// empties it) whenever it passes FlushAt bytes.
template <class TFlush>
void EmitDelimitedSheet(const TXlsxSheet& Sheet, char Delimiter, std::string& Out, size_t FlushAt,
                        TFlush Flush) {
  Out.append(kBom);
  for (int32_t R = 0; R < Sheet.RowCount; ++R) {
    for (int32_t C = 0; C < Sheet.ColCount; ++C) {
      if (C > 0) Out += Delimiter;
      AppendDelimitedCell(Out, Sheet.Cell(R, C), Delimiter);
    }
    Out.append(kCrLf);
    if (Out.size() >= FlushAt) Flush(Out);
  }
}

}  // namespace

std::string DelimitedSheetText(const TXlsxSheet& Sheet, char Delimiter) {
  std::string Out;
  Out.reserve(size_t(Sheet.RowCount) * size_t(Sheet.ColCount) * 8 + 16);
  EmitDelimitedSheet(Sheet, Delimiter, Out, SIZE_MAX, [](std::string&) {});
  return Out;
}

void WriteDelimitedSheet(const TXlsxSheet& Sheet, const std::string& FileName, char Delimiter) {
  // Written in pieces through one small buffer: a whole sheet's text would
  // be megabytes of fresh memory, which costs more to touch than to write.
  constexpr size_t kPiece = size_t{128} << 10;
  TAtomicFileWriter Writer(FileName);
  std::string Piece;
  Piece.reserve(kPiece + 4096);
  EmitDelimitedSheet(Sheet, Delimiter, Piece, kPiece, [&](std::string& Out) {
    Writer.Write(Out);
    Out.clear();
  });
  Writer.Write(Piece);
  Writer.Commit();
}

void ExportDelimited(const TSheetList& Sheets, char Delimiter, const std::string& OutputFileName) {
  if (Sheets.size() == 1) {
    WriteDelimitedSheet(*Sheets.front(), OutputFileName, Delimiter);
    return;
  }
  std::string Stem, Extension;
  SplitExtension(OutputFileName, Stem, Extension);
  for (const TXlsxSheet* Sheet : Sheets)
    WriteDelimitedSheet(*Sheet, Stem + "_" + SafeFileNamePart(Sheet->Name) + Extension, Delimiter);
}

void ExportDelimited(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets,
                     char Delimiter, const std::string& OutputFileName) {
  ExportDelimited(SelectSheets(Workbook, CurrentSheet, AllSheets), Delimiter, OutputFileName);
}

std::string HtmlDocumentText(const TSheetList& Sheets) {
  std::string Out(kBom);
  AppendLine(Out, "<!DOCTYPE html><html><head><meta charset=\"utf-8\">");
  AppendLine(Out,
             "<style>body{font-family:Segoe UI,Arial,sans-serif;}table{border-collapse:collapse;"
             "margin-bottom:28px;font-size:13px;}td,th{border:1px solid #999;padding:4px 8px;}"
             "th{background:#f0f0f0;font-weight:bold;}h2{font-size:16px;}</style></head><body>");
  for (const TXlsxSheet* Sheet : Sheets) {
    AppendLine(Out, "<h2>", HtmlEscape(Sheet->Name), "</h2>");
    AppendLine(Out, "<table>");
    for (int32_t R = 0; R < Sheet->RowCount; ++R) {
      AppendLine(Out, "<tr>");
      for (int32_t C = 0; C < Sheet->ColCount; ++C)
        AppendLine(Out, "<td>", HtmlEscape(Sheet->Cell(R, C)), "</td>");
      AppendLine(Out, "</tr>");
    }
    AppendLine(Out, "</table>");
  }
  AppendLine(Out, "</body></html>");
  return Out;
}

void ExportHtml(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets,
                const std::string& OutputFileName) {
  WriteFileAtomically(OutputFileName,
                      HtmlDocumentText(SelectSheets(Workbook, CurrentSheet, AllSheets)));
}

}  // namespace kv
