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

// The keys, in the order of the canonical form the dialog writes, with what
// their values are and, for numbers, the range the viewer accepts. The
// viewer applies them, the dialog shows one field per key but NumberFormats
// and ScrollBars (check boxes), and both find keys through this table.
enum class TSettingsKey {
  ToolbarColor,
  HeaderColor,
  SelectionColor,
  GridFont,
  FontSize,
  RowHeight,
  ColumnWidth,
  NumberFormats,  // "Stored" or "Shown"
  ScrollBars,     // "Yes" or "No"
};
enum class TSettingsValue { Color, Text, Integer, Choice };
struct TSettingsKeyInfo {
  TSettingsKey Key;
  std::string_view Name;
  TSettingsValue Value;
  int32_t Min = 0, Max = 0;  // of an Integer
};
inline constexpr TSettingsKeyInfo kSettingsKeys[] = {
    {TSettingsKey::ToolbarColor, "ToolbarColor", TSettingsValue::Color},
    {TSettingsKey::HeaderColor, "HeaderColor", TSettingsValue::Color},
    {TSettingsKey::SelectionColor, "SelectionColor", TSettingsValue::Color},
    {TSettingsKey::GridFont, "GridFont", TSettingsValue::Text},
    {TSettingsKey::FontSize, "FontSize", TSettingsValue::Integer, 6, 36},
    {TSettingsKey::RowHeight, "RowHeight", TSettingsValue::Integer, 14, 80},
    {TSettingsKey::ColumnWidth, "ColumnWidth", TSettingsValue::Integer, 30, 400},
    {TSettingsKey::NumberFormats, "NumberFormats", TSettingsValue::Choice},
    {TSettingsKey::ScrollBars, "ScrollBars", TSettingsValue::Choice},
};
inline constexpr const TSettingsKeyInfo& SettingsKeyInfo(TSettingsKey Key) {
  return kSettingsKeys[static_cast<int>(Key)];
}

// One Key=Value entry of a settings string whose key the table names.
struct TSettingsEntry {
  const TSettingsKeyInfo* Info;
  std::string Value;  // trimmed; may be empty
};
// The entries of Settings (SplitSettingsEntries) with a known key (ASCII case
// ignored, trimmed), in order; entries without "=" or with an unknown key
// are left out.
std::vector<TSettingsEntry> ParseSettingsEntries(std::string_view Settings);
// Whether Value is an Integer in the key's range.
bool ParseSettingsIntegerIn(const TSettingsKeyInfo& Info, std::string_view Value, int32_t& Result);

}  // namespace kv

#endif
