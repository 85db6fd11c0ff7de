#include "workbook/SheetSplice.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "base/Text.h"
#include "workbook/CharEscapes.h"
#include "xml/XmlEscape.h"
#include "workbook/SheetWalk.h"
#include "workbook/CellNotation.h"
#include "workbook/FormulaShift.h"
#include "workbook/SheetCells.h"

namespace kv {

namespace {

void AppendFormat(std::string& Out, const char* Format, unsigned V) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, Format, V);
  Out += Buf;
}

// Text as XML character data: what XML cannot hold becomes U+FFFD. Cell text
// first gets the "_xHHHH_" escapes loading decodes, so nothing is lost.
std::string EscapeText(std::string_view Text, bool AsciiOnly, bool CellText) {
  const std::string Escaped = CellText ? EncodeCharEscapes(Text, false) : std::string();
  const std::string_view S = CellText ? std::string_view(Escaped) : Text;
  std::string Out;
  Out.reserve(S.size() + 8);
  for (size_t I = 0; I < S.size();) {
    const char32_t Cp = NextCodePoint(S, I, true);
    if (Cp == '<' || Cp == '>' || Cp == '&')
      Out += XmlEntityFor(static_cast<char>(Cp));
    else if (Cp == '\r')
      Out += "&#13;";  // a raw CR reads back as LF
    else if ((Cp < 0x20 && Cp != '\t' && Cp != '\n') || Cp == 0xFFFE || Cp == 0xFFFF ||
             (Cp >= 0xD800 && Cp <= 0xDFFF))
      Out += AsciiOnly ? std::string("&#65533;") : CodePointToUtf8(0xFFFD);
    else if (Cp < 0x80)
      Out += static_cast<char>(Cp);
    else if (AsciiOnly)
      AppendFormat(Out, "&#%u;", unsigned(Cp));
    else
      Out += CodePointToUtf8(Cp);
  }
  return Out;
}

bool NeedsPreservedSpace(std::string_view Text) {
  auto IsSpace = [](char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; };
  if (Text.empty()) return false;
  if (IsSpace(Text.front()) || IsSpace(Text.back())) return true;
  return Text.find_first_of("\t\n\r") != std::string_view::npos;
}

std::string_view PrefixOf(std::string_view Name) {
  const size_t Colon = Name.find(':');
  return Colon == std::string_view::npos ? std::string_view() : Name.substr(0, Colon + 1);
}

std::string CellRef(int32_t Row, int32_t Col) {
  return ColumnIndexToLetters(Col) + std::to_string(int64_t{Row} + 1);
}

bool IsTagSpace(char C) {
  return C == ' ' || C == '\t' || C == '\n' || C == '\r';
}

// A start tag as written, with the attributes in Set given new values (added
// at the end when missing) and those in Drop left out; Open turns "<a/>" into
// "<a>". Everything else keeps its bytes. Values set are plain ASCII.
std::string RewriteTag(std::string_view Raw,
                       std::initializer_list<std::pair<std::string_view, std::string>> Set,
                       std::initializer_list<std::string_view> Drop, bool Open) {
  std::string Out;
  size_t I = 1;
  while (I < Raw.size() && !IsTagSpace(Raw[I]) && Raw[I] != '/' && Raw[I] != '>') ++I;
  Out.append(Raw.substr(0, I));
  std::vector<bool> Done(Set.size());
  for (;;) {
    size_t K = I;
    while (K < Raw.size() && IsTagSpace(Raw[K])) ++K;
    if (K >= Raw.size() || Raw[K] == '/' || Raw[K] == '>') break;
    const size_t NameStart = K;
    while (K < Raw.size() && Raw[K] != '=' && !IsTagSpace(Raw[K])) ++K;
    const std::string_view Name = Raw.substr(NameStart, K - NameStart);
    while (K < Raw.size() && Raw[K] != '"' && Raw[K] != '\'') ++K;
    const char Quote = K < Raw.size() ? Raw[K] : '"';
    const size_t Close = Raw.find(Quote, K + 1);
    const size_t End = Close == std::string_view::npos ? Raw.size() : Close + 1;
    bool Kept = std::find(Drop.begin(), Drop.end(), Name) == Drop.end();
    size_t N = 0;
    for (const auto& [SetName, Value] : Set) {
      if (SetName == Name && !Done[N]) {
        Out.append(Raw.substr(I, NameStart - I));
        Out.append(Name);
        Out += "=\"" + Value + "\"";
        Done[N] = true;
        Kept = false;
        break;
      }
      ++N;
    }
    if (Kept) Out.append(Raw.substr(I, End - I));
    I = End;
  }
  size_t N = 0;
  for (const auto& [SetName, Value] : Set)
    if (!Done[N++]) Out += " " + std::string(SetName) + "=\"" + Value + "\"";
  std::string_view Tail = Raw.substr(I);
  if (Open) {
    const size_t Slash = Tail.rfind('/');
    if (Slash != std::string_view::npos) {
      Out.append(Tail.substr(0, Slash));
      Out += '>';
      return Out;
    }
  }
  Out.append(Tail);
  return Out;
}

