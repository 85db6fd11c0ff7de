// The engine: formula cells, the dependency index and recalculation.
//
// Recalculation walks an explicit stack: a formula whose precedents are not
// computed yet pushes them and waits; a precedent found waiting further
// down the stack closes a cycle. Ranges are indexed as ranges (by column
// for narrow ones), so SUM(A:A) is one entry.
//
// Cells are found through dense per-sheet slots (columns of row blocks), not
// hashes; the readers of single cells are chains in one flat edge array,
// built on the first edit (a recalculation from scratch needs none); parsed
// code lives in one arena. So loading costs few small allocations, and so
// does tearing down.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <iterator>
#include <unordered_map>

#include "base/Text.h"
#include "calc/Calc.h"
#include "calc/CalcCode.h"

namespace kv {

using namespace calc;

namespace {

enum TState : uint8_t { kClean, kDirty, kInProgress };

// A formula cell, 32 bytes: its value is held in place, a text value as an
// index into the engine's text pool.
struct TFormula {
  int Sheet = 0;
  int32_t Row = 0, Col = 0;
  uint32_t Block = 0;
  double Number = 0;  // Number and Boolean; a Text's index in the pool
  TValueType Type = TValueType::Empty;
  TCalcError Error = TCalcError::None;
  TState State = kClean;
  TKeptReason Kept = TKeptReason::None;
  bool Array = false;
  bool Removed = false;
};
static_assert(sizeof(TFormula) <= 32, "a formula cell takes 32 bytes");

// A parsed formula; its code lives in the engine's code arena.
struct TBlock {
  std::string_view Code;
  bool Ok = false, Unsupported = false, Volatile = false, Dynamic = false;
};

uint64_t Key(int Sheet, int32_t Row, int32_t Col) {
  return (uint64_t(uint32_t(Sheet)) << 40) | (uint64_t(uint32_t(Row)) << 14) | uint64_t(Col);
}

// One number per cell of a sheet, 0 for none: columns of blocks of rows,
// a block allocated when a cell of it is first set. Reading a cell is two
// array steps, and a rectangle is walked skipping the empty blocks.
class TCellSlots {
 public:
  uint32_t Get(int32_t Row, int32_t Col) const {
    if (size_t(Col) >= FCols.size()) return 0;
    const auto& Blocks = FCols[size_t(Col)];
    const size_t B = size_t(Row) >> kShift;
    return B < Blocks.size() && Blocks[B] ? Blocks[B][size_t(Row) & kMask] : 0;
  }
  uint32_t& At(int32_t Row, int32_t Col) {
    if (size_t(Col) >= FCols.size()) FCols.resize(size_t(Col) + 1);
    auto& Blocks = FCols[size_t(Col)];
    const size_t B = size_t(Row) >> kShift;
    if (B >= Blocks.size()) Blocks.resize(B + 1);
    if (!Blocks[B]) Blocks[B] = std::make_unique<uint32_t[]>(kMask + 1);
    return Blocks[B][size_t(Row) & kMask];
  }
  // Calls Visit(slot) for every non-zero slot of the rectangle, by columns.
  template <class Fn>
  void ForEachIn(int32_t R1, int32_t C1, int32_t R2, int32_t C2, Fn&& Visit) const {
    for (int32_t C = std::max(C1, 0); C <= C2 && size_t(C) < FCols.size(); ++C) {
      const auto& Blocks = FCols[size_t(C)];
      for (int32_t R = std::max(R1, 0); R <= R2;) {
        const size_t B = size_t(R) >> kShift;
        if (B >= Blocks.size()) break;
        const int32_t BlockEnd = int32_t((B + 1) << kShift) - 1;
        const int32_t Last = std::min(R2, BlockEnd);
        if (Blocks[B])
          for (int32_t K = R; K <= Last; ++K)
            if (uint32_t V = Blocks[B][size_t(K) & kMask]) Visit(V);
        R = Last + 1;
      }
    }
  }

