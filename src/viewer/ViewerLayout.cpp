// Layout, hit testing and painting of the viewer: pure functions of its
// fields and client size.
#include <algorithm>
#include <cmath>

#include "base/Text.h"
#include "viewer/VantSpreadsheet.h"
#include "workbook/CellNotation.h"

namespace kv {

namespace {

constexpr TColor kWhite = Rgb(255, 255, 255);
constexpr TColor kBlack = Rgb(0, 0, 0);
constexpr TColor kCellOutline = Rgb(200, 200, 200);
constexpr TColor kButtonOutline = Rgb(176, 176, 176);
constexpr TColor kTabStrip = Rgb(218, 218, 218);
constexpr TColor kInactiveTab = Rgb(232, 232, 232);

const char* const kToolbarLabels[] = {"File",     "Home", "Insert", "Draw", "Page Layout",
                                      "Formulas", "Data", "Review", "View"};
const char* const kActionLabels[] = {"< Prev", "Next >", "Edit", "Highlight", "Save"};

// The horizontal toolbar's sheet buttons: "< Prev" at the labels' inset,
// "Next >" kNavNextOffset after it, in the row from kNavRowTop down. A click
// hits the button whose label it is at or after, up to kNavEndOffset. A
// large font moves them further, never closer.
constexpr int32_t kToolbarInset = 10;
constexpr int32_t kToolbarHeight = 68;
constexpr int32_t kCompactToolbarHeight = 40;
constexpr int32_t kNavRowTop = 28;
constexpr int32_t kNavLabelTop = 35;
constexpr int32_t kNavNextOffset = 72;
constexpr int32_t kNavEndOffset = 145;
constexpr int32_t kCaptionOffset = 160;
constexpr int32_t kSideLabelStep = 24;
constexpr int32_t kSideNavTop = 235;
constexpr int32_t kSideNextOffset = 80;
constexpr int32_t kSheetTabHeight = 30;
constexpr int32_t kActionBarHeight = 34;
constexpr int32_t kMinRowHeaderWidth = kRowHeaderWidth;

// Black or white, whichever contrasts more with Back (WCAG's relative
// luminance and contrast ratio).
TColor TextColorOn(TColor Back) {
  auto Channel = [](uint32_t V) {
    double C = V / 255.0;
    return C <= 0.03928 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4);
  };
  const double L = 0.2126 * Channel(Back & 0xFF) + 0.7152 * Channel((Back >> 8) & 0xFF) +
                   0.0722 * Channel((Back >> 16) & 0xFF);
  return (L + 0.05) / 0.05 >= 1.05 / (L + 0.05) ? kBlack : kWhite;
}

// A cell's text as one line: up to its first line break, then "…".
std::string_view FirstLine(std::string_view Text, std::string& Buffer) {
  const size_t Break = Text.find_first_of("\r\n");
  if (Break == std::string_view::npos) return Text;
  Buffer.assign(Text.substr(0, Break));
  Buffer += "\xE2\x80\xA6";
  return Buffer;
}

bool IsHorizontal(TToolbarPlacement P) {
  return P == TToolbarPlacement::Top || P == TToolbarPlacement::Bottom;
}

}  // namespace

TRect TVantSpreadsheet::ClientRect() const {
  int32_t W = 0, H = 0;
  if (FWindow) FWindow->ClientSize(W, H);
  return {0, 0, W, H};
}

int32_t TVantSpreadsheet::RowNumberDigits() const {
  const TXlsxSheet* S = CurrentSheet();
  int32_t Digits = 1;
  for (int32_t Rows = S ? S->RowCount() : 0; Rows >= 10; Rows /= 10) ++Digits;
  return std::max(Digits, 4);
}

TVantSpreadsheet::TMetrics TVantSpreadsheet::Metrics() const {
  // Layout, hit tests and painting ask often; the answer changes only with
  // what the key holds.
  const TRect C = ClientRect();
  const std::string Key = std::to_string(RowNumberDigits()) + ' ' + FGridFontName + '\n' +
                          std::to_string(FGridFontSize) + ' ' + std::to_string(C.Width()) + ' ' +
                          std::to_string(C.Height()) + ' ' + std::to_string(FRowHeight) + ' ' +
                          std::to_string(FCellWidth) + ' ' + std::to_string(int(FToolbarPlacement));
  if (FMetricsKey == Key) return FMetrics;
  FMetrics = ComputeMetrics(C);
  FMetricsKey = Key;
  return FMetrics;
}

