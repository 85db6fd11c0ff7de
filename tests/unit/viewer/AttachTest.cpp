#include "unit/viewer/ViewerFixture.h"

namespace kv::test {

using TAttach = TViewerTest;

TEST_F(TAttach, ChildOfHostWindowWithTimerAndPlacedOverRectangleWhenShown) {
  Create();
  EXPECT_EQ(FWindows.FLastParent, FHostWnd);
  EXPECT_EQ(FViewer->Handle(), FWin->Handle());
  EXPECT_EQ(FWin->FTimers.at(1), 250u);
  FViewer->ShowSpreadsheet();
  // Rectangle's client origin (130, 90) on the screen is (30, 40) in the host.
  EXPECT_EQ(std::tie(FWin->FX, FWin->FY, FWin->FWidth, FWin->FHeight),
            std::make_tuple(30, 40, 600, 400));
  EXPECT_TRUE(FWin->FVisible);
}

TEST_F(TAttach, WithoutHostWindowBecomesChildOfRectangleAtItsOrigin) {
  FHost.FWindow = 0;
  Create();
  EXPECT_EQ(FWindows.FLastParent, FRect);
  FViewer->ShowSpreadsheet();
  EXPECT_EQ(std::tie(FWin->FX, FWin->FY, FWin->FWidth), std::make_tuple(0, 0, 600));
}

TEST_F(TAttach, CreationFailuresLeaveNoViewer) {
  FHost.FWindow = 0;
  FWindows.FWindows[FRect].FAlive = false;
  try {
    Create();
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "Excel spreadsheet: Folivant host window is not valid.");
  }
  FHost.FWindow = FHostWnd;
  FWindows.FFailCode = 1407;
  try {
    Create();
    FAIL();
  } catch (const TKvError& E) {
    EXPECT_STREQ(E.what(), "Excel spreadsheet: CreateWindowEx(STATIC) failed (Win32 error 1407).");
  }
  EXPECT_EQ(FViewer, nullptr);
}

TEST_F(TAttach, TickFollowsMovesAndHidesBelowTwentyPixels) {
  Create();
  FViewer->ShowSpreadsheet();
  FWindows.FWindows[FRect].FScreenX = 200;
  FWindows.FWindows[FRect].FWidth = 19;
  FWin->Send(msg::Timer, 1);
  EXPECT_FALSE(FWin->FVisible);
  EXPECT_EQ(FHost.Var("[LastError]"), "");  // too small is not an error
  FWindows.FWindows[FRect].FWidth = 20;
  FWindows.FWindows[FRect].FHeight = 20;
  FWin->Send(msg::Timer, 1);
  EXPECT_TRUE(FWin->FVisible);
  EXPECT_EQ(std::tie(FWin->FX, FWin->FWidth), std::make_tuple(100, 20));
  // A hidden viewer comes back on the next tick.
  FViewer->HideSpreadsheet();
  FWin->Send(msg::Timer, 1);
  EXPECT_TRUE(FWin->FVisible);
}

TEST_F(TAttach, LostRectangleIsReportedOnEveryTickAndRefoundByName) {
  Create();
  FViewer->SetRectangleName("ExcelGrid_1");
  FViewer->ShowSpreadsheet();
  FWindows.FWindows[FRect].FAlive = false;
  TWindowHandle NewRect = 0;
  FHost.FOnAccess = [&](int Request, std::optional<std::string>& Slot) {
    EXPECT_EQ(Request, iaObjectWindow);
    EXPECT_EQ(Slot, "ExcelGrid_1");
    Slot = NewRect ? std::to_string(NewRect) : "0";
    return true;
  };
  FWin->Send(msg::Timer, 1);
  EXPECT_FALSE(FWin->FVisible);
  EXPECT_EQ(FHost.Var("[LastError]"), "Excel spreadsheet: Rectangle window is not available.");
  FHost.FVars.clear();
  FWin->Send(msg::Timer, 1);
  EXPECT_EQ(FHost.Var("[LastError]"), "Excel spreadsheet: Rectangle window is not available.");

  // The host rebuilt the page and tells the viewer.
  NewRect = FWindows.Add(300, 200, 400, 300);
  FHost.FVars.clear();
  EXPECT_EQ(FWin->Send(msg::HostNotify, 0, 2), TMessageResult::Handled);
  EXPECT_TRUE(FWin->FVisible);
  EXPECT_EQ(std::tie(FWin->FX, FWin->FY, FWin->FWidth, FWin->FHeight),
            std::make_tuple(300, 250, 300, 200));
  EXPECT_EQ(FHost.Var("[LastError]"), "");
  // The new handle is kept: no further lookups while it lives.
  size_t Requests = FHost.FRequests.size();
  FWin->Send(msg::Timer, 1);
  EXPECT_EQ(FHost.FRequests.size(), Requests);
}

TEST_F(TAttach, ShowingKeepsAnUnplaceableViewerHidden) {
  FWindows.FWindows[FRect].FHeight = 10;
  Create();
  FViewer->HideSpreadsheet();
  FViewer->ShowSpreadsheet();
  EXPECT_FALSE(FWin->FVisible);
  EXPECT_EQ(FWin->FMoves, 0);
  FWindows.FWindows[FRect].FAlive = false;
  FWin->Send(msg::HostNotify, 0, 2);
  EXPECT_FALSE(FWin->FVisible);
  EXPECT_EQ(FHost.Var("[LastError]"), "Excel spreadsheet: Rectangle window is not available.");
}

TEST_F(TAttach, HostNotifyHidesOnOneAndThreeOnly) {
  Create();
  FViewer->ShowSpreadsheet();
  FWin->Send(msg::HostNotify, 0, 7);
  EXPECT_TRUE(FWin->FVisible);
  FWin->Send(msg::HostNotify, 0, 1);
  EXPECT_FALSE(FWin->FVisible);
  FViewer->ShowSpreadsheet();
  FWin->Send(msg::HostNotify, 0, 3);
  EXPECT_FALSE(FWin->FVisible);
}

TEST_F(TAttach, MessageResultsAndDestruction) {
  Create();
  EXPECT_EQ(FWin->Send(msg::EraseBkgnd), TMessageResult::Handled);
  EXPECT_EQ(FWin->Send(msg::MouseMove), TMessageResult::DefaultThenZero);
  EXPECT_EQ(FWin->Send(msg::SetFocus), TMessageResult::DefaultThenZero);
  EXPECT_EQ(FWin->Send(0x0084 /* WM_NCHITTEST */), TMessageResult::Default);
  TWindowHandle Wnd = FViewer->Handle();
  FViewer.reset();
  EXPECT_TRUE(FWindows.FReleased.at(Wnd));
}

TEST_F(TAttach, WithoutSetVariableErrorsAreDropped) {
  FHost.FHasSet = false;
  Create();
  FWindows.FWindows[FRect].FAlive = false;
  FHost.FHasAccess = false;
  FWin->Send(msg::Timer, 1);
  EXPECT_FALSE(FWin->FVisible);
  EXPECT_TRUE(FHost.FVars.empty());
}

}  // namespace kv::test
