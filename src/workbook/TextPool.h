// The texts of one workbook, stored once each and referred to by id from the
// cell tables of all its sheets. Texts never move once added, so a view
// returned by Get stays valid for the pool's lifetime. The pool also keeps the
// workbook's memory budget: texts and cell tables together may not pass the
// cap, so a package that amplifies a small string into millions of cells is
// refused instead of exhausting a 32-bit host.
#ifndef KV_WORKBOOK_TEXTPOOL_H
#define KV_WORKBOOK_TEXTPOOL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kv {

class TTextPool {
 public:
  static constexpr size_t kDefaultLimit = size_t{512} << 20;

  explicit TTextPool(size_t LimitBytes = kDefaultLimit);
  TTextPool(const TTextPool&) = delete;
  TTextPool& operator=(const TTextPool&) = delete;

  // Id 0 is always the empty text. Raises: the cap's error.
  uint32_t Add(std::string_view Text);
  std::string_view Get(uint32_t Id) const { return FTexts[Id]; }
  size_t Count() const { return FTexts.size(); }
  // Makes room for Count more texts without moving the existing ones again.
  void Reserve(size_t Count) { FTexts.reserve(FTexts.size() + Count); }
  // Bytes held: texts plus everything charged.
  size_t HeldBytes() const { return FHeld; }
  // Counts Bytes of other workbook memory (cell tables) against the cap.
  // Raises: "This workbook holds more than 512 MiB of cell text, more than
  // can be shown."
  void Charge(size_t Bytes);
  // Gives back Bytes charged before (memory handed back, e.g. by a shrink).
  void Release(size_t Bytes) { FHeld -= Bytes < FHeld ? Bytes : FHeld; }

 private:
  std::vector<std::unique_ptr<char[]>> FBlocks;
  char* FFree = nullptr;
  size_t FFreeLeft = 0;
  std::vector<std::string_view> FTexts;
  size_t FHeld = 0;
  size_t FLimit;
};

}  // namespace kv

#endif
