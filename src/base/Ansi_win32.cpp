#include "base/Ansi.h"

#include <windows.h>

#include "base/Text.h"

namespace kv {

std::string AnsiToUtf8(std::string_view Bytes) {
  if (Bytes.empty()) return {};
  int N = MultiByteToWideChar(CP_ACP, 0, Bytes.data(), static_cast<int>(Bytes.size()), nullptr, 0);
  std::u16string W(static_cast<size_t>(N), u'\0');
  MultiByteToWideChar(CP_ACP, 0, Bytes.data(), static_cast<int>(Bytes.size()),
                      reinterpret_cast<wchar_t*>(W.data()), N);
  return Utf16ToUtf8(W);
}

std::string Utf8ToAnsi(std::string_view Text, bool* Lossless) {
  if (Lossless) *Lossless = true;
  if (Text.empty()) return {};
  std::u16string W = Utf8ToUtf16(Text);
  const wchar_t* Src = reinterpret_cast<const wchar_t*>(W.data());
  int Len = static_cast<int>(W.size());
  BOOL UsedDefault = FALSE;
  // No best-fit mapping: a Greek capital sigma must not quietly become "S".
  const DWORD Flags = WC_NO_BEST_FIT_CHARS;
  int N = WideCharToMultiByte(CP_ACP, Flags, Src, Len, nullptr, 0, nullptr, nullptr);
  std::string R(static_cast<size_t>(N), '\0');
  WideCharToMultiByte(CP_ACP, Flags, Src, Len, R.data(), N, "?", &UsedDefault);
  if (Lossless && UsedDefault) *Lossless = false;
  return R;
}

unsigned AnsiCodePage() {
  return GetACP();
}

}  // namespace kv
