// The private state of TXlsxWorkbook, shared by the loader (WorkbookLoad.cpp)
// and the editing and saving code (WorkbookSave.cpp).
//
// The loaded package stays in memory compressed, as read from the file; an
// entry is inflated when asked for. FOriginalEntries lists every entry in load
// order under its exact name (a later entry with a name already seen replaces
// the earlier one in its place); an entry whose bytes were replaced holds them
// itself and no longer refers to the package.
#ifndef KV_WORKBOOK_WORKBOOKIMPL_H
#define KV_WORKBOOK_WORKBOOKIMPL_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "numfmt/NumberFormat.h"
#include "workbook/CellTyping.h"
#include "workbook/SheetSplice.h"
#include "workbook/TableParts.h"
#include "workbook/TextPool.h"
#include "workbook/Workbook.h"
#include "xml/XmlNames.h"
#include "xml/XmlPull.h"
#include "zip/ZipReader.h"

namespace kv {

struct TXlsxWorkbook::TImpl {
  static constexpr size_t npos = static_cast<size_t>(-1);

  struct TEntry {
    std::string Name;                     // exact entry name
    size_t ZipIndex = npos;               // entry of FZip, npos once replaced
    std::optional<std::string> Replaced;  // bytes set by ReplaceEntryBytes
    bool Dropped = false;                 // left out of every save from now on
  };

  std::shared_ptr<const TZipReader> FZip;  // the loaded package, null before a load
  std::vector<TEntry> FOriginalEntries;
  std::unordered_map<std::string, size_t> FEntryByName;  // exact name -> position
  // Part name as FindPart compares it (lower case, '/', no leading '/') -> the
  // first position with it; filled by the loader.
  std::unordered_map<std::string, size_t> FEntryByPart;

  // Exact entry name of a worksheet part -> the cells edited in it since the
  // load. Kept until the workbook goes: every save splices them all into the
  // part as loaded.
  std::map<std::string, TCellEdits> FPendingEdits;
  // Exact entry names of worksheet parts loading found cell data ("sheetData") in.
  std::set<std::string> FPartsWithSheetData;

  std::shared_ptr<TTextPool> FTexts;     // every cell text of the workbook
  std::vector<uint32_t> FSharedStrings;  // shared string i -> text id in FTexts
  std::vector<bool> FDateStyles;         // per style (cellXfs position): whether it shows a date
  bool FDate1904 = false;
  // Per style (cellXfs position): its number format code, and whether it
  // locks its cells on a protected sheet.
  std::vector<std::string> FStyleCodes;
  std::vector<bool> FStyleUnlocked;
  // What editing needs of a worksheet beyond its cells, by exact part name:
  // its protection, and the styles of its columns and rows that cells
  // without a style element of their own take.
  struct TSheetFacts {
    bool Protected = false;
    struct TColumns {
      int32_t First, Last, Style;  // 0-based columns
    };
    std::vector<TColumns> ColumnStyles;
    std::map<int32_t, int32_t> RowStyles;  // 0-based row -> style
    // Styled cells without a value that lie past the cell table, by place
    // (sorted; of a place written twice the later counts).
    struct TEmptyCell {
      int32_t Row, Col, Style;
    };
    std::vector<TEmptyCell> EmptyCellStyles;
  };
  std::map<std::string, TSheetFacts> FSheetFacts;
  // The tables of each worksheet part edited so far, as renamed by edits.
  std::map<std::string, std::vector<TTablePart>> FTables;
  // The number format of each style, for showing cells as the workbook does;
  // shared with every cell table the loader fills.
  std::shared_ptr<TCellFormats> FFormats;

  // Per sheet (as FSheets): whether its cells were read, and the error that
  // reading them raised, raised again on every later use.
  struct TSheetState {
    bool Read = false;
    std::string Error;
  };
  std::vector<TSheetState> FSheetStates;

  std::string FWorkbookPart;  // e.g. "xl/workbook.xml", as the loader found it

  // The file the package was loaded from (empty for bytes) and what it was
  // then: a save onto it first checks that no other program changed it.
  std::string FLoadedFrom;
  int64_t FLoadedSize = -1;
  uint64_t FLoadedHash = 0;
  // Raises "The file PATH was changed by another program since it was
  // opened, so it was not overwritten. ..." when Path no longer holds the
  // bytes loaded (a file that is gone is no change).
  void CheckUnchangedOnDisk(const std::string& Path) const;
  // Records Path as it is now, after a save wrote it.
  void StampLoadedFile(const std::string& Path);

  // Position of the entry with exactly this name, or npos.
  size_t FindEntry(std::string_view ExactName) const;
  // The first entry, in load order, naming the part: ASCII case ignored, '\'
  // read as '/', a leading '/' ignored. npos when there is none.
  size_t FindPart(std::string_view PartName) const;

  // The uncompressed bytes of entry Index. Raises: the ZIP reader's errors.
  std::string EntryBytes(size_t Index) const;
  // From now on entry Index holds Bytes (what a save writes for it).
  void ReplaceEntryBytes(size_t Index, std::string Bytes);
  // The package entry behind Index, for copying it as stored; null once
  // replaced. RawData of it comes from FZip->RawData(Entry.ZipIndex).
  const TZipEntry* SourceEntry(size_t Index) const;

