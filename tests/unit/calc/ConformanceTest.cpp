// Every formula of the LibreOffice-computed fixtures recomputed from scratch
// and compared with the value LibreOffice cached (tests/fixtures/calc).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "calc/Calc.h"
#include "calc/PackageCells.h"
#include "workbook/CellNotation.h"

namespace kv {
namespace {

std::string ReadAll(const std::filesystem::path& P) {
  std::ifstream In(P, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// Numbers agree to 15 significant digits, everything else exactly.
bool Agree(const TCalcValue& Got, const TCalcValue& Want) {
  if (Got.IsNumber() && Want.IsNumber()) {
    if (Got.Number == Want.Number) return true;
    char A[40], B[40];
    std::snprintf(A, sizeof A, "%.14e", Got.Number);
    std::snprintf(B, sizeof B, "%.14e", Want.Number);
    if (std::string(A) == B) return true;
    // A tie at the 15th digit rounds either way: one unit there still agrees.
    double Unit = std::pow(10.0, std::floor(std::log10(std::fabs(Want.Number))) - 14);
    return std::fabs(Got.Number - Want.Number) <= Unit;
  }
  if (Want.IsEmpty() && Got.IsText() && Got.Text.empty()) return true;
  return Got == Want;
}

std::string Show(const TCalcValue& V) {
  switch (V.Type) {
    case TValueType::Empty:
      return "(empty)";
    case TValueType::Number: {
      char B[40];
      std::snprintf(B, sizeof B, "%.17g", V.Number);
      return B;
    }
    case TValueType::Text:
      return "\"" + V.Text + "\"";
    case TValueType::Boolean:
      return V.Number ? "TRUE" : "FALSE";
    case TValueType::Error:
      return std::string(ErrorCodeText(V.Error));
  }
  return "";
}

TEST(Conformance, RecomputedValuesAgreeWithLibreOffice) {
  std::filesystem::path Dir = std::filesystem::path(KV_FIXTURES_DIR) / "calc";
  std::vector<std::filesystem::path> Books;
  for (auto& E : std::filesystem::directory_iterator(Dir))
    if (E.path().extension() == ".xlsx") Books.push_back(E.path());
  std::sort(Books.begin(), Books.end());
  ASSERT_GE(Books.size(), 10u);
  size_t Total = 0, Agreed = 0;
  TCalcCounts Kept;
  std::string Report;
  for (const auto& Path : Books) {
    TPackageCells Cells(ReadAll(Path));
    TCalcEngine Engine(Cells);
    Engine.RecalculateAll();
    const TCalcCounts& C = Engine.Counts();
    Kept.Unreadable += C.Unreadable;
    Kept.Unsupported += C.Unsupported;
    Kept.Circular += C.Circular;
    Kept.DependsOnKept += C.DependsOnKept;
    for (int S = 0; S < Cells.SheetCount(); ++S) {
      std::vector<TFormulaCellInfo> List;
      Cells.ListFormulas(S, List);
      for (const TFormulaCellInfo& F : List) {
        ++Total;
        TCalcValue Want = Cells.CellValue(S, F.Row, F.Col);
        TCalcValue Got = Engine.Value(S, F.Row, F.Col);
        // A kept value agrees trivially; it is counted as a difference.
        bool Ok = Engine.KeptReason(S, F.Row, F.Col) == TKeptReason::None && Agree(Got, Want);
        if (Ok) {
          ++Agreed;
          continue;
        }
        Report += Path.filename().string() + " " + Cells.SheetName(S) + "!" +
                  ColumnIndexToLetters(F.Col) + std::to_string(F.Row + 1) + " =" +
                  std::string(F.Text) + "  got " + Show(Got) + " want " + Show(Want) +
                  (Engine.KeptReason(S, F.Row, F.Col) != TKeptReason::None ? " (kept)" : "") + "\n";
      }
    }
  }
  double Share = Total ? double(Agreed) / double(Total) : 0;
  std::printf(
      "calc conformance: %zu of %zu formula cells agree (%.2f%%); kept: %zu unreadable, "
      "%zu unsupported, %zu circular, %zu dependent\n%s",
      Agreed, Total, Share * 100, Kept.Unreadable, Kept.Unsupported, Kept.Circular,
      Kept.DependsOnKept, Report.c_str());
  EXPECT_GE(Total, 500u);
  EXPECT_GE(Share, 0.995);
}

}  // namespace
}  // namespace kv
