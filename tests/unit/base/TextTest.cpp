#include <gtest/gtest.h>

#include "base/Paths.h"
#include "base/Text.h"

namespace kv {

TEST(Text, TrimRemovesControlCharactersAndBlanksOnly) {
  EXPECT_EQ(Trim(" \t\r\n\x01 a b \x1f "), "a b");
  EXPECT_EQ(Trim("\xC2\xA0x"), "\xC2\xA0x");  // no-break space is not trimmed
  EXPECT_TRUE(IsBlank(" \t "));
  EXPECT_FALSE(IsBlank(" x "));
}

TEST(Text, CaseFoldingTouchesAsciiLettersOnly) {
  EXPECT_EQ(AsciiUpper("abc\xC3\xA4z"), "ABC\xC3\xA4Z");
  EXPECT_TRUE(SameTextAscii("Sheet1", "SHEET1"));
  EXPECT_FALSE(SameTextAscii("\xC3\xA4", "\xC3\x84"));  // a-umlaut vs A-umlaut differ
  EXPECT_TRUE(StartsWithAscii("__kvgridfold_current__::x", "__KVGRIDFOLD_CURRENT__::"));
  EXPECT_EQ(ReplaceAllAscii("[pubdir]a[PUBDIR]", "[PubDir]", "C:\\"), "C:\\aC:\\");
  EXPECT_EQ(FindAscii("abcABC", "CA"), 2u);
}

TEST(Text, IntegersParseStrictly) {
  EXPECT_EQ(TryParseInt32("-42"), -42);
  EXPECT_EQ(TryParseInt32("+7"), 7);
  EXPECT_FALSE(TryParseInt32(" 7"));
  EXPECT_FALSE(TryParseInt32("7a"));
  EXPECT_FALSE(TryParseInt32(""));
  EXPECT_FALSE(TryParseInt32("2147483648"));
  EXPECT_EQ(TryParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32Or("x", -1), -1);
}

TEST(Text, Utf8AndUtf16RoundTrip) {
  std::string S = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a e-acute euro emoji
  std::u16string W = Utf8ToUtf16(S);
  ASSERT_EQ(W.size(), 5u);
  EXPECT_EQ(W[3], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(W), S);
  EXPECT_EQ(Utf16Length(S), 5u);
  EXPECT_EQ(Utf16Prefix(S, 4), "a\xC3\xA9\xE2\x82\xAC");  // the pair is not split
  EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\uFFFD");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
}

TEST(Text, MalformedUtf8IsRepairedOneReplacementPerSequence) {
  const std::string R = "\xEF\xBF\xBD";
  EXPECT_EQ(RepairUtf8("caf\xE9 ok"), "caf" + R + " ok");  // a Latin-1 byte
  EXPECT_EQ(RepairUtf8("a\xE2\x82z"), "a" + R + "z");      // a cut sequence, once
  EXPECT_EQ(RepairUtf8("\xC0\x80\xED\xA0\x80\xF4\x90"), R + R + R + R + R + R + R);
  EXPECT_EQ(RepairUtf8("\xF0\x9F\x98"), R);
  const std::string Good = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBF" + R;
  EXPECT_EQ(RepairUtf8(Good), Good);
  // Text arriving in pieces: a sequence cut at the end waits for the rest.
  EXPECT_EQ(CompleteUtf8Prefix("ab\xF0\x9F\x98"), 2u);
  EXPECT_EQ(CompleteUtf8Prefix("ab\xE2"), 2u);
  EXPECT_EQ(CompleteUtf8Prefix("ab\xE2z"), 4u);
  EXPECT_EQ(CompleteUtf8Prefix("ab\x82"), 3u);
  EXPECT_EQ(CompleteUtf8Prefix(Good), Good.size());
  // A byte from 0x80 up anywhere, whatever word it falls in, makes text non-ASCII.
  const std::string Plain(70, 'a');
  EXPECT_TRUE(IsAscii(Plain));
  for (size_t At = 0; At < Plain.size(); ++At) {
    std::string One = Plain;
    One[At] = '\x80';
    EXPECT_FALSE(IsAscii(One)) << At;
    EXPECT_TRUE(IsAscii(std::string_view(One).substr(At + 1))) << At;
  }
}

TEST(Text, Windows1252MapsTheHighRange) {
  EXPECT_EQ(Windows1252ToUtf8("\x80\x9F\xE9"), "\xE2\x82\xAC\xC5\xB8\xC3\xA9");
  bool Lossless = false;
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x82\xAC\xC3\xA9", '?', &Lossless), "\x80\xE9");
  EXPECT_TRUE(Lossless);
  EXPECT_EQ(Utf8ToWindows1252("\xCE\xA9x", '?', &Lossless), "?x");  // Greek omega
  EXPECT_FALSE(Lossless);
  for (int B = 0; B < 256; ++B) {
    std::string One(1, static_cast<char>(B));
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(One)), One) << B;
  }
}

TEST(Paths, WindowsAndPosixPathsSplitTheSameWay) {
  EXPECT_EQ(ExtractFilePath("C:\\Pubs\\Course.pub"), "C:\\Pubs\\");
  EXPECT_EQ(ExtractFileName("C:\\Pubs\\Course.pub"), "Course.pub");
  EXPECT_EQ(ExtractFileExt("/tmp/a.b/Course"), "");
  EXPECT_EQ(ExtractFileExt("Course.kvGridfold.pub"), ".pub");
  EXPECT_EQ(ChangeFileExt("C:\\a\\b.pub", ".txt"), "C:\\a\\b.txt");
  EXPECT_EQ(ExtractFileName("C:Course.pub"), "Course.pub");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\Pubs"), "C:\\Pubs\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/pubs"), "/tmp/pubs/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/pubs/"), "/tmp/pubs/");
  EXPECT_TRUE(IsAbsolutePath("c:\\x"));
  EXPECT_TRUE(IsAbsolutePath("/x"));
  EXPECT_FALSE(IsAbsolutePath("x\\y"));
  EXPECT_TRUE(SamePath("C:\\PUBS\\a.pub", "c:\\pubs\\A.PUB"));
  EXPECT_EQ(RemoveDotSegments("/w/./a/../Book.xlsx"), "/w/Book.xlsx");
  EXPECT_EQ(RemoveDotSegments("C:\\w\\.\\sub\\..\\..\\..\\B.pub"), "C:\\B.pub");
  EXPECT_EQ(RemoveDotSegments("/w/sub/.."), "/w");
  EXPECT_EQ(RemoveDotSegments("/w/./"), "/w/");
  EXPECT_EQ(RemoveDotSegments("../a/./b"), "../a/b");
  EXPECT_EQ(RemoveDotSegments("/w//x.pub"), "/w//x.pub");  // nothing to resolve: unchanged
}

}  // namespace kv
