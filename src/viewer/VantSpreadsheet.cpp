#include "viewer/VantSpreadsheet.h"

#include <algorithm>

#include "base/Error.h"
#include "base/HostPorts.h"
#include "base/Text.h"
#include "calc/RecalcService.h"
#include "export/XlsxExporter.h"
#include "viewer/DisplaySettings.h"
#include "viewer/SheetNavigation.h"

namespace kv {

int64_t HighlightKey(int32_t Sheet, int32_t Row, int32_t Col) {
  return (int64_t(Sheet) << 40) | (int64_t(Row) << 20) | int64_t(Col);
}

std::optional<TColor> HighlightColorFromName(std::string_view Name) {
  static const struct {
    std::string_view Name;
    TColor Color;
  } Table[] = {{"Yellow", Rgb(255, 255, 128)},
               {"Green", Rgb(128, 255, 128)},
               {"Red", Rgb(255, 128, 128)},
               {"Blue", Rgb(128, 192, 255)},
               {"Orange", Rgb(255, 165, 10)}};
  std::string N = Trim(Name);
  for (const auto& E : Table)
    if (SameTextAscii(N, E.Name)) return E.Color;
  return std::nullopt;
}

TVantSpreadsheet::TVantSpreadsheet(IWindowSystem& Windows, IHost* Host,
                                   TWindowHandle RectangleHandle)
    : FWindows(Windows), FHost(Host), FRectangleHandle(RectangleHandle) {}

std::unique_ptr<TVantSpreadsheet> TVantSpreadsheet::CreateAttached(IWindowSystem& Windows,
                                                                   IHost* Host, void*,
                                                                   TWindowHandle RectangleHandle) {
  std::unique_ptr<TVantSpreadsheet> V(new TVantSpreadsheet(Windows, Host, RectangleHandle));
  TWindowHandle HostWnd = Host ? Host->HostWindow() : 0;
  TWindowHandle Parent = HostWnd != 0 && Windows.IsWindow(HostWnd) ? HostWnd : RectangleHandle;
  if (Parent == 0 || !Windows.IsWindow(Parent))
    throw TKvError("Excel spreadsheet: Folivant host window is not valid.");
  int Code = 0;
  V->FWindow = Windows.CreateViewerWindow(Parent, *V, Code);
  if (!V->FWindow)
    throw TKvError("Excel spreadsheet: CreateWindowEx(STATIC) failed (Win32 error " +
                   std::to_string(Code) + ").");
  V->FWnd = V->FWindow->Handle();
  V->FWindow->StartTimer(kViewerTimerId, kViewerTimerMs);
  return V;
}

TVantSpreadsheet::~TVantSpreadsheet() {
  // Destroying the window moves the focus away from an open editor; with FEdit
  // cleared first that notification commits nothing.
  TWindowHandle Edit = FEdit;
  FEdit = 0;
  FDraggingEdit = false;
  if (FWindow) {
    FWindow->StopTimer(kViewerTimerId);
    FWindow->Destroy();
    FWnd = 0;
    if (Edit != 0) FWindow->DestroyEditor(Edit);
  }
}

void TVantSpreadsheet::Invalidate() {
  if (!FWindow) return;
  FWindow->Invalidate();
  UpdateScrollBars();
}

TVantSpreadsheet::TScrollRange TVantSpreadsheet::ScrollRange(bool Vertical) const {
  TScrollRange R;
  const TXlsxSheet* S = CurrentSheet();
  const int64_t Count = S ? std::max(1, Vertical ? S->RowCount() : S->ColCount()) : 1;
  const int64_t Page = Vertical ? VisibleRows() : VisibleCols();
  // The last row can come to the top: the range runs a page past it.
  const int64_t Total = Count + Page - 1;
  constexpr int64_t kUnits = 30000;
  R.Scale = int32_t((Total + kUnits - 1) / kUnits);
  R.Max = int32_t((Total - 1) / R.Scale);
  R.Page = int32_t(std::max<int64_t>(1, Page / R.Scale));
  R.Pos = (Vertical ? FTopLeft.Row : FTopLeft.Col) / R.Scale;
  return R;
}

void TVantSpreadsheet::UpdateScrollBars() {
  if (!FWindow || FUpdatingScroll || (!FScrollBars && !FScrollShown)) return;
  // Showing a bar resizes the client area, which comes back here.
  FUpdatingScroll = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } Done{FUpdatingScroll};
  if (!FScrollBars) {
    FWindow->SetScrollBar(true, false, 0, 0, 0);
    FWindow->SetScrollBar(false, false, 0, 0, 0);
    FScrollShown = false;
    return;
  }
  const bool Fresh = !FScrollShown;
  FScrollShown = true;
  for (bool Vertical : {true, false}) {
    const TScrollRange R = ScrollRange(Vertical);
    TScrollRange& Last = Vertical ? FLastV : FLastH;
    if (!Fresh && R == Last) continue;
    Last = R;
    FWindow->SetScrollBar(Vertical, true, R.Max, R.Page, R.Pos);
  }
}

