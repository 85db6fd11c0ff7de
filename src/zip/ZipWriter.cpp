#include "zip/ZipWriter.h"

#include <zlib.h>

#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "zip/ZipFormat.h"

namespace kv {

using namespace zipformat;

namespace {

constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (1 << 5) | 1;  // 1980-01-01
// zlib counts in uInt; big inputs go through it in slices.
constexpr size_t kSlice = size_t(1) << 30;

void Put16(std::string& Out, uint16_t V) {
  Out += char(V & 0xFF);
  Out += char(V >> 8);
}
void Put32(std::string& Out, uint32_t V) {
  for (int I = 0; I < 4; ++I) Out += char((V >> (8 * I)) & 0xFF);
}
void Put64(std::string& Out, uint64_t V) {
  for (int I = 0; I < 8; ++I) Out += char((V >> (8 * I)) & 0xFF);
}
uint32_t Clamp32(uint64_t V) {
  return V >= kSaturated32 ? kSaturated32 : uint32_t(V);
}

bool HasNonAscii(std::string_view S) {
  return std::any_of(S.begin(), S.end(), [](char C) { return (unsigned char)C >= 0x80; });
}

// An entry whose local header starts at Offset; CRC-32 and sizes still zero.
TZipEntry NewEntry(std::string_view Name, TZipMethod Method, uint16_t Flags, uint64_t Offset) {
  TZipEntry E;
  E.Name = std::string(Name);
  E.Method = uint16_t(Method);
  E.Flags = uint16_t((HasNonAscii(Name) ? kFlagUtf8 : 0) | Flags);
  E.ModTime = kDosTime;
  E.ModDate = kDosDate;
  E.LocalHeaderOffset = Offset;
  return E;
}

}  // namespace

std::string ZipDeflateRaw(std::string_view Data, int Level) {
  z_stream Z{};
  if (deflateInit2(&Z, Level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw TKvError("Could not start the deflate compressor.");
  std::string Out;
  Out.resize(std::min<size_t>(Data.size() / 2 + 64, kSlice));
  size_t Produced = 0;
  const auto* In = reinterpret_cast<const Bytef*>(Data.data());
  size_t InLeft = Data.size();
  int Rc = Z_OK;
  while (Rc != Z_STREAM_END) {
    if (Z.avail_in == 0 && InLeft > 0) {
      size_t N = std::min(InLeft, kSlice);
      Z.next_in = const_cast<Bytef*>(In);
      Z.avail_in = uInt(N);
      In += N;
      InLeft -= N;
    }
    if (Produced == Out.size()) Out.resize(Out.size() + std::min(Out.size(), kSlice));
    Z.next_out = reinterpret_cast<Bytef*>(&Out[Produced]);
    Z.avail_out = uInt(std::min(Out.size() - Produced, kSlice));
    const uInt Before = Z.avail_out;
    Rc = deflate(&Z, InLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
    Produced += Before - Z.avail_out;
    if (Rc != Z_OK && Rc != Z_STREAM_END && Rc != Z_BUF_ERROR) {
      deflateEnd(&Z);
      throw TKvError("The deflate compressor failed (zlib error " + std::to_string(Rc) + ").");
    }
  }
  deflateEnd(&Z);
  Out.resize(Produced);
  return Out;
}

struct TZipWriter::TEntryStream {
  z_stream Z{};
  TZipEntry Entry;
  uint32_t Crc = 0;
  std::string Out;  // deflated bytes of one piece
  ~TEntryStream() { deflateEnd(&Z); }
};

TZipWriter::TZipWriter() = default;

TZipWriter::TZipWriter(const std::string& FileName)
    : FFile(std::make_unique<TAtomicFileWriter>(FileName)) {}

TZipWriter::~TZipWriter() = default;

void TZipWriter::SetBeforeReplace(std::function<void()> Check) {
  if (FFile) FFile->SetBeforeReplace(std::move(Check));
}

void TZipWriter::Emit(std::string_view Bytes) {
  if (FFile)
    FFile->Write(Bytes);
  else
    FBuffer.append(Bytes);
  FOffset += Bytes.size();
}

void TZipWriter::CheckName(std::string_view Name) {
  if (FStream) throw TKvError("The ZIP entry " + FStream->Entry.Name + " is still being written.");
  if (FFinished) throw TKvError("The ZIP archive is already finished.");
  if (Name.empty()) throw TKvError("A ZIP entry needs a name.");
  if (Name.size() > kSaturated16)
    throw TKvError("The ZIP entry name is too long: " + std::string(Name.substr(0, 80)) + "...");
  if (FNames.count(Name) != 0)
    throw TKvError("The ZIP archive already holds an entry named " + std::string(Name) + ".");
}

void TZipWriter::AddEntry(std::string_view Name, std::string_view Data, TZipMethod Method) {
  CheckName(Name);
  if (Method == TZipMethod::Stored) {
    AddRawEntry(Name, Method, ZipCrc32(Data), Data.size(), Data);
    return;
  }
  const std::string Packed = ZipDeflateRaw(Data, FLevel);
  AddRawEntry(Name, Method, ZipCrc32(Data), Data.size(), Packed);
}

void TZipWriter::AddRawEntry(std::string_view Name, TZipMethod Method, uint32_t Crc32,
                             uint64_t UncompressedSize, std::string_view StoredBytes) {
  CheckName(Name);
  TZipEntry E = NewEntry(Name, Method, 0, FOffset);
  E.Crc32 = Crc32;
  E.CompressedSize = StoredBytes.size();
  E.UncompressedSize = UncompressedSize;

  PutLocalHeader(E, E.CompressedSize >= kSaturated32 || E.UncompressedSize >= kSaturated32);
  Emit(StoredBytes);
  FNames.insert(E.Name);
  FEntries.push_back(std::move(E));
}

void TZipWriter::PutLocalHeader(const TZipEntry& E, bool Zip64) {
  std::string H;
  H.reserve(kLocalHeaderSize + E.Name.size() + 20);
  Put32(H, kLocalHeaderSig);
  Put16(H, Zip64 ? kVersionZip64 : kVersion);
  Put16(H, E.Flags);
  Put16(H, E.Method);
  Put16(H, E.ModTime);
  Put16(H, E.ModDate);
  Put32(H, E.Crc32);
  Put32(H, Zip64 ? kSaturated32 : uint32_t(E.CompressedSize));
  Put32(H, Zip64 ? kSaturated32 : uint32_t(E.UncompressedSize));
  Put16(H, uint16_t(E.Name.size()));
  Put16(H, Zip64 ? 20 : 0);
  H.append(E.Name);
  if (Zip64) {
    // In a local header the ZIP64 field holds both sizes, uncompressed first.
    Put16(H, kZip64ExtraId);
    Put16(H, 16);
    Put64(H, E.UncompressedSize);
    Put64(H, E.CompressedSize);
  }
  Emit(H);
}

void TZipWriter::BeginEntry(std::string_view Name) {
  CheckName(Name);
  auto S = std::make_unique<TEntryStream>();
  if (deflateInit2(&S->Z, FLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw TKvError("Could not start the deflate compressor.");
  S->Out.resize(size_t{64} << 10);
  S->Entry = NewEntry(Name, TZipMethod::Deflated, kFlagDescriptor, FOffset);
  // CRC-32 and sizes are not known yet: zero here, in the descriptor after the data.
  PutLocalHeader(S->Entry, false);
  FStream = std::move(S);
}

void TZipWriter::Deflate(std::string_view Data, bool Last) {
  TEntryStream& S = *FStream;
  S.Crc = ZipCrc32(Data, S.Crc);
  S.Entry.UncompressedSize += Data.size();
  const auto* In = reinterpret_cast<const Bytef*>(Data.data());
  size_t InLeft = Data.size();
  for (;;) {
    if (S.Z.avail_in == 0 && InLeft > 0) {
      const size_t N = std::min(InLeft, kSlice);
      S.Z.next_in = const_cast<Bytef*>(In);
      S.Z.avail_in = uInt(N);
      In += N;
      InLeft -= N;
    }
    S.Z.next_out = reinterpret_cast<Bytef*>(S.Out.data());
    S.Z.avail_out = uInt(S.Out.size());
    const int Rc = deflate(&S.Z, Last && InLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (Rc != Z_OK && Rc != Z_STREAM_END && Rc != Z_BUF_ERROR)
      throw TKvError("The deflate compressor failed (zlib error " + std::to_string(Rc) + ").");
    const size_t Produced = S.Out.size() - S.Z.avail_out;
    Emit(std::string_view(S.Out.data(), Produced));
    S.Entry.CompressedSize += Produced;
    if (Rc == Z_STREAM_END) return;
    if (!Last && InLeft == 0 && S.Z.avail_in == 0 && S.Z.avail_out != 0) return;
  }
}

void TZipWriter::WriteEntryData(std::string_view Data) {
  if (!FStream) throw TKvError("No ZIP entry is being written.");
  if (!Data.empty()) Deflate(Data, false);
}

void TZipWriter::EndEntry() {
  if (!FStream) throw TKvError("No ZIP entry is being written.");
  Deflate({}, true);
  TZipEntry E = std::move(FStream->Entry);
  E.Crc32 = FStream->Crc;
  FStream.reset();
  std::string D;
  Put32(D, kDescriptorSig);
  Put32(D, E.Crc32);
  if (E.CompressedSize >= kSaturated32 || E.UncompressedSize >= kSaturated32) {
    Put64(D, E.CompressedSize);
    Put64(D, E.UncompressedSize);
  } else {
    Put32(D, uint32_t(E.CompressedSize));
    Put32(D, uint32_t(E.UncompressedSize));
  }
  Emit(D);
  FNames.insert(E.Name);
  FEntries.push_back(std::move(E));
}

void TZipWriter::Finish() {
  if (FStream) throw TKvError("The ZIP entry " + FStream->Entry.Name + " is still being written.");
  if (FFinished) throw TKvError("The ZIP archive is already finished.");
  const uint64_t CdStart = FOffset;
  bool NeedZip64End = FEntries.size() >= kSaturated16;
  for (const TZipEntry& E : FEntries) {
    std::string Extra;
    if (E.UncompressedSize >= kSaturated32) Put64(Extra, E.UncompressedSize);
    if (E.CompressedSize >= kSaturated32) Put64(Extra, E.CompressedSize);
    if (E.LocalHeaderOffset >= kSaturated32) Put64(Extra, E.LocalHeaderOffset);
    std::string H;
    Put32(H, kCentralHeaderSig);
    Put16(H, Extra.empty() ? kVersion : kVersionZip64);  // made by: MS-DOS attributes
    Put16(H, Extra.empty() ? kVersion : kVersionZip64);
    Put16(H, E.Flags);
    Put16(H, E.Method);
    Put16(H, E.ModTime);
    Put16(H, E.ModDate);
    Put32(H, E.Crc32);
    Put32(H, Clamp32(E.CompressedSize));
    Put32(H, Clamp32(E.UncompressedSize));
    Put16(H, uint16_t(E.Name.size()));
    Put16(H, uint16_t(Extra.empty() ? 0 : Extra.size() + 4));
    Put16(H, 0);  // comment
    Put16(H, 0);  // disk
    Put16(H, 0);  // internal attributes
    Put32(H, 0);  // external attributes
    Put32(H, Clamp32(E.LocalHeaderOffset));
    H += E.Name;
    if (!Extra.empty()) {
      Put16(H, kZip64ExtraId);
      Put16(H, uint16_t(Extra.size()));
      H += Extra;
    }
    Emit(H);
  }
  const uint64_t CdSize = FOffset - CdStart;
  NeedZip64End = NeedZip64End || CdStart >= kSaturated32 || CdSize >= kSaturated32;

  std::string T;
  if (NeedZip64End) {
    const uint64_t Zip64EndAt = FOffset;
    Put32(T, kZip64EndSig);
    Put64(T, kZip64EndSizeField);
    Put16(T, kVersionZip64);
    Put16(T, kVersionZip64);
    Put32(T, 0);
    Put32(T, 0);
    Put64(T, FEntries.size());
    Put64(T, FEntries.size());
    Put64(T, CdSize);
    Put64(T, CdStart);
    Put32(T, kZip64LocatorSig);
    Put32(T, 0);
    Put64(T, Zip64EndAt);
    Put32(T, 1);
  }
  const uint16_t Count = FEntries.size() >= kSaturated16 ? kSaturated16 : uint16_t(FEntries.size());
  Put32(T, kEndSig);
  Put16(T, 0);
  Put16(T, 0);
  Put16(T, Count);
  Put16(T, Count);
  Put32(T, Clamp32(CdSize));
  Put32(T, Clamp32(CdStart));
  Put16(T, uint16_t(FComment.size()));
  T += FComment;
  Emit(T);
  if (FFile) FFile->Commit();
  FFinished = true;
}

std::string TZipWriter::TakeBytes() {
  std::string Out;
  Out.swap(FBuffer);
  return Out;
}

}  // namespace kv
