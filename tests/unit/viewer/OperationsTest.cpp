#include "export/XlsxExporter.h"
#include "unit/viewer/ViewerFixture.h"

namespace kv::test {

class TOps : public TViewerTest {
 protected:
  // A key with its modifiers, and the cell (column, row) it must select.
  struct TKeyStep {
    uint32_t Key, Mods;
    int Col, Row;
  };
  std::tuple<int, int> At() const {
    return std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow());
  }
  void PressKeys(std::initializer_list<TKeyStep> Steps) {
    for (const TKeyStep& S : Steps) {
      FWin->Key(S.Key, S.Mods);
      EXPECT_EQ(At(), std::make_tuple(S.Col, S.Row)) << S.Key << " " << S.Mods;
    }
  }
};

static std::string CellOf(const TVantSpreadsheet& V, int Sheet, int Row, int Col) {
  return std::string(V.Workbook()->Sheet(Sheet).Cell(Row, Col));
}

TEST_F(TOps, ArrowKeysStayInSheetAndScrollIntoView) {
  Open("None", 500, 300);  // 4 whole columns, 11 whole rows
  FWin->Key(vk::Left);
  FWin->Key(vk::Up);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()), std::make_tuple(0, 0));
  for (int I = 0; I < 4; ++I) FWin->Key(vk::Right);
  EXPECT_EQ(FViewer->SelectedCol(), 4);
  EXPECT_EQ(FViewer->LeftCol(), 1);  // the partly shown column is scrolled in
  for (int I = 0; I < 20; ++I) FWin->Key(vk::Right);
  EXPECT_EQ(FViewer->SelectedCol(), 11);  // no wrap, no leaving the sheet
  // Page Down moves selection and view by the 11 whole rows; the view stops
  // with the last used row (29) at its top, the selection on it.
  FWin->Key(vk::Next);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedRow(), FViewer->TopRow()), std::make_tuple(11, 11));
  FWin->Key(vk::Next);
  FWin->Key(vk::Next);
  FWin->Key(vk::Next);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedRow(), FViewer->TopRow()), std::make_tuple(29, 29));
  FWin->Key(vk::Prior);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedRow(), FViewer->TopRow()), std::make_tuple(18, 18));
  FWin->Key(vk::Prior);
  FWin->Key(vk::Prior);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedRow(), FViewer->TopRow()), std::make_tuple(0, 0));
  // Tab and Shift+Tab move sideways; the wheel stops at the last used row.
  FWin->Key(vk::Tab, kModShift);
  EXPECT_EQ(FViewer->SelectedCol(), 10);
  FWin->Key(vk::Tab);
  EXPECT_EQ(FViewer->SelectedCol(), 11);
  FWin->Wheel(-120 * 100);
  EXPECT_EQ(FViewer->TopRow(), 29);
  FWin->Wheel(-120 * 100, true);
  EXPECT_EQ(FViewer->LeftCol(), 11);
  EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Viewer);
}

TEST_F(TOps, NavigationKeysFollowTheData) {
  // Row 1: A, B, C filled, E and F filled; column A filled down to row 4,
  // then row 7; the sheet's last used cell is F7.
  Create();
  FViewer->SetToolbarPlacement("None");
  auto C = [](const char* Ref) {
    return std::string("<c r=\"") + Ref + "\" t=\"inlineStr\"><is><t>v</t></is></c>";
  };
  FViewer->LoadWorkbook(
      WriteBook({{"Data", "<row r=\"1\">" + C("A1") + C("B1") + C("C1") + C("E1") + C("F1") +
                              "</row>" + "<row r=\"2\">" + C("A2") + "</row><row r=\"3\">" +
                              C("A3") + "</row><row r=\"4\">" + C("A4") + C("D4") +
                              "</row><row r=\"7\">" + C("A7") + "</row>"},
                 {"Second", "<row r=\"1\">" + C("A1") + "</row>"}}));
  FViewer->ShowSpreadsheet();
  PressKeys({
      {vk::Right, kModCtrl, 2, 0},  // to the block's end
      {vk::Right, kModCtrl, 4, 0},  // over the gap to the next filled cell
      {vk::Right, kModCtrl, 5, 0},
      {vk::Right, kModCtrl, 5, 0},  // the sheet's edge
      {vk::Left, kModCtrl, 4, 0},
      {vk::Home, kModCtrl, 0, 0},
      {vk::Down, kModCtrl, 0, 3},
      {vk::Down, kModCtrl, 0, 6},
      {vk::Down, kModCtrl, 0, 6},  // no further data: the last row
      {vk::Up, kModCtrl, 0, 3},
      {vk::End, 0, 3, 3},  // the row's last used column
      {vk::Home, 0, 0, 3},
      {vk::End, kModCtrl, 5, 6},  // the last used cell
      {vk::Home, 0, 0, 6},
  });
  FWin->Key(vk::Next, kModCtrl);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 1);
  FWin->Key(vk::Next, kModCtrl);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 1);
  FWin->Key(vk::Prior, kModCtrl);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
}