void TVantSpreadsheet::HandleScroll(bool Vertical, uint32_t Code, int32_t Pos) {
  if (!CurrentSheet()) return;
  const TScrollRange R = ScrollRange(Vertical);
  int32_t& First = Vertical ? FTopLeft.Row : FTopLeft.Col;
  const int64_t Page = Vertical ? VisibleRows() : VisibleCols();
  const int64_t Last = Vertical ? MaxTopRow() : MaxLeftCol();
  int64_t To = First;
  switch (Code) {
    case msg::kScrollLineUp:
      To -= 1;
      break;
    case msg::kScrollLineDown:
      To += 1;
      break;
    case msg::kScrollPageUp:
      To -= Page;
      break;
    case msg::kScrollPageDown:
      To += Page;
      break;
    case msg::kScrollThumbPosition:
    case msg::kScrollThumbTrack:
      // The thumb's last position is the last row, whatever the scale.
      To = Pos >= R.Max - R.Page + 1 ? Last : int64_t(Pos) * R.Scale;
      break;
    case msg::kScrollTop:
      To = 0;
      break;
    case msg::kScrollBottom:
      To = Last;
      break;
    default:
      return;
  }
  First = int32_t(std::clamp<int64_t>(To, 0, Last));
  Invalidate();
}

const TXlsxSheet* TVantSpreadsheet::CurrentSheet() const {
  if (!FWorkbook || FCurrentSheet < 0 || FCurrentSheet >= FWorkbook->SheetCount()) return nullptr;
  // Through the service: formulas the file left without a value show computed.
  return &FRecalc->Sheet(FCurrentSheet);
}

// ---- Window messages ----

TMessageResult TVantSpreadsheet::HandleMessage(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  try {
    switch (Msg) {
      case msg::Size:
        Invalidate();
        return TMessageResult::Handled;
      case msg::Paint:
        FWindow->Paint([this](TPaintList& L) { PaintViewer(L); });
        return TMessageResult::Handled;
      case msg::EraseBkgnd:
        return TMessageResult::Handled;
      case msg::KeyDown:
        HandleKeyDown(uint32_t(WParam & 0xFFFF));
        return TMessageResult::Handled;
      case msg::Char:
        HandleChar(WParam);
        return TMessageResult::Handled;
      case msg::EditorKeyDown:
        return HandleEditorKey(uint32_t(WParam & 0xFFFF)) ? TMessageResult::Handled
                                                          : TMessageResult::Default;
      case msg::Command:
        if (FEdit != 0 && TWindowHandle(LParam) == FEdit &&
            ((WParam >> 16) & 0xFFFF) == msg::EnKillFocus)
          EndCellEdit(true, true);
        return TMessageResult::Handled;
      case msg::Timer:
        if (!FDraggingEdit) UpdatePosition();
        return TMessageResult::Handled;
      case msg::LButtonDown:
        if (FWindow) FWindow->SetFocus();
        HandleClick(int16_t(LParam & 0xFFFF), int16_t((LParam >> 16) & 0xFFFF));
        return TMessageResult::Handled;
      case msg::LButtonDblClk:
        BeginCellEdit();
        return TMessageResult::Handled;
      case msg::MouseWheel:
        HandleWheel(WParam, LParam);
        return TMessageResult::Handled;
      case msg::VScroll:
      case msg::HScroll:
        HandleScroll(Msg == msg::VScroll, uint32_t(WParam & 0xFFFF),
                     int32_t((WParam >> 16) & 0xFFFF));
        return TMessageResult::Handled;
      case msg::HostNotify:
        HandleHostNotify(LParam);
        return TMessageResult::Handled;
      case msg::PageNavigate:
        if (WParam == kActionPrevPage) RunHostCommand("GotoPrevpage");
        if (WParam == kActionNextPage) RunHostCommand("Gotonextpage");
        return TMessageResult::Handled;
      case msg::SetFocus:
      case msg::KillFocus:
      case msg::MouseMove:
        return TMessageResult::DefaultThenZero;
      default:
        return TMessageResult::Default;
    }
  } catch (const std::exception& E) {
    // No error may leave the window procedure.
    ReportError(ErrorMessage(E));
    return TMessageResult::Handled;
  }
}