 private:
  static constexpr size_t kShift = 10, kMask = (size_t(1) << kShift) - 1;
  std::vector<std::vector<std::unique_ptr<uint32_t[]>>> FCols;
};

// Who reads a cell: chains of edges in one flat array, headed per cell.
struct TEdge {
  uint32_t Formula;
  uint32_t Next;  // index + 1 of the next edge of the cell, 0 at the end
};
struct TRangeDep {
  int32_t R1, R2;
  uint32_t Formula;
};
struct TWideDep {
  TRef R;
  uint32_t Formula;
};
constexpr int32_t kNarrowColumns = 16;
constexpr size_t kMaxShapes = 4096;
constexpr size_t kMaxReadValues = 65536;

struct TSheetIndex {
  TCellSlots Formulas;  // formula id + 1 of a cell
  TCellSlots Readers;   // first edge + 1 of the single-cell readers of a cell
  TCellSlots Values;    // index + 1 of a cell's value read during a recalculation
  std::vector<std::vector<TRangeDep>> ColRanges;  // narrow ranges, by column
  std::vector<TWideDep> Wide;
  int32_t UsedRows = 0, UsedCols = 0;
  bool BoundsKnown = false;
};

// The text of a formula written at (Row, Col) with the rows of its relative
// cell references ("B7", "$B7") told as offsets from Row, so that formulas
// written one per row ("=B2*C2", "=B3*C3", ...) have one shape and parse to
// the same code. Quoted texts and sheet names, absolute rows, and anything
// that is not plainly a cell reference (a name or function like LOG10(, a
// sheet name like Q1!) stay as written; Col leads, as code holds columns as
// offsets too.
void FormulaShape(std::string_view Text, int32_t Row, int32_t Col, std::string& Out) {
  Out.assign(reinterpret_cast<const char*>(&Col), sizeof Col);
  const size_t N = Text.size();
  // Whether the letters at I begin a token, and the digits ending at K end one.
  const auto Starts = [&](size_t I) {
    return I == 0 || (!IsIdentChar(Text[I - 1]) && Text[I - 1] != '$') ||
           (Text[I - 1] == '$' && (I < 2 || !IsIdentChar(Text[I - 2])));
  };
  const auto Ends = [&](size_t K) {
    return K == N || (!IsIdentChar(Text[K]) && Text[K] != '(' && Text[K] != '!' && Text[K] != '$' &&
                      Text[K] != '[');
  };
  size_t Copied = 0;  // Text before this is in Out
  for (size_t I = 0; I < N;) {
    const char C = Text[I];
    if (C == '"' || C == '\'') {  // a doubled quote reads as two texts: the same
      I = std::min(Text.find(C, I + 1), N - 1) + 1;
      continue;
    }
    if (!IsLetter(C)) {
      ++I;
      continue;
    }
    size_t J = I + 1;
    while (J < N && IsLetter(Text[J])) ++J;
    size_t K = J;
    while (K < N && IsDigit(Text[K])) ++K;
    if (K > J && J - I <= 3 && K - J <= 7 && Text[J] != '0' && Starts(I) && Ends(K)) {
      int32_t RefRow = 0;
      for (size_t D = J; D < K; ++D) RefRow = RefRow * 10 + (Text[D] - '0');
      if (RefRow <= kMaxRows) {
        char Offset[16];
        const auto End = std::to_chars(Offset, Offset + sizeof Offset, RefRow - 1 - Row).ptr;
        Out.append(Text.data() + Copied, J - Copied);
        Out += '\x01';
        Out.append(Offset, size_t(End - Offset));
        Copied = K;
      }
    }
    I = K;
  }
  Out.append(Text.data() + Copied, N - Copied);
}

// Parsed code, in chunks that never move once written.
class TCodeArena {
 public:
  std::string_view Store(std::string_view Code) {
    if (Code.size() > kChunk / 4) {  // a long one gets a chunk of its own
      FLarge.push_back(std::make_unique<char[]>(Code.size()));
      std::memcpy(FLarge.back().get(), Code.data(), Code.size());
      return {FLarge.back().get(), Code.size()};
    }
    if (FChunks.empty() || FUsed + Code.size() > kChunk) {
      FChunks.push_back(std::make_unique<char[]>(kChunk));
      FUsed = 0;
    }
    char* At = FChunks.back().get() + FUsed;
    if (!Code.empty()) std::memcpy(At, Code.data(), Code.size());
    FUsed += Code.size();
    return {At, Code.size()};
  }

