// Editing cells and saving the workbook: pending edits per worksheet part,
// the parts spliced on save, and the calculation chain dropped when it
// names formulas that an edit removed.
#include <algorithm>
#include <cstdio>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "workbook/WorkbookImpl.h"
#include "workbook/CalcOnLoad.h"
#include "workbook/CellNotation.h"
#include "workbook/FormulaShift.h"
#include "workbook/TextPool.h"
#include "workbook/Workbook.h"
#include "numfmt/NumberFormat.h"
#include "zip/ZipWriter.h"

namespace kv {

namespace {

bool IsElementNamed(pugi::xml_node Node, const char* Local) {
  return Node.type() == pugi::node_element && IsLocal(Node.name(), Local);
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

int32_t TXlsxWorkbook::TImpl::CellStyle(const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                                        bool& Own) const {
  // A cell element has a style of its own, "s" or 0; only cells the part
  // does not hold take their row's or column's.
  Own = Sheet.Data && Sheet.Data->HasCell(Row, Col);
  if (Own) return std::max(Sheet.Data->CellStyle(Row, Col), 0);
  auto Facts = FSheetFacts.find(Sheet.PartName);
  if (Facts == FSheetFacts.end()) return 0;
  const auto& Empty = Facts->second.EmptyCellStyles;
  auto E =
      std::upper_bound(Empty.begin(), Empty.end(), std::make_pair(Row, Col),
                       [](const std::pair<int32_t, int32_t>& P, const TSheetFacts::TEmptyCell& C) {
                         return P < std::make_pair(C.Row, C.Col);
                       });
  if (E != Empty.begin() && std::prev(E)->Row == Row && std::prev(E)->Col == Col) {
    Own = true;
    return std::prev(E)->Style;
  }
  auto R = Facts->second.RowStyles.find(Row);
  if (R != Facts->second.RowStyles.end()) return R->second;
  for (const auto& C : Facts->second.ColumnStyles)
    if (Col >= C.First && Col <= C.Last) return C.Style;
  return 0;
}

TTypingCell TXlsxWorkbook::TImpl::TypingCell(const TXlsxSheet& Sheet, int32_t Row,
                                             int32_t Col) const {
  bool Own = false;
  const size_t Style = static_cast<size_t>(CellStyle(Sheet, Row, Col, Own));
  TTypingCell Cell;
  if (Style < FStyleCodes.size()) Cell.FormatCode = FStyleCodes[Style];
  Cell.IsDateFormat = Style < FDateStyles.size() && FDateStyles[Style];
  Cell.Date1904 = FDate1904;
  Cell.WasBoolean = Sheet.CellType(Row, Col) == TCellType::Boolean;
  return Cell;
}

TCellType TXlsxWorkbook::TImpl::TableType(TTypedKind Kind) {
  switch (Kind) {
    case TTypedKind::Number:
      return TCellType::Number;
    case TTypedKind::Boolean:
      return TCellType::Boolean;
    case TTypedKind::Text:
      return TCellType::InlineString;
    case TTypedKind::Error:
      return TCellType::Error;
    case TTypedKind::FormulaText:
      return TCellType::FormulaString;
    case TTypedKind::Blank:
      break;
  }
  return TCellType::Empty;
}

void TXlsxWorkbook::TImpl::SetTypedCell(TSheetCells& Cells, int32_t Row, int32_t Col,
                                        const TTypedValue& Value, int32_t Style) const {
  const TCellType Type = TableType(Value.Kind);
  // A date keeps its serial beside the text it shows.
  Cells.SetCell(
      Row, Col, Value.Loaded, Type, Style,
      Value.Kind == TTypedKind::Number ? std::string_view(Value.Value) : std::string_view());
}

std::vector<TTablePart>& TXlsxWorkbook::TImpl::TablesOf(const TXlsxSheet& Sheet) {
  auto Known = FTables.find(Sheet.PartName);
  if (Known != FTables.end()) return Known->second;
  std::vector<TTablePart> Tables;
  const size_t Slash = Sheet.PartName.rfind('/');
  const std::string Rels =
      Sheet.PartName.substr(0, Slash + 1) + "_rels/" + Sheet.PartName.substr(Slash + 1) + ".rels";
  const size_t RelsIndex = FindPart(Rels);
  if (RelsIndex != npos)
    for (const std::string& Part :
         TablePartsOfSheet(StripUtf8Bom(EntryBytes(RelsIndex)), Sheet.PartName)) {
      const size_t Index = FindPart(Part);
      TTablePart Table;
      if (Index != npos &&
          ReadTablePart(StripUtf8Bom(EntryBytes(Index)), FOriginalEntries[Index].Name, Table))
        Tables.push_back(std::move(Table));
    }
  return FTables[Sheet.PartName] = std::move(Tables);
}

bool TXlsxWorkbook::TImpl::RenameHeader(const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                                        const std::string& NewValue) {
  for (TTablePart& Table : TablesOf(Sheet)) {
    const int32_t Column = Table.HeaderColumnAt(Row, Col);
    if (Column < 0) continue;
    CheckHeaderName(Table, Column, NewValue,
                    ColumnIndexToLetters(Col) + std::to_string(int64_t{Row} + 1));
    const size_t Index = FindEntry(Table.PartName);
    const std::string Bytes = EntryBytes(Index);
    const std::string_view Text = StripUtf8Bom(Bytes);
    ReplaceEntryBytes(Index, Bytes.substr(0, Bytes.size() - Text.size()) +
                                 RenameTableColumn(Text, Table.PartName, Column, NewValue));
    Table.Columns[static_cast<size_t>(Column)] = NewValue;
    return true;
  }
  return false;
}

TXlsxSheet& TXlsxWorkbook::CheckedEditSheet(int SheetIndex, int32_t Row, int32_t Col,
                                            const std::string& Text) {
  // The table must hold the part's cells before one of them changes.
  (void)this->Sheet(SheetIndex);
  TXlsxSheet& Sheet = FSheets[static_cast<size_t>(SheetIndex)];
  const size_t Length = Utf16Length(Text);
  if (Length > static_cast<size_t>(kMaxCellTextLength))
    throw TKvError("A cell can hold at most 32,767 characters; this text has " +
                   std::to_string(Length) + ".");
  if (IsCellLocked(SheetIndex, Row, Col))
    throw TKvError("The cell " + ColumnIndexToLetters(Col) + std::to_string(int64_t{Row} + 1) +
                   " is locked: the sheet " + Sheet.Name + " is protected.");
  return Sheet;
}

TCellEdit* TXlsxWorkbook::TImpl::RecordEdit(const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                                            TCellEdit Edit) {
  if (Sheet.PartName.empty()) return nullptr;
  // Keyed by the entry's exact name, found as the loader finds parts, so an
  // edit is never dropped because the relationships spell the name otherwise.
  const size_t Index = FindPart(Sheet.PartName);
  if (Index == npos) return nullptr;
  TCellEdit& Slot = FPendingEdits[FOriginalEntries[Index].Name][{Row, Col}];
  Slot = std::move(Edit);
  return &Slot;
}

void TXlsxWorkbook::SetCellValue(int SheetIndex, int32_t Row, int32_t Col,
                                 const std::string& NewValue, bool AsText) {
  if (SheetIndex < 0 || SheetIndex >= SheetCount()) return;
  TXlsxSheet& Sheet = CheckedEditSheet(SheetIndex, Row, Col, NewValue);
  TImpl& Impl = *FImpl;
  TTypingCell Typing = Impl.TypingCell(Sheet, Row, Col);
  // A header names its column: it stays text.
  Typing.KeepText = Impl.RenameHeader(Sheet, Row, Col, NewValue) || AsText;
  bool Own = false;
  const int32_t Style = Impl.CellStyle(Sheet, Row, Col, Own);
  TCellEdit Edit(TypeCellInput(NewValue, Typing));
  if (!Own && Style > 0) Edit.NewStyle = Style;
  TSheetCells& Cells = Impl.EditableCells(static_cast<size_t>(SheetIndex), Sheet);
  Impl.SetTypedCell(Cells, Row, Col, Edit.Value, Style);
  Impl.RecordEdit(Sheet, Row, Col, std::move(Edit));
}

void TXlsxWorkbook::SetCellFormula(int SheetIndex, int32_t Row, int32_t Col,
                                   const std::string& Formula) {
  if (SheetIndex < 0 || SheetIndex >= SheetCount()) return;
  TXlsxSheet& Sheet = CheckedEditSheet(SheetIndex, Row, Col, Formula);
  TImpl& Impl = *FImpl;
  bool Own = false;
  const int32_t Style = Impl.CellStyle(Sheet, Row, Col, Own);
  TCellEdit Edit;
  if (!Own && Style > 0) Edit.NewStyle = Style;
  Edit.FormulaEdit = TFormulaEdit::Set;
  Edit.Formula = Formula;
  TSheetCells& Cells = Impl.EditableCells(static_cast<size_t>(SheetIndex), Sheet);
  Impl.SetTypedCell(Cells, Row, Col, Edit.Value, Style);
  Cells.SetCellFormula(Row, Col, Cells.AddFormula(Formula, TFormulaKind::Normal, Row, Col, {}));
  Impl.RecordEdit(Sheet, Row, Col, std::move(Edit));
  Impl.FHasFormulas = true;
}

TTypedValue TXlsxWorkbook::TImpl::CachedTyped(const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                                              const TCachedValue& Value) const {
  TTypedValue T;
  switch (Value.Kind) {
    case TCachedKind::Number: {
      T.Kind = TTypedKind::Number;
      T.Value = T.Loaded = FormatNumberText(Value.Number);
      bool Own = false;
      const size_t Style = static_cast<size_t>(CellStyle(Sheet, Row, Col, Own));
      if (Style < FDateStyles.size() && FDateStyles[Style]) {
        double Stored = Value.Number;
        TryParseNumberText(T.Value, Stored);  // what loading reads
        if (!FormatSerialDate(Stored, FDate1904, T.Loaded)) T.Loaded = T.Value;
      }
      break;
    }
    case TCachedKind::Boolean:
      T.Kind = TTypedKind::Boolean;
      T.Value = Value.Number != 0 ? "1" : "0";
      T.Loaded = Value.Number != 0 ? "TRUE" : "FALSE";
      break;
    case TCachedKind::Error:
      T.Kind = TTypedKind::Error;
      T.Value = T.Loaded = Value.Text;
      break;
    case TCachedKind::Text:
      T.Kind = TTypedKind::FormulaText;
      T.Value = T.Loaded = Value.Text;
      break;
  }
  return T;
}

bool TXlsxWorkbook::TImpl::ShowTyped(TSheetCells* Cells, int32_t Row, int32_t Col,
                                     const TTypedValue& T) {
  if (!Cells || !Cells->HasFormula(Row, Col)) return false;
  Cells->SetCachedValue(
      Row, Col, T.Loaded, TableType(T.Kind),
      T.Kind == TTypedKind::Number ? std::string_view(T.Value) : std::string_view());
  return true;
}

TSheetCells* TXlsxWorkbook::TImpl::CellsOf(int SheetIndex) {
  return static_cast<size_t>(SheetIndex) < FCells.size()
             ? FCells[static_cast<size_t>(SheetIndex)].get()
             : nullptr;
}

void TXlsxWorkbook::ShowCachedValue(int SheetIndex, int32_t Row, int32_t Col,
                                    const TCachedValue& Value) {
  if (SheetIndex < 0 || SheetIndex >= AllSheetCount()) return;
  const TXlsxSheet& Sheet = this->Sheet(SheetIndex);
  TImpl::ShowTyped(FImpl->CellsOf(SheetIndex), Row, Col,
                   FImpl->CachedTyped(Sheet, Row, Col, Value));
}

TCellEdits* TXlsxWorkbook::TImpl::EditsOf(int SheetIndex, const TXlsxSheet& Sheet) {
  if (FEditsBySheet.size() <= static_cast<size_t>(SheetIndex))
    FEditsBySheet.resize(static_cast<size_t>(SheetIndex) + 1);
  TCellEdits*& Edits = FEditsBySheet[static_cast<size_t>(SheetIndex)];
  if (!Edits && !Sheet.PartName.empty()) {
    const size_t Index = FindPart(Sheet.PartName);
    if (Index != npos) Edits = &FPendingEdits[FOriginalEntries[Index].Name];
  }
  return Edits;
}

void TXlsxWorkbook::SetCachedValue(int SheetIndex, int32_t Row, int32_t Col,
                                   const TCachedValue& Value) {
  if (SheetIndex < 0 || SheetIndex >= AllSheetCount()) return;
  const TXlsxSheet& Sheet = this->Sheet(SheetIndex);
  const size_t Length = Utf16Length(Value.Text);
  if (Length > static_cast<size_t>(kMaxCellTextLength))
    throw TKvError("A cell can hold at most 32,767 characters; this text has " +
                   std::to_string(Length) + ".");
  TImpl& Impl = *FImpl;
  TTypedValue T = Impl.CachedTyped(Sheet, Row, Col, Value);
  if (!TImpl::ShowTyped(Impl.CellsOf(SheetIndex), Row, Col, T)) return;
  TCellEdits* Edits = Impl.EditsOf(SheetIndex, Sheet);
  if (!Edits) return;
  auto At = Edits->find({Row, Col});
  if (At == Edits->end()) {
    // The table holds the value: the cell is only marked, and the save asks
    // the table for it, so memory does not grow with the cells recomputed.
    Impl.CellsOf(SheetIndex)->MarkRecomputed(Row, Col);
    return;
  }
  TCellEdit& Edit = At->second;
  // A formula set since the load stays set, with its new value.
  if (Edit.FormulaEdit != TFormulaEdit::Set) {
    Edit = TCellEdit();
    Edit.FormulaEdit = TFormulaEdit::Keep;
  }
  Edit.Value = std::move(T);
}

bool TXlsxWorkbook::Date1904() const {
  return FImpl->FDate1904;
}

bool TXlsxWorkbook::IsCellLocked(int SheetIndex, int32_t Row, int32_t Col) const {
  if (SheetIndex < 0 || SheetIndex >= AllSheetCount()) return false;
  const TXlsxSheet& S = Sheet(SheetIndex);
  auto Facts = FImpl->FSheetFacts.find(S.PartName);
  if (Facts == FImpl->FSheetFacts.end() || !Facts->second.Protected) return false;
  bool Own = false;
  const size_t Style = static_cast<size_t>(FImpl->CellStyle(S, Row, Col, Own));
  return !(Style < FImpl->FStyleUnlocked.size() && FImpl->FStyleUnlocked[Style]);
}

bool TXlsxWorkbook::IsTextCell(int SheetIndex, int32_t Row, int32_t Col) const {
  if (SheetIndex < 0 || SheetIndex >= AllSheetCount()) return false;
  return IsTextFormatCode(FImpl->TypingCell(Sheet(SheetIndex), Row, Col).FormatCode);
}

TSpliceResult TXlsxWorkbook::TImpl::SpliceEntry(size_t Index, const TCellEdits& Edits,
                                                TXmlSink* Out) const {
  const auto& E = FOriginalEntries[Index];
  const bool MayAddSheetData = FPartsWithSheetData.count(E.Name) == 0;
  // The sheet whose recomputed values go to this part (EditsOf tells).
  const TSheetCells* Recomputed = nullptr;
  for (size_t K = 0; K < FEditsBySheet.size() && !Recomputed; ++K)
    if (FEditsBySheet[K] == &Edits && K < FCells.size()) Recomputed = FCells[K].get();
  if (E.ZipIndex == npos) {
    TXmlMemorySource Source(E.Replaced ? std::string_view(*E.Replaced) : std::string_view());
    return SpliceSheetPart(Source, E.Name, Edits, MayAddSheetData, Out, Recomputed);
  }
  TZipEntrySource Source(*FZip, E.ZipIndex);
  return SpliceSheetPart(Source, E.Name, Edits, MayAddSheetData, Out, Recomputed);
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

bool TXlsxWorkbook::TImpl::HasFormulas() {
  // A formula that went leaves its readers stale, and one an edit sets stays
  // (SetCellFormula records it): the first answer holds for every later save.
  if (!FHasFormulas) FHasFormulas = FindFormulas();
  return *FHasFormulas;
}

bool TXlsxWorkbook::TImpl::FindFormulas() {
  // Writers list formula cells in a calculation chain; others are read.
  if (DropCalculationChain(true)) return true;
  for (size_t I = 0; I < FOriginalEntries.size(); ++I) {
    const TEntry& E = FOriginalEntries[I];
    const std::string Name = AsciiLower(E.Name);
    if (E.Dropped || Name.find("worksheets/") == std::string::npos ||
        Name.find("_rels/") != std::string::npos || !EndsWithAscii(Name, ".xml"))
      continue;
    if (E.ZipIndex == npos) {
      TXmlMemorySource Source(E.Replaced ? std::string_view(*E.Replaced) : std::string_view());
      if (SheetHasFormula(Source, E.Name)) return true;
    } else {
      TZipEntrySource Source(*FZip, E.ZipIndex);
      if (SheetHasFormula(Source, E.Name)) return true;
    }
  }
  return false;
}

void TXlsxWorkbook::TImpl::AskForFullCalculation() {
  const size_t Index = FindPart(FWorkbookPart);
  if (Index == npos) return;
  const std::string Old = EntryBytes(Index);
  std::string New = WithFullCalcOnLoad(Old, FOriginalEntries[Index].Name);
  if (New != Old) ReplaceEntryBytes(Index, std::move(New));
}

void TXlsxWorkbook::TImpl::CheckUnchangedOnDisk(const std::string& Path) const {
  const int64_t Size = FileSize(Path);
  if (Size < 0) return;  // gone: nothing of another program's is lost
  // The size, then the bytes decide. A time stamp is no help: it changes when
  // a file is touched or copied back unchanged, and can stay the same when a
  // quick writer keeps the clock's tick or sets the old time again.
  if (Size == FLoadedSize && HashFile(Path) == FLoadedHash) return;
  throw TKvError("The file " + Path +
                 " was changed by another program since it was opened, so it was not "
                 "overwritten. Save under another name, or open the file again.");
}

void TXlsxWorkbook::TImpl::StampLoadedFile(const std::string& Path) {
  FLoadedSize = FileSize(Path);
  FLoadedHash = HashFile(Path);
}

void TXlsxWorkbook::SaveToFile(const std::string& OutputFileName) {
  TImpl& Impl = *FImpl;
  if (Impl.FOriginalEntries.empty()) throw TKvError("No workbook is currently loaded.");
  Impl.FZip->StartOperation();
  // Formulas may now cache stale values: readers are told to compute them.
  if (!Impl.FPendingEdits.empty() && Impl.HasFormulas()) Impl.AskForFullCalculation();
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
  // Onto the file loaded: another program may have saved it meanwhile.
  const bool OntoLoaded = !Impl.FLoadedFrom.empty() && SameFile(OutputFileName, Impl.FLoadedFrom);
  if (OntoLoaded) Zip.SetBeforeReplace([&] { Impl.CheckUnchangedOnDisk(OutputFileName); });
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
  if (OntoLoaded) Impl.StampLoadedFile(OutputFileName);
}

}  // namespace kv

namespace kv {

const TFormulaNames& TXlsxWorkbook::FormulaNames() const {
  TImpl& Impl = *FImpl;
  if (Impl.FFormulaNames) return *Impl.FFormulaNames;
  TFormulaNames Names;
  const size_t Index = Impl.FindPart(Impl.FWorkbookPart);
  if (Index != TImpl::npos) {
    pugi::xml_document Doc;
    ParseXmlPart(Doc, StripUtf8Bom(Impl.EntryBytes(Index)), Impl.FWorkbookPart);
    std::vector<int> ScopeOfSheet;  // by position in "sheets": shown index, or -2
    pugi::xml_node Root = Doc.document_element();
    for (pugi::xml_node Part : Root.children()) {
      if (IsElementNamed(Part, "sheets")) {
        for (pugi::xml_node S : Part.children()) {
          if (S.type() != pugi::node_element) continue;
          const std::string Name = S.attribute("name").value();
          int Shown = -2;
          for (int K = 0; K < AllSheetCount() && Shown < 0; ++K)
            if (SheetName(K) == Name) Shown = K;
          if (Shown < 0) Names.UnreadSheets.push_back(Name);
          ScopeOfSheet.push_back(Shown);
        }
      } else if (IsElementNamed(Part, "definedNames")) {
        for (pugi::xml_node N : Part.children()) {
          if (!IsElementNamed(N, "definedName")) continue;
          TDefinedName D;
          D.Name = N.attribute("name").value();
          D.Formula = N.text().get();
          if (!D.Formula.empty() && D.Formula[0] == '=') D.Formula.erase(0, 1);
          const pugi::xml_attribute Local = N.attribute("localSheetId");
          if (Local) {
            const int32_t At = ParseInt32Or(Local.value(), -1);
            D.Scope = At >= 0 && size_t(At) < ScopeOfSheet.size() ? ScopeOfSheet[size_t(At)] : -2;
          }
          Names.Names.push_back(std::move(D));
        }
      }
    }
  }
  Impl.FFormulaNames = std::move(Names);
  return *Impl.FFormulaNames;
}

}  // namespace kv
