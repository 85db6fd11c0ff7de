// The display settings string: splitting, the value parsers measured against
// the standard library's, a viewer applying the string, and the settings
// dialog's canonical form. Nothing may raise. Checked: entries hold no
// separator outside quotes; the parsers accept exactly what their rules
// allow, with the same values; a viewer's settings stay in their ranges; the
// canonical form reads back as itself.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Text.h"
#include "dialogs/EditSettingsForm.h"
#include "unit/dialogs/FakeDialogs.h"
#include "unit/viewer/FakeWindows.h"
#include "viewer/DisplaySettings.h"
#include "viewer/VantSpreadsheet.h"

namespace {

[[noreturn]] void Finding(const std::string& What) {
  std::fprintf(stderr, "fuzz_settings: %s\n", What.c_str());
  std::abort();
}

bool IsHex(char C) {
  return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}

void CheckColor(const std::string& Value) {
  const std::string T = kv::Trim(Value);
  std::string_view Digits = T;
  if (!Digits.empty() && Digits[0] == '#') Digits.remove_prefix(1);
  bool Valid = Digits.size() == 6;
  for (char C : Digits) Valid = Valid && IsHex(C);
  kv::TColor Color = 0xABCDEF01;
  const bool Parsed = kv::ParseSettingsColor(Value, Color);
  if (Parsed != Valid) Finding("colour accepted against its rule: " + Value);
  if (!Parsed) return;
  const unsigned long Rgb = std::strtoul(std::string(Digits).c_str(), nullptr, 16);
  if (Color != kv::Rgb(uint8_t(Rgb >> 16), uint8_t(Rgb >> 8), uint8_t(Rgb)))
    Finding("colour read with another value: " + Value);
}

void CheckInteger(const std::string& Value) {
  const std::string T = kv::Trim(Value);
  std::string_view S = T;
  bool Negative = false;
  if (!S.empty() && (S[0] == '+' || S[0] == '-')) {
    Negative = S[0] == '-';
    S.remove_prefix(1);
  }
  int Base = 10;
  if (S.size() >= 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
    Base = 16;
    S.remove_prefix(2);
  } else if (!S.empty() && (S[0] == '$' || S[0] == 'x' || S[0] == 'X')) {
    Base = 16;
    S.remove_prefix(1);
  }
  // from_chars takes no sign and no prefix of its own here.
  bool Valid = !S.empty() && S[0] != '-' && S[0] != '+';
  uint64_t Magnitude = 0;
  if (Valid) {
    const auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), Magnitude, Base);
    Valid = Ec == std::errc() && End == S.data() + S.size();
  }
  const int64_t Wanted =
      Negative ? -static_cast<int64_t>(Magnitude) : static_cast<int64_t>(Magnitude);
  Valid = Valid && Magnitude <= (uint64_t{1} << 31) && Wanted >= INT32_MIN && Wanted <= INT32_MAX;
  int32_t Got = 0;
  const bool Parsed = kv::ParseSettingsInteger(Value, Got);
  if (Parsed != Valid) Finding("integer accepted against its rule: " + Value);
  if (Parsed && Got != Wanted) Finding("integer read with another value: " + Value);
}

void CheckEntries(std::string_view Settings, const std::vector<std::string>& Entries) {
  size_t Total = 0;
  for (const std::string& E : Entries) {
    if (E.empty() || E[0] == '\r' || E[0] == '\n') Finding("an entry is empty or starts a line");
    char Quote = 0;
    for (char C : E) {
      if (Quote) {
        if (C == Quote) Quote = 0;
      } else if (C == '"' || C == '\'') {
        Quote = C;
      } else if (C == ';' || C == '\r' || C == '\n') {
        Finding("an entry holds a separator outside quotes");
      }
    }
    Total += E.size();
  }
  if (Total > Settings.size()) Finding("entries longer than the settings");
}

void CheckViewer(const std::string& Settings) {
  kv::test::TFakeWindowSystem Windows;
  const kv::TWindowHandle Rect = Windows.Add(600, 400);
  auto Viewer = kv::TVantSpreadsheet::CreateAttached(Windows, nullptr, nullptr, Rect);
  const std::string Font = Viewer->GridFontName();
  const int32_t Size = Viewer->GridFontSize(), Height = Viewer->RowHeight(),
                Width = Viewer->CellWidth();
  Viewer->ApplySettings(Settings);
  auto Within = [](int32_t V, int32_t Was, kv::TSettingsKey Key) {
    const kv::TSettingsKeyInfo& Info = kv::SettingsKeyInfo(Key);
    return V == Was || (V >= Info.Min && V <= Info.Max);
  };
  if (!Within(Viewer->GridFontSize(), Size, kv::TSettingsKey::FontSize) ||
      !Within(Viewer->RowHeight(), Height, kv::TSettingsKey::RowHeight) ||
      !Within(Viewer->CellWidth(), Width, kv::TSettingsKey::ColumnWidth))
    Finding("a viewer setting left its range");
  const std::string& Now = Viewer->GridFontName();
  if (Now != Font &&
      (Now.empty() || kv::Trim(Now) != Now || Settings.find(Now) == std::string::npos))
    Finding("the grid font is no trimmed value of the settings");
  // Painting with whatever was accepted must work.
  kv::TPaintList List;
  Viewer->PaintViewer(List);
}

// Whether a quote opened in Text is closed in it again.
bool QuotesClosed(std::string_view Text) {
  char Quote = 0;
  for (char C : Text) {
    if (Quote) {
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
    }
  }
  return Quote == 0;
}

void CheckCanonicalForm(const std::string& Settings) {
  kv::test::TFakeDialogHost Host;
  kv::TSettingsForm Form(Host);
  Form.LoadSettingsString(Settings);
  const std::string Once = Form.BuildSettingsString();
  // The string has no escapes: a field with a quote left open takes the
  // fields after it along when read back.
  bool Closed = true;
  for (const kv::TControl& C : Form.Controls())
    if (C.Kind == kv::TControlKind::Edit && C.Name != "EditRect")
      Closed = Closed && QuotesClosed(C.Text);
  Form.LoadSettingsString(Once);
  const std::string Twice = Form.BuildSettingsString();
  if (Closed && Once != Twice)
    Finding("the canonical settings string reads back otherwise: " + Once);
  std::vector<std::string> Params = {"Grid", Settings};
  Form.FillFromParams(Params);
  if (!Form.StoreParams(Params) || Params.size() != 2 || Params[1] != Once)
    Finding("the dialog stored another string than its canonical form");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Settings(reinterpret_cast<const char*>(Data), Size);
  try {
    const std::vector<std::string> Entries = kv::SplitSettingsEntries(Settings);
    CheckEntries(Settings, Entries);
    CheckColor(Settings);
    CheckInteger(Settings);
    for (const std::string& E : Entries) {
      const size_t Eq = E.find('=');
      if (Eq == std::string::npos) continue;
      CheckColor(E.substr(Eq + 1));
      CheckInteger(E.substr(Eq + 1));
    }
    CheckViewer(Settings);
    CheckCanonicalForm(Settings);
  } catch (const std::exception& E) {
    Finding(std::string("raised: ") + E.what());
  }
  return 0;
}
