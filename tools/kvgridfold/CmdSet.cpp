// "set": edits cells of a workbook and saves it, through the recalculating
// service and the save the viewer uses: a value starting with "=" is a
// formula, one starting with an apostrophe text, and every formula an edit
// reaches is recomputed and saved with its new value.
#include <cstdio>
#include <string>
#include <vector>

#include "Cli.h"
#include "base/Error.h"
#include "base/Text.h"
#include "calc/RecalcService.h"
#include "workbook/Workbook.h"
#include "workbook/CellNotation.h"

namespace kv::cli {

namespace {

const char* const kUsage =
    "set BOOK.xlsx [-o OUT.xlsx] SHEET!REF=VALUE...    (SHEET: name or 1-based number)";

// The largest grid spreadsheet programs open: XFD1048576.
constexpr int32_t kMaxRow = kSheetRows - 1;
constexpr int32_t kMaxCol = kSheetCols - 1;

struct TAssignment {
  std::string Sheet;
  std::string Ref;
  int32_t Row = 0;
  int32_t Col = 0;
  std::string Value;
};

bool IsAsciiLetter(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

// Length of the strict A1 reference at the start of S ("B3=..." gives 2), or 0.
size_t A1RefLength(std::string_view S) {
  size_t I = 0;
  while (I < S.size() && IsAsciiLetter(S[I])) ++I;
  if (I == 0 || I > 3) return 0;
  size_t Digits = I;
  while (I < S.size() && IsDigit(S[I])) ++I;
  if (I == Digits || I - Digits > 7 || S[Digits] == '0') return 0;
  return I;
}

// SHEET!REF=VALUE. The sheet name may itself hold '!' or '=', so the split is
// at the first '!' that a reference and '=' follow; a name may be quoted as
// 'My Sheet' with '' for a quote inside it.
TAssignment ParseAssignment(const std::string& Arg) {
  for (size_t Bang = Arg.find('!'); Bang != std::string::npos; Bang = Arg.find('!', Bang + 1)) {
    std::string_view Rest = std::string_view(Arg).substr(Bang + 1);
    size_t Len = A1RefLength(Rest);
    if (Len == 0 || Len >= Rest.size() || Rest[Len] != '=') continue;
    TAssignment A;
    A.Sheet = Arg.substr(0, Bang);
    if (A.Sheet.size() >= 2 && A.Sheet.front() == '\'' && A.Sheet.back() == '\'')
      A.Sheet = ReplaceAll(A.Sheet.substr(1, A.Sheet.size() - 2), "''", "'");
    A.Ref = AsciiUpper(Rest.substr(0, Len));
    A.Value = std::string(Rest.substr(Len + 1));
    ParseCellRef(A.Ref, A.Col, A.Row);
    if (A.Sheet.empty()) break;
    if (A.Row < 0 || A.Row > kMaxRow || A.Col > kMaxCol)
      throw TKvError("Cell " + A.Ref + " lies outside the sheet (A1 to XFD1048576).");
    return A;
  }
  throw TKvError("Not a cell assignment: \"" + Arg +
                 "\" (expected SHEET!REF=VALUE, e.g. Sheet1!B3=12.5)");
}

// By name ignoring ASCII case first, then by 1-based number.
int FindSheet(const TXlsxWorkbook& Book, const std::string& NameOrNumber) {
  for (int I = 0; I < Book.SheetCount(); ++I)
    if (SameTextAscii(Book.SheetName(I), NameOrNumber)) return I;
  if (std::optional<int32_t> N = TryParseInt32(NameOrNumber);
      N && *N >= 1 && *N <= Book.SheetCount())
    return *N - 1;
  throw TKvError("No sheet \"" + NameOrNumber + "\" in this workbook.");
}

int CmdSet(const TArgs& Input) {
  TArgs Args = Input;
  std::string Out;
  bool HasOut = TakeOption(Args, "-o", Out);
  if (Args.size() < 2) UsageError(kUsage);
  std::vector<TAssignment> Edits;
  for (size_t I = 1; I < Args.size(); ++I) Edits.push_back(ParseAssignment(Args[I]));

  TXlsxWorkbook Book;
  Book.LoadFromFile(Args[0]);
  TRecalcService Service(Book);
  for (const TAssignment& A : Edits)
    Service.EditCell(FindSheet(Book, A.Sheet), A.Row, A.Col, A.Value);
  const std::string& Target = HasOut ? Out : Args[0];
  Book.SaveToFile(Target);
  std::printf("%s: %zu cell%s set\n", Target.c_str(), Edits.size(), Edits.size() == 1 ? "" : "s");
  return 0;
}

const TCliCommand RegSet("set", kUsage, CmdSet);

}  // namespace

}  // namespace kv::cli
