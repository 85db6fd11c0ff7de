// The workbook model: the in-memory form of one .xlsx/.xlsm package as an
// ordered list of visible worksheets, each a rectangular table of the cell
// texts a user sees, plus everything needed to write the package back after
// cells were changed. Loading, editing and saving live here; the viewer, the
// exporters, the page importer and the import dialog read the model only
// through these operations.
//
// Cell texts are stored once per workbook: a sheet's table refers to them, so
// copying a TXlsxSheet is cheap and a shared string used by a million cells is
// held once.
#ifndef KV_WORKBOOK_XLSXREADER_H
#define KV_WORKBOOK_XLSXREADER_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TTextPool;
struct TCellFormats;
struct TShownText;

// A cell's shown text as kept by the table (valid until the table changes).
struct TShownView {
  std::string_view Text;
  bool IsNumber = false;
  bool HasColor = false;
  uint32_t Color = 0;
};

// A dense RowCount x ColCount table of cell texts (empty text: empty cell).
class TSheetCells {
 public:
  TSheetCells() = default;
  TSheetCells(int32_t Rows, int32_t Cols);

  int32_t RowCount() const { return FRows; }
  int32_t ColCount() const { return FCols; }
  // Empty text outside the table.
  std::string_view Cell(int32_t Row, int32_t Col) const;
  // Grows the table as needed. Requires: Row >= 0, Col >= 0.
  void SetCell(int32_t Row, int32_t Col, std::string_view Text);
  // Grows (never shrinks) to at least Rows x Cols, padding with empty cells.
  void Grow(int32_t Rows, int32_t Cols);
  // Bytes the table's text store holds (for the workbook's text cap).
  size_t TextBytes() const;
  // The cell as its style's number format shows it: numbers rendered (and
  // flagged as numbers), texts through a text section; booleans, errors and
  // cells of a table without formats as their stored text. Out.Text empty
  // outside the table.
  void ShownCell(int32_t Row, int32_t Col, TShownText& Out) const;
  // The same, kept once rendered, for painting the same cells again and
  // again; a changed cell is rendered anew. The text stays valid until the
  // table changes. Raises: the text cap's error.
  TShownView ShownCellKept(int32_t Row, int32_t Col) const;

 private:
  friend class TXlsxWorkbook;
  friend class TSheetLoader;
  TSheetCells(int32_t Rows, int32_t Cols, std::shared_ptr<TTextPool> Texts);
  int32_t FRows = 0;
  int32_t FCols = 0;
  // Cell (r, c) is FTexts->Get(FIndex[r * FCols + c]); id 0 is the empty text.
  std::vector<uint32_t> FIndex;
  std::shared_ptr<TTextPool> FTexts;  // shared by all sheets of a workbook

  // What showing a cell needs beside its text, kept only by loaded tables:
  // per cell its kind (top bits) and style index + 1 (0: nothing to apply),
  // and, for a cell whose text is not its value (a date), the value's text id.
  static constexpr uint32_t kShownNumber = 1u << 28, kShownText = 2u << 28, kShownEdited = 3u << 28,
                            kShownKindMask = 0xFu << 28;
  std::vector<uint32_t> FShown;
  std::vector<uint32_t> FValues;
  std::shared_ptr<const TCellFormats> FFormats;
  void SetShownInfo(size_t Index, uint32_t Kind, int32_t Style, uint32_t ValueId);
  // Rendered cells: text id, and flags (kKept, kKeptNumber, kKeptColor) above
  // the colour's 24 bits. Emptied whenever the table grows.
  struct TKept {
    uint32_t Id = 0;
    uint32_t Color = 0;
  };
  static constexpr uint32_t kKept = 1u << 24, kKeptNumber = 1u << 25, kKeptColor = 1u << 26;
  mutable std::vector<TKept> FKept;
  mutable size_t FKeptCharged = 0;  // bytes of FKept counted against the cap so far
};

struct TXlsxSheet {
  std::string Name;                         // display name
  std::string PartName;                     // e.g. "xl/worksheets/sheet1.xml", no leading slash
  std::shared_ptr<const TSheetCells> Data;  // null for a sheet without cells

