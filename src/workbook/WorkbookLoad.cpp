// Loading an .xlsx/.xlsm package into the workbook model. The small parts
// (relationships, workbook, styles) are read as trees; shared strings and
// worksheets, which can be large, are read as streams straight into the cell
// tables, so loading never builds a tree of a worksheet.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "workbook/SheetWalk.h"
#include "workbook/WorkbookImpl.h"
#include "xml/XmlPull.h"
#include "workbook/CellNotation.h"
#include "workbook/CharEscapes.h"

namespace kv {

namespace {

// ---- names and paths -------------------------------------------------------

pugi::xml_node ChildByLocalName(pugi::xml_node Parent, std::string_view Wanted) {
  for (pugi::xml_node C = Parent.first_child(); C; C = C.next_sibling())
    if (C.type() == pugi::node_element && IsLocal(C.name(), Wanted)) return C;
  return {};
}

std::string ReadAttribute(pugi::xml_node Node, const char* Name, const std::string& Default) {
  if (!Node) return Default;
  pugi::xml_attribute A = Node.attribute(Name);
  return A ? std::string(A.value()) : Default;
}

// The relationship id of a sheet: "id" under any prefix ("r:id", "ns:id"),
// then the unprefixed "id".
std::string SheetRelationshipId(pugi::xml_node Sheet) {
  for (pugi::xml_attribute A = Sheet.first_attribute(); A; A = A.next_attribute()) {
    std::string_view Name = A.name();
    if (Name.find(':') != std::string_view::npos && LocalName(Name) == "id" && *A.value())
      return A.value();
  }
  return ReadAttribute(Sheet, "id", "");
}

std::string NormalisePartName(std::string_view Name) {
  std::string R(Name);
  std::replace(R.begin(), R.end(), '\\', '/');
  return R;
}

// Resolves a relationship target against the folder of the part that owns
// the relationships ("" for the package root): "/" means the root, "." and
// ".." segments are resolved.
std::string ResolveTarget(std::string_view BaseFolder, std::string_view Target) {
  std::string T = NormalisePartName(Target);
  std::string Path = !T.empty() && T[0] == '/' ? T.substr(1) : std::string(BaseFolder) + T;
  std::vector<std::string> Segments;
  for (const std::string& S : SplitString(Path, '/')) {
    if (S.empty() || S == ".") continue;
    if (S == "..") {
      if (!Segments.empty()) Segments.pop_back();
      continue;
    }
    Segments.push_back(S);
  }
  std::string R;
  for (const std::string& S : Segments) R += (R.empty() ? "" : "/") + S;
  return R;
}

std::string FolderOf(std::string_view Part) {
  size_t Slash = Part.rfind('/');
  return Slash == std::string_view::npos ? std::string() : std::string(Part.substr(0, Slash + 1));
}

std::string RelationshipsPartOf(std::string_view Part) {
  size_t Slash = Part.rfind('/');
  std::string Folder = FolderOf(Part);
  std::string File(Slash == std::string_view::npos ? Part : Part.substr(Slash + 1));
  return Folder + "_rels/" + File + ".rels";
}

// ---- dates -----------------------------------------------------------------

// Serial dates and date formats: numfmt/NumberFormat.h.

bool ReadDigits(std::string_view S, size_t& I, size_t Count, int& Value) {
  if (I + Count > S.size()) return false;
  Value = 0;
  for (size_t K = 0; K < Count; ++K) {
    char C = S[I + K];
    if (C < '0' || C > '9') return false;
    Value = Value * 10 + (C - '0');
  }
  I += Count;
  return true;
}

// An ISO 8601 date, date-time or time ("2024-01-15", "2024-01-15T13:45:00",
// "13:45:00") as a serial day number of the workbook's date system.
bool ParseIsoDate(std::string_view S, bool Date1904, double& Serial) {
  size_t I = 0;
  int64_t Days = 0;
  bool HasDate = false;
  int Y = 0, Mo = 0, D = 0;
  if (S.size() >= 10 && S[4] == '-') {
    if (!ReadDigits(S, I, 4, Y) || S[I++] != '-' || !ReadDigits(S, I, 2, Mo) || S[I++] != '-' ||
        !ReadDigits(S, I, 2, D) || Mo < 1 || Mo > 12 || D < 1 || D > 31)
      return false;
    Days =
        DaysFromCivil(Y, static_cast<unsigned>(Mo), static_cast<unsigned>(D)) - EpochDays(Date1904);
    HasDate = true;
    if (I < S.size() && (S[I] == 'T' || S[I] == ' ')) ++I;
  }
  double Fraction = 0;
  if (I < S.size() && S[I] != 'Z' && S[I] != '+' && S[I] != '-') {
    int H = 0, Mi = 0, Sec = 0;
    if (!ReadDigits(S, I, 2, H) || I >= S.size() || S[I++] != ':' || !ReadDigits(S, I, 2, Mi))
      return false;
    double Frac = 0;
    if (I < S.size() && S[I] == ':') {
      ++I;
      if (!ReadDigits(S, I, 2, Sec)) return false;
      if (I < S.size() && S[I] == '.') {
        double Scale = 0.1;
        for (++I; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I, Scale /= 10)
          Frac += (S[I] - '0') * Scale;
      }
    }
    if (H > 24 || Mi > 59 || Sec > 60) return false;
    Fraction = (H * 3600.0 + Mi * 60.0 + Sec + Frac) / 86400.0;
  } else if (!HasDate) {
    return false;
  }
  // A time zone designator is accepted and ignored: cells show local times.
  if (I < S.size() && !(S[I] == 'Z' || S[I] == '+' || S[I] == '-')) return false;
  Serial = static_cast<double>(Days) + Fraction;
  return true;
}

bool IsBuiltInDateFormat(int32_t Id) {
  return (Id >= 14 && Id <= 22) || (Id >= 27 && Id <= 36) || (Id >= 45 && Id <= 47) ||
         (Id >= 50 && Id <= 58);
}

// ---- streaming ---------------------------------------------------------------

// The bytes of a part as UTF-8 with every malformed sequence replaced by
// U+FFFD, so no consumer of a cell text or a name ever sees a stray byte.
// ASCII pieces pass straight through.
class TUtf8Source : public TXmlSource {
 public:
  explicit TUtf8Source(TXmlSource& Inner) : FInner(Inner) {}

