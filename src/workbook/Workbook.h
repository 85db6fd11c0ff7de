// The workbook model: the in-memory form of one .xlsx/.xlsm package as an
// ordered list of visible worksheets, each holding every cell its part names
// (SheetCells.h: type, style, shown text, formula), plus everything needed to
// write the package back after cells were changed. Loading (WorkbookLoad.cpp), editing
// and saving (WorkbookSave.cpp) live here; the viewer, the exporters, the
// page importer and the import dialog read the model only through these
// operations.
#ifndef KV_WORKBOOK_WORKBOOK_H
#define KV_WORKBOOK_WORKBOOK_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/HiddenLines.h"
#include "workbook/SheetCells.h"

namespace kv {

struct TShownText;

// The most text one cell may hold, in UTF-16 code units, as Excel counts it;
// SetCellValue refuses more, and an editor limits its text to it.
constexpr int32_t kMaxCellTextLength = 32767;

// A worksheet as readers see it. Data is the workbook's table, read-only
// here: only the workbook changes it (SetCellValue). Every read below is
// also safe on a sheet without cells (null Data).
struct TXlsxSheet {
  std::string Name;                         // display name
  std::string PartName;                     // e.g. "xl/worksheets/sheet1.xml", no leading slash
  std::shared_ptr<const TSheetCells> Data;  // null for a sheet without cells
  THiddenLines HiddenRows, HiddenCols;      // as the sheet part says

  // The table's size: last used row and column + 1; 0 x 0 for a sheet without cells.
  int32_t RowCount() const { return Data ? Data->RowCount() : 0; }
  int32_t ColCount() const { return Data ? Data->ColCount() : 0; }

  // The text at (Row, Col) (TSheetCells::Cell), empty outside the table.
  // Cheap: no copy.
  std::string_view Cell(int32_t Row, int32_t Col) const {
    return Data ? Data->Cell(Row, Col) : std::string_view();
  }
  TCellType CellType(int32_t Row, int32_t Col) const {
    return Data ? Data->CellType(Row, Col) : TCellType::Empty;
  }
  int32_t CellStyle(int32_t Row, int32_t Col) const {
    return Data ? Data->CellStyle(Row, Col) : -1;
  }
  // The formula as the cell reads it; empty without one (TSheetCells::FormulaText).
  std::string FormulaText(int32_t Row, int32_t Col) const {
    return Data ? Data->FormulaText(Row, Col) : std::string();
  }
  // The text at (Row, Col) as the workbook shows it (TSheetCells::ShownCell).
  void ShownCell(int32_t Row, int32_t Col, TShownText& Out) const;
  TShownView ShownCellKept(int32_t Row, int32_t Col) const {
    return Data ? Data->ShownCellKept(Row, Col) : TShownView();
  }

  // Navigation (TSheetCells): the last used cell, a row's first and last
  // filled column, and where Ctrl+arrow goes.
  bool LastUsedCell(int32_t& Row, int32_t& Col) const {
    return Data && Data->LastUsedCell(Row, Col);
  }
  int32_t FirstUsedCol(int32_t Row) const { return Data ? Data->FirstUsedCol(Row) : -1; }
  int32_t LastUsedCol(int32_t Row) const { return Data ? Data->LastUsedCol(Row) : -1; }
  bool FindCell(int32_t Row, int32_t Col, TDirection Dir, bool Filled, int32_t& OutRow,
                int32_t& OutCol) const {
    return Data && Data->FindCell(Row, Col, Dir, Filled, OutRow, OutCol);
  }
  void DataRegionEdge(int32_t Row, int32_t Col, TDirection Dir, int32_t& OutRow,
                      int32_t& OutCol) const {
    OutRow = Row;
    OutCol = Col;
    if (Data) Data->DataRegionEdge(Row, Col, Dir, OutRow, OutCol);
  }
};

// A formula cell's cached value: what the save writes in its "v" (with "t")
// and the table shows.
enum class TCachedKind : uint8_t { Number, Text, Boolean, Error };
struct TCachedValue {
  TCachedKind Kind = TCachedKind::Number;
  double Number = 0;  // Number; Boolean as 1 or 0
  std::string Text;   // Text; Error: its code, such as "#DIV/0!"
};

// The names formulas may use beyond the shown sheets' own: defined names and
// the sheets the workbook does not show.
struct TDefinedName {
  std::string Name;
  int Scope = -1;       // the shown sheet's index; -1 for the whole workbook; -2 a hidden sheet's
  std::string Formula;  // as written, without "="
};
struct TFormulaNames {
  std::vector<TDefinedName> Names;
  std::vector<std::string> HiddenSheets;
};

class TXlsxWorkbook {
 public:
  TXlsxWorkbook();
  ~TXlsxWorkbook();
  TXlsxWorkbook(const TXlsxWorkbook&) = delete;
  TXlsxWorkbook& operator=(const TXlsxWorkbook&) = delete;

  // Reads the package and the first visible sheet. A failed load changes
  // nothing: the workbook keeps what it held before (no package, or the one
  // loaded last). Raises TKvError: "File not found: %s", the file's "Unable
  // to open"/"Unable to read" errors, "This file is an encrypted
  // (password-protected) workbook or an old binary .xls file, which this
  // viewer cannot open.", the ZIP reader's errors (limits included), "This
  // does not look like a valid .xlsx workbook (xl/workbook.xml missing).",
  // "Could not parse xl/workbook.xml.", "Workbook contains no worksheets.",
  // "No visible worksheets were found in this workbook.", for any part read
  // "Could not read PART: REASON at offset N.", "This workbook holds more
  // than 512 MiB of cell text, ...", and, past the cell budget (CellBudget()
  // cells in all sheets read), "The sheet \"%s\" cannot be loaded: the
  // workbook would hold more than %s cells, the most it can hold in memory."
  // (the budget written 16,777,216).
  void LoadFromFile(const std::string& FileName);
  // The same from the bytes of a package; FileName() becomes FileName.
  // Raises: as LoadFromFile, except "File not found".
  void LoadFromBytes(std::string Bytes, const std::string& FileName);

