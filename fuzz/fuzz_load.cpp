// Loads arbitrary bytes as an xlsx package. Every rejection must be a TKvError;
// anything else (a crash, a sanitizer report, another exception) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Error.h"
#include "workbook/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  kv::TXlsxWorkbook Book;
  try {
    Book.LoadFromBytes(std::string(reinterpret_cast<const char*>(Data), Size), "fuzz.xlsx");
  } catch (const kv::TKvError&) {
    return 0;
  }
  // Later sheets are read on first use: each may fail alone.
  for (int I = 0; I < Book.SheetCount(); ++I) {
    try {
      const kv::TXlsxSheet& S = Book.Sheet(I);
      for (int32_t R = 0; R < S.RowCount(); R += 97)
        for (int32_t C = 0; C < S.ColCount(); C += 13) (void)S.Cell(R, C);
    } catch (const kv::TKvError&) {
    }
  }
  return 0;
}
