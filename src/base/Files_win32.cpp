#include "base/Files.h"

#include <windows.h>

#include <random>

#include "base/Error.h"
#include "base/Paths.h"
#include "base/Text.h"

namespace kv {

namespace {

std::wstring Wide(const std::string& S) {
  std::u16string U = Utf8ToUtf16(S);
  return std::wstring(U.begin(), U.end());
}

std::string SystemMessageOf(DWORD Err) {
  wchar_t* Buf = nullptr;
  DWORD N = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Err, 0, reinterpret_cast<wchar_t*>(&Buf), 0, nullptr);
  std::string Text;
  if (N && Buf) Text = Trim(Utf16ToUtf8(std::u16string(Buf, Buf + N)));
  if (Buf) LocalFree(Buf);
  if (Text.empty()) Text = "system error " + std::to_string(Err);
  return Text;
}

[[noreturn]] void RaiseFileError(const std::string& What, const std::string& Path, DWORD Err) {
  throw TKvError(What + " \"" + Path + "\": " + SystemMessageOf(Err));
}

void WriteRaw(HANDLE H, std::string_view Data, const std::string& Path) {
  while (!Data.empty()) {
    DWORD Chunk = Data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(Data.size());
    DWORD Written = 0;
    if (!WriteFile(H, Data.data(), Chunk, &Written, nullptr) || Written == 0)
      RaiseFileError("Unable to write", Path, GetLastError());
    Data.remove_prefix(Written);
  }
}

void WriteAll(HANDLE H, std::string_view Data, const std::string& Path) {
  if (FileFaultsInstalled()) {
    // An injected fault fails as a full disk does: what fits is written first.
    LARGE_INTEGER Size{};
    size_t Allowed = Data.size();
    if (FileWriteFaultDue(Path, GetFileSizeEx(H, &Size) ? Size.QuadPart : 0, Allowed)) {
      WriteRaw(H, Data.substr(0, Allowed), Path);
      RaiseFileError("Unable to write", Path, ERROR_DISK_FULL);
    }
  }
  WriteRaw(H, Data, Path);
}

// Opens for writing, or fails as a folder without write permission would.
HANDLE OpenForWriting(const std::string& Path, DWORD Disposition, DWORD Share) {
  if (FileFaultDue(TFaultPoint::Create, Path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(Wide(Path).c_str(), GENERIC_WRITE, Share, nullptr, Disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs a step that flushes or closes, or fails as a device error would.
BOOL FlushStep(const std::string& Path, BOOL Result) {
  if (Result && FileFaultDue(TFaultPoint::Flush, Path)) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return Result;
}

BOOL MoveOrFault(const std::string& Source, const std::string& Target) {
  if (FileFaultDue(TFaultPoint::Replace, Target)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  return MoveFileExW(Wide(Source).c_str(), Wide(Target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

const DWORD kFullSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

char NativePathSeparator() {
  return '\\';
}

bool FileExists(const std::string& Path) {
  if (Path.empty()) return false;
  DWORD A = GetFileAttributesW(Wide(Path).c_str());
  return A != INVALID_FILE_ATTRIBUTES && !(A & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& Path) {
  if (Path.empty()) return false;
  DWORD A = GetFileAttributesW(Wide(Path).c_str());
  return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA D;
  if (Path.empty() || !GetFileAttributesExW(Wide(Path).c_str(), GetFileExInfoStandard, &D) ||
      (D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return (static_cast<int64_t>(D.nFileSizeHigh) << 32) | D.nFileSizeLow;
}

std::string FullPath(const std::string& Path) {
  if (Path.empty()) return Path;
  std::wstring W = Wide(Path);
  DWORD N = GetFullPathNameW(W.c_str(), 0, nullptr, nullptr);
  if (N == 0) return Path;
  std::wstring Buf(N, L'\0');
  N = GetFullPathNameW(W.c_str(), N, Buf.data(), nullptr);
  Buf.resize(N);
  return Utf16ToUtf8(std::u16string(Buf.begin(), Buf.end()));
}

bool DeleteFileAt(const std::string& Path) {
  return DeleteFileW(Wide(Path).c_str()) != 0;
}

std::string ReadWholeFile(const std::string& Path, TShareMode Share) {
  DWORD ShareFlags = Share == TShareMode::DenyNone ? kFullSharing : FILE_SHARE_READ;
  HANDLE H = CreateFileW(Wide(Path).c_str(), GENERIC_READ, ShareFlags, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to open", Path, GetLastError());
  std::string Data;
  LARGE_INTEGER Size;
  if (GetFileSizeEx(H, &Size) && Size.QuadPart > 0)
    Data.reserve(static_cast<size_t>(Size.QuadPart));
  char Buf[65536];
  for (;;) {
    DWORD N = 0;
    if (!ReadFile(H, Buf, sizeof Buf, &N, nullptr)) {
      DWORD Err = GetLastError();
      ::CloseHandle(H);
      RaiseFileError("Unable to read", Path, Err);
    }
    if (N == 0) break;
    Data.append(Buf, N);
  }
  ::CloseHandle(H);
  return Data;
}

void WriteWholeFile(const std::string& Path, std::string_view Data) {
  HANDLE H = OpenForWriting(Path, CREATE_ALWAYS, 0);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to create", Path, GetLastError());
  try {
    WriteAll(H, Data, Path);
  } catch (...) {
    ::CloseHandle(H);
    throw;
  }
  if (!FlushStep(Path, ::CloseHandle(H))) RaiseFileError("Unable to write", Path, GetLastError());
}

void AppendToFile(const std::string& Path, std::string_view Data) {
  HANDLE H = OpenForWriting(Path, OPEN_ALWAYS, kFullSharing);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to open", Path, GetLastError());
  const bool Created = GetLastError() != ERROR_ALREADY_EXISTS;
  LARGE_INTEGER Before;
  Before.QuadPart = -1;
  try {
    LARGE_INTEGER Zero{};
    if (!SetFilePointerEx(H, Zero, &Before, FILE_END))
      RaiseFileError("Unable to write", Path, GetLastError());
    WriteAll(H, Data, Path);
  } catch (...) {
    // Half an entry would run into the next one: the file goes back to what it was.
    if (!Created && Before.QuadPart >= 0 && SetFilePointerEx(H, Before, nullptr, FILE_BEGIN))
      SetEndOfFile(H);
    ::CloseHandle(H);
    if (Created) DeleteFileW(Wide(Path).c_str());
    throw;
  }
  ::CloseHandle(H);
}

std::string TemporaryNameBeside(const std::string& Target, std::string_view Ext) {
  static std::mt19937 Rng(GetTickCount() ^ GetCurrentProcessId());
  // A short name of its own: the target's name plus a suffix could pass the
  // longest name the file system allows.
  const std::string Dir = ExtractFilePath(Target);
  for (;;) {
    std::string Name = Dir + "~kv" + std::to_string(100000 + Rng() % 900000) + std::string(Ext);
    if (GetFileAttributesW(Wide(Name).c_str()) == INVALID_FILE_ATTRIBUTES) return Name;
  }
}

void ReplaceFile(const std::string& Source, const std::string& Target) {
  if (!MoveOrFault(Source, Target)) RaiseFileError("Unable to replace", Target, GetLastError());
}

bool TryReplaceFile(const std::string& Source, const std::string& Target,
                    std::string& SystemMessage) {
  if (MoveOrFault(Source, Target)) return true;
  SystemMessage = SystemMessageOf(GetLastError());
  return false;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& Target, std::string_view TempExt)
    : FTarget(Target) {
  for (int Attempt = 0; Attempt < 100 && FHandle == -1; ++Attempt) {
    FTempName = TemporaryNameBeside(Target, TempExt);
    HANDLE H = OpenForWriting(FTempName, CREATE_NEW, 0);
    if (H != INVALID_HANDLE_VALUE) {
      FHandle = reinterpret_cast<intptr_t>(H);
    } else if (GetLastError() != ERROR_FILE_EXISTS) {
      RaiseFileError("Unable to create", Target, GetLastError());
    }
  }
  if (FHandle == -1) RaiseFileError("Unable to create", Target, ERROR_FILE_EXISTS);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (!FCommitted) {
    CloseHandle();
    DeleteFileW(Wide(FTempName).c_str());
  }
}

void TAtomicFileWriter::CloseHandle() {
  if (FHandle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
}

void TAtomicFileWriter::Write(std::string_view Data) {
  WriteAll(reinterpret_cast<HANDLE>(FHandle), Data, FTarget);
}

void TAtomicFileWriter::Commit() {
  std::string SystemMessage;
  if (!TryCommit(SystemMessage))
    throw TKvError("Unable to replace \"" + FTarget + "\": " + SystemMessage);
}

bool TAtomicFileWriter::TryCommit(std::string& SystemMessage) {
  HANDLE H = reinterpret_cast<HANDLE>(FHandle);
  if (!FlushStep(FTarget, FlushFileBuffers(H)))
    RaiseFileError("Unable to write", FTarget, GetLastError());
  FHandle = -1;
  if (!::CloseHandle(H)) RaiseFileError("Unable to write", FTarget, GetLastError());
  if (!TryReplaceFile(FTempName, FTarget, SystemMessage)) return false;
  FCommitted = true;
  return true;
}

void WriteFileAtomically(const std::string& Target, std::string_view Data) {
  TAtomicFileWriter Writer(Target);
  Writer.Write(Data);
  Writer.Commit();
}

void CopyFileShared(const std::string& Source, const std::string& Dest) {
  HANDLE In = CreateFileW(Wide(Source).c_str(), GENERIC_READ, kFullSharing, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (In == INVALID_HANDLE_VALUE) RaiseFileError("Unable to open", Source, GetLastError());
  HANDLE Out = OpenForWriting(Dest, CREATE_NEW, 0);
  if (Out == INVALID_HANDLE_VALUE) {
    DWORD Err = GetLastError();
    ::CloseHandle(In);
    RaiseFileError("Unable to create", Dest, Err);
  }
  try {
    char Buf[65536];
    for (;;) {
      DWORD N = 0;
      if (!ReadFile(In, Buf, sizeof Buf, &N, nullptr))
        RaiseFileError("Unable to read", Source, GetLastError());
      if (N == 0) break;
      WriteAll(Out, std::string_view(Buf, N), Dest);
    }
  } catch (...) {
    ::CloseHandle(Out);
    ::CloseHandle(In);
    DeleteFileW(Wide(Dest).c_str());  // ours: it was created above
    throw;
  }
  BOOL Closed = FlushStep(Dest, ::CloseHandle(Out));
  DWORD Err = GetLastError();
  ::CloseHandle(In);
  if (!Closed) {
    DeleteFileW(Wide(Dest).c_str());
    RaiseFileError("Unable to write", Dest, Err);
  }
}

}  // namespace kv