  // The writable tables behind the sheets' read-only Data, by sheet index
  // (null for a sheet without cells): the workbook is their only writer.
  std::vector<std::shared_ptr<TSheetCells>> FCells;
  // Cells held by the tables of the sheets read so far (the cell budget's count).
  size_t FCellsHeld = 0;
  size_t FCellBudget = TXlsxWorkbook::kCellBudget;

  // Sheet Index's table (Sheet is FSheets[Index]) for changing it, created
  // (sharing FTexts) when the sheet has none.
  TSheetCells& EditableCells(size_t Index, TXlsxSheet& Sheet);

  // The style a cell of the sheet shows: its own, else its row's, else its
  // column's, else 0. Own: the cell has one.
  int32_t CellStyle(const TXlsxSheet& Sheet, int32_t Row, int32_t Col, bool& Own) const;
  // What typing into the cell needs to know of it. Code holds the format code.
  TTypingCell TypingCell(const TXlsxSheet& Sheet, int32_t Row, int32_t Col) const;
  // Puts the typed value into the table as loading the saved cell reads it.
  void SetTypedCell(TSheetCells& Cells, int32_t Row, int32_t Col, const TTypedValue& Value,
                    int32_t Style) const;

  // The tables on the sheet, read at the first call. Raises: the ZIP
  // reader's and the XML reader's errors.
  std::vector<TTablePart>& TablesOf(const TXlsxSheet& Sheet);
  // When (Row, Col) heads a table's column: checks NewValue as its name
  // (TableParts.h) and renames the column. True for a header cell.
  bool RenameHeader(const TXlsxSheet& Sheet, int32_t Row, int32_t Col, const std::string& NewValue);

  // Streams entry Index's part as loaded (or as last replaced) through the
  // splice of Edits into Out (nothing is written for a null Out). Raises: the
  // splice's, the ZIP reader's and the XML reader's errors.
  TSpliceResult SpliceEntry(size_t Index, const TCellEdits& Edits, TXmlSink* Out) const;
  // Whether a cell of any worksheet part holds a formula. Raises: the ZIP
  // reader's and the XML reader's errors.
  bool HasFormulas();
  bool FindFormulas();
  std::optional<bool> FHasFormulas;  // known after the first save with edits, or a formula edit
  // Records Edit for the save, replacing an earlier one of the cell; null
  // (nothing recorded) for a sheet without a part.
  TCellEdit* RecordEdit(const TXlsxSheet& Sheet, int32_t Row, int32_t Col, TCellEdit Edit);
  // A formula's cached value as the save writes it and the table shows it.
  TTypedValue CachedTyped(const TXlsxSheet& Sheet, int32_t Row, int32_t Col,
                          const TCachedValue& Value) const;
  static TCellType TableType(TTypedKind Kind);
  // Puts the cached value T of a formula cell into its table; false (nothing
  // done) for a cell without a formula.
  static bool ShowTyped(TSheetCells* Cells, int32_t Row, int32_t Col, const TTypedValue& T);
  // The pending edits of a sheet's part (null for a sheet without one),
  // found once per sheet: values recomputed by the thousand go straight in.
  TCellEdits* EditsOf(int SheetIndex, const TXlsxSheet& Sheet);
  std::vector<TCellEdits*> FEditsBySheet;
  // The table of a sheet read, null for one without cells.
  TSheetCells* CellsOf(int SheetIndex);
  // Defined names and hidden sheets, once read (FormulaNames).
  std::optional<TFormulaNames> FFormulaNames;
  // Sets fullCalcOnLoad="1" in the workbook part's calcPr (CalcOnLoad.h).
  void AskForFullCalculation();
  // The calculation chain lists the cells that hold formulas; once an edit has
  // replaced one, readers that trust the list report the workbook as damaged.
  // It is left out, with its relationship and content type, and readers
  // rebuild it. OnlyLook: nothing changes; the result says whether the
  // workbook's relationships name a chain. Raises: the ZIP reader's and the
  // XML parser's errors.
  bool DropCalculationChain(bool OnlyLook = false);
};

// The inflated bytes of a package entry as a source for the pull reader.
class TZipEntrySource : public TXmlSource {
 public:
  TZipEntrySource(const TZipReader& Zip, size_t Index) : FStream(Zip, Index) {}
  size_t Read(char* Buffer, size_t Max) override { return FStream.Read(Buffer, Max); }

 private:
  TZipEntryStream FStream;
};

// Text of a part as ReadPackageText decodes it: a leading UTF-8 byte order
// mark is dropped.
std::string_view StripUtf8Bom(std::string_view Bytes);

// Parses XML text into Doc with no DTD or entity processing beyond the
// predefined entities, keeping whitespace-only text where it is an element's
// only child. Raises: TKvError "Could not read <PartName>: <reason> at offset N."
void ParseXmlPart(pugi::xml_document& Doc, std::string_view Text, std::string_view PartName);

}  // namespace kv

#endif
