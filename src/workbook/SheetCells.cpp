#include "workbook/SheetCells.h"

#include <algorithm>
#include <cstring>

#include "workbook/CellNotation.h"
#include "workbook/FormulaShift.h"
#include "numfmt/NumberFormat.h"
#include "workbook/TextPool.h"

namespace kv {

TSheetCells::TSheetCells() : TSheetCells(std::make_shared<TTextPool>(), nullptr) {}

TSheetCells::TSheetCells(int32_t Rows, int32_t Cols) : TSheetCells() {
  Grow(Rows, Cols);
}

TSheetCells::TSheetCells(std::shared_ptr<TTextPool> Texts,
                         std::shared_ptr<const TCellFormats> Formats)
    : FTexts(std::move(Texts)), FFormats(std::move(Formats)) {}

TSheetCells::~TSheetCells() = default;

size_t TSheetCells::TextBytes() const {
  return FTexts->HeldBytes();
}

// ---- finding cells ----------------------------------------------------------

namespace {

// A cell's place in its block's order.
uint32_t KeyOf(uint32_t Row, uint32_t Col) {
  return (Row << 16) | Col;
}

}  // namespace

void TSheetCells::RowRange(const TBlock& B, int32_t I, uint32_t& Begin, uint32_t& End) {
  const auto Less = [](const TCell& C, uint32_t Row) { return C.Row < Row; };
  const auto Lo = std::lower_bound(B.begin(), B.end(), static_cast<uint32_t>(I), Less);
  const auto Hi = std::lower_bound(Lo, B.end(), static_cast<uint32_t>(I) + 1, Less);
  Begin = static_cast<uint32_t>(Lo - B.begin());
  End = static_cast<uint32_t>(Hi - B.begin());
}

uint32_t TSheetCells::StyleField(int32_t Style) {
  return Style >= 0 && static_cast<uint32_t>(Style) < kMaxStyleField
             ? static_cast<uint32_t>(Style) + 1
             : 0;
}

bool TSheetCells::Locate(int32_t Row, int32_t Col, size_t& Block, uint32_t& Index) const {
  if (Row < 0 || Col < 0 || Row >= FRows || Col >= FCols) return false;
  Block = static_cast<size_t>(Row) >> kBlockShift;
  if (Block >= FBlocks.size() || FBlocks[Block].empty()) return false;
  const TBlock& B = FBlocks[Block];
  const auto I = static_cast<uint32_t>(Row & (kBlockRows - 1));
  const auto C = static_cast<uint32_t>(Col);
  // Where the block's rows are all as wide, from its first row on, row I
  // holds column C at I * Width + C.
  const size_t Rows = size_t{B.back().Row} + 1;
  const size_t Guess = size_t{I} * (B.size() / Rows) + C;
  if (Guess < B.size() && B[Guess].Row == I && B[Guess].Col == C) {
    Index = static_cast<uint32_t>(Guess);
    return true;
  }
  const uint32_t Key = KeyOf(I, C);
  const auto It = std::lower_bound(
      B.begin(), B.end(), Key, [](const TCell& X, uint32_t K) { return KeyOf(X.Row, X.Col) < K; });
  if (It == B.end() || It->Row != I || It->Col != C) return false;
  Index = static_cast<uint32_t>(It - B.begin());
  return true;
}

const TSheetCells::TCell* TSheetCells::Find(int32_t Row, int32_t Col) const {
  size_t Block;
  uint32_t Index;
  return Locate(Row, Col, Block, Index) ? &FBlocks[Block][Index] : nullptr;
}

TSheetCells::TCell* TSheetCells::FindToChange(int32_t Row, int32_t Col) {
  size_t Block;
  uint32_t Index;
  return Locate(Row, Col, Block, Index) ? &FBlocks[Block][Index] : nullptr;
}

std::string_view TSheetCells::TextOf(const TCell& C) const {
  if (C.Form & kPooled) return FTexts->Get(C.Ids.Text);
  return {C.Inline, static_cast<size_t>(C.Form & kLengthMask)};
}

std::string_view TSheetCells::Cell(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  return C ? TextOf(*C) : std::string_view();
}

TCellType TSheetCells::CellType(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  return C ? C->Type : TCellType::Empty;
}

int32_t TSheetCells::CellStyle(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  return C ? static_cast<int32_t>(C->Style) - 1 : -1;
}

std::string_view TSheetCells::CellValue(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  if (!C) return {};
  if ((C->Form & kPooled) && C->Ids.Value) return FTexts->Get(C->Ids.Value);
  return TextOf(*C);
}

bool TSheetCells::HasCell(int32_t Row, int32_t Col) const {
  return Find(Row, Col) != nullptr;
}

bool TSheetCells::ReadCell(int32_t Row, int32_t Col, TCellType& Type, std::string_view& Text,
                           std::string_view& Value) const {
  const TCell* C = Find(Row, Col);
  if (!C) return false;
  Type = C->Type;
  Text = TextOf(*C);
  Value = (C->Form & kPooled) && C->Ids.Value ? FTexts->Get(C->Ids.Value) : Text;
  return true;
}

// ---- changing cells -----------------------------------------------------------

void TSheetCells::ChargeGrowth(size_t OldCapacity, size_t NewCapacity) {
  if (NewCapacity > OldCapacity) FTexts->Charge((NewCapacity - OldCapacity) * sizeof(TCell));
}

TSheetCells::TCell& TSheetCells::Place(int32_t Row, int32_t Col, bool& Existed) {
  const size_t BlockIndex = static_cast<size_t>(Row) >> kBlockShift;
  if (BlockIndex >= FBlocks.size()) {
    const size_t Slots = FBlocks.capacity();
    FBlocks.resize(BlockIndex + 1);
    if (FBlocks.capacity() > Slots) FTexts->Charge((FBlocks.capacity() - Slots) * sizeof(TBlock));
  }
  TBlock& B = FBlocks[BlockIndex];
  // Sheets are read in row order: the block before is as full as this one will be.
  if (B.empty() && B.capacity() == 0 && BlockIndex > 0) {
    const size_t Expected = FBlocks[BlockIndex - 1].size();
    ChargeGrowth(0, Expected);
    B.reserve(Expected);
  }
  const auto I = static_cast<uint32_t>(Row & (kBlockRows - 1));
  const auto C = static_cast<uint32_t>(Col);
  const uint32_t Key = KeyOf(I, C);
  auto At = B.end();
  if (!B.empty() && KeyOf(B.back().Row, B.back().Col) >= Key) {
    At = std::lower_bound(B.begin(), B.end(), Key,
                          [](const TCell& X, uint32_t K) { return KeyOf(X.Row, X.Col) < K; });
    if (KeyOf(At->Row, At->Col) == Key) {
      Existed = true;
      return *At;
    }
  }
  const size_t Capacity = B.capacity();
  At = B.insert(At, TCell());
  ChargeGrowth(Capacity, B.capacity());
  ++FCellCount;
  FRows = std::max(FRows, Row + 1);
  FCols = std::max(FCols, Col + 1);
  Existed = false;
  At->Col = static_cast<uint16_t>(C);
  At->Row = I;
  return *At;
}

void TSheetCells::StoreText(TCell& C, std::string_view Text, std::string_view Value) {
  const uint8_t Keep = C.Form & (kFormula | kRecomputed);
  if ((Value.empty() || Value == Text) && Text.size() <= sizeof C.Inline) {
    if (!Text.empty()) std::memcpy(C.Inline, Text.data(), Text.size());
    C.Form = static_cast<uint8_t>(Keep | Text.size());
    return;
  }
  const uint32_t TextId = FTexts->Add(Text);
  const uint32_t ValueId = Value.empty() || Value == Text ? 0 : FTexts->Add(Value);
  C.Ids = {TextId, ValueId};
  C.Form = Keep | kPooled;
}

void TSheetCells::PutCell(int32_t Row, int32_t Col, TCellType Type, int32_t Style,
                          std::string_view Text, std::string_view Value) {
  bool Existed;
  TCell& C = Place(Row, Col, Existed);
  if (Existed && (C.Form & kFormula)) DropFormula(Row, Col);
  C.Form = 0;
  C.Type = Type;
  C.Style = StyleField(Style);
  StoreText(C, Text, Value);
  if (!FKept.empty()) FKept.clear();
}

void TSheetCells::PutPooledCell(int32_t Row, int32_t Col, TCellType Type, int32_t Style,
                                uint32_t TextId) {
  bool Existed;
  TCell& C = Place(Row, Col, Existed);
  if (Existed && (C.Form & kFormula)) DropFormula(Row, Col);
  C.Type = Type;
  C.Style = StyleField(Style);
  C.Ids = {TextId, 0};
  C.Form = kPooled;
  if (!FKept.empty()) FKept.clear();
}

TSheetCells::TCell& TSheetCells::EditCell(int32_t Row, int32_t Col, TCellType Type,
                                          std::string_view Text, std::string_view Value) {
  bool Existed;
  TCell* C = &Place(Row, Col, Existed);
  C->Type = Type;
  StoreText(*C, Text, Value);
  C->Form = static_cast<uint8_t>(C->Form & ~kRecomputed);
  if (Existed && (C->Form & kFormula)) {
    C->Form = static_cast<uint8_t>(C->Form & ~kFormula);
    DropFormula(Row, Col);
  }
  // An array formula goes whole when one cell of its range changes.
  for (size_t I = 0; I < FFormulaCells.size(); ++I) {
    const TFormula& F = FFormulas[FFormulaCells[I].Formula];
    if (F.Kind != TFormulaKind::Array) continue;
    const size_t Colon = F.Range.find(':');
    int32_t C1, R1, C2, R2;
    if (!ParseCellRef(F.Range.substr(0, Colon), C1, R1)) continue;
    if (Colon == std::string::npos) {
      C2 = C1, R2 = R1;
    } else if (!ParseCellRef(F.Range.substr(Colon + 1), C2, R2)) {
      continue;
    }
    if (Row < R1 || Row > R2 || Col < C1 || Col > C2) continue;
    if (TCell* Anchor = FindToChange(FFormulaCells[I].Row, FFormulaCells[I].Col))
      Anchor->Form = static_cast<uint8_t>(Anchor->Form & ~kFormula);
    FFormulaCells.erase(FFormulaCells.begin() + static_cast<ptrdiff_t>(I--));
  }
  FKept.erase((static_cast<uint64_t>(Row) << 14) | static_cast<uint64_t>(Col));
  return *C;
}

void TSheetCells::SetCell(int32_t Row, int32_t Col, std::string_view Text, TCellType Type) {
  EditCell(Row, Col, Type, Text, {});
}

void TSheetCells::SetCell(int32_t Row, int32_t Col, std::string_view Text, TCellType Type,
                          int32_t Style, std::string_view Value) {
  EditCell(Row, Col, Type, Text, Value).Style = StyleField(Style);
}

void TSheetCells::SetCell(int32_t Row, int32_t Col, std::string_view Text) {
  double Number;
  SetCell(Row, Col, Text,
          Text.empty()                       ? TCellType::Empty
          : TryParseNumberText(Text, Number) ? TCellType::Number
                                             : TCellType::InlineString);
}

void TSheetCells::SetCachedValue(int32_t Row, int32_t Col, std::string_view Text, TCellType Type,
                                 std::string_view Value) {
  TCell* C = FindToChange(Row, Col);
  if (!C || !(C->Form & kFormula)) return;
  C->Type = Type;
  StoreText(*C, Text, Value);
  FKept.erase((static_cast<uint64_t>(Row) << 14) | static_cast<uint64_t>(Col));
}

void TSheetCells::MarkRecomputed(int32_t Row, int32_t Col) {
  TCell* C = FindToChange(Row, Col);
  if (!C || !(C->Form & kFormula)) return;
  C->Form |= kRecomputed;
  FAnyRecomputed = true;
}

bool TSheetCells::IsRecomputed(int32_t Row, int32_t Col) const {
  if (!FAnyRecomputed) return false;
  const TCell* C = Find(Row, Col);
  return C && (C->Form & kRecomputed);
}

bool TSheetCells::RecomputedBounds(int32_t& Row1, int32_t& Col1, int32_t& Row2,
                                   int32_t& Col2) const {
  bool Any = false;
  if (!FAnyRecomputed) return false;
  for (const TFormulaCell& F : FFormulaCells) {
    if (!IsRecomputed(F.Row, F.Col)) continue;
    if (!Any) {
      Row1 = Row2 = F.Row;
      Col1 = Col2 = F.Col;
      Any = true;
    }
    Row2 = F.Row;  // the cells are in row order
    Col1 = std::min(Col1, F.Col);
    Col2 = std::max(Col2, F.Col);
  }
  return Any;
}

bool TSheetCells::RecomputedIn(int32_t Row1, int32_t Col1, int32_t Row2, int32_t Col2) const {
  if (!FAnyRecomputed) return false;
  auto It = std::lower_bound(
      FFormulaCells.begin(), FFormulaCells.end(), std::make_pair(Row1, 0),
      [](const TFormulaCell& F, std::pair<int32_t, int32_t> P) { return F.Row < P.first; });
  for (; It != FFormulaCells.end() && It->Row <= Row2; ++It)
    if (It->Col >= Col1 && It->Col <= Col2 && IsRecomputed(It->Row, It->Col)) return true;
  return false;
}

void TSheetCells::Grow(int32_t Rows, int32_t Cols) {
  FRows = std::max(FRows, std::min(Rows, kMaxRows));
  FCols = std::max(FCols, std::min(Cols, kMaxCols));
}

void TSheetCells::Compact() {
  for (TBlock& B : FBlocks) {
    const size_t Capacity = B.capacity();
    B.shrink_to_fit();
    FTexts->Release((Capacity - B.capacity()) * sizeof(TCell));
  }
  const size_t Slots = FBlocks.capacity();
  FBlocks.shrink_to_fit();
  FTexts->Release((Slots - FBlocks.capacity()) * sizeof(TBlock));
}

// ---- formulas -------------------------------------------------------------------

namespace {

bool Before(int32_t R1, int32_t C1, int32_t R2, int32_t C2) {
  return R1 < R2 || (R1 == R2 && C1 < C2);
}

}  // namespace

uint32_t TSheetCells::AddFormula(std::string_view Text, TFormulaKind Kind, int32_t AnchorRow,
                                 int32_t AnchorCol, std::string_view Range) {
  FTexts->Charge(sizeof(TFormula) + Text.size() + Range.size());
  FFormulas.push_back({std::string(Text), std::string(Range), Kind, AnchorRow, AnchorCol});
  return static_cast<uint32_t>(FFormulas.size() - 1);
}

void TSheetCells::UpdateFormula(uint32_t Formula, std::string_view Text, int32_t AnchorRow,
                                int32_t AnchorCol, std::string_view Range) {
  TFormula& F = FFormulas[Formula];
  FTexts->Charge(Text.size() + Range.size());
  F.Text = Text;
  F.Range = Range;
  F.AnchorRow = AnchorRow;
  F.AnchorCol = AnchorCol;
}

void TSheetCells::SetCellFormula(int32_t Row, int32_t Col, uint32_t Formula) {
  // A load gives each cell its formula right after putting it: the cell is
  // then its block's last, the one place a search would find it.
  TCell* C = nullptr;
  const size_t BlockIndex = static_cast<size_t>(Row) >> kBlockShift;
  if (Row >= 0 && Col >= 0 && BlockIndex < FBlocks.size() && !FBlocks[BlockIndex].empty()) {
    TCell& Last = FBlocks[BlockIndex].back();
    if (Last.Row == static_cast<uint32_t>(Row & (kBlockRows - 1)) &&
        Last.Col == static_cast<uint32_t>(Col))
      C = &Last;
  }
  if (!C) C = FindToChange(Row, Col);
  if (!C) return;
  C->Form |= kFormula;
  if (FFormulaCells.empty() ||
      Before(FFormulaCells.back().Row, FFormulaCells.back().Col, Row, Col)) {
    FTexts->Charge(sizeof(TFormulaCell));
    FFormulaCells.push_back({Row, Col, Formula});
    return;
  }
  auto It = std::lower_bound(FFormulaCells.begin(), FFormulaCells.end(), std::make_pair(Row, Col),
                             [](const TFormulaCell& F, std::pair<int32_t, int32_t> P) {
                               return Before(F.Row, F.Col, P.first, P.second);
                             });
  if (It != FFormulaCells.end() && It->Row == Row && It->Col == Col) {
    It->Formula = Formula;
    return;
  }
  FTexts->Charge(sizeof(TFormulaCell));
  FFormulaCells.insert(It, {Row, Col, Formula});
}

void TSheetCells::DropFormula(int32_t Row, int32_t Col) {
  auto It = std::lower_bound(FFormulaCells.begin(), FFormulaCells.end(), std::make_pair(Row, Col),
                             [](const TFormulaCell& F, std::pair<int32_t, int32_t> P) {
                               return Before(F.Row, F.Col, P.first, P.second);
                             });
  if (It != FFormulaCells.end() && It->Row == Row && It->Col == Col) FFormulaCells.erase(It);
}

bool TSheetCells::HasFormula(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  return C && (C->Form & kFormula);
}

bool TSheetCells::CellFormula(int32_t Row, int32_t Col, TCellFormula& Out) const {
  if (!HasFormula(Row, Col)) return false;
  auto It = std::lower_bound(FFormulaCells.begin(), FFormulaCells.end(), std::make_pair(Row, Col),
                             [](const TFormulaCell& F, std::pair<int32_t, int32_t> P) {
                               return Before(F.Row, F.Col, P.first, P.second);
                             });
  if (It == FFormulaCells.end() || It->Row != Row || It->Col != Col) return false;
  FormulaOf(*It, Out);
  return true;
}

void TSheetCells::FormulaOf(const TFormulaCell& Cell, TCellFormula& Out) const {
  const TFormula& F = FFormulas[Cell.Formula];
  Out.Text = F.Text;
  Out.Kind = F.Kind;
  Out.AnchorRow = F.AnchorRow;
  Out.AnchorCol = F.AnchorCol;
  Out.Range = F.Range;
}

std::string TSheetCells::FormulaText(int32_t Row, int32_t Col) const {
  TCellFormula F;
  if (!CellFormula(Row, Col, F)) return {};
  if (F.Kind != TFormulaKind::Shared || (F.AnchorRow == Row && F.AnchorCol == Col) ||
      F.AnchorRow < 0)
    return std::string(F.Text);
  return ShiftFormulaReferences(F.Text, Row - F.AnchorRow, Col - F.AnchorCol);
}

void TSheetCells::FormulaCellAt(size_t I, int32_t& Row, int32_t& Col) const {
  Row = FFormulaCells[I].Row;
  Col = FFormulaCells[I].Col;
}

// A cell is in FFormulaCells exactly while it carries kFormula (SetCellFormula
// sets both, PutCell, EditCell and DropFormula take both away), so the entry
// alone says what CellFormula would find.
void TSheetCells::FormulaCellAt(size_t I, int32_t& Row, int32_t& Col, TCellFormula& Out) const {
  FormulaCellAt(I, Row, Col);
  FormulaOf(FFormulaCells[I], Out);
}

// ---- navigation ------------------------------------------------------------------

bool TSheetCells::IsFilled(int32_t Row, int32_t Col) const {
  const TCell* C = Find(Row, Col);
  return C && !TextOf(*C).empty();
}

bool TSheetCells::LastUsedCell(int32_t& Row, int32_t& Col) const {
  if (FRows == 0 || FCols == 0) return false;
  Row = FRows - 1;
  Col = FCols - 1;
  return true;
}

int32_t TSheetCells::FirstUsedCol(int32_t Row) const {
  int32_t Col;
  return IsFilled(Row, 0) ? 0 : FindInRow(Row, 0, 1, true, Col) ? Col : -1;
}

int32_t TSheetCells::LastUsedCol(int32_t Row) const {
  int32_t Col;
  return FindInRow(Row, kMaxCols, -1, true, Col) ? Col : -1;
}

int32_t TSheetCells::NextRowWithCells(int32_t Row, int Step) const {
  const auto Less = [](const TCell& C, uint32_t I) { return C.Row < I; };
  for (int32_t R = Row + Step; R >= 0 && R < FRows;) {
    const size_t BlockIndex = static_cast<size_t>(R) >> kBlockShift;
    const int32_t Base = static_cast<int32_t>(BlockIndex << kBlockShift);
    if (BlockIndex >= FBlocks.size()) {
      if (Step > 0) return -1;
      R = static_cast<int32_t>(FBlocks.size() << kBlockShift) - 1;
      continue;
    }
    const TBlock& B = FBlocks[BlockIndex];
    const auto I = static_cast<uint32_t>(R - Base);
    if (Step > 0) {
      const auto It = std::lower_bound(B.begin(), B.end(), I, Less);
      if (It != B.end()) return Base + static_cast<int32_t>(It->Row);
      R = Base + kBlockRows;
    } else {
      const auto It = std::lower_bound(B.begin(), B.end(), I + 1, Less);
      if (It != B.begin()) return Base + static_cast<int32_t>(std::prev(It)->Row);
      R = Base - 1;
    }
  }
  return -1;
}

bool TSheetCells::FindInColumn(int32_t Row, int32_t Col, int Step, bool Filled,
                               int32_t& OutRow) const {
  if (Filled) {
    for (int32_t R = NextRowWithCells(Row, Step); R >= 0; R = NextRowWithCells(R, Step))
      if (IsFilled(R, Col)) {
        OutRow = R;
        return true;
      }
    return false;
  }
  for (int32_t R = Row + Step; R >= 0 && R < FRows; R += Step)
    if (!IsFilled(R, Col)) {
      OutRow = R;
      return true;
    }
  return false;
}

bool TSheetCells::FindInRow(int32_t Row, int32_t Col, int Step, bool Filled,
                            int32_t& OutCol) const {
  if (!Filled) {
    for (int32_t C = Col + Step; C >= 0 && C < FCols; C += Step)
      if (!IsFilled(Row, C)) {
        OutCol = C;
        return true;
      }
    return false;
  }
  if (Row < 0 || Row >= FRows) return false;
  const size_t BlockIndex = static_cast<size_t>(Row) >> kBlockShift;
  if (BlockIndex >= FBlocks.size()) return false;
  const TBlock& B = FBlocks[BlockIndex];
  uint32_t Begin, End;
  RowRange(B, Row & (kBlockRows - 1), Begin, End);
  for (uint32_t K = 0; K < End - Begin; ++K) {
    const TCell& C = B[Step > 0 ? Begin + K : End - 1 - K];
    const bool Beyond = Step > 0 ? C.Col > Col : C.Col < Col;
    if (Beyond && !TextOf(C).empty()) {
      OutCol = C.Col;
      return true;
    }
  }
  return false;
}

bool TSheetCells::FindCell(int32_t Row, int32_t Col, TDirection Dir, bool Filled, int32_t& OutRow,
                           int32_t& OutCol) const {
  const int Step = Dir == TDirection::Down || Dir == TDirection::Right ? 1 : -1;
  OutRow = Row;
  OutCol = Col;
  if (Dir == TDirection::Up || Dir == TDirection::Down)
    return FindInColumn(Row, Col, Step, Filled, OutRow);
  return FindInRow(Row, Col, Step, Filled, OutCol);
}

void TSheetCells::DataRegionEdge(int32_t Row, int32_t Col, TDirection Dir, int32_t& OutRow,
                                 int32_t& OutCol) const {
  OutRow = Row;
  OutCol = Col;
  const bool Vertical = Dir == TDirection::Up || Dir == TDirection::Down;
  const int Step = Dir == TDirection::Down || Dir == TDirection::Right ? 1 : -1;
  const int32_t Pos = Vertical ? Row : Col;
  const int32_t Edge = Step < 0 ? 0 : (Vertical ? FRows : FCols) - 1;
  if (Step > 0 ? Pos >= Edge : Pos <= Edge) return;
  int32_t& Out = Vertical ? OutRow : OutCol;
  const bool NextFilled = Vertical ? IsFilled(Row + Step, Col) : IsFilled(Row, Col + Step);
  if (IsFilled(Row, Col) && NextFilled) {
    if (FindCell(Row, Col, Dir, false, OutRow, OutCol))
      Out -= Step;
    else
      Out = Edge;
    return;
  }
  if (!FindCell(Row, Col, Dir, true, OutRow, OutCol)) Out = Edge;
}

}  // namespace kv