class TNullSink : public TXmlSink {
 public:
  void Write(std::string_view) override {}
};

// Gathers small writes into pieces before they go to the real sink.
class TPieceSink : public TXmlSink {
 public:
  explicit TPieceSink(TXmlSink& Out) : FOut(Out) { FBuf.reserve(kPiece); }
  ~TPieceSink() override = default;
  void Write(std::string_view Bytes) override {
    if (FBuf.size() + Bytes.size() > kPiece) Flush();
    if (Bytes.size() >= kPiece)
      FOut.Write(Bytes);
    else
      FBuf.append(Bytes);
  }
  void Flush() {
    if (!FBuf.empty()) FOut.Write(FBuf);
    FBuf.clear();
  }

 private:
  static constexpr size_t kPiece = size_t{256} << 10;
  TXmlSink& FOut;
  std::string FBuf;
};

class TSplicer {
 public:
  TSplicer(TXmlSource& Source, const std::string& PartName, const TCellEdits& Edits,
           bool MayAddSheetData, TXmlSink& Out, const TSheetCells* Recomputed)
      : FX(Source, PartName), FOut(Out), FMayAddSheetData(MayAddSheetData) {
    FEdits.reserve(Edits.size());
    for (const auto& [Place, Edit] : Edits)
      FEdits.push_back({Place.first, Place.second, &Edit, Edit.NewStyle});
    if (!FEdits.empty()) {
      FMinRow = FEdits.front().Row;
      FMaxRow = FEdits.back().Row;
      FMinCol = FMaxCol = FEdits.front().Col;
      for (const TEdit& E : FEdits) {
        FMinCol = std::min(FMinCol, E.Col);
        FMaxCol = std::max(FMaxCol, E.Col);
      }
    }
    int32_t R1, C1, R2, C2;
    if (Recomputed && Recomputed->RecomputedBounds(R1, C1, R2, C2)) {
      FRecomputed = Recomputed;
      if (FEdits.empty()) {
        FMinRow = R1, FMinCol = C1, FMaxRow = R2, FMaxCol = C2;
      } else {
        FMinRow = std::min(FMinRow, R1), FMinCol = std::min(FMinCol, C1);
        FMaxRow = std::max(FMaxRow, R2), FMaxCol = std::max(FMaxCol, C2);
      }
    }
    FChanges = !FEdits.empty() || FRecomputed;
    FX.SetRawSink(&FOut);
  }

  TSpliceResult Run() {
    using TEvent = TXmlPullReader::TEvent;
    for (;;) {
      const TEvent E = FX.Next();
      if (E == TEvent::EndOfDocument) break;
      const TSheetWalker::TStep Step = FWalk.Step(E, FX);
      if (FSkipDepth > 0) {
        Skip(E);
        continue;
      }
      if (FCopyDepth > 0) {
        if (E == TEvent::EndElement && FX.Depth() == FCopyDepth) {
          FX.CopyRaw(FX.EventEnd());
          FCopyDepth = 0;
        }
        continue;
      }
      if (FInEdited) {
        EditedCellEvent(E, Step);
        continue;
      }
      if (E == TEvent::StartElement && FX.Depth() == 1) ReadDeclaredEncoding();
      if (FHeldTagEnd > 0 && !(E == TEvent::StartElement && FX.Depth() == 5)) FHeldTagEnd = 0;
      if (FHeldTagEnd == 0) FX.CopyRaw(FX.EventStart());
      if (E == TEvent::StartElement)
        StartElement(Step);
      else if (E == TEvent::EndElement)
        EndElement(Step);
    }
    FX.CopyRaw(FX.ReadOffset());
    return FResult;
  }

