#include "zip/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/Error.h"
#include "base/Text.h"
#include "zip/ZipFormat.h"

namespace kv {

using namespace zipformat;

namespace {

uint16_t Get16(const std::string& B, uint64_t At) {
  return static_cast<uint16_t>(static_cast<uint8_t>(B[At]) | static_cast<uint8_t>(B[At + 1]) << 8);
}
uint32_t Get32(const std::string& B, uint64_t At) {
  return uint32_t{Get16(B, At)} | uint32_t{Get16(B, At + 2)} << 16;
}
uint64_t Get64(const std::string& B, uint64_t At) {
  return uint64_t{Get32(B, At)} | uint64_t{Get32(B, At + 4)} << 32;
}

[[noreturn]] void RaiseDamaged(const std::string& What) {
  throw TKvError("The ZIP package is damaged: " + What + ".");
}

// The upper half of code page 437, which ZIP uses for names without the UTF-8 flag.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string Cp437ToUtf8(std::string_view Bytes) {
  std::string Out;
  for (char C : Bytes) {
    const auto B = static_cast<uint8_t>(C);
    if (B < 0x80)
      Out += C;
    else
      Out += CodePointToUtf8(kCp437High[B - 0x80]);
  }
  return Out;
}

std::string Quoted(const std::string& Name) {
  return "\"" + Name + "\"";
}

[[noreturn]] void RaiseTooManyEntries(const TZipLimits& Limits) {
  throw TKvError("The ZIP package has more than " + std::to_string(Limits.MaxEntries) +
                 " entries; it is refused.");
}

// Offset of the end record, which sits behind an optional comment of at most
// 64 KiB. Raises: the not-a-package error.
uint64_t FindEndRecord(const std::string& B) {
  const uint64_t Size = B.size();
  if (Size >= kEndSize) {
    const uint64_t Lowest =
        Size > kEndSize + kMaxCommentSize ? Size - kEndSize - kMaxCommentSize : 0;
    for (uint64_t At = Size - kEndSize + 1; At-- > Lowest;)
      if (Get32(B, At) == kEndSig && At + kEndSize + Get16(B, At + 20) <= Size) return At;
  }
  throw TKvError("The file is not a ZIP package (no central directory found).");
}

// Where the central directory lies in the bytes: [Start, End), the entry
// count it claims, and Bias, the length of any data in front of the archive
// (a stub), which shifts every recorded offset by the same amount.
struct TDirectory {
  uint64_t Start = 0;
  uint64_t End = 0;
  uint64_t Count = 0;
  uint64_t Bias = 0;
};

// The directory as the end record at End says, or its ZIP64 end record when
// a locator precedes it. Raises: the damage error.
TDirectory LocateDirectory(const std::string& B, uint64_t End) {
  const uint64_t Size = B.size();
  uint64_t Count = Get16(B, End + 10);
  uint64_t DirSize = Get32(B, End + 12);
  uint64_t DirOffset = Get32(B, End + 16);
  uint64_t DirEnd = End;
  if (End >= kZip64LocatorSize && Get32(B, End - kZip64LocatorSize) == kZip64LocatorSig) {
    uint64_t Rec = Get64(B, End - kZip64LocatorSize + 8);
    // With data in front of the archive the recorded offset is short by its
    // length; the record then usually sits right before the locator.
    const auto IsZip64End = [&](uint64_t At) {
      return At <= Size && Size - At >= kZip64EndSize && Get32(B, At) == kZip64EndSig;
    };
    if (!IsZip64End(Rec) && End >= kZip64EndSize + kZip64LocatorSize)
      Rec = End - kZip64EndSize - kZip64LocatorSize;
    if (!IsZip64End(Rec)) RaiseDamaged("the ZIP64 end record is missing");
    Count = Get64(B, Rec + 32);
    DirSize = Get64(B, Rec + 40);
    DirOffset = Get64(B, Rec + 48);
    DirEnd = Rec;
  }
  if (DirSize > DirEnd) RaiseDamaged("the central directory lies outside the file");
  const uint64_t DirStart = DirEnd - DirSize;
  if (DirOffset > DirStart) RaiseDamaged("the central directory lies outside the file");
  return {DirStart, DirEnd, Count, DirStart - DirOffset};
}

// Replaces E's saturated sizes and offset by the 64-bit values of the ZIP64
// extra field among the Len bytes of extra fields at X. Raises: the damage
// error when the field is too short for them.
void ReadZip64Extra(const std::string& B, uint64_t X, uint64_t Len, TZipEntry& E) {
  for (const uint64_t XEnd = X + Len; X + 4 <= XEnd;) {
    const uint16_t Id = Get16(B, X);
    const uint16_t FieldLen = Get16(B, X + 2);
    if (X + 4 + FieldLen > XEnd) break;
    if (Id == kZip64ExtraId) {
      uint64_t F = X + 4;
      const uint64_t FEnd = F + FieldLen;
      auto Take = [&](uint64_t& Field) {
        if (F + 8 > FEnd) RaiseDamaged("the ZIP64 field of " + Quoted(E.Name) + " is cut short");
        Field = Get64(B, F);
        F += 8;
      };
      if (E.UncompressedSize == kSaturated32) Take(E.UncompressedSize);
      if (E.CompressedSize == kSaturated32) Take(E.CompressedSize);
      if (E.LocalHeaderOffset == kSaturated32) Take(E.LocalHeaderOffset);
    }
    X += 4 + FieldLen;
  }
}

// The central directory header at At (before DirEnd) into E; returns the
// offset of the next one. Raises: the damage error.
uint64_t ReadCentralHeader(const std::string& B, uint64_t At, uint64_t DirEnd, TZipEntry& E) {
  if (DirEnd - At < kCentralHeaderSize) RaiseDamaged("a central directory record is cut short");
  E.Flags = Get16(B, At + 8);
  E.Method = Get16(B, At + 10);
  E.ModTime = Get16(B, At + 12);
  E.ModDate = Get16(B, At + 14);
  E.Crc32 = Get32(B, At + 16);
  E.CompressedSize = Get32(B, At + 20);
  E.UncompressedSize = Get32(B, At + 24);
  const uint16_t NameLen = Get16(B, At + 28);
  const uint16_t ExtraLen = Get16(B, At + 30);
  const uint16_t CommentLen = Get16(B, At + 32);
  E.LocalHeaderOffset = Get32(B, At + 42);
  const uint64_t Next = At + kCentralHeaderSize + NameLen + ExtraLen + CommentLen;
  if (Next > DirEnd) RaiseDamaged("a central directory record is cut short");
  const std::string_view Name(B.data() + At + kCentralHeaderSize, NameLen);
  E.Name = (E.Flags & kFlagUtf8) ? std::string(Name) : Cp437ToUtf8(Name);
  ReadZip64Extra(B, At + kCentralHeaderSize + NameLen, ExtraLen, E);
  return Next;
}

}  // namespace

