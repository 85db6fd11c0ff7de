// TVantSpreadsheet: one spreadsheet viewer laid over a host Rectangle. It owns
// a child window (through the window port), the loaded workbook with the
// recalculating service that every edit and every sheet read goes through
// (formulas follow the reader's edits, a formula cell opens its editor on its
// formula, formulas the file left without a value show computed), the
// in-place editor while one is open and the highlight map; it shows one
// worksheet as a grid with a toolbar and sheet tabs (normal mode) or an
// action toolbar (page mode), keeps itself over its Rectangle on a 250 ms
// timer, and reports its state through host variables.
//
// Layout, hit testing and painting are pure functions of the viewer's fields
// and its client size; painting fills a TPaintList that a renderer draws.
// Everything runs on the host's user-interface thread.
#ifndef KV_VIEWER_VANTSPREADSHEET_H
#define KV_VIEWER_VANTSPREADSHEET_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewer/PaintList.h"
#include "viewer/WindowPort.h"
#include "numfmt/NumberFormat.h"
#include "workbook/Workbook.h"

namespace kv {

class IHost;
class TRecalcService;

// A cell of the current sheet, 0-based.
struct TCellPos {
  int32_t Row = 0;
  int32_t Col = 0;
};

// Layout constants, pixels.
constexpr int32_t kSideToolbarWidth = 190;
// A sheet tab is as wide as its name plus kSheetTabPadding, within these;
// a longer name ends in "…".
constexpr int32_t kSheetTabWidth = 150;
constexpr int32_t kSheetTabMaxWidth = 300;
constexpr int32_t kSheetTabPadding = 12;
// Each of the two scroll buttons at the end of an overflowing tab strip.
constexpr int32_t kTabButtonWidth = 20;
constexpr int32_t kActionButtonWidth = 80;
// The page mode's action buttons, left to right; also PageNavigate's WParam
// (kActionPrevPage or kActionNextPage).
enum : int32_t {
  kActionPrevPage,
  kActionNextPage,
  kActionEdit,
  kActionHighlight,
  kActionSave,
  kActionButtonCount
};
// The horizontal toolbar's buttons.
enum : int32_t { kToolbarPrevSheet, kToolbarNextSheet };
constexpr int32_t kRowHeaderWidth = 46;
// A horizontal toolbar's labels start at least this far apart, and further
// when a label plus kToolbarLabelGap is wider.
constexpr int32_t kToolbarLabelSpacing = 92;
constexpr int32_t kToolbarLabelGap = 12;
constexpr uint32_t kViewerTimerId = 1;
constexpr uint32_t kViewerTimerMs = 250;
// WM_HOSTNOTIFY's lParam: hide (either hiding code), or re-find the
// Rectangle and show again; other codes are ignored.
enum : intptr_t { kHostNotifyHide = 1, kHostNotifyReattach = 2, kHostNotifyHideAlt = 3 };
// The viewer stays hidden over a Rectangle narrower or lower than this.
constexpr int32_t kMinShownSize = 20;
// One notch of a mouse wheel (WHEEL_DELTA) scrolls one row or column.
constexpr int32_t kWheelStep = 120;

// Where the toolbar goes; page mode has none.
enum class TToolbarPlacement { None, Top, Bottom, Left, Right };

// (Sheet << 40) | (Row << 20) | Col, all 0-based.
int64_t HighlightKey(int32_t Sheet, int32_t Row, int32_t Col);
// "Yellow", "Green", "Red", "Blue", "Orange" (trimmed, ASCII case ignored);
// nothing for every other name.
std::optional<TColor> HighlightColorFromName(std::string_view Name);

class TVantSpreadsheet final : private IViewerMessageSink {
 public:
  // Creates the viewer window as a child of the host window (or, when that is
  // not a live window, of RectangleHandle) and starts its timer. Host may be
  // null (no callbacks). AOwner is ignored. Raises: "Excel spreadsheet:
  // Folivant host window is not valid.", "Excel spreadsheet:
  // CreateWindowEx(STATIC) failed (Win32 error %d)."; nothing is left behind.
  static std::unique_ptr<TVantSpreadsheet> CreateAttached(IWindowSystem& Windows, IHost* Host,
                                                          void* AOwner,
                                                          TWindowHandle RectangleHandle);
  // Destroy: stops the timer, destroys the window (an open edit is discarded).
  ~TVantSpreadsheet() override;
  TVantSpreadsheet(const TVantSpreadsheet&) = delete;
  TVantSpreadsheet& operator=(const TVantSpreadsheet&) = delete;