  size_t Read(char* Buffer, size_t Max) override {
    while (FOutAt == FOut.size()) {
      FOut.clear();
      FOutAt = 0;
      if (FEof) return 0;
      if (FHeld.empty()) {
        const size_t N = FInner.Read(Buffer, Max);
        if (N == 0) return 0;
        if (IsAscii(std::string_view(Buffer, N))) return N;
        FHeld.assign(Buffer, N);
      } else {
        char Chunk[4096];
        const size_t N = FInner.Read(Chunk, sizeof Chunk);
        if (N == 0) {
          FEof = true;
          AppendRepairedUtf8(FOut, FHeld);
          FHeld.clear();
          continue;
        }
        FHeld.append(Chunk, N);
      }
      const size_t Done = CompleteUtf8Prefix(FHeld);
      AppendRepairedUtf8(FOut, std::string_view(FHeld).substr(0, Done));
      FHeld.erase(0, Done);
    }
    const size_t N = std::min(Max, FOut.size() - FOutAt);
    std::memcpy(Buffer, FOut.data() + FOutAt, N);
    FOutAt += N;
    return N;
  }

 private:
  TXmlSource& FInner;
  std::string FHeld;  // bytes read but not yet repaired: a sequence cut by the read
  std::string FOut;
  size_t FOutAt = 0;
  bool FEof = false;
};

// Collects the text of the element the reader is in, up to its end, joining
// the texts of "t" children and of the first "t" of each "r" child; other
// children (phonetic runs, properties) contribute nothing. Requires: the
// reader is at the StartElement of the string item.
std::string ReadStringItem(TXmlPullReader& X) {
  using TEvent = TXmlPullReader::TEvent;
  const int D = X.Depth();
  std::string Text;
  bool Collect = false, InRun = false, RunHadT = false;
  for (;;) {
    const TEvent E = X.Next();
    if (E == TEvent::EndOfDocument) return Text;
    const int Depth = X.Depth();
    if (E == TEvent::StartElement) {
      if (Depth == D + 1) {
        Collect = IsLocal(X.Name(), "t");
        InRun = IsLocal(X.Name(), "r");
        RunHadT = false;
      } else if (Depth == D + 2 && InRun && !RunHadT && IsLocal(X.Name(), "t")) {
        Collect = RunHadT = true;
      }
    } else if (E == TEvent::EndElement) {
      if (Depth == D) return Text;
      if (Depth == D + 1) Collect = InRun = false;
      if (Depth == D + 2 && InRun) Collect = false;
    } else if (Collect && (Depth == D + 1 || Depth == D + 2)) {
      Text += X.Text();
    }
  }
}

}  // namespace

// ---- module helpers ---------------------------------------------------------

std::string_view StripUtf8Bom(std::string_view Bytes) {
  if (Bytes.size() > 2 && Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) Bytes.remove_prefix(3);
  return Bytes;
}

void ParseXmlPart(pugi::xml_document& Doc, std::string_view Text, std::string_view PartName) {
  // No doctype processing: pugixml expands only the predefined entities and
  // character references, so nothing in a DTD can amplify the text.
  const unsigned Options = (pugi::parse_default | pugi::parse_ws_pcdata_single) &
                           ~static_cast<unsigned>(pugi::parse_doctype);
  pugi::xml_parse_result R =
      Doc.load_buffer(Text.data(), Text.size(), Options, pugi::encoding_utf8);
  if (!R)
    throw TKvError("Could not read " + std::string(PartName) + ": " + R.description() +
                   " at offset " + std::to_string(R.offset) + ".");
}

size_t TXlsxWorkbook::TImpl::FindEntry(std::string_view ExactName) const {
  auto It = FEntryByName.find(std::string(ExactName));
  return It == FEntryByName.end() ? npos : It->second;
}

size_t TXlsxWorkbook::TImpl::FindPart(std::string_view PartName) const {
  std::string Wanted = NormalisePartName(PartName);
  if (!Wanted.empty() && Wanted[0] == '/') Wanted.erase(0, 1);
  if (!FEntryByPart.empty()) {
    auto It = FEntryByPart.find(AsciiLower(Wanted));
    return It == FEntryByPart.end() ? npos : It->second;
  }
  for (size_t I = 0; I < FOriginalEntries.size(); ++I) {
    std::string Name = NormalisePartName(FOriginalEntries[I].Name);
    if (!Name.empty() && Name[0] == '/') Name.erase(0, 1);
    if (SameTextAscii(Name, Wanted)) return I;
  }
  return npos;
}

std::string TXlsxWorkbook::TImpl::EntryBytes(size_t Index) const {
  const TEntry& E = FOriginalEntries[Index];
  if (E.Replaced) return *E.Replaced;
  return FZip->ReadEntry(E.ZipIndex);
}

void TXlsxWorkbook::TImpl::ReplaceEntryBytes(size_t Index, std::string Bytes) {
  TEntry& E = FOriginalEntries[Index];
  E.Replaced = std::move(Bytes);
  E.ZipIndex = npos;
}

const TZipEntry* TXlsxWorkbook::TImpl::SourceEntry(size_t Index) const {
  const TEntry& E = FOriginalEntries[Index];
  return E.ZipIndex == npos || !FZip ? nullptr : &FZip->Entry(E.ZipIndex);
}

TSheetCells& TXlsxWorkbook::TImpl::EditableCells(size_t Index, TXlsxSheet& Sheet) {
  if (FCells.size() <= Index) FCells.resize(Index + 1);
  if (!FCells[Index]) {
    if (!FTexts) FTexts = std::make_shared<TTextPool>();
    FCells[Index] = std::make_shared<TSheetCells>(FTexts, FFormats);
    Sheet.Data = FCells[Index];
  }
  return *FCells[Index];
}

// ---- the loader ---------------------------------------------------------------

// Fills one load's state; the workbook takes it over only when every step
// succeeded, so a failed load leaves the previous sheets in place.
class TSheetLoader {
 public:
  explicit TSheetLoader(TXlsxWorkbook::TImpl& Impl) : FImpl(Impl) {}