TZipReader::TZipReader(std::string Bytes, TZipLimits Limits)
    : FBytes(std::move(Bytes)), FLimits(Limits) {
  ReadDirectory();
}

TZipReader::~TZipReader() = default;

void TZipReader::ReadDirectory() {
  const std::string& B = FBytes;
  const uint64_t End = FindEndRecord(B);
  FComment = std::string_view(B.data() + End + kEndSize, Get16(B, End + 20));
  const TDirectory Dir = LocateDirectory(B, End);
  if (Dir.Count > FLimits.MaxEntries ||
      (Dir.End - Dir.Start) / kCentralHeaderSize > FLimits.MaxEntries + 1)
    RaiseTooManyEntries(FLimits);
  FEntries.reserve(static_cast<size_t>(
      std::min<uint64_t>(Dir.Count, (Dir.End - Dir.Start) / kCentralHeaderSize)));
  uint64_t At = Dir.Start;
  while (At + 4 <= Dir.End && Get32(B, At) == kCentralHeaderSig) {
    TZipEntry E;
    At = ReadCentralHeader(B, At, Dir.End, E);
    E.LocalHeaderOffset += Dir.Bias;
    if (FEntries.size() >= FLimits.MaxEntries) RaiseTooManyEntries(FLimits);
    FEntries.push_back(std::move(E));
  }
  if (FEntries.size() < Dir.Count && Dir.Count <= kSaturated16 &&
      FEntries.size() != (Dir.Count & kSaturated16))
    RaiseDamaged("the central directory lists " + std::to_string(Dir.Count) +
                 " entries but holds " + std::to_string(FEntries.size()));
}

std::string_view TZipReader::RawData(size_t Index) const {
  const TZipEntry& E = FEntries[Index];
  const std::string& B = FBytes;
  const uint64_t Lho = E.LocalHeaderOffset;
  if (Lho > B.size() || B.size() - Lho < kLocalHeaderSize || Get32(B, Lho) != kLocalHeaderSig)
    RaiseDamaged("the local header of " + Quoted(E.Name) + " is missing");
  const uint64_t Data = Lho + kLocalHeaderSize + Get16(B, Lho + 26) + Get16(B, Lho + 28);
  if (Data > B.size() || B.size() - Data < E.CompressedSize)
    RaiseDamaged("the data of " + Quoted(E.Name) + " runs past the end of the file");
  return std::string_view(B.data() + Data, static_cast<size_t>(E.CompressedSize));
}

struct TZipEntryStream::TState {
  const TZipReader& Reader;
  const TZipEntry& Entry;
  std::string_view Raw;
  z_stream Z{};
  bool Inflating = false;
  bool Done = false;
  uint64_t Produced = 0;
  uint32_t Crc = 0;

