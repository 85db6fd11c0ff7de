// "info" and "cells": what the viewer will show of a workbook.
#include <cstdio>
#include <memory>

#include "Cli.h"
#include "base/Error.h"
#include "base/Files.h"
#include "calc/Calc.h"
#include "calc/RecalcService.h"
#include "base/Text.h"
#include "numfmt/NumberFormat.h"
#include "workbook/Workbook.h"

namespace kv::cli {

namespace {

// Tabs, line breaks and backslashes inside a cell as \t, \n, \r and \\.
std::string EscapeCell(std::string_view Text) {
  std::string R;
  R.reserve(Text.size());
  for (char C : Text) {
    switch (C) {
      case '\t':
        R += "\\t";
        break;
      case '\n':
        R += "\\n";
        break;
      case '\r':
        R += "\\r";
        break;
      case '\\':
        R += "\\\\";
        break;
      default:
        R += C;
    }
  }
  return R;
}

int CmdInfo(const TArgs& Args) {
  if (Args.size() != 1) UsageError("info BOOK.xlsx");
  TXlsxWorkbook Book;
  Book.LoadFromFile(Args[0]);
  for (int I = 0; I < Book.SheetCount(); ++I) {
    const TXlsxSheet& S = Book.Sheet(I);
    std::printf("%d\t%s\t%d\t%d\n", I + 1, S.Name.c_str(), S.RowCount(), S.ColCount());
  }
  return 0;
}

}  // namespace

int FindSheetIndex(const TXlsxWorkbook& Book, const std::string& Spec) {
  for (int I = 0; I < Book.SheetCount(); ++I)
    if (SameTextAscii(Book.SheetName(I), Spec)) return I;
  if (auto N = TryParseInt32(Spec); N && *N >= 1 && *N <= Book.SheetCount()) return *N - 1;
  throw TKvError("No sheet named or numbered \"" + Spec + "\".");
}

namespace {

int CmdCells(const TArgs& In) {
  TArgs Args = In;
  std::string Spec;
  bool HasSheet = TakeOption(Args, "--sheet", Spec);
  const bool Shown = TakeFlag(Args, "--shown");
  const bool Recalc = TakeFlag(Args, "--recalc");
  if (Args.size() != 1 || (Shown && Recalc))
    UsageError("cells BOOK.xlsx [--sheet NAME|N] [--shown | --recalc]");
  TXlsxWorkbook Book;
  Book.LoadFromFile(Args[0]);
  const int Index = HasSheet ? FindSheetIndex(Book, Spec) : 0;
  // As the viewer reads it: formulas without a cached value computed;
  // --recalc: every formula recomputed from scratch, shown in place of its
  // cached value.
  TRecalcService Service(Book);
  if (Recalc) Service.RecalculateAll(Index);
  const TXlsxSheet& S = Service.Sheet(Index);
  std::string Out;
  TShownText Cell;
  for (int32_t R = 0; R < S.RowCount(); ++R) {
    for (int32_t C = 0; C < S.ColCount(); ++C) {
      if (C) Out += '\t';
      if (Shown) {
        S.ShownCell(R, C, Cell);
        Out += EscapeCell(Cell.Text);
      } else {
        Out += EscapeCell(S.Cell(R, C));
      }
    }
    Out += '\n';
    if (Out.size() > (1u << 16)) {
      std::fwrite(Out.data(), 1, Out.size(), stdout);
      Out.clear();
    }
  }
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  return 0;
}

const TCliCommand RegInfo("info", "info BOOK.xlsx    (index, name, rows, columns of each sheet)",
                          CmdInfo);
const TCliCommand RegCells("cells",
                           "cells BOOK.xlsx [--sheet NAME|N] [--shown | --recalc]    (cell "
                           "texts, tab-separated; --shown: as their number formats show them; "
                           "--recalc: formulas recomputed from scratch)",
                           CmdCells);

}  // namespace

}  // namespace kv::cli