TVantSpreadsheet::TMetrics TVantSpreadsheet::ComputeMetrics(const TRect& C) const {
  TMetrics M;
  const int32_t H = FWindow ? FWindow->TextHeight(FGridFontName, FGridFontSize) : 0;
  // Bold labels measured in the regular weight, with room to spare.
  auto Bold = [&](std::string_view Text) { return MeasureText(Text) * 6 / 5 + 1; };
  M.Line = H;
  M.Row = std::max(FRowHeight, H + 4);
  // The row headers fit the sheet's last row number, four digits at least.
  M.Header =
      std::max(kMinRowHeaderWidth, MeasureText(std::string(size_t(RowNumberDigits()), '9')) + 8);
  M.TabStrip = std::max(kSheetTabHeight, H + 9);
  M.ActionBar = std::max(kActionBarHeight, H + 16);
  int32_t Widest = 0;
  for (const char* Label : kActionLabels) Widest = std::max(Widest, MeasureText(Label));
  M.ActionSlot = std::max(kActionButtonWidth, Widest + 22);
  // Too narrow for the five: they share the width, labels cut.
  if (M.ActionSlot * kActionButtonCount > C.Width())
    M.ActionSlot = std::max(1, C.Width() / kActionButtonCount);
  if (IsHorizontal(FToolbarPlacement)) {
    M.NextX = std::max(kNavNextOffset, Bold("< Prev") + 12);
    M.NavEnd = std::max(kNavEndOffset, M.NextX + Bold("Next >") + 8);
    M.CaptionX = std::max(kCaptionOffset, M.NavEnd + 15);
    const int32_t NavY = std::max(kNavLabelTop, 8 + H + 12);
    const int32_t Full = std::max(kToolbarHeight, NavY + H + 8);
    // The label row goes first when a data row would not show.
    M.Labels = C.Height() >= Full + M.TabStrip + 2 * M.Row;
    if (M.Labels) {
      M.Toolbar = Full;
      M.NavY = NavY;
      M.NavZone = kNavRowTop + (NavY - kNavLabelTop);
    } else {
      M.Toolbar = std::max(kCompactToolbarHeight, H + 16);
      M.NavY = (M.Toolbar - H) / 2;
      M.NavZone = 0;
    }
    M.CaptionY = M.NavY + 2;
  } else {
    M.LabelStep = std::max(kSideLabelStep, H + 6);
    const int32_t NavY = std::max(kSideNavTop, 8 + 9 * M.LabelStep + 3);
    M.Labels = C.Height() >= NavY + H + 4;
    M.NavY = M.Labels ? NavY : 8;
    M.NextX = std::max(kSideNextOffset, Bold("< Prev") + 12);
    const int32_t Nav = kToolbarInset + M.NextX + Bold("Next >") + kToolbarInset;
    M.Toolbar = std::max(kSideToolbarWidth, Nav);
    // In a small Rectangle no wider than leaves a data column, and narrower
    // than its buttons never.
    const int32_t Room = C.Width() - (M.Header + FCellWidth);
    if (Room < M.Toolbar) {
      M.NextX = Bold("< Prev") + 12;
      M.Toolbar = std::max(Room, kToolbarInset + M.NextX + Bold("Next >") + kToolbarInset);
    }
  }
  return M;
}

TRect TVantSpreadsheet::ToolbarRect() const {
  if (FPageMode || FToolbarPlacement == TToolbarPlacement::None) return {};
  // A strip of the toolbar's size along one edge of the client area.
  const TRect C = ClientRect();
  const int32_t Size = Metrics().Toolbar;
  switch (FToolbarPlacement) {
    case TToolbarPlacement::Top:
      return {C.Left, C.Top, C.Right, std::min(C.Bottom, Size)};
    case TToolbarPlacement::Bottom:
      return {C.Left, std::max(C.Top, C.Bottom - Size), C.Right, C.Bottom};
    case TToolbarPlacement::Left:
      return {C.Left, C.Top, std::min(C.Right, Size), C.Bottom};
    case TToolbarPlacement::Right:
      return {std::max(C.Left, C.Right - Size), C.Top, C.Right, C.Bottom};
    case TToolbarPlacement::None:
      break;
  }
  return {};
}

