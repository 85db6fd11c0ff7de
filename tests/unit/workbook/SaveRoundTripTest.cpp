// Edit and save books written by openpyxl, xlsxwriter and LibreOffice, then
// read the result back: only the edited cells may differ, every other entry
// keeps its exact bytes, and a save that cannot complete leaves the existing
// file as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TempDir.h"
#include "workbook/CalcOnLoad.h"
#include "workbook/Workbook.h"
#include "workbook/CellNotation.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

#include <pugixml.hpp>

namespace kv {

namespace {

using TEntries = std::vector<std::pair<std::string, std::string>>;
using TTable = std::vector<std::vector<std::string>>;

const char* const kProducers[] = {"openpyxl", "xlsxwriter", "libreoffice"};

std::string Fixture(const std::string& Producer) {
  return std::string(KV_FIXTURES_DIR) + "/xlsx/edit-" + Producer + ".xlsx";
}

TEntries ReadEntries(const std::string& Path) {
  TZipReader Zip(ReadWholeFile(Path));
  TEntries Out;
  for (size_t I = 0; I < Zip.EntryCount(); ++I)
    Out.emplace_back(Zip.Entry(I).Name, Zip.ReadEntry(I));
  return Out;
}

std::string EntryText(const TEntries& Entries, const std::string& Name) {
  for (const auto& [N, Bytes] : Entries)
    if (N == Name) return Bytes;
  ADD_FAILURE() << "no entry " << Name;
  return {};
}

TTable Table(const TXlsxSheet& Sheet) {
  TTable T(static_cast<size_t>(Sheet.RowCount()));
  for (int32_t R = 0; R < Sheet.RowCount(); ++R)
    for (int32_t C = 0; C < Sheet.ColCount(); ++C) T[size_t(R)].emplace_back(Sheet.Cell(R, C));
  return T;
}

void Put(TTable& T, size_t Row, size_t Col, const std::string& Text) {
  if (T.size() <= Row) T.resize(Row + 1);
  size_t Cols = std::max(T.empty() ? 0 : T[0].size(), Col + 1);
  for (auto& R : T) R.resize(Cols);
  T[Row][Col] = Text;
}

pugi::xml_node CellNode(const pugi::xml_document& Doc, const char* Ref) {
  return Doc.document_element().child("sheetData").find_node([Ref](pugi::xml_node N) {
    return std::string(N.attribute("r").value()) == Ref;
  });
}

// Rows in ascending number, cells in ascending column within each row.
void ExpectSorted(const pugi::xml_document& Doc) {
  int32_t LastRow = 0;
  for (pugi::xml_node Row : Doc.document_element().child("sheetData").children("row")) {
    EXPECT_GT(Row.attribute("r").as_int(), LastRow);
    LastRow = Row.attribute("r").as_int();
    int32_t LastCol = -1;
    for (pugi::xml_node C : Row.children("c")) {
      int32_t Col = 0, R = 0;
      ASSERT_TRUE(ParseCellRef(C.attribute("r").value(), Col, R));
      EXPECT_EQ(R + 1, LastRow);
      EXPECT_GT(Col, LastCol);
      LastCol = Col;
    }
  }
}

}  // namespace

TEST(SaveRoundTrip, SavingRightAfterLoadingKeepsEveryEntryInOrder) {
  for (const char* Producer : kProducers) {
    test::TTempDir Dir;
    TXlsxWorkbook Book;
    Book.LoadFromFile(Fixture(Producer));
    Book.SaveToFile(Dir.File("out.xlsx"));
    EXPECT_EQ(ReadEntries(Dir.File("out.xlsx")), ReadEntries(Fixture(Producer))) << Producer;
  }
}

TEST(SaveRoundTrip, OnlyTheEditedCellsDifferAfterReloading) {
  for (const char* Producer : kProducers) {
    SCOPED_TRACE(Producer);
    test::TTempDir Dir;
    TXlsxWorkbook Book;
    Book.LoadFromFile(Fixture(Producer));
    ASSERT_EQ(Book.SheetCount(), 2);  // the hidden sheet is not listed
    TTable Main = Table(Book.Sheet(0)), Data = Table(Book.Sheet(1));
    ASSERT_EQ(Data.size(), 1u);
    ASSERT_EQ(Data[0].size(), 2u);

    Book.SetCellValue(0, 1, 1, "12.50");          // B2, styled number
    Book.SetCellValue(0, 2, 1, "x y");            // B3, was a formula
    Book.SetCellValue(0, 1, 2, "2024-01-01");     // C2, date style
    Book.SetCellValue(0, 3, 3, "  padded ");      // D4, a new row between 3 and 5
    Book.SetCellValue(0, 4, 1, "1,5");            // B5, before E5 in its row
    Book.SetCellValue(0, 0, 0, "");               // A1, bold: emptied
    Book.SetCellValue(1, 2, 3, "-2");             // D3 of Data: grows the sheet
    Book.SetCellValue(2, 0, 0, "ignored");        // no such sheet
    EXPECT_EQ(Book.Sheet(0).Cell(1, 1), "12.5");  // as a reload reads it
    EXPECT_EQ(Book.Sheet(1).RowCount(), 3);
    EXPECT_EQ(Book.Sheet(1).ColCount(), 4);
    for (int32_t R = 0; R < 3; ++R) EXPECT_EQ(Book.Sheet(1).Cell(R, 3), R == 2 ? "-2" : "");

    Put(Main, 1, 1, "12.5");
    Put(Main, 2, 1, "x y");
    Put(Main, 1, 2, "2024-01-01");
    Put(Main, 3, 3, "  padded ");
    Put(Main, 4, 1, "1,5");
    Put(Main, 0, 0, "");
    Put(Data, 2, 3, "-2");

    std::string Out = Dir.File("out.xlsx");
    Book.SaveToFile(Out);
    TXlsxWorkbook Back;
    Back.LoadFromFile(Out);
    ASSERT_EQ(Back.SheetCount(), 2);
    EXPECT_EQ(Table(Back.Sheet(0)), Main);
    EXPECT_EQ(Table(Back.Sheet(1)), Data);
    EXPECT_EQ(Table(Book.Sheet(0)), Main);  // the edited book showed it all along
    EXPECT_EQ(Table(Book.Sheet(1)), Data);

    TEntries Before = ReadEntries(Fixture(Producer)), After = ReadEntries(Out);
    ASSERT_EQ(After.size(), Before.size());
    for (size_t I = 0; I < Before.size(); ++I) {
      EXPECT_EQ(After[I].first, Before[I].first);
      bool Edited =
          After[I].first == Book.Sheet(0).PartName || After[I].first == Book.Sheet(1).PartName;
      // The book has formulas: readers are told to compute them anew.
      if (After[I].first == "xl/workbook.xml") {
        EXPECT_EQ(After[I].second, WithFullCalcOnLoad(Before[I].second, "wb"));
      } else if (!Edited) {
        EXPECT_EQ(After[I].second, Before[I].second) << After[I].first;
      }
    }

    pugi::xml_document Old, New;
    ASSERT_TRUE(Old.load_string(EntryText(Before, Book.Sheet(0).PartName).c_str()));
    ASSERT_TRUE(New.load_string(EntryText(After, Book.Sheet(0).PartName).c_str()));
    ExpectSorted(New);
    for (const char* Ref : {"A1", "B2", "C2", "B3"})
      EXPECT_STREQ(CellNode(New, Ref).attribute("s").value(),
                   CellNode(Old, Ref).attribute("s").value())
          << Ref;
    EXPECT_FALSE(CellNode(New, "B3").child("f"));
    EXPECT_FALSE(CellNode(New, "A1").child("v"));
    EXPECT_STREQ(CellNode(New, "B2").child_value("v"), "12.5");
    EXPECT_STREQ(CellNode(New, "C2").child_value("v"), "45292");  // a date stays a date
    EXPECT_STREQ(CellNode(New, "D4").child("is").child("t").attribute("xml:space").value(),
                 "preserve");
  }
}

TEST(SaveRoundTrip, SavingOntoTheLoadedFileTwiceKeepsAllEdits) {
  test::TTempDir Dir;
  std::string Path = Dir.File("book.xlsx");
  WriteWholeFile(Path, ReadWholeFile(Fixture("libreoffice")));
  TXlsxWorkbook Book;
  Book.LoadFromFile(Path);
  Book.SetCellValue(0, 9, 26, "first");
  Book.SaveToFile(Path);
  Book.SetCellValue(0, 9, 0, "second");  // a new cell left of AA10
  Book.SaveToFile(Path);
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"book.xlsx"});

  TXlsxWorkbook Back;
  Back.LoadFromFile(Path);
  EXPECT_EQ(Back.Sheet(0).Cell(9, 26), "first");
  EXPECT_EQ(Back.Sheet(0).Cell(9, 0), "second");
  EXPECT_EQ(Back.Sheet(0).Cell(0, 1), "Value");
  TEntries Names = ReadEntries(Path), Original = ReadEntries(Fixture("libreoffice"));
  ASSERT_EQ(Names.size(), Original.size());
  EXPECT_EQ(Names.back().first, "[Content_Types].xml");
}

