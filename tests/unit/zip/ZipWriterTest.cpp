// The archive is read back here by a small reader written from the published
// ZIP layout (end record first, then the central directory, then each local
// header) and zlib's own inflate, not by the project's ZIP reader.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TempDir.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

namespace kv {

namespace {

uint64_t Le(const std::string& B, size_t At, int Bytes) {
  if (At + size_t(Bytes) > B.size()) throw std::runtime_error("read past the end");
  uint64_t V = 0;
  for (int I = Bytes - 1; I >= 0; --I) V = (V << 8) | (unsigned char)B[At + size_t(I)];
  return V;
}

struct TReadEntry {
  std::string Name;
  uint16_t Flags = 0, Method = 0;
  uint32_t Crc = 0;
  uint64_t Compressed = 0, Uncompressed = 0, Offset = 0;
  std::string Data;  // uncompressed
  std::string Raw;   // as stored
};

std::string Inflate(const std::string& Raw, uint64_t Size) {
  z_stream Z{};
  EXPECT_EQ(inflateInit2(&Z, -MAX_WBITS), Z_OK);
  std::string Out(Size, '\0');
  Z.next_in = (Bytef*)Raw.data();
  Z.avail_in = uInt(Raw.size());
  Z.next_out = (Bytef*)Out.data();
  Z.avail_out = uInt(Out.size());
  const int Rc = inflate(&Z, Z_FINISH);
  inflateEnd(&Z);
  if (Rc != Z_STREAM_END) throw std::runtime_error("inflate failed");
  return Out;
}

struct TReadArchive {
  uint64_t EntryCount = 0;
  bool Zip64End = false;
  std::vector<TReadEntry> Entries;
};

TReadArchive ReadArchive(const std::string& B) {
  TReadArchive A;
  const size_t End = B.rfind(std::string("PK\x05\x06", 4));
  if (End == std::string::npos || End + 22 + Le(B, End + 20, 2) != B.size())
    throw std::runtime_error("no end record");
  uint64_t Count = Le(B, End + 10, 2), CdSize = Le(B, End + 12, 4), CdAt = Le(B, End + 16, 4);
  if (End >= 20 && Le(B, End - 20, 4) == 0x07064b50) {
    const uint64_t At = Le(B, End - 12, 8);
    if (Le(B, At, 4) != 0x06064b50) throw std::runtime_error("bad ZIP64 end record");
    A.Zip64End = true;
    Count = Le(B, At + 32, 8);
    CdSize = Le(B, At + 40, 8);
    CdAt = Le(B, At + 48, 8);
  }
  A.EntryCount = Count;
  size_t P = CdAt;
  for (uint64_t I = 0; I < Count; ++I) {
    if (Le(B, P, 4) != 0x02014b50) throw std::runtime_error("bad central header");
    TReadEntry E;
    E.Flags = uint16_t(Le(B, P + 8, 2));
    E.Method = uint16_t(Le(B, P + 10, 2));
    E.Crc = uint32_t(Le(B, P + 16, 4));
    E.Compressed = Le(B, P + 20, 4);
    E.Uncompressed = Le(B, P + 24, 4);
    const size_t NameLen = Le(B, P + 28, 2), ExtraLen = Le(B, P + 30, 2),
                 CommentLen = Le(B, P + 32, 2);
    E.Offset = Le(B, P + 42, 4);
    E.Name = B.substr(P + 46, NameLen);
    P += 46 + NameLen + ExtraLen + CommentLen;

    const size_t L = E.Offset;
    if (Le(B, L, 4) != 0x04034b50) throw std::runtime_error("bad local header");
    EXPECT_EQ(Le(B, L + 6, 2), E.Flags);
    EXPECT_EQ(Le(B, L + 8, 2), E.Method);
    const bool Descriptor = (E.Flags & 0x0008) != 0;  // CRC and sizes after the data
    EXPECT_EQ(Le(B, L + 14, 4), Descriptor ? 0 : E.Crc);
    EXPECT_EQ(Le(B, L + 18, 4), Descriptor ? 0 : E.Compressed);
    EXPECT_EQ(Le(B, L + 22, 4), Descriptor ? 0 : E.Uncompressed);
    const size_t LName = Le(B, L + 26, 2), LExtra = Le(B, L + 28, 2);
    EXPECT_EQ(B.substr(L + 30, LName), E.Name);
    E.Raw = B.substr(L + 30 + LName + LExtra, E.Compressed);
    if (Descriptor) {
      const size_t D = L + 30 + LName + LExtra + E.Compressed;
      EXPECT_EQ(Le(B, D, 4), 0x08074b50u);
      EXPECT_EQ(Le(B, D + 4, 4), E.Crc);
      EXPECT_EQ(Le(B, D + 8, 4), E.Compressed);
      EXPECT_EQ(Le(B, D + 12, 4), E.Uncompressed);
    }
    E.Data = E.Method == 8 ? Inflate(E.Raw, E.Uncompressed) : E.Raw;
    A.Entries.push_back(std::move(E));
  }
  EXPECT_EQ(P, CdAt + CdSize);
  return A;
}

std::string Bytes(TZipWriter& W) {
  W.Finish();
  return W.TakeBytes();
}

}  // namespace

TEST(ZipWriter, CrcMatchesTheStandardCheckValue) {
  EXPECT_EQ(ZipCrc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(ZipCrc32("6789", ZipCrc32("12345")), 0xCBF43926u);
  EXPECT_EQ(ZipCrc32(""), 0u);
}

TEST(ZipWriter, EntriesReadBackInOrderWithTheirBytes) {
  std::string Big;
  for (int I = 0; I < 20000; ++I) Big += "row " + std::to_string(I % 97) + "\r\n";
  const std::string Binary("\0\xff\x01\x80zip", 7);
  TZipWriter W;
  W.AddEntry("[Content_Types].xml", "<Types/>");
  W.AddEntry("xl/big.txt", Big);
  W.AddEntry("bin/stored.dat", Binary, TZipMethod::Stored);
  W.AddEntry("empty", "");
  EXPECT_EQ(W.EntryCount(), 4u);
  const TReadArchive A = ReadArchive(Bytes(W));
  ASSERT_EQ(A.Entries.size(), 4u);
  EXPECT_FALSE(A.Zip64End);
  const char* Names[] = {"[Content_Types].xml", "xl/big.txt", "bin/stored.dat", "empty"};
  const std::string Datas[] = {"<Types/>", Big, Binary, ""};
  for (size_t I = 0; I < 4; ++I) {
    const TReadEntry& E = A.Entries[I];
    EXPECT_EQ(E.Name, Names[I]);
    EXPECT_EQ(E.Data, Datas[I]);
    EXPECT_EQ(E.Uncompressed, Datas[I].size());
    EXPECT_EQ(E.Crc, uint32_t(crc32(0, (const Bytef*)Datas[I].data(), uInt(Datas[I].size()))));
    EXPECT_EQ(E.Flags, 0);
  }
  EXPECT_EQ(A.Entries[1].Method, 8);
  EXPECT_LT(A.Entries[1].Compressed, Big.size() / 10);
  EXPECT_EQ(A.Entries[2].Method, 0);
  EXPECT_EQ(A.Entries[2].Raw, Binary);
}

TEST(ZipWriter, EntryWrittenInPiecesEqualsTheWholeOne) {
  std::string Big;
  for (int I = 0; I < 50000; ++I) Big += "<c>" + std::to_string(I % 1013) + "</c>";
  TZipWriter W;
  W.AddEntry("before", "x");
  W.BeginEntry("streamed.xml");
  EXPECT_THROW(W.AddEntry("other", "y"), TKvError);
  EXPECT_THROW(W.Finish(), TKvError);
  for (size_t At = 0; At < Big.size(); At += 7777) W.WriteEntryData(Big.substr(At, 7777));
  W.EndEntry();
  W.AddEntry("after", "z");
  EXPECT_THROW(W.EndEntry(), TKvError);
  const TReadArchive A = ReadArchive(Bytes(W));
  ASSERT_EQ(A.Entries.size(), 3u);
  const TReadEntry& E = A.Entries[1];
  EXPECT_EQ(E.Name, "streamed.xml");
  EXPECT_EQ(E.Flags, 0x0008);  // sizes and CRC in a data descriptor
  EXPECT_EQ(E.Data, Big);
  EXPECT_EQ(E.Crc, ZipCrc32(Big));
  // The same deflate stream as the entry made in one piece.
  EXPECT_EQ(E.Raw, ZipDeflateRaw(Big));
  EXPECT_EQ(A.Entries[2].Data, "z");
}

// An entry written in pieces has its sizes after the data; readers take it
// like any other, and the archive comment is where readers look for it.
TEST(ZipWriter, EntryWrittenInPiecesAndTheCommentReadBack) {
  std::string Big;
  for (int I = 0; I < 30000; ++I) Big += "<c r=\"A" + std::to_string(I) + "\"/>";
  TZipWriter W;
  W.AddEntry("first", "1");
  W.BeginEntry("xl/worksheets/sheet1.xml");
  EXPECT_THROW(W.AddEntry("other", "x"), TKvError);
  for (size_t At = 0; At < Big.size(); At += 7777) W.WriteEntryData(Big.substr(At, 7777));
  W.EndEntry();
  W.AddEntry("last", "2");
  W.SetComment("made here");
  const std::string Archive = Bytes(W);
  EXPECT_EQ(Archive.substr(Archive.size() - 9), "made here");
  TZipReader Z(Archive);
  ASSERT_EQ(Z.EntryCount(), 3u);
  EXPECT_EQ(Z.Entry(1).Flags & 0x0008, 0x0008);
  EXPECT_EQ(Z.ReadEntry(1), Big);
  EXPECT_EQ(Z.ReadEntry(2), "2");
  EXPECT_EQ(Z.Comment(), "made here");
  const TReadArchive A = ReadArchive(Archive);
  EXPECT_EQ(A.Entries[1].Data, Big);
}

TEST(ZipWriter, NonAsciiNamesCarryTheUtf8Flag) {
  TZipWriter W;
  W.AddEntry("plain.txt", "a");
  W.AddEntry("Ums\xC3\xA4tze/\xD0\x9B.txt", "b");
  const TReadArchive A = ReadArchive(Bytes(W));
  EXPECT_EQ(A.Entries[0].Flags & 0x0800, 0);
  EXPECT_EQ(A.Entries[1].Flags & 0x0800, 0x0800);
  EXPECT_EQ(A.Entries[1].Name, "Ums\xC3\xA4tze/\xD0\x9B.txt");
}

TEST(ZipWriter, RawEntryIsCopiedVerbatim) {
  const std::string Text = "copied unchanged from another package";
  const std::string Packed = ZipDeflateRaw(Text, 9);
  TZipWriter W;
  W.AddRawEntry("xl/styles.xml", TZipMethod::Deflated, ZipCrc32(Text), Text.size(), Packed);
  const TReadArchive A = ReadArchive(Bytes(W));
  ASSERT_EQ(A.Entries.size(), 1u);
  EXPECT_EQ(A.Entries[0].Raw, Packed);
  EXPECT_EQ(A.Entries[0].Data, Text);
}

TEST(ZipWriter, BadNamesAndLateAddsAreRefused) {
  TZipWriter W;
  W.AddEntry("a.xml", "1");
  EXPECT_THROW(W.AddEntry("a.xml", "2"), TKvError);
  EXPECT_THROW(W.AddEntry("", "2"), TKvError);
  EXPECT_THROW(W.AddEntry(std::string(70000, 'n'), "2"), TKvError);
  W.Finish();
  EXPECT_THROW(W.AddEntry("b.xml", "3"), TKvError);
  EXPECT_THROW(W.Finish(), TKvError);
  EXPECT_EQ(ReadArchive(W.TakeBytes()).Entries.size(), 1u);
}

TEST(ZipWriter, EmptyArchiveIsJustTheEndRecord) {
  TZipWriter W;
  const std::string B = Bytes(W);
  ASSERT_EQ(B.size(), 22u);
  EXPECT_EQ(ReadArchive(B).EntryCount, 0u);
}

TEST(ZipWriter, MoreThan65534EntriesUseTheZip64EndRecord) {
  TZipWriter W;
  const int N = 70000;
  for (int I = 0; I < N; ++I) W.AddEntry("e" + std::to_string(I), "", TZipMethod::Stored);
  const std::string B = Bytes(W);
  EXPECT_EQ(Le(B, B.size() - 22 + 10, 2), 0xFFFFu);
  const TReadArchive A = ReadArchive(B);
  EXPECT_TRUE(A.Zip64End);
  ASSERT_EQ(A.Entries.size(), size_t(N));
  EXPECT_EQ(A.Entries.back().Name, "e69999");
}

TEST(ZipWriter, FileAppearsOnlyWhenFinished) {
  test::TTempDir Dir;
  const std::string Target = Dir.File("out.zip");
  WriteWholeFile(Target, "old contents");
  {
    TZipWriter W(Target);
    W.AddEntry("a.txt", "abandoned");
  }
  EXPECT_EQ(ReadWholeFile(Target), "old contents");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"out.zip"});
  {
    TZipWriter W(Target);
    W.AddEntry("a.txt", "kept");
    EXPECT_EQ(ReadWholeFile(Target), "old contents");
    W.Finish();
  }
  const TReadArchive A = ReadArchive(ReadWholeFile(Target));
  ASSERT_EQ(A.Entries.size(), 1u);
  EXPECT_EQ(A.Entries[0].Data, "kept");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"out.zip"});
}

TEST(ZipWriter, UnwritableFolderIsReported) {
  test::TTempDir Dir;
  EXPECT_THROW(TZipWriter(Dir.File("missing/out.zip")), TKvError);
}

}  // namespace kv
