// Editing cells and saving the workbook: pending edits per worksheet part,
// the parts spliced on save, and the calculation chain dropped when it
// names formulas that an edit removed.
#include <cstdio>

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/WorkbookImpl.h"
#include "workbook/FormulaShift.h"
#include "workbook/Workbook.h"
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

void TXlsxWorkbook::SetCellValue(int SheetIndex, int32_t Row, int32_t Col,
                                 const std::string& NewValue) {
  if (SheetIndex < 0 || SheetIndex >= SheetCount()) return;
  // The table must hold the part's cells before one of them changes.
  (void)this->Sheet(SheetIndex);
  TXlsxSheet& Sheet = FSheets[static_cast<size_t>(SheetIndex)];
  TSheetCells& Cells = FImpl->EditableCells(static_cast<size_t>(SheetIndex), Sheet);
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