void TVantSpreadsheet::HandleHostNotify(intptr_t Code) {
  try {
    if (Code == kHostNotifyHide || Code == kHostNotifyHideAlt) {
      HideSpreadsheet();
    } else if (Code == kHostNotifyReattach) {
      ReattachRectangle();
      ShowSpreadsheet();
    }
  } catch (const std::exception& E) {
    ReportError(ErrorMessage(E));
  }
}

void TVantSpreadsheet::HandleKeyDown(uint32_t Key) {
  const uint32_t Mods = FWindow ? FWindow->KeyModifiers() : 0;
  const bool Ctrl = (Mods & kModCtrl) != 0, Shift = (Mods & kModShift) != 0;
  switch (Key) {
    case vk::Return:
    case vk::F2:
      BeginCellEdit();
      break;
    case vk::Back:
      BeginCellEdit(std::string());
      break;
    case vk::Delete:
      ClearSelectedCell();
      break;
    case vk::Tab:
      MoveSelection(Shift ? -1 : 1, 0);
      break;
    case vk::Prior:
    case vk::Next:
      if (Ctrl)
        Key == vk::Next ? NextSheet() : PrevSheet();
      else
        PageSelection(Key == vk::Next ? 1 : -1);
      break;
    case vk::Home:
    case vk::End:
      HomeOrEndKey(Key == vk::End, Ctrl);
      break;
    case vk::Left:
      ArrowKey(-1, 0, Ctrl);
      break;
    case vk::Right:
      ArrowKey(1, 0, Ctrl);
      break;
    case vk::Up:
      ArrowKey(0, -1, Ctrl);
      break;
    case vk::Down:
      ArrowKey(0, 1, Ctrl);
      break;
    default:
      break;
  }
}

bool TVantSpreadsheet::HandleEditorKey(uint32_t Key) {
  if (FEdit == 0 || !FWindow) return false;
  const uint32_t Mods = FWindow->KeyModifiers();
  const bool Shift = (Mods & kModShift) != 0;
  switch (Key) {
    case vk::Return:
      if (Mods & kModAlt) {
        FWindow->InsertEditorText(FEdit, "\r\n");
        return true;
      }
      EndCellEdit(true);
      MoveSelection(0, Shift ? -1 : 1);
      return true;
    case vk::Tab:
      EndCellEdit(true);
      MoveSelection(Shift ? -1 : 1, 0);
      return true;
    case vk::Escape:
      EndCellEdit(false);
      return true;
    default:
      return false;
  }
}

void TVantSpreadsheet::HandleChar(uintptr_t Code) {
  // A printable character starts the cell's new content; control characters
  // (Enter, Tab, Backspace, Escape) have had their key already.
  if (FEdit != 0 || Code < 32 || Code == 127 || Code > 0xFFFF) return;
  if (Code >= 0xD800 && Code <= 0xDFFF) return;
  BeginCellEdit(CodePointToUtf8(char32_t(Code)));
}

void TVantSpreadsheet::MoveSelection(int32_t DCol, int32_t DRow) {
  int64_t Col = int64_t(FSelected.Col) + DCol, Row = int64_t(FSelected.Row) + DRow;
  if (Col < 0 || Row < 0 || Col > INT32_MAX || Row > INT32_MAX) return;
  SelectCell(int32_t(Col), int32_t(Row), true);
}

void TVantSpreadsheet::ArrowKey(int32_t DCol, int32_t DRow, bool ToEdge) {
  const TXlsxSheet* S = CurrentSheet();
  if (!S) return;
  if (!ToEdge) return MoveSelection(DCol, DRow);
  int32_t Row = FSelected.Row, Col = FSelected.Col;
  DataRegionEdge(*S, DRow, DCol, Row, Col);
  SelectCell(Col, Row, true);
}

void TVantSpreadsheet::HomeOrEndKey(bool End, bool Ctrl) {
  const TXlsxSheet* S = CurrentSheet();
  if (!S) return;
  if (Ctrl) {
    // The last used cell: the last used row's and the last used column's.
    if (End) return SelectCell(S->ColCount() - 1, S->RowCount() - 1, true);
    return SelectCell(0, 0, true);
  }
  int32_t Col = End ? RowLastUsedCol(*S, FSelected.Row) : RowFirstUsedCol(*S, FSelected.Row);
  SelectCell(std::max(Col, 0), FSelected.Row, true);
}