// A1, A1000002 and XFD1048576: the keys land on the far cells at once, from
// the store's queries. Cell by cell, the 400 gap crossings at the end would
// read 400 million empty cells.
TEST_F(TOps, NavigationKeysJumpMillionCellGaps) {
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(WriteBook({{"Far",
                                    "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                                    "<row r=\"1000002\"><c r=\"A1000002\"><v>2</v></c></row>"
                                    "<row r=\"1048576\"><c r=\"XFD1048576\"><v>3</v></c></row>"}}));
  FViewer->ShowSpreadsheet();
  PressKeys({
      {vk::End, kModCtrl, 16383, 1048575},
      {vk::Home, 0, 16383, 1048575},  // its row's only cell
      {vk::Left, kModCtrl, 0, 1048575},
      {vk::Up, kModCtrl, 0, 1000001},
      {vk::Up, kModCtrl, 0, 0},
      {vk::Right, kModCtrl, 16383, 0},
      {vk::Home, 0, 0, 0},
      {vk::End, 0, 0, 0},
      {vk::Down, kModCtrl, 0, 1000001},
      {vk::Down, kModCtrl, 0, 1048575},
      {vk::Home, kModCtrl, 0, 0},
  });
  for (int I = 0; I < 200; ++I) {
    FWin->Key(vk::Down, kModCtrl);
    FWin->Key(vk::Up, kModCtrl);
  }
  EXPECT_EQ(At(), std::make_tuple(0, 0));
  // The row headers fit "1048576": wider than the 46 pixels of four digits.
  int32_t R = -1, C = -1;
  EXPECT_FALSE(FViewer->CellAt(46, 60, R, C));
  EXPECT_TRUE(FViewer->CellAt(60, 60, R, C));
}

TEST_F(TOps, ScrollBarsFollowTheViewAndScaleAMillionRows) {
  Open("None", 500, 300);  // 11 whole rows, 4 whole columns of 30 x 12
  const auto& V = FWin->FBars[0];
  const auto& H = FWin->FBars[1];
  FWin->Key(vk::Down);
  EXPECT_EQ(V.Sets + H.Sets, 0);  // off: never touched
  FViewer->ApplySettings("ScrollBars=Yes");
  EXPECT_TRUE(V.Shown && H.Shown);
  EXPECT_EQ(std::make_tuple(V.Max, V.Page, V.Pos), std::make_tuple(30 + 11 - 2, 11, 0));
  EXPECT_EQ(std::make_tuple(H.Max, H.Page, H.Pos), std::make_tuple(12 + 4 - 2, 4, 0));
  const struct {
    uint32_t Code;
    int32_t Pos, Top;
  } Steps[] = {{msg::kScrollLineDown, 0, 1},
               {msg::kScrollPageDown, 0, 12},
               {msg::kScrollLineUp, 0, 11},
               {msg::kScrollThumbTrack, 7, 7},
               {msg::kScrollThumbPosition, 29, 29},
               {msg::kScrollPageDown, 0, 29},
               {msg::kScrollTop, 0, 0},
               {msg::kScrollBottom, 0, 29}};
  for (const auto& S : Steps) {
    FWin->Send(msg::VScroll, S.Code | (uintptr_t(S.Pos) << 16));
    EXPECT_EQ(FViewer->TopRow(), S.Top) << S.Code;
    EXPECT_EQ(V.Pos, S.Top) << S.Code;
  }
  FWin->Send(msg::HScroll, msg::kScrollPageDown);
  EXPECT_EQ(std::make_tuple(FViewer->LeftCol(), H.Pos), std::make_tuple(4, 4));
  const int Sets = V.Sets;
  FWin->Repaint();
  EXPECT_EQ(V.Sets, Sets);  // unchanged state is not set again
  FViewer->ApplySettings("ScrollBars=No");
  EXPECT_FALSE(V.Shown || H.Shown);

  // A million rows: units of 34 rows within the 16 bits of a dragged thumb,
  // whose end reaches the last row.
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(WriteBook({{"Tall",
                                    "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                                    "<row r=\"1000000\"><c r=\"A1000000\"><v>2</v></c></row>"}}));
  FViewer->ApplySettings("ScrollBars=Yes");
  FViewer->ShowSpreadsheet();
  FWindows.FLast->Send(msg::Size);  // as the move to the Rectangle sends it
  const auto& T = FWindows.FLast->FBars[0];
  const int64_t Rows = (FViewer->GridRect().Height() - 22) / 22;
  const int64_t Total = FViewer->Workbook()->Sheet(0).RowCount() + Rows - 1;
  const int64_t Scale = (Total + 29999) / 30000;
  EXPECT_EQ(T.Max, (Total - 1) / Scale);
  EXPECT_LE(T.Max, 30000);
  FWindows.FLast->Send(msg::VScroll, msg::kScrollThumbTrack | (uintptr_t(T.Max / 2) << 16));
  EXPECT_EQ(FViewer->TopRow(), T.Max / 2 * Scale);
  FWindows.FLast->Send(msg::VScroll,
                       msg::kScrollThumbTrack | (uintptr_t(T.Max - T.Page + 1) << 16));
  EXPECT_EQ(FViewer->TopRow(), FViewer->Workbook()->Sheet(0).RowCount() - 1);
}

