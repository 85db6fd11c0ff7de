// Opens arbitrary bytes as a ZIP archive and reads every entry twice, whole
// and through a stream in pieces whose size the input picks, each with its own
// reader. Every rejection must be a TKvError. Both paths must agree: the same
// bytes or both refused; bytes that were read have the size and CRC-32 the
// directory claims, and a stored entry's bytes are its raw data.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "zip/ZipCrc.h"
#include "zip/ZipReader.h"

namespace {

[[noreturn]] void Finding(const char* What) {
  std::fprintf(stderr, "fuzz_zip: %s\n", What);
  std::abort();
}

std::optional<std::string> ReadWhole(const kv::TZipReader& Zip, size_t I) {
  try {
    return Zip.ReadEntry(I);
  } catch (const kv::TKvError&) {
    return std::nullopt;
  }
}

std::optional<std::string> ReadStreamed(const kv::TZipReader& Zip, size_t I, size_t Piece) {
  try {
    kv::TZipEntryStream Stream(Zip, I);
    std::string Out;
    std::vector<char> Buffer(Piece);
    while (size_t N = Stream.Read(Buffer.data(), Buffer.size())) {
      if (N > Piece) Finding("a stream read returned more than it was asked for");
      Out.append(Buffer.data(), N);
    }
    // After the end a stream stays at the end.
    if (Stream.Read(Buffer.data(), Buffer.size()) != 0) Finding("a stream read past its end");
    return Out;
  } catch (const kv::TKvError&) {
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  std::optional<kv::TZipReader> Whole, Streamed;
  try {
    Whole.emplace(Bytes);
  } catch (const kv::TKvError&) {
    return 0;
  }
  try {
    Streamed.emplace(Bytes);
  } catch (const kv::TKvError&) {
    Finding("the same bytes opened once and were refused once");
  }
  if (Whole->EntryCount() != Streamed->EntryCount()) Finding("entry counts differ");
  // Small pieces cross every inflate boundary; large ones take the fast path.
  const uint8_t Seed = Size ? Data[Size - 1] : 0;
  bool AllRead = true;
  for (size_t I = 0; I < Whole->EntryCount(); ++I) {
    const kv::TZipEntry& E = Whole->Entry(I);
    if (E.Name != Streamed->Entry(I).Name) Finding("entry names differ");
    (void)E.IsDirectory();
    const size_t Piece = (I + Seed) % 3 == 0 ? 1 + (Seed + I) % 17 : 4096 << ((Seed + I) % 5);
    const std::optional<std::string> A = ReadWhole(*Whole, I);
    const std::optional<std::string> B = ReadStreamed(*Streamed, I, Piece);
    if (A.has_value() != B.has_value()) Finding("whole and streamed reads disagree on success");
    if (!A) {
      AllRead = false;
      continue;
    }
    if (*A != *B) Finding("whole and streamed reads gave different bytes");
    if (A->size() != E.UncompressedSize) Finding("an entry read with another size than claimed");
    if (kv::ZipCrc32(*A) != E.Crc32) Finding("an entry read with another CRC-32 than claimed");
    if (E.Method == 0 && Whole->RawData(I) != *A) Finding("a stored entry differs from its data");
  }
  if (AllRead && Whole->TotalInflated() != Streamed->TotalInflated())
    Finding("inflated totals differ");
  return 0;
}
