#include "workbook/FormulaShift.h"

#include <string>

#include "workbook/CellNotation.h"

namespace kv {

namespace {

bool IsFormulaWordChar(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' ||
         C == '.' || C == '$' || C == '\\' || static_cast<unsigned char>(C) >= 0x80;
}

constexpr int32_t kLastColumn = kSheetCols - 1;  // XFD
constexpr int32_t kLastRow = kSheetRows;

// "$AB", "C": a column, maybe absolute. Index -1 when Word is not one.
int32_t ReadColumnPart(std::string_view Word, size_t& I, bool& Absolute) {
  Absolute = I < Word.size() && Word[I] == '$';
  size_t K = I + (Absolute ? 1 : 0), Start = K;
  while (K < Word.size() && K - Start < 4 &&
         ((Word[K] >= 'A' && Word[K] <= 'Z') || (Word[K] >= 'a' && Word[K] <= 'z')))
    ++K;
  if (K == Start || K - Start > 3) return -1;
  const int32_t Col = ColumnLettersToIndex(Word.substr(Start, K - Start));
  if (Col > kLastColumn) return -1;
  I = K;
  return Col;
}

// "$12", "7": a 1-based row, maybe absolute. 0 when Word is not one.
int32_t ReadRowPart(std::string_view Word, size_t& I, bool& Absolute) {
  Absolute = I < Word.size() && Word[I] == '$';
  size_t K = I + (Absolute ? 1 : 0), Start = K;
  int64_t Row = 0;
  while (K < Word.size() && Word[K] >= '0' && Word[K] <= '9' && K - Start < 8)
    Row = Row * 10 + (Word[K++] - '0');
  if (K == Start || Row < 1 || Row > kLastRow) return 0;
  I = K;
  return static_cast<int32_t>(Row);
}

// Appends a moved column or row part; false when it leaves the sheet.
bool AppendMovedColumn(std::string& Out, int32_t Col, bool Absolute, int32_t DCol) {
  const int64_t C = Absolute ? Col : int64_t{Col} + DCol;
  if (C < 0 || C > kLastColumn) return false;
  Out += (Absolute ? "$" : "") + ColumnIndexToLetters(static_cast<int32_t>(C));
  return true;
}

bool AppendMovedRow(std::string& Out, int32_t Row, bool Absolute, int32_t DRow) {
  const int64_t R = Absolute ? Row : int64_t{Row} + DRow;
  if (R < 1 || R > kLastRow) return false;
  Out += (Absolute ? "$" : "") + std::to_string(R);
  return true;
}

// One word of a formula as a moved reference: a cell ("$A1"), or a whole
// column or row when Part says so. False when Word is not that kind.
enum class TRefPart { Cell, Column, Row };
bool MoveReferenceWord(std::string_view Word, TRefPart Part, int32_t DRow, int32_t DCol,
                       std::string& Out) {
  size_t I = 0;
  bool ColAbs = false, RowAbs = false;
  int32_t Col = -1, Row = 0;
  if (Part != TRefPart::Row && (Col = ReadColumnPart(Word, I, ColAbs)) < 0) return false;
  if (Part != TRefPart::Column && (Row = ReadRowPart(Word, I, RowAbs)) == 0) return false;
  if (I != Word.size()) return false;
  std::string Moved;
  const bool Fits = (Part == TRefPart::Row || AppendMovedColumn(Moved, Col, ColAbs, DCol)) &&
                    (Part == TRefPart::Column || AppendMovedRow(Moved, Row, RowAbs, DRow));
  Out += Fits ? Moved : std::string("#REF!");
  return true;
}

// The position just past the literal opened by Text[I] (a quote or bracket).
size_t SkipLiteral(std::string_view Text, size_t I) {
  const char Open = Text[I];
  if (Open == '[') {
    int Depth = 0;
    for (size_t K = I; K < Text.size(); ++K) {
      if (Text[K] == '[') ++Depth;
      if (Text[K] == ']' && --Depth == 0) return K + 1;
    }
    return Text.size();
  }
  for (size_t K = I + 1; K < Text.size(); ++K)
    if (Text[K] == Open) {
      if (K + 1 < Text.size() && Text[K + 1] == Open) {
        ++K;  // a doubled quote stands for one
        continue;
      }
      return K + 1;
    }
  return Text.size();
}

}  // namespace

std::string ShiftFormulaReferences(std::string_view Formula, int32_t DRow, int32_t DCol) {
  std::string Out;
  Out.reserve(Formula.size() + 8);
  size_t I = 0;
  while (I < Formula.size()) {
    const char C = Formula[I];
    if (C == '"' || C == '\'' || C == '[') {
      const size_t End = SkipLiteral(Formula, I);
      Out.append(Formula.substr(I, End - I));
      I = End;
      continue;
    }
    if (!IsFormulaWordChar(C)) {
      Out += C;
      ++I;
      continue;
    }
    size_t End = I;
    while (End < Formula.size() && IsFormulaWordChar(Formula[End])) ++End;
    const std::string_view Word = Formula.substr(I, End - I);
    const char Next = End < Formula.size() ? Formula[End] : '\0';
    // Function and sheet names, and numbers such as 1E3, are not references.
    if (Next == '(' || Next == '!' || Next == '[') {
      Out.append(Word);
      I = End;
      continue;
    }
    // A whole-column or whole-row range moves as one: "A:C", "$2:5".
    if (Next == ':') {
      size_t End2 = End + 1;
      while (End2 < Formula.size() && IsFormulaWordChar(Formula[End2])) ++End2;
      const std::string_view Word2 = Formula.substr(End + 1, End2 - End - 1);
      for (TRefPart Part : {TRefPart::Column, TRefPart::Row}) {
        std::string A, B;
        if (MoveReferenceWord(Word, Part, DRow, DCol, A) &&
            MoveReferenceWord(Word2, Part, DRow, DCol, B)) {
          Out += A == "#REF!" || B == "#REF!" ? std::string("#REF!") : A + ":" + B;
          I = End2;
          break;
        }
      }
      if (I == End2) continue;
    }
    if (!MoveReferenceWord(Word, TRefPart::Cell, DRow, DCol, Out)) Out.append(Word);
    I = End;
  }
  return Out;
}

}  // namespace kv
