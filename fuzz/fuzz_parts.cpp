// Builds a well-formed package around fuzzed part texts, so the input reaches
// the XML readers instead of stopping at the ZIP checks. The input is split at
// the first two NUL bytes into the worksheet, the shared strings and the
// styles part.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Error.h"
#include "workbook/XlsxReader.h"
#include "workbook/ZipWriter.h"

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
    if (Book.SheetCount() > 0) {
      Book.SetCellValue(0, 3, 2, " edited\n");
      (void)Book.Sheet(0).Cell(3, 2);
    }
  } catch (const kv::TKvError&) {
  }
  return 0;
}
