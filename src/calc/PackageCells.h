// The cells of an .xlsx package as the formula engine reads them: every
// worksheet's values, formulas (shared ones once, with their anchor),
// defined names and the date system, read straight from the package parts.
// For tools that check the engine against the values a file caches; the
// workbook model (src/workbook) serves the viewer and editing.
//
// Raises: TKvError with the ZIP reader's messages, "This does not look like a
// valid .xlsx workbook (xl/workbook.xml missing)." and "Could not parse
// xl/workbook.xml.".
#ifndef KV_CALC_PACKAGECELLS_H
#define KV_CALC_PACKAGECELLS_H

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "calc/Calc.h"

namespace kv {

class TPackageCells : public ICellSource {
 public:
  // Reads the package's bytes.
  explicit TPackageCells(std::string Bytes);

  int SheetCount() const override { return int(FSheets.size()); }
  int FindSheet(std::string_view Name) const override;
  TCalcValue CellValue(int Sheet, int32_t Row, int32_t Col) const override;
  void UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const override;
  void ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const override;
  bool DefinedName(std::string_view Name, int Sheet, std::string& Formula) const override;
  bool Date1904() const override { return FDate1904; }

  const std::string& SheetName(int Sheet) const { return FSheets[size_t(Sheet)].Name; }
  // The formula text of a cell as stored (a shared formula's anchor text
  // for every cell of its group), empty for none.
  std::string FormulaText(int Sheet, int32_t Row, int32_t Col) const;
  // Changes a cell's value (its formula goes), as an edit does.
  void SetValue(int Sheet, int32_t Row, int32_t Col, const TCalcValue& V);

 private:
  struct TFormulaCell {
    int32_t Row, Col, AnchorRow, AnchorCol;
    int Text;  // index into FTexts
    bool Shared, Array;
  };
  struct TSheet {
    std::string Name;
    std::unordered_map<uint64_t, TCalcValue> Values;
    std::vector<TFormulaCell> Formulas;
    int32_t Rows = 0, Cols = 0;
  };
  std::vector<TSheet> FSheets;
  std::vector<std::string> FTexts;                                 // formula texts
  std::multimap<std::string, std::pair<int, std::string>> FNames;  // upper name -> (scope, text)
  bool FDate1904 = false;
  void ReadSheet(TSheet& S, const std::string& Xml, const std::vector<std::string>& Strings);
};

}  // namespace kv

#endif
