#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "base/Text.h"
#include "support/Package.h"
#include "numfmt/NumberFormat.h"
#include "workbook/Workbook.h"

namespace kv {

namespace {

struct TCase {
  std::string Construct, Code, Value, LibreOffice, Gnumeric, Excel;
};

// numfmt-expected.tsv: LibreOffice's and gnumeric's "as shown" texts of the
// cases make_numfmt_book.py writes, and Excel's where it differs from
// LibreOffice's (the engine follows Excel there).
const std::vector<TCase>& Cases() {
  static const std::vector<TCase> All = [] {
    std::vector<TCase> R;
    std::ifstream In(std::string(KV_FIXTURES_DIR) + "/numfmt/numfmt-expected.tsv");
    std::string Line;
    std::getline(In, Line);
    while (std::getline(In, Line)) {
      std::vector<std::string> F = SplitString(Line, '\t');
      F.resize(6);
      R.push_back({F[0], F[1], F[2], F[3], F[4], F[5]});
    }
    return R;
  }();
  return All;
}

// Where this engine departs from LibreOffice (with gnumeric).
struct TDeparture {
  const char* Code;
  const char* Value;
  const char* Shown;
  const char* Why;
};
const TDeparture kDepartures[] = {
    {"General", "1e+20", "1E+20", "two exponent digits; LibreOffice writes three (1E+020)"},
};

std::string Render(const std::string& Code, const std::string& Value) {
  TNumberFormat F(Code);
  TShownText Out;
  if (Value.rfind("text:", 0) == 0) {
    F.RenderText(Value.substr(5), Out);
  } else {
    F.RenderNumber(std::strtod(Value.c_str(), nullptr), false, Out);
  }
  return Out.Text;
}

// Every case of one construct renders as LibreOffice shows it, or as a
// listed departure says.
void CheckConstruct(const std::string& Construct) {
  int Seen = 0;
  for (const TCase& C : Cases()) {
    if (C.Construct != Construct) continue;
    ++Seen;
    std::string Wanted = C.Excel.empty() ? C.LibreOffice : C.Excel;
    for (const TDeparture& D : kDepartures)
      if (C.Code == D.Code &&
          std::strtod(C.Value.c_str(), nullptr) == std::strtod(D.Value, nullptr) &&
          C.Value.rfind("text:", 0) != 0)
        Wanted = D.Shown;
    EXPECT_EQ(Render(C.Code, C.Value), Wanted)
        << C.Code << " on " << C.Value << " (gnumeric: \"" << C.Gnumeric << "\")";
  }
  EXPECT_GT(Seen, 0) << "no cases for " << Construct;
}

}  // namespace

TEST(NumberFormat, GeneralAsPeersShow) {
  CheckConstruct("general");
}
TEST(NumberFormat, DigitPlaceholdersAsPeersShow) {
  CheckConstruct("digits");
}
TEST(NumberFormat, GroupingAsPeersShows) {
  CheckConstruct("grouping");
}
TEST(NumberFormat, TrailingCommasScaleAsPeersShow) {
  CheckConstruct("scaling");
}
TEST(NumberFormat, PercentAsPeersShow) {
  CheckConstruct("percent");
}
TEST(NumberFormat, ScientificAsPeersShow) {
  CheckConstruct("scientific");
}
TEST(NumberFormat, FractionsAsPeersShow) {
  CheckConstruct("fraction");
}
TEST(NumberFormat, SectionsAsPeersShow) {
  CheckConstruct("sections");
}
TEST(NumberFormat, ConditionsAsPeersShow) {
  CheckConstruct("conditions");
}
TEST(NumberFormat, LiteralsPaddingAndFillAsPeersShow) {
  CheckConstruct("literals");
}
TEST(NumberFormat, CurrencyTagsAsPeersShow) {
  CheckConstruct("currency");
}
TEST(NumberFormat, DatesAsPeersShow) {
  CheckConstruct("dates");
}
TEST(NumberFormat, TimesAsPeersShow) {
  CheckConstruct("times");
}
TEST(NumberFormat, ElapsedTimesAsPeersShow) {
  CheckConstruct("elapsed");
}
TEST(NumberFormat, BuiltInDateCodesAsPeersShow) {
  CheckConstruct("builtins");
}
// One rounding from the value to the last decimal shown.
TEST(NumberFormat, SecondDecimalsRoundOnce) {
  CheckConstruct("seconds");
}
TEST(NumberFormat, LocaleTagsNameMonthsAndDays) {
  for (const char* Tag : {"407", "40C", "410", "C0A", "413", "816", "41D", "406", "414", "40B",
                          "415", "405", "419", "411", "804", "412"})
    CheckConstruct(std::string("locale-") + Tag);
}
TEST(NumberFormat, TextSectionsAsPeersShow) {
  CheckConstruct("text");
}

TEST(NumberFormat, SectionColoursAreCarried) {
  struct {
    const char* Code;
    double Value;
    bool HasColor;
    uint32_t Color;
  } const Rows[] = {
      {"0.00;[Red]-0.00", -1, true, 0x0000FF},
      {"0.00;[Red]-0.00", 1, false, 0},
      {"[Blue]0", 1, true, 0xFF0000},
      {"[Color10]0", 1, true, 0x008000},
      {"[Color57]0", 1, false, 0},  // out of the palette: rejected, General
  };
  for (const auto& R : Rows) {
    TShownText Out;
    TNumberFormat(R.Code).RenderNumber(R.Value, false, Out);
    EXPECT_EQ(Out.HasColor, R.HasColor) << R.Code;
    if (R.HasColor) {
      EXPECT_EQ(Out.Color, R.Color) << R.Code;
    }
  }
}

TEST(NumberFormat, UnreadableCodesRenderAsGeneral) {
  for (const char* Code : {"\"open", "0;0;0;@;0", "[Purple]0", "0\\", "[>x]0", "[h"}) {
    TNumberFormat F(Code);
    EXPECT_FALSE(F.Parsed()) << Code;
    TShownText Out;
    F.RenderNumber(1234.5, false, Out);
    EXPECT_EQ(Out.Text, "1234.5") << Code;
    F.RenderText("abc", Out);
    EXPECT_EQ(Out.Text, "abc") << Code;
  }
}

TEST(NumberFormat, BuiltInIdsRenderTheirStandardCodes) {
  struct {
    int32_t Id;
    double Value;
    const char* Shown;
  } const Rows[] = {
      {0, 0.5, "0.5"},
      {3, 1234567, "1,234,567"},
      {4, -1234.5, "-1,234.50"},
      {7, -1234.5, "($1,234.50)"},
      {9, 0.256, "26%"},
      {11, 12345, "1.23E+04"},
      {12, 1.5, "1 1/2"},
      {14, 45000, "3/15/2023"},
      {18, 0.5, "12:00 PM"},
      {22, 45000.5, "3/15/2023 12:00"},
      {37, -5, "(5)"},
      {43, 0, " -   "},
      {46, 1.25, "30:00:00"},
      {47, 0.0123, "17:42.7"},
      {48, 12345, "12.3E+3"},
      {49, 5, "5"},
      {30, 5, "5"},  // an id the standard lists no code for
  };
  for (const auto& R : Rows) {
    TShownText Out;
    TNumberFormat(BuiltInFormatCode(R.Id)).RenderNumber(R.Value, false, Out);
    EXPECT_EQ(Out.Text, R.Shown) << "id " << R.Id;
  }
}

// The loader asks the module which styles hold dates: date letters count
// only outside quotes, escapes and brackets other than elapsed times.
TEST(NumberFormat, DateCodesAreToldFromNumberCodes) {
  for (const char* Code : {"yyyy-mm-dd", "[h]:mm", "[ss]", "h", "m/d/yyyy h:mm", "[$-407]mmmm",
                           "0;[Red]dd", "mm:ss.0"})
    EXPECT_TRUE(IsDateFormatCode(Code)) << Code;
  for (const char* Code : {"General", "0.00", "\"day\" 0", "\\d0", "[Red]0", "#,##0_);(#,##0)",
                           "0.00E+00", "@", "\"unclosed"})
    EXPECT_FALSE(IsDateFormatCode(Code)) << Code;
  std::string Out;
  ASSERT_TRUE(FormatSerialDate(45000.75, false, Out));
  EXPECT_EQ(Out, "2023-03-15 18:00");
  ASSERT_TRUE(FormatSerialDate(0, true, Out));
  EXPECT_EQ(Out, "1904-01-01");
}

TEST(NumberFormat, Date1904CountsFrom1904) {
  TShownText Out;
  TNumberFormat("yyyy-mm-dd").RenderNumber(0, true, Out);
  EXPECT_EQ(Out.Text, "1904-01-01");
  // Outside years 1 to 9999 a date shows as General.
  TNumberFormat("yyyy-mm-dd").RenderNumber(3e6, false, Out);
  EXPECT_EQ(Out.Text, "3000000");
}

}  // namespace kv