void TVantSpreadsheet::PageSelection(int32_t Direction) {
  const TXlsxSheet* S = CurrentSheet();
  if (!S || S->RowCount() <= 0) return;
  const int64_t Step = int64_t(VisibleRows()) * Direction;
  const int64_t Row = std::clamp<int64_t>(FSelected.Row + Step, 0, S->RowCount() - 1);
  FTopLeft.Row = int32_t(std::clamp<int64_t>(FTopLeft.Row + Step, 0, MaxTopRow()));
  SelectCell(FSelected.Col, int32_t(Row), true);
}

void TVantSpreadsheet::ClearSelectedCell() {
  const TXlsxSheet* S = CurrentSheet();
  if (!S || FEdit != 0 || FSelected.Col < 0 || FSelected.Col >= S->ColCount() ||
      FSelected.Row < 0 || FSelected.Row >= S->RowCount())
    return;
  // A formula whose value is empty text is there to clear too.
  if (FRecalc->EditorText(FCurrentSheet, FSelected.Row, FSelected.Col).empty()) return;
  FRecalc->EditCell(FCurrentSheet, FSelected.Row, FSelected.Col, "");
  Invalidate();
}

int32_t TVantSpreadsheet::VisibleRows() const {
  const int32_t Row = Metrics().Row;
  return std::max(1, (GridRect().Height() - Row) / Row);
}

int32_t TVantSpreadsheet::VisibleCols() const {
  return std::max(1, (GridRect().Width() - Metrics().Header) / FCellWidth);
}

int32_t TVantSpreadsheet::MaxTopRow() const {
  const TXlsxSheet* S = CurrentSheet();
  return S ? std::max(0, S->RowCount() - 1) : 0;
}

int32_t TVantSpreadsheet::MaxLeftCol() const {
  const TXlsxSheet* S = CurrentSheet();
  return S ? std::max(0, S->ColCount() - 1) : 0;
}

void TVantSpreadsheet::ScrollTabs(int32_t Delta) {
  const int32_t Last = std::max(0, SheetCount() - 1);
  FTabScroll = int32_t(std::clamp<int64_t>(int64_t(FTabScroll) + Delta, 0, Last));
  Invalidate();
}

void TVantSpreadsheet::BringCurrentTabIntoView() {
  if (FCurrentSheet < 0) return;
  if (FCurrentSheet < FTabScroll) FTabScroll = FCurrentSheet;
  while (FTabScroll < FCurrentSheet) {
    const TTabLayout L = TabLayout();
    const int32_t End = L.Buttons ? L.Back.Left : SheetTabRect().Right;
    bool Whole = false;
    for (const auto& [Sheet, Box] : L.Tabs)
      if (Sheet == FCurrentSheet) Whole = Box.Right <= End;
    if (Whole) break;
    ++FTabScroll;
  }
}

void TVantSpreadsheet::HandleWheel(uintptr_t WParam, intptr_t LParam) {
  int32_t Delta = int16_t((WParam >> 16) & 0xFFFF);
  int32_t Steps = Delta / kWheelStep;
  // Over the tab strip the wheel scrolls the tabs.
  int32_t X = int16_t(LParam & 0xFFFF), Y = int16_t((LParam >> 16) & 0xFFFF);
  if (FWindow) FWindow->ScreenToClientPoint(X, Y);
  if (!FPageMode && SheetTabRect().Contains(X, Y)) return ScrollTabs(-Steps);
  const bool Sideways = (WParam & msg::MkShift) != 0;
  int32_t& Target = Sideways ? FTopLeft.Col : FTopLeft.Row;
  int64_t Moved = int64_t(Target) - Steps;
  Target = int32_t(std::clamp<int64_t>(Moved, 0, Sideways ? MaxLeftCol() : MaxTopRow()));
  Invalidate();
}

