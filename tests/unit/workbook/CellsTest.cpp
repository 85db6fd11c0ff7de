// Cell references and number text: the column letters, the reference
// parser's tolerance and limits, the invariant number notation and the
// "_xHHHH_" character escapes.
#include <gtest/gtest.h>

#include "workbook/CellNotation.h"
#include "workbook/CharEscapes.h"

namespace kv {

TEST(CellRefs, LettersAndIndexesAreInverse) {
  for (int32_t I = 0; I <= 16383; ++I) ASSERT_EQ(ColumnLettersToIndex(ColumnIndexToLetters(I)), I);
  EXPECT_EQ(ColumnIndexToLetters(0), "A");
  EXPECT_EQ(ColumnIndexToLetters(701), "ZZ");
  EXPECT_EQ(ColumnIndexToLetters(702), "AAA");
  EXPECT_EQ(ColumnIndexToLetters(-1), "");
  EXPECT_EQ(ColumnLettersToIndex("aa"), 26);
  EXPECT_EQ(ColumnLettersToIndex("XFD"), 16383);
  EXPECT_EQ(ColumnLettersToIndex(""), -1);
}

TEST(CellRefs, ParseAcceptsLettersAndDigitsOnly) {
  int32_t C = 9, R = 9;
  EXPECT_TRUE(ParseCellRef("AA10", C, R));
  EXPECT_EQ(C, 26);
  EXPECT_EQ(R, 9);
  EXPECT_TRUE(ParseCellRef("b3", C, R));
  EXPECT_EQ(C, 1);
  EXPECT_EQ(R, 2);
  EXPECT_FALSE(ParseCellRef("A", C, R));
  EXPECT_EQ(C, 0);
  EXPECT_EQ(R, 0);
  EXPECT_FALSE(ParseCellRef("12", C, R));
  EXPECT_TRUE(ParseCellRef("A0", C, R));
  EXPECT_EQ(R, -1);
  // Letters and digits in any order, each in their own part.
  EXPECT_TRUE(ParseCellRef("1B", C, R));
  EXPECT_EQ(C, 1);
  EXPECT_EQ(R, 0);
  EXPECT_TRUE(ParseCellRef("AB12C", C, R));
  EXPECT_EQ(C, ColumnLettersToIndex("ABC"));
  EXPECT_EQ(R, 11);
  EXPECT_TRUE(ParseCellRef("C007", C, R));
  EXPECT_EQ(R, 6);
  EXPECT_TRUE(ParseCellRef("A-", C, R));  // a number part that is no integer reads as 1
  EXPECT_EQ(R, 0);
  // Hostile sizes: a row past 32 bits is unusable rather than row 1, and a
  // column past 32 bits stays far right instead of overflowing.
  EXPECT_FALSE(ParseCellRef("A99999999999", C, R));
  EXPECT_TRUE(ParseCellRef("ZZZZZZZZZZZZ1", C, R));
  EXPECT_GT(C, 16383);
  EXPECT_EQ(R, 0);
}

TEST(NumberText, InvariantNotationOnly) {
  double V = 0;
  EXPECT_TRUE(TryParseNumberText(" 42 ", V));
  EXPECT_EQ(V, 42);
  EXPECT_TRUE(TryParseNumberText(".5", V));
  EXPECT_EQ(V, 0.5);
  EXPECT_TRUE(TryParseNumberText("-2", V));
  EXPECT_TRUE(TryParseNumberText("1e3", V));
  EXPECT_EQ(V, 1000);
  for (const char* Bad :
       {"", "   ", "1,5", "1,000", "NaN", "inf", "+INF", "-inf", "1e999", "e5", "0x10", "1 2"}) {
    EXPECT_FALSE(TryParseNumberText(Bad, V)) << Bad;
  }
}

TEST(NumberText, ShortestTextOfFifteenDigits) {
  EXPECT_EQ(FormatNumberText(1.5), "1.5");
  EXPECT_EQ(FormatNumberText(100), "100");
  EXPECT_EQ(FormatNumberText(1e20), "1E20");
  EXPECT_EQ(FormatNumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatNumberText(0.0001), "0.0001");
  EXPECT_EQ(FormatNumberText(0.00001), "1E-5");
  EXPECT_EQ(FormatNumberText(0), "0");
  EXPECT_EQ(FormatNumberText(-12.5), "-12.5");
  EXPECT_EQ(FormatNumberText(123456789012345.0), "123456789012345");
  EXPECT_EQ(FormatNumberText(1234567890123456.0), "1.23456789012346E15");
}

TEST(CharEscapes, WhatEncodingWritesDecodingReadsBack) {
  const struct {
    std::string Text;
    bool InAttribute;
    std::string Encoded, Decoded;  // Decoded empty: the text itself
  } Cases[] = {
      {"First_x0020_Name", false, "First_x005F_x0020_Name", ""},
      {"_x12_ _X0041_ _x00zz_ caf\xC3\xA9", false, "_x12_ _X0041_ _x00zz_ caf\xC3\xA9", ""},
      {std::string("bell\x07 nul\0", 10), false, "bell_x0007_ nul_x0000_", ""},
      {"a\tb\nc\rd", false, "a\tb\nc\rd", ""},
      {"a\tb\nc\rd", true, "a_x0009_b_x000A_c_x000D_d", ""},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", true, "_xFFFE__xFFFF_", ""},
      // Surrogates encoded on their own pair up when read back, or become U+FFFD.
      {"\xED\xA0\xBD\xED\xB8\x80 \xED\xA0\x80", false, "_xD83D__xDE00_ _xD800_",
       "\xF0\x9F\x98\x80 \xEF\xBF\xBD"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(EncodeCharEscapes(C.Text, C.InAttribute), C.Encoded) << C.Text;
    EXPECT_EQ(DecodeCharEscapes(C.Encoded), C.Decoded.empty() ? C.Text : C.Decoded) << C.Encoded;
  }
}

}  // namespace kv