 private:
  static constexpr size_t kChunk = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> FChunks, FLarge;
  size_t FUsed = 0;
};

class TEngineContext;

}  // namespace

struct TCalcEngine::TImpl : TNameResolver {
  const ICellSource& Source;
  // Deques: the values handed out must stay where they are while more
  // formulas are added.
  std::deque<TFormula> Forms;
  std::deque<TBlock> Blocks;
  TCodeArena Code;
  TEvalContext::TFormatCache Formats;  // TEXT's last number format, across formulas
  std::unordered_map<uint64_t, uint32_t> SharedBlocks;  // anchor -> block
  std::vector<TSheetIndex> Sheets;
  std::vector<TEdge> Edges;  // the single-cell readers' chains
  // The source's values read while every formula is recomputed (the source
  // does not change meanwhile), so that a cell many formulas read is fetched
  // once; a bounded number, so that a long chain reading each cell once
  // costs little.
  std::deque<TCalcValue> ReadValues;
  bool KeepReads = false;
  std::vector<std::string> Texts;  // text values of formulas
  std::vector<uint32_t> FreeTexts;
  // Whether the readers are indexed: built on the first edit, since
  // recomputing everything needs only the formulas' own references.
  bool ReadersBuilt = false;
  TCalcCounts Counts;
  std::vector<TRef> ScratchRefs;  // Expand's, kept to spare an allocation per formula
  int ParseSheet = 0;
  bool NameRead = false;  // the parse read a defined name (which may be relative)
  // Blocks by formula shape, while a sheet's formulas are read.
  std::unordered_map<std::string, uint32_t> Shapes;
  std::string ShapeKey;
  std::vector<bool> SheetLoaded;  // whose formulas were read
  size_t SheetsLoaded = 0;

  explicit TImpl(const ICellSource& S) : Source(S) {}

  // Name resolution while parsing.
  int FindSheet(std::string_view Name) override { return Source.FindSheet(Name); }
  bool DefinedName(std::string_view Name, std::string& Formula) override {
    NameRead = true;
    return Source.DefinedName(Name, ParseSheet, Formula);
  }

  TSheetIndex& Index(int Sheet) {
    if (size_t(Sheet) >= Sheets.size()) Sheets.resize(size_t(Sheet) + 1);
    return Sheets[size_t(Sheet)];
  }
  TRef Used(int Sheet) {
    TSheetIndex& S = Index(Sheet);
    if (!S.BoundsKnown) {
      Source.UsedBounds(Sheet, S.UsedRows, S.UsedCols);
      S.BoundsKnown = true;
    }
    return {Sheet, 0, 0, S.UsedRows - 1, S.UsedCols - 1};
  }
  // The formula at a cell, -1 for none.
  int64_t FormulaAt(int Sheet, int32_t Row, int32_t Col) const {
    if (size_t(Sheet) >= Sheets.size()) return -1;
    return int64_t(Sheets[size_t(Sheet)].Formulas.Get(Row, Col)) - 1;
  }

  // A source cell's value as Cell reads it; null when it is not kept.
  const TCalcValue* ReadValue(int Sheet, int32_t Row, int32_t Col) {
    if (!KeepReads || Sheet < 0 || size_t(Sheet) >= Sheets.size() || Row < 0 || Row >= kMaxRows ||
        Col < 0 || Col >= kMaxCols)
      return nullptr;
    TCellSlots& Values = Sheets[size_t(Sheet)].Values;
    if (uint32_t K = Values.Get(Row, Col)) return &ReadValues[K - 1];
    if (ReadValues.size() >= kMaxReadValues) return nullptr;
    ReadValues.push_back(Source.CellValue(Sheet, Row, Col));
    Values.At(Row, Col) = uint32_t(ReadValues.size());
    return &ReadValues.back();
  }
  void ForgetReads() {
    KeepReads = false;
    if (ReadValues.empty()) return;
    ReadValues.clear();
    for (TSheetIndex& S : Sheets) S.Values = TCellSlots();
  }

  // A formula's value, and changing it.
  const std::string& TextOf(const TFormula& F) const { return Texts[size_t(F.Number)]; }
  TCalcValue ValueOf(const TFormula& F) const {
    TCalcValue V;
    V.Type = F.Type;
    V.Error = F.Error;
    if (F.Type == TValueType::Text)
      V.Text = TextOf(F);
    else
      V.Number = F.Number;
    return V;
  }
  bool HasValue(const TFormula& F, const TCalcValue& V) const {
    if (F.Type != V.Type || F.Error != V.Error) return false;
    return F.Type == TValueType::Text ? TextOf(F) == V.Text : F.Number == V.Number;
  }
  void SetValue(TFormula& F, const TCalcValue& V) {
    if (V.IsText()) {
      if (F.Type != TValueType::Text) {
        if (FreeTexts.empty()) {
          FreeTexts.push_back(uint32_t(Texts.size()));
          Texts.emplace_back();
        }
        F.Number = FreeTexts.back();
        FreeTexts.pop_back();
      }
      Texts[size_t(F.Number)] = V.Text;
    } else {
      if (F.Type == TValueType::Text) {
        FreeTexts.push_back(uint32_t(F.Number));
        Texts[size_t(F.Number)] = std::string();
      }
      F.Number = V.Number;
    }
    F.Type = V.Type;
    F.Error = V.Error;
  }

