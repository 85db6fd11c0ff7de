#include "export/TrueType.h"

#include <algorithm>
#include <cstring>

#include "base/Error.h"

namespace kv {

namespace {

[[noreturn]] void Damaged() {
  throw TKvError("The font file is damaged or not a TrueType font.");
}

// Big-endian reads that raise instead of reading past the end.
uint32_t U8At(std::string_view B, size_t At) {
  if (At >= B.size()) Damaged();
  return static_cast<unsigned char>(B[At]);
}
uint32_t U16At(std::string_view B, size_t At) {
  if (At > B.size() || B.size() - At < 2) Damaged();
  return (U8At(B, At) << 8) | U8At(B, At + 1);
}
int32_t S16At(std::string_view B, size_t At) {
  return static_cast<int16_t>(static_cast<uint16_t>(U16At(B, At)));
}
uint32_t U32At(std::string_view B, size_t At) {
  return (U16At(B, At) << 16) | U16At(B, At + 2);
}

void Put16(std::string& Out, uint32_t V) {
  Out += char((V >> 8) & 0xFF);
  Out += char(V & 0xFF);
}
void Put32(std::string& Out, uint32_t V) {
  Put16(Out, V >> 16);
  Put16(Out, V & 0xFFFF);
}
void Set16(std::string& Out, size_t At, uint32_t V) {
  Out[At] = char((V >> 8) & 0xFF);
  Out[At + 1] = char(V & 0xFF);
}
void Set32(std::string& Out, size_t At, uint32_t V) {
  Set16(Out, At, V >> 16);
  Set16(Out, At + 2, V & 0xFFFF);
}

uint32_t CheckSum(std::string_view Data) {
  uint32_t Sum = 0;
  for (size_t I = 0; I < Data.size(); I += 4) {
    uint32_t Word = 0;
    for (size_t K = 0; K < 4; ++K)
      Word = (Word << 8) | (I + K < Data.size() ? static_cast<unsigned char>(Data[I + K]) : 0);
    Sum += Word;
  }
  return Sum;
}

// Composite glyph component flags.
constexpr uint32_t kArgsAreWords = 0x0001;
constexpr uint32_t kHaveScale = 0x0008;
constexpr uint32_t kMoreComponents = 0x0020;
constexpr uint32_t kHaveXYScale = 0x0040;
constexpr uint32_t kHaveTwoByTwo = 0x0080;

// Calls Visit(offset of the component's glyph number) for each component
// of the composite glyph Data.
template <class TVisit>
void ForEachComponent(std::string_view Data, TVisit Visit) {
  if (Data.size() < 10 || S16At(Data, 0) >= 0) return;
  size_t At = 10;
  for (;;) {
    const uint32_t Flags = U16At(Data, At);
    Visit(At + 2);
    At += 4 + ((Flags & kArgsAreWords) ? 4 : 2);
    if (Flags & kHaveScale)
      At += 2;
    else if (Flags & kHaveXYScale)
      At += 4;
    else if (Flags & kHaveTwoByTwo)
      At += 8;
    if (!(Flags & kMoreComponents)) break;
  }
}

}  // namespace

TTrueTypeFont::TTrueTypeFont(std::string Bytes, int Face) : FBytes(std::move(Bytes)) {
  const std::string_view B = FBytes;
  uint32_t Directory = 0;
  if (B.substr(0, 4) == "ttcf") {
    if (Face < 0 || uint32_t(Face) >= U32At(B, 8))
      throw TKvError("The font collection has no face " + std::to_string(Face) + ".");
    Directory = U32At(B, 12 + 4 * size_t(Face));
  }
  ReadDirectory(Directory);
  ReadHeaders();
  ReadCmap();
  ReadName();
}

void TTrueTypeFont::ReadDirectory(uint32_t At) {
  const std::string_view B = FBytes;
  const uint32_t Version = U32At(B, At);
  if (Version != 0x00010000 && Version != 0x74727565)  // 1.0 or 'true'; not 'OTTO'
    Damaged();
  const uint32_t Count = U16At(B, At + 4);
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t Rec = At + 12 + 16 * size_t(I);
    TTable T;
    T.Offset = U32At(B, Rec + 8);
    T.Length = U32At(B, Rec + 12);
    T.Present = true;
    if (T.Offset > B.size() || B.size() - T.Offset < T.Length) Damaged();
    U32At(B, Rec + 4);
    FTables.emplace_back(std::string(B.substr(Rec, 4)), T);
  }
}

