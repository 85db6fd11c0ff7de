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
// hits the button whose label it is at or after, up to kNavEndOffset.
constexpr int32_t kToolbarInset = 10;
constexpr int32_t kNavRowTop = 28;
constexpr int32_t kNavLabelTop = 35;
constexpr int32_t kNavNextOffset = 72;
constexpr int32_t kNavEndOffset = 145;

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

TRect TVantSpreadsheet::ToolbarRect() const {
  TRect C = ClientRect();
  if (FPageMode) return {};
  switch (FToolbarPlacement) {
    case TToolbarPlacement::Top:
      C.Bottom = std::min(C.Bottom, FToolbarHeight);
      return C;
    case TToolbarPlacement::Bottom:
      C.Top = std::max(C.Top, C.Bottom - FToolbarHeight);
      return C;
    case TToolbarPlacement::Left:
      C.Right = std::min(C.Right, kSideToolbarWidth);
      return C;
    case TToolbarPlacement::Right:
      C.Left = std::max(C.Left, C.Right - kSideToolbarWidth);
      return C;
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
  C.Bottom = C.Top + FSheetTabHeight;
  return C;
}

TRect TVantSpreadsheet::GridRect() const {
  TRect C = ClientRect();
  if (FPageMode) {
    if (FShowActionToolbar) C.Top += FInlineToolbarHeight;
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
  C.Bottom = C.Top + FInlineToolbarHeight;
  return C;
}

int32_t TVantSpreadsheet::ActionButtonAt(int32_t X, int32_t Y) const {
  if (!FPageMode || !FShowActionToolbar) return -1;
  TRect A = ActionToolbarRect();
  if (!A.Contains(X, Y)) return -1;
  int32_t I = (X - A.Left) / kActionButtonWidth;
  return I < kActionButtonCount ? I : -1;
}

int32_t TVantSpreadsheet::SheetTabAt(int32_t X, int32_t Y) const {
  if (FPageMode || !FWorkbook) return -1;
  TRect S = SheetTabRect();
  if (!S.Contains(X, Y)) return -1;
  for (int32_t N = 0; N < FWorkbook->SheetCount(); ++N) {
    int64_t Left = int64_t(S.Left) + int64_t(kSheetTabWidth) * N;
    int64_t Right = Left + kSheetTabWidth;
    if (X >= Left && X < Right) return N;
    if (Right >= S.Right) break;
  }
  return -1;
}

int32_t TVantSpreadsheet::ToolbarButtonAt(int32_t X, int32_t Y) const {
  if (FPageMode || !IsHorizontal(FToolbarPlacement)) return -1;
  TRect T = ToolbarRect();
  if (!T.Contains(X, Y) || Y < T.Top + kNavRowTop) return -1;
  const int32_t X0 = T.Left + kToolbarInset;
  if (X >= X0 && X < X0 + kNavNextOffset) return kToolbarPrevSheet;
  if (X >= X0 + kNavNextOffset && X < X0 + kNavEndOffset) return kToolbarNextSheet;
  return -1;
}

bool TVantSpreadsheet::CellAt(int32_t X, int32_t Y, int32_t& Row, int32_t& Col) const {
  TRect G = GridRect();
  if (!G.Contains(X, Y) || X - G.Left < kRowHeaderWidth || Y - G.Top < FRowHeight) return false;
  int64_t C = (X - G.Left - kRowHeaderWidth) / FCellWidth + int64_t(FLeftCol);
  int64_t R = (Y - G.Top - FRowHeight) / FRowHeight + int64_t(FTopRow);
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
      Label(X, T.Top + 8, Text, false);
      int32_t Width = FWindow ? FWindow->TextWidth(FGridFontName, FGridFontSize, Text) : 0;
      X += std::max(kToolbarLabelSpacing, Width + kToolbarLabelGap);
    }
    Label(X0, T.Top + kNavLabelTop, "< Prev", true);
    Label(X0 + kNavNextOffset, T.Top + kNavLabelTop, "Next >", true);
    std::string Caption = CurrentSheetName() + "  (" +
                          std::to_string(FWorkbook ? FCurrentSheet + 1 : 0) + "/" +
                          std::to_string(SheetCount()) + ")";
    Label(X0 + 160, T.Top + 37, Caption, false);
  } else {
    for (int32_t I = 0; I < 9; ++I)
      Label(T.Left + 10, T.Top + 8 + 24 * I, kToolbarLabels[I], false);
    Label(T.Left + 10, T.Top + 235, "< Prev", true);
    Label(T.Left + 90, T.Top + 235, "Next >", true);
  }
}

void TVantSpreadsheet::PaintActionToolbar(TPaintList& List) const {
  if (!FPageMode || !FShowActionToolbar) return;
  TRect A = ActionToolbarRect();
  List.Fill(A, FToolbarColor);
  for (int32_t I = 0; I < kActionButtonCount; ++I) {
    TRect Box{A.Left + kActionButtonWidth * I + 3, A.Top + 4, A.Left + kActionButtonWidth * I + 77,
              A.Bottom - 4};
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
  // The last tab is cut off at the strip's end, not drawn over a toolbar.
  List.ClipTo(S);
  for (int32_t I = 0; I < FWorkbook->SheetCount(); ++I) {
    TRect Box{S.Left + kSheetTabWidth * I, S.Top, S.Left + kSheetTabWidth * (I + 1), S.Bottom - 1};
    TColor Back = I == FCurrentSheet ? kWhite : kInactiveTab;
    List.Fill(Box, Back);
    List.Outline(Box, kButtonOutline);
    List.ClippedText(Box.Left + 6, Box.Top + 6,
                     {Box.Left + 6, Box.Top + 6, Box.Right - 6, Box.Bottom - 3},
                     FWorkbook->SheetName(I), kBlack, Back);
    if (Box.Right >= S.Right) break;
  }
  List.Unclip();
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
  int64_t LastCol = (G.Width() - kRowHeaderWidth) / FCellWidth + int64_t(FLeftCol);
  int64_t LastRow = (G.Height() - FRowHeight) / FRowHeight + int64_t(FTopRow);
  auto ColX = [&](int32_t C) { return G.Left + kRowHeaderWidth + (C - FLeftCol) * FCellWidth; };

  PaintCell(List, {G.Left, G.Top, G.Left + kRowHeaderWidth, G.Top + FRowHeight}, {}, true, nullptr,
            false);
  for (int32_t C = FLeftCol; C <= LastCol && C < S->ColCount(); ++C) {
    int32_t X = ColX(C);
    PaintCell(List, {X, G.Top, X + FCellWidth, G.Top + FRowHeight}, ColumnIndexToLetters(C), true,
              nullptr, false);
  }
  std::string Number;
  for (int32_t R = FTopRow; R <= LastRow && R < S->RowCount(); ++R) {
    int32_t Y = G.Top + FRowHeight * (R - FTopRow + 1);
    Number = std::to_string(R + 1);
    PaintCell(List, {G.Left, Y, G.Left + kRowHeaderWidth, Y + FRowHeight}, Number, true, nullptr,
              false);
    for (int32_t C = FLeftCol; C <= LastCol && C < S->ColCount(); ++C) {
      int32_t X = ColX(C);
      const TColor* Highlight = nullptr;
      if (!FHighlights.empty()) {
        auto It = FHighlights.find(HighlightKey(FCurrentSheet, R, C));
        if (It != FHighlights.end()) Highlight = &It->second;
      }
      const TRect Box{X, Y, X + FCellWidth, Y + FRowHeight};
      const bool Selected = C == FSelectedCol && R == FSelectedRow;
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
