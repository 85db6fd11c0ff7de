// The fonts a PDF's text is set in: TrueType fonts from a font source,
// embedded as subsets (CID fonts with the font's own widths and a ToUnicode
// map, so that the text can be searched and copied), one font per character
// tried in the source's order. A character no font has prints as the first
// font's "?" and is counted. Glyph numbers (CIDs) are given out in the order
// of first use, so that a page's text can be written before the subset is
// known; the fonts' objects follow the last page.
//
// Text costs one byte a character: each 256 CIDs of a font are a group,
// shown through its own composite font whose one-byte encoding maps codes
// 00-FF to the group's CIDs; the groups of a font share its CID font and
// embedded subset. In the first font, printable ASCII characters keep their
// own codes in group 0, so that plain text reads as itself.
#ifndef KV_EXPORT_PDFFONTS_H
#define KV_EXPORT_PDFFONTS_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/FontSource.h"
#include "export/TrueType.h"

namespace kv {

// One glyph to show: Font indexes the set's fonts, Cid is its number in
// that font's subset (its group Cid / 256, its code Cid % 256), Width its
// advance in thousandths of an em.
struct TPdfGlyph {
  uint16_t Font = 0;
  uint16_t Cid = 0;
  uint16_t Width = 0;
  bool Missing = false;  // no font has the character: shown as "?"
  bool Known = false;    // (of the set's table of characters looked up)
};

class TPdfFontSet {
 public:
  // Source may be null: nothing is embedded then. Raises nothing.
  explicit TPdfFontSet(IFontSource* Source);
  ~TPdfFontSet();

  // Whether the first font could be read; when not, the export sets its
  // text in Helvetica as before.
  bool Embeds() const { return FEmbeds; }

  // The glyphs of Text (UTF-8; bytes that are not UTF-8 as "?"), whole when
  // they fit in Width points at FontSize, else the longest start that fits
  // with "…" after it. Cut tells whether it was cut; Unprintable grows by the
  // characters shown as "?" for want of a glyph.
  void Fit(std::string_view Text, double Width, double FontSize, std::vector<TPdfGlyph>& Out,
           bool& Cut, int& Unprintable);

  // Appends "/Fn size Tf" (or "/Fn.g size Tf" for group g > 0) where the
  // font or group changes (CurrentFont: Font + 65536 * group last set in
  // this text object, -1 at its start) and the glyphs as strings of one-byte
  // codes shown with Tj.
  void AppendShow(std::string& Out, const std::vector<TPdfGlyph>& Glyphs, std::string_view Size,
                  int& CurrentFont) const;

  // The page resources' body naming each font used, whose objects will be
  // numbered from FirstObject on by WriteFonts.
  std::string ResourcesBody(int FirstObject) const;
  // Adds the used fonts' objects through AddObject, which must number them
  // consecutively from FirstObject (as given to ResourcesBody). Raises:
  // TKvError from the subsetter for a damaged font.
  void WriteFonts(int FirstObject, const std::function<int(std::string)>& AddObject) const;

 private:
  struct TFont;
  TPdfGlyph Lookup(char32_t Ch);
  TPdfGlyph LookupFirst(char32_t Ch);
  TPdfGlyph Find(char32_t Ch);
  bool Load(size_t Index);
  void ReleaseUnused();
  TPdfGlyph Use(size_t FontIndex, uint16_t Glyph, char32_t Ch);
  int GroupCount() const;
  void WriteFont(const TFont& F, int Number, int FirstCMap,
                 const std::function<int(std::string)>& AddObject) const;

  IFontSource* FSource = nullptr;
  bool FEmbeds = false;
  bool FSourceEnded = false;
  std::vector<std::unique_ptr<TFont>> FFonts;
  std::vector<TPdfGlyph> FBmp;  // looked-up characters below U+10000
  std::unordered_map<char32_t, TPdfGlyph> FAstral;
};

}  // namespace kv

#endif
