#include "import/GridfoldImporter.h"

#include <functional>
#include <memory>

#include "base/Ansi.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "workbook/Workbook.h"

namespace kv {

const char* const kGridObjectPrefix = "ExcelGrid_";
const char* const kRectangleRecordPrefix = "ObjectType=5\r\nName=ExcelGrid_";
const char* const kOpenActionPrefix = "PgEnterAction=kvGridfoldOpen \"";
const char* const kCloseActionPrefix = "PgExitAction=kvGridfoldClose \"";

namespace {

const char* const kCrLf = "\r\n";
// Marks the odd last byte of a UTF-16 file, carried after it as two
// hexadecimal digits. Text from the file is UTF-8, which never holds 0xFF;
// the byte goes back at the file's end.
const char kOddByteMark = '\xFF';
const char* const kHexDigits = "0123456789ABCDEF";

// Hands every line, trimmed, to Fn until it answers false. A line ends at the
// next CR or LF, so files whose line ends are mixed scan line by line too.
void ForEachTrimmedLine(std::string_view Text, const std::function<bool(std::string_view)>& Fn) {
  size_t Pos = 0;
  while (Pos < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Pos);
    if (End == std::string_view::npos) End = Text.size();
    std::string Line = Trim(Text.substr(Pos, End - Pos));
    if (!Fn(Line)) return;
    Pos = End;
    while (Pos < Text.size() && (Text[Pos] == '\r' || Text[Pos] == '\n')) ++Pos;
  }
}

std::string RemoveQuotes(std::string_view S) {
  return ReplaceAll(S, "\"", "");
}

// The largest number after "Name=ExcelGrid_" (numbers beyond 32 bits count as
// 0), or 0 when there is none.
int64_t LargestGridNumber(std::string_view Text) {
  const std::string Prefix = std::string("Name=") + kGridObjectPrefix;
  int64_t Max = 0;
  ForEachTrimmedLine(Text, [&](std::string_view Line) {
    if (!StartsWithAscii(Line, Prefix)) return true;
    size_t I = Prefix.size(), Start = I;
    while (I < Line.size() && Line[I] >= '0' && Line[I] <= '9') ++I;
    if (I > Start) Max = std::max<int64_t>(Max, ParseInt32Or(Line.substr(Start, I - Start), 0));
    return true;
  });
  return Max;
}

// The Open action trims its sheet parameter, takes a positive number as a
// position and otherwise looks the name up. Action parameters reach it as
// ANSI text whatever the publication's encoding, so a name it would not find
// as written (empty, quotes removed, blanks at its ends, digits only,
// characters the ANSI code page lacks) becomes the sheet's 1-based number,
// and the page never silently shows another sheet. Why goes into Reason.
std::string SheetParameterFor(const std::string& SheetName, int Index, std::string& Reason) {
  std::string Param = RemoveQuotes(SheetName);
  bool Lossless = true;
  Utf8ToAnsi(Param, &Lossless);
  if (SheetName.empty())
    Reason = "the sheet's name is empty";
  else if (!Lossless)
    Reason = "the sheet's name cannot be written in the ANSI code page";
  else if (Param != SheetName)
    Reason = "the sheet's name holds double quotes";
  else if (Trim(Param) != Param)
    Reason = "the sheet's name begins or ends with blanks";
  else if (TryParseInt32(Param).value_or(0) > 0)
    Reason = "the sheet's name would be read as a sheet number";
  else
    return Param;
  return std::to_string(Index + 1);
}

// The workbook reference goes into the Open action as one quoted ANSI
// parameter: question marks or a quote in it would name no file, and every
// new page would fail to open.
void CheckWorkbookReference(const std::string& WorkbookRef) {
  bool Lossless = true;
  Utf8ToAnsi(WorkbookRef, &Lossless);
  if (!Lossless)
    throw TKvError("The workbook's path cannot be written in the ANSI code page: " + WorkbookRef);
  if (WorkbookRef.find('"') != std::string::npos)
    throw TKvError(
        "The workbook's path contains a double quote, which a page action cannot hold; rename "
        "the file or its folder: " +
        WorkbookRef);
}

// UTF-16 text with unpaired surrogates: they travel inside as three-byte
// sequences (ED A0..BF xx, which valid UTF-8 never holds), so a damaged
// character in the user's pages is written back as it was read.
std::string Utf16UnitsToText(std::u16string_view Units) {
  std::string R;
  R.reserve(Units.size());
  size_t Run = 0;
  for (size_t I = 0; I < Units.size(); ++I) {
    const char16_t U = Units[I];
    if (U >= 0xD800 && U <= 0xDBFF && I + 1 < Units.size() && Units[I + 1] >= 0xDC00 &&
        Units[I + 1] <= 0xDFFF) {
      ++I;
      continue;
    }
    if (U < 0xD800 || U > 0xDFFF) continue;
    R += Utf16ToUtf8(Units.substr(Run, I - Run));
    R += static_cast<char>(0xE0 | (U >> 12));
    R += static_cast<char>(0x80 | ((U >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (U & 0x3F));
    Run = I + 1;
  }
  return R + Utf16ToUtf8(Units.substr(Run));
}

std::u16string TextToUtf16Units(std::string_view Text) {
  std::u16string R;
  size_t Run = 0;
  for (size_t I = 0; I + 2 < Text.size(); ++I) {
    const auto B = [&Text](size_t K) { return static_cast<unsigned char>(Text[K]); };
    if (B(I) != 0xED || (B(I + 1) & 0xE0) != 0xA0 || (B(I + 2) & 0xC0) != 0x80) continue;
    R += Utf8ToUtf16(Text.substr(Run, I - Run));
    R += static_cast<char16_t>(0xD000 | ((B(I + 1) & 0x3F) << 6) | (B(I + 2) & 0x3F));
    I += 2;
    Run = I + 1;
  }
  return R + Utf8ToUtf16(Text.substr(Run));
}

void RequireMasterPage(std::string_view Text) {
  if (Text.find("MasterPage") == std::string_view::npos)
    throw TKvError("The target publication does not contain a MasterPage marker.");
}

}  // namespace

std::string DecodePublicationBytes(std::string_view Bytes, TPubEncoding* Encoding) {
  if (Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    if (Encoding) *Encoding = TPubEncoding::Utf8Bom;
    return std::string(Bytes.substr(3));
  }
  if (Bytes.size() >= 2 && Bytes[0] == '\xFF' && Bytes[1] == '\xFE') {
    if (Encoding) *Encoding = TPubEncoding::Utf16LeBom;
    std::u16string Units;
    Units.reserve(Bytes.size() / 2);
    for (size_t I = 2; I + 1 < Bytes.size(); I += 2)
      Units += static_cast<char16_t>(static_cast<unsigned char>(Bytes[I]) |
                                     (static_cast<unsigned char>(Bytes[I + 1]) << 8));
    std::string Text = Utf16UnitsToText(Units);
    if (Bytes.size() % 2 != 0) {
      // In hexadecimal: the raw byte could read as a line break.
      const auto Byte = static_cast<unsigned char>(Bytes.back());
      (Text += kOddByteMark) += {kHexDigits[Byte >> 4], kHexDigits[Byte & 15]};
    }
    return Text;
  }
  if (Encoding) *Encoding = TPubEncoding::Ansi;
  return AnsiToUtf8(Bytes);
}

std::string EncodePublicationText(std::string_view Text, TPubEncoding Encoding) {
  switch (Encoding) {
    case TPubEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + std::string(Text);
    case TPubEncoding::Utf16LeBom: {
      std::string Units(Text), Odd;
      const size_t Mark = Units.find(kOddByteMark);
      if (Mark != std::string::npos && Mark + 2 < Units.size()) {
        Odd = std::string(1, static_cast<char>(HexDigitValue(Units[Mark + 1]) * 16 +
                                               HexDigitValue(Units[Mark + 2])));
        Units.erase(Mark, 3);
      }
      std::string Out = "\xFF\xFE";
      for (char16_t U : TextToUtf16Units(Units)) {
        Out += static_cast<char>(U & 0xFF);
        Out += static_cast<char>(U >> 8);
      }
      return Out + Odd;
    }
    case TPubEncoding::Ansi:
      break;
  }
  return Utf8ToAnsi(Text);
}

std::string ReadPublicationText(const std::string& FileName, TPubEncoding* Encoding) {
  return DecodePublicationBytes(ReadWholeFile(FileName, TShareMode::DenyWrite), Encoding);
}

void WritePublicationText(const std::string& FileName, std::string_view Text,
                          TPubEncoding Encoding) {
  WriteWholeFile(FileName, EncodePublicationText(Text, Encoding));
}

int32_t CountPublicationPages(std::string_view Text) {
  int32_t Count = 0;
  ForEachTrimmedLine(Text, [&Count](std::string_view Line) {
    if (StartsWithAscii(Line, "NewPage=")) ++Count;
    return true;
  });
  return Count;
}

int32_t CountOccurrences(std::string_view Text, std::string_view What) {
  if (What.empty()) return 0;
  int32_t Count = 0;
  for (size_t At = Text.find(What); At != std::string_view::npos;
       At = Text.find(What, At + What.size()))
    ++Count;
  return Count;
}

bool PublicationHasPage(std::string_view Text, std::string_view PageName) {
  const std::string Wanted = "NewPage=" + std::string(PageName);
  bool Found = false;
  ForEachTrimmedLine(Text, [&](std::string_view Line) {
    Found = SameTextAscii(Line, Wanted);
    return !Found;
  });
  return Found;
}

int32_t ReadPublicationInteger(std::string_view Text, std::string_view Key, int32_t Default) {
  const std::string Prefix = std::string(Key) + "=";
  int32_t Value = Default;
  ForEachTrimmedLine(Text, [&](std::string_view Line) {
    if (!StartsWithAscii(Line, Prefix)) return true;
    Value = ParseInt32Or(Trim(Line.substr(Prefix.size())), Default);
    return false;
  });
  return Value;
}

int32_t NextGridNumber(std::string_view Text) {
  return static_cast<int32_t>(std::min<int64_t>(LargestGridNumber(Text) + 1, INT32_MAX));
}

std::string InsertAfterMasterPage(std::string_view Text, std::string_view Insertion) {
  size_t Marker = Text.find("MasterPage");
  if (Marker == std::string_view::npos) Marker = Text.size();
  // The master page's block runs from the marker's line to the next page line;
  // the new pages go there, so every line the master page holds stays its own
  // (the marker may well be the block's own "NewPage=MasterPage" line).
  size_t Pos = Text.find_first_of("\r\n", std::min(Text.size(), Marker + 10));
  size_t HeadEnd = Text.size();
  while (Pos < Text.size()) {
    while (Pos < Text.size() && (Text[Pos] == '\r' || Text[Pos] == '\n')) ++Pos;
    size_t End = Text.find_first_of("\r\n", Pos);
    if (End == std::string_view::npos) End = Text.size();
    if (StartsWithAscii(Trim(Text.substr(Pos, End - Pos)), "NewPage=")) {
      HeadEnd = Pos;
      break;
    }
    Pos = End;
  }
  std::string Result(Text.substr(0, HeadEnd));
  if (!Result.empty() && Result.back() != '\n' && Result.back() != '\r') Result += kCrLf;
  Result += Insertion;
  if (!Insertion.empty() &&
      !(Insertion.size() >= 2 && Insertion.substr(Insertion.size() - 2) == kCrLf))
    Result += kCrLf;
  Result += Text.substr(HeadEnd);
  return Result;
}

std::vector<int> SelectSheets(const std::vector<std::string>& SheetNames,
                              std::string_view SheetList) {
  std::vector<int> Selected;
  const std::vector<std::string> Items = ParseSheetList(SheetList);
  std::vector<bool> Chosen(SheetNames.size(), Items.empty());
  for (const std::string& Item : Items) {
    bool Exact = false;
    for (size_t I = 0; I < SheetNames.size(); ++I)
      if (SameTextAscii(Item, SheetNames[I])) Chosen[I] = Exact = true;
    // Items are trimmed and names are not: " Padded" is picked by "Padded".
    if (!Exact)
      for (size_t I = 0; I < SheetNames.size(); ++I)
        if (SameTextAscii(Item, Trim(SheetNames[I]))) Chosen[I] = true;
  }
  for (size_t I = 0; I < SheetNames.size(); ++I)
    if (Chosen[I]) Selected.push_back(static_cast<int>(I));
  return Selected;
}

bool IsSheetSelected(std::string_view SheetName, std::string_view SheetList) {
  if (SelectsAllSheets(SheetList)) return true;
  for (const std::string& Item : ParseSheetList(SheetList))
    if (SameTextAscii(Item, SheetName)) return true;
  return false;
}

std::string MakePageName(std::string_view SheetName) {
  if (SheetName.empty()) return "Sheet";
  // One "_" per UTF-16 code unit, so the name keeps the length a Windows
  // program sees.
  std::string Name;
  for (char16_t U : Utf8ToUtf16(SheetName)) {
    bool Keep =
        (U >= 'A' && U <= 'Z') || (U >= 'a' && U <= 'z') || (U >= '0' && U <= '9') || U == '_';
    Name += Keep ? static_cast<char>(U) : '_';
  }
  return Name;
}

std::string MakeUniquePageName(std::string_view Text, const std::string& BaseName) {
  if (!PublicationHasPage(Text, BaseName)) return BaseName;
  for (int N = 2;; ++N) {
    std::string Candidate = BaseName + "_" + std::to_string(N);
    if (!PublicationHasPage(Text, Candidate)) return Candidate;
  }
}

std::string MakeWorkbookReference(const std::string& WorkbookPath, const std::string& PubPath) {
  const std::string Book = FullPath(WorkbookPath);
  const std::string BookDir = ExtractFileDir(Book);
  const std::string PubDir = ExtractFileDir(FullPath(PubPath));
  if (SamePath(BookDir, PubDir)) return "[PubDir]" + ExtractFileName(Book);
  return Book;
}

void AppendGridPage(std::string& Buffer, const std::string& PageName, int32_t GridNumber,
                    int32_t ScreenWidth, int32_t ScreenHeight, const std::string& WorkbookRef,
                    const std::string& SheetParam) {
  const std::string Object = kGridObjectPrefix + std::to_string(GridNumber);
  auto Line = [&Buffer](const std::string& L) { Buffer += L + kCrLf; };
  Line("NewPage=" + PageName);
  Line("PageStyle=0");
  Line("PageColor=16777215");
  Line("PageGradient1=0");
  Line("PageGradient2=0");
  Line("PageGradientDir=1");
  Line("WallpaperStyle=0");
  Line("EffectSpeed=5");
  Line(kOpenActionPrefix + Object + "\" \"" + WorkbookRef + "\" \"" + SheetParam +
       "\" \"Page\" \"Yes\"");
  Line(kCloseActionPrefix + Object + "\"");
  Line("ObjectType=5");
  Line("Name=" + Object);
  Line("X=4");
  Line("Y=4");
  // In 64 bits: a publication may give any 32-bit screen size.
  Line("W=" + std::to_string(std::max<int64_t>(int64_t{ScreenWidth} - 8, 1)));
  Line("H=" + std::to_string(std::max<int64_t>(int64_t{ScreenHeight} - 8, 1)));
  Line("Anchor=0");
  Line("LineColor=0");
  Line("LineWidth=0");
  Line("LineStyle=0");
  Line("FillColor=16777215");
  Line("FillPattern=0");
  Line("TabOrder=1");
}

void VerifyImportedPublication(std::string_view Text, int32_t FirstGrid, int32_t ImportedPages,
                               int32_t ExistingPages) {
  const std::string Failed = "kvGridfold verification failed: ";
  const int32_t Found = CountPublicationPages(Text);
  const int32_t Expected = ExistingPages + ImportedPages;
  if (Found < Expected)
    throw TKvError(Failed + "expected at least " + std::to_string(Expected) + " pages, found " +
                   std::to_string(Found) + ".");
  if (Text.find("MasterPage") == std::string_view::npos)
    throw TKvError(Failed + "MasterPage marker disappeared.");
  for (int32_t K = 0; K < ImportedPages; ++K) {
    const std::string Number = std::to_string(FirstGrid + K);
    const std::string Name = kGridObjectPrefix + Number;
    if (Text.find(kRectangleRecordPrefix + Number + kCrLf) == std::string_view::npos)
      throw TKvError(Failed + "missing Rectangle " + Name);
    const std::string Enter = kOpenActionPrefix + Name + "\"";
    const size_t EnterAt = Text.find(Enter);
    if (EnterAt == std::string_view::npos)
      throw TKvError(Failed + "missing PgEnterAction for " + Name);
    if (Text.find(kCloseActionPrefix + Name + "\"") == std::string_view::npos)
      throw TKvError(Failed + "missing PgExitAction for " + Name);
    size_t LineEnd = Text.find(kCrLf, EnterAt);
    std::string_view EnterLine = Text.substr(
        EnterAt, LineEnd == std::string_view::npos ? std::string_view::npos : LineEnd - EnterAt);
    if (EnterLine.find("\"Page\" \"Yes\"") == std::string_view::npos)
      throw TKvError(Failed + "page for " + Name +
                     " does not request the action toolbar (ShowActionToolbar=\"Yes\").");
    if (Text.find("\r\nPgEnterAction=\r\n") != std::string_view::npos)
      throw TKvError(Failed + "blank PgEnterAction record found.");
    if (Text.find("\r\nPgExitAction=\r\n") != std::string_view::npos)
      throw TKvError(Failed + "blank PgExitAction record found.");
  }
}

bool WriteDiagnosticReport(const std::string& PubPath, int32_t ExistingPages, int32_t ImportedPages,
                           int32_t FirstGrid, std::string_view Text,
                           const std::vector<std::string>& Notes) {
  try {
    std::string R;
    auto Line = [&R](const std::string& L) { R += L + kCrLf; };
    Line("kvGridfold publication verification");
    Line("Target=" + PubPath);
    Line("ExistingPages=" + std::to_string(ExistingPages));
    Line("ImportedPages=" + std::to_string(ImportedPages));
    Line("FirstGrid=" + std::to_string(FirstGrid));
    Line("FinalPages=" + std::to_string(CountPublicationPages(Text)));
    Line("PageActions=" + std::to_string(ImportedPages));
    Line("PageLeaveActions=" + std::to_string(ImportedPages));
    Line("Rectangles=" + std::to_string(ImportedPages));
    Line("Verification=PASSED");
    for (const std::string& N : Notes) Line(N);
    // Through a temporary file: a report that fails part way keeps the older one whole.
    WriteFileAtomically(PubPath + ".kvdiag.txt", EncodePublicationText(R, TPubEncoding::Ansi));
    return true;
  } catch (...) {
    // The import has succeeded; a report that cannot be written changes nothing.
    return false;
  }
}

TImportedPublication BuildImportedPublication(std::string_view Text, const TXlsxWorkbook& Book,
                                              const std::string& WorkbookRef,
                                              std::string_view SheetList) {
  RequireMasterPage(Text);
  const int32_t ScreenWidth = ReadPublicationInteger(Text, "ScreenWidth", 800);
  const int32_t ScreenHeight = ReadPublicationInteger(Text, "ScreenHeight", 600);
  std::vector<std::string> Names;
  for (int I = 0; I < Book.SheetCount(); ++I) Names.push_back(Book.SheetName(I));
  const std::vector<int> Selected = SelectSheets(Names, SheetList);
  if (Selected.empty())
    throw TKvError("None of the requested worksheets were found in the workbook.");
  // A page whose sheet cannot be read would only ever show an error.
  for (int I : Selected) (void)Book.Sheet(I);
  // Numbers past the largest 32-bit value would repeat an existing Rectangle's name.
  if (LargestGridNumber(Text) + static_cast<int64_t>(Selected.size()) > INT32_MAX)
    throw TKvError("The publication has no grid numbers left for new pages (" +
                   std::string(kGridObjectPrefix) + std::to_string(INT32_MAX) + " is taken).");

  TImportedPublication Result;
  Result.FirstGrid = NextGridNumber(Text);
  Result.ImportedPages = static_cast<int32_t>(Selected.size());
  std::string Buffer;
  Buffer.reserve(65536);
  std::string Chosen;  // "NewPage=" lines of the names chosen so far
  for (size_t K = 0; K < Selected.size(); ++K) {
    const std::string& SheetName = Book.SheetName(Selected[K]);
    const std::string PageName =
        MakeUniquePageName(std::string(Text) + Chosen, MakePageName(SheetName));
    Chosen += "\r\nNewPage=" + PageName + "\r\n";
    std::string Reason;
    const std::string SheetParam = SheetParameterFor(SheetName, Selected[K], Reason);
    if (!Reason.empty())
      Result.Notes.push_back("SheetByNumber=" + SheetParam + " (" + Reason + ")");
    AppendGridPage(Buffer, PageName, Result.FirstGrid + static_cast<int32_t>(K), ScreenWidth,
                   ScreenHeight, WorkbookRef, SheetParam);
  }
  Result.Text = InsertAfterMasterPage(Text, Buffer);
  return Result;
}

TImportResult ImportWorkbookToFolivantPages(const std::string& WorkbookPath,
                                            const std::string& SheetList,
                                            const std::string& PubPath) {
  if (!FileExists(WorkbookPath)) throw TKvError("Excel file not found: " + WorkbookPath);
  if (!FileExists(PubPath)) throw TKvError("Target Folivant publication not found: " + PubPath);
  const std::string PubFull = FullPath(PubPath);
  if (SamePath(FullPath(WorkbookPath), PubFull))
    throw TKvError("The Excel workbook and Folivant publication must be different files.");

  TPubEncoding Encoding = TPubEncoding::Ansi;
  const std::string Text = ReadPublicationText(PubPath, &Encoding);
  const int32_t ExistingPages = CountPublicationPages(Text);
  // Before the workbook is loaded: a publication that cannot take pages is the first error.
  RequireMasterPage(Text);
  TImportedPublication Built;
  {
    auto Book = std::make_unique<TXlsxWorkbook>();
    Book->LoadFromFile(WorkbookPath);
    const std::string WorkbookRef = MakeWorkbookReference(WorkbookPath, PubPath);
    CheckWorkbookReference(WorkbookRef);
    Built = BuildImportedPublication(Text, *Book, WorkbookRef, SheetList);
  }
  VerifyImportedPublication(Built.Text, Built.FirstGrid, Built.ImportedPages, ExistingPages);

  // The temporary file lies in the publication's folder under a short name
  // ending in ".kvtmp"; it is flushed and moved over the publication in one step.
  TAtomicFileWriter Writer(PubFull, ".kvtmp");
  Writer.Write(EncodePublicationText(Built.Text, Encoding));
  std::string SystemMessage;
  if (!Writer.TryCommit(SystemMessage))
    throw TKvError("Unable to replace target publication: " + SystemMessage);
  TImportResult Result;
  Result.FirstGrid = Built.FirstGrid;
  Result.ImportedPages = Built.ImportedPages;
  Result.RectangleRecords = CountOccurrences(Built.Text, kRectangleRecordPrefix);
  Result.OpenActions = CountOccurrences(Built.Text, kOpenActionPrefix);
  Result.CloseActions = CountOccurrences(Built.Text, kCloseActionPrefix);
  if (WriteDiagnosticReport(PubPath, ExistingPages, Result.ImportedPages, Built.FirstGrid,
                            Built.Text, Built.Notes))
    Result.ReportPath = PubPath + ".kvdiag.txt";
  return Result;
}

}  // namespace kv
