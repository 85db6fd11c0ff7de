#include "workbook/XlsxWriter.h"

#include <cstdio>

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/WorkbookImpl.h"
#include "workbook/XlsxReader.h"
#include "workbook/ZipWriter.h"

namespace kv {

namespace {

bool IsElementNamed(pugi::xml_node Node, const char* Local) {
  return Node.type() == pugi::node_element && SameTextAscii(LocalName(Node.name()), Local);
}

// Entries the package holds in a form any reader takes are copied as stored.
bool CanCopyAsStored(const TZipEntry& Entry) {
  return !Entry.IsEncrypted() && (Entry.Method == static_cast<uint16_t>(TZipMethod::Stored) ||
                                  Entry.Method == static_cast<uint16_t>(TZipMethod::Deflated));
}

struct TStringWriter : pugi::xml_writer {
  std::string FOut;
  void write(const void* Data, size_t Size) override {
    FOut.append(static_cast<const char*>(Data), Size);
  }
};

std::string XmlText(pugi::xml_document& Doc) {
  TStringWriter Writer;
  Doc.save(Writer, "", pugi::format_raw, pugi::encoding_utf8);
  return std::move(Writer.FOut);
}

}  // namespace

bool TXlsxWorkbook::TImpl::DropCalculationChain(bool OnlyLook) {
  const std::string& Book = FWorkbookPart;
  const size_t Slash = Book.rfind('/');
  const std::string Folder = Slash == std::string::npos ? std::string() : Book.substr(0, Slash + 1);
  const std::string RelsName = Folder + "_rels/" + Book.substr(Folder.size()) + ".rels";
  const size_t Rels = FindPart(RelsName);
  if (Rels == npos) return false;
  pugi::xml_document Doc;
  ParseXmlPart(Doc, StripUtf8Bom(EntryBytes(Rels)), RelsName);
  std::string Target;
  for (pugi::xml_node R : Doc.document_element().children()) {
    std::string_view Type = R.attribute("Type").value();
    if (IsElementNamed(R, "Relationship") && Type.size() >= 10 &&
        SameTextAscii(Type.substr(Type.size() - 10), "/calcChain")) {
      Target = R.attribute("Target").value();
      if (!Target.empty() && !OnlyLook) Doc.document_element().remove_child(R);
      break;
    }
  }
  if (Target.empty() || OnlyLook) return !Target.empty();
  ReplaceEntryBytes(Rels, XmlText(Doc));
  const std::string Part = Target[0] == '/' ? Target.substr(1) : Folder + Target;
  const size_t Chain = FindPart(Part);
  if (Chain != npos) FOriginalEntries[Chain].Dropped = true;
  const size_t Types = FindPart("[Content_Types].xml");
  if (Types == npos) return true;
  pugi::xml_document TypesDoc;
  ParseXmlPart(TypesDoc, StripUtf8Bom(EntryBytes(Types)), "[Content_Types].xml");
  for (pugi::xml_node O : TypesDoc.document_element().children())
    if (IsElementNamed(O, "Override") &&
        SameTextAscii(O.attribute("PartName").value(), "/" + Part)) {
      TypesDoc.document_element().remove_child(O);
      ReplaceEntryBytes(Types, XmlText(TypesDoc));
      break;
    }
  return true;
}

namespace {

bool IsFormulaWordChar(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' ||
         C == '.' || C == '$' || C == '\\' || static_cast<unsigned char>(C) >= 0x80;
}

constexpr int32_t kLastColumn = 16383;  // XFD
constexpr int32_t kLastRow = 1048576;

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

void TXlsxWorkbook::SetCellValue(int SheetIndex, int32_t Row, int32_t Col,
                                 const std::string& NewValue) {
  if (SheetIndex < 0 || SheetIndex >= SheetCount()) return;
  // The table must hold the part's cells before one of them changes.
  (void)this->Sheet(SheetIndex);
  TXlsxSheet& Sheet = FSheets[static_cast<size_t>(SheetIndex)];
  TSheetCells& Cells = FImpl->EditableCells(Sheet);
  Cells.SetCell(Row, Col, NewValue);
  if (Sheet.PartName.empty()) return;
  // Keyed by the entry's exact name, found as the loader finds parts, so an
  // edit is never dropped because the relationships spell the name otherwise.
  const size_t Index = FImpl->FindPart(Sheet.PartName);
  if (Index == TImpl::npos) return;
  FImpl->FPendingEdits[FImpl->FOriginalEntries[Index].Name][{Row, Col}] = NewValue;
}

TSpliceResult TXlsxWorkbook::TImpl::SpliceEntry(size_t Index, const TCellEdits& Edits,
                                                TXmlSink* Out) const {
  const auto& E = FOriginalEntries[Index];
  const bool MayAddSheetData = FPartsWithSheetData.count(E.Name) == 0;
  if (E.ZipIndex == npos) {
    TXmlMemorySource Source(E.Replaced ? std::string_view(*E.Replaced) : std::string_view());
    return SpliceSheetPart(Source, E.Name, Edits, MayAddSheetData, Out);
  }
  TZipEntrySource Source(*FZip, E.ZipIndex);
  return SpliceSheetPart(Source, E.Name, Edits, MayAddSheetData, Out);
}

namespace {

class TEntryDataSink : public TXmlSink {
 public:
  explicit TEntryDataSink(TZipWriter& Zip) : FZip(Zip) {}
  void Write(std::string_view Bytes) override { FZip.WriteEntryData(Bytes); }

