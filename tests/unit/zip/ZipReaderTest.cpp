// The ZIP container reader, against archives assembled byte by byte here so
// that each header field can be set the way some producer or attacker sets it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

namespace kv {
namespace {

void Put16(std::string& B, uint32_t V) {
  B += static_cast<char>(V & 0xFF);
  B += static_cast<char>((V >> 8) & 0xFF);
}
void Put32(std::string& B, uint32_t V) {
  Put16(B, V & 0xFFFF);
  Put16(B, V >> 16);
}
void Put64(std::string& B, uint64_t V) {
  Put32(B, static_cast<uint32_t>(V));
  Put32(B, static_cast<uint32_t>(V >> 32));
}

struct TRawEntry {
  std::string Name;
  std::string Data;  // uncompressed
  uint16_t Method = 8;
  uint16_t Flags = 0;
  bool BadCrc = false;
  bool Descriptor = false;  // sizes only in a data descriptor after the data
};

// An archive of Entries, optionally with ZIP64 end records and extra fields
// and with Prefix bytes in front (as a self-extracting stub has).
std::string BuildZip(const std::vector<TRawEntry>& Entries, bool Zip64 = false,
                     const std::string& Prefix = "") {
  std::string Out = Prefix, Central;
  for (const TRawEntry& E : Entries) {
    const std::string Stored = E.Method == 8 ? ZipDeflateRaw(E.Data) : E.Data;
    const uint32_t Crc = ZipCrc32(E.Data) ^ (E.BadCrc ? 1u : 0u);
    const uint64_t Offset = Out.size() - Prefix.size();
    const uint16_t Flags = E.Flags | (E.Descriptor ? 8 : 0);
    Put32(Out, 0x04034b50);
    Put16(Out, 20);
    Put16(Out, Flags);
    Put16(Out, E.Method);
    Put32(Out, 0);
    Put32(Out, E.Descriptor ? 0 : Crc);
    Put32(Out, E.Descriptor ? 0 : static_cast<uint32_t>(Stored.size()));
    Put32(Out, E.Descriptor ? 0 : static_cast<uint32_t>(E.Data.size()));
    Put16(Out, static_cast<uint32_t>(E.Name.size()));
    Put16(Out, 0);
    Out += E.Name + Stored;
    if (E.Descriptor) {
      Put32(Out, 0x08074b50);
      Put32(Out, Crc);
      Put32(Out, static_cast<uint32_t>(Stored.size()));
      Put32(Out, static_cast<uint32_t>(E.Data.size()));
    }
    std::string Extra;
    if (Zip64) {
      Put16(Extra, 1);
      Put16(Extra, 24);
      Put64(Extra, E.Data.size());
      Put64(Extra, Stored.size());
      Put64(Extra, Offset);
    }
    Put32(Central, 0x02014b50);
    Put16(Central, 45);
    Put16(Central, 45);
    Put16(Central, Flags);
    Put16(Central, E.Method);
    Put32(Central, 0);
    Put32(Central, Crc);
    Put32(Central, Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(Stored.size()));
    Put32(Central, Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(E.Data.size()));
    Put16(Central, static_cast<uint32_t>(E.Name.size()));
    Put16(Central, static_cast<uint32_t>(Extra.size()));
    Put16(Central, 0);
    Put16(Central, 0);
    Put16(Central, 0);
    Put32(Central, 0);
    Put32(Central, Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(Offset));
    Central += E.Name + Extra;
  }
  const uint64_t DirOffset = Out.size() - Prefix.size();
  Out += Central;
  if (Zip64) {
    const uint64_t Rec = Out.size() - Prefix.size();
    Put32(Out, 0x06064b50);
    Put64(Out, 44);
    Put16(Out, 45);
    Put16(Out, 45);
    Put32(Out, 0);
    Put32(Out, 0);
    Put64(Out, Entries.size());
    Put64(Out, Entries.size());
    Put64(Out, Central.size());
    Put64(Out, DirOffset);
    Put32(Out, 0x07064b50);
    Put32(Out, 0);
    Put64(Out, Rec);
    Put32(Out, 1);
  }
  Put32(Out, 0x06054b50);
  Put16(Out, 0);
  Put16(Out, 0);
  Put16(Out, Zip64 ? 0xFFFF : static_cast<uint32_t>(Entries.size()));
  Put16(Out, Zip64 ? 0xFFFF : static_cast<uint32_t>(Entries.size()));
  Put32(Out, Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(Central.size()));
  Put32(Out, Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(DirOffset));
  Put16(Out, 0);
  return Out;
}

std::string ErrorOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const TKvError& E) {
    return E.what();
  }
  return "";
}

TEST(ZipReader, ReadsStoredDeflatedAndDescriptorEntriesInDirectoryOrder) {
  const std::string Big(200000, 'q');
  TZipReader Z(BuildZip({{"a.xml", "<a/>", 0},
                         {"b.xml", Big, 8},
                         {"c.xml", "late sizes", 8, 0, false, true},
                         {"empty", "", 0}}));
  ASSERT_EQ(Z.EntryCount(), 4u);
  EXPECT_EQ(Z.Entry(0).Name, "a.xml");
  EXPECT_EQ(Z.ReadEntry(0), "<a/>");
  EXPECT_EQ(Z.ReadEntry(1), Big);
  EXPECT_EQ(Z.ReadEntry(2), "late sizes");
  EXPECT_EQ(Z.ReadEntry(3), "");
  EXPECT_EQ(Z.RawData(1), ZipDeflateRaw(Big));
  EXPECT_EQ(Z.TotalInflated(), 4 + Big.size() + 10);
}