  void ReadPackage(std::string Bytes) {
    if (Bytes.size() >= 4 && Bytes.compare(0, 4, "\xD0\xCF\x11\xE0") == 0)
      throw TKvError(
          "This file is an encrypted (password-protected) workbook or an old binary .xls file, "
          "which this viewer cannot open.");
    FImpl.FZip = std::make_shared<TZipReader>(std::move(Bytes));
    const TZipReader& Zip = *FImpl.FZip;
    for (size_t I = 0; I < Zip.EntryCount(); ++I) {
      // Folder entries are kept too, so that a save writes them back.
      const TZipEntry& E = Zip.Entry(I);
      auto It = FImpl.FEntryByName.find(E.Name);
      if (It != FImpl.FEntryByName.end()) {
        FImpl.FOriginalEntries[It->second].ZipIndex = I;
      } else {
        FImpl.FEntryByName[E.Name] = FImpl.FOriginalEntries.size();
        FImpl.FOriginalEntries.push_back({E.Name, I, std::nullopt});
      }
    }
    // One look-up per part, however many sheets the workbook lists.
    for (size_t I = 0; I < FImpl.FOriginalEntries.size(); ++I) {
      std::string Key = AsciiLower(NormalisePartName(FImpl.FOriginalEntries[I].Name));
      if (!Key.empty() && Key[0] == '/') Key.erase(0, 1);
      FImpl.FEntryByPart.emplace(std::move(Key), I);
    }
    FImpl.FTexts = std::make_shared<TTextPool>();
  }

  // The text of a part, or false when the package has none.
  bool ReadPart(const std::string& Part, std::string& Text) {
    size_t I = FImpl.FindPart(Part);
    if (I == TXlsxWorkbook::TImpl::npos) return false;
    Text = RepairUtf8(StripUtf8Bom(FImpl.EntryBytes(I)));
    return true;
  }

  bool ParsePart(const std::string& Part, pugi::xml_document& Doc) {
    std::string Text;
    if (!ReadPart(Part, Text)) return false;
    ParseXmlPart(Doc, Text, Part);
    return true;
  }

  // Target of the package's officeDocument relationship, else the usual name.
  std::string LocateWorkbookPart() {
    pugi::xml_document Rels;
    if (ParsePart("_rels/.rels", Rels)) {
      for (pugi::xml_node R = Rels.document_element().first_child(); R; R = R.next_sibling()) {
        if (R.type() != pugi::node_element || !IsLocal(R.name(), "Relationship")) continue;
        std::string Type = ReadAttribute(R, "Type", "");
        if (EndsWithAscii(Type, "/officeDocument")) {
          std::string Target = ResolveTarget("", ReadAttribute(R, "Target", ""));
          if (FImpl.FindPart(Target) != TXlsxWorkbook::TImpl::npos) return Target;
        }
      }
    }
    return "xl/workbook.xml";
  }

