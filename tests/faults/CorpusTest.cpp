// Damaged packages made here from workbooks that LibreOffice, openpyxl,
// xlsxwriter and gnumeric wrote: cut short at every 64th of their length, a
// byte flipped anywhere in the central directory, entries claiming sizes they
// do not have, parts with unclosed tags, shared-string indexes past the table,
// a sheet claiming the last cell of the grid, a bomb. Each loads with a
// TKvError that says what is wrong, or with a result that is right as far as
// it goes: the whole book, or the book as it reads without the damaged part.
// A few go through the plug-in's Open action as the host runs it.
#include <gtest/gtest.h>

#include <set>

#include "FaultHarness.h"
#include "base/Error.h"
#include "base/Files.h"
#include "plugin/ActionTable.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "support/ViewerActions.h"
#include "unit/viewer/FakeWindows.h"
#include "workbook/Workbook.h"
#include "zip/ZipReader.h"

namespace kv {

namespace {

std::string Fixture(const std::string& Name) {
  return ReadWholeFile(std::string(KV_FIXTURES_DIR) + "/xlsx/" + Name);
}

struct TLoad {
  bool Ok = false;
  std::string Text;  // the book's sheets and cells, or the error's message
};

// Every sheet is read, so errors of sheets read on first use count too.
TLoad Load(const std::string& Bytes) {
  try {
    TXlsxWorkbook B;
    B.LoadFromBytes(Bytes, "damaged.xlsx");
    std::string T;
    for (int I = 0; I < B.SheetCount(); ++I) {
      const TXlsxSheet& S = B.Sheet(I);
      T += S.Name + "\n" + std::to_string(S.RowCount()) + "x" + std::to_string(S.ColCount()) + "\n";
      if (int64_t{S.RowCount()} * S.ColCount() <= 100000) {
        for (int32_t R = 0; R < S.RowCount(); ++R)
          for (int32_t C = 0; C < S.ColCount(); ++C) T.append(S.Cell(R, C)).append("\x1f");
      } else {  // a sheet that names far cells: the cells held
        S.Data->ForEachCell([&](int32_t R, int32_t C, std::string_view Text) {
          T += std::to_string(R) + "," + std::to_string(C) + "=";
          T.append(Text).append("\x1f");
        });
      }
      T += "\n";
    }
    return {true, T};
  } catch (const TKvError& E) {
    return {false, E.what()};
  } catch (const std::exception& E) {
    ADD_FAILURE() << "not the project's error: " << E.what();
    return {false, E.what()};
  }
}

// A message a user can act on: some words, no control characters.
bool IsClear(const std::string& Message) {
  if (Message.size() < 20) return false;
  for (unsigned char C : Message)
    if (C < 0x20) return false;
  return true;
}

void ExpectClear(const std::string& Message, const std::string& Where) {
  EXPECT_TRUE(IsClear(Message)) << Where << ": " << Message;
}

// The package's entries, in order, for rebuilding it with changes.
test::TPackage Unpack(const std::string& Bytes) {
  TZipReader Z(Bytes);
  test::TPackage P;
  for (size_t I = 0; I < Z.EntryCount(); ++I)
    if (!Z.Entry(I).IsDirectory()) P.Set(Z.Entry(I).Name, Z.ReadEntry(I));
  return P;
}

uint32_t Get32(const std::string& B, size_t At) {
  return uint32_t(uint8_t(B[At])) | uint32_t(uint8_t(B[At + 1])) << 8 |
         uint32_t(uint8_t(B[At + 2])) << 16 | uint32_t(uint8_t(B[At + 3])) << 24;
}

void Put32(std::string& B, size_t At, uint32_t V) {
  for (int K = 0; K < 4; ++K) B[At + K] = char((V >> (8 * K)) & 0xFF);
}

// Offset and size of the central directory, from the end record.
std::pair<size_t, size_t> CentralDirectory(const std::string& Bytes) {
  size_t End = Bytes.rfind(std::string("PK\x05\x06", 4));
  EXPECT_NE(End, std::string::npos);
  return {Get32(Bytes, End + 16), Get32(Bytes, End + 12)};
}

// A damaged book loads fully, or as it does without one of its parts.
class TAcceptable {
 public:
  explicit TAcceptable(const std::string& Bytes) {
    FWhole = Load(Bytes);
    EXPECT_TRUE(FWhole.Ok) << FWhole.Text;
    FReadings.insert(FWhole.Text);
    test::TPackage P = Unpack(Bytes);
    for (const auto& Entry : P.FEntries) {
      test::TPackage Without = P;
      Without.Remove(Entry.first);
      TLoad L = Load(Without.Bytes());
      if (L.Ok) FReadings.insert(L.Text);
    }
  }
  const TLoad& Whole() const { return FWhole; }

