// Builds small xlsx packages in memory for tests: a workbook part listing the
// sheets, its relationships and one part per sheet, any of which a test can
// replace or drop to imitate what other producers write.
#ifndef KV_TESTS_SUPPORT_PACKAGE_H
#define KV_TESTS_SUPPORT_PACKAGE_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "workbook/CellNotation.h"
#include "zip/ZipWriter.h"

namespace kv::test {

struct TPackage {
  // Entry name -> bytes, written in this order.
  std::vector<std::pair<std::string, std::string>> FEntries;

  void Set(const std::string& Name, const std::string& Bytes) {
    for (auto& E : FEntries)
      if (E.first == Name) {
        E.second = Bytes;
        return;
      }
    FEntries.emplace_back(Name, Bytes);
  }
  void Remove(const std::string& Name) {
    for (size_t I = 0; I < FEntries.size(); ++I)
      if (FEntries[I].first == Name) FEntries.erase(FEntries.begin() + static_cast<long>(I));
  }
  std::string Bytes() const {
    TZipWriter W;
    for (const auto& [Name, Data] : FEntries) W.AddEntry(Name, Data);
    W.Finish();
    return W.TakeBytes();
  }
};

inline std::string SheetXml(const std::string& SheetData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<sheetData>" +
         SheetData + "</sheetData></worksheet>";
}

// A package with one worksheet part per entry of Sheets (name, sheetData
// content), all visible.
inline TPackage MakeBook(const std::vector<std::pair<std::string, std::string>>& Sheets) {
  TPackage P;
  std::string Ct =
      "<?xml version=\"1.0\"?><Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
  std::string Rels =
      "<?xml version=\"1.0\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::string Book =
      "<?xml version=\"1.0\"?><workbook "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
  P.Set("[Content_Types].xml", Ct);
  for (size_t I = 0; I < Sheets.size(); ++I) {
    std::string N = std::to_string(I + 1);
    Book += "<sheet name=\"" + Sheets[I].first + "\" sheetId=\"" + N + "\" r:id=\"rId" + N + "\"/>";
    Rels += "<Relationship Id=\"rId" + N +
            "\" Type=\"http://schemas.openxmlformats.org/"
            "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet" +
            N + ".xml\"/>";
  }
  Book += "</sheets></workbook>";
  Rels += "</Relationships>";
  P.Set("xl/workbook.xml", Book);
  P.Set("xl/_rels/workbook.xml.rels", Rels);
  for (size_t I = 0; I < Sheets.size(); ++I)
    P.Set("xl/worksheets/sheet" + std::to_string(I + 1) + ".xml", SheetXml(Sheets[I].second));
  return P;
}

// sheetData of a Rows x Cols sheet whose cell (r, c) holds "r:c".
inline std::string GridData(int Rows, int Cols) {
  std::string D;
  for (int R = 0; R < Rows; ++R) {
    D += "<row r=\"" + std::to_string(R + 1) + "\">";
    for (int C = 0; C < Cols; ++C)
      D += "<c r=\"" + ColumnIndexToLetters(C) + std::to_string(R + 1) +
           "\" t=\"inlineStr\"><is><t>" + std::to_string(R) + ":" + std::to_string(C) +
           "</t></is></c>";
    D += "</row>";
  }
  return D;
}

}  // namespace kv::test

#endif
