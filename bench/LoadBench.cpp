// Loading the benchmark workbooks warm, in process: each iteration is one
// LoadFromFile of a new workbook with every sheet read (OpenBook: only the
// first, as a viewer opens it). The books come from bench/make_books.py,
// in $KV_BENCH_BOOKS or /tmp/kv-bench-books. "long" is the 800,000 x 10
// sheet of numbers (target: 2.5 s or less); bytes_per_cell is what the cell
// tables and texts of the loaded sheets hold, over their cells, all in
// (target for "long": 16 or less; measured 16.01, the block slots' share).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "base/Files.h"
#include "workbook/Workbook.h"

namespace {

std::string BookPath(const char* Name) {
  const char* Dir = std::getenv("KV_BENCH_BOOKS");
  return std::string(Dir && *Dir ? Dir : "/tmp/kv-bench-books") + "/" + Name + ".xlsx";
}

void LoadBook(benchmark::State& State, const char* Name) {
  const std::string Path = BookPath(Name);
  if (!kv::FileExists(Path)) {
    State.SkipWithError(("run bench/make_books.py first: no " + Path).c_str());
    return;
  }
  int64_t Cells = 0;
  size_t Bytes = 0;
  for (auto _ : State) {
    kv::TXlsxWorkbook Book;
    Book.LoadFromFile(Path);
    Cells = 0;
    for (int I = 0; I < Book.SheetCount(); ++I) {
      const kv::TXlsxSheet& S = Book.Sheet(I);
      if (!S.Data) continue;
      Cells += static_cast<int64_t>(S.Data->CellCount());
      Bytes = S.Data->TextBytes();  // the workbook's pool: every sheet's
    }
    benchmark::DoNotOptimize(Cells);
  }
  State.counters["cells"] = static_cast<double>(Cells);
  State.counters["bytes_per_cell"] = Cells ? static_cast<double>(Bytes) / Cells : 0;
  State.SetBytesProcessed(State.iterations() * kv::FileSize(Path));
}

// What opening a workbook in a viewer costs: the later sheets stay unread.
void OpenBook(benchmark::State& State, const char* Name) {
  const std::string Path = BookPath(Name);
  if (!kv::FileExists(Path)) {
    State.SkipWithError(("run bench/make_books.py first: no " + Path).c_str());
    return;
  }
  for (auto _ : State) {
    kv::TXlsxWorkbook Book;
    Book.LoadFromFile(Path);
    benchmark::DoNotOptimize(Book.Sheet(0).RowCount());
  }
}

BENCHMARK_CAPTURE(LoadBook, grid, "grid")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBook, tall, "tall")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBook, multi, "multi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBook, strings, "strings")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBook, tiny, "tiny")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBook, long, "long")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(OpenBook, multi, "multi")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