 private:
  struct TEdit {
    int32_t Row, Col;
    const TCellEdit* Edit;
    int32_t NewStyle;
    bool Placed = false;
  };

  struct TGroup {
    std::string Text;
    int32_t Row, Col;
  };

  void Emit(std::string_view Bytes) { FOut.Write(Bytes); }

  // The content an edit writes: a new formula's "f" first, then the value.
  // An edit that keeps the formula writes the value only: the cell's own "f"
  // is copied before it.
  std::string EditContent(const TCellEdit& E, std::string_view Prefix, std::string& Type) const {
    std::string Value = CellValueMarkup(E.Value, Prefix, FAsciiOnly, Type);
    if (E.FormulaEdit != TFormulaEdit::Set) return Value;
    const std::string F = std::string(Prefix) + "f";
    return "<" + F + ">" + EscapeText(E.Formula, FAsciiOnly, false) + "</" + F + ">" + Value;
  }

  // The first edit at or after (Row, Col).
  size_t LowerBound(int32_t Row, int32_t Col) const {
    return static_cast<size_t>(
        std::lower_bound(FEdits.begin(), FEdits.end(), std::make_pair(Row, Col),
                         [](const TEdit& E, const std::pair<int32_t, int32_t>& P) {
                           return std::make_pair(E.Row, E.Col) < P;
                         }) -
        FEdits.begin());
  }

  TEdit* FindEdit(int32_t Row, int32_t Col) {
    const size_t I = LowerBound(Row, Col);
    return I < FEdits.size() && FEdits[I].Row == Row && FEdits[I].Col == Col ? &FEdits[I] : nullptr;
  }

  std::string NewCell(TEdit& E, std::string_view Prefix) {
    E.Placed = true;
    std::string Type;
    const std::string Content = EditContent(*E.Edit, Prefix, Type);
    std::string Name = std::string(Prefix) + "c";
    const std::string Style = E.NewStyle > 0 ? " s=\"" + std::to_string(E.NewStyle) + "\"" : "";
    return "<" + Name + " r=\"" + CellRef(E.Row, E.Col) + "\"" + Style + " t=\"" + Type + "\">" +
           Content + "</" + Name + ">";
  }

  // New cells for the unplaced edits [From, To), all in one row.
  void EmitNewCells(size_t From, size_t To, std::string_view Prefix) {
    for (size_t I = From; I < To; ++I)
      if (!FEdits[I].Placed) Emit(NewCell(FEdits[I], Prefix));
  }

  // New rows for every unplaced edit before row index Before.
  void EmitNewRows(int32_t Before) {
    while (FFirstUnplaced < FEdits.size() &&
           (FEdits[FFirstUnplaced].Placed || FEdits[FFirstUnplaced].Row < Before)) {
      if (FEdits[FFirstUnplaced].Placed) {
        ++FFirstUnplaced;
        continue;
      }
      const int32_t Row = FEdits[FFirstUnplaced].Row;
      const std::string Name = FRowsPrefix + "row";
      Emit("<" + Name + " r=\"" + std::to_string(int64_t{Row} + 1) + "\">");
      for (; FFirstUnplaced < FEdits.size() && FEdits[FFirstUnplaced].Row == Row; ++FFirstUnplaced)
        if (!FEdits[FFirstUnplaced].Placed) Emit(NewCell(FEdits[FFirstUnplaced], FRowsPrefix));
      Emit("</" + Name + ">");
    }
  }