TTrueTypeFont::TTable TTrueTypeFont::Table(const char* Tag) const {
  for (const auto& [Name, T] : FTables)
    if (Name == Tag) return T;
  return {};
}

std::string_view TTrueTypeFont::TableBytes(const char* Tag) const {
  const TTable T = Table(Tag);
  return std::string_view(FBytes).substr(T.Offset, T.Length);
}

void TTrueTypeFont::ReadHeaders() {
  for (const char* Tag : {"head", "hhea", "maxp", "hmtx", "loca", "glyf"})
    if (!Table(Tag).Present) Damaged();
  const std::string_view Head = TableBytes("head");
  FUnitsPerEm = int(U16At(Head, 18));
  if (FUnitsPerEm < 16) Damaged();
  for (int K = 0; K < 4; ++K) FBox[K] = S16At(Head, 36 + 2 * size_t(K));
  FLongLoca = S16At(Head, 50) != 0;
  const std::string_view Hhea = TableBytes("hhea");
  FAscent = S16At(Hhea, 4);
  FDescent = S16At(Hhea, 6);
  FMetricCount = int(U16At(Hhea, 34));
  FGlyphCount = int(U16At(TableBytes("maxp"), 4));
  if (FMetricCount < 1 || FMetricCount > FGlyphCount ||
      TableBytes("hmtx").size() < 4 * size_t(FMetricCount) ||
      TableBytes("loca").size() < (FLongLoca ? 4u : 2u) * (size_t(FGlyphCount) + 1))
    Damaged();
}

void TTrueTypeFont::ReadCmap() {
  if (!Table("cmap").Present) return;  // a subset: glyphs by number only
  const std::string_view Cmap = TableBytes("cmap");
  const uint32_t Count = U16At(Cmap, 2);
  // The Unicode subtable with the most characters: format 12 before 4.
  uint32_t Best = 0, BestFormat = 0;
  for (uint32_t I = 0; I < Count; ++I) {
    const uint32_t Platform = U16At(Cmap, 4 + 8 * size_t(I));
    const uint32_t Encoding = U16At(Cmap, 6 + 8 * size_t(I));
    const uint32_t At = U32At(Cmap, 8 + 8 * size_t(I));
    const bool Unicode = Platform == 0 || (Platform == 3 && (Encoding == 1 || Encoding == 10));
    if (!Unicode) continue;
    const uint32_t Format = U16At(Cmap, At);
    if ((Format == 12 && BestFormat != 12) || (Format == 4 && BestFormat == 0)) {
      Best = At;
      BestFormat = Format;
    }
  }
  if (BestFormat == 12)
    ReadCmapFormat12(Best);
  else if (BestFormat == 4)
    ReadCmapFormat4(Best);
  std::sort(FRanges.begin(), FRanges.end(),
            [](const TRange& A, const TRange& B) { return A.First < B.First; });
}

void TTrueTypeFont::ReadCmapFormat4(uint32_t At) {
  const std::string_view T = TableBytes("cmap").substr(At);
  const size_t Segs = U16At(T, 6) / 2;
  const size_t Ends = 14, Starts = Ends + 2 * Segs + 2, Deltas = Starts + 2 * Segs,
               RangeOffsets = Deltas + 2 * Segs, Array = RangeOffsets + 2 * Segs;
  // Large tables' 16-bit length field overflows: the array runs to the
  // table's end, and an index past the font's own array meets a check later.
  const size_t Length = std::min<size_t>(T.size(), Array + 2 * 0x10000);
  for (size_t At2 = Array; At2 + 2 <= Length; At2 += 2)
    FGlyphArray.push_back(uint16_t(U16At(T, At2)));
  for (size_t I = 0; I < Segs; ++I) {
    TRange R;
    R.First = U16At(T, Starts + 2 * I);
    R.Last = U16At(T, Ends + 2 * I);
    R.Delta = int32_t(U16At(T, Deltas + 2 * I));
    const uint32_t Offset = U16At(T, RangeOffsets + 2 * I);
    R.Index = Offset == 0 ? -1 : int32_t(Offset / 2 + I) - int32_t(Segs);
    if (R.First <= R.Last && R.First != 0xFFFF) FRanges.push_back(R);
  }
}

void TTrueTypeFont::ReadCmapFormat12(uint32_t At) {
  const std::string_view T = TableBytes("cmap").substr(At);
  const uint32_t Groups = U32At(T, 12);
  if (Groups > T.size() / 12) Damaged();
  for (uint32_t I = 0; I < Groups; ++I) {
    const size_t G = 16 + 12 * size_t(I);
    TRange R;
    R.First = U32At(T, G);
    R.Last = U32At(T, G + 4);
    const uint32_t Glyph = U32At(T, G + 8);
    if (R.First > R.Last || R.Last > 0x10FFFF || Glyph > 0xFFFF) continue;
    R.Delta = int32_t(Glyph) - int32_t(R.First);
    R.Index = -2;  // Glyph = character + Delta, no wrap
    FRanges.push_back(R);
  }
}

