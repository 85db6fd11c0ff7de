#include "workbook/HiddenLines.h"

#include <algorithm>

#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "workbook/SheetWalk.h"
#include "xml/XmlPull.h"

namespace kv {

namespace {

// The first range whose last line is at or after Index.
auto RangeAt(const std::vector<std::pair<int32_t, int32_t>>& Ranges, int32_t Index) {
  return std::lower_bound(
      Ranges.begin(), Ranges.end(), Index,
      [](const std::pair<int32_t, int32_t>& R, int32_t I) { return R.second < I; });
}

bool IsTrue(std::string_view V) {
  const std::string T = Trim(V);
  return T == "1" || SameTextAscii(T, "true");
}

}  // namespace

bool THiddenLines::Hidden(int32_t Index) const {
  const auto It = RangeAt(FRanges, Index);
  return It != FRanges.end() && It->first <= Index;
}

int32_t THiddenLines::NextShown(int32_t Index) const {
  const auto It = RangeAt(FRanges, Index);
  return It != FRanges.end() && It->first <= Index ? It->second + 1 : Index;
}

int32_t THiddenLines::ShownCount(int32_t Count) const {
  int64_t Hidden = 0;
  for (const auto& R : FRanges) {
    if (R.first >= Count) break;
    Hidden += std::min(R.second, Count - 1) - R.first + 1;
  }
  return static_cast<int32_t>(Count - Hidden);
}

void THiddenLines::Add(int32_t First, int32_t Last) {
  if (First > Last || First < 0) return;
  if (!FRanges.empty() && FRanges.back().second >= First - 1 && FRanges.back().first <= First) {
    FRanges.back().second = std::max(FRanges.back().second, Last);
    return;
  }
  if (FRanges.empty() || FRanges.back().first < First) {
    FRanges.emplace_back(First, Last);
    return;
  }
  FRanges.emplace_back(First, Last);
  std::sort(FRanges.begin(), FRanges.end());
  std::vector<std::pair<int32_t, int32_t>> Merged;
  for (const auto& R : FRanges)
    if (!Merged.empty() && R.first <= Merged.back().second + 1)
      Merged.back().second = std::max(Merged.back().second, R.second);
    else
      Merged.push_back(R);
  FRanges.swap(Merged);
}

void NoteHiddenLine(const TXmlPullReader& X, const TSheetWalker& Walk, bool RowStart,
                    THiddenLines& Rows, THiddenLines& Cols) {
  std::string_view V;
  if (RowStart) {
    if (Walk.RowUsable() && X.FindAttribute("hidden", V) && IsTrue(V))
      Rows.Add(Walk.RowNumber() - 1, Walk.RowNumber() - 1);
    return;
  }
  if (Walk.InSheetData() || X.Depth() != 3 || !SameTextAscii(X.LocalName(), "col")) return;
  if (!X.FindAttribute("hidden", V) || !IsTrue(V)) return;
  std::string_view Min, Max;
  if (!X.FindAttribute("min", Min) || !X.FindAttribute("max", Max)) return;
  const auto First = TryParseInt32(Trim(Min)), Last = TryParseInt32(Trim(Max));
  if (First && Last && *First >= 1 && *Last >= *First)
    Cols.Add(*First - 1, std::min(*Last, kSheetCols) - 1);
}

}  // namespace kv