TRect TVantSpreadsheet::SheetTabRect() const {
  if (FPageMode) return {};
  TRect C = ClientRect();
  TRect T = ToolbarRect();
  if (FToolbarPlacement == TToolbarPlacement::Top) C.Top = T.Bottom;
  if (FToolbarPlacement == TToolbarPlacement::Left) C.Left = T.Right;
  if (FToolbarPlacement == TToolbarPlacement::Right) C.Right = T.Left;
  C.Bottom = C.Top + Metrics().TabStrip;
  return C;
}

TRect TVantSpreadsheet::GridRect() const {
  TRect C = ClientRect();
  if (FPageMode) {
    if (FShowActionToolbar) C.Top += Metrics().ActionBar;
  } else {
    TRect T = ToolbarRect();
    TRect S = SheetTabRect();
    C.Top = S.Bottom;
    if (FToolbarPlacement == TToolbarPlacement::Left) C.Left = S.Left;
    if (FToolbarPlacement == TToolbarPlacement::Right) C.Right = S.Right;
    if (FToolbarPlacement == TToolbarPlacement::Bottom) C.Bottom = T.Top;
  }
  if (C.Bottom < C.Top) C.Bottom = C.Top;
  if (C.Right < C.Left) C.Right = C.Left;
  return C;
}

TRect TVantSpreadsheet::ActionToolbarRect() const {
  TRect C = ClientRect();
  C.Bottom = C.Top + Metrics().ActionBar;
  return C;
}

int32_t TVantSpreadsheet::ActionButtonAt(int32_t X, int32_t Y) const {
  if (!FPageMode || !FShowActionToolbar) return -1;
  TRect A = ActionToolbarRect();
  if (!A.Contains(X, Y)) return -1;
  int32_t I = (X - A.Left) / Metrics().ActionSlot;
  return I < kActionButtonCount ? I : -1;
}

int32_t TVantSpreadsheet::MeasureText(std::string_view Text) const {
  return FWindow ? FWindow->TextWidth(FGridFontName, FGridFontSize, Text) : 0;
}

int32_t TVantSpreadsheet::TabWidth(int32_t Sheet) const {
  const int32_t Text = MeasureText(FWorkbook->SheetName(Sheet)) + kSheetTabPadding;
  return std::clamp(Text, kSheetTabWidth, kSheetTabMaxWidth);
}

TVantSpreadsheet::TTabLayout TVantSpreadsheet::TabLayout() const {
  TTabLayout L;
  if (FPageMode || !FWorkbook) return L;
  const TRect S = SheetTabRect();
  const int32_t Count = FWorkbook->SheetCount();
  int64_t Total = 0;
  for (int32_t I = 0; I < Count && Total <= S.Width(); ++I) Total += TabWidth(I);
  L.Buttons = FTabScroll > 0 || Total > S.Width();
  const int32_t Button = std::max(kTabButtonWidth, MeasureText("<") + 8);
  const int32_t End = L.Buttons ? std::max(S.Left, S.Right - 2 * Button) : S.Right;
  if (L.Buttons) {
    L.Back = {End, S.Top, End + Button, S.Bottom - 1};
    L.Forward = {End + Button, S.Top, End + 2 * Button, S.Bottom - 1};
  }
  int32_t X = S.Left;
  for (int32_t I = std::min(FTabScroll, Count); I < Count && X < End; ++I) {
    const int32_t W = TabWidth(I);
    L.Tabs.push_back({I, {X, S.Top, X + W, S.Bottom - 1}});
    X += W;
  }
  return L;
}

