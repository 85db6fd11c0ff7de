#include "unit/viewer/ViewerFixture.h"

namespace kv::test {

using TLayout = TViewerTest;

TEST_F(TLayout, PlacementWordsAndRegionsOfEveryPlacement) {
  Open("  bottom ");
  EXPECT_EQ(FViewer->ToolbarPlacement(), TToolbarPlacement::Bottom);
  EXPECT_FALSE(FViewer->IsPageMode());
  // Strip at the top, grid between strip and toolbar.
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{0, 332, 600, 400}));
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{0, 0, 600, 30}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 30, 600, 332}));

  FViewer->SetToolbarPlacement("Top");
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{0, 0, 600, 68}));
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{0, 68, 600, 98}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 98, 600, 400}));

  FViewer->SetToolbarPlacement("left");
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{0, 0, 190, 400}));
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{190, 0, 600, 30}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{190, 30, 600, 400}));

  FViewer->SetToolbarPlacement("RIGHT");
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{410, 0, 600, 400}));
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{0, 0, 410, 30}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 30, 410, 400}));

  FViewer->SetToolbarPlacement("None");
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 30, 600, 400}));

  for (const char* Other : {"", "Middle", "Pages"}) {
    FViewer->SetToolbarPlacement(Other);
    EXPECT_EQ(FViewer->ToolbarPlacement(), TToolbarPlacement::Top) << Other;
  }
}

TEST_F(TLayout, PageModeWithAndWithoutActionToolbar) {
  Open("PAGE");
  EXPECT_TRUE(FViewer->IsPageMode());
  EXPECT_EQ(FViewer->ToolbarPlacement(), TToolbarPlacement::None);
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 0, 600, 400}));
  EXPECT_EQ(FViewer->ActionButtonAt(10, 10), -1);
  FViewer->SetShowActionToolbar(true);
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 34, 600, 400}));
  EXPECT_EQ(FViewer->ActionButtonAt(0, 0), 0);
  EXPECT_EQ(FViewer->ActionButtonAt(79, 33), 0);  // the margin belongs to the slot
  EXPECT_EQ(FViewer->ActionButtonAt(80, 5), 1);
  EXPECT_EQ(FViewer->ActionButtonAt(399, 5), 4);
  EXPECT_EQ(FViewer->ActionButtonAt(400, 5), -1);
  EXPECT_EQ(FViewer->ActionButtonAt(10, 34), -1);
  EXPECT_EQ(FViewer->SheetTabAt(10, 10), -1);
}

TEST_F(TLayout, TinyViewerPushesStripAndGridBelowClientArea) {
  // Without room for a data row the toolbar drops its label row first.
  Open("Top", 300, 50);
  EXPECT_EQ(FViewer->ToolbarRect(), (TRect{0, 0, 300, 40}));
  EXPECT_EQ(FViewer->SheetTabRect(), (TRect{0, 40, 300, 70}));
  EXPECT_EQ(FViewer->GridRect(), (TRect{0, 70, 300, 70}));
  int32_t R, C;
  EXPECT_FALSE(FViewer->CellAt(100, 49, R, C));
}