TEST_F(TOps, EditorKeysKeepOrDropAndMove) {
  Open("None");
  FViewer->SelectCell(1, 2, true);
  const struct {
    uint32_t Key, Mods;
    const char* Typed;
    const char* Stored;           // in the edited cell
    int Col, Row;                 // the selection after
    const char* Error = nullptr;  // in [LastError]: the edit was refused
  } Cases[] = {
      {vk::Return, 0, "999", "999", 1, 3},
      {vk::Return, kModShift, "a", "a", 1, 2},
      {vk::Tab, 0, "b", "b", 2, 2},
      {vk::Tab, kModShift, "c", "c", 1, 2},
      {vk::Escape, 0, "555", "b", 1, 2},
      // A formula is computed at once; one that cannot be read is refused
      // where it fails, leaving the cell and the selection; an apostrophe
      // makes the rest text.
      {vk::Return, 0, "=C3&\"!\"", "c!", 1, 3},
      {vk::Return, 0, "=1+*2", "a", 1, 3, "at character 4"},
      {vk::Tab, 0, "=SUM(B3", "a", 1, 3, "not closed"},
      {vk::Tab, 0, "'=1+1", "=1+1", 2, 3},
  };
  for (const auto& K : Cases) {
    const int Col = FViewer->SelectedCol(), Row = FViewer->SelectedRow();
    FWin->Key(vk::F2);
    ASSERT_TRUE(FViewer->IsEditing());
    FWin->Type(K.Typed);
    EXPECT_EQ(FWin->Key(K.Key, K.Mods), TMessageResult::Handled);
    EXPECT_FALSE(FViewer->IsEditing());
    EXPECT_EQ(CellOf(*FViewer, 0, Row, Col), K.Stored) << K.Typed;
    EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()),
              std::make_tuple(K.Col, K.Row))
        << K.Typed;
    EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Viewer);
    const std::string Error = FHost.Var("[LastError]");
    if (K.Error) {
      EXPECT_NE(Error.find(K.Error), std::string::npos) << Error;
    }
    FHost.FVars.erase("[LastError]");
  }
  // The formula's editor shows it; its reader follows an edit of what it reads.
  FViewer->SelectCell(1, 2, true);
  FWin->Key(vk::F2);
  EXPECT_EQ(FWin->FEditText, "=C3&\"!\"");
  FWin->Key(vk::Escape);
  FViewer->SelectCell(2, 2, true);
  FWin->Char('d');
  FWin->Key(vk::Return);
  EXPECT_EQ(CellOf(*FViewer, 0, 2, 1), "d!");
  // Other keys stay the edit control's.
  FWin->Key(vk::F2);
  EXPECT_EQ(FWin->Key(vk::Left), TMessageResult::Default);
  EXPECT_EQ(FWin->Key(vk::Home, kModCtrl), TMessageResult::Default);
  EXPECT_TRUE(FViewer->IsEditing());
  FViewer->EndCellEdit(false);
}

TEST_F(TOps, TypingDeleteAndBackspaceAsInASpreadsheet) {
  Open("None");
  FViewer->SelectCell(1, 2, true);
  // The typed character starts the new content, the caret after it.
  FWin->Char('7');
  ASSERT_TRUE(FViewer->IsEditing());
  EXPECT_EQ(FWin->FEditText, "7");
  EXPECT_FALSE(FWin->FEditSelectedAll);
  FWin->Type("7");
  FWin->Key(vk::Return);
  EXPECT_EQ(CellOf(*FViewer, 0, 2, 1), "77");
  // A character beyond ASCII is kept as typed.
  FWin->Char(U'\u00E9');
  FWin->Key(vk::Escape);
  EXPECT_EQ(CellOf(*FViewer, 0, 3, 1), "3:1");
  FWin->Char(U'\u00E9');
  EXPECT_EQ(FWin->FEditText, "\xC3\xA9");
  FViewer->EndCellEdit(false);
  // Delete empties the cell at once; Backspace opens an empty editor.
  FWin->Key(vk::Delete);
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(CellOf(*FViewer, 0, 3, 1), "");
  FWin->Key(vk::Down);
  FWin->Key(vk::Back);
  ASSERT_TRUE(FViewer->IsEditing());
  EXPECT_EQ(FWin->FEditText, "");
  FWin->Key(vk::Return);
  EXPECT_EQ(CellOf(*FViewer, 0, 4, 1), "");
  // Typing the cell's own text over it changes nothing.
  FWin->Char('5');
  FWin->Type(":1");
  FWin->Key(vk::Return);
  EXPECT_EQ(CellOf(*FViewer, 0, 5, 1), "5:1");
}

