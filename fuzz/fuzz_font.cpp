// TrueType fonts as the PDF export reads them (a font file is input: a given
// path, or whatever the font folders hold). Nothing may crash or read out of
// bounds; a damaged font raises TKvError. Checked: a subset of a font that
// reads is itself a font that reads, with the glyph count and advances kept
// (an empty slot, as the PDF's unused ASCII codes leave, advances 0).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Error.h"
#include "export/TrueType.h"

namespace {

[[noreturn]] void Finding(const char* What) {
  std::fprintf(stderr, "fuzz_font: %s\n", What);
  std::abort();
}

// Glyph 0, the glyphs of a few characters and their components, as the PDF
// font set keeps them (components are never deeper than a few levels).
std::vector<uint16_t> Kept(const kv::TTrueTypeFont& Font) {
  std::vector<uint16_t> Keep = {0};
  for (char32_t C : {U'A', U'\u00E9', U'\u4E2D', U'\U0001F600'}) {
    const uint16_t G = Font.GlyphOf(C);
    if (G == 0) continue;
    Keep.push_back(G);
    for (size_t K = Keep.size() - 1; K < Keep.size() && Keep.size() < 64; ++K)
      for (uint16_t Part : Font.Components(Keep[K])) Keep.push_back(Part);
  }
  return Keep;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  for (int Face : {0, 1}) {
    try {
      const kv::TTrueTypeFont Font(Bytes, Face);
      std::vector<uint16_t> Keep = Kept(Font);
      // A glyph kept twice is a composite's shared part: keep each once.
      std::vector<uint16_t> Once;
      for (uint16_t G : Keep)
        if (std::find(Once.begin(), Once.end(), G) == Once.end()) Once.push_back(G);
      Once.push_back(0);
      const kv::TTrueTypeFont Sub(Font.Subset(Once));
      if (Sub.GlyphCount() != int(Once.size())) Finding("subset glyph count");
      for (size_t K = 0; K + 1 < Once.size(); ++K)
        if (Sub.Advance(uint16_t(K)) != Font.Advance(Once[K])) Finding("subset advance");
      if (Sub.Advance(uint16_t(Once.size() - 1)) != 0) Finding("empty slot's advance");
    } catch (const kv::TKvError&) {
    }
  }
  return 0;
}