  void LoadRelationships(const std::string& WorkbookPart) {
    pugi::xml_document Rels;
    if (!ParsePart(RelationshipsPartOf(WorkbookPart), Rels)) return;
    const std::string Folder = FolderOf(WorkbookPart);
    for (pugi::xml_node R = Rels.document_element().first_child(); R; R = R.next_sibling()) {
      if (R.type() != pugi::node_element || !IsLocal(R.name(), "Relationship")) continue;
      std::string Id = ReadAttribute(R, "Id", "");
      std::string Target = ReadAttribute(R, "Target", "");
      if (Id.empty() || Target.empty()) continue;
      std::string Key = AsciiUpper(Id);
      if (!FRelationships.count(Key)) FRelationships[Key] = ResolveTarget(Folder, Target);
    }
  }

  void LoadSharedStrings(const std::string& WorkbookPart) {
    std::string Part = FolderOf(WorkbookPart) + "sharedStrings.xml";
    for (const auto& [Id, Target] : FRelationships)
      if (EndsWithAscii(Target, "/sharedStrings.xml") || SameTextAscii(Target, "sharedStrings.xml"))
        Part = Target;
    size_t I = FImpl.FindPart(Part);
    if (I == TXlsxWorkbook::TImpl::npos) return;
    TZipEntrySource Bytes(*FImpl.FZip, FImpl.FOriginalEntries[I].ZipIndex);
    TUtf8Source Source(Bytes);
    TXmlPullReader X(Source, Part);
    for (;;) {
      TXmlPullReader::TEvent E = X.Next();
      if (E == TXmlPullReader::TEvent::EndOfDocument) break;
      if (E == TXmlPullReader::TEvent::StartElement && X.Depth() == 2)
        FImpl.FSharedStrings.push_back(FImpl.FTexts->Add(DecodeCharEscapes(ReadStringItem(X))));
    }
  }

  void LoadStyles(const std::string& WorkbookPart) {
    std::string Part = FolderOf(WorkbookPart) + "styles.xml";
    for (const auto& [Id, Target] : FRelationships)
      if (EndsWithAscii(Target, "/styles.xml") || SameTextAscii(Target, "styles.xml"))
        Part = Target;
    pugi::xml_document Doc;
    if (!ParsePart(Part, Doc)) return;
    pugi::xml_node Root = Doc.document_element();
    std::map<int32_t, bool> Custom;
    std::map<int32_t, std::string> Codes;
    for (pugi::xml_node F = ChildByLocalName(Root, "numFmts").first_child(); F;
         F = F.next_sibling()) {
      if (F.type() != pugi::node_element) continue;
      int32_t Id = ParseInt32Or(ReadAttribute(F, "numFmtId", ""), -1);
      if (Id >= 0) Custom[Id] = IsDateFormatCode(ReadAttribute(F, "formatCode", ""));
      if (Id >= 0) Codes[Id] = ReadAttribute(F, "formatCode", "");
    }
    std::map<int32_t, TNumberFormat> Parsed;  // each code once, whatever its styles
    for (pugi::xml_node X = ChildByLocalName(Root, "cellXfs").first_child(); X;
         X = X.next_sibling()) {
      if (X.type() != pugi::node_element) continue;
      int32_t Id = ParseInt32Or(ReadAttribute(X, "numFmtId", ""), 0);
      // A format the part declares decides, whatever its id: some writers
      // number their own formats below 164 (gnumeric starts at 100).
      auto It = Custom.find(Id);
      const bool IsDate = It != Custom.end() ? It->second : IsBuiltInDateFormat(Id);
      FImpl.FDateStyles.push_back(IsDate);
      auto Code = Codes.find(Id);
      FImpl.FStyleCodes.emplace_back(Code != Codes.end() ? std::string_view(Code->second)
                                                         : BuiltInFormatCode(Id));
      const std::string Locked =
          AsciiLower(Trim(ReadAttribute(ChildByLocalName(X, "protection"), "locked", "1")));
      FImpl.FStyleUnlocked.push_back(Locked == "0" || Locked == "false");
      if (FImpl.FFormats) {
        auto P = Parsed.find(Id);
        if (P == Parsed.end()) {
          auto C = Codes.find(Id);
          P = Parsed
                  .emplace(Id, TNumberFormat(C != Codes.end() ? std::string_view(C->second)
                                                              : BuiltInFormatCode(Id)))
                  .first;
        }
        FImpl.FFormats->ByStyle.push_back(P->second);
      }
    }
  }

  bool IsDateStyle(int32_t S) const {
    return S >= 0 && static_cast<size_t>(S) < FImpl.FDateStyles.size() &&
           FImpl.FDateStyles[static_cast<size_t>(S)];
  }

