#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "base/Files.h"
#include "base/Text.h"
#include "export/XlsxExporter.h"

namespace kv {

namespace {

constexpr double kPageWidth = 792;
constexpr double kPageHeight = 612;
constexpr double kMargin = 30;
constexpr double kUsableWidth = 732;
constexpr double kUsableHeight = 552;
constexpr double kTitleReserve = 24;
constexpr double kRowHeight = 12;
constexpr double kFontSize = 7;
constexpr double kMaxColWidth = 140;
constexpr double kMinColWidth = 42;
constexpr double kTextInset = 3;
constexpr double kCharWidthFactor = 0.55;

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
  if (Sheet.ColCount > ColsPerBlock)
    Title +=
        " (columns " + ColumnIndexToLetters(FirstCol) + "-" + ColumnIndexToLetters(LastCol) + ")";
  if (Sheet.RowCount > RowsPerPage)
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
  FFontObjNum = AddObject(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding "
      "/WinAnsiEncoding >>");
  FPagesObjNum = AddObject(std::string());
  FCatalogObjNum =
      AddObject("<< /Type /Catalog /Pages " + std::to_string(FPagesObjNum) + " 0 R >>");
}

int TPdfWriter::AddObject(std::string Body) {
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

namespace {

void EmitPdf(const std::vector<std::string>& Objects, int CatalogObjNum,
             const std::function<void(std::string_view)>& Emit) {
  uint64_t Offset = 0;
  auto Put = [&](std::string_view S) {
    Emit(S);
    Offset += S.size();
  };
  std::vector<uint64_t> Offsets;
  Offsets.reserve(Objects.size());
  Put("%PDF-1.4\n");
  for (size_t I = 0; I < Objects.size(); ++I) {
    Offsets.push_back(Offset);
    Put(std::to_string(I + 1) + " 0 obj\n");
    Put(Objects[I]);
    Put("\nendobj\n");
  }
  const uint64_t XrefOffset = Offset;
  std::string Tail = "xref\n0 " + std::to_string(Objects.size() + 1) + "\n";
  Tail.reserve(Tail.size() + 20 * (Objects.size() + 1) + 128);
  Tail += "0000000000 65535 f\r\n";
  for (uint64_t At : Offsets) {
    AppendPdfInt(Tail, (long long)At, 10);
    Tail += " 00000 n\r\n";
  }
  Tail += "trailer\n<< /Size " + std::to_string(Objects.size() + 1) + " /Root " +
          std::to_string(CatalogObjNum) + " 0 R >>\nstartxref\n" + std::to_string(XrefOffset) +
          "\n%%EOF";
  Put(Tail);
}

}  // namespace

std::string TPdfWriter::FileBytes() {
  std::string Kids;
  for (int N : FPageObjNums) Kids += std::to_string(N) + " 0 R ";
  FObjects[size_t(FPagesObjNum) - 1] =
      "<< /Type /Pages /Kids [ " + Kids + "] /Count " + std::to_string(FPageObjNums.size()) + " >>";
  size_t Total = 1024;
  for (const std::string& O : FObjects) Total += O.size() + 40;
  std::string Out;
  Out.reserve(Total);
  EmitPdf(FObjects, FCatalogObjNum, [&](std::string_view S) { Out.append(S); });
  return Out;
}

void TPdfWriter::SaveToFile(const std::string& FileName) {
  WriteFileAtomically(FileName, FileBytes());
}

std::string BuildTablePageContent(const TXlsxSheet& Sheet, int FirstRow, int LastRow, int FirstCol,
                                  int LastCol, const std::vector<double>& Widths,
                                  double /*PageWidth*/, double PageHeight, double LeftMargin,
                                  double TopMargin, double FontSize, double RowHeight,
                                  std::string_view Title) {
  const int Cols = LastCol - FirstCol + 1;
  const int Rows = LastRow - FirstRow + 1;
  const double X0 = LeftMargin;
  double XR = X0;
  for (int C = 0; C < Cols; ++C) XR += Widths[size_t(C)];
  const double YT = PageHeight - TopMargin;
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
  std::vector<size_t> MaxChars(size_t(Cols), 1);
  for (int C = 0; C < Cols; ++C)
    MaxChars[size_t(C)] =
        std::max<size_t>(1, size_t(std::floor(Widths[size_t(C)] / (kCharWidthFactor * FontSize))));
  for (int K = 1; K <= Rows; ++K) {
    Y = Top - K * RowHeight - 0.7 * RowHeight;
    X = X0 + kTextInset;
    for (int C = 0; C < Cols; ++C) {
      std::string_view Text = Sheet.Cell(FirstRow + K - 1, FirstCol + C);
      std::string Cut;
      if (Text.size() > MaxChars[size_t(C)] && Utf16Length(Text) > MaxChars[size_t(C)]) {
        Cut = Utf16Prefix(Text, MaxChars[size_t(C)]);
        Text = Cut;
      }
      AppendShowText(Out, X, Y, Text, true);
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

void LayoutSheetPages(const TXlsxSheet& Sheet, TPdfWriter& Writer) {
  if (Sheet.RowCount == 0 || Sheet.ColCount == 0) {
    std::string Content = "BT /F1 12 Tf 1 0 0 1 " + PdfNum(kMargin) + " " +
                          PdfNum(kPageHeight - kMargin) + " Tm (" + PdfEscapeText(Sheet.Name) +
                          " - empty worksheet) Tj ET";
    Writer.AddPage(Content, kPageWidth, kPageHeight);
    return;
  }
  const double W = std::min(kUsableWidth / Sheet.ColCount, kMaxColWidth);
  int ColsPerBlock = W >= kMinColWidth ? Sheet.ColCount : int(kUsableWidth / kMinColWidth);
  ColsPerBlock = std::min(std::max(ColsPerBlock, 1), Sheet.ColCount);
  const int RowsPerPage = std::max(1, int((kUsableHeight - kTitleReserve) / kRowHeight));

  for (int FirstCol = 0; FirstCol < Sheet.ColCount; FirstCol += ColsPerBlock) {
    const int LastCol = std::min(FirstCol + ColsPerBlock - 1, Sheet.ColCount - 1);
    const int BlockCols = LastCol - FirstCol + 1;
    const std::vector<double> Widths(size_t(BlockCols),
                                     std::min(kUsableWidth / BlockCols, kMaxColWidth));
    for (int FirstRow = 0; FirstRow < Sheet.RowCount; FirstRow += RowsPerPage) {
      const int LastRow = std::min(FirstRow + RowsPerPage - 1, Sheet.RowCount - 1);
      const std::string Title =
          PageTitle(Sheet, ColsPerBlock, RowsPerPage, FirstCol, LastCol, FirstRow, LastRow);
      Writer.AddPage(
          BuildTablePageContent(Sheet, FirstRow, LastRow, FirstCol, LastCol, Widths, kPageWidth,
                                kPageHeight, kMargin, kMargin, kFontSize, kRowHeight, Title),
          kPageWidth, kPageHeight);
    }
  }
}

void ExportPdf(const TSheetList& Sheets, const std::string& OutputFileName) {
  TPdfWriter Writer;
  for (const TXlsxSheet* Sheet : Sheets) LayoutSheetPages(*Sheet, Writer);
  Writer.SaveToFile(OutputFileName);
}

void ExportPdf(const TXlsxWorkbook& Workbook, int CurrentSheet, bool AllSheets,
               const std::string& OutputFileName) {
  ExportPdf(SelectSheets(Workbook, CurrentSheet, AllSheets), OutputFileName);
}

}  // namespace kv