TEST_F(TLayout, SheetTabsScrollFitTheirNamesAndKeepTheCurrentOneInView) {
  std::vector<std::pair<std::string, std::string>> Five;
  for (int I = 1; I <= 5; ++I) Five.push_back({"S" + std::to_string(I), GridData(2, 2)});
  // Fake text is 6 px a character at 9 points: 23 characters reach 150 px.
  Five[1].first = std::string(60, 'w');
  FWindows.FWindows[FRect].FWidth = 640;
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(WriteBook(Five));
  FViewer->ShowSpreadsheet();
  auto TabTexts = [&] {
    std::vector<std::string> T;
    for (const TPaintOp& Op : FWin->Repaint().FOps)
      if (Op.Kind == TPaintKind::Text && Op.Box.Top == 6) T.push_back(Op.Text);
    return T;
  };
  // S1 150 wide, the long name at the maximum, cut with "…" (45 characters
  // and the ellipsis's 3 bytes fit 288 px); buttons from 600.
  const std::string Cut = std::string(45, 'w') + "\xE2\x80\xA6";
  EXPECT_EQ(TabTexts(), (std::vector<std::string>{"S1", Cut, "S3"}));
  EXPECT_EQ(FViewer->SheetTabAt(149, 5), 0);
  EXPECT_EQ(FViewer->SheetTabAt(150, 5), 1);
  EXPECT_EQ(FViewer->SheetTabAt(450, 5), 2);
  EXPECT_EQ(FViewer->SheetTabAt(599, 5), 2);
  EXPECT_EQ(FViewer->SheetTabAt(600, 5), -1);
  EXPECT_EQ(FViewer->TabScrollButtonAt(619, 5), 0);
  EXPECT_EQ(FViewer->TabScrollButtonAt(620, 5), 1);
  EXPECT_EQ(FViewer->TabScrollButtonAt(620, 30), -1);
  // The forward button, then the wheel over the strip, scroll by one tab.
  FWin->Click(630, 10);
  EXPECT_EQ(FViewer->FirstShownTab(), 1);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
  FWin->Wheel(-120 * 9, false, 300, 10);
  EXPECT_EQ(FViewer->FirstShownTab(), 4);
  EXPECT_EQ(TabTexts(), (std::vector<std::string>{"S5"}));
  FWin->Click(610, 10);
  EXPECT_EQ(FViewer->FirstShownTab(), 3);
  // A sheet change brings its tab into view whole.
  FViewer->GotoSheet(0);
  EXPECT_EQ(FViewer->FirstShownTab(), 0);
  FViewer->GotoSheet(4);
  EXPECT_EQ(FViewer->FirstShownTab(), 2);
  EXPECT_EQ(TabTexts().back(), "S5");
  // Tabs that fit show no buttons.
  FWindows.FWindows[FRect].FWidth = 2000;
  FWin->Send(msg::Timer, 1);
  FViewer->GotoSheet(0);
  EXPECT_EQ(TabTexts().size(), 5u);
  EXPECT_EQ(FViewer->TabScrollButtonAt(1990, 5), -1);
}

TEST_F(TLayout, ToolbarButtonZones) {
  Open("Top");
  EXPECT_EQ(FViewer->ToolbarButtonAt(20, 27), -1);  // label row
  EXPECT_EQ(FViewer->ToolbarButtonAt(10, 28), 0);
  EXPECT_EQ(FViewer->ToolbarButtonAt(81, 67), 0);
  EXPECT_EQ(FViewer->ToolbarButtonAt(82, 40), 1);
  EXPECT_EQ(FViewer->ToolbarButtonAt(154, 40), 1);
  EXPECT_EQ(FViewer->ToolbarButtonAt(155, 40), -1);
  EXPECT_EQ(FViewer->ToolbarButtonAt(9, 40), -1);
  EXPECT_EQ(FViewer->ToolbarButtonAt(20, 68), -1);
  FViewer->SetToolbarPlacement("Left");
  EXPECT_EQ(FViewer->ToolbarButtonAt(20, 240), -1);  // labels only
}

TEST_F(TLayout, CellHitsAtHeaderAndSheetBoundaries) {
  Open("None");  // grid at (0, 30)
  int32_t R = -1, C = -1;
  EXPECT_FALSE(FViewer->CellAt(45, 60, R, C));  // row header
  EXPECT_FALSE(FViewer->CellAt(60, 51, R, C));  // column header
  ASSERT_TRUE(FViewer->CellAt(46, 52, R, C));
  EXPECT_EQ(std::tie(R, C), std::make_tuple(0, 0));
  ASSERT_TRUE(FViewer->CellAt(46 + 96 * 2 + 95, 52 + 22 * 3 + 21, R, C));
  EXPECT_EQ(std::tie(R, C), std::make_tuple(3, 2));
  FViewer->GotoSheet(1);  // 5 x 3 cells
  EXPECT_FALSE(FViewer->CellAt(46 + 96 * 3, 60, R, C));
  EXPECT_FALSE(FViewer->CellAt(60, 52 + 22 * 5, R, C));
}

// The boxes of the text ops, keyed by their text, from one repaint.
static std::map<std::string, const TPaintOp*> TextsOf(const TPaintList& L) {
  std::map<std::string, const TPaintOp*> M;
  for (const TPaintOp& Op : L.FOps)
    if (Op.Kind == TPaintKind::Text) M[Op.Text] = &Op;
  return M;
}

