// A worksheet's cells: a sparse store holding every cell a worksheet part
// names, up to the format's limits (1,048,576 rows by 16,384 columns), with
// memory that follows the cells present and never the rectangle. Each cell
// keeps its type, its style, the exact text the plain viewer shows and, for a
// formula cell, where its formula is in the sheet's formula table (shared
// formulas are held once, with their anchor). Texts longer than a cell's own
// eight bytes live in a text pool shared by all sheets of a workbook, so a
// shared string used by a million cells is held once.
//
// Promises: a non-empty number cell of eight characters or fewer costs 16
// bytes and its share of one block slot (a vector) per 256 rows; reading a
// cell is one look where the block's rows are equally wide and at worst a
// binary search within its block of 256 rows; the navigation queries
// cost what the cells present cost, never what the empty rows between them
// would. Raises, on growth: the text pool's cap error.
#ifndef KV_WORKBOOK_SHEETCELLS_H
#define KV_WORKBOOK_SHEETCELLS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workbook/CellNotation.h"

namespace kv {

class TTextPool;
struct TCellFormats;
struct TShownText;

// The type of a cell as the file gives it (its "t" attribute; a formula
// cell's type is its cached value's).
enum class TCellType : uint8_t {
  Empty,          // no value (a styled cell, or a formula without a cached value)
  Number,         // "n" or no "t"
  SharedString,   // "s"
  InlineString,   // "inlineStr", and text typed into a cell
  Boolean,        // "b": the text is "TRUE" or "FALSE"
  Error,          // "e": the text is the code, e.g. "#N/A"
  FormulaString,  // "str": a formula's text result
  IsoDate,        // "d": an ISO 8601 date, shown as year-month-day
};

// How a formula is held in the file: the cell's own, a shared group's (the
// text held once, by the group's anchor cell), or an array formula's.
enum class TFormulaKind : uint8_t { Normal, Shared, Array };

// A cell's formula as the file holds it (views valid until the table changes).
struct TCellFormula {
  std::string_view Text;  // without a leading "="; for Shared, the anchor's text
  TFormulaKind Kind = TFormulaKind::Normal;
  int32_t AnchorRow = -1, AnchorCol = -1;  // the cell whose text Text is
  std::string_view Range;                  // "ref" of a shared or array formula, as written
};

enum class TDirection : uint8_t { Up, Down, Left, Right };

// A cell's shown text as kept by the table (valid until the next
// ShownCellKept call or a change of the table).
struct TShownView {
  std::string_view Text;
  bool IsNumber = false;
  bool HasColor = false;
  uint32_t Color = 0;
};

class TSheetCells {
 public:
  static constexpr int32_t kMaxRows = kSheetRows;
  static constexpr int32_t kMaxCols = kSheetCols;

  TSheetCells();
  // An empty table reporting Rows x Cols, with a pool of its own.
  TSheetCells(int32_t Rows, int32_t Cols);
  // An empty table whose texts go to Texts and whose cells show through Formats
  // (may be null: texts shown as stored).
  TSheetCells(std::shared_ptr<TTextPool> Texts, std::shared_ptr<const TCellFormats> Formats);
  ~TSheetCells();
  TSheetCells(const TSheetCells&) = delete;
  TSheetCells& operator=(const TSheetCells&) = delete;

  // ---- size ----
  // Last used row and column + 1 (a cell element without a value counts),
  // or as grown by Grow; 0 x 0 without cells.
  int32_t RowCount() const { return FRows; }
  int32_t ColCount() const { return FCols; }
  // Cells held, empty ones included.
  size_t CellCount() const { return FCellCount; }
  // Bytes the workbook's pool holds: texts and every table charged to it.
  size_t TextBytes() const;

