// The ZIP format as the reader and the writer both see it: record signatures,
// the fixed sizes of the records, the flag bits and the values that mark a
// field saturated (its real value then lives in the ZIP64 extra field or the
// ZIP64 end record). All fields are little-endian. Records:
//
//   local header      30 bytes + name + extra, then the entry's data
//   data descriptor   signature, CRC-32, sizes (8 bytes each with ZIP64)
//   central header    46 bytes + name + extra + comment, one per entry
//   ZIP64 end record  56 bytes, then the ZIP64 end locator (20 bytes)
//   end record        22 bytes + archive comment (at most 65,535 bytes)
//
// TZipEntry is an entry's directory record, as the reader finds it and the
// writer puts it.
//
// Nothing here raises.
#ifndef KV_ZIP_ZIPFORMAT_H
#define KV_ZIP_ZIPFORMAT_H

#include <cstdint>
#include <string>

namespace kv::zipformat {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kEndSig = 0x06054b50;

constexpr uint64_t kLocalHeaderSize = 30;
constexpr uint64_t kCentralHeaderSize = 46;
constexpr uint64_t kZip64EndSize = 56;
constexpr uint64_t kZip64LocatorSize = 20;
constexpr uint64_t kEndSize = 22;
constexpr uint64_t kMaxCommentSize = 0xFFFF;
// The ZIP64 end record's own size field counts the bytes after that field.
constexpr uint64_t kZip64EndSizeField = kZip64EndSize - 12;

// General-purpose flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;  // CRC-32 and sizes follow the data
constexpr uint16_t kFlagUtf8 = 0x0800;        // name in UTF-8, else code page 437

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// The extra field that holds the ZIP64 values of saturated fields.
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kSaturated32 = 0xFFFFFFFFu;
constexpr uint16_t kSaturated16 = 0xFFFFu;

// Versions needed to extract: plain deflate, and ZIP64.
constexpr uint16_t kVersion = 20;
constexpr uint16_t kVersionZip64 = 45;

}  // namespace kv::zipformat

namespace kv {

struct TZipEntry {
  std::string Name;     // UTF-8 (CP437 names converted); '\' and case kept as stored
  uint16_t Flags = 0;   // general-purpose bit flags
  uint16_t Method = 0;  // 0 stored, 8 deflated
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;  // as the directory claims it
  uint64_t LocalHeaderOffset = 0;
  uint64_t DataOffset = 0;  // start of the stored bytes, found from the local header

  bool IsEncrypted() const { return (Flags & zipformat::kFlagEncrypted) != 0; }
  bool IsDirectory() const { return !Name.empty() && Name.back() == '/'; }
};

}  // namespace kv

#endif