TEST_F(TLayout, GridPaintsOnlyVisibleCellsWithHeadersAndClipping) {
  Open("None", 500,
       300);  // grid 500 x 270: 4 whole columns and one of 70 px, 11 whole rows and one of 6 px
  const TPaintList& L = FWin->Repaint();
  EXPECT_EQ(L.FFontName, "Segoe UI");
  EXPECT_EQ(L.FFontPoints, 9);
  EXPECT_EQ(L.FOps.front().Kind, TPaintKind::Fill);
  EXPECT_EQ(L.FOps.front().Box, (TRect{0, 0, 500, 300}));
  auto T = TextsOf(L);
  EXPECT_TRUE(T.count("E"));
  EXPECT_FALSE(T.count("F"));
  EXPECT_TRUE(T.count("12"));  // row index 11, partly visible
  EXPECT_FALSE(T.count("13"));
  EXPECT_TRUE(T.count("11:4"));
  EXPECT_FALSE(T.count("12:0"));
  const TPaintOp& Cell = *T.at("2:1");
  int32_t X = 46 + 96, Y = 30 + 22 * 3;
  EXPECT_TRUE(Cell.Clipped);
  EXPECT_EQ(std::tie(Cell.X, Cell.Y), std::make_tuple(X + 4, Y + 2));
  EXPECT_EQ(Cell.Box, (TRect{X + 4, Y + 2, X + 96 - 4, Y + 22 - 2}));
  EXPECT_EQ(Cell.Back, Rgb(255, 255, 255));
  EXPECT_EQ(T.at("B")->Back, Rgb(232, 232, 232));
  EXPECT_EQ(T.at("3")->Back, Rgb(232, 232, 232));
  EXPECT_EQ(T.at("0:0")->Back, Rgb(255, 236, 217));  // the selection

  // Scrolled: the first row and column shown are the scrolled ones.
  FWin->Wheel(-240);
  FWin->Wheel(-120, true);
  T = TextsOf(FWin->Repaint());
  EXPECT_FALSE(T.count("A"));
  EXPECT_FALSE(T.count("1:1"));
  EXPECT_TRUE(T.count("2:1"));
  EXPECT_TRUE(T.count("13:5"));
  EXPECT_FALSE(T.count("14:5"));
  EXPECT_FALSE(T.count("2:6"));
}

TEST_F(TLayout, HighlightKeepsItsFillUnderTheSelectionFrame) {
  Open("None");
  FViewer->SelectCell(1, 1, true);
  FViewer->ToggleHighlightSelection("Red");
  const TPaintList& L = FWin->Repaint();
  EXPECT_EQ(TextsOf(L).at("1:1")->Back, Rgb(255, 128, 128));
  const TRect Box{46 + 96, 30 + 22 * 2, 46 + 96 * 2, 30 + 22 * 3};
  int Frames = 0;
  for (const TPaintOp& Op : L.FOps)
    if (Op.Kind == TPaintKind::Outline && Op.Color == Rgb(255, 236, 217) &&
        Op.Box.Left > Box.Left && Op.Box.Right < Box.Right && Op.Box.Top > Box.Top)
      ++Frames;
  EXPECT_EQ(Frames, 2);
  FWin->Key(vk::Right);
  auto T = TextsOf(FWin->Repaint());
  EXPECT_EQ(T.at("1:1")->Back, Rgb(255, 128, 128));
  EXPECT_EQ(T.at("1:2")->Back, Rgb(255, 236, 217));
}

TEST_F(TLayout, TextColourContrastsWithTheFillAndLineBreaksEndTheLine) {
  Open("None");
  FViewer->ApplySettings("HeaderColor=000080;SelectionColor=202020");
  auto T = TextsOf(FWin->Repaint());
  EXPECT_EQ(T.at("A")->Color, Rgb(255, 255, 255));    // on navy
  EXPECT_EQ(T.at("0:0")->Color, Rgb(255, 255, 255));  // selected, dark
  EXPECT_EQ(T.at("0:1")->Color, Rgb(0, 0, 0));
  FViewer->ApplySettings("HeaderColor=FFFF00");
  EXPECT_EQ(TextsOf(FWin->Repaint()).at("A")->Color, Rgb(0, 0, 0));
  FViewer->ToggleHighlightSelection("Blue");
  EXPECT_EQ(TextsOf(FWin->Repaint()).at("0:0")->Color, Rgb(0, 0, 0));
  // A two-line cell shows its first line and an ellipsis.
  FWin->Key(vk::F2);
  FWin->Type("Line one");
  FWin->Key(vk::Return, kModAlt);
  FWin->Type("line two");
  FWin->Key(vk::Return);
  EXPECT_EQ(TextsOf(FWin->Repaint()).count("Line one\xE2\x80\xA6"), 1u);
}

