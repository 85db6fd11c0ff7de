// Shared set-up of the viewer tests: a fake host with a live host window, a
// Rectangle inside it, and workbooks written as real packages into a fresh
// temporary folder.
#ifndef KV_TESTS_VIEWER_VIEWERFIXTURE_H
#define KV_TESTS_VIEWER_VIEWERFIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "base/Files.h"
#include "support/FakeHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "viewer/DisplaySettings.h"
#include "viewer/VantSpreadsheet.h"
#include "unit/viewer/FakeWindows.h"

namespace kv::test {

class TViewerTest : public ::testing::Test {
 protected:
  TTempDir FDir;
  TFakeHost FHost;
  TFakeWindowSystem FWindows;
  TWindowHandle FHostWnd = 0, FRect = 0;
  std::unique_ptr<TVantSpreadsheet> FViewer;
  TFakeViewerWindow* FWin = nullptr;

  void SetUp() override {
    FHostWnd = FWindows.Add(1024, 768, 100, 50);
    FRect = FWindows.Add(600, 400, 130, 90);
    FHost.FWindow = FHostWnd;
  }
  void Create() {
    FViewer = TVantSpreadsheet::CreateAttached(FWindows, &FHost, nullptr, FRect);
    FWin = FWindows.FLast;
  }
  // Writes a package with the given (name, sheetData) sheets and returns its path.
  std::string WriteBook(const std::vector<std::pair<std::string, std::string>>& Sheets,
                        const std::string& Name = "book.xlsx") {
    std::string Path = FDir.File(Name);
    WriteWholeFile(Path, MakeBook(Sheets).Bytes());
    return Path;
  }
  // A shown viewer of Width x Height client pixels over a book of sheets
  // "One", "Two", "Three" of 30 x 12, 5 x 3 and 0 x 0 cells.
  void Open(const std::string& Placement = "Top", int32_t Width = 600, int32_t Height = 400) {
    FWindows.FWindows[FRect].FWidth = Width;
    FWindows.FWindows[FRect].FHeight = Height;
    Create();
    FViewer->SetVariableName("Book");
    FViewer->SetToolbarPlacement(Placement);
    FViewer->LoadWorkbook(
        WriteBook({{"One", GridData(30, 12)}, {"Two", GridData(5, 3)}, {"Three", ""}}));
    FViewer->ShowSpreadsheet();
  }
};

}  // namespace kv::test

#endif