  void EmitSheetData(std::string_view Prefix) {
    FSheetDataWritten = true;
    // A part that holds one further on must not get a first one here: loading
    // would read the new one only.
    if (!FMayAddSheetData) return;
    const std::string Name = std::string(Prefix) + "sheetData";
    FRowsPrefix = std::string(Prefix);
    Emit("<" + Name + ">");
    EmitNewRows(INT32_MAX);
    Emit("</" + Name + ">");
  }

  bool UnplacedInRow(size_t From, size_t To) const {
    for (size_t I = From; I < To; ++I)
      if (!FEdits[I].Placed) return true;
    return false;
  }

  static bool PrecedesSheetData(std::string_view Local) {
    for (const char* N : {"sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols"})
      if (SameTextAscii(Local, N)) return true;
    return false;
  }

  void ReadDeclaredEncoding() {
    const std::string_view Prolog = FX.RawSpan(FX.RawMark(), FX.EventStart());
    const size_t Decl = Prolog.find("<?xml");
    if (Decl == std::string_view::npos) return;
    const size_t End = Prolog.find("?>", Decl);
    const std::string_view D =
        Prolog.substr(Decl, End == std::string_view::npos ? End : End - Decl);
    const size_t At = D.find("encoding");
    if (At == std::string_view::npos) return;
    const size_t Q = D.find_first_of("\"'", At);
    if (Q == std::string_view::npos) return;
    const size_t Q2 = D.find(D[Q], Q + 1);
    const std::string_view Name = D.substr(Q + 1, Q2 == std::string_view::npos ? Q2 : Q2 - Q - 1);
    FAsciiOnly = !SameTextAscii(Trim(Name), "UTF-8") && !SameTextAscii(Trim(Name), "UTF8");
  }

  std::string_view RawTag() const { return FX.RawSpan(FX.EventStart(), FX.EventEnd()); }

  void StartElement(TSheetWalker::TStep Step) {
    using TStep = TSheetWalker::TStep;
    const int Depth = FX.Depth();
    if (Depth == 1) {
      FIsWorksheet = SameTextAscii(FX.LocalName(), "worksheet");
      FRootName = std::string(FX.Name());
      if (FX.EmptyElement() && FIsWorksheet && FChanges) {
        Emit(RewriteTag(RawTag(), {}, {}, true));
        FX.SkipRaw(FX.EventEnd());
        EmitSheetData(PrefixOf(FX.Name()));
        Emit("</" + FRootName + ">");
      }
      return;
    }
    if (Step == TStep::SheetDataStart) {
      FRowsPrefix = std::string(PrefixOf(FX.Name()));
      if (FX.EmptyElement() && FChanges) {
        Emit(RewriteTag(RawTag(), {}, {}, true));
        FX.SkipRaw(FX.EventEnd());
        EmitNewRows(INT32_MAX);
        Emit("</" + std::string(FX.Name()) + ">");
      }
      return;
    }
    if (Depth == 2) {
      if (FIsWorksheet && !FWalk.SeenSheetData() && !FSheetDataWritten && FChanges &&
          !PrecedesSheetData(FX.LocalName()))
        EmitSheetData(PrefixOf(FRootName));
      if (SameTextAscii(FX.LocalName(), "dimension") && FChanges) WidenDimension();
      return;
    }
    if (Step == TStep::RowStart) {
      StartRow();
      return;
    }
    if (Step == TStep::CellStart) {
      StartCell();
      return;
    }
    if (Depth == 4 && FRowUsable) {
      // A row's extension list follows its cells.
      EmitNewCells(FRowFrom, FRowTo, FCellsPrefixOfRow);
      return;
    }
    if (Depth == 5 && FInPlainCell && SameTextAscii(FX.LocalName(), "f")) PlainCellFormula();
    FHeldTagEnd = 0;
  }