TEST(ZipReader, Zip64RecordsAndLeadingStubAreFollowed) {
  TZipReader Z(BuildZip({{"x/one.txt", "1111", 8}, {"two.txt", "22", 0}}, true, "MZ stub bytes"));
  ASSERT_EQ(Z.EntryCount(), 2u);
  EXPECT_EQ(Z.Entry(0).UncompressedSize, 4u);
  EXPECT_EQ(Z.ReadEntry(0), "1111");
  EXPECT_EQ(Z.ReadEntry(1), "22");
}

TEST(ZipReader, NamesAreUtf8WithTheFlagAndCp437Without) {
  TZipReader Z(BuildZip({{"caf\x82.xml", "x", 0},                 // CP437 0x82 is e acute
                         {"caf\xC3\xA9.xml", "y", 0, 0x0800}}));  // UTF-8 flag
  EXPECT_EQ(Z.Entry(0).Name, "caf\xC3\xA9.xml");
  EXPECT_EQ(Z.Entry(1).Name, "caf\xC3\xA9.xml");
}

TEST(ZipReader, UnreadableEntriesAreNamedInTheError) {
  TZipReader Z(BuildZip({{"secret.xml", "x", 8, 1},
                         {"bz.xml", "x", 12},
                         {"crc.xml", "payload", 8, 0, true},
                         {"crcstored.xml", "payload", 0, 0, true}}));
  std::string E = ErrorOf([&] { Z.ReadEntry(0); });
  EXPECT_NE(E.find("\"secret.xml\" is encrypted"), std::string::npos) << E;
  E = ErrorOf([&] { Z.ReadEntry(1); });
  EXPECT_NE(E.find("\"bz.xml\" uses compression method 12"), std::string::npos) << E;
  for (size_t I : {2u, 3u}) {
    E = ErrorOf([&] { Z.ReadEntry(I); });
    EXPECT_NE(E.find("CRC-32"), std::string::npos) << E;
    EXPECT_NE(E.find(Z.Entry(I).Name), std::string::npos) << E;
  }
}

TEST(ZipReader, DamagedArchivesAreRefusedClearly) {
  EXPECT_EQ(ErrorOf([] { TZipReader Z("PK\x03\x04 just some bytes, no directory at all"); }),
            "The file is not a ZIP package (no central directory found).");
  EXPECT_NE(ErrorOf([] { TZipReader Z(""); }), "");

  std::string Good = BuildZip({{"a.xml", std::string(5000, 'a') + "tail", 8}});
  // Data cut short: the directory still parses, the entry does not inflate.
  std::string Cut = Good;
  const size_t DataAt = 30 + 5;
  Cut.erase(DataAt + 3, 4);
  Cut.insert(DataAt + 3, "\xFF\xFF\xFF\xFF", 4);
  std::string E = ErrorOf([&] { TZipReader(Cut).ReadEntry(0); });
  EXPECT_NE(E.find("a.xml"), std::string::npos) << E;

  // A local header offset past the end of the file.
  std::string Far = Good;
  const size_t Dir = Far.find("PK\x01\x02");
  Far[Dir + 45] = '\x7F';
  E = ErrorOf([&] { TZipReader(Far).ReadEntry(0); });
  EXPECT_NE(E.find("damaged"), std::string::npos) << E;
}

TEST(ZipReader, LimitsCountBytesActuallyInflated) {
  TZipLimits L;
  L.MaxEntryBytes = 100000;
  L.MaxTotalBytes = 150000;
  L.RatioCheckAfterBytes = 1u << 20;
  const std::string Ok(90000, 'z');
  TZipReader Z(BuildZip({{"one", Ok, 8}, {"two", Ok, 8}, {"big", std::string(100001, 'z'), 0}}), L);
  EXPECT_EQ(Z.ReadEntry(0), Ok);
  std::string E = ErrorOf([&] { Z.ReadEntry(1); });
  EXPECT_NE(E.find("in all"), std::string::npos) << E;
  // The package-wide cap bounds one operation: a new one counts afresh.
  Z.StartOperation();
  EXPECT_EQ(Z.ReadEntry(1), Ok);
  E = ErrorOf([&] { Z.ReadEntry(2); });
  EXPECT_NE(E.find("\"big\" inflates to more than"), std::string::npos) << E;

  // The ratio rule, with headers that claim a harmless size.
  std::string Bomb = BuildZip({{"bomb.xml", std::string(3u << 20, '\0'), 8}});
  const size_t Dir = Bomb.find("PK\x01\x02");
  for (size_t K = 24; K < 28; ++K) Bomb[Dir + K] = K == 24 ? 10 : 0;
  E = ErrorOf([&] { TZipReader(Bomb).ReadEntry(0); });
  EXPECT_NE(E.find("\"bomb.xml\" inflates to more than 1000 times"), std::string::npos) << E;
}

TEST(ZipReader, MoreThan65534EntriesAreRefused) {
  TZipWriter W;
  for (int I = 0; I < 65535; ++I) W.AddEntry(std::to_string(I), "", TZipMethod::Stored);
  W.Finish();
  const std::string Bytes = W.TakeBytes();
  EXPECT_NE(ErrorOf([&] { TZipReader Z(Bytes); }).find("more than 65534 entries"),
            std::string::npos);
}

}  // namespace
}  // namespace kv
