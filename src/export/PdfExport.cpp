#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "export/ExportSink.h"
#include "export/FontSource.h"
#include "export/PdfFonts.h"
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

// How many of the question marks in Shown (the Windows-1252 form of Text, or
// its start) stand for characters it could not hold.
int QuestionMarksAdded(std::string_view Text, std::string_view Shown) {
  const auto Marks = [](std::string_view S) { return int(std::count(S.begin(), S.end(), '?')); };
  return std::max(0, Marks(Shown) - Marks(Text));
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
  AddFixedObjects(std::string(), true);
}

TPdfWriter::TPdfWriter(std::function<void(std::string_view)> Sink, int PageCount,
                       TPdfFontSet* Fonts)
    : FSink(std::move(Sink)),
      FStreamed(true),
      FExpectedPages(PageCount),
      FFonts(Fonts && Fonts->Embeds() ? Fonts : nullptr) {
  // Pages come as content stream and page object pairs after the fixed
  // objects (Helvetica unless the fonts set the text, the page tree and the
  // catalog), so the page tree is known before the first page.
  const int Fixed = FFonts ? 2 : 3;
  std::vector<int> Pages;
  for (int K = 0; K < PageCount; ++K) Pages.push_back(Fixed + 2 + 2 * K);
  Put("%PDF-1.4\n");
  AddFixedObjects(PagesBody(Pages), !FFonts);
  if (FFonts) FResourcesObjNum = Fixed + 1 + 2 * PageCount;
}

void TPdfWriter::AddFixedObjects(std::string PagesBody, bool Helvetica) {
  if (Helvetica)
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
  const std::string Resources =
      FResourcesObjNum ? std::to_string(FResourcesObjNum) + " 0 R"
                       : "<< /Font << /F1 " + std::to_string(FFontObjNum) + " 0 R >> >>";
  const int Page =
      AddObject("<< /Type /Page /Parent " + std::to_string(FPagesObjNum) + " 0 R /MediaBox [0 0 " +
                PdfNum(PageWidth) + " " + PdfNum(PageHeight) + "] /Resources " + Resources +
                " /Contents " + std::to_string(ContentNum) + " 0 R >>");
  FPageObjNums.push_back(Page);
  return Page;
}

