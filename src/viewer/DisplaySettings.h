// The display settings string: entries Key=Value separated by ";" or line
// breaks, quoted runs kept whole. Shared by the viewer (ApplySettings) and
// the settings dialog, which writes the canonical form.
#ifndef KV_VIEWER_DISPLAYSETTINGS_H
#define KV_VIEWER_DISPLAYSETTINGS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/WindowPort.h"

namespace kv {

// The entries of a settings string in order: separators inside a quoted run
// (up to the next quote of the same kind) do not split, and the quotes stay;
// CR and LF at the start of an entry are skipped; empty entries are dropped.
std::vector<std::string> SplitSettingsEntries(std::string_view Settings);

// Trimmed: an optional "#", then exactly six hex digits RRGGBB.
bool ParseSettingsColor(std::string_view Value, TColor& Color);
// Trimmed: optional sign, then decimal digits, or hex digits after "$", "x"
// or "0x"; the value must fit 32 bits.
bool ParseSettingsInteger(std::string_view Value, int32_t& Result);

// The keys and their accepted ranges. "NumberFormats" ("Stored" or "Shown")
// is read by the viewer and written by the dialog's check box, not as a field.
inline constexpr std::string_view kSettingsKeys[] = {
    "ToolbarColor", "HeaderColor", "SelectionColor", "GridFont",
    "FontSize",     "RowHeight",   "ColumnWidth"};
constexpr int32_t kMinFontSize = 6, kMaxFontSize = 36;
constexpr int32_t kMinRowHeight = 14, kMaxRowHeight = 80;
constexpr int32_t kMinColumnWidth = 30, kMaxColumnWidth = 400;

}  // namespace kv

#endif
