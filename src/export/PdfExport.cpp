#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "export/ExportSink.h"
#include "export/PdfText.h"
#include "export/XlsxExporter.h"
#include "workbook/CellNotation.h"

namespace kv {

namespace {

constexpr TPdfPageGeometry kPage;
constexpr double kUsableWidth = kPage.PageWidth - 2 * kPage.LeftMargin;
constexpr double kUsableHeight = kPage.PageHeight - 2 * kPage.TopMargin;
constexpr double kTitleReserve = 24;
constexpr double kMaxColWidth = 140;
constexpr double kMinColWidth = 42;
constexpr double kTextInset = 3;

void AppendPdfNum(std::string& Out, double Value) {
  if (!(std::fabs(Value) < 1e15)) {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.0f", std::isfinite(Value) ? Value : 0.0);
    Out += Buf;
    return;
  }
  // Hundredths, rounded half away from zero.
  long long Hundredths = std::llround(Value * 100.0);
  if (Hundredths < 0) {
    Out += '-';
    Hundredths = -Hundredths;
  }
  Out += std::to_string(Hundredths / 100);
  const int Frac = int(Hundredths % 100);
  if (Frac == 0) return;
  Out += '.';
  Out += char('0' + Frac / 10);
  if (Frac % 10 != 0) Out += char('0' + Frac % 10);
}

void AppendPdfInt(std::string& Out, long long Value, int Width) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%.*lld", Width, Value);
  Out += Buf;
}

void AppendEscaped(std::string& Out, std::string_view Text) {
  const bool Ascii =
      std::all_of(Text.begin(), Text.end(), [](char C) { return (unsigned char)C < 0x80; });
  const std::string Converted = Ascii ? std::string() : Utf8ToWindows1252(Text, '?');
  const std::string_view Bytes = Ascii ? Text : std::string_view(Converted);
  for (char C : Bytes) {
    if (C == '(' || C == ')' || C == '\\') Out += '\\';
    Out += C;
  }
}

// Text as Windows-1252 (unmappable characters as ?), in Buffer unless ASCII.
std::string_view ToWindows1252(std::string_view Text, std::string& Buffer) {
  if (std::all_of(Text.begin(), Text.end(), [](char C) { return (unsigned char)C < 0x80; }))
    return Text;
  Buffer = Utf8ToWindows1252(Text, '?');
  return Buffer;
}

// "1 0 0 1 x y Tm\n(bytes) Tj\n", ( ) \ escaped.
void AppendShowBytes(std::string& Out, double X, double Y, std::string_view Bytes) {
  Out += "1 0 0 1 ";
  AppendPdfNum(Out, X);
  Out += ' ';
  AppendPdfNum(Out, Y);
  Out += " Tm\n(";
  for (char C : Bytes) {
    if (C == '(' || C == ')' || C == '\\') Out += '\\';
    Out += C;
  }
  Out += ") Tj\n";
}

// "1 0 0 1 x y Tm\n(text) Tj\n"
void AppendShowText(std::string& Out, double X, double Y, std::string_view EscapedOrRaw,
                    bool Escape) {
  Out += "1 0 0 1 ";
  AppendPdfNum(Out, X);
  Out += ' ';
  AppendPdfNum(Out, Y);
  Out += " Tm\n(";
  if (Escape)
    AppendEscaped(Out, EscapedOrRaw);
  else
    Out.append(EscapedOrRaw);
  Out += ") Tj\n";
}

void AppendLineTo(std::string& Out, double X1, double Y1, double X2, double Y2) {
  AppendPdfNum(Out, X1);
  Out += ' ';
  AppendPdfNum(Out, Y1);
  Out += " m ";
  AppendPdfNum(Out, X2);
  Out += ' ';
  AppendPdfNum(Out, Y2);
  Out += " l S\n";
}

std::string PageTitle(const TXlsxSheet& Sheet, int ColsPerBlock, int RowsPerPage, int FirstCol,
                      int LastCol, int FirstRow, int LastRow) {
  std::string Title = Sheet.Name;
  if (Sheet.ColCount() > ColsPerBlock)
    Title +=
        " (columns " + ColumnIndexToLetters(FirstCol) + "-" + ColumnIndexToLetters(LastCol) + ")";
  if (Sheet.RowCount() > RowsPerPage)
    Title += " [rows " + std::to_string(FirstRow + 1) + "-" + std::to_string(LastRow + 1) + "]";
  return Title;
}

}  // namespace