  std::string ResolveSheetPart(const std::string& RelationshipId) const {
    auto It = FRelationships.find(AsciiUpper(RelationshipId));
    return It == FRelationships.end() ? std::string() : It->second;
  }

  std::vector<TXlsxSheet> LoadSheets(const std::string& WorkbookPart) {
    std::string Text;
    if (!ReadPart(WorkbookPart, Text))
      throw TKvError("This does not look like a valid .xlsx workbook (xl/workbook.xml missing).");
    pugi::xml_document Doc;
    try {
      ParseXmlPart(Doc, Text, WorkbookPart);
    } catch (const TKvError&) {
      // A part with no element at all is unparsable rather than malformed.
      pugi::xml_document Probe;
      if (Probe.load_buffer(Text.data(), Text.size()).status == pugi::status_no_document_element)
        throw TKvError("Could not parse xl/workbook.xml.");
      throw;
    }
    pugi::xml_node Root = Doc.document_element();
    if (!Root) throw TKvError("Could not parse xl/workbook.xml.");
    pugi::xml_node Pr = ChildByLocalName(Root, "workbookPr");
    std::string Date1904 = AsciiLower(Trim(ReadAttribute(Pr, "date1904", "")));
    FImpl.FDate1904 = Date1904 == "1" || Date1904 == "true";
    pugi::xml_node SheetsNode = ChildByLocalName(Root, "sheets");
    if (!SheetsNode) throw TKvError("Workbook contains no worksheets.");
    std::vector<TXlsxSheet> Sheets, Hidden;
    int P = 0;
    for (pugi::xml_node S = SheetsNode.first_child(); S; S = S.next_sibling()) {
      if (S.type() != pugi::node_element) continue;
      ++P;
      std::string State = ReadAttribute(S, "state", "visible");
      const bool IsHidden = SameTextAscii(State, "hidden") || SameTextAscii(State, "veryHidden");
      std::string Name = ReadAttribute(S, "name", "Sheet" + std::to_string(P));
      std::string Part = ResolveSheetPart(SheetRelationshipId(S));
      if (Part.empty()) continue;
      TXlsxSheet Sheet;
      Sheet.Name = Name;
      size_t Index = FImpl.FindPart(Part);
      Sheet.PartName =
          Index == TXlsxWorkbook::TImpl::npos ? Part : FImpl.FOriginalEntries[Index].Name;
      (IsHidden ? Hidden : Sheets).push_back(std::move(Sheet));
    }
    if (Sheets.empty()) throw TKvError("No visible worksheets were found in this workbook.");
    // Hidden sheets follow the shown ones: formulas read them, viewers do not list them.
    FImpl.FShownSheets = Sheets.size();
    for (TXlsxSheet& H : Hidden) Sheets.push_back(std::move(H));
    FImpl.FSheetStates.assign(Sheets.size(), {});
    FImpl.FCells.assign(Sheets.size(), nullptr);
    return Sheets;
  }

  // Fills Sheet's cells from its part, once. A sheet whose part is missing has none.
  void ReadSheetCells(size_t SheetIndex, TXlsxSheet& Sheet) {
    FSheetIndex = SheetIndex;
    size_t Index = FImpl.FindPart(Sheet.PartName);
    if (Index == TXlsxWorkbook::TImpl::npos) return;
    const TXlsxWorkbook::TImpl::TEntry& Entry = FImpl.FOriginalEntries[Index];
    if (Entry.ZipIndex == TXlsxWorkbook::TImpl::npos) {
      TXmlMemorySource Bytes(StripUtf8Bom(Entry.Replaced ? *Entry.Replaced : std::string_view()));
      TUtf8Source Source(Bytes);
      ReadCells(Sheet, Source, Sheet.PartName);
    } else {
      TZipEntrySource Bytes(*FImpl.FZip, Entry.ZipIndex);
      TUtf8Source Source(Bytes);
      ReadCells(Sheet, Source, Sheet.PartName);
    }
  }

 private:
  // A cell's "t", read once per cell.
  enum class TKind : uint8_t { Number, Shared, Inline, Boolean, Error, Str, Date, Other };

  static TKind KindOf(std::string_view T) {
    if (T.empty() || T == "n") return TKind::Number;
    if (T == "s" || SameTextAscii(T, "s")) return TKind::Shared;
    if (SameTextAscii(T, "inlineStr")) return TKind::Inline;
    if (SameTextAscii(T, "b")) return TKind::Boolean;
    if (SameTextAscii(T, "e")) return TKind::Error;
    if (SameTextAscii(T, "str")) return TKind::Str;
    if (SameTextAscii(T, "d")) return TKind::Date;
    return TKind::Other;
  }

  struct TCellState {
    int32_t Row = -1, Col = -1;
    bool RefUsable = false;
    TKind Kind = TKind::Number;
    int32_t Style = -1;
    bool HasValue = false, HasInline = false, HasFormula = false;
    std::string Value;    // text of the first "v"
    std::string Inline;   // joined text of the first "is"
    std::string Formula;  // text of the first "f"
    std::string FormulaType, FormulaRef;
    int32_t SharedIndex = -1;

