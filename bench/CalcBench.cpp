// The formula engine: recomputation after one edit, and the size of parsed
// formulas. Sheets are held in a dense in-memory source, so the figures are
// the engine's own.
//   EditFeedsSum: one edit under a SUM over 100,000 cells that 1,000
//     formulas read (target: 50 ms or less).
//   RunningTotals: an edit at the head of 100,000 running totals, each cell
//     needing the one before (target: 200 ms or less, no stack growth).
//   RecalculateAll/RunningTotals: the same chain recomputed from scratch.
//   ParsedBytes: code bytes per formula over the conformance fixtures
//     (target: 64 or less).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Files.h"
#include "calc/Calc.h"
#include "calc/PackageCells.h"

namespace {

// Columns of values, and formulas each given by an anchor's text (shared
// formulas: one text for a column run).
class TDenseSource : public kv::ICellSource {
 public:
  std::vector<std::vector<kv::TCalcValue>> Cols;
  struct TRun {
    int32_t Col, Row1, Row2;
    std::string Text;
  };
  std::vector<TRun> Runs;

  void Set(int32_t Row, int32_t Col, kv::TCalcValue V) {
    if (size_t(Col) >= Cols.size()) Cols.resize(size_t(Col) + 1);
    auto& C = Cols[size_t(Col)];
    if (size_t(Row) >= C.size()) C.resize(size_t(Row) + 1);
    C[size_t(Row)] = std::move(V);
  }
  int SheetCount() const override { return 1; }
  int FindSheet(std::string_view) const override { return -1; }
  kv::TCalcValue CellValue(int, int32_t Row, int32_t Col) const override {
    if (size_t(Col) >= Cols.size() || size_t(Row) >= Cols[size_t(Col)].size()) return {};
    return Cols[size_t(Col)][size_t(Row)];
  }
  void UsedBounds(int, int32_t& Rows, int32_t& ColCount) const override {
    Rows = 0;
    for (auto& C : Cols) Rows = std::max(Rows, int32_t(C.size()));
    ColCount = int32_t(Cols.size());
  }
  void ListFormulas(int, std::vector<kv::TFormulaCellInfo>& Out) const override {
    for (const TRun& R : Runs)
      for (int32_t Row = R.Row1; Row <= R.Row2; ++Row) {
        kv::TFormulaCellInfo I;
        I.Row = Row, I.Col = R.Col, I.AnchorRow = R.Row1, I.AnchorCol = R.Col;
        I.Shared = R.Row2 > R.Row1;
        I.Text = R.Text;
        Out.push_back(I);
      }
  }
  bool DefinedName(std::string_view, int, std::string&) const override { return false; }
  bool Date1904() const override { return false; }
};

void EditFeedsSum(benchmark::State& State) {
  TDenseSource S;
  for (int32_t R = 0; R < 100000; ++R) S.Set(R, 0, kv::TCalcValue::Num(R % 97));
  S.Runs.push_back({1, 0, 0, "SUM(A1:A100000)"});
  S.Runs.push_back({2, 0, 999, "$B$1*ROW()+1"});
  kv::TCalcEngine E(S);
  E.RecalculateAll();
  double V = 0;
  std::vector<kv::TChangedCell> Changed;
  for (auto _ : State) {
    S.Set(4, 0, kv::TCalcValue::Num(++V));
    E.CellChanged(0, 4, 0);
    Changed.clear();
    E.Recalculate(&Changed);
  }
  State.counters["changed"] = double(Changed.size());
  State.counters["code_bytes"] = double(E.CodeBytes());
}
BENCHMARK(EditFeedsSum)->Unit(benchmark::kMillisecond);

void ChainSource(TDenseSource& S, int32_t N) {
  for (int32_t R = 0; R < N; ++R) S.Set(R, 0, kv::TCalcValue::Num(1));
  S.Runs.push_back({1, 0, 0, "A1"});
  S.Runs.push_back({1, 1, N - 1, "B1+A2"});
}

void RunningTotals(benchmark::State& State) {
  TDenseSource S;
  ChainSource(S, 100000);
  kv::TCalcEngine E(S);
  E.RecalculateAll();
  double V = 1;
  for (auto _ : State) {
    S.Set(0, 0, kv::TCalcValue::Num(++V));
    E.CellChanged(0, 0, 0);
    E.Recalculate();
  }
  State.counters["last"] = E.Value(0, 99999, 1).Number;
}
BENCHMARK(RunningTotals)->Unit(benchmark::kMillisecond);

void RecalculateAllRunningTotals(benchmark::State& State) {
  TDenseSource S;
  ChainSource(S, 100000);
  kv::TCalcEngine E(S);
  E.Load();
  for (auto _ : State) E.RecalculateAll();
}
BENCHMARK(RecalculateAllRunningTotals)->Unit(benchmark::kMillisecond);

void ParsedBytes(benchmark::State& State) {
  namespace fs = std::filesystem;
  size_t Bytes = 0, Formulas = 0, Blocks = 0;
  for (auto _ : State) {
    Bytes = Formulas = Blocks = 0;
    for (auto& F : fs::directory_iterator(fs::path(KV_SOURCE_DIR) / "tests/fixtures/calc")) {
      if (F.path().extension() != ".xlsx") continue;
      kv::TPackageCells Cells(kv::ReadWholeFile(F.path().string()));
      kv::TCalcEngine E(Cells);
      E.Load();
      Bytes += E.CodeBytes();
      Blocks += E.CodeBlocks();
      Formulas += E.Counts().Formulas;
    }
  }
  State.counters["formulas"] = double(Formulas);
  State.counters["bytes_per_formula"] = Formulas ? double(Bytes) / double(Formulas) : 0;
  State.counters["bytes_per_block"] = Blocks ? double(Bytes) / double(Blocks) : 0;
}
BENCHMARK(ParsedBytes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