 private:
  TZipWriter& FZip;
};

}  // namespace

void TXlsxWorkbook::SaveToFile(const std::string& OutputFileName) {
  TImpl& Impl = *FImpl;
  if (Impl.FOriginalEntries.empty()) throw TKvError("No workbook is currently loaded.");
  Impl.FZip->StartOperation();
  // The calculation chain sits before the worksheets in most packages: whether
  // an edit replaced a formula is found by a first pass that writes nothing.
  if (!Impl.FPendingEdits.empty() && Impl.DropCalculationChain(true)) {
    bool FormulaRemoved = false;
    for (const auto& [Name, Edits] : Impl.FPendingEdits)
      FormulaRemoved =
          Impl.SpliceEntry(Impl.FindEntry(Name), Edits, nullptr).FormulaRemoved || FormulaRemoved;
    if (FormulaRemoved) Impl.DropCalculationChain();
  }

  TZipWriter Zip(OutputFileName);
  // Only spliced worksheets are compressed here; the fastest level keeps
  // saving a full grid quick at a size close to the default level's.
  Zip.SetDeflateLevel(1);
  Zip.SetComment(Impl.FZip->Comment());
  for (size_t K = 0; K < Impl.FOriginalEntries.size(); ++K) {
    if (Impl.FOriginalEntries[K].Dropped) continue;
    const std::string& Name = Impl.FOriginalEntries[K].Name;
    auto Edited = Impl.FPendingEdits.find(Name);
    if (Edited != Impl.FPendingEdits.end()) {
      Zip.BeginEntry(Name);
      TEntryDataSink Sink(Zip);
      Impl.SpliceEntry(K, Edited->second, &Sink);
      Zip.EndEntry();
      continue;
    }
    const TZipEntry* Source = Impl.SourceEntry(K);
    if (Source && CanCopyAsStored(*Source)) {
      Zip.AddRawEntry(Name, static_cast<TZipMethod>(Source->Method), Source->Crc32,
                      Source->UncompressedSize,
                      Impl.FZip->RawData(Impl.FOriginalEntries[K].ZipIndex));
    } else {
      Zip.AddEntry(Name, Impl.EntryBytes(K));
    }
  }
  Zip.Finish();
}

}  // namespace kv
