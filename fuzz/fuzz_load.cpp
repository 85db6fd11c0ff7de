// Loads arbitrary bytes as an xlsx package. Every rejection must be a TKvError;
// anything else (a crash, a sanitizer report, another exception) is a finding.
// Each sheet read must hold exactly the cells its part places within the
// format's limits: a plain count, made here on the part's tree, checks that
// no cell is lost.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include <pugixml.hpp>

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "workbook/Workbook.h"
#include "zip/ZipReader.h"

namespace {

bool Named(pugi::xml_node N, const char* Local) {
  std::string_view Name = N.name();
  const size_t Colon = Name.rfind(':');
  if (Colon != std::string_view::npos) Name.remove_prefix(Colon + 1);
  return kv::SameTextAscii(Name, Local);
}

// The places of the cells of a worksheet part, counted on its tree: rows and
// cells without "r" follow the one before them; an extension list is no cell.
// -1 when the tree cannot be built (the pull reader may be more lenient).
long PlainCellCount(const std::string& Part) {
  pugi::xml_document Doc;
  if (!Doc.load_buffer(Part.data(), Part.size(), pugi::parse_escapes, pugi::encoding_utf8))
    return -1;
  pugi::xml_node Data;
  for (pugi::xml_node N : Doc.document_element().children())
    if (N.type() == pugi::node_element && Named(N, "sheetData")) {
      Data = N;
      break;
    }
  std::set<std::pair<int32_t, int32_t>> Places;
  int32_t RowNumber = 0;
  for (pugi::xml_node Row : Data.children()) {
    if (Row.type() != pugi::node_element) continue;
    bool RowUsable;
    if (pugi::xml_attribute R = Row.attribute("r")) {
      auto N = kv::TryParseInt32(kv::Trim(R.value()));
      RowUsable = N.has_value() && *N >= 1;
      if (RowUsable) RowNumber = *N;
    } else {
      RowUsable = RowNumber < INT32_MAX;
      if (RowUsable) ++RowNumber;
    }
    int32_t LastCol = -1;
    for (pugi::xml_node Cell : Row.children()) {
      if (Cell.type() != pugi::node_element || Named(Cell, "extLst")) continue;
      int32_t Col = -1, At = -1;
      bool Usable = false;
      if (pugi::xml_attribute R = Cell.attribute("r")) {
        Usable = kv::ParseCellRef(R.value(), Col, At);
      } else if (RowUsable && LastCol < INT32_MAX) {
        Usable = true;
        Col = LastCol + 1;
        At = RowNumber - 1;
      }
      if (!Usable) continue;
      LastCol = Col;
      if (At >= 0 && Col >= 0 && At < kv::TSheetCells::kMaxRows && Col < kv::TSheetCells::kMaxCols)
        Places.emplace(At, Col);
    }
  }
  return static_cast<long>(Places.size());
}

void CheckCellCount(const std::string& Bytes, const kv::TXlsxSheet& S) {
  const kv::TZipReader Zip(Bytes);
  size_t Entry = Zip.EntryCount();
  for (size_t I = 0; I < Zip.EntryCount(); ++I)
    if (Zip.Entry(I).Name == S.PartName) Entry = I;  // the last of a name is what loading reads
  if (Entry == Zip.EntryCount()) return;
  const long Plain = PlainCellCount(Zip.ReadEntry(Entry));
  const long Held = S.Data ? static_cast<long>(S.Data->CellCount()) : 0;
  if (Plain >= 0 && Plain != Held) {
    std::fprintf(stderr, "sheet %s holds %ld cells, its part places %ld\n", S.Name.c_str(), Held,
                 Plain);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  kv::TXlsxWorkbook Book;
  try {
    Book.LoadFromBytes(Bytes, "fuzz.xlsx");
  } catch (const kv::TKvError&) {
    return 0;
  }
  // Later sheets are read on first use: each may fail alone.
  for (int I = 0; I < Book.SheetCount(); ++I) {
    try {
      const kv::TXlsxSheet& S = Book.Sheet(I);
      if (S.Data)
        S.Data->ForEachCell([&](int32_t R, int32_t C, std::string_view) { (void)S.Cell(R, C); });
      CheckCellCount(Bytes, S);
    } catch (const kv::TKvError&) {
    }
  }
  return 0;
}
