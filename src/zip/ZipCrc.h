// The CRC-32 of ZIP entries (zlib's), shared by the reader and the writer.
// Raises nothing.
#ifndef KV_ZIP_ZIPCRC_H
#define KV_ZIP_ZIPCRC_H

#include <cstdint>
#include <string_view>

namespace kv {

// CRC-32 of Data continued from Crc (0 to start), as ZIP uses it.
uint32_t ZipCrc32(std::string_view Data, uint32_t Crc = 0);

}  // namespace kv

#endif