void TVantSpreadsheet::HandleClick(int32_t X, int32_t Y) {
  int32_t Button = ActionButtonAt(X, Y);
  if (Button >= 0) {
    if (Button == kActionPrevPage || Button == kActionNextPage) {
      FWindow->PostToSelf(msg::PageNavigate, uintptr_t(Button), 0);
      return;
    }
    try {
      if (Button == kActionEdit) BeginCellEdit();
      if (Button == kActionHighlight) ToggleHighlightSelection("Yellow");
      if (Button == kActionSave) SaveWorkbook("");
    } catch (const std::exception& E) {
      ReportError(ErrorMessage(E));
    }
    return;
  }
  int32_t Scroll = TabScrollButtonAt(X, Y);
  if (Scroll >= 0) {
    ScrollTabs(Scroll == 0 ? -1 : 1);
    return;
  }
  int32_t Tab = SheetTabAt(X, Y);
  if (Tab >= 0) {
    GotoSheet(Tab);
    return;
  }
  if (FToolbarPlacement != TToolbarPlacement::None && ToolbarRect().Contains(X, Y)) {
    int32_t B = ToolbarButtonAt(X, Y);
    if (B == kToolbarPrevSheet) PrevSheet();
    if (B == kToolbarNextSheet) NextSheet();
    return;
  }
  int32_t Row = 0, Col = 0;
  if (CellAt(X, Y, Row, Col)) SelectCell(Col, Row, true);
}

// ---- Attachment ----

TWindowHandle TVantSpreadsheet::ResolveRectangleWindow() {
  if (FRectangleHandle != 0 && FWindows.IsWindow(FRectangleHandle)) return FRectangleHandle;
  if (!FRectangleName.empty() && FHost && FHost->HasInterfaceAccess()) {
    std::optional<std::string> Slot = FRectangleName;
    FHost->InterfaceAccess(iaObjectWindow, Slot);
    int64_t N = 0;
    if (Slot) N = TryParseInt64(Trim(*Slot)).value_or(0);
    if (N != 0 && FWindows.IsWindow(TWindowHandle(N))) {
      FRectangleHandle = TWindowHandle(N);
      return FRectangleHandle;
    }
  }
  return 0;
}

void TVantSpreadsheet::ReattachRectangle() {
  FRectangleHandle = ResolveRectangleWindow();
  UpdatePosition();
}

bool TVantSpreadsheet::UpdatePosition() {
  if (FWnd == 0) return false;
  TWindowHandle R = ResolveRectangleWindow();
  if (R == 0) {
    HideSpreadsheet();
    ReportError("Excel spreadsheet: Rectangle window is not available.");
    return false;
  }
  int32_t W = 0, H = 0;
  if (!FWindow->IsAlive() || !FWindows.ClientSize(R, W, H)) return false;
  if (W < kMinShownSize || H < kMinShownSize) {
    HideSpreadsheet();
    return false;
  }
  TWindowHandle HostWnd = FHost ? FHost->HostWindow() : 0;
  int32_t X = 0, Y = 0;
  if (HostWnd != 0 && HostWnd != R && FWindows.IsWindow(HostWnd)) {
    if (!FWindows.ClientOriginIn(R, HostWnd, X, Y)) return false;
  }
  FWindow->Move(X, Y, W, H);
  if (!FWindow->IsVisible()) FWindow->Show();
  return true;
}

void TVantSpreadsheet::ShowSpreadsheet() {
  // Showing a viewer that could not be placed would leave it at its last (or
  // first, 800 x 500) place until the next tick hides it again.
  if (!UpdatePosition()) return;
  if (FWnd != 0) {
    FWindow->ShowNoActivate();
    FWindow->Invalidate();
  }
}

void TVantSpreadsheet::HideSpreadsheet() {
  if (FWnd != 0) FWindow->Hide();
}

void TVantSpreadsheet::ReportError(const std::string& Message) {
  if (FHost && FHost->HasSetVariable()) FHost->SetVariable("[LastError]", Message);
}

void TVantSpreadsheet::RunHostCommand(const std::string& Command) {
  if (FHost && FHost->HasPlayAction()) FHost->PlayAction(Command);
}

void TVantSpreadsheet::PublishVariables() {
  if (!FHost || !FHost->HasSetVariable() || FVariableName.empty()) return;
  FHost->SetVariable("[" + FVariableName + "]", CurrentSheetName());
  FHost->SetVariable("[" + FVariableName + "_Index]", std::to_string(FCurrentSheet + 1));
  FHost->SetVariable("[" + FVariableName + "_Count]", std::to_string(SheetCount()));
}

// ---- Operations ----

