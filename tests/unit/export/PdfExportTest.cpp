#include <gtest/gtest.h>

#include <regex>

#include "SheetBuilder.h"
#include "base/Error.h"
#include "base/Files.h"
#include "export/XlsxExporter.h"
#include "support/TempDir.h"

namespace kv {

using test::MakeNumberedSheet;
using test::MakeSheet;

namespace {

// The title of every page, in page order: the 11-point text at (30, 582),
// with its escapes undone.
std::vector<std::string> PageTitles(const std::string& Pdf) {
  std::vector<std::string> Titles;
  const std::string Mark = "/F1 11 Tf\n1 0 0 1 30 582 Tm\n(";
  for (size_t At = Pdf.find(Mark); At != std::string::npos; At = Pdf.find(Mark, At + 1)) {
    const size_t From = At + Mark.size();
    std::string Title;
    for (size_t I = From; I < Pdf.size() && Pdf[I] != ')'; ++I) {
      if (Pdf[I] == '\\') ++I;
      Title += Pdf[I];
    }
    Titles.push_back(Title);
  }
  return Titles;
}

std::string Pdf(const std::vector<const TXlsxSheet*>& Sheets) {
  TPdfWriter W;
  for (const TXlsxSheet* S : Sheets) LayoutSheetPages(*S, W);
  return W.FileBytes();
}

}  // namespace

TEST(PdfText, NumbersHaveAtMostTwoDecimals) {
  EXPECT_EQ(PdfNum(30), "30");
  EXPECT_EQ(PdfNum(574.8), "574.8");
  EXPECT_EQ(PdfNum(566.4), "566.4");
  EXPECT_EQ(PdfNum(43.0588), "43.06");
  EXPECT_EQ(PdfNum(732.0 / 17 * 3 + 33), "162.18");
  EXPECT_EQ(PdfNum(0.004), "0");
  EXPECT_EQ(PdfNum(-1.5), "-1.5");
  EXPECT_EQ(PdfNum(1.999), "2");
}

TEST(PdfText, StringsAreSingleByteWithParenthesesAndBackslashesEscaped) {
  EXPECT_EQ(PdfEscapeText("a(b)c\\d"), "a\\(b\\)c\\\\d");
  EXPECT_EQ(PdfEscapeText("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(PdfEscapeText("\xD0\x9F\xD1\x80\xD0\xB8"), "???");
  EXPECT_EQ(PdfEscapeText("line\r\nbreak"), "line\r\nbreak");
}

TEST(PdfLayout, ThreeByTwoPageIsExact) {
  const TXlsxSheet S = MakeSheet("S", {{"a", "b", ""}, {"d", "(e)", "f"}});
  const std::vector<double> W(3, 140);
  const std::string Expected =
      "BT\n/F1 11 Tf\n1 0 0 1 30 582 Tm\n(S) Tj\nET\n"
      "BT\n/F1 7 Tf\n"
      "1 0 0 1 33 566.4 Tm\n(A) Tj\n1 0 0 1 173 566.4 Tm\n(B) Tj\n1 0 0 1 313 566.4 Tm\n(C) Tj\n"
      "1 0 0 1 33 554.4 Tm\n(a) Tj\n1 0 0 1 173 554.4 Tm\n(b) Tj\n1 0 0 1 313 554.4 Tm\n() Tj\n"
      "1 0 0 1 33 542.4 Tm\n(d) Tj\n1 0 0 1 173 542.4 Tm\n(\\(e\\)) Tj\n"
      "1 0 0 1 313 542.4 Tm\n(f) Tj\n"
      "ET\n0.6 0.6 0.6 RG 0.5 w\n"
      "30 574.8 m 450 574.8 l S\n30 562.8 m 450 562.8 l S\n"
      "30 550.8 m 450 550.8 l S\n30 538.8 m 450 538.8 l S\n"
      "30 574.8 m 30 538.8 l S\n170 574.8 m 170 538.8 l S\n"
      "310 574.8 m 310 538.8 l S\n450 574.8 m 450 538.8 l S\n";
  EXPECT_EQ(BuildTablePageContent(S, {0, 1}, {0, 1, 2}, W, TPdfPageGeometry{}, "S"), Expected);
  // The layout picks the same widths and a bare title for a sheet this small.
  EXPECT_NE(Pdf({&S}).find("stream\n" + Expected + "\nendstream"), std::string::npos);
}

// Helvetica's own widths (x 500, W 944, y 500, e-acute 556, ellipsis 1000
// thousandths of an em) decide, between the 3-point insets on either side.
TEST(PdfLayout, LongTextsAreCutToWhatFitsAndEndInAnEllipsis) {
  // (140 - 6) / 7 x 1000 = 19143: 38 x fit whole; cut, 36 x and the ellipsis.
  const TXlsxSheet Fits = MakeSheet("F", {{std::string(38, 'x')}});
  EXPECT_NE(Pdf({&Fits}).find("(" + std::string(38, 'x') + ") Tj"), std::string::npos);
  const TXlsxSheet Wide = MakeSheet("W", {{std::string(60, 'x'), std::string(60, 'W')}});
  const std::string P = Pdf({&Wide});
  EXPECT_NE(P.find("(" + std::string(36, 'x') + "\x85) Tj"), std::string::npos);
  // Capitals are wider than digits: 19 W.
  EXPECT_NE(P.find("(" + std::string(19, 'W') + "\x85) Tj"), std::string::npos);

  // (732 / 17 - 6) / 7 x 1000 = 5294.
  std::vector<std::vector<std::string>> Row(1, std::vector<std::string>(17, std::string(60, 'x')));
  Row[0][0] = "\xC3\xA9" + std::string(20, 'y');  // a character, whatever its bytes
  const TXlsxSheet Narrow = MakeSheet("N", Row);
  const std::string N = Pdf({&Narrow});
  EXPECT_NE(N.find("(\xE9" + std::string(7, 'y') + "\x85) Tj"), std::string::npos);
  EXPECT_NE(N.find("(" + std::string(8, 'x') + "\x85) Tj"), std::string::npos);
  EXPECT_EQ(N.find(std::string(9, 'x')), std::string::npos);
}

// Printing leaves out what the sheet hides; the letters name the columns shown.
TEST(PdfLayout, HiddenRowsAndColumnsAreLeftOut) {
  TXlsxSheet S =
      MakeSheet("H", {{"a", "secret", "c"}, {"secret", "secret", "secret"}, {"g", "h", "i"}});
  S.HiddenCols.Add(1, 1);
  S.HiddenRows.Add(1, 1);
  const std::string P = Pdf({&S});
  EXPECT_EQ(P.find("secret"), std::string::npos);
  EXPECT_EQ(P.find("(h) Tj"), std::string::npos);
  for (const char* Shown : {"(A) Tj", "(C) Tj", "(a) Tj", "(c) Tj", "(g) Tj", "(i) Tj"})
    EXPECT_NE(P.find(Shown), std::string::npos) << Shown;
  EXPECT_EQ(P.find("(B) Tj"), std::string::npos);
}

// Characters outside Windows-1252 print as "?" and are counted, once each,
// where they are shown; a written "?" is no such character.
TEST(PdfLayout, CharactersWithoutAGlyphAreCounted) {
  test::TTempDir Dir;
  const std::string Greek = "\xCE\xB1\xCE\xB2\xCE\xB3";  // three letters
  const TXlsxSheet S =
      MakeSheet("G", {{Greek, "why?", "caf\xC3\xA9", "\xE4\xB8\xAD" + std::string(200, 'x')}});
  EXPECT_EQ(ExportPdfWithFonts(TSheetList{&S}, Dir.File("g.pdf"), nullptr), 4);
  EXPECT_NE(ReadWholeFile(Dir.File("g.pdf")).find("(" + std::string(3, '?') + ") Tj"),
            std::string::npos);
}

TEST(PdfLayout, LineBreaksInACellBecomeBlanks) {
  const TXlsxSheet S = MakeSheet("L", {{"lf\nonly", "cr\r\nlf", "lone\rcr"}});
  const std::string P = Pdf({&S});
  EXPECT_NE(P.find("(lf only) Tj"), std::string::npos);
  EXPECT_NE(P.find("(cr lf) Tj"), std::string::npos);
  EXPECT_NE(P.find("(lone cr) Tj"), std::string::npos);
  // In a long text the breaks before the cut are blanks too.
  const TXlsxSheet Long = MakeSheet("L", {{"a\r\nb\n" + std::string(100000, 'x')}});
  EXPECT_NE(Pdf({&Long}).find("(a b " + std::string(32, 'x') + "\x85) Tj"), std::string::npos);
}

TEST(PdfLayout, FileWrittenAsItGoesEqualsTheFileKeptWhole) {
  test::TTempDir Dir;
  const TXlsxSheet A = MakeNumberedSheet("A", 50, 18);
  const TXlsxSheet B = MakeSheet("Empty", {});
  const TXlsxSheet C = MakeNumberedSheet("C", 3, 2);
  ExportPdfWithFonts(TSheetList{&A, &B, &C}, Dir.File("out.pdf"), nullptr);
  EXPECT_EQ(ReadWholeFile(Dir.File("out.pdf")), Pdf({&A, &B, &C}));
  EXPECT_EQ(SheetPageCount(A) + SheetPageCount(B) + SheetPageCount(C), 6);
}

TEST(PdfLayout, SeventeenColumnsFitAndEighteenSplit) {
  const TXlsxSheet C17 = MakeNumberedSheet("Fits", 3, 17);
  EXPECT_EQ(PageTitles(Pdf({&C17})), std::vector<std::string>{"Fits"});

  const TXlsxSheet S = MakeNumberedSheet("name", 50, 18);
  const std::string P = Pdf({&S});
  EXPECT_EQ(PageTitles(P),
            (std::vector<std::string>{
                "name (columns A-Q) [rows 1-44]", "name (columns A-Q) [rows 45-50]",
                "name (columns R-R) [rows 1-44]", "name (columns R-R) [rows 45-50]"}));
  // The lone column R of the second block is 140 wide; the last page starts at row 45.
  EXPECT_NE(P.find("30 574.8 m 170 574.8 l S\n"), std::string::npos);
  EXPECT_NE(P.find("1 0 0 1 33 554.4 Tm\n(r45c18) Tj\n"), std::string::npos);
  EXPECT_NE(P.find("1 0 0 1 76.06 566.4 Tm\n(B) Tj\n"), std::string::npos);
}

TEST(PdfLayout, FortyFourRowsMakeOnePageAndFortyFiveMakeTwo) {
  const TXlsxSheet A = MakeNumberedSheet("T", 44, 5);
  const TXlsxSheet B = MakeNumberedSheet("T", 45, 5);
  EXPECT_EQ(PageTitles(Pdf({&A})), std::vector<std::string>{"T"});
  EXPECT_EQ(PageTitles(Pdf({&B})), (std::vector<std::string>{"T [rows 1-44]", "T [rows 45-45]"}));
}

TEST(PdfLayout, EmptySheetGetsOneNotePage) {
  const TXlsxSheet E = MakeSheet("Void (1)", {});
  const std::string P = Pdf({&E});
  EXPECT_NE(P.find("stream\nBT /F1 12 Tf 1 0 0 1 30 582 Tm (Void \\(1\\) - empty worksheet) Tj "
                   "ET\nendstream"),
            std::string::npos);
  EXPECT_NE(P.find("/Count 1 >>"), std::string::npos);
}

TEST(PdfFile, ObjectsPageTreeAndCrossReferencesAreConsistent) {
  const TXlsxSheet A = MakeSheet("A", {{"1"}});
  const TXlsxSheet B = MakeSheet("B", {});
  const TXlsxSheet C = MakeNumberedSheet("C\xD0\x96", 45, 2);
  const std::string P = Pdf({&A, &B, &C});
  ASSERT_TRUE(
      P.starts_with("%PDF-1.4\n1 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont "
                    "/Helvetica /Encoding /WinAnsiEncoding >>\nendobj\n"));
  EXPECT_NE(P.find("2 0 obj\n<< /Type /Pages /Kids [ 5 0 R 7 0 R 9 0 R 11 0 R ] /Count 4 >>"),
            std::string::npos);
  EXPECT_NE(P.find("3 0 obj\n<< /Type /Catalog /Pages 2 0 R >>"), std::string::npos);
  EXPECT_NE(P.find("5 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 792 612] /Resources << "
                   "/Font << /F1 1 0 R >> >> /Contents 4 0 R >>\nendobj\n"),
            std::string::npos);
  EXPECT_EQ(PageTitles(P), (std::vector<std::string>{"A", "C? [rows 1-44]", "C? [rows 45-45]"}));

  std::smatch M;
  ASSERT_TRUE(std::regex_search(
      P, M, std::regex("trailer\n<< /Size 12 /Root 3 0 R >>\nstartxref\n([0-9]+)\n%%EOF$")));
  const size_t Xref = std::stoul(M[1]);
  ASSERT_EQ(P.compare(Xref, 12, "xref\n0 12\n00"), 0);
  size_t Entry = Xref + 10;
  EXPECT_EQ(P.substr(Entry, 20), "0000000000 65535 f\r\n");
  for (int I = 1; I <= 11; ++I) {
    Entry += 20;
    const std::string Line = P.substr(Entry, 20);
    ASSERT_TRUE(Line.ends_with(" 00000 n\r\n")) << Line;
    const std::string Head = std::to_string(I) + " 0 obj\n";
    EXPECT_EQ(P.compare(std::stoul(Line.substr(0, 10)), Head.size(), Head), 0) << I;
  }
  EXPECT_EQ(P.substr(Entry + 20, 8), "trailer\n");

  // Every /Length counts the stream's bytes exactly.
  const std::regex Stream("<< /Length ([0-9]+) >>\nstream\n");
  int Streams = 0;
  for (auto It = std::sregex_iterator(P.begin(), P.end(), Stream); It != std::sregex_iterator();
       ++It, ++Streams) {
    const size_t From = size_t(It->position() + It->length());
    EXPECT_EQ(P.compare(From + std::stoul((*It)[1]), 10, "\nendstream"), 0);
  }
  EXPECT_EQ(Streams, 4);
}

TEST(PdfFile, SaveReplacesTheTargetWhole) {
  test::TTempDir Dir;
  const TXlsxSheet A = MakeSheet("A", {{"1"}});
  WriteWholeFile(Dir.File("out.pdf"), "old");
  ExportPdfWithFonts(TSheetList{&A}, Dir.File("out.pdf"), nullptr);
  EXPECT_EQ(ReadWholeFile(Dir.File("out.pdf")), Pdf({&A}));
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"out.pdf"});
  EXPECT_THROW(ExportPdf(TSheetList{&A}, Dir.File("no/such/dir/out.pdf")), TKvError);
}

}  // namespace kv