// A book whose relationship spells the worksheet's name in other letter case,
// a worksheet without sheetData and one whose elements carry a prefix: edits
// must reach the file in each.
TEST(SaveRoundTrip, EditsReachPartsNamedInOtherCasePrefixedOrWithoutCellData) {
  TZipWriter Zip;
  Zip.AddEntry("[Content_Types].xml",
               "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
  Zip.AddEntry("xl/workbook.xml",
               "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" r:id=\"rId1\"/>"
               "<sheet name=\"T\" r:id=\"rId2\"/><sheet name=\"U\" r:id=\"rId3\"/>"
               "</sheets></workbook>");
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/Sheet1.xml\"/>"
               "<Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/>"
               "<Relationship Id=\"rId3\" Target=\"worksheets/sheet3.xml\"/></Relationships>");
  Zip.AddEntry("xl/worksheets/sheet1.xml",
               "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"
               "</worksheet>");
  Zip.AddEntry("xl/worksheets/sheet2.xml", "<worksheet><pageMargins left=\"1\"/></worksheet>");
  Zip.AddEntry("xl/worksheets/sheet3.xml",
               "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
               "<x:sheetData><x:row r=\"2\"><x:c r=\"B2\"><x:f>1+4</x:f><x:v>5</x:v></x:c></x:row>"
               "</x:sheetData></x:worksheet>");
  Zip.Finish();

  test::TTempDir Dir;
  TXlsxWorkbook Book;
  Book.LoadFromBytes(Zip.TakeBytes(), "mem.xlsx");
  ASSERT_EQ(Book.SheetCount(), 3);
  Book.SetCellValue(0, 0, 1, "b");
  Book.SetCellValue(1, 1, 1, "7");
  Book.SetCellValue(2, 1, 1, "text");
  Book.SetCellValue(2, 1, 0, "8");
  Book.SetCellValue(2, 0, 0, "top");
  Book.SaveToFile(Dir.File("out.xlsx"));

  TXlsxWorkbook Back;
  Back.LoadFromFile(Dir.File("out.xlsx"));
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "1");
  EXPECT_EQ(Back.Sheet(0).Cell(0, 1), "b");
  EXPECT_EQ(Back.Sheet(1).Cell(1, 1), "7");
  std::string Sheet2 = EntryText(ReadEntries(Dir.File("out.xlsx")), "xl/worksheets/sheet2.xml");
  EXPECT_LT(Sheet2.find("<sheetData>"), Sheet2.find("<pageMargins"));
  EXPECT_EQ(Back.Sheet(2).Cell(0, 0), "top");
  EXPECT_EQ(Back.Sheet(2).Cell(1, 0), "8");
  EXPECT_EQ(Back.Sheet(2).Cell(1, 1), "text");
  std::string Sheet3 = EntryText(ReadEntries(Dir.File("out.xlsx")), "xl/worksheets/sheet3.xml");
  EXPECT_NE(
      Sheet3.find("<x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>top<"
                  "/x:t></x:is></x:c></x:row><x:row r=\"2\"><x:c r=\"A2\" t=\"n\"><x:v>8</x:v>"
                  "</x:c><x:c r=\"B2\" t=\"inlineStr\"><x:is><x:t>text</x:t></x:is></x:c>"),
      std::string::npos)
      << Sheet3;
}

