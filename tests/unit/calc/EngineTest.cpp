// Recalculation: what an edit reaches is recomputed in order; cycles,
// unsupported functions and unreadable formulas keep their cached values, and
// so does everything that reads them.
#include <gtest/gtest.h>

#include "MemorySource.h"
#include "calc/Calc.h"

namespace kv {
namespace {

using test::TMemorySource;

TCalcValue N(double V) {
  return TCalcValue::Num(V);
}

double Num(const TCalcEngine& E, const std::string& Ref, int Sheet = 0) {
  int32_t C, R;
  ParseCellRef(Ref, C, R);
  TCalcValue V = E.Value(Sheet, R, C);
  EXPECT_TRUE(V.IsNumber()) << Ref;
  return V.Number;
}
TKeptReason Kept(const TCalcEngine& E, const std::string& Ref) {
  int32_t C, R;
  ParseCellRef(Ref, C, R);
  return E.KeptReason(0, R, C);
}

// The demo's table: North's Q1 edited to 1234.5 makes its total 5594.75.
TEST(CalcEngine, AnEditRecomputesWhatItReachesAndNothingElse) {
  TMemorySource S;
  S.SetNumber("B2", 1200.5);
  S.SetNumber("C2", 1350.25);
  S.SetNumber("D2", 1410);
  S.SetNumber("E2", 1600);
  S.SetFormula("F2", "SUM(B2:E2)", 0, N(5560.75));
  S.SetFormula("G2", "F2*2", 0, N(11121.5));
  S.SetFormula("H9", "99", 0, N(-1));  // stale on purpose: nothing it reads changes
  TCalcEngine E(S);
  E.Load();
  S.SetNumber("B2", 1234.5);
  E.CellChanged(0, 1, 1);
  std::vector<TChangedCell> Changed;
  E.Recalculate(&Changed);
  EXPECT_EQ(Num(E, "F2"), 5594.75);
  EXPECT_EQ(Num(E, "G2"), 11189.5);
  EXPECT_EQ(Num(E, "H9"), -1);
  EXPECT_EQ(Changed.size(), 2u);
}

TEST(CalcEngine, CyclesKeepTheirCachedValuesAndAreCounted) {
  TMemorySource S;
  S.SetNumber("A1", 1);
  S.SetFormula("B1", "A1+C1", 0, N(7));
  S.SetFormula("C1", "B1*2", 0, N(8));
  S.SetFormula("D1", "C1+1", 0, N(9));
  S.SetFormula("E1", "SUM(E2:E5)+SUM(A:A)", 0, N(10));
  S.SetFormula("E3", "E1", 0, N(11));
  S.SetFormula("F1", "A1*3", 0, N(0));
  TCalcEngine E(S);
  E.RecalculateAll();
  EXPECT_EQ(Num(E, "B1"), 7);
  EXPECT_EQ(Num(E, "C1"), 8);
  EXPECT_EQ(Num(E, "D1"), 9);
  EXPECT_EQ(Num(E, "E1"), 10);
  EXPECT_EQ(Num(E, "E3"), 11);
  EXPECT_EQ(Num(E, "F1"), 3);
  EXPECT_EQ(Kept(E, "D1"), TKeptReason::Circular);
  EXPECT_EQ(E.Counts().Circular, 5u);
  EXPECT_EQ(E.Counts().Computed, 1u);
}

TEST(CalcEngine, UnsupportedAndUnreadableFormulasStaleTheirDependents) {
  TMemorySource S;
  S.SetNumber("A1", 1);
  S.SetFormula("B1", "CUBEVALUE(A1)", 0, N(5));
  S.SetFormula("C1", "IFERROR(B1*2,0)", 0, N(10));
  S.SetFormula("D1", "SUM(A1:C1)", 0, N(16));
  S.SetFormula("E1", "A1+", 0, N(3));
  S.SetFormula("F1", "E1+1", 0, N(4));
  S.SetFormula("G1", "A1+1", 0, N(0));
  TCalcEngine E(S);
  E.Load();
  // An unreadable formula is counted from the start; the others keep their
  // cached values once an edit reaches them.
  S.SetNumber("A1", 2);
  E.CellChanged(0, 0, 0);
  E.Recalculate();
  for (const char* Ref : {"B1", "C1", "D1", "E1"})
    EXPECT_NE(Kept(E, Ref), TKeptReason::None) << Ref;
  EXPECT_EQ(Num(E, "C1"), 10);
  EXPECT_EQ(Num(E, "D1"), 16);
  EXPECT_EQ(Num(E, "F1"), 4);
  EXPECT_EQ(Num(E, "G1"), 3);
  const TCalcCounts& C = E.Counts();
  EXPECT_EQ(C.Unsupported, 1u);
  EXPECT_EQ(C.Unreadable, 1u);
  EXPECT_EQ(C.DependsOnKept, 2u);
}

TEST(CalcEngine, SharedFormulasAreParsedOnceAndShiftedPerCell) {
  TMemorySource S;
  for (int R = 1; R <= 100; ++R) {
    S.SetNumber("A" + std::to_string(R), R);
    TMemorySource::TCell C;
    C.Shared = true;
    C.AnchorRow = 0, C.AnchorCol = 1;
    if (R == 1) C.Formula = "A1*2+$A$1";
    S.Cells[0][{R - 1, 1}] = C;
  }
  TCalcEngine E(S);
  E.RecalculateAll();
  EXPECT_EQ(E.CodeBlocks(), 1u);
  EXPECT_EQ(Num(E, "B1"), 3);
  EXPECT_EQ(Num(E, "B100"), 201);
}

TEST(CalcEngine, NamesSheetsAndVolatileFunctions) {
  TMemorySource S;
  int Other = S.AddSheet("My Data");
  S.SetNumber("A1", 0.25, Other);
  S.SetNumber("A2", 4, Other);
  S.Defined["RATE"] = "'My Data'!$A$1";
  S.SetFormula("A1", "Rate*'my data'!A2+SUM('My Data'!A:A)");
  S.SetFormula("A2", "NoSuchName+1");
  S.SetFormula("A3", "Missing!A1");
  S.SetFormula("A4", "RAND()");
  S.SetFormula("A5", "A4*0+1");
  TCalcEngine E(S);
  E.RecalculateAll();
  EXPECT_EQ(Num(E, "A1"), 5.25);
  EXPECT_TRUE(E.Value(0, 1, 0) == TCalcValue::Err(TCalcError::Name));
  EXPECT_TRUE(E.Value(0, 2, 0) == TCalcValue::Err(TCalcError::Ref));
  double First = Num(E, "A4");
  std::vector<TChangedCell> Changed;
  E.Recalculate(&Changed);  // nothing edited: RAND() still draws again
  EXPECT_NE(Num(E, "A4"), First);
  EXPECT_EQ(Num(E, "A5"), 1);
  S.SetNumber("A2", 8, Other);
  E.CellChanged(Other, 1, 0);
  E.Recalculate();
  EXPECT_EQ(Num(E, "A1"), 10.25);
}

TEST(CalcEngine, AFormulaEditedInReplacesTheOldOne) {
  TMemorySource S;
  S.SetNumber("A1", 2);
  S.SetFormula("B1", "A1*10", 0, N(20));
  S.SetFormula("C1", "B1+1", 0, N(21));
  TCalcEngine E(S);
  E.Load();
  S.SetFormula("B1", "A1*100");
  E.CellChanged(0, 0, 1);
  E.Recalculate();
  EXPECT_EQ(Num(E, "B1"), 200);
  EXPECT_EQ(Num(E, "C1"), 201);
  S.SetNumber("B1", 7);  // a value replaces the formula
  E.CellChanged(0, 0, 1);
  E.Recalculate();
  EXPECT_FALSE(E.IsFormula(0, 0, 1));
  EXPECT_EQ(Num(E, "C1"), 8);
}

// Formula cells far apart (across the blocks of rows the engine indexes
// cells by), and values turning from text to number and back.
TEST(CalcEngine, FarCellsAndValuesChangingTypeAreFollowed) {
  TMemorySource S;
  S.SetNumber("A1", 1);
  for (const auto& [Ref, Formula] : std::initializer_list<std::pair<const char*, const char*>>{
           {"B1024", "A1*2"},
           {"B1025", "A1*3"},
           {"B70000", "A1*4"},
           {"C1", "SUM(B1000:B80000)+B70000"},
           {"D1", "IF(A1>1,A1,\"small\")"},
           {"D2", "D1&\"!\""},
           {"D3", "IF(A1>1,\"big\",A1)"}})
    S.SetFormula(Ref, Formula);
  TCalcEngine E(S);
  E.RecalculateAll();
  struct TRow {
    double A1, C1;
    const char *D2, *D3;
  };
  for (const TRow& T : {TRow{1, 13, "small!", "1"}, TRow{5, 65, "5!", "big"},
                        TRow{0, 0, "small!", "0"}, TRow{2, 26, "2!", "big"}}) {
    S.SetNumber("A1", T.A1);
    E.CellChanged(0, 0, 0);
    E.Recalculate();
    EXPECT_EQ(Num(E, "C1"), T.C1) << T.A1;
    EXPECT_TRUE(E.Value(0, 1, 3) == TCalcValue::Str(T.D2)) << T.A1;
    const TCalcValue D3 = E.Value(0, 2, 3);
    EXPECT_EQ(D3.IsText() ? D3.Text : NumberToGeneralText(D3.Number), T.D3) << T.A1;
  }
}

// Formulas written one per row that differ only in relative rows share one
// parsed code; absolute rows, names (which may be relative) and sheet names
// that look like cells keep theirs.
TEST(CalcEngine, FormulasOfOneShapeShareTheirCode) {
  TMemorySource S;
  const int Q1 = S.AddSheet("Q1"), Q2 = S.AddSheet("Q2");
  S.SetNumber("A2", 100, Q1);
  S.SetNumber("A2", 200, Q2);
  S.SetNumber("A3", 300, Q2);
  S.SetNumber("A1", 10);
  S.SetNumber("A2", 20);
  S.Defined["BASE"] = "A1";
  struct TRow {
    const char *Ref, *Formula;
    double Want;
  };
  const TRow Rows[] = {{"B1", "A1*2", 20},    {"B2", "A2*2", 40},   {"C1", "A$1*2", 20},
                       {"C2", "A$2*2", 40},   {"D1", "Base+1", 11}, {"D2", "Base+1", 11},
                       {"E1", "Q1!A2", 100},  {"E2", "Q2!A3", 300}, {"F1", "'Q1'!A2", 100},
                       {"F2", "'Q2'!A2", 200}};
  for (const TRow& R : Rows) S.SetFormula(R.Ref, R.Formula);
  TCalcEngine E(S);
  E.RecalculateAll();
  for (const TRow& R : Rows) EXPECT_EQ(Num(E, R.Ref), R.Want) << R.Ref;
  EXPECT_EQ(E.CodeBlocks(), std::size(Rows) - 1);  // B1 and B2 share theirs
}

// 100,000 running totals: the explicit stack, not the call stack, holds the chain.
TEST(CalcEngine, LongChainsNeedNoDeepCallStack) {
  TMemorySource S;
  const int Rows = 100000;
  auto& Cells = S.Cells[0];
  for (int R = 0; R < Rows; ++R) {
    Cells[{R, 0}] = {N(1), "", false, R, 0};
    TMemorySource::TCell C;
    C.Shared = true;
    C.AnchorRow = 1, C.AnchorCol = 1;
    if (R == 1) C.Formula = "B1+A2";
    Cells[{R, 1}] = R == 0 ? TMemorySource::TCell{N(0), "A1", false, 0, 1} : C;
  }
  TCalcEngine E(S);
  E.RecalculateAll();
  EXPECT_EQ(Num(E, "B100000"), Rows);
  S.SetNumber("A1", 2);
  E.CellChanged(0, 0, 0);
  E.Recalculate();
  EXPECT_EQ(Num(E, "B100000"), Rows + 1);
  EXPECT_EQ(E.Counts().Computed, size_t(Rows));
}

}  // namespace
}  // namespace kv