  void EndElement(TSheetWalker::TStep Step) {
    using TStep = TSheetWalker::TStep;
    const int Depth = FX.Depth();
    if (Depth == 1 && FIsWorksheet && !FWalk.SeenSheetData() && !FSheetDataWritten && FChanges)
      EmitSheetData(PrefixOf(FRootName));
    else if (Step == TStep::SheetDataEnd)
      EmitNewRows(INT32_MAX);
    else if (Step == TStep::RowEnd) {
      if (FRowUsable) EmitNewCells(FRowFrom, FRowTo, FCellsPrefixOfRow);
      FRowUsable = false;
    } else if (Step == TStep::CellEnd)
      FInPlainCell = false;
  }

  void WidenDimension() {
    std::string_view Ref;
    int32_t R1, C1, R2, C2;
    if (!FX.FindAttribute("ref", Ref) || !ParseRange(Ref, R1, C1, R2, C2)) return;
    const int32_t NR1 = std::min(R1, FMinRow), NC1 = std::min(C1, FMinCol);
    const int32_t NR2 = std::max(R2, FMaxRow), NC2 = std::max(C2, FMaxCol);
    if (NR1 == R1 && NC1 == C1 && NR2 == R2 && NC2 == C2) return;
    const std::string New = CellRef(NR1, NC1) + ":" + CellRef(NR2, NC2);
    Emit(RewriteTag(RawTag(), {{"ref", New}}, {}, false));
    FX.SkipRaw(FX.EventEnd());
  }

  void StartRow() {
    FRowUsable = FWalk.RowUsable();
    FCellsPrefixOfRow = std::string(PrefixOf(FX.Name()));
    if (!FRowUsable) return;
    const int32_t Row = FWalk.RowNumber() - 1;
    std::string_view R;
    if (FX.FindAttribute("r", R)) EmitNewRows(Row);  // as for cells without "r"
    FRowIndex = Row;
    FRowFrom = LowerBound(Row, 0);
    FRowTo = LowerBound(Row, INT32_MAX);
    if (FRowFrom == FRowTo) return;
    std::string Spans;
    std::string_view Old;
    if (FX.FindAttribute("spans", Old)) {
      // "1:4": first and last 1-based column; other forms are left alone.
      const size_t Colon = Old.find(':');
      const auto A = TryParseInt32(Trim(Old.substr(0, Colon)));
      const auto B = Colon == std::string_view::npos ? std::nullopt
                                                     : TryParseInt32(Trim(Old.substr(Colon + 1)));
      if (A.has_value() && B.has_value()) {
        const int32_t OldFirst = A.value(), OldLast = B.value();
        const int32_t First = std::min(OldFirst, FEdits[FRowFrom].Col + 1);
        int32_t Last = OldLast;
        for (size_t I = FRowFrom; I < FRowTo; ++I) Last = std::max(Last, FEdits[I].Col + 1);
        if (First != OldFirst || Last != OldLast)
          Spans = std::to_string(First) + ":" + std::to_string(Last);
      }
    }
    const bool Open = FX.EmptyElement() && UnplacedInRow(FRowFrom, FRowTo);
    if (Spans.empty() && !Open) return;
    if (Spans.empty())
      Emit(RewriteTag(RawTag(), {}, {}, Open));
    else
      Emit(RewriteTag(RawTag(), {{"spans", Spans}}, {}, Open));
    FX.SkipRaw(FX.EventEnd());
    if (Open) {
      EmitNewCells(FRowFrom, FRowTo, FCellsPrefixOfRow);
      Emit("</" + std::string(FX.Name()) + ">");
    }
  }