namespace kv {

// The loaded workbook shows each cell through its own style's format, beside
// the unchanged stored text; an edited cell keeps its style.
TEST(ShownCells, LoadedCellsRenderThroughTheirStyles) {
  TXlsxWorkbook Book;
  Book.LoadFromFile(std::string(KV_FIXTURES_DIR) + "/numfmt/numfmt.xlsx");
  const TXlsxSheet& S = Book.Sheet(0);
  ASSERT_EQ(S.RowCount(), static_cast<int32_t>(Cases().size()) + 1);
  TShownText Out;
  for (int32_t R = 1; R < S.RowCount(); ++R) {
    const TCase& C = Cases()[static_cast<size_t>(R - 1)];
    S.ShownCell(R, 2, Out);
    EXPECT_EQ(Out.Text, Render(C.Code, C.Value)) << C.Code << " on " << C.Value;
    EXPECT_EQ(Out.IsNumber, C.Value.rfind("text:", 0) != 0) << C.Code;
  }
  // Stored texts are as before: the number as written, dates as year-month-day.
  EXPECT_EQ(S.Cell(2, 2), "1");
  S.ShownCell(0, 0, Out);
  EXPECT_EQ(Out.Text, "construct");
  EXPECT_FALSE(Out.IsNumber);
  S.ShownCell(S.RowCount(), 0, Out);
  EXPECT_EQ(Out.Text, "");

  // Row 24 holds 1.005 under "0.00": an edit keeps the style.
  ASSERT_EQ(Cases()[22].Code, "0.00");
  EXPECT_EQ(S.ShownCellKept(23, 2).Text, "1.01");
  EXPECT_TRUE(S.ShownCellKept(23, 2).IsNumber);
  Book.SetCellValue(0, 23, 2, "2.5");
  Book.SetCellValue(0, 24, 2, "n/a");
  const TXlsxSheet& Edited = Book.Sheet(0);
  Edited.ShownCell(23, 2, Out);
  EXPECT_EQ(Out.Text, "2.50");
  EXPECT_EQ(Edited.ShownCellKept(23, 2).Text, "2.50");  // rendered anew after the edit
  EXPECT_TRUE(Out.IsNumber);
  Edited.ShownCell(24, 2, Out);
  EXPECT_EQ(Out.Text, "n/a");
  EXPECT_FALSE(Out.IsNumber);
  const int32_t Beyond = S.RowCount() + 3;
  Book.SetCellValue(0, Beyond, 5, "7.25");
  Book.Sheet(0).ShownCell(Beyond, 5, Out);
  EXPECT_EQ(Out.Text, "7.25");
}

}  // namespace kv