    // Keeps the strings' room for the next cell.
    void Reset() {
      Row = Col = -1;
      RefUsable = HasValue = HasInline = HasFormula = false;
      Kind = TKind::Number;
      Style = SharedIndex = -1;
      Value.clear();
      Inline.clear();
    }
  };

  // A shared-string index: plain digits read directly, anything else the slow way.
  static int32_t SmallIndex(std::string_view V) {
    if (!V.empty() && V.size() <= 9) {
      int32_t N = 0;
      bool Digits = true;
      for (char Ch : V) {
        if (Ch < '0' || Ch > '9') {
          Digits = false;
          break;
        }
        N = N * 10 + (Ch - '0');
      }
      if (Digits) return N;
    }
    return ParseInt32Or(Trim(V), -1);
  }

  // A number cell: its text is the value as stored, or its date where the
  // style shows a date (the value then kept beside it).
  void StoreNumber(TSheetCells& Cells, const TCellState& C) {
    std::string Date;
    double Number = 0;
    if (IsDateStyle(C.Style) && TryParseNumberText(C.Value, Number) &&
        FormatSerialDate(Number, FImpl.FDate1904, Date)) {
      Cells.PutCell(C.Row, C.Col, TCellType::Number, C.Style, Date, C.Value);
      return;
    }
    Cells.PutCell(C.Row, C.Col, TCellType::Number, C.Style, C.Value);
  }

  void StoreCell(TSheetCells& Cells, const TCellState& C) {
    if (C.Kind == TKind::Inline) {
      Cells.PutCell(C.Row, C.Col, TCellType::InlineString, C.Style, DecodeCharEscapes(C.Inline));
      return;
    }
    if (!C.HasValue) {
      Cells.PutCell(C.Row, C.Col, TCellType::Empty, C.Style, {});
      return;
    }
    const std::string& V = C.Value;
    switch (C.Kind) {
      case TKind::Number:
        StoreNumber(Cells, C);
        return;
      case TKind::Shared: {
        const int32_t I = SmallIndex(V);
        const bool Known = I >= 0 && I < static_cast<int32_t>(FImpl.FSharedStrings.size());
        Cells.PutPooledCell(C.Row, C.Col, TCellType::SharedString, C.Style,
                            Known ? FImpl.FSharedStrings[static_cast<size_t>(I)] : 0);
        return;
      }
      case TKind::Boolean:
        Cells.PutCell(C.Row, C.Col, TCellType::Boolean, C.Style, V == "1" ? "TRUE" : "FALSE");
        return;
      case TKind::Error:
        Cells.PutCell(C.Row, C.Col, TCellType::Error, C.Style, V);
        return;
      case TKind::Str:
        Cells.PutCell(C.Row, C.Col, TCellType::FormulaString, C.Style, DecodeCharEscapes(V));
        return;
      case TKind::Date: {
        std::string Date;
        double Serial = 0;
        const bool Shown = ParseIsoDate(Trim(V), FImpl.FDate1904, Serial) &&
                           FormatSerialDate(Serial, FImpl.FDate1904, Date);
        Cells.PutCell(C.Row, C.Col, TCellType::IsoDate, C.Style, Shown ? Date : V, V);
        return;
      }
      default:
        // A type no writer should use: its value as text.
        Cells.PutCell(C.Row, C.Col, TCellType::InlineString, C.Style, V);
        return;
    }
  }

  // The cell's "f": its own formula, a shared group's (the text held once,
  // by the anchor that carries it) or an array formula.
  void StoreFormula(TSheetCells& Cells, const TCellState& C) {
    if (SameTextAscii(C.FormulaType, "shared") && C.SharedIndex >= 0) {
      const bool Anchor = !C.Formula.empty();
      auto It = FSharedFormulas.find(C.SharedIndex);
      if (It == FSharedFormulas.end()) {
        It = FSharedFormulas
                 .emplace(C.SharedIndex,
                          Cells.AddFormula(C.Formula, TFormulaKind::Shared, Anchor ? C.Row : -1,
                                           Anchor ? C.Col : -1, C.FormulaRef))
                 .first;
      } else if (Anchor) {
        Cells.UpdateFormula(It->second, C.Formula, C.Row, C.Col, C.FormulaRef);
      }
      Cells.SetCellFormula(C.Row, C.Col, It->second);
      return;
    }
    if (C.Formula.empty()) return;
    const bool Array = SameTextAscii(C.FormulaType, "array");
    Cells.SetCellFormula(
        C.Row, C.Col,
        Cells.AddFormula(C.Formula, Array ? TFormulaKind::Array : TFormulaKind::Normal, C.Row,
                         C.Col, Array ? C.FormulaRef : std::string()));
  }

