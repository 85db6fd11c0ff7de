// "check": the formula engine against the values a workbook caches, the
// project's own conformance tool; and the recomputed texts "cells --recalc"
// shows.
#include <cstdio>

#include "Cli.h"
#include "base/Files.h"
#include "calc/Calc.h"
#include "calc/PackageCells.h"
#include "workbook/CellNotation.h"

namespace kv::cli {

std::string CalcValueText(const TCalcValue& V) {
  switch (V.Type) {
    case TValueType::Number:
      return FormatNumberText(V.Number);
    case TValueType::Text:
      return V.Text;
    case TValueType::Boolean:
      return V.Number != 0 ? "TRUE" : "FALSE";
    case TValueType::Error:
      return std::string(ErrorCodeText(V.Error));
    default:
      return "";
  }
}

namespace {

// Numbers agree to 15 significant digits; everything else exactly.
bool SameValue(const TCalcValue& A, const TCalcValue& B) {
  if (A.IsNumber() && B.IsNumber()) return FormatNumberText(A.Number) == FormatNumberText(B.Number);
  if (A.IsEmpty() && B.IsText() && B.Text.empty()) return true;
  return A == B;
}

const char* KeptText(TKeptReason R) {
  switch (R) {
    case TKeptReason::Unreadable:
      return "unreadable";
    case TKeptReason::Unsupported:
      return "unsupported function";
    case TKeptReason::Circular:
      return "circular";
    case TKeptReason::DependsOnKept:
      return "reads a kept value";
    default:
      return "";
  }
}

int CmdCheck(const TArgs& In) {
  TArgs Args = In;
  const bool All = TakeFlag(Args, "--kept");
  if (Args.size() != 1) UsageError("check BOOK.xlsx [--kept]");
  TPackageCells Cells(ReadWholeFile(Args[0]));
  TCalcEngine Engine(Cells);
  Engine.Load();
  std::vector<std::vector<TFormulaCellInfo>> Lists(size_t(Cells.SheetCount()));
  std::vector<std::vector<TCalcValue>> Cached(Lists.size());
  for (int S = 0; S < Cells.SheetCount(); ++S) {
    Cells.ListFormulas(S, Lists[size_t(S)]);
    for (const TFormulaCellInfo& F : Lists[size_t(S)])
      Cached[size_t(S)].push_back(Cells.CellValue(S, F.Row, F.Col));
  }
  Engine.RecalculateAll();
  size_t Differ = 0;
  for (int S = 0; S < Cells.SheetCount(); ++S)
    for (size_t I = 0; I < Lists[size_t(S)].size(); ++I) {
      const TFormulaCellInfo& F = Lists[size_t(S)][I];
      TKeptReason Why = Engine.KeptReason(S, F.Row, F.Col);
      TCalcValue Now = Engine.Value(S, F.Row, F.Col);
      bool Same = SameValue(Now, Cached[size_t(S)][I]);
      if (Same && !(All && Why != TKeptReason::None)) continue;
      Differ += !Same;
      std::string Ref =
          Cells.SheetName(S) + "!" + ColumnIndexToLetters(F.Col) + std::to_string(F.Row + 1);
      std::printf("%s\t=%s\tcached %s\trecomputed %s%s%s\n", Ref.c_str(),
                  std::string(F.Text).c_str(), CalcValueText(Cached[size_t(S)][I]).c_str(),
                  CalcValueText(Now).c_str(), Why != TKeptReason::None ? "\tkept: " : "",
                  KeptText(Why));
    }
  const TCalcCounts& C = Engine.Counts();
  std::printf(
      "formulas %zu, computed %zu, differing %zu, unsupported %zu, unreadable %zu, "
      "circular %zu, reading kept values %zu\n",
      C.Formulas, C.Computed, Differ, C.Unsupported, C.Unreadable, C.Circular, C.DependsOnKept);
  return 0;
}

const TCliCommand RegCheck("check",
                           "check BOOK.xlsx [--kept]    (formula cells whose recomputed value "
                           "differs from the cached one, with counts; --kept: list kept cells too)",
                           CmdCheck);

}  // namespace

}  // namespace kv::cli