  // The table's size; 0 x 0 for a sheet without cells.
  int32_t RowCount() const { return Data ? Data->RowCount() : 0; }
  int32_t ColCount() const { return Data ? Data->ColCount() : 0; }

  // The text at (Row, Col), empty outside the table. Cheap: no copy.
  std::string_view Cell(int32_t Row, int32_t Col) const {
    return Data ? Data->Cell(Row, Col) : std::string_view();
  }
  // The text at (Row, Col) as the workbook shows it (TSheetCells::ShownCell).
  void ShownCell(int32_t Row, int32_t Col, TShownText& Out) const;
  TShownView ShownCellKept(int32_t Row, int32_t Col) const {
    return Data ? Data->ShownCellKept(Row, Col) : TShownView();
  }
};

class TXlsxWorkbook {
 public:
  TXlsxWorkbook();
  ~TXlsxWorkbook();
  TXlsxWorkbook(const TXlsxWorkbook&) = delete;
  TXlsxWorkbook& operator=(const TXlsxWorkbook&) = delete;

  // Reads the package. On failure raises TKvError and the workbook must not be
  // used again. Raises: "File not found: %s", the ZIP reader's and the XML
  // parser's errors, "This does not look like a valid .xlsx workbook
  // (xl/workbook.xml missing).", "Could not parse xl/workbook.xml.",
  // "Workbook contains no worksheets.", "No visible worksheets were found in
  // this workbook.", and the limits' errors on hostile packages.
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
  // and the same error again on every later call. A sheet once read never
  // raises.
  const TXlsxSheet& Sheet(int Index) const;

  // Changes one cell in the table and records it for the worksheet part,
  // which every later save writes with all edits made since the load (see
  // SheetSplice.h for what the part then holds). A formula the cell held is
  // replaced; when other cells shared it, each keeps the formula as its own;
  // when the cell lies in an array range, the range's formula goes and its
  // cells keep their values; the next save then leaves out the calculation
  // chain, which readers rebuild. Nothing happens for a sheet index out of
  // range. Requires: Row >= 0, Col >= 0. Raises: the errors of
  // Sheet(SheetIndex).
  void SetCellValue(int SheetIndex, int32_t Row, int32_t Col, const std::string& NewValue);

  // Writes the package through a temporary file and one replacing move; on
  // failure the existing file is untouched. Untouched entries are copied as
  // stored; edited worksheet parts are streamed, never held whole. Raises: "No
  // workbook is currently loaded.", the ZIP reader's and writer's, the XML
  // reader's (an edited part) and the file system's errors.
  void SaveToFile(const std::string& OutputFileName);

  const std::string& FileName() const { return FFileName; }

  // From now on every sheet's texts are the texts its cells show through
  // their number formats (TSheetCells::ShownCell), for tools that pass on
  // what a user sees. The package parts are untouched. Reads every sheet.
  // Raises: the errors of Sheet.
  void UseShownTexts();

 private:
  friend class TSheetLoader;
  struct TImpl;
  // Mutable: Sheet() fills a sheet's cells on its first use.
  mutable std::vector<TXlsxSheet> FSheets;
  std::string FFileName;
  std::unique_ptr<TImpl> FImpl;  // shared strings, date styles, entries, edited trees
};

// Cell references.
std::string ColumnIndexToLetters(int32_t Index);         // 0 -> "A", 26 -> "AA"; <0 -> ""
int32_t ColumnLettersToIndex(std::string_view Letters);  // "A" -> 0, "" -> -1
// "AA10" -> Col 26, Row 9. Unusable references set both to 0 and give false.
bool ParseCellRef(std::string_view Ref, int32_t& Col, int32_t& Row);

// Number text in invariant notation (decimal point, no grouping).
bool TryParseNumberText(std::string_view Text, double& Value);
// Shortest text of at most 15 significant digits: 0.1 + 0.2 -> "0.3", 1e20 -> "1E20".
std::string FormatNumberText(double Value);

}  // namespace kv

#endif
