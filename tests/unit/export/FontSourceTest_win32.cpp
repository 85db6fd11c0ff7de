#include <gtest/gtest.h>

#include "base/Error.h"
#include "export/FontSource.h"
#include "export/TrueType.h"

namespace kv {

// GDI gives the installed fonts' files: the text's font reads as a TrueType
// font even when its face is not installed (as GDI draws it, substituted),
// and an installed font covers CJK (the test machines have one).
TEST(GdiFontSource, FacesReadAsTrueTypeFonts) {
  std::string Bytes;
  int Face = -1;
  auto Source = MakeSystemFontSource("No Such Face Here");
  ASSERT_TRUE(Source->FontData(0, Bytes, Face));
  EXPECT_NE(TTrueTypeFont(Bytes, Face).GlyphOf(U'A'), 0);
  int Cjk = 0;
  for (int I = 1; !Cjk && Source->FontData(I, Bytes, Face); ++I) try {
      if (!Bytes.empty()) Cjk += TTrueTypeFont(Bytes, Face).GlyphOf(U'\u4E2D') != 0;
    } catch (const TKvError&) {  // a font with CFF outlines: not one the PDF embeds
    }
  EXPECT_EQ(Cjk, 1);
}

}  // namespace kv
