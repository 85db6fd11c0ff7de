#include <gtest/gtest.h>

#include "base/Error.h"
#include "base/Files.h"
#include "unit/export/SheetBuilder.h"
#include "export/XlsxExporter.h"
#include "support/TempDir.h"

namespace kv {

using test::MakeSheet;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string FormatError(const std::string& Passed) {
  try {
    ParseExportFormat(Passed);
  } catch (const TKvError& E) {
    return E.what();
  }
  return "(no error)";
}

}  // namespace

TEST(ExportWords, FormatWordsAreTrimmedAndCaseFolded) {
  EXPECT_EQ(ParseExportFormat(" PDF\t"), ExportFormat::PDF);
  EXPECT_EQ(ParseExportFormat("Web Page"), ExportFormat::HTML);
  EXPECT_EQ(ParseExportFormat("XML"), ExportFormat::XMLSpreadsheet);
  EXPECT_EQ(ParseExportFormat("xml spreadsheet"), ExportFormat::XMLSpreadsheet);
  EXPECT_EQ(ParseExportFormat("TabText"), ExportFormat::Text);
  EXPECT_EQ(ParseExportFormat("txt"), ExportFormat::Text);
  EXPECT_EQ(ParseExportFormat("DOCX"), ExportFormat::Word);
  EXPECT_EQ(ParseExportFormat("csv"), ExportFormat::CSV);
  // Inner blanks are not folded, and the extension-like words are not accepted.
  EXPECT_THROW(ParseExportFormat("web  page"), TKvError);
  EXPECT_THROW(ParseExportFormat(".csv"), TKvError);
}

TEST(ExportWords, UnknownFormatQuotesTheTextAsPassed) {
  EXPECT_EQ(FormatError(" xls "),
            "Unknown export format \" xls \". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
  EXPECT_EQ(FormatError(""),
            "Unknown export format \"\". Use CSV, Text, HTML, XMLSpreadsheet, Word or PDF.");
}

TEST(ExportWords, OnlyTheAllWordsSelectAllSheets) {
  EXPECT_TRUE(IsAllSheetsScope("All Sheets"));
  EXPECT_TRUE(IsAllSheetsScope(" AllSheets "));
  EXPECT_TRUE(IsAllSheetsScope("ALL"));
  EXPECT_FALSE(IsAllSheetsScope("CurrentSheet"));
  EXPECT_FALSE(IsAllSheetsScope("Sheet2"));
  EXPECT_FALSE(IsAllSheetsScope("2"));
  EXPECT_FALSE(IsAllSheetsScope(""));
  EXPECT_FALSE(IsAllSheetsScope("all  sheets"));
}

TEST(ExportEscapes, HtmlEscapesMarkupAndTurnsLineBreaksIntoBreaks) {
  EXPECT_EQ(HtmlEscape("a < b & c"), "a &lt; b &amp; c");
  EXPECT_EQ(HtmlEscape("\"x\" > 'y'"), "&quot;x&quot; &gt; 'y'");
  // Loading turns a stored CR LF into LF: both are one line break.
  EXPECT_EQ(HtmlEscape("one\r\ntwo\nthree\rfour\n"), "one<br>two<br>three\rfour<br>");
  EXPECT_EQ(HtmlEscape("&lt;"), "&amp;lt;");
}

TEST(ExportEscapes, XmlEscapesAllFiveAndDropsWhatXmlCannotHold) {
  EXPECT_EQ(XmlEscape("R&D <\"it's\">"), "R&amp;D &lt;&quot;it&apos;s&quot;&gt;");
  EXPECT_EQ(XmlEscape("a\tb\r\nc"), "a\tb\r\nc");
  EXPECT_EQ(XmlEscape(std::string("x\x01y\x1Fz\0", 6)), "x?y?z?");
  // U+FFFE and U+FFFF are as forbidden; U+FFFD and U+FEFF are not.
  EXPECT_EQ(XmlEscape("a\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD\xEF\xBB\xBF\xEF\xBF"),
            "a?"
            "?\xEF\xBF\xBD\xEF\xBB\xBF\xEF\xBF");
  EXPECT_EQ(XmlEscape("\xD0\x9F\xC3\xA9"), "\xD0\x9F\xC3\xA9");
}

TEST(ExportEscapes, SafeFileNamePartReplacesTheNineReservedCharacters) {
  EXPECT_EQ(SafeFileNamePart("Q1/Q2"), "Q1_Q2");
  EXPECT_EQ(SafeFileNamePart("a\"*/:<>?\\|b"), "a_________b");
  EXPECT_EQ(SafeFileNamePart("tab\there \xC3\xA9."), "tab\there \xC3\xA9.");
}

TEST(DelimitedText, QuotingDependsOnTheDelimiter) {
  const TXlsxSheet S = MakeSheet("S", {{"\"hi\"", "a,b", "a\tb"}, {"", "line\r\nbreak", "x"}});
  EXPECT_EQ(DelimitedSheetText(S, ','),
            kBom + "\"\"\"hi\"\"\",\"a,b\",a\tb\r\n,\"line\r\nbreak\",x\r\n");
  EXPECT_EQ(DelimitedSheetText(S, '\t'),
            kBom + "\"\"\"hi\"\"\"\ta,b\t\"a\tb\"\r\n\t\"line\r\nbreak\"\tx\r\n");
}

TEST(DelimitedText, EmptyCellsKeepTheirDelimitersAndEmptySheetIsJustTheBom) {
  EXPECT_EQ(DelimitedSheetText(MakeSheet("S", {{"", "", ""}, {"", "", "z"}}), ','),
            kBom + ",,\r\n,,z\r\n");
  EXPECT_EQ(DelimitedSheetText(MakeSheet("Empty", {}), ','), kBom);
  EXPECT_EQ(DelimitedSheetText(MakeSheet("Lone", {{"\n"}}), '\t'), kBom + "\"\n\"\r\n");
}

TEST(DelimitedExport, FileWrittenInPiecesHoldsTheWholeText) {
  // Rows of about 1 KiB, over 400 KiB in all: the file is written in several pieces.
  std::vector<std::vector<std::string>> Rows;
  for (int R = 0; R < 400; ++R) {
    std::vector<std::string> Row;
    for (int C = 0; C < 20; ++C)
      Row.push_back(C % 7 == 3 ? "q\"" + std::to_string(R) + ",x" : std::string(60, char('a' + C)));
    Rows.push_back(Row);
  }
  const TXlsxSheet S = MakeSheet("Big", Rows);
  test::TTempDir Dir;
  WriteDelimitedSheet(S, Dir.File("big.csv"), ',');
  const std::string Text = DelimitedSheetText(S, ',');
  EXPECT_GT(Text.size(), size_t{400000});
  EXPECT_EQ(ReadWholeFile(Dir.File("big.csv")), Text);
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"big.csv"});
}