  // Answers whether the load failed; a failure's message must be clear and
  // hold Part when given.
  bool Check(const std::string& Bytes, const std::string& Where, const std::string& Part = "") {
    const TLoad L = Load(Bytes);
    bool Right = true;
    if (L.Ok) {
      Right = FReadings.count(L.Text) != 0;
      EXPECT_TRUE(Right) << Where << ": loaded a wrong book:\n" << L.Text;
    } else {
      Right = IsClear(L.Text) && (Part.empty() || L.Text.find(Part) != std::string::npos);
      EXPECT_TRUE(Right) << Where << ": unclear or does not name " << Part << ": " << L.Text;
    }
    ++test::FaultTotals().Damaged;
    test::FaultTotals().Answered += Right;
    return !L.Ok;
  }

 private:
  TLoad FWhole;
  std::set<std::string> FReadings;
};

const char* const kProducers[] = {"load-libreoffice.xlsx", "load-openpyxl.xlsx",
                                  "load-xlsxwriter.xlsx", "load-gnumeric.xlsx",
                                  "edit-libreoffice.xlsx"};

}  // namespace

TEST(DamagedCorpus, PackagesCutShortAnywhereAreRefused) {
  for (const char* Name : kProducers) {
    const std::string Bytes = Fixture(Name);
    TAcceptable Accept(Bytes);
    std::set<size_t> Cuts = {Bytes.size() - 1, Bytes.size() - 21, Bytes.size() - 23};
    for (size_t K = 0; K < 64; ++K) Cuts.insert(Bytes.size() * K / 64);
    for (size_t Cut : Cuts)
      EXPECT_TRUE(
          Accept.Check(Bytes.substr(0, Cut), std::string(Name) + " cut at " + std::to_string(Cut)))
          << Name << " cut at " << Cut << " loaded";
  }
}

TEST(DamagedCorpus, EveryByteOfTheCentralDirectoryFlipped) {
  for (const char* Name :
       {"load-libreoffice.xlsx", "load-openpyxl.xlsx", "edit-libreoffice.xlsx"}) {
    const std::string Bytes = Fixture(Name);
    TAcceptable Accept(Bytes);
    const auto [Dir, Size] = CentralDirectory(Bytes);
    ASSERT_LE(Dir + Size, Bytes.size());
    int Refused = 0;
    for (size_t At = Dir; At < Bytes.size(); ++At)
      for (uint8_t Mask : {uint8_t(0xFF), uint8_t(0x01), uint8_t(0x80)}) {
        std::string Damaged = Bytes;
        Damaged[At] = char(uint8_t(Damaged[At]) ^ Mask);
        Refused += Accept.Check(Damaged, std::string(Name) + " byte " + std::to_string(At) + " ^ " +
                                             std::to_string(Mask));
      }
    RecordProperty(std::string(Name) + " refused", Refused);
    EXPECT_GT(Refused, 0);
  }
}

TEST(DamagedCorpus, EntriesClaimingFalseSizes) {
  const std::string Bytes = Fixture("load-libreoffice.xlsx");
  TAcceptable Accept(Bytes);
  const auto [Dir, Size] = CentralDirectory(Bytes);
  (void)Size;
  // Each directory record: sizes at +20 (compressed) and +24 (uncompressed);
  // the local header's copies at +18 and +22.
  for (size_t At = Dir; Bytes.compare(At, 4, "PK\x01\x02") == 0;) {
    const uint16_t NameLen = uint8_t(Bytes[At + 28]) | uint8_t(Bytes[At + 29]) << 8;
    const uint16_t Extra = uint8_t(Bytes[At + 30]) | uint8_t(Bytes[At + 31]) << 8;
    const uint16_t Comment = uint8_t(Bytes[At + 32]) | uint8_t(Bytes[At + 33]) << 8;
    const std::string Entry = Bytes.substr(At + 46, NameLen);
    const size_t Local = Get32(Bytes, At + 42);
    const uint32_t Packed = Get32(Bytes, At + 20), Full = Get32(Bytes, At + 24);
    for (uint32_t Claim : {0u, Full / 2, Full + 1, 0x7FFFFFFFu, 0xFFFFFFFFu, Packed / 2,
                           uint32_t(Bytes.size()) * 2}) {
      for (size_t Field : {20u, 24u}) {
        for (bool AlsoLocal : {false, true}) {
          std::string Damaged = Bytes;
          Put32(Damaged, At + Field, Claim);
          if (AlsoLocal) Put32(Damaged, Local + Field - 2, Claim);
          const std::string Where = Entry + " claims " + std::to_string(Claim) + " at " +
                                    std::to_string(Field) + (AlsoLocal ? " twice" : "");
          Accept.Check(Damaged, Where);
        }
      }
    }
    At += 46 + NameLen + Extra + Comment;
  }
}

TEST(DamagedCorpus, PartsWithUnclosedTagsNameThePart) {
  for (const char* Name : {"load-libreoffice.xlsx", "load-xlsxwriter.xlsx"}) {
    const std::string Bytes = Fixture(Name);
    const test::TPackage Good = Unpack(Bytes);
    TAcceptable Accept(Good.Bytes());
    for (const auto& [Part, Xml] : Good.FEntries) {
      if (Xml.find('<') == std::string::npos) continue;
      const size_t LastClose = Xml.rfind("</");
      const std::vector<std::string> Variants = {
          Xml.substr(0, LastClose),                                // the root never closed
          Xml.substr(0, Xml.size() / 2),                           // cut inside
          Xml.substr(0, Xml.size() / 2) + "<c r=\"A1\"><v>1</v>",  // an element left open
      };
      for (size_t V = 0; V < Variants.size(); ++V) {
        test::TPackage P = Good;
        P.Set(Part, Variants[V]);
        // Only the parts a load reads can fail it; their message names them.
        const bool Read = Part.rfind("xl/", 0) == 0 && Part.find("theme") == std::string::npos &&
                          Part.find("printerSettings") == std::string::npos;
        Accept.Check(P.Bytes(), std::string(Name) + " " + Part + " variant " + std::to_string(V),
                     Read ? Part.substr(Part.rfind('/') + 1) : "");
      }
    }
  }
}

TEST(DamagedCorpus, SharedStringIndexesPastTheTableGiveEmptyCells) {
  test::TPackage P = test::MakeBook(
      {{"S",
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>2</v></c>"
        "<c r=\"C1\" t=\"s\"><v>-1</v></c><c r=\"D1\" t=\"s\"><v>4294967297</v></c>"
        "<c r=\"E1\" t=\"s\"><v>99999999999999999999999</v></c>"
        "<c r=\"F1\" t=\"s\"><v>1e0</v></c><c r=\"G1\" t=\"s\"><v></v></c>"
        "<c r=\"H1\" t=\"s\"><v>1</v></c></row>"}});
  P.Set("xl/sharedStrings.xml", "<sst><si><t>first</t></si><si><t>second</t></si></sst>");
  const TLoad L = Load(P.Bytes());
  ASSERT_TRUE(L.Ok) << L.Text;
  EXPECT_EQ(L.Text, "S\n1x8\nfirst\x1f\x1f\x1f\x1f\x1f\x1f\x1fsecond\x1f\n");
}

// ---- Through the plug-in's Open action --------------------------------------------

class DamagedOpen : public ::testing::Test {
 protected:
  // Opens Bytes as a file; answers the action's result.
  int Open(const std::string& Bytes) {
    const std::string Path = FDir.File("book.xlsx");
    WriteWholeFile(Path, Bytes);
    const int R = FPlugin.Run(aidOpen, {"Grid", Path, "", "Top", "No"});
    EXPECT_EQ(ReadWholeFile(Path), Bytes) << "the damaged file was changed";
    return R;
  }
  size_t Viewers() const { return FPlugin.State.Registry ? FPlugin.State.Registry->Count() : 0; }

