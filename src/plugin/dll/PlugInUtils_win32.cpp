#include "plugin/dll/PlugInUtils.h"

#include <cstring>

#include "base/Ansi.h"
#include "base/Text.h"
#include "base/WideText.h"

namespace kv {

THostString NewHostString(const std::string& Text) {
  std::string Bytes = Utf8ToAnsi(Text);
  THostString Block = static_cast<THostString>(GlobalAlloc(GMEM_FIXED, Bytes.size() + 1));
  if (!Block) return nullptr;
  std::memcpy(Block, Bytes.c_str(), Bytes.size() + 1);
  return Block;
}

void SetHostString(THostString* Slot, const std::string& Text) {
  if (!Slot) return;
  FreeHostString(Slot);
  *Slot = NewHostString(Text);
}

std::string HostStringToText(THostString S) {
  return S ? AnsiToUtf8(S) : std::string();
}

void FreeHostString(THostString* Slot) {
  if (Slot && *Slot) {
    GlobalFree(*Slot);
    *Slot = nullptr;
  }
}

std::string OwnModulePath() {
  HMODULE Module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&OwnModulePath), &Module))
    return {};
  wchar_t Buf[260];
  DWORD N = GetModuleFileNameW(Module, Buf, 260);
  if (N == 0 || N >= 260) return {};
  return Utf8OfWide(std::wstring_view(Buf, N));
}

}  // namespace kv