int32_t TVantSpreadsheet::SheetTabAt(int32_t X, int32_t Y) const {
  if (FPageMode || !FWorkbook) return -1;
  TRect S = SheetTabRect();
  if (!S.Contains(X, Y)) return -1;
  const TTabLayout L = TabLayout();
  if (L.Buttons && X >= L.Back.Left) return -1;
  for (const auto& [Sheet, Box] : L.Tabs)
    if (X >= Box.Left && X < Box.Right) return Sheet;
  return -1;
}

int32_t TVantSpreadsheet::TabScrollButtonAt(int32_t X, int32_t Y) const {
  if (!SheetTabRect().Contains(X, Y)) return -1;
  const TTabLayout L = TabLayout();
  if (!L.Buttons || X < L.Back.Left) return -1;
  return X < L.Forward.Left ? 0 : 1;
}

int32_t TVantSpreadsheet::ToolbarButtonAt(int32_t X, int32_t Y) const {
  if (FPageMode || !IsHorizontal(FToolbarPlacement)) return -1;
  TRect T = ToolbarRect();
  const TMetrics M = Metrics();
  if (!T.Contains(X, Y) || Y < T.Top + M.NavZone) return -1;
  const int32_t X0 = T.Left + kToolbarInset;
  if (X >= X0 && X < X0 + M.NextX) return kToolbarPrevSheet;
  if (X >= X0 + M.NextX && X < X0 + M.NavEnd) return kToolbarNextSheet;
  return -1;
}

bool TVantSpreadsheet::CellAt(int32_t X, int32_t Y, int32_t& Row, int32_t& Col) const {
  TRect G = GridRect();
  const TMetrics M = Metrics();
  if (!G.Contains(X, Y) || X - G.Left < M.Header || Y - G.Top < M.Row) return false;
  int64_t C = (X - G.Left - M.Header) / FCellWidth + int64_t(FTopLeft.Col);
  int64_t R = (Y - G.Top - M.Row) / M.Row + int64_t(FTopLeft.Row);
  const TXlsxSheet* S = CurrentSheet();
  if (!S || C >= S->ColCount() || R >= S->RowCount()) return false;
  Row = int32_t(R);
  Col = int32_t(C);
  return true;
}

// ---- Painting ----

void TVantSpreadsheet::PaintViewer(TPaintList& List) const {
  List.FFontName = FGridFontName;
  List.FFontPoints = FGridFontSize;
  List.Fill(ClientRect(), kWhite);
  PaintToolbar(List);
  PaintActionToolbar(List);
  PaintSheetTabs(List);
  PaintCellGrid(List);
}

void TVantSpreadsheet::PaintToolbar(TPaintList& List) const {
  if (FPageMode || FToolbarPlacement == TToolbarPlacement::None) return;
  TRect T = ToolbarRect();
  const TMetrics M = Metrics();
  int32_t X0 = T.Left + kToolbarInset;
  List.Fill(T, FToolbarColor);
  auto Label = [&](int32_t X, int32_t Y, std::string_view Text, bool Bold) {
    List.Text(X, Y, Text, 0, FToolbarColor, Bold);
    List.FOps.back().WindowTextColor = true;
  };
  if (IsHorizontal(FToolbarPlacement)) {
    // A large font widens the labels past the fixed spacing.
    int32_t X = X0;
    for (const char* Text : kToolbarLabels) {
      if (!M.Labels) break;
      Label(X, T.Top + 8, Text, false);
      X += std::max(kToolbarLabelSpacing, MeasureText(Text) + kToolbarLabelGap);
    }
    Label(X0, T.Top + M.NavY, "< Prev", true);
    Label(X0 + M.NextX, T.Top + M.NavY, "Next >", true);
    std::string Caption = CurrentSheetName() + "  (" +
                          std::to_string(FWorkbook ? FCurrentSheet + 1 : 0) + "/" +
                          std::to_string(SheetCount()) + ")";
    // Without its labels the toolbar is short of room: the caption shows
    // only whole.
    if (M.Labels || X0 + M.CaptionX + MeasureText(Caption) <= T.Right)
      Label(X0 + M.CaptionX, T.Top + M.CaptionY, Caption, false);
  } else {
    for (int32_t I = 0; I < 9 && M.Labels; ++I)
      Label(T.Left + 10, T.Top + 8 + M.LabelStep * I, kToolbarLabels[I], false);
    Label(T.Left + 10, T.Top + M.NavY, "< Prev", true);
    Label(T.Left + 10 + M.NextX, T.Top + M.NavY, "Next >", true);
  }
}