  [[noreturn]] void RaiseOverBudget(const std::string& Sheet) const {
    const std::string Digits = std::to_string(FImpl.FCellBudget);
    std::string Budget;
    for (size_t I = 0; I < Digits.size(); ++I) {
      if (I > 0 && (Digits.size() - I) % 3 == 0) Budget += ',';
      Budget += Digits[I];
    }
    throw TKvError("The sheet \"" + Sheet +
                   "\" cannot be loaded: the workbook would hold more than " + Budget +
                   " cells, the most it can hold in memory.");
  }

  void StartCell(TCellState& Cell, const TSheetWalker& Walk, const TXmlPullReader& X) {
    Cell.Reset();
    Cell.RefUsable = Walk.CellUsable();
    Cell.Row = Walk.CellRow();
    Cell.Col = Walk.CellCol();
    std::string_view V;
    if (X.FindAttribute("t", V)) Cell.Kind = KindOf(V);
    if (X.FindAttribute("s", V)) Cell.Style = SmallIndex(V);
  }

  void StartFormula(TCellState& Cell, const TXmlPullReader& X) {
    Cell.HasFormula = true;
    Cell.Formula.clear();
    Cell.FormulaType.clear();
    Cell.FormulaRef.clear();
    std::string_view V;
    if (X.FindAttribute("t", V)) Cell.FormulaType.assign(V.data(), V.size());
    if (X.FindAttribute("ref", V)) Cell.FormulaRef.assign(V.data(), V.size());
    if (X.FindAttribute("si", V)) Cell.SharedIndex = SmallIndex(V);
  }

  // Protection, column and row styles (TImpl::TSheetFacts).
  void NoteSheetFact(const TXmlPullReader& X, const TSheetWalker& Walk, const std::string& Part) {
    TXlsxWorkbook::TImpl::TSheetFacts& F = FImpl.FSheetFacts[Part];
    std::string_view V;
    if (X.Depth() == 3 && Walk.InSheetData()) {
      std::string_view Custom;
      if (Walk.RowUsable() && X.FindAttribute("s", V) && X.FindAttribute("customFormat", Custom) &&
          (Trim(Custom) == "1" || SameTextAscii(Trim(Custom), "true")))
        F.RowStyles[Walk.RowNumber() - 1] = ParseInt32Or(Trim(V), 0);
    } else if (X.Depth() == 2 && IsLocal(X.Name(), "sheetProtection")) {
      F.Protected =
          X.FindAttribute("sheet", V) && (Trim(V) == "1" || SameTextAscii(Trim(V), "true"));
    } else if (X.Depth() == 2 && IsLocal(X.Name(), "cols")) {
      FInCols = true;
    } else if (X.Depth() == 2) {
      FInCols = false;
    }
  }

  void NoteColumn(const TXmlPullReader& X, const std::string& Part) {
    std::string_view Min, Max, Style;
    if (!X.FindAttribute("min", Min) || !X.FindAttribute("style", Style)) return;
    if (!X.FindAttribute("max", Max)) Max = Min;
    const int32_t First = ParseInt32Or(Trim(Min), 0), Last = ParseInt32Or(Trim(Max), 0);
    const int32_t S = ParseInt32Or(Trim(Style), 0);
    if (First >= 1 && Last >= First && S > 0)
      FImpl.FSheetFacts[Part].ColumnStyles.push_back({First - 1, Last - 1, S});
  }

  void ReadCells(TXlsxSheet& Sheet, TXmlSource& Source, const std::string& Part) {
    auto Cells = std::make_shared<TSheetCells>(FImpl.FTexts, FImpl.FFormats);
    FSharedFormulas.clear();
    TXmlPullReader X(Source, Part);
    using TEvent = TXmlPullReader::TEvent;
    using TStep = TSheetWalker::TStep;
    // Depths: 1 worksheet, 2 sheetData, 3 row, 4 cell, 5 v/is/f, 6 t or r, 7 t in r.
    TSheetWalker Walk;
    TCellState Cell;
    bool InCell = false;
    std::string* Into = nullptr;  // the "v" or "f" whose text is being read
    for (;;) {
      TEvent E = X.Next();
      if (E == TEvent::EndOfDocument) break;
      const TStep Step = Walk.Step(E, X);
      const int Depth = X.Depth();
      if (E == TEvent::StartElement) {
        // Only rows and the "col" elements outside the cells can hide lines.
        if (Step == TStep::RowStart || (Depth == 3 && !Walk.InSheetData()))
          NoteHiddenLine(X, Walk, Step == TStep::RowStart, Sheet.HiddenRows, Sheet.HiddenCols);
        if (Depth == 2 || Step == TStep::RowStart) NoteSheetFact(X, Walk, Part);
        if (Depth == 3 && FInCols && IsLocal(X.Name(), "col")) NoteColumn(X, Part);
        if (Step == TStep::CellStart) {
          InCell = true;
          StartCell(Cell, Walk, X);
        } else if (InCell && Depth == 5) {
          if (!Cell.HasValue && IsLocal(X.Name(), "v")) {
            Cell.HasValue = true;
            Into = &Cell.Value;
          } else if (!Cell.HasFormula && IsLocal(X.Name(), "f")) {
            StartFormula(Cell, X);
            Into = &Cell.Formula;
          } else if (!Cell.HasInline && IsLocal(X.Name(), "is")) {
            Cell.HasInline = true;
            Cell.Inline = ReadStringItem(X);  // consumes the end of "is"
          }
        }
        continue;
      }
      if (E == TEvent::Text) {
        if (Into && Depth == 5) *Into += X.Text();
        continue;
      }
      // EndElement
      if (Into && Depth == 5) Into = nullptr;
      if (Step != TStep::CellEnd || !InCell) continue;
      InCell = false;
      // Cells beyond the format's limits have no place in any reader's sheet.
      if (!Cell.RefUsable || Cell.Row < 0 || Cell.Col < 0 || Cell.Row >= TSheetCells::kMaxRows ||
          Cell.Col >= TSheetCells::kMaxCols)
        continue;
      StoreCell(*Cells, Cell);
      if (Cell.HasFormula) StoreFormula(*Cells, Cell);
      if (FImpl.FCellsHeld + Cells->CellCount() > FImpl.FCellBudget) RaiseOverBudget(Sheet.Name);
    }
    if (Walk.SeenSheetData()) FImpl.FPartsWithSheetData.insert(Part);
    if (Cells->CellCount() == 0) return;
    Cells->Compact();
    FImpl.FCellsHeld += Cells->CellCount();
    if (FImpl.FCells.size() <= FSheetIndex) FImpl.FCells.resize(FSheetIndex + 1);
    FImpl.FCells[FSheetIndex] = Cells;
    Sheet.Data = std::move(Cells);
  }

