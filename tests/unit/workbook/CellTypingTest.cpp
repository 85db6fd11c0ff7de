// What typed text becomes in a cell: the rule as a table of cell formats,
// present types and typed texts.
#include <gtest/gtest.h>

#include "workbook/CellTyping.h"

namespace kv {

namespace {

struct TCase {
  const char* Typed;
  const char* Format;
  bool IsDate;
  bool WasBoolean;
  TTypedKind Kind;
  const char* Value;
  const char* Loaded;
};

constexpr auto Blank = TTypedKind::Blank, Number = TTypedKind::Number,
               Boolean = TTypedKind::Boolean, Text = TTypedKind::Text;

const TCase kCases[] = {
    // Text format keeps what was typed, zeros, spaces and words alike.
    {"00456", "@", false, false, Text, "00456", "00456"},
    {"12.50", "@", false, false, Text, "12.50", "12.50"},
    {"TRUE", "@", false, true, Text, "TRUE", "TRUE"},
    {"  ", "@", false, false, Text, "  ", "  "},
    {"", "@", false, false, Blank, "", ""},
    // General: numbers in their shortest form, booleans in any case.
    {"12.50", "General", false, false, Number, "12.5", "12.5"},
    {"1e3", "", false, false, Number, "1000", "1000"},
    {"00456", "General", false, false, Number, "456", "456"},
    {"false", "General", false, false, Boolean, "0", "FALSE"},
    {" True ", "", false, false, Boolean, "1", "TRUE"},
    {"1,5", "General", false, false, Text, "1,5", "1,5"},
    {"NaN", "General", false, false, Text, "NaN", "NaN"},
    {"   ", "General", false, false, Blank, "", ""},
    // A boolean cell takes booleans whatever its format; other formats do not.
    {"FALSE", "0.00", false, true, Boolean, "0", "FALSE"},
    {"FALSE", "0.00", false, false, Text, "FALSE", "FALSE"},
    {"true", "yyyy-mm-dd", true, false, Text, "true", "true"},
    // Dates and times in a date cell: ISO forms and the format's own form.
    {"2024-02-01", "yyyy-mm-dd", true, false, Number, "45323", "2024-02-01"},
    {"2024-02-01 14:30", "yyyy-mm-dd", true, false, Number, "45323.6041666667", "2024-02-01 14:30"},
    {"2024-02-01T14:30:00", "yyyy-mm-dd", true, false, Number, "45323.6041666667",
     "2024-02-01 14:30"},
    {"14:30", "h:mm", true, false, Number, "0.604166666666667", "1899-12-30 14:30"},
    {"01/02/2024", "dd/mm/yyyy", true, false, Number, "45323", "2024-02-01"},
    {"2/1/2024", "m/d/yyyy", true, false, Number, "45323", "2024-02-01"},
    {"1-Feb-24", "d-mmm-yy", true, false, Number, "45323", "2024-02-01"},
    {"February 1, 2024", "mmmm d, yyyy", true, false, Number, "45323", "2024-02-01"},
    {"2:30 PM", "h:mm AM/PM", true, false, Number, "0.604166666666667", "1899-12-30 14:30"},
    {"12:05 am", "h:mm AM/PM", true, false, Number, "0.00347222222222222", "1899-12-30 00:05"},
    {"01.02.2024 14:30", "dd.mm.yyyy hh:mm", true, false, Number, "45323.6041666667",
     "2024-02-01 14:30"},
    {"45323", "yyyy-mm-dd", true, false, Number, "45323", "2024-02-01"},
    // Not a date: impossible days, wrong order, a form nobody shows, no date cell.
    {"2024-02-30", "yyyy-mm-dd", true, false, Text, "2024-02-30", "2024-02-30"},
    {"2024-02-01", "dd/mm/yyyy", true, false, Number, "45323", "2024-02-01"},
    {"13/13/2024", "dd/mm/yyyy", true, false, Text, "13/13/2024", "13/13/2024"},
    {"25:00", "h:mm", true, false, Text, "25:00", "25:00"},
    {"1 Feb", "d mmm", true, false, Text, "1 Feb", "1 Feb"},
    {"2024-02-01", "General", false, false, Text, "2024-02-01", "2024-02-01"},
    {"2024-02-01", "0.00", false, false, Text, "2024-02-01", "2024-02-01"},
    {"1899-12-31", "yyyy-mm-dd", true, false, Text, "1899-12-31", "1899-12-31"},
};

}  // namespace

TEST(CellTyping, FollowsTheCellsFormatAndType) {
  for (const TCase& C : kCases) {
    SCOPED_TRACE(std::string(C.Typed) + " in " + C.Format);
    TTypingCell Cell;
    Cell.FormatCode = C.Format;
    Cell.IsDateFormat = C.IsDate;
    Cell.WasBoolean = C.WasBoolean;
    const TTypedValue V = TypeCellInput(C.Typed, Cell);
    EXPECT_EQ(V.Kind, C.Kind);
    EXPECT_EQ(V.Value, C.Value);
    EXPECT_EQ(V.Loaded, C.Loaded);
  }
}

TEST(CellTyping, DatesCountInTheWorkbooksDateSystem) {
  struct {
    const char* Typed;
    bool Date1904;
    double Serial;
  } const Cases[] = {
      {"1900-01-01", false, 1},       {"1900-02-28", false, 59},   {"1900-02-29", false, 60},
      {"1900-03-01", false, 61},      {"2024-02-01", true, 43861}, {"1904-01-01", true, 0},
      {"9999-12-31", false, 2958465},
  };
  for (const auto& C : Cases) {
    double Serial = -1;
    EXPECT_TRUE(ParseTypedDate(C.Typed, "yyyy-mm-dd", C.Date1904, Serial)) << C.Typed;
    EXPECT_EQ(Serial, C.Serial) << C.Typed;
  }
  double Serial = 0;
  EXPECT_FALSE(ParseTypedDate("1903-12-31", "yyyy-mm-dd", true, Serial));
  EXPECT_FALSE(ParseTypedDate("1900-02-29", "yyyy-mm-dd", true, Serial));
  EXPECT_FALSE(ParseTypedDate("10000-01-01", "yyyy-mm-dd", false, Serial));
}

TEST(CellTyping, AHeaderStaysText) {
  TTypingCell Cell;
  Cell.KeepText = true;
  const TTypedValue V = TypeCellInput("2024", Cell);
  EXPECT_EQ(V.Kind, TTypedKind::Text);
  EXPECT_EQ(V.Loaded, "2024");
}

}  // namespace kv