namespace kv {

// The loader's short cut for General must agree with General itself.
TEST(ShownCells, GeneralShortCutAgreesWithGeneral) {
  for (const char* Stored : {"0", "-0", "12", "-3.25", "0.1", "1234567.891", "0.000000001",
                             "0.0000000001", "123456789012345", "1234567890123456", "1.50", "01",
                             "1e5", "0.30000000000000004", "-0.5", "1."}) {
    const std::string Book = test::MakeBook({{"S", std::string("<row r=\"1\"><c r=\"A1\"><v>") +
                                                       Stored + "</v></c></row>"}})
                                 .Bytes();
    TXlsxWorkbook B;
    B.LoadFromBytes(Book, "b.xlsx");
    TShownText Out;
    B.Sheet(0).ShownCell(0, 0, Out);
    EXPECT_EQ(Out.Text, FormatGeneralNumber(std::strtod(Stored, nullptr))) << Stored;
  }
}

// The 15 digits worked out in integers are the ones the C++ library prints:
// ties between two 15-digit decimals (exact in binary) go to the even digit,
// a carry reaches the next power of ten, and values outside the integer
// range still answer.
TEST(NumberFormat, FifteenDigitsAreThePrintedOnes) {
  auto Check = [](double V) {
    if (V == 0) return;
    char Buf[40];
    const auto R = std::to_chars(Buf, Buf + sizeof Buf - 1, V, std::chars_format::scientific, 14);
    *R.ptr = 0;
    std::string Mantissa(Buf, std::strchr(Buf, 'e'));
    Mantissa.erase(1, 1);  // the point
    uint64_t Digits = 0;
    int Exp10 = 0;
    SignificantDigits15(V, Digits, Exp10);
    EXPECT_EQ(std::to_string(Digits), Mantissa) << Buf;
    EXPECT_EQ(Exp10, std::atoi(std::strchr(Buf, 'e') + 1) - 14) << Buf;
  };
  for (double V : {1234567890123.125, 1234567890123.375, 123456789012345.5, 123456789012346.5,
                   999999999999999.5, 9.999999999999995e-5, 0.30000000000000004, 2.675, 1e-8,
                   9.99999999999999e-9, 1e15, 5e-324, 1.7976931348623157e308, 0.1, 1.0})
    for (double W : {std::nextafter(V, 0.0), V, std::nextafter(V, 1e308)}) Check(W);
  std::mt19937_64 Random(15);
  for (int I = 0; I < 20000; ++I) {
    Check(std::ldexp(1 + double(Random() >> 11) / 9007199254740992.0, int(Random() % 120) - 60));
    Check(double(Random() % 100000000) / std::pow(10.0, double(Random() % 12)));  // k / 10^n
    Check(
        std::ldexp(double(Random() >> (11 + Random() % 12)), -int(Random() % 14)));  // binary ties
    Check(double(Random() % 100000) / 100 * (double(Random() % 100000) / 100));
  }
}

}  // namespace kv

namespace kv {

// Painting after each of many edits that grow the sheet keeps the shown
// texts within the workbook's memory budget: the kept texts are not counted
// again for every growth.
TEST(ShownCells, KeptTextsAreNotRecountedOnEveryGrowth) {
  TXlsxWorkbook Book;
  Book.LoadFromFile(std::string(KV_FIXTURES_DIR) + "/numfmt/numfmt.xlsx");
  const size_t Before = Book.Sheet(0).Data->TextBytes();
  for (int32_t R = 0; R < 200; ++R) {
    Book.SetCellValue(0, 200 + R, 199, "1");
    EXPECT_EQ(Book.Sheet(0).ShownCellKept(200 + R, 199).Text, "1");
  }
  // 400 x 200 cells: four tables of 4 bytes and the kept texts' 8, once.
  EXPECT_LT(Book.Sheet(0).Data->TextBytes() - Before, size_t{400} * 200 * 24 * 2);
}

}  // namespace kv