void TPdfWriter::Finish() {
  if (!FStreamed || FPageObjNums.size() != size_t(FExpectedPages))
    throw TKvError("The PDF writer was given " + std::to_string(FPageObjNums.size()) +
                   " pages instead of the " + std::to_string(FExpectedPages) + " announced.");
  if (FFonts) {
    AddObject(FFonts->ResourcesBody(FResourcesObjNum + 1));
    FFonts->WriteFonts(FResourcesObjNum + 1, [this](std::string Body) { return AddObject(Body); });
  }
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

namespace {

// Text's glyphs in Fonts at X Y, cut to Width points: "1 0 0 1 x y Tm", then
// the runs (a font change sets the font at Size).
struct TFontText {
  TFontText(TPdfFontSet& F, double Points) : Fonts(F), Size(PdfNum(Points)), FontSize(Points) {}
  TPdfFontSet& Fonts;
  std::string Size;
  double FontSize;
  int CurrentFont = -1;
  std::vector<TPdfGlyph> Glyphs;

  void Show(std::string& Out, double X, double Y, std::string_view Text, double Width,
            int& Unprintable) {
    bool Cut = false;
    Fonts.Fit(Text, Width, FontSize, Glyphs, Cut, Unprintable);
    Out += "1 0 0 1 ";
    AppendPdfNum(Out, X);
    Out += ' ';
    AppendPdfNum(Out, Y);
    Out += " Tm\n";
    Fonts.AppendShow(Out, Glyphs, Size, CurrentFont);
  }
};

// Opens a text object at FontSize: in Helvetica, or (Fonts given) with the
// font set by the first run.
void BeginText(std::string& Out, double FontSize, TPdfFontSet* Fonts) {
  Out += "BT\n";
  if (Fonts) return;
  Out += "/F1 ";
  AppendPdfNum(Out, FontSize);
  Out += " Tf\n";
}

}  // namespace

std::string BuildTablePageContent(const TXlsxSheet& Sheet, const std::vector<int32_t>& RowList,
                                  const std::vector<int32_t>& ColList,
                                  const std::vector<double>& Widths, const TPdfPageGeometry& Page,
                                  std::string_view Title, int* Unprintable, TPdfFontSet* Fonts) {
  if (Fonts && !Fonts->Embeds()) Fonts = nullptr;
  const double FontSize = Page.FontSize;
  const double RowHeight = Page.RowHeight;
  const int Cols = static_cast<int>(ColList.size());
  const int Rows = static_cast<int>(RowList.size());
  const double X0 = Page.LeftMargin;
  double XR = X0;
  for (int C = 0; C < Cols; ++C) XR += Widths[size_t(C)];
  const double YT = Page.PageHeight - Page.TopMargin;
  const double Top = YT - 0.6 * RowHeight;
  const double Bottom = Top - (Rows + 1) * RowHeight;
  int Ignored = 0, Counted = 0;

  std::string Out;
  Out.reserve(size_t(Rows + 1) * size_t(Cols) * 40 + 512);
  BeginText(Out, FontSize + 4, Fonts);
  if (Fonts)
    TFontText(*Fonts, FontSize + 4).Show(Out, X0, YT, Title, 1e9, Ignored);
  else
    AppendShowText(Out, X0, YT, Title, true);
  Out += "ET\n";

  BeginText(Out, FontSize, Fonts);
  std::optional<TFontText> Setter;
  if (Fonts) Setter.emplace(*Fonts, FontSize);
  double X = X0 + kTextInset;
  double Y = Top - 0.7 * RowHeight;
  for (int C = 0; C < Cols; ++C) {
    const std::string Letters = ColumnIndexToLetters(ColList[size_t(C)]);
    if (Setter)
      Setter->Show(Out, X, Y, Letters, 1e9, Ignored);
    else
      AppendShowText(Out, X, Y, Letters, false);
    X += Widths[size_t(C)];
  }
  // Only the start of a long text can show: the narrowest glyph is 191
  // thousandths of an em in Helvetica (a tenth of an em is allowed for other
  // fonts), and 4 bytes a character hold more than fit.
  const double Narrowest = Fonts ? 100 : 191;
  std::vector<size_t> MaxBytes(size_t(Cols), 4);
  for (int C = 0; C < Cols; ++C)
    MaxBytes[size_t(C)] =
        4 * (size_t(std::max(0.0, Widths[size_t(C)]) * 1000 / (Narrowest * FontSize)) + 2);
  std::string Line, Bytes, Fitted;
  for (int K = 1; K <= Rows; ++K) {
    Y = Top - K * RowHeight - 0.7 * RowHeight;
    X = X0 + kTextInset;
    for (int C = 0; C < Cols; ++C) {
      std::string_view Text = Sheet.Cell(RowList[size_t(K - 1)], ColList[size_t(C)]);
      Text = OneLine(Text.substr(0, MaxBytes[size_t(C)]), Line);
      // Between the inset and the same inset before the column's right rule.
      const double Room = Widths[size_t(C)] - 2 * kTextInset;
      if (Setter) {
        Setter->Show(Out, X, Y, Text, Room, Counted);
      } else {
        bool Cut = false;
        const std::string_view Shown =
            FitHelvetica(ToWindows1252(Text, Bytes), Room, FontSize, Fitted, Cut);
        AppendShowBytes(Out, X, Y, Shown);
        if (Shown.data() != Text.data()) Counted += QuestionMarksAdded(Text, Shown);
      }
      X += Widths[size_t(C)];
    }
  }
  Out += "ET\n";
  if (Unprintable) *Unprintable += Counted;

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

// The shown columns' count, and how many of them go on a page, and rows a page.
void BlockSizes(const TXlsxSheet& Sheet, int& ShownCols, int& ColsPerBlock, int& RowsPerPage) {
  ShownCols = Sheet.HiddenCols.ShownCount(Sheet.ColCount());
  const double W = std::min(kUsableWidth / std::max(ShownCols, 1), kMaxColWidth);
  ColsPerBlock = W >= kMinColWidth ? ShownCols : int(kUsableWidth / kMinColWidth);
  ColsPerBlock = std::min(std::max(ColsPerBlock, 1), std::max(ShownCols, 1));
  RowsPerPage = std::max(1, int((kUsableHeight - kTitleReserve) / kPage.RowHeight));
}

// Up to Count shown lines from At on (At moves past them).
std::vector<int32_t> NextShown(const THiddenLines& Hidden, int32_t& At, int32_t End, int Count) {
  std::vector<int32_t> Lines;
  for (At = Hidden.NextShown(At); At < End && int(Lines.size()) < Count;
       At = Hidden.NextShown(At + 1))
    Lines.push_back(At);
  return Lines;
}

std::string PageTitle(const TXlsxSheet& Sheet, bool ColumnBlocks, bool RowBlocks,
                      const std::vector<int32_t>& Rows, const std::vector<int32_t>& Cols) {
  std::string Title = Sheet.Name;
  if (ColumnBlocks)
    Title += " (columns " + ColumnIndexToLetters(Cols.front()) + "-" +
             ColumnIndexToLetters(Cols.back()) + ")";
  if (RowBlocks)
    Title +=
        " [rows " + std::to_string(Rows.front() + 1) + "-" + std::to_string(Rows.back() + 1) + "]";
  return Title;
}

std::string EmptySheetContent(const std::string& Name, TPdfFontSet* Fonts) {
  const std::string Text = Name + " - empty worksheet";
  if (!Fonts)
    return "BT /F1 12 Tf 1 0 0 1 " + PdfNum(kPage.LeftMargin) + " " +
           PdfNum(kPage.PageHeight - kPage.TopMargin) + " Tm (" + PdfEscapeText(Text) + ") Tj ET";
  std::string Out = "BT\n";
  int Ignored = 0;
  TFontText(*Fonts, 12)
      .Show(Out, kPage.LeftMargin, kPage.PageHeight - kPage.TopMargin, Text, 1e9, Ignored);
  return Out + "ET";
}

}  // namespace

int SheetPageCount(const TXlsxSheet& Sheet) {
  const int ShownRows = Sheet.HiddenRows.ShownCount(Sheet.RowCount());
  int ShownCols = 0, ColsPerBlock = 0, RowsPerPage = 0;
  BlockSizes(Sheet, ShownCols, ColsPerBlock, RowsPerPage);
  if (ShownRows == 0 || ShownCols == 0) return 1;
  return ((ShownCols + ColsPerBlock - 1) / ColsPerBlock) *
         ((ShownRows + RowsPerPage - 1) / RowsPerPage);
}

// Hidden rows and columns are left out, as printing leaves them out.
void LayoutSheetPages(const TXlsxSheet& Sheet, TPdfWriter& Writer) {
  const int ShownRows = Sheet.HiddenRows.ShownCount(Sheet.RowCount());
  int ShownCols = 0, ColsPerBlock = 0, RowsPerPage = 0;
  BlockSizes(Sheet, ShownCols, ColsPerBlock, RowsPerPage);
  if (ShownRows == 0 || ShownCols == 0) {
    Writer.AddPage(EmptySheetContent(Sheet.Name, Writer.Fonts()), kPage.PageWidth,
                   kPage.PageHeight);
    return;
  }
  for (int32_t ColAt = 0;;) {
    const std::vector<int32_t> Cols =
        NextShown(Sheet.HiddenCols, ColAt, Sheet.ColCount(), ColsPerBlock);
    if (Cols.empty()) break;
    const std::vector<double> Widths(Cols.size(),
                                     std::min(kUsableWidth / double(Cols.size()), kMaxColWidth));
    for (int32_t RowAt = 0;;) {
      const std::vector<int32_t> Rows =
          NextShown(Sheet.HiddenRows, RowAt, Sheet.RowCount(), RowsPerPage);
      if (Rows.empty()) break;
      const std::string Title =
          PageTitle(Sheet, ShownCols > ColsPerBlock, ShownRows > RowsPerPage, Rows, Cols);
      int Unprintable = 0;
      Writer.AddPage(BuildTablePageContent(Sheet, Rows, Cols, Widths, kPage, Title, &Unprintable,
                                           Writer.Fonts()),
                     kPage.PageWidth, kPage.PageHeight);
      Writer.CountUnprintable(Unprintable);
    }
  }
}

int ExportPdf(const TSheetList& Sheets, const std::string& OutputFileName,
              const std::string& Font) {
  const std::unique_ptr<IFontSource> Source = MakeSystemFontSource(Font);
  return ExportPdfWithFonts(Sheets, OutputFileName, Source.get());
}

int ExportPdfWithFonts(const TSheetList& Sheets, const std::string& OutputFileName,
                       IFontSource* Source) {
  int Pages = 0, Unprintable = 0;
  for (const TXlsxSheet* Sheet : Sheets) Pages += SheetPageCount(*Sheet);
  TPdfFontSet Fonts(Source);
  WriteFileInPieces(OutputFileName, [&](TTextSink& Out) {
    TPdfWriter Writer([&Out](std::string_view Piece) { Out.Put(Piece); }, Pages, &Fonts);
    for (const TXlsxSheet* Sheet : Sheets) LayoutSheetPages(*Sheet, Writer);
    Writer.Finish();
    Unprintable = Writer.Unprintable();
  });
  return Unprintable;
}

}  // namespace kv