  uint32_t BlockFor(int Sheet, const TFormulaCellInfo& I) {
    uint64_t Anchor = Key(Sheet, I.AnchorRow, I.AnchorCol);
    if (I.Shared) {
      auto It = SharedBlocks.find(Anchor);
      if (It != SharedBlocks.end()) return It->second;
    }
    const int32_t Row = I.Shared ? I.AnchorRow : I.Row, Col = I.Shared ? I.AnchorCol : I.Col;
    FormulaShape(I.Text, Row, Col, ShapeKey);  // the cache holds one sheet's shapes
    if (auto It = Shapes.find(ShapeKey); It != Shapes.end()) {
      if (I.Shared) SharedBlocks[Anchor] = It->second;
      return It->second;
    }
    ParseSheet = Sheet;
    NameRead = false;
    TParsed P = ParseFormula(I.Text, Row, Col, *this);
    TBlock B;
    B.Ok = P.Ok;
    B.Code = Code.Store(P.Code);
    B.Unsupported = P.Unsupported;
    B.Volatile = P.Volatile;
    B.Dynamic = P.Dynamic;
    Blocks.push_back(B);
    uint32_t Id = uint32_t(Blocks.size() - 1);
    if (I.Shared) SharedBlocks[Anchor] = Id;
    // Kept for formulas of the same shape (a bounded number at a time).
    if (P.Ok && !NameRead) {
      if (Shapes.size() >= kMaxShapes) Shapes.clear();
      Shapes.emplace(ShapeKey, Id);
    }
    return Id;
  }

  // The code's references as the formula at its own cell reads them.
  void References(const TFormula& F, std::vector<TRef>& Out) {
    Out.clear();
    const TBlock& B = Blocks[F.Block];
    if (!B.Ok) return;
    CodeReferences(B.Code, F.Sheet, F.Row, F.Col, Out);
  }

  void AddFormula(int Sheet, const TFormulaCellInfo& I) {
    TFormula F;
    F.Sheet = Sheet;
    F.Row = I.Row;
    F.Col = I.Col;
    F.Array = I.Array;
    F.Block = BlockFor(Sheet, I);
    SetValue(F, Source.CellValue(Sheet, I.Row, I.Col));
    // Its inputs are unknown, so its value can never be vouched for.
    if (!Blocks[F.Block].Ok) F.Kept = TKeptReason::Unreadable;
    // A formula the file left without a value is computed by the next
    // recalculation.
    else if (F.Type == TValueType::Empty)
      F.State = kDirty;
    uint32_t Id = uint32_t(Forms.size());
    Forms.push_back(std::move(F));
    Index(Sheet).Formulas.At(I.Row, I.Col) = Id + 1;
    if (ReadersBuilt) AddReaders(Id);
  }

  // Indexes the cells formula Id reads.
  void AddReaders(uint32_t Id) {
    std::vector<TRef>& Refs = ScratchRefs;  // never while Expand uses it
    References(Forms[Id], Refs);
    for (const TRef& R : Refs) AddDependency(R, Id);
  }
  void BuildReaders() {
    if (ReadersBuilt) return;
    ReadersBuilt = true;
    for (uint32_t Id = 0; Id < Forms.size(); ++Id)
      if (!Forms[Id].Removed) AddReaders(Id);
  }

  void AddDependency(const TRef& R, uint32_t Id) {
    TSheetIndex& S = Index(R.Sheet);
    if (R.Rows() == 1 && R.Cols() == 1) {
      uint32_t& Head = S.Readers.At(R.R1, R.C1);
      Edges.push_back({Id, Head});
      Head = uint32_t(Edges.size());
    } else if (R.Cols() <= kNarrowColumns) {
      if (S.ColRanges.size() <= size_t(R.C2)) S.ColRanges.resize(size_t(R.C2) + 1);
      for (int32_t C = R.C1; C <= R.C2; ++C) S.ColRanges[size_t(C)].push_back({R.R1, R.R2, Id});
    } else {
      S.Wide.push_back({R, Id});
    }
  }

  void RemoveFormula(uint32_t Id) {
    TFormula& F = Forms[Id];
    F.Removed = true;
    Index(F.Sheet).Formulas.At(F.Row, F.Col) = 0;
  }

  // Formula cells inside a rectangle.
  template <class Fn>
  void FormulasIn(const TRef& R, Fn&& Visit) {
    if (size_t(R.Sheet) >= Sheets.size()) return;
    const TCellSlots& S = Sheets[size_t(R.Sheet)].Formulas;
    if (R.R1 == R.R2 && R.C1 == R.C2) {
      if (uint32_t V = S.Get(R.R1, R.C1)) Visit(V - 1);
      return;
    }
    S.ForEachIn(R.R1, R.C1, R.R2, R.C2, [&](uint32_t V) { Visit(V - 1); });
  }