  void StartCell() {
    FInPlainCell = false;
    FHeldTagEnd = 0;
    if (!FWalk.CellUsable()) return;
    const int32_t Row = FWalk.CellRow(), Col = FWalk.CellCol();
    // Nothing goes in front of a cell without "r": its place follows the cell
    // before it, which must stay the one it was.
    if (FRowUsable && Row == FRowIndex && FWalk.CellHasRef())
      EmitNewCells(FRowFrom, LowerBound(Row, Col), FCellsPrefixOfRow);
    TEdit* Edit = FindEdit(Row, Col);
    TCellEdit Marked;
    const TCellEdit* Change = Edit ? Edit->Edit : nullptr;
    if (!Edit && FRecomputed && FRecomputed->IsRecomputed(Row, Col)) {
      Marked.FormulaEdit = TFormulaEdit::Keep;
      Marked.Value = RecomputedValue(*FRecomputed, Row, Col);
      Change = &Marked;
    }
    if (!Change) {
      FInPlainCell = true;
      std::string_view Cm;
      // The anchor of a dynamic array carries "cm": held back until its
      // formula shows whether the attribute must go with it.
      if (FX.FindAttribute("cm", Cm) && !FX.EmptyElement()) {
        FHeldTagStart = FX.EventStart();
        FHeldTagEnd = FX.EventEnd();
      }
      FCellRow = Row;
      FCellCol = Col;
      return;
    }
    if (Edit) Edit->Placed = true;
    FCellRow = Row;
    FCellCol = Col;
    FCellName = std::string(FX.Name());
    std::string Type;
    FCellContent = EditContent(*Change, PrefixOf(FCellName), Type);
    FKeepFormula = Change->FormulaEdit == TFormulaEdit::Keep;
    if (FKeepFormula)
      Emit(RewriteTag(RawTag(), {{"t", Type}}, {"vm"}, true));
    else
      Emit(RewriteTag(RawTag(), {{"t", Type}}, {"cm", "vm"}, true));
    FX.SkipRaw(FX.EventEnd());
    if (FX.EmptyElement()) {
      Emit(FCellContent + "</" + FCellName + ">");
      return;
    }
    FInEdited = true;
    FContentWritten = false;
    FFormula = {};
  }

  // An element at FX's current event is dropped with everything in it.
  void StartSkip() {
    FSkipDepth = FX.Depth();
    FX.SkipRaw(FX.EventEnd());
  }

  void Skip(TXmlPullReader::TEvent E) {
    FX.SkipRaw(FX.EventEnd());
    if (E == TXmlPullReader::TEvent::Text && FFormula.Capture) FFormula.Text += FX.Text();
    if (E == TXmlPullReader::TEvent::EndElement && FX.Depth() == FSkipDepth) {
      FSkipDepth = 0;
      FFormula.Capture = false;
    }
  }

  void EditedCellEvent(TXmlPullReader::TEvent E, TSheetWalker::TStep Step) {
    using TEvent = TXmlPullReader::TEvent;
    if (Step == TSheetWalker::TStep::CellEnd) {
      FInEdited = false;
      if (!FContentWritten) Emit(FCellContent);
      Emit("</" + FCellName + ">");
      FX.SkipRaw(FX.EventEnd());
      if (FFormula.Seen) {
        FResult.FormulaRemoved = true;
        if (SameTextAscii(FFormula.Type, "shared") && !FFormula.Group.empty() &&
            !FFormula.Text.empty())
          FGroups[FFormula.Group] = {FFormula.Text, FCellRow, FCellCol};
      }
      return;
    }
    if (E != TEvent::StartElement) {
      FX.SkipRaw(FX.EventEnd());  // white space between the cell's children
      return;
    }
    const std::string_view Local = FX.LocalName();
    if (SameTextAscii(Local, "f") && FKeepFormula && !FContentWritten) {
      // The formula stays as written, unless its shared group lost its first
      // cell; the new value follows it.
      if (const TGroup* G = MovedGroup()) {
        Emit(MovedFormula(*G));
        FFormula = {};
        StartSkip();
        return;
      }
      FX.SkipRaw(FX.EventStart());
      if (FX.EmptyElement())
        FX.CopyRaw(FX.EventEnd());
      else
        FCopyDepth = FX.Depth();
      return;
    }
    if (SameTextAscii(Local, "f") && !FFormula.Seen) {
      FFormula.Seen = FFormula.Capture = true;
      std::string_view V;
      if (FX.FindAttribute("t", V)) FFormula.Type = std::string(V);
      if (FX.FindAttribute("si", V)) FFormula.Group = std::string(Trim(V));
      StartSkip();
      return;
    }
    if (SameTextAscii(Local, "f") || SameTextAscii(Local, "v") || SameTextAscii(Local, "is")) {
      StartSkip();
      return;
    }
    // An extension list (or anything else) stays, after the new value.
    if (!FContentWritten) Emit(FCellContent);
    FContentWritten = true;
    FX.SkipRaw(FX.EventStart());
    if (FX.EmptyElement())
      FX.CopyRaw(FX.EventEnd());
    else
      FCopyDepth = FX.Depth();
  }

