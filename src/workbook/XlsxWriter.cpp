#include "workbook/XlsxWriter.h"

#include <cstdio>

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/WorkbookImpl.h"
#include "workbook/XlsxReader.h"
#include "workbook/ZipWriter.h"

namespace kv {

namespace {

// Names are matched by local name, as the loader matches them, so parts whose
// elements carry a prefix ("x:row") are edited like unprefixed ones; new
// elements take their parent's prefix and so stay in its namespace.
bool IsElementNamed(pugi::xml_node Node, const char* Local) {
  return Node.type() == pugi::node_element && SameTextAscii(LocalName(Node.name()), Local);
}

pugi::xml_node ChildNamed(pugi::xml_node Parent, const char* Local) {
  for (pugi::xml_node Child : Parent.children())
    if (IsElementNamed(Child, Local)) return Child;
  return {};
}

std::string NameLike(pugi::xml_node Parent, const char* Local) {
  std::string_view Name = Parent.name();
  size_t Colon = Name.find(':');
  return (Colon == std::string_view::npos ? std::string()
                                          : std::string(Name.substr(0, Colon + 1))) +
         Local;
}

// Column of a cell element, or -1 when its reference is unusable.
int32_t CellColumn(pugi::xml_node Cell) {
  int32_t Col = 0, Row = 0;
  return ParseCellRef(Cell.attribute("r").value(), Col, Row) ? Col : -1;
}

// New children of a cell go before an extension list, which the schema wants last.
pugi::xml_node AddCellChild(pugi::xml_node Cell, const char* Local) {
  std::string Name = NameLike(Cell, Local);
  pugi::xml_node Ext = ChildNamed(Cell, "extLst");
  return Ext ? Cell.insert_child_before(Name.c_str(), Ext) : Cell.append_child(Name.c_str());
}

bool NeedsPreservedSpace(std::string_view Text) {
  auto IsSpace = [](char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; };
  if (Text.empty()) return false;
  if (IsSpace(Text.front()) || IsSpace(Text.back())) return true;
  return Text.find_first_of("\t\n\r") != std::string_view::npos;
}

// Characters XML 1.0 cannot hold at all become the _xHHHH_ escapes spreadsheet
// readers decode; invalid UTF-8 becomes U+FFFD. Either would make the part
// unreadable for every other program.
std::string XmlSafeText(const std::string& Text) {
  std::string Valid = IsValidUtf8(Text) ? Text : Utf16ToUtf8(Utf8ToUtf16(Text));
  std::string Out;
  Out.reserve(Valid.size());
  for (char Ch : Valid) {
    unsigned char U = static_cast<unsigned char>(Ch);
    if (U < 0x20 && U != '\t' && U != '\n' && U != '\r') {
      char Buf[8];
      std::snprintf(Buf, sizeof Buf, "_x%04X_", U);
      Out += Buf;
    } else {
      Out += Ch;
    }
  }
  return Out;
}

// Children a worksheet may have before its sheetData, in schema order.
bool PrecedesSheetData(pugi::xml_node Node) {
  static const char* const Names[] = {"sheetPr", "dimension", "sheetViews", "sheetFormatPr",
                                      "cols"};
  if (Node.type() != pugi::node_element) return true;
  for (const char* N : Names)
    if (IsElementNamed(Node, N)) return true;
  return false;
}

// The edited tree of a worksheet part, parsed from the package at its first
// edit; null when the package has no such part. The tree is keyed by the
// entry's exact name, found as the loader finds parts, so an edit is never
// dropped because the workbook's relationships spell the name differently.
template <class TImplT>
pugi::xml_document* GetSheetDocument(TImplT& Impl, const std::string& PartName) {
  size_t Index = Impl.FindPart(PartName);
  if (Index == TImplT::npos) return nullptr;
  const std::string& EntryName = Impl.FOriginalEntries[Index].Name;
  auto It = Impl.FSheetDocs.find(EntryName);
  if (It != Impl.FSheetDocs.end()) return It->second.get();
  auto Doc = std::make_unique<pugi::xml_document>();
  ParseSheetPart(*Doc, Impl.EntryBytes(Index), EntryName);
  return Impl.FSheetDocs.emplace(EntryName, std::move(Doc)).first->second.get();
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

// The calculation chain lists the cells that hold formulas; once an edit has
// replaced one, readers that trust the list report the workbook as damaged.
// It is left out, with its relationship and content type, and readers
// rebuild it.
template <class TImplT>
void DropCalculationChain(TImplT& Impl) {
  const std::string& Book = Impl.FWorkbookPart;
  const size_t Slash = Book.rfind('/');
  const std::string Folder = Slash == std::string::npos ? std::string() : Book.substr(0, Slash + 1);
  const std::string RelsName = Folder + "_rels/" + Book.substr(Folder.size()) + ".rels";
  const size_t Rels = Impl.FindPart(RelsName);
  if (Rels == TImplT::npos) return;
  pugi::xml_document Doc;
  ParseXmlPart(Doc, StripUtf8Bom(Impl.EntryBytes(Rels)), RelsName);
  std::string Target;
  for (pugi::xml_node R : Doc.document_element().children()) {
    std::string_view Type = R.attribute("Type").value();
    if (IsElementNamed(R, "Relationship") && Type.size() >= 10 &&
        SameTextAscii(Type.substr(Type.size() - 10), "/calcChain")) {
      Target = R.attribute("Target").value();
      Doc.document_element().remove_child(R);
      break;
    }
  }
  if (Target.empty()) return;
  Impl.ReplaceEntryBytes(Rels, XmlText(Doc));
  const std::string Part = Target[0] == '/' ? Target.substr(1) : Folder + Target;
  const size_t Chain = Impl.FindPart(Part);
  if (Chain != TImplT::npos) Impl.FOriginalEntries[Chain].Dropped = true;
  const size_t Types = Impl.FindPart("[Content_Types].xml");
  if (Types == TImplT::npos) return;
  pugi::xml_document TypesDoc;
  ParseXmlPart(TypesDoc, StripUtf8Bom(Impl.EntryBytes(Types)), "[Content_Types].xml");
  for (pugi::xml_node O : TypesDoc.document_element().children())
    if (IsElementNamed(O, "Override") &&
        SameTextAscii(O.attribute("PartName").value(), "/" + Part)) {
      TypesDoc.document_element().remove_child(O);
      Impl.ReplaceEntryBytes(Types, XmlText(TypesDoc));
      break;
    }
}

}  // namespace

pugi::xml_node FindOrAddRow(pugi::xml_node SheetData, int32_t RowNumber) {
  pugi::xml_node Later;
  for (pugi::xml_node Row : SheetData.children()) {
    if (Row.type() != pugi::node_element) continue;
    int32_t R = ParseInt32Or(Row.attribute("r").value(), -1);
    if (R == RowNumber) return Row;
    if (!Later && R > RowNumber && IsElementNamed(Row, "row")) Later = Row;
  }
  std::string Name = NameLike(SheetData, "row");
  pugi::xml_node Row = Later ? SheetData.insert_child_before(Name.c_str(), Later)
                             : SheetData.append_child(Name.c_str());
  Row.append_attribute("r").set_value(std::to_string(RowNumber).c_str());
  return Row;
}

pugi::xml_node FindOrAddCell(pugi::xml_node Row, std::string_view Ref) {
  int32_t Col = 0, RowIndex = 0;
  ParseCellRef(Ref, Col, RowIndex);
  pugi::xml_node Later;
  for (pugi::xml_node Cell : Row.children()) {
    if (Cell.type() != pugi::node_element) continue;
    if (SameTextAscii(Cell.attribute("r").value(), Ref)) return Cell;
    if (!Later && IsElementNamed(Cell, "c") && CellColumn(Cell) > Col) Later = Cell;
  }
  // A row's extension list stays after its cells.
  if (!Later) Later = ChildNamed(Row, "extLst");
  std::string Name = NameLike(Row, "c");
  pugi::xml_node Cell =
      Later ? Row.insert_child_before(Name.c_str(), Later) : Row.append_child(Name.c_str());
  Cell.append_attribute("r").set_value(std::string(Ref).c_str());
  return Cell;
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

void UnshareFormulaGroup(pugi::xml_node SheetData, pugi::xml_node Master) {
  pugi::xml_node F = ChildNamed(Master, "f");
  if (!F || !SameTextAscii(F.attribute("t").value(), "shared") || !F.attribute("si")) return;
  const std::string Group = F.attribute("si").value();
  const std::string Text = F.text().get();
  int32_t MasterCol = 0, MasterRow = 0;
  if (Text.empty() || !ParseCellRef(Master.attribute("r").value(), MasterCol, MasterRow)) return;
  for (pugi::xml_node Row : SheetData.children()) {
    if (!IsElementNamed(Row, "row")) continue;
    for (pugi::xml_node Cell : Row.children()) {
      if (Cell == Master || !IsElementNamed(Cell, "c")) continue;
      pugi::xml_node G = ChildNamed(Cell, "f");
      if (!G || !SameTextAscii(G.attribute("t").value(), "shared") ||
          Group != G.attribute("si").value())
        continue;
      int32_t Col = 0, RowIndex = 0;
      if (!ParseCellRef(Cell.attribute("r").value(), Col, RowIndex)) {
        // Without its place the formula cannot be moved there: the value stays.
        Cell.remove_child(G);
        continue;
      }
      G.remove_attribute("t");
      G.remove_attribute("si");
      G.remove_attribute("ref");
      G.text().set(ShiftFormulaReferences(Text, RowIndex - MasterRow, Col - MasterCol).c_str());
    }
  }
}

void RemoveChildByName(pugi::xml_node Element, const char* Name) {
  if (pugi::xml_node Child = ChildNamed(Element, Name)) Element.remove_child(Child);
}

void SetCellElementValue(pugi::xml_node Cell, const std::string& NewValue) {
  RemoveChildByName(Cell, "f");
  RemoveChildByName(Cell, "v");
  RemoveChildByName(Cell, "is");
  pugi::xml_attribute Type = Cell.attribute("t");
  if (!Type) Type = Cell.append_attribute("t");
  if (IsBlank(NewValue)) {
    Type.set_value("n");
    return;
  }
  double Number = 0;
  if (TryParseNumberText(NewValue, Number)) {
    Type.set_value("n");
    AddCellChild(Cell, "v").text().set(FormatNumberText(Number).c_str());
    return;
  }
  Type.set_value("inlineStr");
  pugi::xml_node Is = AddCellChild(Cell, "is");
  pugi::xml_node T = Is.append_child(NameLike(Is, "t").c_str());
  if (NeedsPreservedSpace(NewValue)) T.append_attribute("xml:space").set_value("preserve");
  T.text().set(XmlSafeText(NewValue).c_str());
}

pugi::xml_node FindOrAddSheetData(pugi::xml_document& Doc) {
  pugi::xml_node Root = Doc.document_element();
  if (!Root) return {};
  if (pugi::xml_node Data = ChildNamed(Root, "sheetData")) return Data;
  if (!IsElementNamed(Root, "worksheet")) return {};
  pugi::xml_node After;
  for (pugi::xml_node Child : Root.children()) {
    if (!PrecedesSheetData(Child)) break;
    After = Child;
  }
  std::string Name = NameLike(Root, "sheetData");
  return After ? Root.insert_child_after(Name.c_str(), After) : Root.prepend_child(Name.c_str());
}

void ParseSheetPart(pugi::xml_document& Doc, std::string_view Bytes, const std::string& PartName) {
  if (Bytes.size() > 2 && Bytes.substr(0, 3) == "\xEF\xBB\xBF") Bytes.remove_prefix(3);
  pugi::xml_parse_result Result = Doc.load_buffer(
      Bytes.data(), Bytes.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8);
  if (!Result)
    throw TKvError("Could not read " + PartName + ": " + Result.description() + " at offset " +
                   std::to_string(Result.offset) + ".");
}

std::string SerializeSheetPart(pugi::xml_document& Doc) {
  pugi::xml_node Decl = Doc.first_child();
  if (Decl.type() != pugi::node_declaration) {
    Decl = Doc.prepend_child(pugi::node_declaration);
    Decl.set_name("xml");
    Decl.append_attribute("version").set_value("1.0");
  }
  pugi::xml_attribute Encoding = Decl.attribute("encoding");
  if (!Encoding) {
    pugi::xml_attribute Standalone = Decl.attribute("standalone");
    Encoding = Standalone ? Decl.insert_attribute_before("encoding", Standalone)
                          : Decl.append_attribute("encoding");
  }
  Encoding.set_value("UTF-8");
  return XmlText(Doc);
}

void TXlsxWorkbook::SetCellValue(int SheetIndex, int32_t Row, int32_t Col,
                                 const std::string& NewValue) {
  if (SheetIndex < 0 || SheetIndex >= SheetCount()) return;
  // The table must hold the part's cells before one of them changes.
  (void)this->Sheet(SheetIndex);
  TXlsxSheet& Sheet = FSheets[static_cast<size_t>(SheetIndex)];
  TSheetCells& Cells = FImpl->EditableCells(Sheet);
  Cells.SetCell(Row, Col, NewValue);
  Sheet.RowCount = Cells.RowCount();
  Sheet.ColCount = Cells.ColCount();
  if (Sheet.PartName.empty()) return;

  pugi::xml_document* Doc = GetSheetDocument(*FImpl, Sheet.PartName);
  if (!Doc) return;
  pugi::xml_node SheetData = FindOrAddSheetData(*Doc);
  if (!SheetData) return;
  pugi::xml_node RowNode = FindOrAddRow(SheetData, Row + 1);
  std::string Ref = ColumnIndexToLetters(Col) + std::to_string(Row + 1);
  pugi::xml_node Cell = FindOrAddCell(RowNode, Ref);
  if (ChildNamed(Cell, "f")) {
    UnshareFormulaGroup(SheetData, Cell);
    FImpl->FFormulaRemoved = true;
  }
  SetCellElementValue(Cell, NewValue);
}

void TXlsxWorkbook::SaveToFile(const std::string& OutputFileName) {
  TImpl& Impl = *FImpl;
  if (Impl.FOriginalEntries.empty()) throw TKvError("No workbook is currently loaded.");
  for (auto& [Name, Doc] : Impl.FSheetDocs)
    Impl.ReplaceEntryBytes(Impl.FindEntry(Name), SerializeSheetPart(*Doc));
  if (Impl.FFormulaRemoved) {
    DropCalculationChain(Impl);
    Impl.FFormulaRemoved = false;
  }

  TZipWriter Zip(OutputFileName);
  // Only re-serialised worksheets are compressed here; the fastest level keeps
  // saving a full grid quick at a size close to the default level's.
  Zip.SetDeflateLevel(1);
  for (size_t K = 0; K < Impl.FOriginalEntries.size(); ++K) {
    if (Impl.FOriginalEntries[K].Dropped) continue;
    const std::string& Name = Impl.FOriginalEntries[K].Name;
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
