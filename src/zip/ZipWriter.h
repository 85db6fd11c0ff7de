// Writes ZIP archives: local headers, entry data, central directory, with
// ZIP64 records where a size, an offset or the entry count needs them. Entries
// are stored or compressed with zlib's raw deflate; names are UTF-8 and carry
// the UTF-8 flag when they hold a non-ASCII byte. Every entry has the same
// fixed time stamp (1980-01-01 00:00:00), so the same entries give the same
// bytes.
//
// The archive goes either into memory (TakeBytes after Finish) or into a file
// through TAtomicFileWriter: the target appears, whole, only when Finish
// succeeds; destroying the writer unfinished leaves any existing target as it
// was.
#ifndef KV_ZIP_ZIPWRITER_H
#define KV_ZIP_ZIPWRITER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "zip/ZipCrc.h"
#include "zip/ZipFormat.h"

namespace kv {

class TAtomicFileWriter;

enum class TZipMethod : uint16_t {
  Stored = zipformat::kMethodStored,
  Deflated = zipformat::kMethodDeflated,
};

// Raw deflate (no zlib header) of Data, as a deflated entry holds it.
// Level: zlib's 0..9 or -1 for its default. Raises: TKvError on a zlib failure.
std::string ZipDeflateRaw(std::string_view Data, int Level = -1);

class TZipWriter {
 public:
  // An archive built in memory.
  TZipWriter();
  // An archive written to a temporary file beside FileName and moved over it
  // by Finish. Raises: TKvError when the temporary file cannot be created.
  explicit TZipWriter(const std::string& FileName);
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Compression level for later deflated entries (zlib's 0..9, -1 default).
  void SetDeflateLevel(int Level) { FLevel = Level; }

  // Adds an entry holding Data. Raises: TKvError for an empty, over-long or
  // repeated name, after Finish, on a zlib failure, or the file's write error.
  void AddEntry(std::string_view Name, std::string_view Data,
                TZipMethod Method = TZipMethod::Deflated);

  // Adds an entry whose bytes are already in their stored form (for Deflated:
  // raw deflate data), with the CRC-32 and size of the uncompressed bytes, as
  // when copying an entry unchanged from another archive. The writer trusts
  // Crc32 and UncompressedSize. Raises: as AddEntry.
  void AddRawEntry(std::string_view Name, TZipMethod Method, uint32_t Crc32,
                   uint64_t UncompressedSize, std::string_view StoredBytes);

  // A deflated entry whose bytes arrive in pieces, so that it never has to
  // be held whole: BeginEntry, any number of WriteEntryData, EndEntry. Its
  // CRC-32 and sizes follow its data in a data descriptor (flag bit 3).
  // No other entry may be added between BeginEntry and EndEntry.
  // Raises: as AddEntry, and TKvError for calls out of that order.
  void BeginEntry(std::string_view Name);
  void WriteEntryData(std::string_view Data);
  void EndEntry();

  // The archive comment (at most 65,535 bytes; longer text is cut).
  void SetComment(std::string_view Comment) { FComment = std::string(Comment.substr(0, 0xFFFF)); }

  // Writes the central directory and, for a file, moves it into place.
  // Raises: TKvError (for a file: the target is then unchanged).
  void Finish();
  // For a file archive: Check runs when the file is complete, right before it
  // replaces the target (TAtomicFileWriter::SetBeforeReplace); what it raises,
  // Finish raises, leaving the target as it was.
  void SetBeforeReplace(std::function<void()> Check);

  // The archive's bytes (memory archives only, after Finish); leaves the
  // writer empty.
  std::string TakeBytes();

  size_t EntryCount() const { return FEntries.size(); }

 private:
  struct TEntryStream;
  void CheckName(std::string_view Name);
  void PutLocalHeader(const TZipEntry& E, bool Zip64);
  void Deflate(std::string_view Data, bool Last);
  void Emit(std::string_view Bytes);
  std::string FBuffer;
  std::unique_ptr<TAtomicFileWriter> FFile;
  uint64_t FOffset = 0;
  std::vector<TZipEntry> FEntries;
  std::set<std::string, std::less<>> FNames;
  std::unique_ptr<TEntryStream> FStream;  // the entry being written in pieces
  int FLevel = -1;
  bool FFinished = false;
  std::string FComment;
};

}  // namespace kv

#endif