// Sheets as Google Sheets, POI's streaming writer and hand-made packages write
// them: rows and cells without "r", a duplicated cell, a stored "&#13;", an
// escaped noncharacter, a part declared in another encoding. Each edit must
// land on the cell the viewer showed, and every other cell keep its bytes.
TEST(SaveRoundTrip, EditsLandWhereTheViewerShowedThemAndOtherBytesStay) {
  const std::string Kept[] = {
      "<row><c t=\"inlineStr\" s=\"1\"><is><t>a</t></is></c>",
      "<row><c t=\"inlineStr\"><is><t>x&#13;\ny</t></is></c></row>",
  };
  const std::string Sheet1 =
      "<worksheet xmlns=\"m\"><dimension ref=\"A1:B4\"/><sheetData>" + Kept[0] +
      "<c s=\"3\"><v>1</v></c></row>" + Kept[1] +
      "<row r=\"3\"><c r=\"A3\"><v>3</v></c>"
      "<c r=\"A3\" s=\"2\"><v>5</v></c></row><row r=\"4\"><c r=\"A4\" t=\"inlineStr\"><is>"
      "<t>_xFFFF_</t></is></c></row></sheetData></worksheet>";
  const std::string Latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
  TZipWriter Zip;
  Zip.AddEntry("xl/", "", TZipMethod::Stored);
  Zip.AddEntry("xl/workbook.xml",
               "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" r:id=\"rId1\"/>"
               "<sheet name=\"L\" r:id=\"rId2\"/></sheets></workbook>");
  Zip.AddEntry("xl/_rels/workbook.xml.rels",
               "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
               "<Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/></Relationships>");
  Zip.AddEntry("xl/worksheets/sheet1.xml", Sheet1);
  Zip.AddEntry("xl/worksheets/sheet2.xml",
               Latin +
                   "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                   "</sheetData></worksheet>");
  Zip.SetComment("kept comment");
  Zip.Finish();

  test::TTempDir Dir;
  TXlsxWorkbook Book;
  Book.LoadFromBytes(Zip.TakeBytes(), "mem.xlsx");
  ASSERT_EQ(Book.Sheet(0).Cell(2, 0), "5");  // the later duplicate
  const std::string Shown(Book.Sheet(0).Cell(3, 0));
  ASSERT_EQ(Shown, "\xEF\xBF\xBF");
  Book.SetCellValue(0, 0, 1, "First_x0020_Name");  // B1, a cell without "r"
  Book.SetCellValue(0, 2, 0, "7");                 // A3, duplicated
  Book.SetCellValue(0, 3, 0, Shown);               // A4: the editor opened and closed
  Book.SetCellValue(0, 4, 2, "new");               // C5, outside the dimension
  Book.SetCellValue(1, 0, 0, "caf\xC3\xA9");
  Book.SaveToFile(Dir.File("out.xlsx"));

  TXlsxWorkbook Back;
  Back.LoadFromFile(Dir.File("out.xlsx"));
  EXPECT_EQ(Table(Back.Sheet(0)), (TTable{{"a", "First_x0020_Name", ""},
                                          {"x\r\ny", "", ""},
                                          {"7", "", ""},
                                          {"\xEF\xBF\xBF", "", ""},
                                          {"", "", "new"}}));
  EXPECT_EQ(Back.Sheet(1).Cell(0, 0), "caf\xC3\xA9");
  const TEntries After = ReadEntries(Dir.File("out.xlsx"));
  const std::string Part = EntryText(After, "xl/worksheets/sheet1.xml");
  for (const std::string& K : Kept) EXPECT_NE(Part.find(K), std::string::npos) << K;
  EXPECT_NE(Part.find("<dimension ref=\"A1:C5\"/>"), std::string::npos) << Part;
  EXPECT_NE(Part.find("<c s=\"3\" t=\"inlineStr\"><is><t>First_x005F_x0020_Name</t>"),
            std::string::npos);
  EXPECT_NE(Part.find("<t>_xFFFF_</t>"), std::string::npos);
  // Both copies of A3 carry the edit, so readers that keep the first agree.
  EXPECT_NE(Part.find("<c r=\"A3\" t=\"n\"><v>7</v></c><c r=\"A3\" s=\"2\" t=\"n\"><v>7</v></c>"),
            std::string::npos);
  EXPECT_EQ(EntryText(After, "xl/worksheets/sheet2.xml"),
            Latin +
                "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>"
                "caf&#233;</t></is></c></row></sheetData></worksheet>");
  TZipReader Out(ReadWholeFile(Dir.File("out.xlsx")));
  EXPECT_EQ(Out.Entry(0).Name, "xl/");
  EXPECT_EQ(Out.Comment(), "kept comment");
}

TEST(SaveFailure, NothingLoadedIsReported) {
  test::TTempDir Dir;
  TXlsxWorkbook Book;
  try {
    Book.SaveToFile(Dir.File("out.xlsx"));
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "No workbook is currently loaded.");
  }
  EXPECT_TRUE(Dir.List().empty());
}

