// What a text typed into a cell becomes, decided as a spreadsheet decides it:
// by the cell's number format and its present type. Pure rules, no package:
// - a cell formatted as Text ("@") keeps exactly the typed text;
// - TRUE or FALSE, in any letter case, is a boolean where the cell was one or
//   its format is General;
// - a number in invariant notation is a number (12.50 is 12.5);
// - in a cell whose format shows dates or times, a date or time typed in ISO
//   form (2024-02-01, 2024-02-01 14:30, 14:30) or in the form the format
//   itself shows (01/02/2024 under dd/mm/yyyy) is the serial number of the
//   workbook's date system;
// - empty text (or blank text outside a Text cell) empties the cell;
// - everything else is text, kept as typed.
// Every result also carries the text loading the saved cell gives (dates as
// FormatSerialDate writes them), which is
// what the workbook's table holds right after the edit. Nothing here raises.
#ifndef KV_WORKBOOK_CELLTYPING_H
#define KV_WORKBOOK_CELLTYPING_H

#include <string>
#include <string_view>

namespace kv {

// Error and FormulaText are never typed: they are the cached values of
// formulas (an error's code; a formula's text result, "str").
enum class TTypedKind { Blank, Number, Boolean, Text, Error, FormulaText };

// What the rules need to know of the cell.
struct TTypingCell {
  std::string_view FormatCode;  // of the cell's style; "" and "General" are General
  bool IsDateFormat = false;    // the format shows a date or time
  bool WasBoolean = false;      // the cell holds a boolean now
  bool Date1904 = false;        // the workbook counts days from 1904-01-01
  bool KeepText = false;        // the cell must hold text (a table's header)
};

struct TTypedValue {
  TTypedKind Kind = TTypedKind::Blank;
  // Number: the invariant number text a "v" element holds; Boolean: "1" or
  // "0"; Text and FormulaText: the text; Error: its code; Blank: empty.
  std::string Value;
  // The cell's text as loading the saved cell reads it.
  std::string Loaded;
};

TTypedValue TypeCellInput(std::string_view Typed, const TTypingCell& Cell);

// Whether the format code is Text ("@" alone).
bool IsTextFormatCode(std::string_view Code);
// Whether the format code is General.
bool IsGeneralFormatCode(std::string_view Code);

// A typed date or time as a serial number of the date system: ISO forms and,
// when FormatCode shows dates, the form it shows. The 1900 system counts the
// 29 February 1900 that never was (serial 60), as spreadsheets do; dates
// before the system's first day are no dates.
bool ParseTypedDate(std::string_view Text, std::string_view FormatCode, bool Date1904,
                    double& Serial);

}  // namespace kv

#endif