  // Properties.
  bool ShowActionToolbar() const { return FShowActionToolbar; }
  void SetShowActionToolbar(bool Value) { FShowActionToolbar = Value; }
  TWindowHandle Handle() const { return FWnd; }
  const std::string& RectangleName() const { return FRectangleName; }
  void SetRectangleName(const std::string& Value) { FRectangleName = Value; }
  const std::string& VariableName() const { return FVariableName; }
  void SetVariableName(const std::string& Value) { FVariableName = Value; }
  bool IsPageMode() const { return FPageMode; }

  // Places and shows the viewer; it stays hidden while its Rectangle cannot
  // be found or is under 20 x 20 pixels.
  void ShowSpreadsheet();
  void HideSpreadsheet();

  // "Page" (trimmed, ASCII case ignored): page mode, placement "None";
  // otherwise "None", "Bottom", "Left", "Right" or else "Top".
  void SetToolbarPlacement(const std::string& PlacementStr);
  TToolbarPlacement ToolbarPlacement() const { return FToolbarPlacement; }

  // Replaces the workbook; highlights are cleared. Raises: the loader's errors
  // (the viewer then has no workbook).
  void LoadWorkbook(const std::string& FileName);
  // Commits an open edit, then saves to FileName or, when that is blank, to
  // the loaded file. Raises: "No workbook is currently open.", the open
  // edit's errors (nothing is saved), "No output file name was supplied.",
  // the saver's errors.
  void SaveWorkbook(const std::string& FileName);
  // Exports without committing an open edit. Raises: "No workbook is
  // currently open.", the export's errors.
  void ExportWorkbook(const std::string& FormatStr, const std::string& ScopeStr,
                      const std::string& FileName);

  // Sheet changes: true when the sheet was changed. Errors inside are
  // reported to [LastError] and give false.
  bool GotoSheet(int32_t Index);
  // A positive number is a 1-based sheet number; otherwise a sheet name.
  bool GotoSheetByNameOrNumber(const std::string& NameOrNumber);
  bool NextSheet();
  bool PrevSheet();
  int32_t SheetCount() const;
  int32_t CurrentSheetIndex() const { return FCurrentSheet; }
  std::string CurrentSheetName() const;

  void StartEditSelection() { BeginCellEdit(); }
  // Toggles the selected cell's highlight in that colour; an unknown name
  // removes it.
  void ToggleHighlightSelection(const std::string& ColorName);
  // Applies a display settings string; bad entries are skipped silently.
  void ApplySettings(const std::string& SettingsStr);

