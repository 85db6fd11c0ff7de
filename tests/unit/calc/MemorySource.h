// A cell source held in memory for the engine's tests: cells set by A1
// reference, a value or a formula ("=...") each.
#ifndef KV_TESTS_UNIT_CALC_MEMORYSOURCE_H
#define KV_TESTS_UNIT_CALC_MEMORYSOURCE_H

#include <map>
#include <string>
#include <vector>

#include "base/Text.h"
#include "calc/Calc.h"
#include "workbook/CellNotation.h"

namespace kv::test {

class TMemorySource : public ICellSource {
 public:
  struct TCell {
    TCalcValue Value;
    std::string Formula;  // without "="
    bool Shared = false;
    int32_t AnchorRow = 0, AnchorCol = 0;
  };
  std::vector<std::string> Names{"Sheet1"};
  std::vector<std::map<std::pair<int32_t, int32_t>, TCell>> Cells{1};
  std::map<std::string, std::string> Defined;  // upper name -> text (workbook scope)
  bool Is1904 = false;

  int AddSheet(const std::string& Name) {
    Names.push_back(Name);
    Cells.emplace_back();
    return int(Names.size() - 1);
  }
  // "A1" = 5, "B2" = "=A1*2", a text, a boolean.
  void Set(const std::string& Ref, const TCalcValue& V, int Sheet = 0) {
    int32_t C, R;
    ParseCellRef(Ref, C, R);
    Cells[size_t(Sheet)][{R, C}] = TCell{V, "", false, R, C};
  }
  void SetNumber(const std::string& Ref, double V, int Sheet = 0) {
    Set(Ref, TCalcValue::Num(V), Sheet);
  }
  void SetFormula(const std::string& Ref, const std::string& F, int Sheet = 0,
                  const TCalcValue& Cached = {}) {
    int32_t C, R;
    ParseCellRef(Ref, C, R);
    Cells[size_t(Sheet)][{R, C}] = TCell{Cached, F.substr(F[0] == '=' ? 1 : 0), false, R, C};
  }

  int SheetCount() const override { return int(Names.size()); }
  int FindSheet(std::string_view Name) const override {
    for (size_t I = 0; I < Names.size(); ++I)
      if (SameTextAscii(Names[I], Name)) return int(I);
    return -1;
  }
  TCalcValue CellValue(int Sheet, int32_t Row, int32_t Col) const override {
    auto& M = Cells[size_t(Sheet)];
    auto It = M.find({Row, Col});
    return It == M.end() ? TCalcValue() : It->second.Value;
  }
  void UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const override {
    Rows = Cols = 0;
    for (auto& [K, V] : Cells[size_t(Sheet)]) {
      Rows = std::max(Rows, K.first + 1);
      Cols = std::max(Cols, K.second + 1);
    }
  }
  void ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const override {
    for (auto& [K, V] : Cells[size_t(Sheet)])
      if (!V.Formula.empty() || V.Shared) {
        TFormulaCellInfo I;
        I.Row = K.first, I.Col = K.second;
        I.Text = V.Formula;
        I.Shared = V.Shared;
        I.AnchorRow = V.Shared ? V.AnchorRow : K.first;
        I.AnchorCol = V.Shared ? V.AnchorCol : K.second;
        if (V.Shared) I.Text = Cells[size_t(Sheet)].at({V.AnchorRow, V.AnchorCol}).Formula;
        Out.push_back(I);
      }
  }
  bool DefinedName(std::string_view Name, int, std::string& Formula) const override {
    auto It = Defined.find(AsciiUpper(Name));
    if (It == Defined.end()) return false;
    Formula = It->second;
    return true;
  }
  bool Date1904() const override { return Is1904; }
};

}  // namespace kv::test

#endif