  // ---- reading a cell (anywhere; nothing outside the table) ----
  // The text the plain viewer shows: strings, numbers exactly as stored,
  // "TRUE"/"FALSE", error codes, dates (date-styled numbers and "d" cells) as
  // year-month-day [hh:mm]; a formula cell's cached value. Valid until the
  // table changes.
  std::string_view Cell(int32_t Row, int32_t Col) const;
  TCellType CellType(int32_t Row, int32_t Col) const;
  // The style index ("s", a position in the styles part's cell formats); -1 for none.
  int32_t CellStyle(int32_t Row, int32_t Col) const;
  // The value as the file stores it where it differs from Cell (a date-styled
  // number: its serial), else Cell's text.
  std::string_view CellValue(int32_t Row, int32_t Col) const;
  bool HasCell(int32_t Row, int32_t Col) const;
  // CellType, Cell and CellValue of one cell in one look; false, and the
  // outputs untouched, for a cell not held.
  bool ReadCell(int32_t Row, int32_t Col, TCellType& Type, std::string_view& Text,
                std::string_view& Value) const;

  // Every held cell in row-major order: Visit(Row, Col, Text) with Cell's text.
  template <class TVisit>
  void ForEachCell(TVisit&& Visit) const;
  // The first row after Row (Row may be -1) holding any cell; -1 when none.
  int32_t NextUsedRow(int32_t Row) const { return NextRowWithCells(Row, 1); }

  // ---- formulas ----
  bool HasFormula(int32_t Row, int32_t Col) const;
  // False, and Out untouched, for a cell without a formula.
  bool CellFormula(int32_t Row, int32_t Col, TCellFormula& Out) const;
  // The formula as the cell itself reads it: a shared group's text moved from
  // its anchor (ShiftFormulaReferences); empty for a cell without a formula.
  std::string FormulaText(int32_t Row, int32_t Col) const;
  // The formula cells in row-major order: Row and Col of the I-th.
  // Requires: I < FormulaCellCount().
  size_t FormulaCellCount() const { return FFormulaCells.size(); }
  void FormulaCellAt(size_t I, int32_t& Row, int32_t& Col) const;
  // The same with the I-th cell's formula, as CellFormula gives it, without
  // looking the cell up again.
  void FormulaCellAt(size_t I, int32_t& Row, int32_t& Col, TCellFormula& Out) const;

  // ---- navigation (a filled cell is one whose Cell text is not empty) ----
  // The last used cell as Ctrl+End finds it: (RowCount() - 1, ColCount() - 1).
  // False for a table without cells.
  bool LastUsedCell(int32_t& Row, int32_t& Col) const;
  // The first and last filled column of Row; -1 when the row has none.
  int32_t FirstUsedCol(int32_t Row) const;
  int32_t LastUsedCol(int32_t Row) const;
  // The nearest cell after (Row, Col) in Dir, within the table, that is filled
  // (Filled) or empty (!Filled); false when the table holds none that way.
  bool FindCell(int32_t Row, int32_t Col, TDirection Dir, bool Filled, int32_t& OutRow,
                int32_t& OutCol) const;
  // Where Ctrl+arrow goes from (Row, Col), as in Excel: from a filled cell
  // whose neighbour in Dir is filled, the last filled cell of that run;
  // otherwise the next filled cell in Dir; the table's edge when there is
  // none. (Row, Col) itself when it already is at the edge.
  void DataRegionEdge(int32_t Row, int32_t Col, TDirection Dir, int32_t& OutRow,
                      int32_t& OutCol) const;

  // ---- showing through number formats (ShownCells.cpp) ----
  // The cell as its style's number format shows it: numbers rendered (and
  // flagged as numbers), texts through a text section; booleans, errors and
  // cells of a table without formats as their stored text. Out.Text empty
  // for a cell not held.
  void ShownCell(int32_t Row, int32_t Col, TShownText& Out) const;
  // The same, kept once rendered for painting the same cells again and again
  // (a bounded cache: memory stays flat however far a reader scrolls); a
  // changed cell is rendered anew.
  TShownView ShownCellKept(int32_t Row, int32_t Col) const;
  // A new table of the same cells whose texts are their shown texts and
  // which shows them as stored. Raises: the text cap's error.
  std::shared_ptr<TSheetCells> ShownCopy() const;