  bool ArrayCoversEdit(std::string_view Ref) const {
    int32_t R1, C1, R2, C2;
    if (!ParseRange(Ref, R1, C1, R2, C2)) return false;
    for (size_t I = LowerBound(R1, C1); I < FEdits.size() && FEdits[I].Row <= R2; ++I)
      if (FEdits[I].Col >= C1 && FEdits[I].Col <= C2) return true;
    return FRecomputed && FRecomputed->RecomputedIn(R1, C1, R2, C2);
  }

  // The formula of a cell that is not edited: it goes when it anchors an
  // array range holding an edit, and is written out in full when it belongs
  // to a shared group whose first cell was edited.
  void PlainCellFormula() {
    std::string_view T, Ref;
    FX.FindAttribute("t", T);
    const uint64_t HeldStart = FHeldTagStart, HeldEnd = FHeldTagEnd;
    FHeldTagEnd = 0;
    if (SameTextAscii(T, "array") && FX.FindAttribute("ref", Ref) && ArrayCoversEdit(Ref)) {
      if (HeldEnd > 0) {
        Emit(RewriteTag(FX.RawSpan(HeldStart, HeldEnd), {}, {"cm"}, false));
        FX.SkipRaw(HeldEnd);
        FX.CopyRaw(FX.EventStart());
      }
      FResult.FormulaRemoved = true;
      FFormula = {};
      StartSkip();
      return;
    }
    if (HeldEnd > 0) FX.CopyRaw(FX.EventStart());
    const TGroup* G = MovedGroup();
    if (!G) return;
    Emit(MovedFormula(*G));
    FFormula = {};
    StartSkip();
  }

  // The shared group, whose first cell was edited, that the "f" at FX's
  // current event belongs to; null for any other formula.
  const TGroup* MovedGroup() const {
    std::string_view T, Si;
    FX.FindAttribute("t", T);
    if (!SameTextAscii(T, "shared") || !FX.FindAttribute("si", Si)) return nullptr;
    auto It = FGroups.find(std::string(Trim(Si)));
    return It == FGroups.end() ? nullptr : &It->second;
  }

  // The "f" at FX's current event as the cell's own formula: the group's
  // text moved to the cell.
  std::string MovedFormula(const TGroup& G) const {
    const std::string Name(FX.Name());
    return RewriteTag(RawTag(), {}, {"t", "si", "ref"}, true) +
           EscapeText(ShiftFormulaReferences(G.Text, FCellRow - G.Row, FCellCol - G.Col),
                      FAsciiOnly, false) +
           "</" + Name + ">";
  }

  TXmlPullReader FX;
  TXmlSink& FOut;
  bool FMayAddSheetData;
  TSheetWalker FWalk;
  std::vector<TEdit> FEdits;
  const TSheetCells* FRecomputed = nullptr;  // null: no cell is marked
  bool FChanges = false;                     // some edit or marked cell
  int32_t FMinRow = 0, FMaxRow = 0, FMinCol = 0, FMaxCol = 0;
  size_t FFirstUnplaced = 0;
  bool FAsciiOnly = false;
  bool FIsWorksheet = false;
  bool FSheetDataWritten = false;
  std::string FRootName;
  std::string FRowsPrefix;  // of rows: the prefix of sheetData's name
  // The current row: usable, its index and its edits [FRowFrom, FRowTo).
  bool FRowUsable = false;
  int32_t FRowIndex = -1;
  size_t FRowFrom = 0, FRowTo = 0;
  std::string FCellsPrefixOfRow;
  // The current cell.
  int32_t FCellRow = -1, FCellCol = -1;
  bool FInPlainCell = false;
  uint64_t FHeldTagStart = 0, FHeldTagEnd = 0;  // a held start tag, FHeldTagEnd 0 if none
  bool FInEdited = false, FContentWritten = false;
  bool FKeepFormula = false;  // the edited cell keeps its "f"
  std::string FCellName, FCellContent;
  struct {
    bool Seen = false, Capture = false;
    std::string Type, Group, Text;
  } FFormula;
  std::map<std::string, TGroup> FGroups;  // shared groups whose first cell was edited
  int FSkipDepth = 0;                     // dropping the element at this depth
  int FCopyDepth = 0;                     // copying the element at this depth
  TSpliceResult FResult;
};

}  // namespace