void TVantSpreadsheet::PaintActionToolbar(TPaintList& List) const {
  if (!FPageMode || !FShowActionToolbar) return;
  TRect A = ActionToolbarRect();
  const int32_t Slot = Metrics().ActionSlot;
  List.Fill(A, FToolbarColor);
  for (int32_t I = 0; I < kActionButtonCount; ++I) {
    TRect Box{A.Left + Slot * I + 3, A.Top + 4, A.Left + Slot * (I + 1) - 3, A.Bottom - 4};
    List.Fill(Box, kWhite);
    List.Outline(Box, kButtonOutline);
    // Inside the outline: a tall label's background would cover its edges.
    List.ClippedText(Box.Left + 8, Box.Top + 4,
                     {Box.Left + 1, Box.Top + 1, Box.Right - 1, Box.Bottom - 1}, kActionLabels[I],
                     kBlack, kWhite);
  }
}

void TVantSpreadsheet::PaintSheetTabs(TPaintList& List) const {
  if (FPageMode) return;
  TRect S = SheetTabRect();
  List.Fill(S, kTabStrip);
  if (!FWorkbook) return;
  const TTabLayout L = TabLayout();
  // The last tab is cut off before the buttons or the strip's end, not drawn
  // over a toolbar.
  List.ClipTo({S.Left, S.Top, L.Buttons ? L.Back.Left : S.Right, S.Bottom});
  std::string Shown;
  for (const auto& [Sheet, Box] : L.Tabs) {
    TColor Back = Sheet == FCurrentSheet ? kWhite : kInactiveTab;
    List.Fill(Box, Back);
    List.Outline(Box, kButtonOutline);
    const std::string& Name = FWorkbook->SheetName(Sheet);
    Shown = FitText(Name, Box.Width() - kSheetTabPadding);
    List.ClippedText(Box.Left + 6, Box.Top + 6,
                     {Box.Left + 6, Box.Top + 6, Box.Right - 6, Box.Bottom - 3}, Shown, kBlack,
                     Back);
  }
  List.Unclip();
  if (!L.Buttons) return;
  List.ClipTo(S);
  const char* const Arrows[] = {"<", ">"};
  const TRect Buttons[] = {L.Back, L.Forward};
  for (int I = 0; I < 2; ++I) {
    const TRect& B = Buttons[I];
    List.Fill(B, kInactiveTab);
    List.Outline(B, kButtonOutline);
    const int32_t X = B.Left + std::max(2, (B.Width() - MeasureText(Arrows[I])) / 2);
    List.ClippedText(X, B.Top + 6, {B.Left + 1, B.Top + 1, B.Right - 1, B.Bottom - 1}, Arrows[I],
                     kBlack, kInactiveTab);
  }
  List.Unclip();
}

std::string TVantSpreadsheet::FitText(const std::string& Text, int32_t Width) const {
  if (MeasureText(Text) <= Width) return Text;
  static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
  std::string Cut = Text;
  while (!Cut.empty()) {
    // One whole UTF-8 character off the end.
    while (!Cut.empty() && (static_cast<unsigned char>(Cut.back()) & 0xC0) == 0x80) Cut.pop_back();
    if (!Cut.empty()) Cut.pop_back();
    if (MeasureText(Cut + std::string(kEllipsis)) <= Width) break;
  }
  return Cut + std::string(kEllipsis);
}

TColor TVantSpreadsheet::PaintCellBox(TPaintList& List, const TRect& Box, bool Header,
                                      const TColor* Highlight, bool Selected) const {
  TColor Back = Header ? FHeaderColor : Highlight ? *Highlight : kWhite;
  // A highlighted cell keeps its fill under the selection, drawn as a frame.
  if (Selected && !Highlight) Back = FSelectionColor;
  List.Fill(Box, Back);
  List.Outline(Box, kCellOutline);
  if (Selected && Highlight) {
    List.Outline({Box.Left + 1, Box.Top + 1, Box.Right - 1, Box.Bottom - 1}, FSelectionColor);
    List.Outline({Box.Left + 2, Box.Top + 2, Box.Right - 2, Box.Bottom - 2}, FSelectionColor);
  }
  return Back;
}

