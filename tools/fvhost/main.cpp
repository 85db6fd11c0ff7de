// fvhost [--dll PATH] [--define NAME=VALUE]... [--keep-tmp] (--script FILE | -e LINE...)
//
// Loads the DLL (when --dll is given), runs the script and exits with the
// number of failed expectations (0: all passed). ${TMP} is a fresh folder,
// removed at the end unless --keep-tmp.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Host.h"
#include "Script.h"
#include "base/Text.h"

int wmain(int argc, wchar_t** argv) {
  using namespace fvhost;
  TScript S;
  std::vector<std::string> Lines;
  bool KeepTmp = false;
  for (int I = 1; I < argc; ++I) {
    std::string A = Utf8OfWide(argv[I]);
    std::string Next = I + 1 < argc ? Utf8OfWide(argv[I + 1]) : "";
    if (A == "--dll" && I + 1 < argc) {
      Lines.insert(Lines.begin(), "load \"" + kv::ReplaceAll(HostPath(Next), "\\", "\\\\") + "\"");
      ++I;
    } else if (A == "--define" && I + 1 < argc) {
      size_t Eq = Next.find('=');
      if (Eq != std::string::npos) S.Define(Next.substr(0, Eq), HostPath(Next.substr(Eq + 1)));
      ++I;
    } else if (A == "--script" && I + 1 < argc) {
      std::ifstream In(WideOf(HostPath(Next)).c_str(), std::ios::binary);
      if (!In) {
        std::fprintf(stderr, "fvhost: cannot read %s\n", Next.c_str());
        return 100;
      }
      for (std::string L; std::getline(In, L);) Lines.push_back(L);
      ++I;
    } else if (A == "-e" && I + 1 < argc) {
      Lines.push_back(Next);
      ++I;
    } else if (A == "--keep-tmp") {
      KeepTmp = true;
    } else {
      std::fprintf(stderr, "fvhost: unknown argument %s\n", A.c_str());
      return 100;
    }
  }
  wchar_t TempBuf[MAX_PATH];
  GetTempPathW(MAX_PATH, TempBuf);
  std::filesystem::path Tmp =
      std::filesystem::path(TempBuf) / (L"fvhost-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                        std::to_wstring(GetTickCount()));
  std::filesystem::create_directories(Tmp);
  S.Define("TMP", Utf8OfWide(Tmp.wstring()));
  int Failures = S.Run(Lines);
  THost::Get().Unload();
  std::error_code Ec;
  if (!KeepTmp) std::filesystem::remove_all(Tmp, Ec);
  std::printf("fvhost: %d failure(s)\n", Failures);
  return Failures > 99 ? 99 : Failures;
}
