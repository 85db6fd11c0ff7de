// UTF-8 text to and from the UTF-16 strings of the Windows wide-character
// functions, for the Win32 files only (wchar_t is 16 bits there). Malformed
// input is converted as Utf8ToUtf16 and Utf16ToUtf8 do.
#ifndef KV_BASE_WIDETEXT_H
#define KV_BASE_WIDETEXT_H

#include <string>
#include <string_view>

#include "base/Text.h"

namespace kv {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "for Windows' 16-bit wchar_t only");

inline std::wstring WideOf(std::string_view Utf8) {
  const std::u16string U = Utf8ToUtf16(Utf8);
  return std::wstring(U.begin(), U.end());
}

inline std::string Utf8OfWide(std::wstring_view Wide) {
  return Utf16ToUtf8(std::u16string(Wide.begin(), Wide.end()));
}

}  // namespace kv

#endif