TEST_F(TLayout, EmptySheetAndNoSheetPaintNoCells) {
  Open("None");
  FViewer->GotoSheet(2);  // no cells
  auto T = TextsOf(FWin->Repaint());
  EXPECT_FALSE(T.count("A"));
  EXPECT_FALSE(T.count("1"));
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->ShowSpreadsheet();
  // No workbook: only white fills below the strip.
  for (const TPaintOp& Op : FWin->Repaint().FOps) {
    if (Op.Box.Top >= 30 && Op.Kind != TPaintKind::Clip) {
      EXPECT_EQ(Op.Color, Rgb(255, 255, 255));
    }
  }
}

TEST_F(TLayout, ToolbarAndActionToolbarPaint) {
  Open("Top");
  FViewer->GotoSheet(1);
  auto T = TextsOf(FWin->Repaint());
  ASSERT_TRUE(T.count("Two  (2/3)"));
  EXPECT_EQ(std::tie(T.at("Two  (2/3)")->X, T.at("Two  (2/3)")->Y), std::make_tuple(170, 37));
  EXPECT_TRUE(T.at("Next >")->Bold);
  EXPECT_TRUE(T.at("Page Layout")->WindowTextColor);
  EXPECT_EQ(T.at("Page Layout")->X, 10 + 92 * 4);
  EXPECT_FALSE(T.at("View")->Clipped);
  // A large font spaces the labels by their widths (the fake's: two thirds
  // of the points per character) plus the gap.
  FViewer->ApplySettings("FontSize=14");
  T = TextsOf(FWin->Repaint());
  int32_t X = T.at("Page Layout")->X;
  EXPECT_EQ(X, 10 + 92 * 4);
  EXPECT_EQ(T.at("Formulas")->X, X + 11 * 14 * 2 / 3 + kToolbarLabelGap);
  EXPECT_EQ(T.at("Data")->X, T.at("Formulas")->X + 92);

  FViewer->SetToolbarPlacement("Page");
  FViewer->SetShowActionToolbar(true);
  T = TextsOf(FWin->Repaint());
  EXPECT_FALSE(T.count("File"));
  ASSERT_TRUE(T.count("Highlight"));
  // The buttons grow with the font (slots of the widest label plus 22, a
  // bar of the line height plus 16); the label is clipped inside the
  // outline of (321, 4)-(421, 35), which a tall label would otherwise cover.
  EXPECT_EQ(T.at("Highlight")->Box, (TRect{322, 5, 420, 34}));
  EXPECT_EQ(std::tie(T.at("Highlight")->X, T.at("Highlight")->Y), std::make_tuple(329, 8));
  FViewer->ApplySettings("FontSize=9");
  T = TextsOf(FWin->Repaint());
  EXPECT_EQ(T.at("Highlight")->Box, (TRect{244, 5, 316, 29}));
}

// The boxes of a repaint's texts as the fake measures them.
static std::vector<std::pair<std::string, TRect>> TextBoxes(const TPaintList& L, int32_t Points) {
  std::vector<std::pair<std::string, TRect>> Boxes;
  for (const TPaintOp& Op : L.FOps)
    if (Op.Kind == TPaintKind::Text && !Op.Clipped) {
      const int32_t W = int32_t(Op.Text.size()) * Points * 2 / 3 * (Op.Bold ? 11 : 10) / 10;
      Boxes.push_back({Op.Text, {Op.X, Op.Y, Op.X + W, Op.Y + Points * 5 / 3}});
    }
  return Boxes;
}

