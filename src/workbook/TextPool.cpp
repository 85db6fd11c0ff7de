#include "workbook/TextPool.h"

#include <cstring>

#include "base/Error.h"

namespace kv {

namespace {

// Large enough that a sheet's texts take few blocks, small enough that a tiny
// workbook touches little fresh memory.
constexpr size_t kBlockBytes = size_t{256} << 10;

[[noreturn]] void RaiseOverCap() {
  throw TKvError(
      "This workbook holds more than 512 MiB of cell text, more than can be shown. It may be "
      "damaged or built to exhaust memory.");
}

}  // namespace

TTextPool::TTextPool(size_t LimitBytes) : FLimit(LimitBytes) {
  FTexts.emplace_back();
}

void TTextPool::Charge(size_t Bytes) {
  if (Bytes > FLimit - FHeld) RaiseOverCap();
  FHeld += Bytes;
}

uint32_t TTextPool::Add(std::string_view Text) {
  if (Text.empty()) return 0;
  if (FTexts.size() >= UINT32_MAX) RaiseOverCap();
  Charge(Text.size() + sizeof(std::string_view));
  if (Text.size() > FFreeLeft) {
    const size_t Size = Text.size() > kBlockBytes / 4 ? Text.size() : kBlockBytes;
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(Size));
    char* Block = FBlocks.back().get();
    if (Size == Text.size()) {
      // A big text gets a block of its own; the current block keeps its room.
      std::memcpy(Block, Text.data(), Text.size());
      FTexts.emplace_back(Block, Text.size());
      return static_cast<uint32_t>(FTexts.size() - 1);
    }
    FFree = Block;
    FFreeLeft = Size;
  }
  std::memcpy(FFree, Text.data(), Text.size());
  FTexts.emplace_back(FFree, Text.size());
  FFree += Text.size();
  FFreeLeft -= Text.size();
  return static_cast<uint32_t>(FTexts.size() - 1);
}

}  // namespace kv
