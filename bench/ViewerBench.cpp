// Building the viewer's paint list for a 1920 x 1080 viewer over the 2000 x 200
// sheet, scrolled to its middle, with a few highlights. Target on the
// development machine: under 1 ms. The Shown variants paint the same sheet
// with number formats on its cells (General, #,##0.00, 0.00%, a date and a
// [Red] section by turns) and "NumberFormats=Shown": target within twice the
// stored texts' time.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "base/Files.h"
#include "viewer/VantSpreadsheet.h"
#include "zip/ZipWriter.h"
#include "workbook/CellNotation.h"

namespace {

constexpr int kRows = 2000;
constexpr int kCols = 200;

// Only the client size matters for painting into a list.
class TSizedWindow : public kv::IViewerWindow {
 public:
  kv::TWindowHandle Handle() const override { return 1; }
  bool IsAlive() const override { return true; }
  bool IsVisible() const override { return true; }
  void ClientSize(int32_t& W, int32_t& H) const override { W = 1920, H = 1080; }
  void Move(int32_t, int32_t, int32_t, int32_t) override {}
  void Show() override {}
  void ShowNoActivate() override {}
  void Hide() override {}
  void Invalidate() override {}
  void SetFocus() override {}
  kv::TWindowHandle FocusedWindow() const override { return 0; }
  int32_t TextWidth(const std::string&, int32_t, std::string_view Text) const override {
    return int32_t(Text.size()) * 6;
  }
  void StartTimer(uint32_t, uint32_t) override {}
  void StopTimer(uint32_t) override {}
  void PostToSelf(uint32_t, uintptr_t, intptr_t) override {}
  void Paint(const std::function<void(kv::TPaintList&)>&) override {}
  void Destroy() override {}
  kv::TWindowHandle CreateEditor(int32_t, int32_t, int32_t, int32_t, const std::string&,
                                 const std::string&, int32_t) override {
    return 0;
  }
  void SelectAllAndFocusEditor(kv::TWindowHandle) override {}
  std::string EditorText(kv::TWindowHandle) const override { return {}; }
  void DestroyEditor(kv::TWindowHandle) override {}
};

class TOneWindowSystem : public kv::IWindowSystem {
 public:
  std::unique_ptr<kv::IViewerWindow> CreateViewerWindow(kv::TWindowHandle, kv::IViewerMessageSink&,
                                                        int&) override {
    return std::make_unique<TSizedWindow>();
  }
  bool IsWindow(kv::TWindowHandle W) const override { return W != 0; }
  bool ClientSize(kv::TWindowHandle, int32_t& W, int32_t& H) const override {
    W = 1920, H = 1080;
    return true;
  }
  bool ClientOriginIn(kv::TWindowHandle, kv::TWindowHandle, int32_t& X, int32_t& Y) const override {
    X = Y = 0;
    return true;
  }
};

// A package of one sheet named Sheet whose sheetData holds Data, with a
// styles part when Styles is not empty.
std::string OneSheetBook(const std::string& Sheet, const std::string& Data,
                         const std::string& Styles = "") {
  const std::string Ns = "http://schemas.openxmlformats.org/";
  kv::TZipWriter Zip;
  Zip.AddEntry("[Content_Types].xml", "<Types xmlns=\"" + Ns + "package/2006/content-types\"/>");
  Zip.AddEntry("xl/workbook.xml",
               "<workbook xmlns=\"" + Ns + "spreadsheetml/2006/main\" xmlns:r=\"" + Ns +
                   "officeDocument/2006/relationships\"><sheets><sheet name=\"" + Sheet +
                   "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships xmlns=\"" + Ns +
                   "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + Ns +
                   "officeDocument/2006/relationships/worksheet\" "
                   "Target=\"worksheets/sheet1.xml\"/></Relationships>");
  if (!Styles.empty()) Zip.AddEntry("xl/styles.xml", Styles);
  Zip.AddEntry("xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + Ns +
                                               "spreadsheetml/2006/main\"><sheetData>" + Data +
                                               "</sheetData></worksheet>");
  Zip.Finish();
  return Zip.TakeBytes();
}

std::string BenchBook(bool Styled = false) {
  const std::string Ns = "http://schemas.openxmlformats.org/";
  std::string Data;
  for (int R = 0; R < kRows; ++R) {
    Data += "<row r=\"" + std::to_string(R + 1) + "\">";
    for (int C = 0; C < kCols; ++C)
      Data +=
          "<c r=\"" + kv::ColumnIndexToLetters(C) + std::to_string(R + 1) +
          (C % 4 == 0 ? "\" t=\"inlineStr\"><is><t>item " + std::to_string(R * C) + "</t></is></c>"
           : !Styled  ? "\"><v>" + std::to_string(R * 1000 + C) + ".5</v></c>"
           : C % 5 == 3 ? "\" s=\"3\"><v>" + std::to_string(40000 + R) + ".25</v></c>"
                        : "\" s=\"" + std::to_string(C % 5) + "\"><v>" +
                              std::to_string(R * 10 - C) + ".125</v></c>");
    Data += "</row>";
  }
  return OneSheetBook("Grid", Data,
                      Styled ? "<styleSheet xmlns=\"" + Ns +
                                   "spreadsheetml/2006/main\"><numFmts><numFmt numFmtId=\"164\" "
                                   "formatCode=\"yyyy-mm-dd hh:mm\"/><numFmt numFmtId=\"165\" "
                                   "formatCode=\"#,##0.0;[Red]-#,##0.0\"/></numFmts><cellXfs><xf "
                                   "numFmtId=\"0\"/><xf numFmtId=\"4\"/><xf numFmtId=\"10\"/><xf "
                                   "numFmtId=\"164\"/><xf numFmtId=\"165\"/></cellXfs></styleSheet>"
                             : "");
}

void PaintList(benchmark::State& State, bool Styled, bool Shown) {
  auto Dir = std::filesystem::temp_directory_path() / "kv-viewer-bench";
  std::filesystem::create_directories(Dir);
  std::string Path = (Dir / "grid.xlsx").string();
  kv::WriteWholeFile(Path, BenchBook(Styled));
  TOneWindowSystem Windows;
  auto V = kv::TVantSpreadsheet::CreateAttached(Windows, nullptr, nullptr, 1);
  V->LoadWorkbook(Path);
  V->ShowSpreadsheet();
  if (Shown) V->ApplySettings("NumberFormats=Shown");
  for (int I = 0; I < 10; ++I) {
    V->SelectCell(100 + I, 1000 + I, true);
    V->ToggleHighlightSelection("Yellow");
  }
  V->SelectCell(kCols / 2, kRows / 2, true);
  kv::TPaintList List;
  for (auto _ : State) {
    List.Clear();
    V->PaintViewer(List);
    benchmark::DoNotOptimize(List.FOps.data());
  }
  State.counters["ops"] = double(List.FOps.size());
  std::filesystem::remove_all(Dir);
}
void BM_PaintList1920x1080(benchmark::State& State) {
  PaintList(State, false, false);
}
void BM_PaintList1920x1080Formatted(benchmark::State& State) {
  PaintList(State, true, false);
}
void BM_PaintList1920x1080FormattedShown(benchmark::State& State) {
  PaintList(State, true, true);
}
// The 800,000 x 10 sheet: a paint at its last row must cost what one at its
// first row costs (within 10%): painting touches only the visible cells.
std::string TallBook() {
  std::string Data;
  Data.reserve(size_t{800000} * 10 * 16);
  for (int R = 0; R < 800000; ++R) {
    Data += "<row>";
    for (int C = 0; C < 10; ++C)
      Data += "<c><v>" + std::to_string((R * 7 + C) % 100000) + "</v></c>";
    Data += "</row>";
  }
  return OneSheetBook("Tall", Data);
}

kv::TVantSpreadsheet& TallViewer() {
  static TOneWindowSystem Windows;
  static std::unique_ptr<kv::TVantSpreadsheet> V = [] {
    auto Dir = std::filesystem::temp_directory_path() / "kv-viewer-bench-tall";
    std::filesystem::create_directories(Dir);
    const std::string Path = (Dir / "tall.xlsx").string();
    kv::WriteWholeFile(Path, TallBook());
    auto Viewer = kv::TVantSpreadsheet::CreateAttached(Windows, nullptr, nullptr, 1);
    Viewer->LoadWorkbook(Path);
    Viewer->ShowSpreadsheet();
    std::filesystem::remove_all(Dir);
    return Viewer;
  }();
  return *V;
}

void PaintTallAt(benchmark::State& State, int32_t Row) {
  kv::TVantSpreadsheet& V = TallViewer();
  V.SelectCell(0, Row, true);
  kv::TPaintList List;
  for (auto _ : State) {
    List.Clear();
    V.PaintViewer(List);
    benchmark::DoNotOptimize(List.FOps.data());
  }
  State.counters["ops"] = double(List.FOps.size());
}
void BM_PaintTallFirstRow(benchmark::State& State) {
  PaintTallAt(State, 0);
}
void BM_PaintTallLastRow(benchmark::State& State) {
  PaintTallAt(State, 799999);
}

BENCHMARK(BM_PaintList1920x1080)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintTallFirstRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintTallLastRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintList1920x1080Formatted)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintList1920x1080FormattedShown)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
