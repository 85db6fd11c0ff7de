// The rows and columns a worksheet hides (<row hidden="1">, <col min max
// hidden="1">), kept as sorted ranges so that their memory follows the
// ranges, not the sheet. Printing exports leave them out; data exports keep
// every cell.
#ifndef KV_WORKBOOK_HIDDENLINES_H
#define KV_WORKBOOK_HIDDENLINES_H

#include <cstdint>
#include <utility>
#include <vector>

namespace kv {

class TXmlPullReader;
class TSheetWalker;

class THiddenLines {
 public:
  // 0-based. False for a line no range holds.
  bool Hidden(int32_t Index) const;
  // The first line at or after Index that is not hidden.
  int32_t NextShown(int32_t Index) const;
  // How many of the lines 0 .. Count-1 are not hidden.
  int32_t ShownCount(int32_t Count) const;
  bool Empty() const { return FRanges.empty(); }
  // Adds First .. Last. Ranges must come in ascending order, as a sheet part
  // lists rows and columns; one out of order is merged where it falls.
  void Add(int32_t First, int32_t Last);

 private:
  std::vector<std::pair<int32_t, int32_t>> FRanges;  // first, last; sorted, disjoint
};

// Of a sheet part being read: notes a hidden row (at its start) or a hidden
// column range (a col element inside cols). Call for every start element.
void NoteHiddenLine(const TXmlPullReader& X, const TSheetWalker& Walk, bool RowStart,
                    THiddenLines& Rows, THiddenLines& Cols);

}  // namespace kv

#endif