std::string PdfNum(double Value) {
  std::string Out;
  AppendPdfNum(Out, Value);
  return Out;
}

std::string PdfEscapeText(std::string_view Text) {
  std::string Out;
  AppendEscaped(Out, Text);
  return Out;
}

TPdfWriter::TPdfWriter() {
  AddFixedObjects(std::string());
}

TPdfWriter::TPdfWriter(std::function<void(std::string_view)> Sink, int PageCount)
    : FSink(std::move(Sink)), FStreamed(true), FExpectedPages(PageCount) {
  // Pages come as content stream and page object pairs after the first
  // three objects, so the page tree is known before the first page.
  std::vector<int> Pages;
  for (int K = 0; K < PageCount; ++K) Pages.push_back(5 + 2 * K);
  Put("%PDF-1.4\n");
  AddFixedObjects(PagesBody(Pages));
}

void TPdfWriter::AddFixedObjects(std::string PagesBody) {
  FFontObjNum = AddObject(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding "
      "/WinAnsiEncoding >>");
  FPagesObjNum = AddObject(std::move(PagesBody));
  FCatalogObjNum =
      AddObject("<< /Type /Catalog /Pages " + std::to_string(FPagesObjNum) + " 0 R >>");
}

std::string TPdfWriter::PagesBody(const std::vector<int>& Pages) {
  std::string Kids;
  for (int N : Pages) Kids += std::to_string(N) + " 0 R ";
  return "<< /Type /Pages /Kids [ " + Kids + "] /Count " + std::to_string(Pages.size()) + " >>";
}

void TPdfWriter::Put(std::string_view Bytes) {
  FSink(Bytes);
  FOffset += Bytes.size();
}

void TPdfWriter::PutObject(size_t Number, std::string_view Body) {
  FOffsets.push_back(FOffset);
  Put(std::to_string(Number) + " 0 obj\n");
  Put(Body);
  Put("\nendobj\n");
}

void TPdfWriter::PutTail(size_t ObjectCount) {
  std::string Tail = "xref\n0 " + std::to_string(ObjectCount + 1) + "\n";
  Tail.reserve(Tail.size() + 20 * (ObjectCount + 1) + 128);
  Tail += "0000000000 65535 f\r\n";
  for (uint64_t At : FOffsets) {
    AppendPdfInt(Tail, (long long)At, 10);
    Tail += " 00000 n\r\n";
  }
  Tail += "trailer\n<< /Size " + std::to_string(ObjectCount + 1) + " /Root " +
          std::to_string(FCatalogObjNum) + " 0 R >>\nstartxref\n" + std::to_string(FOffset) +
          "\n%%EOF";
  Put(Tail);
}

int TPdfWriter::AddObject(std::string Body) {
  if (FStreamed) {
    PutObject(++FObjectCount, Body);
    return int(FObjectCount);
  }
  FObjects.push_back(std::move(Body));
  return static_cast<int>(FObjects.size());
}

int TPdfWriter::AddPage(std::string_view ContentStream, double PageWidth, double PageHeight) {
  std::string Content = "<< /Length " + std::to_string(ContentStream.size()) + " >>\nstream\n";
  Content.reserve(Content.size() + ContentStream.size() + 16);
  Content.append(ContentStream);
  Content += "\nendstream";
  const int ContentNum = AddObject(std::move(Content));
  const int Page = AddObject("<< /Type /Page /Parent " + std::to_string(FPagesObjNum) +
                             " 0 R /MediaBox [0 0 " + PdfNum(PageWidth) + " " + PdfNum(PageHeight) +
                             "] /Resources << /Font << /F1 " + std::to_string(FFontObjNum) +
                             " 0 R >> >> /Contents " + std::to_string(ContentNum) + " 0 R >>");
  FPageObjNums.push_back(Page);
  return Page;
}

