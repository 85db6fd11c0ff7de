#include <gtest/gtest.h>

#include <set>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "export/PdfFonts.h"
#include "export/TrueType.h"
#include "export/XlsxExporter.h"
#include "support/TempDir.h"
#include "SheetBuilder.h"

namespace kv {

namespace {

// Debian's DejaVu Sans and WenQuanYi Zen Hei (a collection), as the tests'
// fonts; tests that need them are skipped where they are not installed.
const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kZenHei = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";

#define REQUIRE_FONT(Path) \
  if (!FileExists(Path)) GTEST_SKIP() << Path << " is not installed"

// The glyphs of Text's characters and their components, 0 first, as the PDF
// font set keeps them.
std::vector<uint16_t> KeptFor(const TTrueTypeFont& Font, std::u32string_view Text) {
  std::vector<uint16_t> Keep = {0};
  const auto Add = [&](auto& Self, uint16_t G) -> void {
    if (std::find(Keep.begin(), Keep.end(), G) != Keep.end()) return;
    Keep.push_back(G);
    for (uint16_t Part : Font.Components(G)) Self(Self, Part);
  };
  for (char32_t C : Text) Add(Add, Font.GlyphOf(C));
  return Keep;
}

class TListSource : public IFontSource {
 public:
  explicit TListSource(std::vector<std::string> Files) : FFiles(std::move(Files)) {}
  bool FontData(int Index, std::string& Bytes, int& Face) override {
    Face = 0;
    Bytes.clear();
    if (size_t(Index) >= FFiles.size()) return false;
    if (FileExists(FFiles[size_t(Index)])) Bytes = ReadWholeFile(FFiles[size_t(Index)]);
    return true;
  }

