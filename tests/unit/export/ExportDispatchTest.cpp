// The export entry over a workbook loaded from a file openpyxl wrote (sheets
// Sheet1 and Data; a hidden sheet is not loaded).
#include <gtest/gtest.h>

#include "base/Error.h"
#include "base/Files.h"
#include "export/XlsxExporter.h"
#include "support/TempDir.h"

namespace kv {

namespace {

const std::string kBom = "\xEF\xBB\xBF";

class ExportEntry : public ::testing::Test {
 protected:
  void SetUp() override { FBook.LoadFromFile(KV_FIXTURES_DIR "/xlsx/edit-openpyxl.xlsx"); }

  std::string ErrorOf(const TXlsxWorkbook* Book, int Current, const std::string& Format,
                      const std::string& Out, const std::string& Scope = "") {
    try {
      ExportWorkbookToFile(Book, Current, Format, Out, Scope);
    } catch (const TKvError& E) {
      return E.what();
    }
    return "(no error)";
  }

  TXlsxWorkbook FBook;
  test::TTempDir FDir;
};

}  // namespace

TEST_F(ExportEntry, ChecksComeInOrderAndCreateNothing) {
  ASSERT_EQ(FBook.SheetCount(), 2);
  const std::string Out = FDir.File("out.csv");
  EXPECT_EQ(ErrorOf(nullptr, 0, "", ""), "No workbook is currently open.");
  EXPECT_EQ(ErrorOf(&FBook, 0, "nonsense", " \t"), "No output file name was given.");
  EXPECT_EQ(ErrorOf(&FBook, 0, "xls", Out),
            "Unknown export format \"xls\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
  EXPECT_EQ(ErrorOf(&FBook, 2, "CSV", Out), "There is no current worksheet to export.");
  EXPECT_EQ(ErrorOf(&FBook, -1, "PDF", Out, "Sheet2"), "There is no current worksheet to export.");
  TXlsxWorkbook Unloaded;
  EXPECT_EQ(ErrorOf(&Unloaded, 0, "CSV", Out, "all"), "The workbook has no worksheets to export.");
  EXPECT_TRUE(FDir.List().empty());
}

TEST_F(ExportEntry, ScopeDecidesBetweenTheCurrentSheetAndAll) {
  ExportWorkbookToFile(&FBook, 1, "csv", FDir.File("cur.csv"), "2");
  EXPECT_EQ(ReadWholeFile(FDir.File("cur.csv")), kBom + "hello,1\r\n");
  ExportWorkbookToFile(&FBook, 1, " Text ", FDir.File("all.txt"), "All Sheets");
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"all_Data.txt", "all_Sheet1.txt", "cur.csv"}));
  EXPECT_EQ(ReadWholeFile(FDir.File("all_Data.txt")), kBom + "hello\t1\r\n");
  const std::string First = ReadWholeFile(FDir.File("all_Sheet1.txt"));
  EXPECT_TRUE(First.starts_with(kBom + "Name\tValue\tWhen\t")) << First;
}

TEST_F(ExportEntry, EachFormatWordReachesItsWriter) {
  ExportWorkbookToFile(&FBook, 0, "web page", FDir.File("a.html"), "all");
  ExportWorkbookToFile(&FBook, 0, "XML", FDir.File("a.xml"), "all");
  ExportWorkbookToFile(&FBook, 0, "docx", FDir.File("a.docx"), "");
  ExportWorkbookToFile(&FBook, 0, "pdf", FDir.File("a.pdf"), "");
  const std::string Html = ReadWholeFile(FDir.File("a.html"));
  EXPECT_NE(Html.find("<h2>Data</h2>"), std::string::npos);
  EXPECT_NE(Html.find("<td>far</td>"), std::string::npos);
  const std::string Xml = ReadWholeFile(FDir.File("a.xml"));
  EXPECT_NE(Xml.find(" <Worksheet ss:Name=\"Data\">"), std::string::npos);
  EXPECT_NE(Xml.find("<Data ss:Type=\"Number\">12.5</Data>"), std::string::npos);
  EXPECT_TRUE(ReadWholeFile(FDir.File("a.docx")).starts_with("PK\x03\x04"));
  const std::string Pdf = ReadWholeFile(FDir.File("a.pdf"));
  // The first sheet's pages only, its text in an embedded font.
  EXPECT_GT(SheetPageCount(FBook.Sheet(0)), 1);
  EXPECT_NE(Pdf.find("/Count " + std::to_string(SheetPageCount(FBook.Sheet(0))) + " >>"),
            std::string::npos);
  EXPECT_NE(Pdf.find("/Subtype /CIDFontType2"), std::string::npos);
}

TEST_F(ExportEntry, FailedExportLeavesTheExistingFileAlone) {
  const std::string Out = FDir.File("keep.pdf");
  WriteWholeFile(Out, "previous");
  EXPECT_THROW(ExportWorkbookToFile(&FBook, 0, "xlsx", Out, ""), TKvError);
  EXPECT_THROW(ExportWorkbookToFile(&FBook, 0, "Word", FDir.File("no/dir/x.docx"), ""), TKvError);
  EXPECT_EQ(ReadWholeFile(Out), "previous");
  EXPECT_EQ(FDir.List(), std::vector<std::string>{"keep.pdf"});
}

}  // namespace kv