void TTrueTypeFont::ReadName() {
  const TTable T = Table("name");
  if (!T.Present) return;
  const std::string_view Name = TableBytes("name");
  const uint32_t Count = U16At(Name, 2), Strings = U16At(Name, 4);
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t Rec = 6 + 12 * size_t(I);
    if (U16At(Name, Rec + 6) != 6) continue;
    const uint32_t Platform = U16At(Name, Rec), Length = U16At(Name, Rec + 8),
                   Offset = U16At(Name, Rec + 10);
    const size_t Step = Platform == 1 ? 1 : 2;
    std::string Out;
    for (size_t K = Step - 1; K < Length; K += Step) {
      const char C = char(U8At(Name, Strings + Offset + K));
      if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '-' ||
          C == '_')
        Out += C;
    }
    if (!Out.empty()) {
      FPostScriptName = Out.substr(0, 60);
      return;
    }
  }
}

uint16_t TTrueTypeFont::GlyphOf(char32_t Ch) const {
  auto It = std::upper_bound(FRanges.begin(), FRanges.end(), Ch,
                             [](char32_t C, const TRange& R) { return C < R.First; });
  // Ranges may overlap in odd fonts: look back over the few that start before.
  for (int Back = 0; It != FRanges.begin() && Back < 4; ++Back) {
    const TRange& R = *--It;
    if (Ch > R.Last) continue;
    uint32_t Glyph = 0;
    if (R.Index == -2) {
      Glyph = uint32_t(int64_t(Ch) + R.Delta);
    } else if (R.Index == -1) {
      Glyph = (Ch + uint32_t(R.Delta)) & 0xFFFF;
    } else {
      const int64_t K = int64_t(R.Index) + (Ch - R.First);
      if (K < 0 || size_t(K) >= FGlyphArray.size()) return 0;
      Glyph = FGlyphArray[size_t(K)];
      if (Glyph != 0) Glyph = (Glyph + uint32_t(R.Delta)) & 0xFFFF;
    }
    return Glyph < uint32_t(FGlyphCount) ? uint16_t(Glyph) : 0;
  }
  return 0;
}

void TTrueTypeFont::ReleaseBytes() {
  std::string().swap(FBytes);
  FTables.clear();
}

int TTrueTypeFont::Advance(uint16_t Glyph) const {
  const int K = std::min<int>(Glyph, FMetricCount - 1);
  return int(U16At(TableBytes("hmtx"), 4 * size_t(K)));
}

std::string_view TTrueTypeFont::GlyphData(uint16_t Glyph) const {
  if (Glyph >= FGlyphCount) Damaged();
  const std::string_view Loca = TableBytes("loca");
  const uint32_t Start =
      FLongLoca ? U32At(Loca, 4 * size_t(Glyph)) : 2 * U16At(Loca, 2 * size_t(Glyph));
  const uint32_t End =
      FLongLoca ? U32At(Loca, 4 * size_t(Glyph) + 4) : 2 * U16At(Loca, 2 * size_t(Glyph) + 2);
  const std::string_view Glyf = TableBytes("glyf");
  if (End < Start || End > Glyf.size()) Damaged();
  return Glyf.substr(Start, End - Start);
}

std::vector<uint16_t> TTrueTypeFont::Components(uint16_t Glyph) const {
  const std::string_view Data = GlyphData(Glyph);
  std::vector<uint16_t> Out;
  ForEachComponent(Data, [&](size_t At) {
    const uint32_t G = U16At(Data, At);
    if (G >= uint32_t(FGlyphCount) || Out.size() >= 1024) Damaged();
    Out.push_back(uint16_t(G));
  });
  return Out;
}