  // Formulas that read a cell.
  template <class Fn>
  void Dependents(int Sheet, int32_t Row, int32_t Col, Fn&& Visit) {
    if (size_t(Sheet) >= Sheets.size()) return;
    TSheetIndex& S = Sheets[size_t(Sheet)];
    for (uint32_t E = S.Readers.Get(Row, Col); E; E = Edges[E - 1].Next)
      Visit(Edges[E - 1].Formula);
    if (size_t(Col) < S.ColRanges.size())
      for (const TRangeDep& D : S.ColRanges[size_t(Col)])
        if (Row >= D.R1 && Row <= D.R2) Visit(D.Formula);
    for (const TWideDep& W : S.Wide)
      if (W.R.Contains(Sheet, Row, Col)) Visit(W.Formula);
  }

  // Marks what a changed cell reaches, breadth first.
  void MarkFrom(std::vector<uint64_t> Queue) {
    BuildReaders();
    for (size_t Q = 0; Q < Queue.size(); ++Q) {
      uint64_t K = Queue[Q];
      int Sheet = int(K >> 40);
      int32_t Row = int32_t((K >> 14) & 0x3FFFFFF), Col = int32_t(K & 0x3FFF);
      Dependents(Sheet, Row, Col, [&](uint32_t Id) {
        TFormula& F = Forms[Id];
        if (F.Removed || F.State == kDirty) return;
        F.State = kDirty;
        Queue.push_back(Key(F.Sheet, F.Row, F.Col));
      });
    }
  }

  bool IsLoaded(int Sheet) const {
    return size_t(Sheet) < SheetLoaded.size() && SheetLoaded[size_t(Sheet)];
  }
  // Reads the formulas of Sheet and (Follow) of every sheet they read, in
  // turn.
  void LoadSheet(int First, bool Follow = true) {
    if (SheetLoaded.size() < size_t(Source.SheetCount()))
      SheetLoaded.resize(size_t(Source.SheetCount()));
    std::vector<int> Queue{First};
    std::vector<TFormulaCellInfo> List;
    std::vector<TRef> Refs;
    while (!Queue.empty()) {
      const int S = Queue.back();
      Queue.pop_back();
      if (S < 0 || size_t(S) >= SheetLoaded.size() || SheetLoaded[size_t(S)]) continue;
      SheetLoaded[size_t(S)] = true;
      ++SheetsLoaded;
      List.clear();
      Source.ListFormulas(S, List);
      Index(S);
      const size_t From = Forms.size();
      for (const TFormulaCellInfo& I : List) AddFormula(S, I);
      Shapes.clear();
      for (size_t Id = From; Follow && Id < Forms.size(); ++Id) {
        const TBlock& B = Blocks[Forms[Id].Block];
        if (B.Dynamic) {  // may read any sheet
          for (int K = 0; K < Source.SheetCount(); ++K) Queue.push_back(K);
          continue;
        }
        References(Forms[Id], Refs);
        for (const TRef& R : Refs)
          if (!IsLoaded(R.Sheet)) Queue.push_back(R.Sheet);
      }
    }
  }
  void Load() {
    for (int S = 0; S < Source.SheetCount(); ++S) LoadSheet(S, false);
  }

  // KeepReads: keep the source values read (worth it when every formula is
  // computed: many read the same cells; an edit's few read each once).
  void Evaluate(std::vector<uint32_t> Stack, std::vector<uint32_t>* Changed,
                bool KeepReads = false);
  bool Expand(uint32_t Id, std::vector<uint32_t>& Stack, bool& Cycle);
  void Compute(uint32_t Id, TEngineContext& Ctx, std::vector<uint32_t>& Stack,
               std::vector<uint32_t>* Changed);
  void Finish(uint32_t Id, const TCalcValue& V, TKeptReason Kept, std::vector<uint32_t>* Changed);
  void Recount();
  // Hands the changed formula cells to OnChanged, in the order computed.
  void Report(const std::vector<uint32_t>& Changed, const TChangeVisitor& OnChanged) {
    for (uint32_t Id : Changed) {
      const TFormula& F = Forms[Id];
      OnChanged(F.Sheet, F.Row, F.Col, ValueOf(F));
    }
  }
};

namespace {

// What a formula sees while it is computed.
class TEngineContext : public TEvalContext {
 public:
  TEngineContext(TCalcEngine::TImpl& E) : FE(E) {}
  std::vector<uint32_t> Pending;
  bool Cycle = false;
  TKeptReason Taint = TKeptReason::None;

