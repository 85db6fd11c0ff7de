// Loading the benchmark workbooks warm, in process: each iteration is one
// LoadFromFile of a new workbook with every sheet read (OpenBook: only the
// first, as a viewer opens it). The books come from bench/make_books.py,
// in $KV_BENCH_BOOKS or /tmp/kv-bench-books.
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
  for (auto _ : State) {
    kv::TXlsxWorkbook Book;
    Book.LoadFromFile(Path);
    Cells = 0;
    for (int I = 0; I < Book.SheetCount(); ++I)
      Cells += int64_t{Book.Sheet(I).RowCount()} * Book.Sheet(I).ColCount();
    benchmark::DoNotOptimize(Cells);
  }
  State.counters["cells"] = static_cast<double>(Cells);
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
BENCHMARK_CAPTURE(OpenBook, multi, "multi")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