  TXlsxWorkbook::TImpl& FImpl;
  std::map<std::string, std::string> FRelationships;  // upper-cased id -> part
  size_t FSheetIndex = 0;
  std::unordered_map<int32_t, uint32_t> FSharedFormulas;  // "si" -> formula of the sheet
  bool FInCols = false;
};

TXlsxWorkbook::TXlsxWorkbook() : FImpl(std::make_unique<TImpl>()) {}

TXlsxWorkbook::~TXlsxWorkbook() = default;

void TXlsxWorkbook::LoadFromFile(const std::string& FileName) {
  if (!FileExists(FileName)) throw TKvError("File not found: " + FileName);
  std::string Bytes = ReadWholeFile(FileName, TShareMode::DenyWrite);
  const int64_t Size = static_cast<int64_t>(Bytes.size());
  const uint64_t Hash = HashBytes(Bytes);
  LoadFromBytes(std::move(Bytes), FileName);
  FImpl->FLoadedFrom = FileName;
  FImpl->FLoadedSize = Size;
  FImpl->FLoadedHash = Hash;
}

void TXlsxWorkbook::LoadFromBytes(std::string Bytes, const std::string& FileName) {
  auto Impl = std::make_unique<TImpl>();
  Impl->FCellBudget = FImpl->FCellBudget;
  TSheetLoader Loader(*Impl);
  Loader.ReadPackage(std::move(Bytes));
  const std::string WorkbookPart = Loader.LocateWorkbookPart();
  Impl->FWorkbookPart = WorkbookPart;
  Loader.LoadRelationships(WorkbookPart);
  Loader.LoadSharedStrings(WorkbookPart);
  Impl->FFormats = std::make_shared<TCellFormats>();
  Loader.LoadStyles(WorkbookPart);
  std::vector<TXlsxSheet> Sheets = Loader.LoadSheets(WorkbookPart);
  Impl->FFormats->Date1904 = Impl->FDate1904;
  // The first sheet is what a viewer shows: its errors are the load's.
  Loader.ReadSheetCells(0, Sheets[0]);
  Impl->FSheetStates[0].Read = true;
  FImpl = std::move(Impl);
  FSheets = std::move(Sheets);
  FShownCount = static_cast<int>(FImpl->FShownSheets);
  FFileName = FileName;
}

size_t TXlsxWorkbook::CellBudget() const {
  return FImpl->FCellBudget;
}

void TXlsxWorkbook::SetCellBudget(size_t Cells) {
  FImpl->FCellBudget = Cells;
}

const TXlsxSheet& TXlsxWorkbook::Sheet(int Index) const {
  TXlsxSheet& S = FSheets[static_cast<size_t>(Index)];
  TImpl::TSheetState& State = FImpl->FSheetStates[static_cast<size_t>(Index)];
  if (State.Read) return S;
  if (!State.Error.empty()) throw TKvError(State.Error);
  FImpl->FZip->StartOperation();  // reading a sheet later is an operation of its own
  try {
    TSheetLoader(*FImpl).ReadSheetCells(static_cast<size_t>(Index), S);
  } catch (const TKvError& E) {
    State.Error = ErrorMessage(E);
    S.Data.reset();
    FImpl->FCells[static_cast<size_t>(Index)].reset();
    throw;
  }
  State.Read = true;
  return S;
}

}  // namespace kv