  // Readies the context for the formula at (Sheet, Row, Col): one context
  // serves every formula of a recalculation.
  void Begin(int Sheet, int32_t Row, int32_t Col, bool Array) {
    HostSheet = Sheet;
    HostRow = Row;
    HostCol = Col;
    ArrayFormula = Array;
    Pending.clear();
    Cycle = false;
    Taint = TKeptReason::None;
  }

  const TCalcValue& Cell(int Sheet, int32_t Row, int32_t Col) override {
    const int64_t Id = FE.FormulaAt(Sheet, Row, Col);
    if (Id >= 0) {
      TFormula& F = FE.Forms[size_t(Id)];
      if (F.State == kDirty)
        Pending.push_back(uint32_t(Id));
      else if (F.State == kInProgress)
        Cycle = true;
      else if (F.Kept != TKeptReason::None)
        Taint = F.Kept == TKeptReason::Circular || Taint == TKeptReason::Circular
                    ? TKeptReason::Circular
                    : TKeptReason::DependsOnKept;
      TCalcValue& Slot = NextSlot();
      Slot.Type = F.Type;
      Slot.Error = F.Error;
      Slot.Number = F.Type == TValueType::Text ? 0 : F.Number;
      if (F.Type == TValueType::Text)
        Slot.Text = FE.TextOf(F);
      else
        Slot.Text.clear();
      return Slot;
    }
    if (const TCalcValue* Kept = FE.ReadValue(Sheet, Row, Col)) return *Kept;
    TCalcValue& Slot = NextSlot();
    Slot = FE.Source.CellValue(Sheet, Row, Col);
    return Slot;
  }
  TRef Clamp(const TRef& R) override {
    TRef U = FE.Used(R.Sheet);
    return {R.Sheet, R.R1, R.C1, std::min(R.R2, U.R2), std::min(R.C2, U.C2)};
  }
  int FindSheet(std::string_view Name) override { return FE.Source.FindSheet(Name); }
  bool Date1904() override { return FE.Source.Date1904(); }