TEST_F(TOps, LineBreaksComeBackExactly) {
  Create();
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(
      WriteBook({{"Lines",
                  "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>one\ntwo</t></is></c>"
                  "<c r=\"B1\" t=\"inlineStr\"><is><t>one&#13;\ntwo</t></is></c></row>"}}));
  FViewer->ShowSpreadsheet();
  ASSERT_EQ(CellOf(*FViewer, 0, 0, 1), "one\r\ntwo");
  // The editor holds CR LF; Alt+Enter adds one; each cell keeps its kind.
  for (int Col = 0; Col < 2; ++Col) {
    FViewer->SelectCell(Col, 0, true);
    FWin->Key(vk::F2);
    EXPECT_EQ(FWin->FEditText, "one\r\ntwo");
    EXPECT_EQ(FWin->FEditH, 44);  // a row per line
    FWin->FEditSelectedAll = false;
    FWin->Key(vk::Return, kModAlt);
    EXPECT_TRUE(FViewer->IsEditing());
    FWin->Type("three");
    FWin->Key(vk::Tab);
  }
  EXPECT_EQ(CellOf(*FViewer, 0, 0, 0), "one\ntwo\nthree");
  EXPECT_EQ(CellOf(*FViewer, 0, 0, 1), "one\r\ntwo\r\nthree");
}

TEST_F(TOps, WheelStepsWholeNotchesOnly) {
  Open();
  FWin->Wheel(-360);
  EXPECT_EQ(FViewer->TopRow(), 3);
  FWin->Wheel(60);
  EXPECT_EQ(FViewer->TopRow(), 3);
  FWin->Wheel(240);
  EXPECT_EQ(FViewer->TopRow(), 1);
  FWin->Wheel(600);
  EXPECT_EQ(FViewer->TopRow(), 0);
  FWin->Wheel(-120, true);
  EXPECT_EQ(std::make_tuple(FViewer->LeftCol(), FViewer->TopRow()), std::make_tuple(1, 0));
}

TEST_F(TOps, ClicksSelectCellsButNotHeaders) {
  Open("None");
  FWin->Click(46 + 96 * 2 + 5, 30 + 22 * 4 + 5);
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()), std::make_tuple(2, 3));
  FWin->Click(10, 30 + 22 * 6);  // row header
  FWin->Click(300, 35);          // column header
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()), std::make_tuple(2, 3));
}

TEST_F(TOps, EditorOpensOnEveryTriggerWithOldTextSelected) {
  Open("None");
  FViewer->SelectCell(1, 2, true);
  for (int Trigger = 0; Trigger < 4; ++Trigger) {
    switch (Trigger) {
      case 0:
        FWin->Key(vk::Return);
        break;
      case 1:
        FWin->Key(vk::F2);
        break;
      case 2:
        FWin->Send(msg::LButtonDblClk, 0, 0);
        break;
      case 3:
        FViewer->StartEditSelection();
        break;
    }
    ASSERT_TRUE(FViewer->IsEditing()) << Trigger;
    EXPECT_EQ(FWin->FEditText, "2:1");
    EXPECT_TRUE(FWin->FEditSelectedAll);
    EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Editor);
    EXPECT_EQ(std::tie(FWin->FEditX, FWin->FEditY, FWin->FEditW, FWin->FEditH),
              std::make_tuple(46 + 96, 30 + 22 * 3, 96, 22));
    FViewer->EndCellEdit(false);
  }
  FWin->Send(msg::Char, 31);
  FWin->Send(msg::Char, 127);
  EXPECT_FALSE(FViewer->IsEditing());
}

TEST_F(TOps, ActionToolbarEditButtonOpensEditor) {
  Open("Page");
  FViewer->SetShowActionToolbar(true);
  FWin->Click(170, 10);
  EXPECT_TRUE(FViewer->IsEditing());
}

TEST_F(TOps, ClickingAnotherCellCommitsIntoTheEditedCellFirst) {
  Open("None");
  FViewer->SelectCell(0, 0, true);
  FWin->Send(msg::Char, 'a');
  FWin->Type("hello");
  FWin->Click(46 + 96 * 3 + 5, 30 + 22 * 5 + 5);
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(CellOf(*FViewer, 0, 0, 0), "ahello");
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()), std::make_tuple(3, 4));
}

TEST_F(TOps, UnchangedCloseWritesNothingAndLongTextIsKeptWhole) {
  // A formula, a number stored as text, a boolean and a 17-digit number: each
  // would come back as another value if its shown text were written.
  Create();
  std::string Path = WriteBook({{"Kinds",
                                 "<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c>"
                                 "<c r=\"B1\" t=\"inlineStr\"><is><t>01234</t></is></c>"
                                 "<c r=\"C1\" t=\"b\"><v>1</v></c>"
                                 "<c r=\"D1\"><v>12345678901234567</v></c></row>"
                                 "<row r=\"2\"><c r=\"A2\"><v>5</v></c></row>"}});
  std::string Loaded = ReadWholeFile(Path);
  FViewer->SetToolbarPlacement("None");
  FViewer->LoadWorkbook(Path);
  FViewer->ShowSpreadsheet();
  std::vector<std::string> Shown;
  for (int C = 0; C < 4; ++C) Shown.emplace_back(CellOf(*FViewer, 0, 0, C));
  // Every kind of close: focus loss by a click, a sheet change, a save.
  FViewer->SelectCell(0, 0, true);
  FWin->Key(vk::F2);
  FWin->Click(46 + 5, 30 + 22 * 2 + 5);
  FViewer->SelectCell(1, 0, true);
  FWin->Key(vk::F2);
  FWin->FocusOther();
  FViewer->SelectCell(2, 0, true);
  FWin->Key(vk::Return);
  FWin->Key(vk::Return);  // in the editor: keeps the unchanged text
  FViewer->SelectCell(2, 0, true);
  FWin->Key(vk::Return);
  FViewer->GotoSheet(0);
  FViewer->SelectCell(3, 0, true);
  FViewer->StartEditSelection();
  FViewer->SaveWorkbook(FDir.File("same.xlsx"));
  for (int C = 0; C < 4; ++C) EXPECT_EQ(CellOf(*FViewer, 0, 0, C), Shown[size_t(C)]) << C;
  EXPECT_EQ(ReadWholeFile(FDir.File("same.xlsx")), Loaded);
  FViewer->SaveWorkbook("");
  EXPECT_EQ(ReadWholeFile(Path), Loaded);

  // A changed text is written, a long one whole.
  std::string Long(20000, 'q');
  Long += "end";
  FViewer->SelectCell(0, 1, true);
  FWin->Key(vk::F2);
  FWin->Type(Long);
  FViewer->SaveWorkbook("");  // commits first
  EXPECT_EQ(CellOf(*FViewer, 0, 1, 0), Long);
  TXlsxWorkbook Back;
  Back.LoadFromFile(Path);
  EXPECT_EQ(Back.Sheet(0).Cell(1, 0), Long);
  EXPECT_EQ(Back.Sheet(0).Cell(0, 1), "01234");
}

