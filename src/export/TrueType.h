// TrueType fonts (glyf outlines; a face of a .ttc collection too) as the PDF
// export embeds them: the character map, advance widths and the metrics a
// font descriptor gives, and a subset that keeps only the glyphs used.
//
// Every read is bounds-checked: a damaged or hostile font raises TKvError
// ("The font file is damaged or not a TrueType font.") and never reads
// outside its bytes. Fonts with CFF outlines are not TrueType fonts here.
#ifndef KV_EXPORT_TRUETYPE_H
#define KV_EXPORT_TRUETYPE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TTrueTypeFont {
 public:
  // Reads the tables of face Face (0 unless Bytes is a collection) from
  // Bytes, which the font keeps. Raises: TKvError as above, and when a
  // collection has no face Face.
  TTrueTypeFont(std::string Bytes, int Face = 0);

  // The glyph of a Unicode character, 0 when the font has none.
  uint16_t GlyphOf(char32_t Ch) const;
  // Advance width in font units; glyphs past the metrics take the last one.
  int Advance(uint16_t Glyph) const;
  int UnitsPerEm() const { return FUnitsPerEm; }
  int GlyphCount() const { return FGlyphCount; }
  int Ascent() const { return FAscent; }
  int Descent() const { return FDescent; }
  // xMin yMin xMax yMax of all glyphs, in font units.
  const int* BoundingBox() const { return FBox; }
  // The PostScript name (name ID 6) reduced to the letters, digits, '-' and
  // '_' a PDF name may carry plainly; "Font" when there is none.
  const std::string& PostScriptName() const { return FPostScriptName; }
  // The outline bytes of Glyph (empty for a glyph without outline).
  std::string_view GlyphData(uint16_t Glyph) const;
  // The glyphs a composite glyph is made of, in order; empty for others.
  // Raises: TKvError when the glyph's components are damaged.
  std::vector<uint16_t> Components(uint16_t Glyph) const;

  // Frees the font's bytes, keeping its character map: GlyphOf still
  // answers, everything else raises TKvError. For fonts only asked whether
  // they have a character.
  void ReleaseBytes();

  // A TrueType file holding the glyphs Keep (old glyph numbers; Keep[0]
  // must be 0, the missing glyph; a later 0 is an empty glyph, without
  // outline or advance) as glyphs 0, 1, 2... in that order, with composite
  // glyphs' components renumbered. Requires: every component of a
  // kept glyph is kept too. Raises: TKvError when it is not.
  std::string Subset(const std::vector<uint16_t>& Keep) const;

 private:
  struct TTable {
    uint32_t Offset = 0;
    uint32_t Length = 0;
    bool Present = false;
  };
  TTable Table(const char* Tag) const;
  std::string_view TableBytes(const char* Tag) const;
  void ReadDirectory(uint32_t At);
  void ReadHeaders();
  void ReadCmap();
  void ReadCmapFormat4(uint32_t At);
  void ReadCmapFormat12(uint32_t At);
  void ReadName();

  std::string FBytes;
  std::vector<std::pair<std::string, TTable>> FTables;
  int FUnitsPerEm = 1000;
  int FGlyphCount = 0;
  int FLongLoca = 0;
  int FMetricCount = 0;
  int FAscent = 0;
  int FDescent = 0;
  int FBox[4] = {0, 0, 0, 0};
  std::string FPostScriptName = "Font";
  // Character ranges [First, Last] to glyphs: Delta added (format 4 without
  // a glyph array, format 12) or looked up in FGlyphArray from Index.
  struct TRange {
    char32_t First, Last;
    int32_t Delta;
    int32_t Index;  // -1: Delta applies
  };
  std::vector<TRange> FRanges;
  std::vector<uint16_t> FGlyphArray;
};

// The face of the collection Collection whose head table is Head (as a
// font's own data gives it); 0 when none is, or Collection is no collection.
// Raises nothing.
int CollectionFaceWithHead(std::string_view Collection, std::string_view Head);

}  // namespace kv

#endif