// Each target fails at a different step: the temporary file cannot be
// created (its folder is a file), or the final move cannot replace (the
// target is a folder). The error reaches the caller; nothing is left behind.
TEST(SaveFailure, FailedSaveLeavesFilesAsTheyWereAndNoTemporaryFile) {
  test::TTempDir Dir;
  std::string Original = ReadWholeFile(Fixture("xlsxwriter"));
  WriteWholeFile(Dir.File("book.xlsx"), Original);
  std::filesystem::create_directory(Dir.File("folder.xlsx"));
  TXlsxWorkbook Book;
  Book.LoadFromFile(Dir.File("book.xlsx"));
  Book.SetCellValue(0, 0, 0, "changed");
  for (std::string Target : {Dir.File("book.xlsx") + "/inner.xlsx", Dir.File("folder.xlsx")}) {
    EXPECT_THROW(Book.SaveToFile(Target), TKvError) << Target;
    EXPECT_EQ(Dir.List(), (std::vector<std::string>{"book.xlsx", "folder.xlsx"}));
    EXPECT_EQ(ReadWholeFile(Dir.File("book.xlsx")), Original);
  }
  EXPECT_TRUE(std::filesystem::is_empty(Dir.File("folder.xlsx")));
  // The workbook is still usable: the next save goes through.
  Book.SaveToFile(Dir.File("book.xlsx"));
  TXlsxWorkbook Back;
  Back.LoadFromFile(Dir.File("book.xlsx"));
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "changed");
}

