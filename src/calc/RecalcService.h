// The recalculating workbook: what the viewer and the tools edit through so
// that formulas follow the reader's edits. It serves the formula engine the
// cells of a TXlsxWorkbook (its typed store, with every edit made so far) and
// writes every formula value an edit changes back into the workbook as the
// cell's cached value, which the viewer shows at once and the save writes.
//
// Promises:
// - Opening costs one sheet, as for the workbook: a sheet is read when it is
//   asked for (Sheet), and a sheet's formulas only when one of them lacks a
//   cached value (they are computed then, and read the sheets they name).
//   The first edit reads every sheet's formulas, since a cell's readers may
//   be on any sheet. Hidden sheets are sheets like the others here: the
//   engine reads them (SheetCount is the workbook's AllSheetCount), so
//   formulas naming them are computed.
// - Values computed for formulas the file left without one are shown, not
//   saved, until an edit changes them: opening and saving changes nothing.
// - A formula the engine cannot compute (unreadable, an unknown function, a
//   sheet listed without a part, a circular reference, or reading such a cell) keeps the
//   value the file cached; the save asks spreadsheets to recompute on load.
// - Error values show their code ("#DIV/0!").
//
// Raises: from EditCell, "The formula cannot be read at character N:
// REASON." (nothing changes), and the workbook's SetCellValue errors; from
// Sheet, the workbook's Sheet errors.
#ifndef KV_CALC_RECALCSERVICE_H
#define KV_CALC_RECALCSERVICE_H

#include <memory>
#include <string>
#include <vector>

#include "calc/Calc.h"
#include "workbook/Workbook.h"

namespace kv {

class TRecalcService : public ICellSource {
 public:
  // Book must outlive the service, and be changed only through it from now on
  // (an edit behind its back is not followed).
  explicit TRecalcService(TXlsxWorkbook& Book);
  ~TRecalcService() override;
  TRecalcService(const TRecalcService&) = delete;
  TRecalcService& operator=(const TRecalcService&) = delete;

  TXlsxWorkbook& Workbook() { return FBook; }

  // The sheet as readers see it: read on first use, with its formula cells
  // that have no cached value computed. Requires and raises as
  // TXlsxWorkbook::Sheet.
  const TXlsxSheet& Sheet(int Index);

  // Enters what a reader typed into a cell, as a spreadsheet does:
  // - "=..." is a formula when it can be read (in a cell formatted as Text
  //   it is text, kept as typed), saved as FormulaForFile
  //   writes it (a function the engine lacks
  //   is allowed: the cell then waits for a spreadsheet to compute it);
  //   otherwise it is refused with the position of the fault;
  // - a leading apostrophe enters the rest as text, exactly;
  // - anything else is typed by SetCellValue's rules.
  // Then every formula the edit reaches is recomputed, and each changed
  // value becomes its cell's cached value (SetCachedValue). Nothing happens
  // for a sheet index out of range. Requires: Row >= 0, Col >= 0.
  void EditCell(int SheetIndex, int32_t Row, int32_t Col, const std::string& Typed);

  // What an editor opened on the cell shows: "=" and the formula for a
  // formula cell (FormulaForEditor); a text that EditCell would read otherwise (one starting
  // with "=" or an apostrophe) behind an apostrophe; else the cell's text.
  std::string EditorText(int SheetIndex, int32_t Row, int32_t Col);

  // Recomputes every formula of every sheet from scratch and shows the
  // values (not saved), as a tool checking the cached ones does; with
  // ShownSheet, only that sheet's (a tool printing one sheet needs no more).
  void RecalculateAll(int ShownSheet = -1);

  const TCalcEngine& Engine() const { return *FEngine; }

  // ICellSource, over the workbook's store.
  int SheetCount() const override;
  int FindSheet(std::string_view Name) const override;
  TCalcValue CellValue(int Sheet, int32_t Row, int32_t Col) const override;
  void UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const override;
  void ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const override;
  bool FormulaAt(int Sheet, int32_t Row, int32_t Col, TFormulaCellInfo& Out) const override;
  bool DefinedName(std::string_view Name, int Sheet, std::string& Formula) const override;
  bool Date1904() const override;

 private:
  // The sheet's cells, null for one that has none or cannot be read.
  const TSheetCells* Cells(int Sheet) const;
  // Reads every sheet's formulas, showing those computed for want of a value.
  void LoadAll();
  // Computes what is marked; Save: the changed values are saved, not only shown.
  void Settle(bool Save, bool WithVolatile);
  // Refuses a formula text that cannot be read.
  void CheckFormula(int SheetIndex, int32_t Row, int32_t Col, const std::string& Formula);

  TXlsxWorkbook& FBook;
  std::unique_ptr<TCalcEngine> FEngine;
  std::vector<bool> FSheetSettled;  // sheets whose missing values were computed
  bool FAllLoaded = false;
};

// The cached value a workbook keeps for an engine value (empty as 0).
TCachedValue CachedValueOf(const TCalcValue& V);

// A formula as typed, as the file writes it: functions younger than the
// format get their "_xlfn." prefix ("IFS(" becomes "_xlfn.IFS(").
std::string FormulaForFile(std::string_view Typed);
// A formula as the file holds it, as an editor shows it: without the
// "_xlfn." and "_xlws." prefixes.
std::string FormulaForEditor(std::string_view Stored);

}  // namespace kv

#endif