TEST(DelimitedExport, SeveralSheetsGoToSuffixedFilesAndTheGivenNameIsNotWritten) {
  test::TTempDir Dir;
  const TXlsxSheet Sales = MakeSheet("Sales", {{"1"}});
  const TXlsxSheet Q = MakeSheet("Q1/Q2", {{"2"}});
  ExportDelimited(TSheetList{&Sales, &Q}, ',', Dir.File("book.csv"));
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"book_Q1_Q2.csv", "book_Sales.csv"}));
  EXPECT_EQ(ReadWholeFile(Dir.File("book_Q1_Q2.csv")), kBom + "2\r\n");

  test::TTempDir Bare;
  ExportDelimited(TSheetList{&Sales, &Q}, '\t', Bare.File("book"));
  EXPECT_EQ(Bare.List(), (std::vector<std::string>{"book_Q1_Q2", "book_Sales"}));
}

TEST(DelimitedExport, OneSheetGoesToTheGivenNameAndReplacesIt) {
  test::TTempDir Dir;
  const TXlsxSheet S = MakeSheet("Only", {{"a", "b"}});
  WriteWholeFile(Dir.File("out.csv"), std::string(5000, 'x'));
  ExportDelimited(TSheetList{&S}, ',', Dir.File("out.csv"));
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"out.csv"});
  EXPECT_EQ(ReadWholeFile(Dir.File("out.csv")), kBom + "a,b\r\n");
}

TEST(DelimitedExport, SheetsWhoseNamesCollideGetNumberedFiles) {
  test::TTempDir Dir;
  const TXlsxSheet A = MakeSheet("a:b", {{"first"}});
  const TXlsxSheet B = MakeSheet("a?b", {{"second"}});
  const TXlsxSheet C = MakeSheet("A_B_2", {{"third"}});  // takes the name "_2" would get
  const TXlsxSheet D = MakeSheet("a\"b", {{"fourth"}});
  ExportDelimited(TSheetList{&A, &B, &C, &D}, ',', Dir.File("x.y.csv"));
  EXPECT_EQ(SheetFileNames(TSheetList{&A, &B, &C, &D}, "x.y.csv"),
            (std::vector<std::string>{"x.y_a_b.csv", "x.y_a_b_2.csv", "x.y_A_B_2_2.csv",
                                      "x.y_a_b_3.csv"}));
  EXPECT_EQ(ReadWholeFile(Dir.File("x.y_a_b.csv")), kBom + "first\r\n");
  EXPECT_EQ(ReadWholeFile(Dir.File("x.y_a_b_2.csv")), kBom + "second\r\n");
  EXPECT_EQ(ReadWholeFile(Dir.File("x.y_A_B_2_2.csv")), kBom + "third\r\n");
  EXPECT_EQ(ReadWholeFile(Dir.File("x.y_a_b_3.csv")), kBom + "fourth\r\n");
  EXPECT_EQ(SheetFileNames(TSheetList{&A, &B}, "C:\\out\\book"),
            (std::vector<std::string>{"C:\\out\\book_a_b", "C:\\out\\book_a_b_2"}));
}

TEST(DelimitedExport, UnwritableTargetRaisesAndLeavesNothingBehind) {
  test::TTempDir Dir;
  const TXlsxSheet S = MakeSheet("S", {{"a"}});
  EXPECT_THROW(ExportDelimited(TSheetList{&S}, ',', Dir.File("missing/out.csv")), TKvError);
  EXPECT_TRUE(Dir.List().empty());
}

TEST(HtmlExport, DocumentLinesAreExact) {
  const TXlsxSheet S = MakeSheet("A&B", {{"a < b", "x\r\ny"}});
  const TXlsxSheet E = MakeSheet("Empty", {});
  const std::string Expected =
      kBom +
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\">\r\n"
      "<style>body{font-family:Segoe UI,Arial,sans-serif;}table{border-collapse:collapse;"
      "margin-bottom:28px;font-size:13px;}td,th{border:1px solid #999;padding:4px 8px;}"
      "th{background:#f0f0f0;font-weight:bold;}h2{font-size:16px;}</style></head><body>\r\n"
      "<h2>A&amp;B</h2>\r\n<table>\r\n<tr>\r\n<td>a &lt; b</td>\r\n<td>x<br>y</td>\r\n"
      "</tr>\r\n</table>\r\n"
      "<h2>Empty</h2>\r\n<table>\r\n</table>\r\n"
      "</body></html>\r\n";
  EXPECT_EQ(HtmlDocumentText(TSheetList{&S, &E}), Expected);
}

}  // namespace kv