// Windows refuses to replace a file another handle holds open; POSIX replaces
// it. Either way the target is whole, old or new, and no temporary file stays.
TEST(SaveFailure, TargetHeldOpenIsEitherReplacedOrKeptWhole) {
  test::TTempDir Dir;
  std::string Path = Dir.File("book.xlsx");
  std::string Original = ReadWholeFile(Fixture("openpyxl"));
  WriteWholeFile(Path, Original);
  TXlsxWorkbook Book;
  Book.LoadFromFile(Path);
  Book.SetCellValue(0, 0, 0, "changed");
  bool Saved = false;
  {
    std::ifstream Holder(std::filesystem::path(Path), std::ios::binary);
    ASSERT_TRUE(Holder.is_open());
    try {
      Book.SaveToFile(Path);
      Saved = true;
    } catch (const TKvError& E) {
      EXPECT_NE(std::string(E.what()).find("book.xlsx"), std::string::npos) << E.what();
    }
  }
  RecordProperty("replaced_while_open", Saved ? "yes" : "no");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"book.xlsx"});
  if (Saved) {
    TXlsxWorkbook Back;
    Back.LoadFromFile(Path);
    EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "changed");
  } else {
    EXPECT_EQ(ReadWholeFile(Path), Original);
  }
}

}  // namespace kv