  // ---- changing (only the owner of a non-const table) ----
  // Sets the cell, replacing one held there whole (formula included). Texts
  // of eight bytes or fewer are held in the cell itself. Value: the stored
  // value where it differs from Text (a date's serial), else empty. Requires:
  // 0 <= Row < kMaxRows, 0 <= Col < kMaxCols. Raises: the text cap's error.
  void PutCell(int32_t Row, int32_t Col, TCellType Type, int32_t Style, std::string_view Text,
               std::string_view Value = {});
  // The same with a text already in the pool (a shared string): held by id.
  void PutPooledCell(int32_t Row, int32_t Col, TCellType Type, int32_t Style, uint32_t TextId);
  // Gives the cell at (Row, Col), which must be held, a formula: Formula is
  // an index of AddFormula.
  void SetCellFormula(int32_t Row, int32_t Col, uint32_t Formula);
  // Adds a formula to the sheet's table; its index. For Shared, Text may be
  // given later by UpdateFormula, when the anchor is met.
  uint32_t AddFormula(std::string_view Text, TFormulaKind Kind, int32_t AnchorRow,
                      int32_t AnchorCol, std::string_view Range);
  void UpdateFormula(uint32_t Formula, std::string_view Text, int32_t AnchorRow, int32_t AnchorCol,
                     std::string_view Range);
  // An edit: the cell takes Text, typed Type, keeping its style; its formula
  // goes, and so does that of an array formula whose range holds the cell.
  // Requires: as PutCell. Raises: the text cap's error.
  void SetCell(int32_t Row, int32_t Col, std::string_view Text, TCellType Type);
  // The same, typed Number when Text is number text (TryParseNumberText),
  // Empty when it is empty, else InlineString.
  void SetCell(int32_t Row, int32_t Col, std::string_view Text);
  // The same with the style Style (-1: none) and, where the stored value
  // differs from Text (a date's serial), Value.
  void SetCell(int32_t Row, int32_t Col, std::string_view Text, TCellType Type, int32_t Style,
               std::string_view Value);
  // A formula cell's new cached value: the cell takes Text (and Value, as
  // PutCell), typed Type, keeping its style and its formula. Nothing happens
  // for a cell without a formula. Raises: the text cap's error.
  void SetCachedValue(int32_t Row, int32_t Col, std::string_view Text, TCellType Type,
                      std::string_view Value = {});
  // ---- recomputed values awaiting a save ----
  // Marks a formula cell whose cached value (SetCachedValue) is to be saved;
  // nothing happens for a cell without a formula. The mark costs no memory:
  // it is a bit of the cell. A later edit of the cell (SetCell, PutCell)
  // takes it away; a new cached value keeps it. A shown copy has none.
  void MarkRecomputed(int32_t Row, int32_t Col);
  bool IsRecomputed(int32_t Row, int32_t Col) const;
  // The smallest rectangle holding every marked cell; false when none is.
  bool RecomputedBounds(int32_t& Row1, int32_t& Col1, int32_t& Row2, int32_t& Col2) const;
  // Whether a marked cell lies in the rectangle (Row1, Col1) .. (Row2, Col2).
  bool RecomputedIn(int32_t Row1, int32_t Col1, int32_t Row2, int32_t Col2) const;

  // Grows (never shrinks) the reported size to at least Rows x Cols.
  void Grow(int32_t Rows, int32_t Cols);
  // Gives back the room reserved for growth (after a load).
  void Compact();

