// Reads ZIP packages held in memory: the central directory (with ZIP64
// records), stored and deflated entries, data descriptors, entry names in
// UTF-8 or CP437 as the general-purpose flag says. Entries stay compressed;
// each read inflates one entry, checks its CRC-32 and counts the bytes it
// actually produced against the limits, so a hostile package fails with a
// clear message instead of exhausting memory. The sizes the headers claim are
// never trusted for allocation.
#ifndef KV_ZIP_ZIPREADER_H
#define KV_ZIP_ZIPREADER_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "zip/ZipCrc.h"
#include "zip/ZipFormat.h"

namespace kv {

struct TZipLimits {
  uint64_t MaxEntryBytes = 256ull << 20;       // inflated size of one entry
  uint64_t MaxTotalBytes = 1ull << 30;         // inflated bytes of all reads together
  uint64_t RatioCheckAfterBytes = 1ull << 20;  // ratio is checked once an entry is past this
  uint64_t MaxRatio = 1000;                    // inflated bytes per compressed byte
  size_t MaxEntries = 65534;
};

class TZipReader;

// Pulls the inflated bytes of one entry in pieces. The CRC-32 is checked when
// the end is reached. Raises from Read: the limit, CRC, damage and
// unsupported-method errors of TZipReader::ReadEntry.
class TZipEntryStream {
 public:
  TZipEntryStream(const TZipReader& Reader, size_t Index);
  ~TZipEntryStream();
  TZipEntryStream(const TZipEntryStream&) = delete;
  TZipEntryStream& operator=(const TZipEntryStream&) = delete;

  // Up to Max bytes into Buffer; 0 only at the end of the entry.
  size_t Read(char* Buffer, size_t Max);

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

class TZipReader {
 public:
  // Takes the whole archive. Raises TKvError: "The file is not a ZIP package
  // (no central directory found).", "The ZIP package is damaged: ..." and
  // "The ZIP package has more than N entries; it is refused." (N: the
  // limits' MaxEntries, 65534 unless set otherwise).
  explicit TZipReader(std::string Bytes, TZipLimits Limits = {});
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  size_t EntryCount() const { return FEntries.size(); }
  const TZipEntry& Entry(size_t Index) const { return FEntries[Index]; }
  const std::string& Bytes() const { return FBytes; }

  // The entry's bytes exactly as stored (compressed), for copying it
  // unchanged into another archive. Raises: the damage error.
  std::string_view RawData(size_t Index) const;

  // The inflated bytes. Raises TKvError naming the entry: encrypted entry,
  // unsupported compression method, damaged data, CRC-32 mismatch, entry over
  // MaxEntryBytes, ratio over MaxRatio, package over MaxTotalBytes.
  std::string ReadEntry(size_t Index) const;

  // Inflated bytes produced by the reads of the current operation (all
  // streams included). MaxTotalBytes bounds one operation, not the reader's
  // life: StartOperation begins a new count (a load, a save).
  uint64_t TotalInflated() const { return FTotalInflated; }
  void StartOperation() const { FTotalInflated = 0; }

  // The archive comment, as stored.
  std::string_view Comment() const { return FComment; }
  const TZipLimits& Limits() const { return FLimits; }

 private:
  friend class TZipEntryStream;
  void ReadDirectory();
  std::string FBytes;
  TZipLimits FLimits;
  std::vector<TZipEntry> FEntries;
  std::string_view FComment;  // into FBytes
  mutable uint64_t FTotalInflated = 0;
};

}  // namespace kv

#endif