  TState(const TZipReader& R, size_t Index) : Reader(R), Entry(R.Entry(Index)) {}
  ~TState() {
    if (Inflating) inflateEnd(&Z);
  }

  void Count(size_t N) {
    Produced += N;
    Reader.FTotalInflated += N;
    const TZipLimits& L = Reader.FLimits;
    if (Produced > L.MaxEntryBytes)
      throw TKvError("The entry " + Quoted(Entry.Name) + " inflates to more than " +
                     std::to_string(L.MaxEntryBytes >> 20) +
                     " MiB; the package is refused as a possible zip bomb.");
    if (Produced > L.RatioCheckAfterBytes && Produced / L.MaxRatio > Entry.CompressedSize)
      throw TKvError("The entry " + Quoted(Entry.Name) + " inflates to more than " +
                     std::to_string(L.MaxRatio) +
                     " times its compressed size; the package is refused as a possible zip bomb.");
    if (Reader.FTotalInflated > L.MaxTotalBytes)
      throw TKvError("The package inflates to more than " + std::to_string(L.MaxTotalBytes >> 20) +
                     " MiB in all (at the entry " + Quoted(Entry.Name) +
                     "); it is refused as a possible zip bomb.");
  }

  void Finish() {
    Done = true;
    if (Produced != Entry.UncompressedSize)
      RaiseDamaged("the entry " + Quoted(Entry.Name) + " does not have the size its header gives");
    if (Crc != Entry.Crc32)
      RaiseDamaged("the entry " + Quoted(Entry.Name) + " fails its CRC-32 check");
  }
};

TZipEntryStream::TZipEntryStream(const TZipReader& Reader, size_t Index)
    : FState(std::make_unique<TState>(Reader, Index)) {
  TState& S = *FState;
  const TZipEntry& E = S.Entry;
  if (E.IsEncrypted())
    throw TKvError("The entry " + Quoted(E.Name) +
                   " is encrypted; password-protected packages cannot be read.");
  if (E.Method != kMethodStored && E.Method != kMethodDeflated)
    throw TKvError("The entry " + Quoted(E.Name) + " uses compression method " +
                   std::to_string(E.Method) + ", which cannot be read (only stored and deflated).");
  S.Raw = Reader.RawData(Index);
  if (E.Method == kMethodDeflated) {
    if (inflateInit2(&S.Z, -MAX_WBITS) != Z_OK) throw TKvError("Out of memory while inflating.");
    S.Inflating = true;
  }
}

TZipEntryStream::~TZipEntryStream() = default;

size_t TZipEntryStream::Read(char* Buffer, size_t Max) {
  TState& S = *FState;
  if (S.Done || Max == 0) return 0;
  Max = std::min<size_t>(Max, 1u << 30);
  size_t N = 0;
  bool Ended = false;
  if (!S.Inflating) {
    N = std::min(Max, S.Raw.size());
    std::memcpy(Buffer, S.Raw.data(), N);
    S.Raw.remove_prefix(N);
    Ended = S.Raw.empty();
  } else {
    for (;;) {
      S.Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(S.Raw.data()));
      S.Z.avail_in = static_cast<uInt>(std::min<size_t>(S.Raw.size(), 1u << 30));
      S.Z.next_out = reinterpret_cast<Bytef*>(Buffer);
      S.Z.avail_out = static_cast<uInt>(Max);
      const uInt InBefore = S.Z.avail_in;
      const int Rc = inflate(&S.Z, Z_NO_FLUSH);
      S.Raw.remove_prefix(InBefore - S.Z.avail_in);
      N = Max - S.Z.avail_out;
      if (Rc == Z_STREAM_END) {
        Ended = true;
        break;
      }
      if (Rc == Z_OK || Rc == Z_BUF_ERROR) {
        if (N > 0) break;
        if (S.Raw.empty()) RaiseDamaged("the entry " + Quoted(S.Entry.Name) + " ends early");
        if (Rc == Z_OK) continue;
      }
      RaiseDamaged("the compressed data of " + Quoted(S.Entry.Name) + " is invalid");
    }
  }
  S.Crc = ZipCrc32(std::string_view(Buffer, N), S.Crc);
  S.Count(N);
  if (Ended) S.Finish();
  return N;
}

std::string TZipReader::ReadEntry(size_t Index) const {
  TZipEntryStream Stream(*this, Index);
  std::string Out;
  Out.resize(static_cast<size_t>(
      std::clamp<uint64_t>(FEntries[Index].UncompressedSize + 1, 4096, uint64_t{8} << 20)));
  size_t Used = 0;
  for (;;) {
    if (Used == Out.size()) Out.resize(Out.size() * 2);
    const size_t N = Stream.Read(Out.data() + Used, Out.size() - Used);
    if (N == 0) break;
    Used += N;
  }
  Out.resize(Used);
  return Out;
}

}  // namespace kv
