#include "zip/ZlibData.h"

#include <zlib.h>

namespace kv {

bool ZlibCompress(std::string_view Data, int Level, std::string& Out) {
  uLongf Size = compressBound(uLong(Data.size()));
  Out.assign(Size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(Out.data()), &Size,
                reinterpret_cast<const Bytef*>(Data.data()), uLong(Data.size()), Level) != Z_OK)
    return false;
  Out.resize(Size);
  return true;
}

}  // namespace kv
