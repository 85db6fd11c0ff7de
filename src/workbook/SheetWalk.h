// Where the rows and cells of a worksheet part stand, followed through the
// events of a pull reader. Loading and saving both place cells with it, so a
// save edits exactly the element whose text the viewer showed: a row without
// "r" follows the row before it, a cell without "r" the cell before it in its
// row, and of two elements at the same place the later one is what loading
// keeps. Only the first "sheetData" child of the document element holds cells;
// an extension list inside a row is not a cell.
#ifndef KV_WORKBOOK_SHEETWALK_H
#define KV_WORKBOOK_SHEETWALK_H

#include <climits>
#include <cstdint>
#include <string_view>

#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "xml/XmlNames.h"
#include "xml/XmlPull.h"

namespace kv {

class TSheetWalker {
 public:
  enum class TStep { Other, SheetDataStart, SheetDataEnd, RowStart, RowEnd, CellStart, CellEnd };

  // What the event is for the sheet's cells; call it for every event, in order.
  TStep Step(TXmlPullReader::TEvent Event, const TXmlPullReader& X) {
    using TEvent = TXmlPullReader::TEvent;
    const int Depth = X.Depth();
    if (Event == TEvent::StartElement) {
      if (Depth == 2 && !FSeenSheetData && IsLocal(X.Name(), "sheetData")) {
        FInSheetData = FSeenSheetData = true;
        return TStep::SheetDataStart;
      }
      if (!FInSheetData) return TStep::Other;
      if (Depth == 3) {
        StartRow(X);
        return TStep::RowStart;
      }
      if (Depth == 4 && !IsLocal(X.Name(), "extLst")) {
        StartCell(X);
        return TStep::CellStart;
      }
      return TStep::Other;
    }
    if (Event != TEvent::EndElement || !FInSheetData) return TStep::Other;
    if (Depth == 4) return IsLocal(X.Name(), "extLst") ? TStep::Other : TStep::CellEnd;
    if (Depth == 3) return TStep::RowEnd;
    if (Depth == 2) {
      FInSheetData = false;
      return TStep::SheetDataEnd;
    }
    return TStep::Other;
  }

  bool InSheetData() const { return FInSheetData; }
  bool SeenSheetData() const { return FSeenSheetData; }
  // Of the current row: its 1-based number, when usable.
  bool RowUsable() const { return FRowUsable; }
  int32_t RowNumber() const { return FRowNumber; }
  // Of the current cell: whether it has a place, and that place (0-based; the
  // row may be -1 for a reference such as "A0"); whether it carries "r".
  bool CellUsable() const { return FCellUsable; }
  int32_t CellRow() const { return FCellRow; }
  int32_t CellCol() const { return FCellCol; }
  bool CellHasRef() const { return FCellHasRef; }

 private:
  void StartRow(const TXmlPullReader& X) {
    std::string_view R;
    if (X.FindAttribute("r", R)) {
      auto N = TryParseInt32(Trim(R));
      FRowUsable = N.has_value() && *N >= 1;
      if (FRowUsable) FRowNumber = *N;
    } else {
      FRowUsable = FRowNumber < INT32_MAX;
      if (FRowUsable) ++FRowNumber;
    }
    FLastCol = -1;
  }

  void StartCell(const TXmlPullReader& X) {
    std::string_view V;
    FCellUsable = false;
    FCellRow = FCellCol = -1;
    FCellHasRef = X.FindAttribute("r", V);
    if (FCellHasRef) {
      FCellUsable = ParseCellRef(V, FCellCol, FCellRow);
    } else if (FRowUsable && FLastCol < INT32_MAX) {
      FCellUsable = true;
      FCellCol = FLastCol + 1;
      FCellRow = FRowNumber - 1;
    }
    if (FCellUsable) FLastCol = FCellCol;
  }

  bool FInSheetData = false, FSeenSheetData = false;
  int32_t FRowNumber = 0;  // 0 before the first row
  bool FRowUsable = true;
  int32_t FLastCol = -1;
  bool FCellUsable = false, FCellHasRef = false;
  int32_t FCellRow = -1, FCellCol = -1;
};

}  // namespace kv

#endif