void TPdfWriter::Finish() {
  if (!FStreamed || FPageObjNums.size() != size_t(FExpectedPages))
    throw TKvError("The PDF writer was given " + std::to_string(FPageObjNums.size()) +
                   " pages instead of the " + std::to_string(FExpectedPages) + " announced.");
  PutTail(FObjectCount);
}

std::string TPdfWriter::FileBytes() {
  FObjects[size_t(FPagesObjNum) - 1] = PagesBody(FPageObjNums);
  size_t Total = 1024;
  for (const std::string& O : FObjects) Total += O.size() + 40;
  std::string Out;
  Out.reserve(Total);
  FSink = [&Out](std::string_view S) { Out.append(S); };
  FOffset = 0;
  FOffsets.clear();
  Put("%PDF-1.4\n");
  for (size_t I = 0; I < FObjects.size(); ++I) PutObject(I + 1, FObjects[I]);
  PutTail(FObjects.size());
  FSink = nullptr;
  return Out;
}

void TPdfWriter::SaveToFile(const std::string& FileName) {
  WriteFileAtomically(FileName, FileBytes());
}

namespace {

// A cell's text as one line: each line break (CR LF, LF or CR) a blank.
std::string_view OneLine(std::string_view Text, std::string& Buffer) {
  if (std::none_of(Text.begin(), Text.end(), [](char C) { return C == '\r' || C == '\n'; }))
    return Text;
  Buffer.clear();
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    Buffer += (Text[I] == '\r' || Text[I] == '\n') ? ' ' : Text[I];
  }
  return Buffer;
}

}  // namespace

std::string BuildTablePageContent(const TXlsxSheet& Sheet, int FirstRow, int LastRow, int FirstCol,
                                  int LastCol, const std::vector<double>& Widths,
                                  const TPdfPageGeometry& Page, std::string_view Title) {
  const double FontSize = Page.FontSize;
  const double RowHeight = Page.RowHeight;
  const int Cols = LastCol - FirstCol + 1;
  const int Rows = LastRow - FirstRow + 1;
  const double X0 = Page.LeftMargin;
  double XR = X0;
  for (int C = 0; C < Cols; ++C) XR += Widths[size_t(C)];
  const double YT = Page.PageHeight - Page.TopMargin;
  const double Top = YT - 0.6 * RowHeight;
  const double Bottom = Top - (Rows + 1) * RowHeight;

  std::string Out;
  Out.reserve(size_t(Rows + 1) * size_t(Cols) * 40 + 512);
  Out += "BT\n/F1 ";
  AppendPdfNum(Out, FontSize + 4);
  Out += " Tf\n";
  AppendShowText(Out, X0, YT, Title, true);
  Out += "ET\n";

  Out += "BT\n/F1 ";
  AppendPdfNum(Out, FontSize);
  Out += " Tf\n";
  double X = X0 + kTextInset;
  double Y = Top - 0.7 * RowHeight;
  for (int C = 0; C < Cols; ++C) {
    AppendShowText(Out, X, Y, ColumnIndexToLetters(FirstCol + C), false);
    X += Widths[size_t(C)];
  }
  // Only the start of a long text can show: the narrowest glyph is 191
  // thousandths of an em, and 4 bytes a character hold more than fit.
  std::vector<size_t> MaxBytes(size_t(Cols), 4);
  for (int C = 0; C < Cols; ++C)
    MaxBytes[size_t(C)] =
        4 * (size_t(std::max(0.0, Widths[size_t(C)]) * 1000 / (191 * FontSize)) + 2);
  std::string Line, Bytes, Fitted;
  for (int K = 1; K <= Rows; ++K) {
    Y = Top - K * RowHeight - 0.7 * RowHeight;
    X = X0 + kTextInset;
    for (int C = 0; C < Cols; ++C) {
      std::string_view Text = Sheet.Cell(FirstRow + K - 1, FirstCol + C);
      Text = OneLine(Text.substr(0, MaxBytes[size_t(C)]), Line);
      // Between the inset and the same inset before the column's right rule.
      bool Cut = false;
      const std::string_view Shown = FitHelvetica(
          ToWindows1252(Text, Bytes), Widths[size_t(C)] - 2 * kTextInset, FontSize, Fitted, Cut);
      AppendShowBytes(Out, X, Y, Shown);
      X += Widths[size_t(C)];
    }
  }
  Out += "ET\n";

  Out += "0.6 0.6 0.6 RG 0.5 w\n";
  for (int J = 0; J <= Rows + 1; ++J) {
    const double YJ = Top - J * RowHeight;
    AppendLineTo(Out, X0, YJ, XR, YJ);
  }
  X = X0;
  for (int C = 0; C <= Cols; ++C) {
    AppendLineTo(Out, X, Top, X, Bottom);
    if (C < Cols) X += Widths[size_t(C)];
  }
  return Out;
}

