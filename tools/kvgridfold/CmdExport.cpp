// "export": a workbook to CSV, text, HTML, XML Spreadsheet, Word or PDF
// through the same entry the viewer's export action uses.
#include <cstdio>

#include "Cli.h"
#include "export/XlsxExporter.h"
#include "workbook/Workbook.h"

namespace kv::cli {

namespace {

const char* const kUsage =
    "export BOOK.xlsx OUT --format WORD [--sheet NAME|N] [--all] [--shown] [--font FILE]    (CSV, "
    "Text, HTML, XMLSpreadsheet, Word, PDF; --shown: cells as their number formats show them; "
    "--font: the PDF's font file, DejaVu Sans by default)";

int CmdExport(const TArgs& In) {
  TArgs Args = In;
  std::string Format, Sheet;
  if (!TakeOption(Args, "--format", Format)) UsageError(kUsage);
  bool HasSheet = TakeOption(Args, "--sheet", Sheet);
  bool All = TakeFlag(Args, "--all");
  const bool Shown = TakeFlag(Args, "--shown");
  std::string Font;
  TakeOption(Args, "--font", Font);
  if (Args.size() != 2) UsageError(kUsage);
  TXlsxWorkbook Book;
  Book.LoadFromFile(Args[0]);
  if (Shown) Book.UseShownTexts();
  int Current = HasSheet ? FindSheetIndex(Book, Sheet) : 0;
  const int Unprintable = ExportWorkbookToFile(&Book, Current, Format, Args[1],
                                               All ? "AllSheets" : "CurrentSheet", Font);
  if (Unprintable > 0)
    std::fprintf(stderr, "%d characters have no glyph in the PDF's font and print as \"?\".\n",
                 Unprintable);
  return 0;
}

const TCliCommand RegExport("export", kUsage, CmdExport);

}  // namespace

}  // namespace kv::cli
