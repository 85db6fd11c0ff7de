// A worksheet's cells: a dense table of the texts a user sees, held once per
// workbook in a shared text pool, so copying a table is cheap and a shared
// string used by a million cells is held once; and, for loaded tables, what
// showing a cell through its number format needs (ShownCells.cpp).
#ifndef KV_WORKBOOK_SHEETCELLS_H
#define KV_WORKBOOK_SHEETCELLS_H

#include <cstddef>
#include <cstdint>
#include <memory>
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
  // What a loaded cell stores: a number (Value: its text as the file wrote
  // it, a date's serial included), a text, or Unknown (an empty cell, a
  // boolean or error, an edited cell, a table not read from a file).
  enum class TStoredKind { Unknown, Number, Text };
  TStoredKind StoredKind(int32_t Row, int32_t Col, std::string_view& Value) const;
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

}  // namespace kv

#endif
