// Saving a 2000 x 200 grid of mixed numbers and shared strings: right after
// loading, and after one edit (which parses and re-serialises the edited
// worksheet). The book is built here so the benchmark needs no files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "base/Files.h"
#include "workbook/Workbook.h"
#include "workbook/CellNotation.h"
#include "zip/ZipWriter.h"

namespace {

constexpr int kRows = 2000;
constexpr int kCols = 200;

std::string GridBook() {
  std::string Sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\""
      "http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension ref=\"A1:GR2000\"/>"
      "<sheetData>";
  std::string Strings;
  int StringCount = 0;
  std::mt19937 Rng(42);
  for (int R = 1; R <= kRows; ++R) {
    Sheet += "<row r=\"" + std::to_string(R) + "\">";
    for (int C = 0; C < kCols; ++C) {
      std::string Ref = kv::ColumnIndexToLetters(C) + std::to_string(R);
      if (C % 4 == 0) {
        Sheet += "<c r=\"" + Ref + "\" t=\"s\"><v>" + std::to_string(StringCount++) + "</v></c>";
        Strings += "<si><t>item " + std::to_string(Rng() % 100000) + "</t></si>";
      } else {
        Sheet += "<c r=\"" + Ref + "\" s=\"1\"><v>" + std::to_string(Rng() % 1000000) + "." +
                 std::to_string(Rng() % 100) + "</v></c>";
      }
    }
    Sheet += "</row>";
  }
  Sheet +=
      "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
      "header=\"0.3\" footer=\"0.3\"/></worksheet>";
  const std::string Main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string Rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  kv::TZipWriter Zip;
  Zip.AddEntry("[Content_Types].xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas."
               "openxmlformats.org/package/2006/content-types\"><Default Extension=\"xml\" "
               "ContentType=\"application/xml\"/></Types>");
  Zip.AddEntry("xl/workbook.xml", "<workbook xmlns=\"" + Main + "\" xmlns:r=\"" + Rel +
                                      "\"><sheets><sheet name=\"Grid\" sheetId=\"1\" "
                                      "r:id=\"rId1\"/></sheets></workbook>");
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
               "relationships\"><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
               "</Relationships>");
  Zip.AddEntry("xl/styles.xml", "<styleSheet xmlns=\"" + Main +
                                    "\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf "
                                    "numFmtId=\"2\"/></cellXfs></styleSheet>");
  Zip.AddEntry("xl/sharedStrings.xml", "<sst xmlns=\"" + Main + "\" count=\"" +
                                           std::to_string(StringCount) + "\">" + Strings +
                                           "</sst>");
  Zip.AddEntry("xl/worksheets/sheet1.xml", Sheet);
  Zip.Finish();
  return Zip.TakeBytes();
}

struct TBenchDir {
  std::filesystem::path FPath;
  TBenchDir() {
    FPath = std::filesystem::temp_directory_path() /
            ("kvbench-save-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(FPath);
    kv::WriteWholeFile((FPath / "grid.xlsx").string(), GridBook());
  }
  ~TBenchDir() {
    std::error_code Ec;
    std::filesystem::remove_all(FPath, Ec);
  }
  std::string File(const char* Name) const { return (FPath / Name).string(); }
};

const TBenchDir& Dir() {
  static TBenchDir D;
  return D;
}

void BM_SaveUnedited(benchmark::State& State) {
  kv::TXlsxWorkbook Book;
  Book.LoadFromFile(Dir().File("grid.xlsx"));
  for (auto _ : State) Book.SaveToFile(Dir().File("out.xlsx"));
}
BENCHMARK(BM_SaveUnedited)->Unit(benchmark::kMillisecond);

// What a user waits for: one cell typed into a freshly loaded book, then saved.
void BM_EditOneCellAndSave(benchmark::State& State) {
  int N = 0;
  for (auto _ : State) {
    State.PauseTiming();
    kv::TXlsxWorkbook Book;
    Book.LoadFromFile(Dir().File("grid.xlsx"));
    State.ResumeTiming();
    Book.SetCellValue(0, 1000, 100, std::to_string(++N) + ".5");
    Book.SaveToFile(Dir().File("out.xlsx"));
  }
}
BENCHMARK(BM_EditOneCellAndSave)->Unit(benchmark::kMillisecond);

// Later saves of the same book re-serialise the tree without parsing it again.
void BM_SaveAfterFurtherEdit(benchmark::State& State) {
  kv::TXlsxWorkbook Book;
  Book.LoadFromFile(Dir().File("grid.xlsx"));
  Book.SetCellValue(0, 0, 0, "first");
  int N = 0;
  for (auto _ : State) {
    Book.SetCellValue(0, 1999, 199, std::to_string(++N));
    Book.SaveToFile(Dir().File("out.xlsx"));
  }
}
BENCHMARK(BM_SaveAfterFurtherEdit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