TEST_F(TOps, FocusGoesBackToTheViewerOnlyFromTheEditor) {
  Open("None");
  // The reader clicks a field of the host: the edit closes, the focus stays there.
  FWin->Key(vk::F2);
  FWin->Type("typed");
  FWin->FocusOther();
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(CellOf(*FViewer, 0, 0, 0), "typed");
  EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Other);
  // Also where the system still names the editor while it reports the loss.
  FWin->Key(vk::F2);
  FWin->Send(msg::Command, uintptr_t(msg::EnKillFocus) << 16, intptr_t(FWin->FEditor));
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_NE(FWin->FFocus, TFakeViewerWindow::Viewer);
  // A close by a sheet change or a save while the editor has the focus hands
  // it to the viewer, so the keys keep reaching the grid.
  FWin->Key(vk::F2);
  FViewer->GotoSheet(1);
  EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Viewer);
  FWin->Key(vk::F2);
  FViewer->SaveWorkbook("");
  EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Viewer);
  // The focus went elsewhere without the editor noticing: it is left there.
  FWin->Key(vk::F2);
  FWin->FFocus = TFakeViewerWindow::Other;
  FViewer->SaveWorkbook("");
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(FWin->FFocus, TFakeViewerWindow::Other);
}

TEST_F(TOps, EditorOpensOnACellScrolledIntoViewInTheViewerFont) {
  Open("Bottom");  // grid (0, 30)-(600, 332): 12 whole rows above the toolbar
  FViewer->ApplySettings("GridFont=Courier New;FontSize=11");
  FViewer->SelectCell(7, 20, false);  // out of view below and to the right
  FWin->Key(vk::F2);
  ASSERT_TRUE(FViewer->IsEditing());
  EXPECT_EQ(std::make_tuple(FViewer->LeftCol(), FViewer->TopRow()), std::make_tuple(3, 9));
  TRect G = FViewer->GridRect();
  EXPECT_EQ(std::tie(FWin->FEditX, FWin->FEditY), std::make_tuple(46 + 96 * 4, 30 + 22 * 12));
  EXPECT_LE(FWin->FEditY + FWin->FEditH, G.Bottom);
  EXPECT_LE(FWin->FEditX + FWin->FEditW, G.Right);
  EXPECT_EQ(FWin->FEditFontName, "Courier New");
  EXPECT_EQ(FWin->FEditFontPoints, 11);
  FViewer->EndCellEdit(false);
  // Scrolled away above by the wheel.
  FWin->Wheel(-120 * 11);
  FWin->Key(vk::Return);
  ASSERT_TRUE(FViewer->IsEditing());
  EXPECT_EQ(FViewer->TopRow(), 20);
  EXPECT_EQ(FWin->FEditY, 30 + 22);
}

TEST_F(TOps, EditorTracksNothingWhileOpenAndSheetChangeCommitsToShownSheet) {
  Open("None");
  FViewer->SelectCell(2, 1, true);
  FWin->Key(vk::Return);
  FWindows.FWindows[FRect].FScreenX += 50;
  int Moves = FWin->FMoves;
  FWin->Send(msg::Timer, 1);
  EXPECT_EQ(FWin->FMoves, Moves);
  FWin->Type("edited");
  FWin->Click(150 + 10, 10);  // tab "Two"
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 1);
  EXPECT_EQ(CellOf(*FViewer, 0, 1, 2), "edited");
  EXPECT_EQ(CellOf(*FViewer, 1, 1, 2), "1:2");
  FWin->Send(msg::Timer, 1);
  EXPECT_GT(FWin->FMoves, Moves);  // tracking resumes
}

TEST_F(TOps, DestroyingWhileEditingDiscardsTheText) {
  Open("None");
  std::string Path = FDir.File("book.xlsx");
  FWin->Key(vk::Return);
  FWin->Type("lost");
  FViewer.reset();
  TXlsxWorkbook Back;
  Back.LoadFromFile(Path);
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "0:0");
}

