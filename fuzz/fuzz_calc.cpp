// Formula text through the parser and the engine. Each input line is a
// formula placed in column A of a small sheet (numbers, texts and a running
// chain beside it); the whole input is also evaluated as one formula. The
// sheet is recalculated from scratch, then after an edit. Nothing may raise
// or crash; deep nesting, long chains and whole-sheet ranges must stay within
// the run's memory and time limits. Checked: a value's type and error code
// are ones the engine knows.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "calc/Calc.h"
#include "unit/calc/MemorySource.h"

namespace {

void CheckValue(const kv::TCalcValue& V, const std::string& Formula) {
  bool Ok = V.Type <= kv::TValueType::Error && V.Error <= kv::TCalcError::NA &&
            (V.Type != kv::TValueType::Error || V.Error != kv::TCalcError::None);
  if (!Ok) {
    std::fprintf(stderr, "fuzz_calc: a value of no known type from %s\n", Formula.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 20000) return 0;
  std::string In(reinterpret_cast<const char*>(Data), Size);
  kv::test::TMemorySource Src;
  int Other = Src.AddSheet("Other Sheet");
  for (int R = 1; R <= 30; ++R) {
    Src.SetNumber("B" + std::to_string(R), R * 1.5 - 7);
    Src.Set("C" + std::to_string(R), kv::TCalcValue::Str(R % 3 ? "x" : "10"));
    Src.SetFormula("D" + std::to_string(R), R == 1 ? "B1" : "D" + std::to_string(R - 1) + "+B" + std::to_string(R));
    Src.SetNumber("A" + std::to_string(R), R, Other);
  }
  Src.Defined["NAMED"] = "'Other Sheet'!$A$1:$A$30";
  Src.Defined["LOOP"] = "LOOP+1";
  size_t Start = 0;
  int Row = 1;
  while (Start <= In.size() && Row <= 40) {
    size_t End = In.find('\n', Start);
    if (End == std::string::npos) End = In.size();
    std::string Line = In.substr(Start, End - Start);
    if (!Line.empty()) Src.SetFormula("A" + std::to_string(Row++), Line);
    Start = End + 1;
  }
  kv::TCalcEngine Engine(Src);
  Engine.RecalculateAll();
  Src.SetNumber("B1", 99);
  Engine.CellChanged(0, 0, 1);
  std::vector<kv::TChangedCell> Changed;
  Engine.Recalculate(&Changed);
  for (const kv::TChangedCell& C : Changed) CheckValue(C.Value, "a changed cell");
  for (int R = 0; R < Row; ++R) CheckValue(Engine.Value(0, R, 0), "a line");
  CheckValue(Engine.EvaluateText(In, 0, 45, 5), In);
  return 0;
}
