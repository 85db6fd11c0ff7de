#include "zip/ZipCrc.h"

#include <zlib.h>

#include <algorithm>

namespace kv {

uint32_t ZipCrc32(std::string_view Data, uint32_t Crc) {
  // zlib counts in uInt; big inputs go through it in slices.
  constexpr size_t kSlice = size_t(1) << 30;
  uLong C = Crc;
  const auto* P = reinterpret_cast<const Bytef*>(Data.data());
  size_t Left = Data.size();
  while (Left > 0) {
    const size_t N = std::min(Left, kSlice);
    C = crc32(C, P, uInt(N));
    P += N;
    Left -= N;
  }
  return uint32_t(C);
}

}  // namespace kv