TEST_F(TLayout, EveryFontSizeAndSmallRectangleKeepsLabelsApartAndADataRow) {
  const struct {
    const char* Placement;
    int32_t Width, Height;
  } Views[] = {{"Top", 600, 400},  {"Bottom", 600, 400}, {"Left", 600, 400}, {"Right", 600, 400},
               {"Top", 200, 120},  {"Bottom", 200, 120}, {"Left", 200, 120}, {"Right", 200, 120},
               {"None", 200, 120}, {"Page", 200, 120},   {"Page", 600, 400}};
  for (const int32_t Points : {9, 14, 20, 36})
    for (const auto& V : Views) {
      SCOPED_TRACE(std::string(V.Placement) + " " + std::to_string(V.Width) + "x" +
                   std::to_string(V.Height) + " at " + std::to_string(Points));
      Open(V.Placement, V.Width, V.Height);
      FViewer->SetShowActionToolbar(true);
      FViewer->ApplySettings("FontSize=" + std::to_string(Points));
      const TPaintList& L = FWin->Repaint();
      const int32_t Line = Points * 5 / 3;
      // Unclipped labels never overlap; those that show lie inside the
      // client area whole when the Rectangle is large.
      const auto Boxes = TextBoxes(L, Points);
      for (size_t I = 0; I < Boxes.size(); ++I)
        for (size_t J = I + 1; J < Boxes.size(); ++J) {
          const TRect &A = Boxes[I].second, &B = Boxes[J].second;
          EXPECT_FALSE(A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom)
              << Boxes[I].first << " / " << Boxes[J].first;
        }
      // "< Prev" and "Next >" are there and inside the viewer vertically.
      const TRect T = FViewer->ToolbarRect();
      for (const auto& [Text, Box] : Boxes)
        if (Text == "< Prev" || Text == "Next >") {
          EXPECT_LE(Box.Bottom, T.Bottom) << Text;
          if (V.Width >= 600) {
            EXPECT_LE(Box.Right, T.Right) << Text;
          }
        }
      // Cell and header texts have their row: no vertical clipping.
      for (const TPaintOp& Op : L.FOps)
        if (Op.Kind == TPaintKind::Text && Op.Clipped && Op.Text == "0:0") {
          EXPECT_GE(Op.Box.Height(), Line) << Op.Text;
        }
      // At least one data row shows where it fits at all (120 pixels hold
      // a bar, a header row and a data row up to 14 points; 200 pixels a
      // side toolbar's buttons and a data column at 9), and in page mode
      // all five buttons.
      const TRect G = FViewer->GridRect();
      int32_t R = -1, C = -1;
      const bool Side = std::string(V.Placement) == "Left" || std::string(V.Placement) == "Right";
      if (V.Height >= 400 || Points <= (Side ? 9 : 14)) {
        EXPECT_TRUE(FViewer->CellAt(G.Right - 1, G.Bottom - 1, R, C))
            << "grid " << G.Left << "," << G.Top << "-" << G.Right << "," << G.Bottom;
      }
      if (std::string(V.Placement) == "Page") {
        const auto Texts = TextsOf(L);
        ASSERT_TRUE(Texts.count("Save"));
        EXPECT_LE(Texts.at("Save")->Box.Right, V.Width);
        EXPECT_EQ(FViewer->ActionButtonAt(Texts.at("Save")->Box.Left, 10), kActionSave);
      }
    }
}

// Where each op of a repaint can leave pixels: its box within the clipping
// in force (unclipped text: anywhere the clipping allows).
static std::vector<TRect> ReachOf(const TPaintList& L, const TRect& Client) {
  std::vector<TRect> Reach;
  TRect Clip = Client;
  for (const TPaintOp& Op : L.FOps) {
    if (Op.Kind == TPaintKind::Clip) Clip = Op.Clipped ? Op.Box : Client;
    TRect B = Op.Kind == TPaintKind::Text && !Op.Clipped ? Clip : Op.Box;
    if (Op.Kind == TPaintKind::Clip) B = {};
    B = {std::max(B.Left, Clip.Left), std::max(B.Top, Clip.Top), std::min(B.Right, Clip.Right),
         std::min(B.Bottom, Clip.Bottom)};
    Reach.push_back(B);
  }
  return Reach;
}

static bool Overlap(const TRect& A, const TRect& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom &&
         A.Width() > 0 && A.Height() > 0;
}

TEST_F(TLayout, GridAndTabsStayOutOfABottomOrRightToolbar) {
  // Sheet "One" (30 x 12 cells) is larger than every grid here; its partly
  // visible last row or column, and the third tab, reach the toolbar's side.
  for (const char* Placement : {"Bottom", "Right"}) {
    Open(Placement, 600, 400);
    const TPaintList& L = FWin->Repaint();
    TRect T = FViewer->ToolbarRect();
    std::vector<TRect> Reach = ReachOf(L, FViewer->ClientRect());
    // The toolbar is painted first; nothing after its last label covers it.
    size_t Last = 0;
    for (size_t I = 0; I < L.FOps.size(); ++I)
      if (L.FOps[I].WindowTextColor) Last = I;
    ASSERT_GT(Last, 0u);
    for (size_t I = Last + 1; I < L.FOps.size(); ++I)
      EXPECT_FALSE(Overlap(Reach[I], T))
          << Placement << ": op " << I << " " << L.FOps[I].Text << " reaches the toolbar";
    // Cut off, not left out: the partly visible row (Bottom) or column
    // (Right) and the third tab are still painted.
    auto Txt = TextsOf(L);
    EXPECT_TRUE(Txt.count(std::string(Placement) == "Bottom" ? "12:0" : "0:3")) << Placement;
    EXPECT_TRUE(Txt.count("Three")) << Placement;
  }
}

}  // namespace kv::test