namespace {

void BlockSizes(const TXlsxSheet& Sheet, int& ColsPerBlock, int& RowsPerPage) {
  const double W = std::min(kUsableWidth / Sheet.ColCount(), kMaxColWidth);
  ColsPerBlock = W >= kMinColWidth ? Sheet.ColCount() : int(kUsableWidth / kMinColWidth);
  ColsPerBlock = std::min(std::max(ColsPerBlock, 1), Sheet.ColCount());
  RowsPerPage = std::max(1, int((kUsableHeight - kTitleReserve) / kPage.RowHeight));
}

}  // namespace

int SheetPageCount(const TXlsxSheet& Sheet) {
  if (Sheet.RowCount() == 0 || Sheet.ColCount() == 0) return 1;
  int ColsPerBlock = 0, RowsPerPage = 0;
  BlockSizes(Sheet, ColsPerBlock, RowsPerPage);
  return ((Sheet.ColCount() + ColsPerBlock - 1) / ColsPerBlock) *
         ((Sheet.RowCount() + RowsPerPage - 1) / RowsPerPage);
}

void LayoutSheetPages(const TXlsxSheet& Sheet, TPdfWriter& Writer) {
  if (Sheet.RowCount() == 0 || Sheet.ColCount() == 0) {
    std::string Content = "BT /F1 12 Tf 1 0 0 1 " + PdfNum(kPage.LeftMargin) + " " +
                          PdfNum(kPage.PageHeight - kPage.TopMargin) + " Tm (" +
                          PdfEscapeText(Sheet.Name) + " - empty worksheet) Tj ET";
    Writer.AddPage(Content, kPage.PageWidth, kPage.PageHeight);
    return;
  }
  int ColsPerBlock = 0, RowsPerPage = 0;
  BlockSizes(Sheet, ColsPerBlock, RowsPerPage);

  for (int FirstCol = 0; FirstCol < Sheet.ColCount(); FirstCol += ColsPerBlock) {
    const int LastCol = std::min(FirstCol + ColsPerBlock - 1, Sheet.ColCount() - 1);
    const int BlockCols = LastCol - FirstCol + 1;
    const std::vector<double> Widths(size_t(BlockCols),
                                     std::min(kUsableWidth / BlockCols, kMaxColWidth));
    for (int FirstRow = 0; FirstRow < Sheet.RowCount(); FirstRow += RowsPerPage) {
      const int LastRow = std::min(FirstRow + RowsPerPage - 1, Sheet.RowCount() - 1);
      const std::string Title =
          PageTitle(Sheet, ColsPerBlock, RowsPerPage, FirstCol, LastCol, FirstRow, LastRow);
      Writer.AddPage(
          BuildTablePageContent(Sheet, FirstRow, LastRow, FirstCol, LastCol, Widths, kPage, Title),
          kPage.PageWidth, kPage.PageHeight);
    }
  }
}

void ExportPdf(const TSheetList& Sheets, const std::string& OutputFileName) {
  int Pages = 0;
  for (const TXlsxSheet* Sheet : Sheets) Pages += SheetPageCount(*Sheet);
  WriteFileInPieces(OutputFileName, [&](TTextSink& Out) {
    TPdfWriter Writer([&Out](std::string_view Piece) { Out.Put(Piece); }, Pages);
    for (const TXlsxSheet* Sheet : Sheets) LayoutSheetPages(*Sheet, Writer);
    Writer.Finish();
  });
}

}  // namespace kv