TEST_F(TOps, LoadingAnotherBookDropsAnOpenEditWithoutWritingIt) {
  Open("None");
  FWin->Key(vk::Return);
  FWin->Type("stale");
  FViewer->LoadWorkbook(WriteBook({{"Other", GridData(2, 2)}}, "other.xlsx"));
  EXPECT_FALSE(FViewer->IsEditing());
  EXPECT_EQ(FWin->FEditor, TWindowHandle(0));
  FWin->Click(46 + 96 + 5, 30 + 22 + 5);  // a focus change now commits nothing
  EXPECT_EQ(FViewer->CurrentSheetName(), "Other");
  EXPECT_EQ(CellOf(*FViewer, 0, 0, 0), "0:0");
}

TEST_F(TOps, HighlightsToggleReplaceClearAndBelongToTheirSheet) {
  Open("None");
  FViewer->SelectCell(1, 1, true);
  int64_t K = HighlightKey(0, 1, 1);
  FViewer->ToggleHighlightSelection("Yellow");
  EXPECT_EQ(FViewer->Highlights().at(K), Rgb(255, 255, 128));
  FViewer->ToggleHighlightSelection(" yellow ");
  EXPECT_TRUE(FViewer->Highlights().empty());
  FViewer->ToggleHighlightSelection("Yellow");
  FViewer->ToggleHighlightSelection("Red");
  EXPECT_EQ(FViewer->Highlights().at(K), Rgb(255, 128, 128));
  FViewer->ToggleHighlightSelection("None");
  EXPECT_TRUE(FViewer->Highlights().empty());
  FViewer->ToggleHighlightSelection("Orange");

  auto HasBack = [&](TColor C) {
    for (const TPaintOp& Op : FWin->Repaint().FOps)
      if (Op.Kind == TPaintKind::Fill && Op.Color == C) return true;
    return false;
  };
  FViewer->GotoSheet(1);
  FViewer->SelectCell(2, 2, true);
  EXPECT_FALSE(HasBack(Rgb(255, 165, 10)));
  FViewer->GotoSheet(0);
  FViewer->SelectCell(0, 0, true);
  EXPECT_TRUE(HasBack(Rgb(255, 165, 10)));
  FViewer->LoadWorkbook(FDir.File("book.xlsx"));
  EXPECT_TRUE(FViewer->Highlights().empty());
}

TEST_F(TOps, GotoByNumberNameAndLimits) {
  std::string Path = WriteBook({{"Alpha", GridData(1, 1)},
                                {"2", ""},
                                {"0", ""},
                                {"-1", ""},
                                {" Pad", ""},
                                {"\xC3\x84rger", ""}});
  Create();
  FViewer->SetVariableName("V");
  FViewer->LoadWorkbook(Path);
  EXPECT_TRUE(FViewer->GotoSheetByNameOrNumber(" 2 "));
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 1);  // the number wins over the sheet named 2
  EXPECT_TRUE(FViewer->GotoSheetByNameOrNumber("0"));
  EXPECT_EQ(FViewer->CurrentSheetName(), "0");
  EXPECT_TRUE(FViewer->GotoSheetByNameOrNumber("-1"));
  EXPECT_EQ(FViewer->CurrentSheetName(), "-1");
  EXPECT_TRUE(FViewer->GotoSheetByNameOrNumber("aLPHA"));
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
  EXPECT_FALSE(FViewer->GotoSheetByNameOrNumber(" Pad"));  // trimmed request, untrimmed name
  EXPECT_FALSE(FViewer->GotoSheetByNameOrNumber("\xC3\xA4rger"));
  EXPECT_TRUE(FViewer->GotoSheetByNameOrNumber("\xC3\x84RGER"));
  EXPECT_FALSE(FViewer->GotoSheetByNameOrNumber("7"));
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 5);

  FHost.FVars.clear();
  EXPECT_FALSE(FViewer->NextSheet());
  EXPECT_TRUE(FHost.FVars.empty());
  EXPECT_TRUE(FViewer->PrevSheet());
  EXPECT_EQ(FHost.Var("[V]"), " Pad");
  EXPECT_EQ(FHost.Var("[V_Index]"), "5");
  EXPECT_EQ(FHost.Var("[V_Count]"), "6");
}

TEST_F(TOps, SheetChangeResetsViewAndClampsSelection) {
  Open("None");
  FViewer->SelectCell(10, 20, true);
  FWin->Wheel(-120, true);
  EXPECT_TRUE(FViewer->GotoSheet(0));  // the same sheet still resets
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow(), FViewer->TopRow(),
                            FViewer->LeftCol()),
            std::make_tuple(0, 0, 0, 0));
  EXPECT_FALSE(FViewer->GotoSheet(3));
  EXPECT_FALSE(FViewer->GotoSheet(-1));
}

