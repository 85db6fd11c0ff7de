#include "export/PdfFonts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Error.h"
#include "zip/ZlibData.h"

namespace kv {

struct TPdfFontSet::TFont {
  std::unique_ptr<TTrueTypeFont> Font;  // null: unreadable
  bool Released = false;                // only its character map is kept
  bool Seeded = false;                  // ASCII keeps its codes (first font)
  uint32_t NextFree = 1;                // the next CID given out in order
  std::vector<uint16_t> NewOf;          // old glyph -> CID, 0 not yet used
  std::vector<uint16_t> OldOf;          // CID -> old glyph, 0 an empty slot
  std::vector<char32_t> Text;           // CID -> the character it stands for
  std::vector<uint16_t> Widths;         // CID -> thousandths of an em
  bool Used() const { return OldOf.size() > 1; }
  int Groups() const { return int((OldOf.size() + 255) / 256); }
  // Makes CID Cid stand for Glyph (the character Ch, 0 for a component).
  void Place(uint32_t Cid, uint16_t Glyph, char32_t Ch) {
    if (Cid >= OldOf.size()) {
      OldOf.resize(Cid + 1, 0);
      Text.resize(Cid + 1, 0);
      Widths.resize(Cid + 1, 0);
    }
    OldOf[Cid] = Glyph;
    Text[Cid] = Ch;
    const long Width = Cid == 0 || Glyph != 0
                           ? std::lround(Font->Advance(Glyph) * 1000.0 / Font->UnitsPerEm())
                           : 0;  // an empty slot
    Widths[Cid] = uint16_t(std::min(Width, 0xFFFFL));
  }
};

namespace {

constexpr char32_t kEllipsis = 0x2026;
constexpr char32_t kInvalid = 0xFFFD;
// The printable ASCII characters, whose codes are their own in a seeded font.
constexpr char32_t kFirstAscii = 0x20;
constexpr char32_t kLastAscii = 0x7E;
constexpr const char* kIdentityInfo =
    "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";

// The code point at Text[At] (At moves past it); a byte that does not start
// a complete UTF-8 sequence gives kInvalid and moves one byte.
char32_t NextCodePoint(std::string_view Text, size_t& At) {
  const unsigned char B0 = static_cast<unsigned char>(Text[At++]);
  if (B0 < 0x80) return B0;
  const int Extra = B0 >= 0xF0 ? 3 : B0 >= 0xE0 ? 2 : B0 >= 0xC2 ? 1 : -1;
  if (Extra < 0 || B0 > 0xF4 || Text.size() - At < size_t(Extra)) return kInvalid;
  char32_t Ch = B0 & (0x3F >> Extra);
  for (int K = 0; K < Extra; ++K) {
    const unsigned char B = static_cast<unsigned char>(Text[At + size_t(K)]);
    if ((B & 0xC0) != 0x80) return kInvalid;
    Ch = (Ch << 6) | (B & 0x3F);
  }
  At += size_t(Extra);
  return Ch;
}

void AppendHex4(std::string& Out, uint32_t V) {
  char Buf[8];
  std::snprintf(Buf, sizeof Buf, "%04X", V & 0xFFFF);
  Out += Buf;
}

// The character as UTF-16BE hex, as a ToUnicode map gives it.
std::string Utf16Hex(char32_t Ch) {
  std::string Out;
  if (Ch >= 0x10000) {
    AppendHex4(Out, 0xD800 + ((Ch - 0x10000) >> 10));
    AppendHex4(Out, 0xDC00 + ((Ch - 0x10000) & 0x3FF));
  } else {
    AppendHex4(Out, Ch);
  }
  return Out;
}

std::string Stream(std::string_view Dict, std::string_view Data) {
  std::string Out =
      "<< " + std::string(Dict) + "/Length " + std::to_string(Data.size()) + " >>\nstream\n";
  Out += Data;
  Out += "\nendstream";
  return Out;
}

std::string Deflated(std::string_view Data) {
  std::string Out;
  if (!ZlibCompress(Data, 9, Out))
    throw TKvError("Not enough memory to compress a font for the PDF.");
  return Out;
}

// The one-byte codes of group Group (CIDs 256 * Group on) and the
// characters they stand for, where known.
std::string ToUnicodeMap(const std::vector<char32_t>& Text, int Group) {
  std::string Out =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n";
  std::vector<size_t> Known;
  for (size_t Cid = size_t(Group) * 256; Cid < std::min(Text.size(), size_t(Group + 1) * 256);
       ++Cid)
    if (Text[Cid] != 0) Known.push_back(Cid);
  for (size_t From = 0; From < Known.size(); From += 100) {
    const size_t To = std::min(Known.size(), From + 100);
    Out += std::to_string(To - From) + " beginbfchar\n";
    for (size_t K = From; K < To; ++K) {
      char Code[8];
      std::snprintf(Code, sizeof Code, "<%02X> <", unsigned(Known[K] & 0xFF));
      Out += Code + Utf16Hex(Text[Known[K]]) + ">\n";
    }
    Out += "endbfchar\n";
  }
  Out += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
  return Out;
}

// The encoding of group Group: codes 00 to FF are its 256 CIDs.
std::string GroupCMap(int Group) {
  const std::string Name = "/Kv-Group" + std::to_string(Group) + "-H";
  const std::string Body = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n" +
                           std::string(kIdentityInfo) + " def\n/CMapName " + Name +
                           " def\n/CMapType 1 def\n"
                           "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
                           "1 begincidrange\n<00> <FF> " +
                           std::to_string(Group * 256) +
                           "\nendcidrange\nendcmap\n"
                           "CMapName currentdict /CMap defineresource pop\nend\nend";
  return Stream("/Type /CMap /CMapName " + Name + ' ' + kIdentityInfo + ' ', Body);
}

// Six capitals naming the subset, from the glyphs it keeps.
std::string SubsetTag(const std::vector<uint16_t>& Glyphs, std::string_view Name) {
  uint64_t H = 1469598103934665603ull;
  for (const char C : Name) H = (H ^ static_cast<unsigned char>(C)) * 1099511628211ull;
  for (const uint16_t G : Glyphs) H = (H ^ G) * 1099511628211ull;
  std::string Tag;
  for (int K = 0; K < 6; ++K, H /= 26) Tag += char('A' + H % 26);
  return Tag;
}

}  // namespace

TPdfFontSet::TPdfFontSet(IFontSource* Source) : FSource(Source) {
  FEmbeds = FSource && Load(0) && FFonts[0]->Font;
}

TPdfFontSet::~TPdfFontSet() = default;

bool TPdfFontSet::Load(size_t Index) {
  while (FFonts.size() <= Index) {
    std::string Bytes;
    int Face = 0;
    if (FSourceEnded || !FSource || !FSource->FontData(int(FFonts.size()), Bytes, Face)) {
      FSourceEnded = true;
      return false;
    }
    FFonts.push_back(std::make_unique<TFont>());
    if (Bytes.empty()) continue;
    try {
      TFont& F = *FFonts.back();
      F.Font = std::make_unique<TTrueTypeFont>(std::move(Bytes), Face);
      F.NewOf.assign(size_t(F.Font->GlyphCount()), 0);
      F.Place(0, 0, 0);
      // The ASCII slots are kept from the start, empty until used.
      F.Seeded = FFonts.size() == 1;
      if (F.Seeded) F.Place(kLastAscii, 0, 0);
    } catch (const TKvError&) {
      FFonts.back()->Font.reset();
    }
  }
  TFont& F = *FFonts[Index];
  if (F.Font && F.Released) {
    // A fallback that had nothing so far has a character asked for.
    std::string Bytes;
    int Face = 0;
    F.Released = false;
    try {
      FSource->FontData(int(Index), Bytes, Face);
      F.Font = std::make_unique<TTrueTypeFont>(std::move(Bytes), Face);
    } catch (const TKvError&) {
      F.Font.reset();
    }
  }
  return F.Font != nullptr;
}

TPdfGlyph TPdfFontSet::Use(size_t FontIndex, uint16_t Glyph, char32_t Ch) {
  TFont& F = *FFonts[FontIndex];
  if (Glyph == 0) return {uint16_t(FontIndex), 0, F.Widths[0], false};
  // A printable ASCII character of a seeded font takes its own slot, even
  // where its glyph came first as a component (the subset then has it twice).
  const bool OwnSlot = F.Seeded && Ch >= kFirstAscii && Ch <= kLastAscii;
  if (!OwnSlot && F.NewOf[Glyph] != 0) {
    const uint16_t Cid = F.NewOf[Glyph];
    if (F.Text[Cid] == 0) F.Text[Cid] = Ch;  // first kept as a component
    return {uint16_t(FontIndex), Cid, F.Widths[Cid], false};
  }
  if (!OwnSlot && F.NextFree >= 0xFFFF) return {uint16_t(FontIndex), 0, F.Widths[0], true};
  const std::vector<uint16_t> Parts = F.Font->Components(Glyph);  // raises before any change
  const uint32_t Cid = OwnSlot ? Ch : F.NextFree++;
  if (F.Seeded && F.NextFree == kFirstAscii) F.NextFree = kLastAscii + 1;
  F.Place(Cid, Glyph, Ch);
  if (F.NewOf[Glyph] == 0) {
    F.NewOf[Glyph] = uint16_t(Cid);
    // Components come along, each once; a glyph counted as its own
    // component (a damaged font) stops at NewOf already set.
    for (const uint16_t Part : Parts)
      if (F.NewOf[Part] == 0 && Part != 0) Use(FontIndex, Part, 0);
  }
  return {uint16_t(FontIndex), uint16_t(Cid), F.Widths[Cid], false};
}

TPdfGlyph TPdfFontSet::Find(char32_t Ch) {
  for (size_t K = 0; K < FFonts.size() || (Load(K), K < FFonts.size()); ++K) {
    if (!FFonts[K]->Font || FFonts[K]->Font->GlyphOf(Ch) == 0) continue;
    if (!Load(K)) continue;
    TFont& F = *FFonts[K];
    try {
      const TPdfGlyph G = Use(K, F.Font->GlyphOf(Ch), Ch);
      ReleaseUnused();
      return G;
    } catch (const TKvError&) {
      // A glyph with damaged components: the next font may do.
    }
  }
  ReleaseUnused();
  TPdfGlyph Q = Lookup('?');
  Q.Missing = true;
  return Q;
}

// Fallbacks that gave nothing keep only their character maps.
void TPdfFontSet::ReleaseUnused() {
  for (size_t K = 1; K < FFonts.size(); ++K)
    if (FFonts[K]->Font && !FFonts[K]->Used() && !FFonts[K]->Released) {
      FFonts[K]->Font->ReleaseBytes();
      FFonts[K]->Released = true;
    }
}

TPdfGlyph TPdfFontSet::Lookup(char32_t Ch) {
  if (Ch < 0x10000 && !FBmp.empty() && FBmp[Ch].Known) return FBmp[Ch];
  return LookupFirst(Ch);
}

TPdfGlyph TPdfFontSet::LookupFirst(char32_t Ch) {
  if (Ch < 0x10000) {
    if (FBmp.empty()) FBmp.resize(0x10000);
    TPdfGlyph G = Ch == '?' ? Use(0, FFonts[0]->Font->GlyphOf('?'), '?') : Find(Ch);
    G.Known = true;
    return FBmp[Ch] = G;
  }
  const auto It = FAstral.find(Ch);
  if (It != FAstral.end()) return It->second;
  return FAstral[Ch] = Find(Ch);
}

void TPdfFontSet::Fit(std::string_view Text, double Width, double FontSize,
                      std::vector<TPdfGlyph>& Out, bool& Cut, int& Unprintable) {
  Out.clear();
  Cut = false;
  const double Limit = FontSize > 0 ? Width * 1000 / FontSize : 0;
  double Sum = 0;
  for (size_t At = 0; At < Text.size();) {
    char32_t Ch = NextCodePoint(Text, At);
    if (Ch < 0x20) Ch = ' ';
    const TPdfGlyph G = Ch == kInvalid ? Lookup('?') : Lookup(Ch);
    Sum += G.Width;
    if (Sum > Limit) {
      Cut = true;
      break;
    }
    Out.push_back(G);
  }
  if (Cut) {
    const TPdfGlyph Dots = Lookup(kEllipsis);
    Sum = Dots.Width;
    size_t Keep = 0;
    while (Keep < Out.size() && Sum + Out[Keep].Width <= Limit) Sum += Out[Keep++].Width;
    Out.resize(Keep);
    Out.push_back(Dots);
  }
  for (const TPdfGlyph& G : Out) Unprintable += G.Missing;
}

void TPdfFontSet::AppendShow(std::string& Out, const std::vector<TPdfGlyph>& Glyphs,
                             std::string_view Size, int& CurrentFont) const {
  const auto KeyOf = [](const TPdfGlyph& G) { return int(G.Font) + 65536 * (G.Cid >> 8); };
  for (size_t I = 0; I < Glyphs.size();) {
    const int Key = KeyOf(Glyphs[I]);
    if (Key != CurrentFont) {
      CurrentFont = Key;
      Out += "/F" + std::to_string(Glyphs[I].Font + 2);
      if (Glyphs[I].Cid >> 8) Out += '.' + std::to_string(Glyphs[I].Cid >> 8);
      Out += ' ';
      Out += Size;
      Out += " Tf\n";
    }
    size_t End = I;
    while (End < Glyphs.size() && KeyOf(Glyphs[End]) == Key) ++End;
    // One byte a glyph, at most two when escaped.
    const size_t At = Out.size();
    Out.resize(At + 2 * (End - I) + 6);
    char* P = Out.data() + At;
    *P++ = '(';
    for (; I < End; ++I) {
      const char B = char(Glyphs[I].Cid & 0xFF);
      if (B == '(' || B == ')' || B == '\\' || B == '\r') *P++ = '\\';
      *P++ = B == '\r' ? 'r' : B;
    }
    for (const char C : {')', ' ', 'T', 'j', '\n'}) *P++ = C;
    Out.resize(size_t(P - Out.data()));
  }
}

int TPdfFontSet::GroupCount() const {
  int Count = 0;
  for (const auto& F : FFonts)
    if (F->Used()) Count = std::max(Count, F->Groups());
  return Count;
}

// The objects from FirstObject on: the groups' encodings (shared by the
// fonts), then for each font used its CID font, descriptor, font file and
// for each of its groups the composite font and its ToUnicode map.
std::string TPdfFontSet::ResourcesBody(int FirstObject) const {
  std::string Out = "<< /Font <<";
  int Next = FirstObject + GroupCount();
  for (size_t K = 0; K < FFonts.size(); ++K) {
    if (!FFonts[K]->Used()) continue;
    for (int G = 0; G < FFonts[K]->Groups(); ++G)
      Out += " /F" + std::to_string(K + 2) + (G ? '.' + std::to_string(G) : std::string()) + ' ' +
             std::to_string(Next + 3 + 2 * G) + " 0 R";
    Next += 3 + 2 * FFonts[K]->Groups();
  }
  return Out + " >> >>";
}

void TPdfFontSet::WriteFonts(int FirstObject,
                             const std::function<int(std::string)>& AddObject) const {
  const int Groups = GroupCount();
  for (int G = 0; G < Groups; ++G) AddObject(GroupCMap(G));
  int Next = FirstObject + Groups;
  for (const auto& F : FFonts)
    if (F->Used()) {
      WriteFont(*F, Next, FirstObject, AddObject);
      Next += 3 + 2 * F->Groups();
    }
}

// Objects Number (the CID font) to Number + 2 + 2 * groups: its descriptor,
// the font file, and each group's composite font and ToUnicode map; group
// G's encoding is object FirstCMap + G.
void TPdfFontSet::WriteFont(const TFont& F, int Number, int FirstCMap,
                            const std::function<int(std::string)>& AddObject) const {
  const TTrueTypeFont& Font = *F.Font;
  const std::string Name = SubsetTag(F.OldOf, Font.PostScriptName()) + '+' + Font.PostScriptName();
  const auto Ref = [Number](int K) { return std::to_string(Number + K) + " 0 R"; };
  const auto Scaled = [&Font](int V) {
    return std::to_string(std::lround(V * 1000.0 / Font.UnitsPerEm()));
  };
  std::string Widths;
  for (const uint16_t W : F.Widths) Widths += std::to_string(W) + ' ';
  AddObject("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + Name + ' ' + kIdentityInfo +
            " /FontDescriptor " + Ref(1) + " /DW 1000 /W [0 [" + Widths +
            "]] /CIDToGIDMap /Identity >>");
  const int* Box = Font.BoundingBox();
  AddObject("<< /Type /FontDescriptor /FontName /" + Name + " /Flags 32 /FontBBox [" +
            Scaled(Box[0]) + ' ' + Scaled(Box[1]) + ' ' + Scaled(Box[2]) + ' ' + Scaled(Box[3]) +
            "] /ItalicAngle 0 /Ascent " + Scaled(Font.Ascent()) + " /Descent " +
            Scaled(Font.Descent()) + " /CapHeight " + Scaled(Font.Ascent()) +
            " /StemV 80 /FontFile2 " + Ref(2) + " >>");
  const std::string Subset = Font.Subset(F.OldOf);
  AddObject(Stream("/Filter /FlateDecode /Length1 " + std::to_string(Subset.size()) + ' ',
                   Deflated(Subset)));
  for (int G = 0; G < F.Groups(); ++G) {
    AddObject("<< /Type /Font /Subtype /Type0 /BaseFont /" + Name + " /Encoding " +
              std::to_string(FirstCMap + G) + " 0 R /DescendantFonts [" + Ref(0) + "] /ToUnicode " +
              Ref(4 + 2 * G) + " >>");
    AddObject(Stream("/Filter /FlateDecode ", Deflated(ToUnicodeMap(F.Text, G))));
  }
}

}  // namespace kv