void TVantSpreadsheet::SetToolbarPlacement(const std::string& PlacementStr) {
  std::string P = Trim(PlacementStr);
  if (SameTextAscii(P, "Page")) {
    FPageMode = true;
    FToolbarPlacement = TToolbarPlacement::None;
  } else {
    static const std::pair<const char*, TToolbarPlacement> kWords[] = {
        {"None", TToolbarPlacement::None},
        {"Bottom", TToolbarPlacement::Bottom},
        {"Left", TToolbarPlacement::Left},
        {"Right", TToolbarPlacement::Right}};
    FPageMode = false;
    FToolbarPlacement = TToolbarPlacement::Top;
    for (const auto& [Word, Placement] : kWords)
      if (SameTextAscii(P, Word)) FToolbarPlacement = Placement;
  }
  Invalidate();
}

void TVantSpreadsheet::LoadWorkbook(const std::string& FileName) {
  // An edit still open belongs to the workbook being replaced.
  EndCellEdit(false);
  FRecalc.reset();
  FWorkbook.reset();
  auto Book = std::make_unique<TXlsxWorkbook>();
  Book->LoadFromFile(FileName);
  auto Recalc = std::make_unique<TRecalcService>(*Book);
  FWorkbook = std::move(Book);
  FRecalc = std::move(Recalc);
  FFileName = FileName;
  FCurrentSheet = -1;
  FTopLeft = {};
  FTabScroll = 0;
  FHighlights.clear();
  if (FWorkbook->SheetCount() > 0) {
    FCurrentSheet = 0;
    FSelected = {};
    PublishVariables();
    ClampSelection();
  }
}

void TVantSpreadsheet::SaveWorkbook(const std::string& FileName) {
  if (!FWorkbook) throw TKvError("No workbook is currently open.");
  EndCellEdit(true);
  std::string Target = FileName;
  if (IsBlank(Target)) Target = FFileName;
  if (IsBlank(Target)) throw TKvError("No output file name was supplied.");
  FWorkbook->SaveToFile(Target);
}

void TVantSpreadsheet::ExportWorkbook(const std::string& FormatStr, const std::string& ScopeStr,
                                      const std::string& FileName) {
  if (!FWorkbook) throw TKvError("No workbook is currently open.");
  // Every sheet as the viewer shows it, formulas without a value computed.
  if (IsAllSheetsScope(ScopeStr))
    for (int I = 0; I < FWorkbook->SheetCount(); ++I) (void)FRecalc->Sheet(I);
  // The PDF sets its text in the grid font where the platform can read it.
  ExportWorkbookToFile(FWorkbook.get(), FCurrentSheet, FormatStr, FileName, ScopeStr,
                       FGridFontName);
}

int32_t TVantSpreadsheet::SheetCount() const {
  return FWorkbook ? FWorkbook->SheetCount() : 0;
}

std::string TVantSpreadsheet::CurrentSheetName() const {
  const TXlsxSheet* S = CurrentSheet();
  return S ? S->Name : std::string();
}

bool TVantSpreadsheet::GotoSheet(int32_t Index) {
  if (!FWorkbook || Index < 0 || Index >= FWorkbook->SheetCount()) return false;
  try {
    // A sheet that cannot be read leaves the current one in place.
    (void)FRecalc->Sheet(Index);
    EndCellEdit(true);
    FCurrentSheet = Index;
    FSelected = {};
    FTopLeft = {};
    BringCurrentTabIntoView();
    ClampSelection();
    PublishVariables();
    return true;
  } catch (const std::exception& E) {
    ReportError(ErrorMessage(E));
    ReattachRectangle();
    return false;
  }
}

bool TVantSpreadsheet::NextSheet() {
  return FCurrentSheet < INT32_MAX && GotoSheet(FCurrentSheet + 1);
}

bool TVantSpreadsheet::PrevSheet() {
  return GotoSheet(FCurrentSheet - 1);
}

bool TVantSpreadsheet::GotoSheetByNameOrNumber(const std::string& NameOrNumber) {
  if (!FWorkbook) return false;
  std::string Text = Trim(NameOrNumber);
  int32_t N = TryParseInt32(Text).value_or(0);
  if (N > 0) return GotoSheet(N - 1);
  for (int32_t I = 0; I < FWorkbook->SheetCount(); ++I)
    if (SameTextAscii(FWorkbook->SheetName(I), Text)) return GotoSheet(I);
  return false;
}