 private:
  static constexpr int kBlockShift = 8;
  static constexpr int32_t kBlockRows = 1 << kBlockShift;
  // Form: the text's length when held in the cell itself, or kPooled.
  // kRecomputed: a formula cell marked by MarkRecomputed.
  static constexpr uint8_t kLengthMask = 0x0F, kPooled = 0x10, kFormula = 0x20, kRecomputed = 0x40;
  struct TIds {
    uint32_t Text;   // pool id of the shown text
    uint32_t Value;  // pool id of the stored value, 0 when it is the text
  };
  // Style indices past this are held as none (files hold at most 64,000 formats).
  static constexpr uint32_t kMaxStyleField = (1u << 24) - 1;
  struct TCell {
    uint16_t Col = 0;
    TCellType Type = TCellType::Empty;
    uint8_t Form = 0;
    uint32_t Style : 24 = 0;  // style index + 1; 0 for none
    uint32_t Row : 8 = 0;     // the row's place in its block
    union {
      char Inline[8];
      TIds Ids;
    };
  };
  static_assert(sizeof(TCell) == 16, "a cell takes 16 bytes");
  // The cells of rows Base .. Base + kBlockRows - 1, sorted by (Row, Col):
  // the cells carry their rows, so a block needs no row index of its own.
  using TBlock = std::vector<TCell>;
  struct TFormula {
    std::string Text;
    std::string Range;
    TFormulaKind Kind = TFormulaKind::Normal;
    int32_t AnchorRow = -1, AnchorCol = -1;
  };
  struct TFormulaCell {
    int32_t Row, Col;
    uint32_t Formula;
  };
  struct TKept {
    std::string Text;
    bool IsNumber = false, HasColor = false;
    uint32_t Color = 0;
  };

  bool Locate(int32_t Row, int32_t Col, size_t& Block, uint32_t& Index) const;
  void FormulaOf(const TFormulaCell& Cell, TCellFormula& Out) const;
  const TCell* Find(int32_t Row, int32_t Col) const;
  TCell* FindToChange(int32_t Row, int32_t Col);
  // The cell at (Row, Col), added empty (Existed false) when not held.
  TCell& Place(int32_t Row, int32_t Col, bool& Existed);
  void ShownOf(const TCell& C, TShownText& Out) const;
  // Row I's cells in B: [Begin, End), empty when it has none.
  static void RowRange(const TBlock& B, int32_t I, uint32_t& Begin, uint32_t& End);
  static uint32_t StyleField(int32_t Style);
  // Every stored cell in row-major order: Visit(Row, Cell).
  template <class TVisit>
  void ForEachStored(TVisit&& Visit) const;
  std::string_view TextOf(const TCell& C) const;
  void StoreText(TCell& C, std::string_view Text, std::string_view Value);
  void ChargeGrowth(size_t OldCapacity, size_t NewCapacity);
  void DropFormula(int32_t Row, int32_t Col);
  // An edit's change to the cell: its formula goes, and so does that of an
  // array formula whose range holds it.
  TCell& EditCell(int32_t Row, int32_t Col, TCellType Type, std::string_view Text,
                  std::string_view Value);
  // The next row after Row in Step's direction (+1 or -1) holding any cell,
  // or -1.
  int32_t NextRowWithCells(int32_t Row, int Step) const;
  bool IsFilled(int32_t Row, int32_t Col) const;
  bool FindInColumn(int32_t Row, int32_t Col, int Step, bool Filled, int32_t& OutRow) const;
  bool FindInRow(int32_t Row, int32_t Col, int Step, bool Filled, int32_t& OutCol) const;

  int32_t FRows = 0, FCols = 0;
  size_t FCellCount = 0;
  std::vector<TBlock> FBlocks;                   // by Row >> kBlockShift
  std::shared_ptr<TTextPool> FTexts;             // shared by all sheets of a workbook
  std::shared_ptr<const TCellFormats> FFormats;  // null: texts shown as stored
  std::vector<TFormula> FFormulas;
  std::vector<TFormulaCell> FFormulaCells;  // sorted by (Row, Col)
  bool FAnyRecomputed = false;              // some cell was ever marked
  mutable std::unordered_map<uint64_t, TKept> FKept;
};

template <class TVisit>
void TSheetCells::ForEachStored(TVisit&& Visit) const {
  for (size_t BlockIndex = 0; BlockIndex < FBlocks.size(); ++BlockIndex) {
    const int32_t Base = static_cast<int32_t>(BlockIndex << kBlockShift);
    for (const TCell& C : FBlocks[BlockIndex]) Visit(Base + static_cast<int32_t>(C.Row), C);
  }
}

template <class TVisit>
void TSheetCells::ForEachCell(TVisit&& Visit) const {
  ForEachStored([&](int32_t Row, const TCell& C) { Visit(Row, int32_t{C.Col}, TextOf(C)); });
}

}  // namespace kv

#endif
