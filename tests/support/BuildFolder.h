// Where Win32 tests put the pictures they take: beside the test program, in
// the build folder, never in whatever folder the test was started from.
#ifndef KV_TESTS_SUPPORT_BUILDFOLDER_H
#define KV_TESTS_SUPPORT_BUILDFOLDER_H

#include <windows.h>

#include <filesystem>
#include <string>

#include "base/Text.h"

namespace kv::test {

// Path (UTF-8) of File in the folder Sub beside the running program; the
// folder is created when missing.
inline std::string BuildFolderFile(const std::string& Sub, const std::string& File) {
  std::wstring Module(32768, L'\0');
  Module.resize(GetModuleFileNameW(nullptr, Module.data(), static_cast<DWORD>(Module.size())));
  const std::filesystem::path Dir = std::filesystem::path(Module).parent_path() / Sub;
  std::filesystem::create_directories(Dir);
  const std::wstring Full = (Dir / File).wstring();
  return Utf16ToUtf8(std::u16string(Full.begin(), Full.end()));
}

}  // namespace kv::test

#endif