TEST_F(TOps, UnreadableSheetLeavesTheCurrentOneAndSaysWhy) {
  Create();
  FViewer->SetVariableName("Book");
  FViewer->LoadWorkbook(WriteBook({{"One", GridData(3, 2)}, {"Bad", "<row><c><v>1"}}));
  FViewer->ShowSpreadsheet();
  FViewer->SelectCell(1, 2, true);
  EXPECT_FALSE(FViewer->GotoSheet(1));
  EXPECT_FALSE(FViewer->NextSheet());
  EXPECT_EQ(FViewer->CurrentSheetName(), "One");
  EXPECT_EQ(std::make_tuple(FViewer->SelectedCol(), FViewer->SelectedRow()), std::make_tuple(1, 2));
  EXPECT_NE(FHost.Var("[LastError]").find("sheet2.xml"), std::string::npos)
      << FHost.Var("[LastError]");
}

TEST_F(TOps, ToolbarButtonsChangeSheetsAndLabelRowDoesNothing) {
  Open("Top");
  FWin->Click(20, 20);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
  FWin->Click(90, 40);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 1);
  FWin->Click(20, 40);
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
  FWin->Click(300, 40);  // the caption: no effect, and no cell below
  EXPECT_EQ(FViewer->CurrentSheetIndex(), 0);
  EXPECT_EQ(FViewer->SelectedRow(), 0);
}

TEST_F(TOps, VariablesPublishedOnLoadAndSheetChangesOnly) {
  Open();
  EXPECT_EQ(FHost.Var("[Book]"), "One");
  EXPECT_EQ(FHost.Var("[Book_Index]"), "1");
  EXPECT_EQ(FHost.Var("[Book_Count]"), "3");
  FHost.FVars.clear();
  FViewer->SelectCell(1, 1, true);
  FViewer->ToggleHighlightSelection("Red");
  FWin->Send(msg::Timer, 1);
  EXPECT_TRUE(FHost.FVars.empty());
  FViewer->SetVariableName("");
  FViewer->NextSheet();
  EXPECT_TRUE(FHost.FVars.empty());
}

TEST_F(TOps, PageButtonsReachTheHostOnlyAfterTheClick) {
  Open("Page");
  FViewer->SetShowActionToolbar(true);
  FWin->Click(90, 10);
  FWin->Click(10, 10);
  EXPECT_TRUE(FHost.FPlayed.empty());
  FWin->Pump();
  EXPECT_EQ(FHost.FPlayed, (std::vector<std::string>{"Gotonextpage", "GotoPrevpage"}));
  FWin->Send(msg::PageNavigate, 2);
  EXPECT_EQ(FHost.FPlayed.size(), 2u);
  FHost.FHasPlay = false;
  FWin->Send(msg::PageNavigate, 1);
  EXPECT_EQ(FHost.FPlayed.size(), 2u);
}

TEST_F(TOps, SaveButtonAndSaveTargetsAndErrors) {
  Create();
  try {
    FViewer->SaveWorkbook("x.xlsx");
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "No workbook is currently open.");
  }
  EXPECT_THROW(FViewer->ExportWorkbook("CSV", "", FDir.File("o.csv")), TKvError);
  FViewer.reset();
  Open("Page");
  FViewer->SetShowActionToolbar(true);
  FViewer->SelectCell(0, 0, true);
  FWin->Key(vk::Return);
  FWin->Type("saved");
  FWin->Click(330, 10);  // "Save": over the loaded file
  EXPECT_EQ(FHost.Var("[LastError]"), "");
  TXlsxWorkbook Back;
  Back.LoadFromFile(FDir.File("book.xlsx"));
  EXPECT_EQ(Back.Sheet(0).Cell(0, 0), "saved");
  FViewer->SaveWorkbook(FDir.File("copy.xlsx"));
  EXPECT_TRUE(FileExists(FDir.File("copy.xlsx")));
  // A failing save from the button goes to [LastError].
  Create();
  FViewer->LoadWorkbook(FDir.File("copy.xlsx"));
  std::filesystem::remove(FDir.File("copy.xlsx"));
  std::filesystem::create_directories(FDir.File("copy.xlsx"));
  FViewer->SetToolbarPlacement("Page");
  FViewer->SetShowActionToolbar(true);
  FWin->Click(330, 10);
  EXPECT_NE(FHost.Var("[LastError]"), "");
}

TEST_F(TOps, ExportIgnoresThePendingEdit) {
  Open("None");
  FWin->Key(vk::Return);
  FWin->Type("pending");
  FViewer->ExportWorkbook("csv", "CurrentSheet", FDir.File("out.csv"));
  std::string Csv = ReadWholeFile(FDir.File("out.csv"));
  EXPECT_EQ(Csv.substr(0, 3 + 3),
            "\xEF\xBB\xBF"
            "0:0");
  EXPECT_TRUE(FViewer->IsEditing());
  FViewer->ExportWorkbook("html", "all", FDir.File("out.html"));
  EXPECT_NE(ReadWholeFile(FDir.File("out.html")).find("<h2>Three</h2>"), std::string::npos);
}