namespace {

// The edit control breaks lines with CR LF; a cell may hold LF alone.
std::string EditorFormOf(std::string_view Cell) {
  std::string Out;
  Out.reserve(Cell.size());
  for (size_t I = 0; I < Cell.size(); ++I) {
    if (Cell[I] == '\n' && (I == 0 || Cell[I - 1] != '\r')) Out += '\r';
    Out += Cell[I];
  }
  return Out;
}

// Back to the cell's own line breaks: LF unless the cell had CR LF.
std::string CellFormOf(std::string_view Edited, bool CrLf) {
  if (CrLf) return std::string(Edited);
  std::string Out;
  Out.reserve(Edited.size());
  for (size_t I = 0; I < Edited.size(); ++I)
    if (!(Edited[I] == '\r' && I + 1 < Edited.size() && Edited[I + 1] == '\n')) Out += Edited[I];
  return Out;
}

}  // namespace

void TVantSpreadsheet::BeginCellEdit(std::optional<std::string> NewText) {
  const TXlsxSheet* S = CurrentSheet();
  if (!S || FEdit != 0 || !FWindow) return;
  if (FSelected.Col < 0 || FSelected.Col >= S->ColCount() || FSelected.Row < 0 ||
      FSelected.Row >= S->RowCount())
    return;
  // A locked cell of a protected sheet is not for readers to change.
  if (FWorkbook->IsCellLocked(FCurrentSheet, FSelected.Row, FSelected.Col)) return;
  // An editor on a cell scrolled out of view would lie outside the grid,
  // over the toolbar or the tabs.
  EnsureCellVisible(FSelected.Col, FSelected.Row);
  Invalidate();
  // A formula cell opens on its formula, a text that would read as one
  // behind an apostrophe.
  const std::string Old = FRecalc->EditorText(FCurrentSheet, FSelected.Row, FSelected.Col);
  const std::string Text = EditorFormOf(NewText ? std::string_view(*NewText) : Old);
  const int64_t Lines = 1 + std::count(Text.begin(), Text.end(), '\n');
  TRect G = GridRect();
  const TMetrics M = Metrics();
  int64_t X = int64_t(G.Left) + M.Header + int64_t(FSelected.Col - FTopLeft.Col) * FCellWidth;
  int64_t Y = int64_t(G.Top) + int64_t(M.Row) * (int64_t(FSelected.Row) - FTopLeft.Row + 1);
  // A grid too small for one whole cell cuts the editor to what it shows; a
  // text of several lines gets a row per line while the grid has room.
  int64_t W = std::min<int64_t>(FCellWidth, G.Right - X);
  int64_t H = std::min<int64_t>(M.Row * std::min<int64_t>(Lines, 8), G.Bottom - Y);
  if (W <= 0 || H <= 0) return;
  TWindowHandle E = FWindow->CreateEditor(int32_t(X), int32_t(Y), int32_t(W), int32_t(H), Text,
                                          FGridFontName, FGridFontSize);
  if (E == 0) return;
  FEdit = E;
  FEditCrLf = Old.find("\r\n") != std::string::npos;
  FEditReplaces = NewText.has_value();
  // Read back rather than kept from the cell: the edit control may hold the
  // text differently, and only the reader's typing may count as a change.
  FEditOpenedWith = FWindow->EditorText(E);
  FWindow->SelectAllAndFocusEditor(E);
  if (FEditReplaces) FWindow->PlaceEditorCaretAtEnd(E);
  FDraggingEdit = true;
}

void TVantSpreadsheet::EndCellEdit(bool Commit, bool FocusLost) {
  if (FEdit == 0) return;
  TWindowHandle E = FEdit;
  std::string Text = FWindow->EditorText(E);
  TWindowHandle Focus = FWindow->FocusedWindow();
  bool TakeFocus = !FocusLost && (Focus == E || Focus == FWnd);
  // Cleared before the editor goes, so the focus loss its destruction causes
  // finds no editor.
  FEdit = 0;
  FDraggingEdit = false;
  struct TCloser {
    TVantSpreadsheet& V;
    TWindowHandle E;
    bool TakeFocus;
    ~TCloser() {
      V.FWindow->DestroyEditor(E);
      V.FWindow->Invalidate();
      if (TakeFocus) V.FWindow->SetFocus();
    }
  } Closer{*this, E, TakeFocus};
  const TXlsxSheet* S = CurrentSheet();
  if (!Commit || !S) return;
  // An unchanged close writes nothing: rewriting the text would turn a
  // number stored as text or a date into a typed constant, and would record
  // an edit of a formula. New content typed over the cell counts as a change
  // unless it is what the editor would have opened with.
  const std::string Value = CellFormOf(Text, FEditCrLf);
  const bool Changed =
      FEditReplaces ? Value != FRecalc->EditorText(FCurrentSheet, FSelected.Row, FSelected.Col)
                    : Text != FEditOpenedWith;
  if (Changed) FRecalc->EditCell(FCurrentSheet, FSelected.Row, FSelected.Col, Value);
}

