// Exporting one 2000 x 200 sheet of mixed numbers and short strings (the size
// loading allows at most) to each format, into a file in a temporary folder.
// Targets on the development machine: CSV under 15 ms, PDF (552 pages) under
// 500 ms, with its embedded font at most 1.5 times its time in Helvetica.
// Files are flushed to the disk before they replace the old ones, so a crash
// never leaves a half-written export: on a disk, that wait is part of the
// figure.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "export/XlsxExporter.h"
#include "zip/ZipWriter.h"

namespace {

constexpr int kRows = 2000;
constexpr int kCols = 200;

const kv::TXlsxSheet& GridSheet() {
  static const kv::TXlsxSheet Sheet = [] {
    kv::TXlsxSheet S;
    S.Name = "Grid";
    S.PartName = "xl/worksheets/sheet1.xml";
    auto Cells = std::make_shared<kv::TSheetCells>(kRows, kCols);
    std::mt19937 Rng(42);
    for (int R = 0; R < kRows; ++R)
      for (int C = 0; C < kCols; ++C)
        Cells->SetCell(R, C,
                       C % 4 == 0
                           ? "item " + std::to_string(Rng() % 100000)
                           : std::to_string(Rng() % 1000000) + "." + std::to_string(Rng() % 100));
    S.Data = Cells;
    return S;
  }();
  return Sheet;
}

std::string OutputPath(const char* Name) {
  static const std::filesystem::path Dir = [] {
    auto P = std::filesystem::temp_directory_path() / "kv-export-bench";
    std::filesystem::create_directories(P);
    return P;
  }();
  return (Dir / Name).string();
}

void BM_ExportCsv(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  const std::string Out = OutputPath("grid.csv");
  for (auto _ : State) kv::ExportDelimited(Sheets, ',', Out);
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

// The same into memory-backed files (/dev/shm), whose flush returns at once:
// the export's own cost, without the wait for the disk that the flush before
// the replacing move adds above (5 to 15 ms on the development machine).
void BM_ExportCsvNoDiskWait(benchmark::State& State) {
  if (!std::filesystem::is_directory("/dev/shm")) {
    State.SkipWithError("no /dev/shm");
    return;
  }
  const kv::TSheetList Sheets{&GridSheet()};
  const std::string Out = "/dev/shm/kv-export-bench-grid.csv";
  for (auto _ : State) kv::ExportDelimited(Sheets, ',', Out);
  std::filesystem::remove(Out);
}
BENCHMARK(BM_ExportCsvNoDiskWait)->Unit(benchmark::kMillisecond);

// The same bytes without the file: what is left of the CSV time is writing
// and the flushes of the atomic replace.
void BM_CsvText(benchmark::State& State) {
  for (auto _ : State) benchmark::DoNotOptimize(kv::DelimitedSheetText(GridSheet(), ','));
}
BENCHMARK(BM_CsvText)->Unit(benchmark::kMillisecond);

void BM_ExportHtml(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  for (auto _ : State) benchmark::DoNotOptimize(kv::HtmlDocumentText(Sheets));
}
BENCHMARK(BM_ExportHtml)->Unit(benchmark::kMillisecond);

void BM_ExportXmlSpreadsheet(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  for (auto _ : State) benchmark::DoNotOptimize(kv::XmlSpreadsheetText(Sheets));
}
BENCHMARK(BM_ExportXmlSpreadsheet)->Unit(benchmark::kMillisecond);

void BM_ExportDocx(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  for (auto _ : State) {
    kv::TZipWriter Zip;
    kv::WriteDocxPackage(Sheets, Zip);
    Zip.Finish();
    benchmark::DoNotOptimize(Zip.TakeBytes());
  }
}
BENCHMARK(BM_ExportDocx)->Unit(benchmark::kMillisecond);

// Each format written to a file in /dev/shm the way an export writes it:
// in pieces through the atomic writer, without the wait for a disk.
void BM_ExportToShm(benchmark::State& State, kv::ExportFormat Format, const char* Name) {
  if (!std::filesystem::is_directory("/dev/shm")) {
    State.SkipWithError("no /dev/shm");
    return;
  }
  const kv::TSheetList Sheets{&GridSheet()};
  const std::string Out = std::string("/dev/shm/kv-export-bench-") + Name;
  for (auto _ : State) kv::ExportSheets(Format, Sheets, Out);
  std::filesystem::remove(Out);
}
BENCHMARK_CAPTURE(BM_ExportToShm, Csv, kv::ExportFormat::CSV, "grid.csv")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportToShm, Html, kv::ExportFormat::HTML, "grid.html")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportToShm, XmlSpreadsheet, kv::ExportFormat::XMLSpreadsheet, "grid.xml")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportToShm, Docx, kv::ExportFormat::Word, "grid.docx")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportToShm, Pdf, kv::ExportFormat::PDF, "grid.pdf")
    ->Unit(benchmark::kMillisecond);

// The text in an embedded subset of the default font (Liberation Sans, or
// DejaVu Sans where it is not installed, whose wider digits cut more cells),
// and in Helvetica as where no font can be read: the subset may cost at
// most half as much time again, and the file grows by the subset only (one
// byte a character, as in Helvetica).
void BM_ExportPdf(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  const std::string Out = OutputPath("grid.pdf");
  for (auto _ : State) kv::ExportPdf(Sheets, Out);
  kv::TPdfWriter Writer;
  kv::LayoutSheetPages(GridSheet(), Writer);
  State.counters["pages"] = Writer.PageCount();
  State.counters["bytes"] = double(std::filesystem::file_size(Out));
}
BENCHMARK(BM_ExportPdf)->Unit(benchmark::kMillisecond);

void BM_ExportPdfHelvetica(benchmark::State& State) {
  const kv::TSheetList Sheets{&GridSheet()};
  const std::string Out = OutputPath("grid-helvetica.pdf");
  for (auto _ : State) kv::ExportPdfWithFonts(Sheets, Out, nullptr);
  State.counters["bytes"] = double(std::filesystem::file_size(Out));
}
BENCHMARK(BM_ExportPdfHelvetica)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
