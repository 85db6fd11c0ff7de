#include "dialogs/EditSettingsForm.h"

#include <array>

#include "base/Text.h"
#include "viewer/DisplaySettings.h"

namespace kv {

namespace {

// The field of each key the dialog shows as text (all but NumberFormats).
struct TSettingsField {
  TSettingsKey Key;
  const char* Edit;
};

const std::array<TSettingsField, 7> kFields = {{
    {TSettingsKey::ToolbarColor, "EditToolbarColor"},
    {TSettingsKey::HeaderColor, "EditHeaderColor"},
    {TSettingsKey::SelectionColor, "EditSelectionColor"},
    {TSettingsKey::GridFont, "EditFont"},
    {TSettingsKey::FontSize, "EditFontSize"},
    {TSettingsKey::RowHeight, "EditRowHeight"},
    {TSettingsKey::ColumnWidth, "EditColumnWidth"},
}};

// The three colour fields, each with a button that opens the colour dialog:
// "Edit" and "BtnPick" followed by the name.
struct TColorField {
  const char* Name;
  const char* Caption;
  int Top;  // the label's
};

const TColorField kColorFields[] = {
    {"ToolbarColor", "Toolbar background color (&hex RRGGBB):", 64},
    {"HeaderColor", "&Row/column header color (hex RRGGBB):", 108},
    {"SelectionColor", "&Selected-cell color (hex RRGGBB):", 152},
};

// The field of Key, or null for the key the check box shows.
const char* EditOf(TSettingsKey Key) {
  for (const TSettingsField& F : kFields)
    if (F.Key == Key) return F.Edit;
  return nullptr;
}

bool IsLineBreak(char C) {
  return C == '\r' || C == '\n';
}

}  // namespace

std::optional<uint32_t> ParseHexColorField(std::string_view Text) {
  std::string T = Trim(Text);
  if (T.empty() || T.size() > 8) return std::nullopt;
  uint32_t V = 0;
  for (char C : T) {
    const int D = HexDigitValue(C);
    if (D < 0) return std::nullopt;
    V = V * 16 + static_cast<uint32_t>(D);
  }
  return V;
}

std::string ColorRefToHex(uint32_t ColorRef) {
  static const char* const kDigits = "0123456789ABCDEF";
  const uint32_t Bytes[3] = {ColorRef & 0xFF, (ColorRef >> 8) & 0xFF, (ColorRef >> 16) & 0xFF};
  std::string Out;
  for (uint32_t B : Bytes) {
    Out += kDigits[B >> 4];
    Out += kDigits[B & 15];
  }
  return Out;
}

TSettingsForm::TSettingsForm(IDialogHost& Host)
    : TFormModel(Host, "kvGridfoldSettings Properties", 400, 444) {
  AddLabeledEdit("EditRect", "&Rectangle object hosting the Excel viewer:", 12, 12, 345, 0);
  AddBrowse("BtnBrowseRect", 362, 32, "Select a Rectangle");
  int Tab = 1;
  for (const TColorField& C : kColorFields) {
    AddLabeledEdit(std::string("Edit") + C.Name, C.Caption, 12, C.Top, 150, Tab++);
    AddBrowse(std::string("BtnPick") + C.Name, 166, C.Top + 20, "Pick a color");
  }
  AddLabeledEdit("EditFont", "Grid &font name:", 12, 196, 190, 4);
  AddLabeledEdit("EditFontSize", "Font &size:", 220, 196, 60, 5);
  AddLabeledEdit("EditRowHeight", "&Row height (px):", 12, 240, 190, 6);
  AddLabeledEdit("EditColumnWidth", "&Column width (px):", 220, 240, 60, 7);
  Add(MakeHint(
      "Leave any field blank to leave that setting unchanged. Applies immediately to the viewer "
      "already open on the named Rectangle - run this action (e.g. from a button, or right after "
      "kvGridfoldOpen/on Page Enter) whenever you want to restyle it. Colors and font are the "
      "VIEWER's own grid/toolbar - they are not saved into the workbook file, and they do not "
      "restyle the separate PushButton toolbar that kvGridfoldImport bakes into generated pages "
      "(edit those buttons directly in the Folivant page editor instead).",
      12, 284, 376, 96));
  AddOkCancel(236, 410, 10);
  // Beside the buttons, wherever the hint left them.
  Add(MakeCheck("ChkScrollBars", "Show scroll &bars", 12, Control("OKBtn").Top - 22, 216, 20, 8));
  Add(MakeCheck("ChkShownNumbers", "Show &numbers as formatted", 12, Control("OKBtn").Top + 2, 216,
                20, 9));
}

void TSettingsForm::FillFromParams(const std::vector<std::string>& P) {
  SetText("EditRect", P.size() > 0 ? P[0] : std::string());
  LoadSettingsString(P.size() > 1 ? P[1] : std::string());
}

bool TSettingsForm::StoreParams(std::vector<std::string>& P) {
  if (P.size() < 2) P.resize(2);
  P[0] = Text("EditRect");
  P[1] = BuildSettingsString();
  return true;
}

void TSettingsForm::LoadSettingsString(std::string_view Settings) {
  for (const TSettingsField& F : kFields) SetText(F.Edit, "");
  Control("ChkShownNumbers").Checked = false;
  Control("ChkScrollBars").Checked = false;
  FNumberFormatsStored = false;
  FScrollBarsNo = false;
  for (const TSettingsEntry& E : ParseSettingsEntries(Settings)) {
    if (E.Info->Key == TSettingsKey::ScrollBars) {
      Control("ChkScrollBars").Checked = SameTextAscii(E.Value, "Yes");
      FScrollBarsNo = SameTextAscii(E.Value, "No");
      continue;
    }
    if (E.Info->Key == TSettingsKey::NumberFormats) {
      Control("ChkShownNumbers").Checked = SameTextAscii(E.Value, "Shown");
      FNumberFormatsStored = SameTextAscii(E.Value, "Stored");
      continue;
    }
    if (const char* Edit = EditOf(E.Info->Key)) SetText(Edit, E.Value);
  }
}

std::string TSettingsForm::BuildSettingsString() const {
  std::string Out;
  for (const TSettingsKeyInfo& Info : kSettingsKeys) {
    const char* Edit = EditOf(Info.Key);
    if (!Edit) continue;
    std::string Value = Trim(Text(Edit));
    if (Value.empty()) continue;
    if (!Out.empty()) Out += ';';
    Out += Info.Name;
    Out += '=';
    Out += Value;
  }
  // Line breaks typed into a field separate entries as ";" does.
  for (char& C : Out)
    if (IsLineBreak(C)) C = ';';
  while (!Out.empty() && Out.back() == ';') Out.pop_back();
  // Unchecked writes nothing (the viewer's default), unless the string
  // loaded asked for the stored texts in so many words.
  const char* NumberFormats = Checked("ChkShownNumbers") ? "Shown"
                              : FNumberFormatsStored     ? "Stored"
                                                         : nullptr;
  if (NumberFormats) {
    if (!Out.empty()) Out += ';';
    Out += SettingsKeyInfo(TSettingsKey::NumberFormats).Name;
    Out += '=';
    Out += NumberFormats;
  }
  const char* ScrollBars = Checked("ChkScrollBars") ? "Yes" : FScrollBarsNo ? "No" : nullptr;
  if (ScrollBars) {
    if (!Out.empty()) Out += ';';
    Out += SettingsKeyInfo(TSettingsKey::ScrollBars).Name;
    Out += '=';
    Out += ScrollBars;
  }
  return Out;
}

void TSettingsForm::PickColor(const std::string& Edit) {
  if (!Ui()) return;
  std::optional<uint32_t> Preset;
  if (std::optional<uint32_t> Rgb = ParseHexColorField(Text(Edit))) {
    uint32_t V = *Rgb & 0xFFFFFF;
    Preset = ((V >> 16) & 0xFF) | (V & 0xFF00) | ((V & 0xFF) << 16);
  }
  uint32_t Chosen = 0;
  if (Ui()->RunColorDialog(Preset, Chosen)) SetText(Edit, ColorRefToHex(Chosen));
}

void TSettingsForm::ButtonClick(const std::string& Name) {
  if (Name == "BtnBrowseRect") BrowseRect();
  for (const TColorField& C : kColorFields)
    if (Name == std::string("BtnPick") + C.Name) PickColor(std::string("Edit") + C.Name);
}

}  // namespace kv
