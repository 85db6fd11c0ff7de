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
  TStringWriter Writer;
  Doc.save(Writer, "", pugi::format_raw, pugi::encoding_utf8);
  return std::move(Writer.FOut);
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
  SetCellElementValue(FindOrAddCell(RowNode, Ref), NewValue);
}

void TXlsxWorkbook::SaveToFile(const std::string& OutputFileName) {
  TImpl& Impl = *FImpl;
  if (Impl.FOriginalEntries.empty()) throw TKvError("No workbook is currently loaded.");
  for (auto& [Name, Doc] : Impl.FSheetDocs)
    Impl.ReplaceEntryBytes(Impl.FindEntry(Name), SerializeSheetPart(*Doc));

  TZipWriter Zip(OutputFileName);
  // Only re-serialised worksheets are compressed here; the fastest level keeps
  // saving a full grid quick at a size close to the default level's.
  Zip.SetDeflateLevel(1);
  for (size_t K = 0; K < Impl.FOriginalEntries.size(); ++K) {
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