bool ParseRange(std::string_view Written, int32_t& Row1, int32_t& Col1, int32_t& Row2,
                int32_t& Col2) {
  const std::string Trimmed = Trim(Written);
  const std::string_view Ref = Trimmed;
  const size_t Colon = Ref.find(':');
  const std::string_view A = Ref.substr(0, Colon);
  const std::string_view B = Colon == std::string_view::npos ? A : Ref.substr(Colon + 1);
  if (!ParseCellRef(A, Col1, Row1) || !ParseCellRef(B, Col2, Row2)) return false;
  if (Row1 > Row2) std::swap(Row1, Row2);
  if (Col1 > Col2) std::swap(Col1, Col2);
  return true;
}

TCellEdit::TCellEdit(std::string_view Typed) : Value(TypeCellInput(Typed, TTypingCell())) {}

std::string CellValueMarkup(const TTypedValue& Value, std::string_view Prefix, bool AsciiOnly,
                            std::string& Type) {
  const std::string P(Prefix);
  switch (Value.Kind) {
    case TTypedKind::Blank:
      Type = "n";
      return {};
    case TTypedKind::Number:
    case TTypedKind::Boolean:
      Type = Value.Kind == TTypedKind::Number ? "n" : "b";
      return "<" + P + "v>" + Value.Value + "</" + P + "v>";
    case TTypedKind::Error:
      Type = "e";
      return "<" + P + "v>" + EscapeText(Value.Value, AsciiOnly, false) + "</" + P + "v>";
    case TTypedKind::FormulaText:
      Type = "str";
      return "<" + P + "v" + (NeedsPreservedSpace(Value.Value) ? " xml:space=\"preserve\"" : "") +
             ">" + EscapeText(Value.Value, AsciiOnly, true) + "</" + P + "v>";
    case TTypedKind::Text:
      break;
  }
  Type = "inlineStr";
  return "<" + P + "is><" + P + "t" +
         (NeedsPreservedSpace(Value.Value) ? " xml:space=\"preserve\"" : "") + ">" +
         EscapeText(Value.Value, AsciiOnly, true) + "</" + P + "t></" + P + "is>";
}

TTypedValue RecomputedValue(const TSheetCells& Cells, int32_t Row, int32_t Col) {
  TTypedValue T;
  const std::string_view Text = Cells.Cell(Row, Col);
  switch (Cells.CellType(Row, Col)) {
    case TCellType::Number:
      T.Kind = TTypedKind::Number;
      T.Value = std::string(Cells.CellValue(Row, Col));
      break;
    case TCellType::Boolean:
      T.Kind = TTypedKind::Boolean;
      T.Value = Text == "TRUE" ? "1" : "0";
      break;
    case TCellType::Error:
      T.Kind = TTypedKind::Error;
      T.Value = std::string(Text);
      break;
    case TCellType::FormulaString:
      T.Kind = TTypedKind::FormulaText;
      T.Value = std::string(Text);
      break;
    default:
      break;
  }
  T.Loaded = std::string(Text);
  return T;
}

TSpliceResult SpliceSheetPart(TXmlSource& Source, const std::string& PartName,
                              const TCellEdits& Edits, bool MayAddSheetData, TXmlSink* Out,
                              const TSheetCells* Recomputed) {
  TNullSink Null;
  if (!Out) return TSplicer(Source, PartName, Edits, MayAddSheetData, Null, Recomputed).Run();
  TPieceSink Pieces(*Out);
  TSpliceResult R = TSplicer(Source, PartName, Edits, MayAddSheetData, Pieces, Recomputed).Run();
  Pieces.Flush();
  return R;
}

}  // namespace kv
