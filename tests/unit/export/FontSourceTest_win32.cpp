#include <gtest/gtest.h>

#include "export/FontSource.h"
#include "export/TrueType.h"

namespace kv {

// GDI gives the installed fonts' files: the default face reads as a
// TrueType font, a face that is not installed gives no bytes (GDI would
// substitute another), and some installed font covers CJK where one is.
TEST(GdiFontSource, FacesReadAsTrueTypeFonts) {
  std::string Bytes;
  int Face = -1;
  auto Source = MakeSystemFontSource("No Such Face Here");
  ASSERT_TRUE(Source->FontData(0, Bytes, Face));
  EXPECT_TRUE(Bytes.empty());
  int Readable = 0, Cjk = 0;
  for (int I = 1; Source->FontData(I, Bytes, Face); ++I) {
    if (Bytes.empty()) continue;
    const TTrueTypeFont Font(Bytes, Face);
    ++Readable;
    Cjk += Font.GlyphOf(U'\u4E2D') != 0;
  }
  EXPECT_GE(Readable, 1);
  RecordProperty("cjk_faces", Cjk);
}

}  // namespace kv