namespace {

// The table directory and tables of a font file, tables 4-byte aligned, with
// the head table's checksum adjustment set.
std::string Assemble(std::vector<std::pair<std::string, std::string>> Tables) {
  std::sort(Tables.begin(), Tables.end());
  const uint32_t Count = uint32_t(Tables.size());
  uint32_t Power = 1, Log = 0;
  while (Power * 2 <= Count) Power *= 2, ++Log;
  std::string Out;
  Put32(Out, 0x00010000);
  Put16(Out, Count);
  Put16(Out, Power * 16);
  Put16(Out, Log);
  Put16(Out, Count * 16 - Power * 16);
  size_t Offset = 12 + 16 * size_t(Count), HeadAt = 0;
  for (const auto& [Tag, Data] : Tables) {
    Out += Tag;
    Put32(Out, CheckSum(Data));
    Put32(Out, uint32_t(Offset));
    Put32(Out, uint32_t(Data.size()));
    if (Tag == "head") HeadAt = Offset;
    Offset += (Data.size() + 3) & ~size_t(3);
  }
  for (const auto& [Tag, Data] : Tables) {
    Out += Data;
    Out.append((4 - Data.size() % 4) % 4, '\0');
  }
  Set32(Out, HeadAt + 8, 0xB1B0AFBA - CheckSum(Out));
  return Out;
}

}  // namespace

std::string TTrueTypeFont::Subset(const std::vector<uint16_t>& Keep) const {
  if (Keep.empty() || Keep[0] != 0 || Keep.size() > 0xFFFF) Damaged();
  std::vector<int32_t> NewOf(size_t(FGlyphCount), -1);
  for (size_t K = 0; K < Keep.size(); ++K) {
    if (Keep[K] >= FGlyphCount) Damaged();
    if (NewOf[Keep[K]] < 0) NewOf[Keep[K]] = int32_t(K);
  }
  std::string Glyf, Loca, Hmtx;
  for (size_t K = 0; K < Keep.size(); ++K) {
    const uint16_t Old = Keep[K];
    const bool Empty = Old == 0 && K > 0;
    Put32(Loca, uint32_t(Glyf.size()));
    std::string Data(Empty ? std::string_view() : GlyphData(Old));
    ForEachComponent(Data, [&](size_t At) {
      const uint32_t G = U16At(Data, At);
      if (G >= NewOf.size() || NewOf[G] < 0)
        throw TKvError("A font subset lacks a component of a glyph it keeps.");
      Set16(Data, At, uint32_t(NewOf[G]));
    });
    Glyf += Data;
    Glyf.append(Glyf.size() % 4 ? 4 - Glyf.size() % 4 : 0, '\0');
    const int Lsb =
        Old < FMetricCount
            ? S16At(TableBytes("hmtx"), 4 * size_t(Old) + 2)
            : S16At(TableBytes("hmtx"), 4 * size_t(FMetricCount) + 2 * size_t(Old - FMetricCount));
    Put16(Hmtx, Empty ? 0 : uint32_t(Advance(Old)));
    Put16(Hmtx, Empty ? 0 : uint32_t(Lsb) & 0xFFFF);
  }
  Put32(Loca, uint32_t(Glyf.size()));
  std::string Head(TableBytes("head")), Hhea(TableBytes("hhea")), Maxp(TableBytes("maxp"));
  if (Head.size() < 54 || Hhea.size() < 36 || Maxp.size() < 6) Damaged();
  Set32(Head, 8, 0);
  Set16(Head, 50, 1);
  Set16(Hhea, 34, uint32_t(Keep.size()));
  Set16(Maxp, 4, uint32_t(Keep.size()));
  std::vector<std::pair<std::string, std::string>> Tables = {{"glyf", Glyf}, {"head", Head},
                                                             {"hhea", Hhea}, {"hmtx", Hmtx},
                                                             {"loca", Loca}, {"maxp", Maxp}};
  for (const char* Tag : {"cvt ", "fpgm", "prep"})
    if (Table(Tag).Present) Tables.emplace_back(Tag, std::string(TableBytes(Tag)));
  return Assemble(std::move(Tables));
}

int CollectionFaceWithHead(std::string_view Collection, std::string_view Head) {
  try {
    if (Collection.substr(0, 4) != "ttcf") return 0;
    const uint32_t Count = std::min<uint32_t>(U32At(Collection, 8), 1024);
    for (uint32_t Face = 0; Face < Count; ++Face) {
      const size_t Dir = U32At(Collection, 12 + 4 * size_t(Face));
      const uint32_t Tables = U16At(Collection, Dir + 4);
      for (uint32_t I = 0; I < Tables; ++I) {
        const size_t Rec = Dir + 12 + 16 * size_t(I);
        if (Collection.substr(Rec, 4) != "head") continue;
        const uint32_t At = U32At(Collection, Rec + 8), Length = U32At(Collection, Rec + 12);
        if (At <= Collection.size() && Collection.substr(At, Length) == Head) return int(Face);
      }
    }
  } catch (const TKvError&) {
  }
  return 0;
}

}  // namespace kv
