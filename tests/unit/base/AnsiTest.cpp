// The ANSI port must agree between the POSIX stand-in and CP_ACP under Wine
// (code page 1252 there): the host boundary and publication files depend on it.
#include <gtest/gtest.h>

#include "base/Ansi.h"

namespace kv {

TEST(Ansi, CodePage1252BothWays) {
  EXPECT_EQ(AnsiCodePage(), 1252u);
  EXPECT_EQ(AnsiToUtf8("Gr\xFC\xDF \x80"), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
  bool Lossless = false;
  EXPECT_EQ(Utf8ToAnsi("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", &Lossless), "Gr\xFC\xDF \x80");
  EXPECT_TRUE(Lossless);
}

TEST(Ansi, CharactersOutsideTheCodePageAreReported) {
  bool Lossless = true;
  std::string Bytes = Utf8ToAnsi("\xCE\xA3\xCE\xB5", &Lossless);  // Greek
  EXPECT_FALSE(Lossless);
  EXPECT_EQ(Bytes.size(), 2u);
  EXPECT_EQ(Utf8ToAnsi("", &Lossless), "");
  EXPECT_TRUE(Lossless);
}

}  // namespace kv