void TVantSpreadsheet::ToggleHighlightSelection(const std::string& ColorName) {
  if (!FWorkbook || FCurrentSheet < 0 || FSelected.Col < 0 || FSelected.Row < 0) return;
  int64_t K = HighlightKey(FCurrentSheet, FSelected.Row, FSelected.Col);
  std::optional<TColor> C = HighlightColorFromName(ColorName);
  auto It = FHighlights.find(K);
  if (!C || (It != FHighlights.end() && It->second == *C))
    FHighlights.erase(K);
  else
    FHighlights[K] = *C;
  Invalidate();
}

void TVantSpreadsheet::ApplySettings(const std::string& SettingsStr) {
  for (const TSettingsEntry& E : ParseSettingsEntries(SettingsStr)) {
    const std::string& Value = E.Value;
    if (Value.empty()) continue;
    TColor C = 0;
    switch (E.Info->Key) {
      case TSettingsKey::ToolbarColor:
        if (ParseSettingsColor(Value, C)) FToolbarColor = C;
        break;
      case TSettingsKey::HeaderColor:
        if (ParseSettingsColor(Value, C)) FHeaderColor = C;
        break;
      case TSettingsKey::SelectionColor:
        if (ParseSettingsColor(Value, C)) FSelectionColor = C;
        break;
      case TSettingsKey::GridFont:
        FGridFontName = Value;
        break;
      case TSettingsKey::FontSize:
        ParseSettingsIntegerIn(*E.Info, Value, FGridFontSize);
        break;
      case TSettingsKey::RowHeight:
        ParseSettingsIntegerIn(*E.Info, Value, FRowHeight);
        break;
      case TSettingsKey::ColumnWidth:
        ParseSettingsIntegerIn(*E.Info, Value, FCellWidth);
        break;
      case TSettingsKey::NumberFormats:
        if (SameTextAscii(Value, "Stored")) FShowFormatted = false;
        if (SameTextAscii(Value, "Shown")) FShowFormatted = true;
        break;
      case TSettingsKey::ScrollBars:
        if (SameTextAscii(Value, "No")) FScrollBars = false;
        if (SameTextAscii(Value, "Yes")) FScrollBars = true;
        break;
    }
  }
  Invalidate();
}

// ---- Selection and scrolling ----

void TVantSpreadsheet::SelectCell(int32_t Col, int32_t Row, bool EnsureVisible) {
  const TXlsxSheet* S = CurrentSheet();
  if (!S || Col < 0 || Col >= S->ColCount() || Row < 0 || Row >= S->RowCount()) return;
  FSelected = {.Row = Row, .Col = Col};
  if (EnsureVisible) EnsureCellVisible(Col, Row);
  if (FWindow) FWindow->SetFocus();
  Invalidate();
}

void TVantSpreadsheet::EnsureCellVisible(int32_t Col, int32_t Row) {
  TRect G = GridRect();
  const TMetrics M = Metrics();
  int32_t VisibleCols = std::max(1, (G.Width() - M.Header) / FCellWidth);
  int32_t VisibleRows = std::max(1, (G.Height() - M.Row) / M.Row);
  if (Col < FTopLeft.Col) FTopLeft.Col = Col;
  if (int64_t(Col) >= int64_t(FTopLeft.Col) + VisibleCols) FTopLeft.Col = Col - VisibleCols + 1;
  if (Row < FTopLeft.Row) FTopLeft.Row = Row;
  if (int64_t(Row) >= int64_t(FTopLeft.Row) + VisibleRows) FTopLeft.Row = Row - VisibleRows + 1;
  FTopLeft.Col = std::max(0, FTopLeft.Col);
  FTopLeft.Row = std::max(0, FTopLeft.Row);
}

void TVantSpreadsheet::ClampSelection() {
  if (const TXlsxSheet* S = CurrentSheet()) {
    if (FSelected.Col >= S->ColCount()) FSelected.Col = 0;
    if (FSelected.Row >= S->RowCount()) FSelected.Row = 0;
    EnsureCellVisible(FSelected.Col, FSelected.Row);
  }
  Invalidate();
}

}  // namespace kv