 private:
  std::vector<std::string> FFiles;
};

}  // namespace

// A subset read back has the kept glyphs' outlines and advances, in order;
// composite glyphs keep their components, renumbered; a 0 after the first
// is an empty glyph.
TEST(TrueTypeSubset, KeptGlyphsReadBackAlike) {
  REQUIRE_FONT(kDejaVu);
  const TTrueTypeFont Font(ReadWholeFile(kDejaVu));
  std::vector<uint16_t> Keep = KeptFor(Font, U"Wé\u0179\u03A9\u0416?");
  Keep.insert(Keep.begin() + 2, 0);
  const TTrueTypeFont Sub(Font.Subset(Keep));
  ASSERT_EQ(Sub.GlyphCount(), int(Keep.size()));
  EXPECT_EQ(Sub.UnitsPerEm(), Font.UnitsPerEm());
  int Composites = 0;
  for (size_t K = 0; K < Keep.size(); ++K) {
    const uint16_t New = uint16_t(K);
    if (K == 2) {
      EXPECT_EQ(Sub.Advance(New), 0);
      EXPECT_TRUE(Sub.GlyphData(New).empty());
      continue;
    }
    EXPECT_EQ(Sub.Advance(New), Font.Advance(Keep[K])) << K;
    const std::vector<uint16_t> Parts = Font.Components(Keep[K]);
    std::vector<uint16_t> Back;
    for (uint16_t P : Sub.Components(New)) Back.push_back(Keep[P]);
    EXPECT_EQ(Back, Parts) << K;
    if (Parts.empty())
      EXPECT_EQ(Sub.GlyphData(New), Font.GlyphData(Keep[K])) << K;
    else
      ++Composites;
  }
  EXPECT_GE(Composites, 1);  // é and Ź are built from parts in this font
  // Leaving a component out is refused.
  std::vector<uint16_t> Partial = {0, Font.GlyphOf(U'\u0179')};
  ASSERT_FALSE(Font.Components(Partial[1]).empty());
  EXPECT_THROW(Font.Subset(Partial), TKvError);
}

TEST(TrueTypeFont, CollectionFacesAndMissingCharacters) {
  REQUIRE_FONT(kZenHei);
  const std::string Bytes = ReadWholeFile(kZenHei);
  for (int Face : {0, 1}) {
    const TTrueTypeFont Font(Bytes, Face);
    EXPECT_NE(Font.GlyphOf(U'\u4E2D'), 0) << Face;
    EXPECT_EQ(Font.GlyphOf(U'\u0378'), 0) << Face;  // unassigned
  }
  EXPECT_THROW(TTrueTypeFont(Bytes, 9), TKvError);
  // GDI gives a collection face's own head table; the face it belongs to is found by it.
  const size_t Dir1 = size_t(uint8_t(Bytes[16])) << 24 | size_t(uint8_t(Bytes[17])) << 16 |
                      size_t(uint8_t(Bytes[18])) << 8 | uint8_t(Bytes[19]);
  const auto Be32 = [&](size_t At) {
    return size_t(uint8_t(Bytes[At])) << 24 | size_t(uint8_t(Bytes[At + 1])) << 16 |
           size_t(uint8_t(Bytes[At + 2])) << 8 | uint8_t(Bytes[At + 3]);
  };
  bool Found = false;
  for (size_t Rec = Dir1 + 12; Rec < Dir1 + 12 + 16 * 30 && !Found; Rec += 16)
    if (Bytes.compare(Rec, 4, "head") == 0) {
      Found = true;
      const std::string Head = Bytes.substr(Be32(Rec + 8), Be32(Rec + 12));
      EXPECT_EQ(CollectionFaceWithHead(Bytes, Head), 1);
      EXPECT_EQ(CollectionFaceWithHead(Bytes, "other"), 0);
      EXPECT_EQ(CollectionFaceWithHead("ttcf", Head), 0);
    }
  EXPECT_TRUE(Found);
}

// A damaged font raises the one error, wherever it is cut or spoiled.
TEST(TrueTypeFont, DamagedFontsRaiseTheirError) {
  REQUIRE_FONT(kDejaVu);
  const TTrueTypeFont Font(ReadWholeFile(kDejaVu));
  const std::string Good = Font.Subset(KeptFor(Font, U"Aé"));
  EXPECT_THROW(TTrueTypeFont("OTTO" + Good.substr(4)), TKvError);
  EXPECT_THROW(TTrueTypeFont(std::string("ttcf\0\1\0\0\0\0\0\1\0\0\0\x10", 16)), TKvError);
  for (size_t Cut = 0; Cut < Good.size(); Cut += 7) {
    try {
      const TTrueTypeFont Short(Good.substr(0, Cut));
      for (int G = 0; G < Short.GlyphCount(); ++G) Short.Subset({0, uint16_t(G)});
    } catch (const TKvError&) {
    }
  }
  for (size_t At = 0; At < Good.size(); At += 3) {
    std::string Bad = Good;
    Bad[At] = char(~Bad[At]);
    try {
      const TTrueTypeFont Spoiled(Bad);
      for (int G = 0; G < Spoiled.GlyphCount(); ++G) Spoiled.Subset({0, uint16_t(G)});
    } catch (const TKvError&) {
    }
  }
}

// Characters take the first font that has them; one no font has is the
// first font's "?" and counted; a cut ends in the ellipsis, within Width.
TEST(PdfFontSet, FallbackOrderAndCuts) {
  REQUIRE_FONT(kDejaVu);
  REQUIRE_FONT(kZenHei);
  TListSource Source({kDejaVu, "/no/such/font.ttf", kZenHei});
  TPdfFontSet Set(&Source);
  ASSERT_TRUE(Set.Embeds());
  std::vector<TPdfGlyph> Out;
  bool Cut = false;
  int Unprintable = 0;
  Set.Fit("a\xE4\xB8\xAD\xCD\xB8", 1000, 7, Out, Cut, Unprintable);  // a, U+4E2D, U+0378
  ASSERT_EQ(Out.size(), 3u);
  EXPECT_EQ(Out[0].Font, 0);
  EXPECT_EQ(Out[1].Font, 2);
  EXPECT_EQ(Out[2].Font, 0);
  EXPECT_TRUE(Out[2].Missing);
  EXPECT_EQ(Unprintable, 1);
  EXPECT_FALSE(Cut);

  // DejaVu Sans's W is 989 thousandths: 10 W and the ellipsis (1000) in 77 points at 7.
  Set.Fit(std::string(40, 'W'), 77, 7, Out, Cut, Unprintable);
  EXPECT_TRUE(Cut);
  ASSERT_EQ(Out.size(), 11u);
  EXPECT_EQ(Out[0].Width, 989);
  EXPECT_EQ(Out.back().Width, 1000);
  EXPECT_EQ(Unprintable, 1);

  // Codes are one byte, the CID's low byte in the font of its group (CID /
  // 256); ( ) \ and CR (which a reader would take for LF) are escaped.
  std::string Shown;
  int Current = -1;
  Set.AppendShow(Shown,
                 {{0, 0x0028, 0},
                  {0, 0x005C, 0},
                  {0, 0x010D, 0},
                  {0, 0x0129, 0},
                  {2, 0x0000, 0},
                  {2, 0x0A41, 0}},
                 "7", Current);
  EXPECT_EQ(Shown, std::string("/F2 7 Tf\n(\\(\\\\) Tj\n/F2.1 7 Tf\n(\\r\\)) Tj\n/F4 7 Tf\n(\0) "
                               "Tj\n/F4.10 7 Tf\n(A) Tj\n",
                               75));
  EXPECT_EQ(Current, 2 + 65536 * 10);

  // Printable ASCII keeps its own codes in the first font; other glyphs
  // (and components) fill the codes around them, then the next groups.
  std::string Many;
  for (char32_t C = 0x100; C < 0x180; ++C) Many += CodePointToUtf8(C);
  for (char32_t C = 0x410; C < 0x450; ++C) Many += CodePointToUtf8(C);
  Set.Fit("Az~" + Many, 1e6, 7, Out, Cut, Unprintable);
  ASSERT_EQ(Out.size(), 3 + 192u);
  EXPECT_EQ(Out[0].Cid, 'A');
  EXPECT_EQ(Out[2].Cid, '~');
  std::set<uint16_t> Cids;
  for (size_t K = 3; K < Out.size(); ++K) {
    EXPECT_EQ(Out[K].Font, 0);
    EXPECT_TRUE((Out[K].Cid < 0x20 || Out[K].Cid > 0x7E) && Cids.insert(Out[K].Cid).second);
  }
  EXPECT_GT(*Cids.rbegin(), 0x100);

  TListSource None({"/no/such/font.ttf"});
  EXPECT_FALSE(TPdfFontSet(&None).Embeds());
  EXPECT_FALSE(TPdfFontSet(nullptr).Embeds());
}

// Text costs one byte a character as in Helvetica: the same uncut pages
// grow by the font's objects alone (7.5 KB here, mostly the subset), where two
// bytes a character would add more than 28,000.
TEST(PdfFontSet, TextCostsWhatHelveticaCosts) {
  REQUIRE_FONT(kDejaVu);
  test::TTempDir Dir;
  const TXlsxSheet S = test::MakeNumberedSheet("S", 400, 10);
  TListSource Source({kDejaVu});
  ExportPdfWithFonts(TSheetList{&S}, Dir.File("font.pdf"), &Source);
  ExportPdfWithFonts(TSheetList{&S}, Dir.File("helvetica.pdf"), nullptr);
  const std::string Font = ReadWholeFile(Dir.File("font.pdf"));
  EXPECT_EQ(Font.find("/Helvetica"), std::string::npos);
  EXPECT_NE(Font.find("(r400c10) Tj"), std::string::npos);  // uncut
  EXPECT_LT(Font.size(), ReadWholeFile(Dir.File("helvetica.pdf")).size() + 12000);
}

}  // namespace kv
