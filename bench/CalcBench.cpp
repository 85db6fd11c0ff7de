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
//   Service/EditFeedsSum, Service/RunningTotals: the same two edits typed
//     through the recalculating workbook a viewer uses, from the typed text to
//     every changed value cached in the workbook's store and recorded for the
//     save (same targets).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Files.h"
#include "calc/Calc.h"
#include "calc/PackageCells.h"
#include "calc/RecalcService.h"
#include "workbook/Workbook.h"
#include "zip/ZipWriter.h"

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

// A one-sheet package: column A holds N numbers (Value(row)), and Formulas
// the other cells, as sheetData text of its rows by row index.
std::string SheetPackage(int32_t N, double (*Value)(int32_t),
                         std::string (*Formulas)(int32_t Row)) {
  std::string Sheet =
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (int32_t R = 0; R < N; ++R) {
    const std::string Ref = std::to_string(R + 1);
    Sheet += "<row r=\"" + Ref + "\"><c r=\"A" + Ref + "\"><v>" + std::to_string(Value(R)) +
             "</v></c>" + Formulas(R) + "</row>";
  }
  Sheet += "</sheetData></worksheet>";
  kv::TZipWriter Zip;
  Zip.AddEntry("[Content_Types].xml",
               "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
  Zip.AddEntry("xl/workbook.xml",
               "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
               "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
  Zip.AddEntry(
      "xl/_rels/workbook.xml.rels",
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
      "2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
  Zip.AddEntry("xl/worksheets/sheet1.xml", Sheet);
  Zip.Finish();
  return Zip.TakeBytes();
}

// Edits A5 (or A1) through the service, again and again.
void ServiceEdits(benchmark::State& State, const std::string& Package, int32_t Row) {
  kv::TXlsxWorkbook Book;
  Book.LoadFromBytes(Package, "bench.xlsx");
  kv::TRecalcService Service(Book);
  Service.EditCell(0, Row, 0, "0");  // the first edit reads every sheet's formulas
  int V = 0;
  for (auto _ : State) Service.EditCell(0, Row, 0, std::to_string(++V));
  State.counters["formulas"] = double(Service.Engine().Counts().Formulas);
}

void ServiceEditFeedsSum(benchmark::State& State) {
  static const std::string Package = SheetPackage(
      100000, [](int32_t R) { return double(R % 97); },
      [](int32_t R) -> std::string {
        std::string Ref = std::to_string(R + 1), Out;
        if (R == 0) Out = "<c r=\"B1\"><f>SUM(A1:A100000)</f><v>0</v></c>";
        if (R == 0)
          Out +=
              "<c r=\"C1\"><f t=\"shared\" ref=\"C1:C1000\" si=\"0\">$B$1*ROW()+1</f><v>0</v></c>";
        else if (R < 1000)
          Out += "<c r=\"C" + Ref + "\"><f t=\"shared\" si=\"0\"/><v>0</v></c>";
        return Out;
      });
  ServiceEdits(State, Package, 4);
}
BENCHMARK(ServiceEditFeedsSum)->Name("Service/EditFeedsSum")->Unit(benchmark::kMillisecond);

void ServiceRunningTotals(benchmark::State& State) {
  static const std::string Package = SheetPackage(
      100000, [](int32_t) { return 1.0; },
      [](int32_t R) -> std::string {
        std::string Ref = std::to_string(R + 1);
        if (R == 0) return "<c r=\"B1\"><f>A1</f><v>1</v></c>";
        if (R == 1)
          return "<c r=\"B2\"><f t=\"shared\" ref=\"B2:B100000\" si=\"0\">B1+A2</f><v>2</v></c>";
        return "<c r=\"B" + Ref + "\"><f t=\"shared\" si=\"0\"/><v>" + Ref + "</v></c>";
      });
  ServiceEdits(State, Package, 0);
}
BENCHMARK(ServiceRunningTotals)->Name("Service/RunningTotals")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