void TVantSpreadsheet::PaintCell(TPaintList& List, const TRect& Box, std::string_view Text,
                                 bool Header, const TColor* Highlight, bool Selected) const {
  const TColor Back = PaintCellBox(List, Box, Header, Highlight, Selected);
  std::string Buffer;
  List.ClippedText(Box.Left + 4, Box.Top + 2,
                   {Box.Left + 4, Box.Top + 2, Box.Right - 4, Box.Bottom - 2},
                   FirstLine(Text, Buffer), TextColorOn(Back), Back);
}

void TVantSpreadsheet::PaintShownCell(TPaintList& List, const TRect& Box, const TShownView& Shown,
                                      const TColor* Highlight, bool Selected) const {
  const TColor Back = PaintCellBox(List, Box, false, Highlight, Selected);
  const TRect Clip{Box.Left + 4, Box.Top + 2, Box.Right - 4, Box.Bottom - 2};
  const TColor Color = Shown.HasColor ? Shown.Color : TextColorOn(Back);
  std::string Buffer;
  const std::string_view Text = FirstLine(Shown.Text, Buffer);
  if (Shown.IsNumber)
    List.RightAlignedText(Box.Top + 2, Clip, Text, Color, Back);
  else
    List.ClippedText(Box.Left + 4, Box.Top + 2, Clip, Text, Color, Back);
}

void TVantSpreadsheet::PaintCellGrid(TPaintList& List) const {
  TRect G = GridRect();
  List.Fill(G, kWhite);
  const TXlsxSheet* S = CurrentSheet();
  if (!S) return;
  // The partly visible last row and column end at the grid's edge, not over
  // a toolbar below or to the right.
  List.ClipTo(G);
  const TMetrics M = Metrics();
  const int32_t RowH = M.Row, HeadW = M.Header;
  int64_t LastCol = (G.Width() - HeadW) / FCellWidth + int64_t(FTopLeft.Col);
  int64_t LastRow = (G.Height() - RowH) / RowH + int64_t(FTopLeft.Row);
  auto ColX = [&](int32_t C) { return G.Left + HeadW + (C - FTopLeft.Col) * FCellWidth; };

  PaintCell(List, {G.Left, G.Top, G.Left + HeadW, G.Top + RowH}, {}, true, nullptr, false);
  for (int32_t C = FTopLeft.Col; C <= LastCol && C < S->ColCount(); ++C) {
    int32_t X = ColX(C);
    PaintCell(List, {X, G.Top, X + FCellWidth, G.Top + RowH}, ColumnIndexToLetters(C), true,
              nullptr, false);
  }
  std::string Number;
  for (int32_t R = FTopLeft.Row; R <= LastRow && R < S->RowCount(); ++R) {
    int32_t Y = G.Top + RowH * (R - FTopLeft.Row + 1);
    Number = std::to_string(R + 1);
    PaintCell(List, {G.Left, Y, G.Left + HeadW, Y + RowH}, Number, true, nullptr, false);
    for (int32_t C = FTopLeft.Col; C <= LastCol && C < S->ColCount(); ++C) {
      int32_t X = ColX(C);
      const TColor* Highlight = nullptr;
      if (!FHighlights.empty()) {
        auto It = FHighlights.find(HighlightKey(FCurrentSheet, R, C));
        if (It != FHighlights.end()) Highlight = &It->second;
      }
      const TRect Box{X, Y, X + FCellWidth, Y + RowH};
      const bool Selected = C == FSelected.Col && R == FSelected.Row;
      if (FShowFormatted) {
        PaintShownCell(List, Box, S->ShownCellKept(R, C), Highlight, Selected);
      } else {
        PaintCell(List, Box, S->Cell(R, C), false, Highlight, Selected);
      }
    }
  }
  List.Unclip();
}

}  // namespace kv