  // --- Internals, public for the window port's tests and the benchmarks. ---
  TMessageResult HandleMessage(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override;

  TRect ClientRect() const;
  TRect ToolbarRect() const;
  TRect SheetTabRect() const;
  TRect GridRect() const;
  TRect ActionToolbarRect() const;
  int32_t ActionButtonAt(int32_t X, int32_t Y) const;
  int32_t SheetTabAt(int32_t X, int32_t Y) const;
  // The tab strip's scroll buttons: 0 (back), 1 (forward) or -1.
  int32_t TabScrollButtonAt(int32_t X, int32_t Y) const;
  // The first sheet whose tab the strip shows.
  int32_t FirstShownTab() const { return FTabScroll; }
  // Scrolls the tab strip by Delta tabs, within the sheets.
  void ScrollTabs(int32_t Delta);
  int32_t ToolbarButtonAt(int32_t X, int32_t Y) const;
  bool CellAt(int32_t X, int32_t Y, int32_t& Row, int32_t& Col) const;

  void PaintViewer(TPaintList& List) const;

  void SelectCell(int32_t Col, int32_t Row, bool EnsureVisible);
  void EnsureCellVisible(int32_t Col, int32_t Row);
  void ClampSelection();
  // Scrolls the selected cell into view and opens the editor on it: on the
  // cell's text, all selected, or, given NewText, on that text with the
  // caret after it (a typed first character, or nothing for Backspace).
  void BeginCellEdit(std::optional<std::string> NewText = std::nullopt);
  // Closes the editor. With Commit, enters its text into the cell (as a
  // formula after "=", as text after an apostrophe) only when it differs
  // from the text the editor opened with; a refused formula raises the
  // service's error with the cell unchanged and the editor closed. Gives the
  // viewer the keyboard focus only when the editor or the viewer had it and FocusLost
  // is false (FocusLost: the close answers the editor's loss of the focus,
  // which has already gone to another window).
  void EndCellEdit(bool Commit, bool FocusLost = false);
  // Places the viewer over its Rectangle; false when it was hidden instead
  // (no Rectangle window, or one under 20 x 20) or could not be placed.
  bool UpdatePosition();
  void ReattachRectangle();

  const TXlsxWorkbook* Workbook() const { return FWorkbook.get(); }
  bool IsEditing() const { return FEdit != 0; }
  TWindowHandle EditorHandle() const { return FEdit; }
  int32_t TopRow() const { return FTopLeft.Row; }
  int32_t LeftCol() const { return FTopLeft.Col; }
  int32_t SelectedCol() const { return FSelected.Col; }
  int32_t SelectedRow() const { return FSelected.Row; }
  int32_t CellWidth() const { return FCellWidth; }
  int32_t RowHeight() const { return FRowHeight; }
  TColor ToolbarColor() const { return FToolbarColor; }
  TColor HeaderColor() const { return FHeaderColor; }
  TColor SelectionColor() const { return FSelectionColor; }
  const std::string& GridFontName() const { return FGridFontName; }
  int32_t GridFontSize() const { return FGridFontSize; }
  // "NumberFormats=Shown": cells show their formatted texts, numbers right-aligned.
  bool ShowsFormattedNumbers() const { return FShowFormatted; }
  // "ScrollBars=Yes": the window's own scroll bars move the view.
  bool ShowsScrollBars() const { return FScrollBars; }
  const std::map<int64_t, TColor>& Highlights() const { return FHighlights; }

 private:
  TVantSpreadsheet(IWindowSystem& Windows, IHost* Host, TWindowHandle RectangleHandle);

  TWindowHandle ResolveRectangleWindow();
  void ReportError(const std::string& Message);
  void PublishVariables();
  void RunHostCommand(const std::string& Command);
  void HandleKeyDown(uint32_t Key);
  // A key pressed in the editor; true when the viewer took it (Enter, Tab,
  // Escape, Alt+Enter).
  bool HandleEditorKey(uint32_t Key);
  void HandleChar(uintptr_t Code);
  // Moves the selection by whole cells, staying inside the sheet.
  void MoveSelection(int32_t DCol, int32_t DRow);
  // Page Down (+1) or Page Up (-1): selection and view by the whole visible rows.
  void PageSelection(int32_t Direction);
  void ArrowKey(int32_t DCol, int32_t DRow, bool ToEdge);
  void HomeOrEndKey(bool End, bool Ctrl);
  // Delete: the selected cell emptied as one edit.
  void ClearSelectedCell();
  int32_t VisibleRows() const;
  int32_t VisibleCols() const;
  // A scroll bar's range, page and position in its units: rows (columns)
  // divided by Scale, so that a million rows fit the 16 bits a dragged
  // thumb reports and dragging still reaches the last row.
  struct TScrollRange {
    int32_t Max = 0, Page = 1, Pos = 0, Scale = 1;
    bool operator==(const TScrollRange&) const = default;
  };
  TScrollRange ScrollRange(bool Vertical) const;
  // Shows, hides or moves the scroll bars after a change of the view.
  void UpdateScrollBars();
  // WM_VSCROLL and WM_HSCROLL: Code a kScroll... request, Pos the thumb's.
  void HandleScroll(bool Vertical, uint32_t Code, int32_t Pos);
  // The furthest the view scrolls: the last used row and column stay in it.
  int32_t MaxTopRow() const;
  int32_t MaxLeftCol() const;
  void HandleWheel(uintptr_t WParam, intptr_t LParam);
  void HandleClick(int32_t X, int32_t Y);
  void HandleHostNotify(intptr_t Code);
  // The tab strip as shown: each shown tab's sheet and box, and whether the
  // scroll buttons are there (the tabs overflow or are scrolled).
  struct TTabLayout {
    std::vector<std::pair<int32_t, TRect>> Tabs;
    bool Buttons = false;
    TRect Back, Forward;
  };
  TTabLayout TabLayout() const;
  // Sizes that follow the font and the client size: each is at least its
  // fixed default, so the default font keeps the fixed layout.
  struct TMetrics {
    int32_t Line = 0;        // the font's line height
    int32_t Row = 0;         // a grid row, header row included
    int32_t Header = 0;      // the row-number column's width
    int32_t TabStrip = 0;    // the tab strip's height
    int32_t ActionBar = 0;   // the action toolbar's height
    int32_t ActionSlot = 0;  // one action button's slot
    int32_t Toolbar = 0;     // a horizontal toolbar's height, a vertical one's width
    bool Labels = true;      // the toolbar's decorative labels fit
    int32_t LabelStep = 0;   // a vertical toolbar's label spacing
    int32_t NavY = 0;        // "< Prev" and "Next >" below the toolbar's top
    int32_t NavZone = 0;     // their click zone's top below the toolbar's top
    int32_t NextX = 0;       // "Next >" after "< Prev"
    int32_t NavEnd = 0;      // "Next >"'s click zone's end after "< Prev"
    int32_t CaptionX = 0, CaptionY = 0;
  };
  TMetrics Metrics() const;
  TMetrics ComputeMetrics(const TRect& Client) const;
  mutable TMetrics FMetrics;
  mutable std::string FMetricsKey;
  // Digits of the current sheet's last row number, 4 at least.
  int32_t RowNumberDigits() const;
  int32_t TabWidth(int32_t Sheet) const;
  int32_t MeasureText(std::string_view Text) const;
  // Text, or as much of it as fits Width followed by "…".
  std::string FitText(const std::string& Text, int32_t Width) const;
  // Scrolls the tab strip so that the current sheet's tab shows whole.
  void BringCurrentTabIntoView();
  const TXlsxSheet* CurrentSheet() const;
  void Invalidate();
  void PaintToolbar(TPaintList& List) const;
  void PaintActionToolbar(TPaintList& List) const;
  void PaintSheetTabs(TPaintList& List) const;
  void PaintCellGrid(TPaintList& List) const;
  // Fills and outlines one box; returns the fill its text goes on.
  TColor PaintCellBox(TPaintList& List, const TRect& Box, bool Header, const TColor* Highlight,
                      bool Selected) const;
  void PaintCell(TPaintList& List, const TRect& Box, std::string_view Text, bool Header,
                 const TColor* Highlight, bool Selected) const;
  // A data cell as its number format shows it: in its section's colour, a
  // number right-aligned.
  void PaintShownCell(TPaintList& List, const TRect& Box, const TShownView& Shown,
                      const TColor* Highlight, bool Selected) const;

  IWindowSystem& FWindows;
  IHost* FHost;
  std::unique_ptr<IViewerWindow> FWindow;

  TWindowHandle FWnd = 0;
  TWindowHandle FRectangleHandle = 0;
  std::string FRectangleName;
  std::string FVariableName;
  std::string FFileName;
  std::unique_ptr<TXlsxWorkbook> FWorkbook;
  std::unique_ptr<TRecalcService> FRecalc;  // over FWorkbook, set with it
  int32_t FCurrentSheet = -1;
  TToolbarPlacement FToolbarPlacement = TToolbarPlacement::Top;
  bool FPageMode = false;
  TWindowHandle FEdit = 0;
  std::string FEditOpenedWith;  // the editor's text when it opened
  bool FEditReplaces = false;   // opened on new text: compared with the cell on close
  bool FEditCrLf = false;       // the cell's line breaks were CR LF
  TCellPos FTopLeft;            // the first row and column shown
  int32_t FTabScroll = 0;
  TCellPos FSelected;
  int32_t FCellWidth = 96;
  int32_t FRowHeight = 22;
  bool FDraggingEdit = false;
  std::map<int64_t, TColor> FHighlights;
  bool FShowActionToolbar = false;
  TColor FToolbarColor = Rgb(226, 226, 226);
  TColor FHeaderColor = Rgb(232, 232, 232);
  TColor FSelectionColor = Rgb(255, 236, 217);
  std::string FGridFontName = "Segoe UI";
  int32_t FGridFontSize = 9;
  bool FShowFormatted = false;  // "NumberFormats": "Stored" (false) or "Shown"
  bool FScrollBars = false;     // "ScrollBars": "No" (false) or "Yes"
  // What the scroll bars were last set to; never set while FScrollShown is
  // false and no bar was asked for.
  bool FScrollShown = false, FUpdatingScroll = false;
  TScrollRange FLastV, FLastH;
};

}  // namespace kv

#endif