 private:
  TCalcEngine::TImpl& FE;
  // What Cell hands out stays valid for the next 15 reads.
  TCalcValue FRing[16];
  size_t FNext = 0;
  TCalcValue& NextSlot() { return FRing[FNext++ % std::size(FRing)]; }
};

// A visitor appending to a list of changed cells (none for no list).
TCalcEngine::TChangeVisitor ChangedInto(std::vector<TChangedCell>* Changed) {
  if (!Changed) return {};
  return [Changed](int Sheet, int32_t Row, int32_t Col, const TCalcValue& V) {
    Changed->push_back({Sheet, Row, Col, V});
  };
}

TKeptReason Worse(TKeptReason A, TKeptReason B) {
  if (A == TKeptReason::Circular || B == TKeptReason::Circular) return TKeptReason::Circular;
  return A != TKeptReason::None ? A : B;
}

}  // namespace

// Pushes the uncomputed formulas the static references of Id name; true
// when there were any. Cycle: one of them waits further down the stack.
bool TCalcEngine::TImpl::Expand(uint32_t Id, std::vector<uint32_t>& Stack, bool& Cycle) {
  std::vector<TRef>& Refs = ScratchRefs;
  References(Forms[Id], Refs);
  bool Waiting = false;
  for (const TRef& R : Refs)
    FormulasIn(R, [&](uint32_t G) {
      TFormula& D = Forms[G];
      if (G == Id || D.State == kInProgress)
        Cycle = true;
      else if (D.State == kDirty) {
        Stack.push_back(G);
        Waiting = true;
      }
    });
  return Waiting;
}

void TCalcEngine::TImpl::Finish(uint32_t Id, const TCalcValue& V, TKeptReason Kept,
                                std::vector<uint32_t>* Changed) {
  TFormula& F = Forms[Id];
  F.State = kClean;
  F.Kept = Kept;
  if (Kept != TKeptReason::None) return;  // the cached value stays
  if (!HasValue(F, V)) {
    SetValue(F, V);
    if (Changed) Changed->push_back(Id);
  }
}

void TCalcEngine::TImpl::Compute(uint32_t Id, TEngineContext& Ctx, std::vector<uint32_t>& Stack,
                                 std::vector<uint32_t>* Changed) {
  TFormula& F = Forms[Id];
  const TBlock& B = Blocks[F.Block];
  if (!B.Ok) return Finish(Id, {}, TKeptReason::Unreadable, Changed);
  Ctx.Begin(F.Sheet, F.Row, F.Col, F.Array);
  F.State = kInProgress;
  TCalcValue V = EvaluateCode(B.Code, Ctx);
  if (Ctx.Cycle) return Finish(Id, {}, TKeptReason::Circular, Changed);
  if (!Ctx.Pending.empty()) {  // read cells its code does not name (OFFSET, INDIRECT)
    for (uint32_t G : Ctx.Pending) Stack.push_back(G);
    return;  // stays in progress, computed again when they are
  }
  if (B.Unsupported) return Finish(Id, {}, Worse(TKeptReason::Unsupported, Ctx.Taint), Changed);
  if (Ctx.Taint != TKeptReason::None) return Finish(Id, {}, Ctx.Taint, Changed);
  if (V.IsNumber()) V.Number = V.Number == 0 ? 0 : V.Number;
  Finish(Id, V, TKeptReason::None, Changed);
}

void TCalcEngine::TImpl::Evaluate(std::vector<uint32_t> Stack, std::vector<uint32_t>* Changed,
                                  bool Keep) {
  struct TReads {  // kept for this recalculation only
    TImpl& E;
    ~TReads() { E.ForgetReads(); }
  } Reads{*this};
  KeepReads = Keep;
  TEngineContext Ctx(*this);
  Ctx.Formats = &Formats;
  SetTextDateSystem(Source.Date1904());
  while (!Stack.empty()) {
    uint32_t Id = Stack.back();
    TFormula& F = Forms[Id];
    if (F.Removed || F.State == kClean) {
      Stack.pop_back();
      continue;
    }
    bool Cycle = false;
    bool Waiting = Expand(Id, Stack, Cycle);
    if (Cycle) {
      Stack.resize(std::find(Stack.rbegin(), Stack.rend(), Id).base() - Stack.begin());
      Stack.pop_back();
      Finish(Id, {}, TKeptReason::Circular, Changed);
      continue;
    }
    if (Waiting) {
      Forms[Id].State = kInProgress;
      continue;
    }
    Forms[Id].State = kDirty;
    size_t Before = Stack.size();
    Compute(Id, Ctx, Stack, Changed);
    if (Stack.size() == Before) {
      if (Forms[Id].State == kClean) Stack.pop_back();
    } else {
      Forms[Id].State = kInProgress;
    }
  }
}

void TCalcEngine::TImpl::Recount() {
  Counts = {};
  // One count per TKeptReason, in its order.
  size_t* const Tally[] = {&Counts.Computed, &Counts.Unreadable, &Counts.Unsupported,
                           &Counts.Circular, &Counts.DependsOnKept};
  static_assert(size_t(TKeptReason::DependsOnKept) + 1 == std::size(Tally));
  for (const TFormula& F : Forms) {
    if (F.Removed) continue;
    ++Counts.Formulas;
    ++*Tally[size_t(F.Kept)];
  }
}

bool ICellSource::FormulaAt(int Sheet, int32_t Row, int32_t Col, TFormulaCellInfo& Out) const {
  std::vector<TFormulaCellInfo> List;
  ListFormulas(Sheet, List);
  for (const TFormulaCellInfo& I : List)
    if (I.Row == Row && I.Col == Col) {
      Out = I;
      return true;
    }
  return false;
}

TCalcEngine::TCalcEngine(const ICellSource& Source) : FImpl(std::make_unique<TImpl>(Source)) {}
TCalcEngine::~TCalcEngine() = default;

void TCalcEngine::Load() {
  FImpl->Load();
  FImpl->Recount();
}

void TCalcEngine::LoadSheet(int Sheet) {
  FImpl->LoadSheet(Sheet);
  FImpl->Recount();
}

bool TCalcEngine::SheetLoaded(int Sheet) const {
  return FImpl->IsLoaded(Sheet);
}

void TCalcEngine::RecalculateAll(std::vector<TChangedCell>* Changed) {
  RecalculateAll(ChangedInto(Changed));
}

void TCalcEngine::RecalculateAll(const TChangeVisitor& OnChanged) {
  FImpl->Load();
  for (TSheetIndex& S : FImpl->Sheets) S.BoundsKnown = false;
  std::vector<uint32_t> All;
  for (uint32_t Id = 0; Id < FImpl->Forms.size(); ++Id) {
    TFormula& F = FImpl->Forms[Id];
    if (F.Removed) continue;
    F.State = kDirty;
    All.push_back(Id);
  }
  std::reverse(All.begin(), All.end());  // computed from the first cell on
  std::vector<uint32_t> Changed;
  FImpl->Evaluate(std::move(All), OnChanged ? &Changed : nullptr, true);
  FImpl->Recount();
  FImpl->Report(Changed, OnChanged);
}

void TCalcEngine::CellChanged(int Sheet, int32_t Row, int32_t Col) {
  FImpl->Load();
  TImpl& E = *FImpl;
  if (size_t(Sheet) < E.Sheets.size()) E.Sheets[size_t(Sheet)].BoundsKnown = false;
  uint64_t K = Key(Sheet, Row, Col);
  const int64_t Old = E.FormulaAt(Sheet, Row, Col);
  if (Old >= 0) E.RemoveFormula(uint32_t(Old));
  TFormulaCellInfo I;
  if (E.Source.FormulaAt(Sheet, Row, Col, I)) {
    E.AddFormula(Sheet, I);
    E.Forms.back().State = kDirty;
  }
  E.MarkFrom({K});
}

void TCalcEngine::Recalculate(std::vector<TChangedCell>* Changed, bool WithVolatile) {
  Recalculate(ChangedInto(Changed), WithVolatile);
}

void TCalcEngine::Recalculate(const TChangeVisitor& OnChanged, bool WithVolatile) {
  TImpl& E = *FImpl;
  if (E.SheetsLoaded == 0) E.Load();
  std::vector<uint64_t> Volatile;
  for (TFormula& F : E.Forms)
    if (WithVolatile && !F.Removed && E.Blocks[F.Block].Volatile && F.State != kDirty) {
      F.State = kDirty;
      Volatile.push_back(Key(F.Sheet, F.Row, F.Col));
    }
  E.MarkFrom(std::move(Volatile));
  std::vector<uint32_t> Dirty;
  for (uint32_t Id = uint32_t(E.Forms.size()); Id-- > 0;)
    if (!E.Forms[Id].Removed && E.Forms[Id].State == kDirty) Dirty.push_back(Id);
  std::vector<uint32_t> Changed;
  E.Evaluate(std::move(Dirty), OnChanged ? &Changed : nullptr);
  E.Recount();
  E.Report(Changed, OnChanged);
}

TCalcValue TCalcEngine::Value(int Sheet, int32_t Row, int32_t Col) const {
  const int64_t Id = FImpl->FormulaAt(Sheet, Row, Col);
  if (Id >= 0) return FImpl->ValueOf(FImpl->Forms[size_t(Id)]);
  return FImpl->Source.CellValue(Sheet, Row, Col);
}

bool TCalcEngine::IsFormula(int Sheet, int32_t Row, int32_t Col) const {
  return FImpl->FormulaAt(Sheet, Row, Col) >= 0;
}

TKeptReason TCalcEngine::KeptReason(int Sheet, int32_t Row, int32_t Col) const {
  const int64_t Id = FImpl->FormulaAt(Sheet, Row, Col);
  return Id < 0 ? TKeptReason::None : FImpl->Forms[size_t(Id)].Kept;
}

const TCalcCounts& TCalcEngine::Counts() const {
  return FImpl->Counts;
}

size_t TCalcEngine::CodeBytes() const {
  size_t N = 0;
  for (const TBlock& B : FImpl->Blocks) N += B.Code.size();
  return N;
}
size_t TCalcEngine::CodeBlocks() const {
  return FImpl->Blocks.size();
}

TCalcValue TCalcEngine::EvaluateText(std::string_view Formula, int Sheet, int32_t Row, int32_t Col,
                                     TKeptReason* Reason) {
  TImpl& E = *FImpl;
  E.ParseSheet = Sheet;
  if (!Formula.empty() && Formula[0] == '=') Formula.remove_prefix(1);
  TParsed P = ParseFormula(Formula, Row, Col, E);
  if (Reason) *Reason = TKeptReason::None;
  if (!P.Ok) {
    if (Reason) *Reason = TKeptReason::Unreadable;
    return TCalcValue::Err(TCalcError::Name);
  }
  TEngineContext Ctx(E);
  Ctx.HostSheet = Sheet;
  Ctx.HostRow = Row;
  Ctx.HostCol = Col;
  SetTextDateSystem(E.Source.Date1904());
  TCalcValue V = EvaluateCode(P.Code, Ctx);
  if (Reason) {
    if (P.Unsupported)
      *Reason = TKeptReason::Unsupported;
    else if (Ctx.Cycle)
      *Reason = TKeptReason::Circular;
    else
      *Reason = Ctx.Taint;
  }
  return V;
}

}  // namespace kv