namespace kv::test {

// "NumberFormats=Shown" paints cells as their formats show them: numbers
// right-aligned, a [Red] section in red; "Stored" goes back; the editor
// still opens with the stored text.
TEST_F(TLayout, NumberFormatsSettingSwitchesShownTextsAndAlignment) {
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(std::string(KV_FIXTURES_DIR) + "/numfmt/numfmt.xlsx");
  FViewer->ShowSpreadsheet();
  FViewer->SelectCell(2, 15, true);  // "0" on 2.5
  auto T = TextsOf(FWin->Repaint());
  ASSERT_TRUE(T.count("2.5"));

  FViewer->ApplySettings("numberformats = shown");
  EXPECT_TRUE(FViewer->ShowsFormattedNumbers());
  T = TextsOf(FWin->Repaint());
  // Column D holds the value's text: a text, left-aligned.
  ASSERT_TRUE(T.count("2.5") && T.count("3"));
  EXPECT_FALSE(T.at("2.5")->AlignRight);
  const TPaintOp* Number = nullptr;
  for (const TPaintOp& Op : FWin->Repaint().FOps)
    if (Op.Kind == TPaintKind::Text && Op.Text == "3" && Op.AlignRight) Number = &Op;
  ASSERT_NE(Number, nullptr);
  EXPECT_EQ(Number->X, Number->Box.Right);
  EXPECT_EQ(Number->Back, Rgb(255, 236, 217));  // still the selection

  FViewer->SelectCell(2, 93, true);  // "0.00;[Red]-0.00" on -1.5
  T = TextsOf(FWin->Repaint());
  ASSERT_TRUE(T.count("1.50") && T.count("-1.50"));
  EXPECT_EQ(T.at("-1.50")->Color, Rgb(255, 0, 0));
  EXPECT_EQ(T.at("1.50")->Color, Rgb(0, 0, 0));
  FViewer->StartEditSelection();
  EXPECT_EQ(FWin->FEditText, "-1.5");
  FViewer->EndCellEdit(false);

  FViewer->ApplySettings("NumberFormats=Other");  // not a value: unchanged
  EXPECT_TRUE(FViewer->ShowsFormattedNumbers());
  FViewer->ApplySettings("NumberFormats=Stored");
  T = TextsOf(FWin->Repaint());
  EXPECT_TRUE(T.count("-1.5"));
  EXPECT_FALSE(T.at("-1.5")->AlignRight);
}

}  // namespace kv::test

namespace kv::test {

// A book openpyxl wrote without cached values: cells paint what their
// formulas compute, on every sheet and in both number modes; an edit
// repaints what it reaches.
TEST_F(TLayout, FormulaCellsPaintWhatTheyCompute) {
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(std::string(KV_FIXTURES_DIR) + "/xlsx/viewer-formulas.xlsx");
  FViewer->ShowSpreadsheet();
  for (const char* Mode : {"Stored", "Shown"}) {
    FViewer->ApplySettings(std::string("NumberFormats=") + Mode);
    auto T = TextsOf(FWin->Repaint());
    for (const char* Value : {"30", "3.75", "#DIV/0!", "60", "Total 30"})
      EXPECT_TRUE(T.count(Value)) << Mode << " " << Value;
  }
  FViewer->SelectCell(1, 1, true);
  FWin->Char('1');
  FWin->Type("5");
  FWin->Key(vk::Return);
  auto T = TextsOf(FWin->Repaint());
  for (const char* Value : {"35", "70", "Total 35"}) EXPECT_TRUE(T.count(Value)) << Value;
  FViewer->GotoSheet(1);
  T = TextsOf(FWin->Repaint());
  EXPECT_TRUE(T.count("15") && T.count("#DIV/0!"));
}

}  // namespace kv::test
