// Number formats: a cell's value as the workbook shows it. A format code
// ("#,##0.00;[Red]-#,##0.00", "h:mm AM/PM", "# ?/?") is parsed once into a
// TNumberFormat, which then renders numbers and texts in invariant English
// conventions (period decimal, comma thousands, English month and day names
// unless a [$-LCID] tag names one of the locales NumberFormatNames.cpp knows)
// with spreadsheet rounding: half away from zero on the value's 15-digit
// decimal form, not on its binary one.
//
// Promises: parsing never raises; a code it cannot read is General. Rendering
// never raises, and its text is bounded by the code's length plus the 309
// digits of the largest double (a date outside years 1 to 9999 falls back to
// General). Colours are COLORREF values (red in the low byte).
#ifndef KV_NUMFMT_NUMBERFORMAT_H
#define KV_NUMFMT_NUMBERFORMAT_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct TShownText {
  std::string Text;
  bool HasColor = false;
  uint32_t Color = 0;     // COLORREF of a [Red]-style section, when HasColor
  bool IsNumber = false;  // set by a workbook's cells for a number (shown right-aligned)
};

class TNumberFormat {
 public:
  TNumberFormat();  // General
  explicit TNumberFormat(std::string_view Code);

  // False for General, and for a code that was rejected and so is General.
  bool IsGeneral() const { return !FBody; }
  // Whether the code was read (General itself is read).
  bool Parsed() const { return FParsed; }
  // Whether a section shows a date or a time (a year, month, day, hour,
  // minute, second, AM/PM or elapsed-time part outside quotes, escapes and
  // brackets): the cells it formats hold date serials.
  bool ShowsDates() const;

  // A number as the format shows it. Date1904: serial 0 is 1904-01-01
  // instead of 1899-12-30.
  void RenderNumber(double Value, bool Date1904, TShownText& Out) const;
  // A text cell: through the text section when the code has one, else as is.
  void RenderText(std::string_view Text, TShownText& Out) const;

  struct TToken;
  struct TSection;
  struct TBody;

 private:
  std::shared_ptr<const TBody> FBody;  // null for General; shared by copies
  bool FParsed = true;
};

// The number formats of a workbook's cell styles, each code parsed once.
struct TCellFormats {
  std::vector<TNumberFormat> ByStyle;  // by position in the styles part's cell formats
  bool Date1904 = false;
  // General for a style beyond the list. Requires: Style >= 0.
  const TNumberFormat& ForStyle(int32_t Style) const;
};

// The code of a built-in format id as the OOXML standard lists it (0 to 49,
// with the en-US currency codes for 5 to 8 and 41 to 44); empty for ids that
// list none, which show as General.
std::string_view BuiltInFormatCode(int32_t Id);

// Calendar days: days since 1970-01-01 to a civil date (proleptic Gregorian)
// and back.
void CivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day);
int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day);

// Day 0 of a workbook's date system in days since 1970-01-01: 1899-12-30,
// or 1904-01-01 for the 1904 system.
int64_t EpochDays(bool Date1904);
// A serial day number as "yyyy-mm-dd", with " hh:mm" when it has a time of
// day: the text a loaded date cell keeps. False outside years 1 to 9999.
bool FormatSerialDate(double Serial, bool Date1904, std::string& Out);
// Whether a format code shows dates or times (TNumberFormat::ShowsDates).
bool IsDateFormatCode(std::string_view Code);

// General: up to 15 significant digits; scientific notation ("1E+20",
// "2.5E-10") above 1E15, below 1E-9 and where more than 15 decimals are needed.
std::string FormatGeneralNumber(double Value);

// A positive finite value to 15 significant digits: Digits * 10^Exp10 with
// 10^14 <= Digits < 10^15, rounded from the value's exact binary form with a
// tie going to the even digit, as printing it with 15 digits rounds.
void SignificantDigits15(double V, uint64_t& Digits, int& Exp10);

}  // namespace kv

#endif