TEST_F(TOps, LoadFailureLeavesNoWorkbook) {
  Open();
  WriteWholeFile(FDir.File("bad.xlsx"), "not a zip");
  EXPECT_THROW(FViewer->LoadWorkbook(FDir.File("bad.xlsx")), TKvError);
  EXPECT_EQ(FViewer->Workbook(), nullptr);
  EXPECT_EQ(FViewer->SheetCount(), 0);
  EXPECT_EQ(FViewer->CurrentSheetName(), "");
  EXPECT_FALSE(FViewer->NextSheet());
  FWin->Repaint();  // paints without a workbook
}

TEST_F(TOps, SettingsStringEdgeCases) {
  Create();
  int Before = FWin->FInvalidations;
  FViewer->ApplySettings("");
  EXPECT_EQ(FWin->FInvalidations, Before + 1);
  FViewer->ApplySettings("ToolbarColor=#FF0000;HeaderColor=00ff00");
  EXPECT_EQ(FViewer->ToolbarColor(), Rgb(255, 0, 0));
  EXPECT_EQ(FViewer->HeaderColor(), Rgb(0, 255, 0));
  FViewer->ApplySettings(
      "ToolbarColor=$0000FF;HeaderColor=F00;SelectionColor=##112233;"
      "SelectionColor=0x112233;SelectionColor=11 2233;SelectionColor=red;SelectionColor=1122334");
  EXPECT_EQ(FViewer->ToolbarColor(), Rgb(255, 0, 0));
  EXPECT_EQ(FViewer->HeaderColor(), Rgb(0, 255, 0));
  EXPECT_EQ(FViewer->SelectionColor(), Rgb(255, 236, 217));

  FViewer->ApplySettings("FontSize=5;RowHeight=13;ColumnWidth=29");
  FViewer->ApplySettings("FontSize=37;RowHeight=81;ColumnWidth=401");
  EXPECT_EQ(std::make_tuple(FViewer->GridFontSize(), FViewer->RowHeight(), FViewer->CellWidth()),
            std::make_tuple(9, 22, 96));
  FViewer->ApplySettings("FontSize=6\r\nRowHeight=80\nColumnWidth=400");
  EXPECT_EQ(std::make_tuple(FViewer->GridFontSize(), FViewer->RowHeight(), FViewer->CellWidth()),
            std::make_tuple(6, 80, 400));
  FViewer->ApplySettings(" rowheight = 30 ;FONTSIZE=$24;ColumnWidth=x1E;fontsize=1e1");
  EXPECT_EQ(std::make_tuple(FViewer->GridFontSize(), FViewer->RowHeight(), FViewer->CellWidth()),
            std::make_tuple(36, 30, 30));

  FViewer->ApplySettings("GridFont=;FontSize=12");
  EXPECT_EQ(FViewer->GridFontName(), "Segoe UI");
  EXPECT_EQ(FViewer->GridFontSize(), 12);
  FViewer->ApplySettings("GridFont=Courier New;FontSize=10;FontSize=99");
  EXPECT_EQ(FViewer->GridFontName(), "Courier New");
  EXPECT_EQ(FViewer->GridFontSize(), 10);
  FViewer->ApplySettings("GridFont=\"Odd;Face\";NoEquals;Unknown=1;=5");
  EXPECT_EQ(FViewer->GridFontName(), "\"Odd;Face\"");
  FViewer->ApplySettings("GridFont=a=b");
  EXPECT_EQ(FViewer->GridFontName(), "a=b");
}

TEST(SettingsParsing, EntriesAndIntegers) {
  EXPECT_EQ(SplitSettingsEntries(";;\r\n A=1;\r\nB='x;\ny'\n;"),
            (std::vector<std::string>{" A=1", "B='x;\ny'"}));
  int32_t N = 0;
  EXPECT_TRUE(ParseSettingsInteger("-12", N));
  EXPECT_EQ(N, -12);
  EXPECT_TRUE(ParseSettingsInteger("0x1f", N));
  EXPECT_EQ(N, 31);
  EXPECT_TRUE(ParseSettingsInteger("-2147483648", N));
  EXPECT_FALSE(ParseSettingsInteger("2147483648", N));
  for (const char* Bad : {"", "+", "$", "1.5", "12a", "0x", "1 2"})
    EXPECT_FALSE(ParseSettingsInteger(Bad, N)) << Bad;
}

}  // namespace kv::test

namespace kv::test {

TEST_F(TOps, EditorStaysClosedOnLockedCellsOfProtectedSheets) {
  Open("None");
  TPackage P = MakeBook({{"P", ""}});
  P.Set("xl/styles.xml",
        "<styleSheet><cellXfs><xf/><xf><protection locked=\"0\"/></xf>"
        "</cellXfs></styleSheet>");
  P.Set("xl/worksheets/sheet1.xml",
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" s=\"1\"><v>2</v>"
        "</c></row></sheetData><sheetProtection sheet=\"1\"/></worksheet>");
  WriteWholeFile(FDir.File("p.xlsx"), P.Bytes());
  FViewer->LoadWorkbook(FDir.File("p.xlsx"));
  for (int Col : {0, 1}) {
    FViewer->SelectCell(Col, 0, true);
    FWin->Key(vk::Return);
    EXPECT_EQ(FViewer->IsEditing(), Col == 1) << Col;  // only the unlocked cell
    FViewer->EndCellEdit(false);
  }
}

}  // namespace kv::test