  int SheetCount() const { return static_cast<int>(FSheets.size()); }
  // The display name, known without reading the sheet's cells.
  // Requires: 0 <= Index < SheetCount().
  const std::string& SheetName(int Index) const { return FSheets[static_cast<size_t>(Index)].Name; }
  // The first visible sheet is read by the load; every other sheet's cells
  // are read on its first use, so opening a workbook costs one sheet.
  // Requires: 0 <= Index < SheetCount(). The reference stays valid until the
  // next load; a later SetCellValue is visible through it. Raises, for a sheet
  // not read yet: the ZIP reader's and the XML reader's errors on its part,
  // the cell budget's error, and the same error again on every later call. A sheet once read never
  // raises.
  const TXlsxSheet& Sheet(int Index) const;

  // Changes one cell in the table and records it for the worksheet part,
  // which every later save writes with all edits made since the load (see
  // SheetSplice.h for what the part then holds). The typed text becomes what
  // it would in a spreadsheet, by the cell's number format and present type
  // (CellTyping.h), and the table holds right away the text that loading the
  // saved cell gives. A formula the cell held is
  // replaced; when other cells shared it, each keeps the formula as its own;
  // when the cell lies in an array range, the range's formula goes and its
  // cells keep their values; the next save then leaves out the calculation
  // chain, which readers rebuild. Nothing happens for a sheet index out of
  // range. Requires: Row >= 0, Col >= 0. Raises, changing nothing: "A cell can
  // hold at most 32,767 characters; this text has N.", "The cell REF is
  // locked: the sheet NAME is protected.", and the errors of Sheet(SheetIndex).
  // AsText: the text is kept exactly as typed, as in a cell formatted as Text
  // (what a leading apostrophe asks for).
  void SetCellValue(int SheetIndex, int32_t Row, int32_t Col, const std::string& NewValue,
                    bool AsText = false);

  // Gives the cell the formula Formula (its text without "="), as an edit: the
  // value the cell held goes (the table shows the cell empty until
  // SetCachedValue gives it one), and so does a formula the cell held, as for
  // SetCellValue. The save writes the formula in "f" and, once set, its
  // cached value. Requires: Row >= 0, Col >= 0. Raises, changing nothing:
  // the errors of SetCellValue (the 32,767-character limit applies to the
  // formula text, the lock to the cell).
  void SetCellFormula(int SheetIndex, int32_t Row, int32_t Col, const std::string& Formula);
  // Sets the cached value of a formula cell: the table shows it at once (a
  // number in the notation the file stores, a date-styled one as a date,
  // TRUE/FALSE, an error's code), and every later save writes the cell's "v"
  // and "t", leaving its formula as it is. Nothing happens for a cell without
  // a formula or a sheet index out of range. Raises: the errors of
  // Sheet(SheetIndex), and the text limit's for a text longer than a cell holds.
  void SetCachedValue(int SheetIndex, int32_t Row, int32_t Col, const TCachedValue& Value);
  // The same for the table only: the value is shown, not saved (a value
  // computed for a formula the file left without one, when nothing changed).
  void ShowCachedValue(int SheetIndex, int32_t Row, int32_t Col, const TCachedValue& Value);

  // Whether the workbook counts dates from 1904-01-01.
  bool Date1904() const;
  // Defined names and hidden sheets, read from the workbook part on first use.
  // Raises: the ZIP reader's and the XML reader's errors on the workbook part.
  const TFormulaNames& FormulaNames() const;

  // Whether the cell cannot be edited: its sheet is protected
  // (sheetProtection sheet="1") and the cell's style locks it (styles lock
  // unless they say otherwise). A cell without a style of its own takes its
  // row's or column's. False for a sheet index out of range. Raises: the
  // errors of Sheet(SheetIndex).
  bool IsCellLocked(int SheetIndex, int32_t Row, int32_t Col) const;

  // Writes the package through a temporary file and one replacing move; on
  // failure the existing file is untouched. Untouched entries are copied as
  // stored; edited worksheet parts are streamed, never held whole. Raises: "No
  // workbook is currently loaded.", the ZIP reader's and writer's, the XML
  // reader's (an edited part) and the file system's errors.
  void SaveToFile(const std::string& OutputFileName);

  const std::string& FileName() const { return FFileName; }

  // The most cells all sheets read may hold together: 16 bytes each, sized so
  // that the tables of a full budget leave a 32-bit host room to work.
  static constexpr size_t kCellBudget = size_t{1} << 24;
  size_t CellBudget() const;
  // For a host with less room, and for tests; applies to later loads and reads.
  void SetCellBudget(size_t Cells);

  // From now on every sheet's texts are the texts its cells show through
  // their number formats (TSheetCells::ShownCell), for tools that pass on
  // what a user sees. The package parts are untouched. Reads every sheet.
  // Raises: the errors of Sheet.
  void UseShownTexts();

 private:
  friend class TSheetLoader;
  // The sheet of a cell about to be edited to Text, read; raises the edit
  // errors (text limit, lock).
  TXlsxSheet& CheckedEditSheet(int SheetIndex, int32_t Row, int32_t Col, const std::string& Text);
  struct TImpl;
  // Mutable: Sheet() fills a sheet's cells on its first use.
  mutable std::vector<TXlsxSheet> FSheets;
  std::string FFileName;
  std::unique_ptr<TImpl> FImpl;  // shared strings, date styles, entries, edited trees
};

}  // namespace kv

#endif