  test::TTempDir FDir;
  test::TViewerActions FPlugin;
};

TEST_F(DamagedOpen, DamagedBooksLeaveNoViewerAndSayWhyInLastError) {
  const std::string Good = Fixture("load-libreoffice.xlsx");
  const auto [Dir, Size] = CentralDirectory(Good);
  (void)Size;
  std::string Flipped = Good;
  Flipped[Dir + 10] ^= 0x7F;  // the first entry's compression method
  test::TPackage Unclosed = Unpack(Good);
  Unclosed.Set("xl/workbook.xml", "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\">");
  test::TPackage Bomb = test::MakeBook({{"S", ""}});
  Bomb.Set("xl/worksheets/sheet1.xml", test::SheetXml("") + std::string(32u << 20, ' '));
  const std::pair<std::string, std::string> kCases[] = {
      {"cut", Good.substr(0, Good.size() / 2)},
      {"flipped", Flipped},
      {"unclosed", Unclosed.Bytes()},
      {"bomb", Bomb.Bytes()},
      {"empty", ""},
  };
  for (const auto& [Label, Bytes] : kCases) {
    ASSERT_EQ(Open(Good), 1) << FPlugin.LastError();
    EXPECT_EQ(Viewers(), 1u);
    EXPECT_EQ(Open(Bytes), 0) << Label;
    ExpectClear(FPlugin.LastError(), Label);
    EXPECT_EQ(Viewers(), 0u) << Label << ": the old viewer must go, no new one may stay";
  }
  Open(Bomb.Bytes());
  EXPECT_NE(FPlugin.LastError().find("zip bomb"), std::string::npos) << FPlugin.LastError();
}

TEST_F(DamagedOpen, SheetClaimingTheLastCellOpensWhole) {
  test::TPackage P =
      test::MakeBook({{"Far",
                       "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>kept</t></is></c></row>"
                       "<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>"}});
  ASSERT_EQ(Open(P.Bytes()), 1) << FPlugin.LastError();
  const TLoad L = Load(P.Bytes());
  ASSERT_TRUE(L.Ok);
  EXPECT_EQ(L.Text,
            "Far\n1048576x16384\n0,0=kept\x1f"
            "1048575,16383=1\x1f\n");
  EXPECT_EQ(FPlugin.LastError(), "");
}

}  // namespace kv
