// Saving an edited worksheet part as a splice of its original bytes: the part
// is read once, as a stream, and every byte outside the edited cells is copied
// as it was; no tree of the part is ever built and only one cell at a time is
// held. What it promises:
// - A cell is found where loading places it (TSheetWalker); every element at
//   an edited place is rewritten in place (so a duplicated cell shows the edit
//   whichever copy a reader keeps), keeping its other attributes (only
//   "t" changes, and "cm"/"vm", which describe the replaced formula and value,
//   go). A missing cell or row is inserted where ascending order puts it, a
//   missing "sheetData" where the worksheet schema wants it. New elements take
//   their parent's prefix.
// - The value written is the typed value CellTyping.h decided on: an empty
//   number cell, a number cell, a boolean cell or an inline string. New text is escaped so the part
//   stays well formed and reads back as typed: XML's special characters, characters XML 1.0 cannot
//   hold (C0 controls, U+FFFE, U+FFFF, lone surrogates) and an underscore that would start an
//   "_xHHHH_" escape become "_xHHHH_" escapes; a CR is written as a character reference; in a part
//   declared in an encoding other than UTF-8, every non-ASCII character is a character reference.
// - A formula edit writes "f" with the formula text before the value; an
//   edit of a cached value keeps the cell's "f" element byte for byte and
//   its "cm", and writes the new "v" and "t" ("n", "b", "e" or "str").
// - An edited cell otherwise loses its formula. When the formula was the first of a
//   shared group, the group's later cells get the formula moved to them; when
//   an edited cell lies in an array (or spill) range, the range's anchor loses
//   its formula and every cell keeps its cached value as a constant.
// - A formula cell the table marks as recomputed (TSheetCells::MarkRecomputed)
//   and no edit names is written as an edit of its cached value would be,
//   with the value the table holds: a number's stored text, a boolean as
//   "1" or "0", an error's code, a text as "str". An edit of the cell wins.
// - "dimension" and a row's simple "spans" are widened to take new cells in.
#ifndef KV_WORKBOOK_SHEETSPLICE_H
#define KV_WORKBOOK_SHEETSPLICE_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "workbook/CellTyping.h"
#include "xml/XmlPull.h"

namespace kv {

class TSheetCells;

// What an edit does to the cell's formula: it goes (a constant replaces it),
// it stays as written (only the cached value changes), or Formula replaces it.
enum class TFormulaEdit : uint8_t { Remove, Keep, Set };

// One cell's new content.
struct TCellEdit {
  TTypedValue Value;
  int32_t NewStyle = 0;  // the style of a cell element the edit creates (its row's or column's)
  TFormulaEdit FormulaEdit = TFormulaEdit::Remove;
  std::string Formula;  // Set: the new formula's text, without the "="
  TCellEdit() = default;
  TCellEdit(TTypedValue Typed) : Value(std::move(Typed)) {}
  // Text typed into a General cell.
  TCellEdit(std::string_view Typed);
  TCellEdit(const char* Typed) : TCellEdit(std::string_view(Typed)) {}
  TCellEdit(const std::string& Typed) : TCellEdit(std::string_view(Typed)) {}
};

// New cell values by 0-based (row, column).
using TCellEdits = std::map<std::pair<int32_t, int32_t>, TCellEdit>;

struct TSpliceResult {
  bool FormulaRemoved = false;  // some cell lost or changed its formula
};

// Reads the worksheet part from Source and writes it with Edits applied to
// Out (null: only the result is wanted). PartName names the part in errors.
// MayAddSheetData: the part is known to hold no "sheetData" where loading
// looks for it, so one may be added (loading the part tells). Recomputed:
// the part's table, whose marked cells are saved too (may be null). Raises:
// the pull reader's and the source's errors; Out's errors.
TSpliceResult SpliceSheetPart(TXmlSource& Source, const std::string& PartName,
                              const TCellEdits& Edits, bool MayAddSheetData, TXmlSink* Out,
                              const TSheetCells* Recomputed = nullptr);

// The value a marked cell of Cells saves (see above); Blank for a cell not held.
TTypedValue RecomputedValue(const TSheetCells& Cells, int32_t Row, int32_t Col);

// The cell content an edit writes and the cell's type ("n", "b", "e", "str"
// or "inlineStr"): "<v>12.5</v>", "<v>1</v>", "<v>#N/A</v>", "<v>x</v>",
// "<is><t>x</t></is>" or nothing, with element names
// carrying Prefix (such as "x:"). AsciiOnly: non-ASCII as character references.
std::string CellValueMarkup(const TTypedValue& Value, std::string_view Prefix, bool AsciiOnly,
                            std::string& Type);

// "A1:D10" or "A1" as first and last places (0-based, ordered); false when
// unusable.
bool ParseRange(std::string_view Written, int32_t& Row1, int32_t& Col1, int32_t& Row2,
                int32_t& Col2);

}  // namespace kv

#endif
