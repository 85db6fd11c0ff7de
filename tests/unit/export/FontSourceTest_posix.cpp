#include <gtest/gtest.h>

#include "base/Files.h"
#include "export/FontSource.h"

namespace kv {

// The given file comes first; a name that is no file (the viewer's face
// name) gives the default, DejaVu Sans; the folders' other fonts follow.
TEST(FileFontSource, GivenFileThenDefaultThenTheFolders) {
  const std::string DejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  const std::string ZenHei = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";
  if (!FileExists(DejaVu) || !FileExists(ZenHei)) GTEST_SKIP() << "test fonts not installed";
  std::string Bytes;
  int Face = -1;
  ASSERT_TRUE(MakeSystemFontSource(ZenHei)->FontData(0, Bytes, Face));
  EXPECT_EQ(Bytes, ReadWholeFile(ZenHei));
  EXPECT_EQ(Face, 0);
  for (const char* Font : {"", "Segoe UI"}) {
    auto Source = MakeSystemFontSource(Font);
    ASSERT_TRUE(Source->FontData(0, Bytes, Face));
    EXPECT_EQ(Bytes, ReadWholeFile(DejaVu)) << Font;
    int Count = 1;
    bool SawZenHei = false;
    for (; Source->FontData(Count, Bytes, Face); ++Count)
      SawZenHei |= Bytes == ReadWholeFile(ZenHei);
    EXPECT_TRUE(SawZenHei) << Font;
  }
}

}  // namespace kv
