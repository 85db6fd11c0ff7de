// Builds a well-formed package around fuzzed part texts, so the input reaches
// the XML readers instead of stopping at the ZIP checks. The input is split at
// the first two NUL bytes into the worksheet, the shared strings and the
// styles part. A sheet that loads gets one edit chosen by the input and is
// saved and loaded again: the edited cell must read as typed and every other
// cell as before, or the save must fail with the project's error and leave
// the target as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "workbook/Workbook.h"
#include "xml/XmlPull.h"
#include "zip/ZipWriter.h"

namespace {

// Texts that read back exactly as typed, whatever the cell's style.
const char* const kValues[] = {
    "x y", "First_x0020_Name", " lead\n",     "\xEF\xBF\xBF", "a<b&c>]]>",
    "",    "\x01x\r\n",        "caf\xC3\xA9", "_x005F_",      "\xF0\x9F\x98\x80"};

using TTable = std::map<std::pair<int32_t, int32_t>, std::string>;

// The cells held, sparse: a sheet may name cells anywhere up to XFD1048576.
TTable Table(const kv::TXlsxSheet& S) {
  TTable T;
  if (S.Data)
    S.Data->ForEachCell([&](int32_t R, int32_t C, std::string_view Text) {
      if (!Text.empty()) T[{R, C}] = std::string(Text);
    });
  return T;
}

std::string At(const TTable& T, int32_t R, int32_t C) {
  auto It = T.find({R, C});
  return It == T.end() ? std::string() : It->second;
}

// Whether an edit can land: loading finds a sheetData, or one may be added.
bool HoldsCells(const std::string& Part) {
  kv::TXmlMemorySource Source(Part);
  kv::TXmlPullReader X(Source, "s.xml");
  for (;;) {
    const auto E = X.Next();
    if (E == kv::TXmlPullReader::TEvent::EndOfDocument) return false;
    if (E != kv::TXmlPullReader::TEvent::StartElement) continue;
    if (X.Depth() == 1 && kv::SameTextAscii(X.LocalName(), "worksheet")) return true;
    if (X.Depth() == 2 && kv::SameTextAscii(X.LocalName(), "sheetData")) return true;
  }
}

const std::string& Target() {
  static const std::string Path = (std::filesystem::temp_directory_path() /
                                   ("fuzz_parts_" + std::to_string(getpid()) + ".xlsx"))
                                      .string();
  return Path;
}

void CheckEditAndSave(kv::TXlsxWorkbook& Book, const std::string& Sheet, uint32_t Hash) {
  const auto Before = Table(Book.Sheet(0));
  const int32_t Row = static_cast<int32_t>(Hash % 6), Col = static_cast<int32_t>(Hash / 6 % 6);
  const std::string Value = kValues[Hash / 36 % (sizeof kValues / sizeof *kValues)];
  Book.SetCellValue(0, Row, Col, Value);
  kv::WriteWholeFile(Target(), "untouched");
  try {
    Book.SaveToFile(Target());
  } catch (const kv::TKvError&) {
    if (kv::ReadWholeFile(Target()) != "untouched") std::abort();
    return;
  }
  kv::TXlsxWorkbook Back;
  Back.LoadFromFile(Target());  // an error here escapes: what we wrote must load
  const auto After = Table(Back.Sheet(0));
  const bool Lands = HoldsCells(Sheet);
  TTable Places = Before;
  Places.insert(After.begin(), After.end());
  Places[{Row, Col}];
  for (const auto& [Place, Unused] : Places) {
    const auto [R, C] = Place;
    const bool Edited = R == Row && C == Col;
    const std::string Want = Edited && Lands ? Value : At(Before, R, C);
    if (At(After, R, C) != Want) {
      std::fprintf(stderr, "cell %d,%d reads \"%s\" after the save, not \"%s\"\n", R, C,
                   At(After, R, C).c_str(), Want.c_str());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string In(reinterpret_cast<const char*>(Data), Size);
  std::string Parts[3];
  size_t Start = 0;
  for (int K = 0; K < 3; ++K) {
    size_t End = K < 2 ? In.find('\0', Start) : std::string::npos;
    Parts[K] = In.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
    if (End == std::string::npos) break;
    Start = End + 1;
  }
  kv::TZipWriter Zip;
  Zip.AddEntry("xl/workbook.xml",
               "<workbook><workbookPr date1904=\"1\"/><sheets><sheet name=\"S\" r:id=\"a\"/>"
               "</sheets></workbook>",
               kv::TZipMethod::Stored);
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships><Relationship Id=\"a\" Target=\"s.xml\"/></Relationships>",
               kv::TZipMethod::Stored);
  Zip.AddEntry("xl/s.xml", Parts[0], kv::TZipMethod::Stored);
  Zip.AddEntry("xl/sharedStrings.xml", Parts[1], kv::TZipMethod::Stored);
  Zip.AddEntry("xl/styles.xml", Parts[2], kv::TZipMethod::Stored);
  Zip.Finish();
  kv::TXlsxWorkbook Book;
  try {
    Book.LoadFromBytes(Zip.TakeBytes(), "fuzz.xlsx");
  } catch (const kv::TKvError&) {
    return 0;
  }
  uint32_t Hash = 2166136261u;
  for (size_t I = 0; I < Size; ++I) Hash = (Hash ^ Data[I]) * 16777619u;
  CheckEditAndSave(Book, Parts[0], Hash);
  return 0;
}
