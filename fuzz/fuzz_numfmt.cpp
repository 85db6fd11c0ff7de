// Number format codes and values: the first eight bytes are a double, the
// rest a format code. Nothing may raise or crash. Checked: a rejected code
// renders as General; the text is bounded by the code's length; a code of
// valid UTF-8 renders valid UTF-8.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Text.h"
#include "numfmt/NumberFormat.h"

namespace {

[[noreturn]] void Finding(const std::string& What, const std::string& Code) {
  std::fprintf(stderr, "fuzz_numfmt: %s: %s\n", What.c_str(), Code.c_str());
  std::abort();
}

void Check(const kv::TNumberFormat& F, const std::string& Code, double Value, bool Date1904) {
  const std::string Text = "text \xC3\xA9";
  size_t Ats = 0;
  for (char C : Code) Ats += C == '@';
  // Month and day names are the longest text per code character ("dddd" ->
  // "Wednesday"); digits of the largest double with their grouping commas.
  const size_t Bound = 4 * Code.size() + 500 + Ats * Text.size();
  kv::TShownText Out;
  F.RenderNumber(Value, Date1904, Out);
  if (!F.Parsed() && Out.Text != kv::FormatGeneralNumber(Value))
    Finding("a rejected code did not render as General", Code);
  if (Out.Text.size() > Bound) Finding("number text of " + std::to_string(Out.Text.size()), Code);
  const bool Utf8 = kv::IsValidUtf8(Code);
  if (Utf8 && !kv::IsValidUtf8(Out.Text)) Finding("invalid UTF-8 from a number", Code);
  F.RenderText(Text, Out);
  if (!F.Parsed() && Out.Text != Text) Finding("a rejected code changed a text", Code);
  if (Out.Text.size() > Bound) Finding("text of " + std::to_string(Out.Text.size()), Code);
  if (Utf8 && !kv::IsValidUtf8(Out.Text)) Finding("invalid UTF-8 from a text", Code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  double Value = 0;
  if (Size >= sizeof Value) {
    std::memcpy(&Value, Data, sizeof Value);
    Data += sizeof Value;
    Size -= sizeof Value;
  }
  const std::string Code(reinterpret_cast<const char*>(Data), Size);
  try {
    const kv::TNumberFormat F(Code);
    const double Nan = std::nan(""), Inf = HUGE_VAL;
    for (double V : {Value, -Value, std::floor(Value), 0.0, 45000.5, 1e300, -1e-300, Nan, Inf})
      Check(F, Code, V, false);
    Check(F, Code, Value, true);
  } catch (const std::exception& E) {
    Finding(std::string("raised: ") + E.what(), Code);
  }
  return 0;
}
