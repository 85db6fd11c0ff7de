#include <windows.h>

#include "base/Error.h"
#include "base/FilePort.h"
#include "base/Files.h"
#include "base/Text.h"
#include "base/WideText.h"

namespace kv {

namespace {

using port::kNoHandle;
using port::THandle;

std::string SystemMessageOf(DWORD Err) {
  wchar_t* Buf = nullptr;
  DWORD N = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Err, 0, reinterpret_cast<wchar_t*>(&Buf), 0, nullptr);
  std::string Text;
  if (N && Buf) Text = Trim(Utf8OfWide(std::wstring_view(Buf, N)));
  if (Buf) LocalFree(Buf);
  if (Text.empty()) Text = "system error " + std::to_string(Err);
  return Text;
}

[[noreturn]] void RaiseFileError(const std::string& What, const std::string& Path, DWORD Err) {
  throw TKvError(What + " \"" + Path + "\": " + SystemMessageOf(Err));
}

HANDLE Win(THandle H) {
  return reinterpret_cast<HANDLE>(H);
}

THandle Port(HANDLE H) {
  return H == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<THandle>(H);
}

// Opens for writing, or fails as a folder without write permission would.
HANDLE OpenForWriting(const std::string& Path, DWORD Disposition, DWORD Share) {
  if (FileFaultDue(TFaultPoint::Create, Path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(WideOf(Path).c_str(), GENERIC_WRITE, Share, nullptr, Disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

const DWORD kFullSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

namespace port {

std::string FailureMessage(TFailure Failure) {
  switch (Failure) {
    case TFailure::AccessDenied:
      return SystemMessageOf(ERROR_ACCESS_DENIED);
    case TFailure::DiskFull:
      return SystemMessageOf(ERROR_DISK_FULL);
    case TFailure::DeviceError:
      return SystemMessageOf(ERROR_WRITE_FAULT);
    case TFailure::Busy:
      return SystemMessageOf(ERROR_SHARING_VIOLATION);
    case TFailure::Exists:
      break;
  }
  return SystemMessageOf(ERROR_FILE_EXISTS);
}

void RaiseFailure(const std::string& What, const std::string& Path, TFailure Failure) {
  throw TKvError(What + " \"" + Path + "\": " + FailureMessage(Failure));
}

std::string LastErrorMessage() {
  return SystemMessageOf(GetLastError());
}

void RaiseLastError(const std::string& What, const std::string& Path) {
  RaiseFileError(What, Path, GetLastError());
}

THandle OpenSharedForReading(const std::string& Path) {
  HANDLE H = CreateFileW(WideOf(Path).c_str(), GENERIC_READ, kFullSharing, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to open", Path, GetLastError());
  return Port(H);
}

size_t ReadSome(THandle H, char* Buffer, size_t Size, const std::string& Path) {
  DWORD N = 0;
  const DWORD Want = Size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(Size);
  if (!ReadFile(Win(H), Buffer, Want, &N, nullptr))
    RaiseFileError("Unable to read", Path, GetLastError());
  return N;
}

THandle CreateNewFile(const std::string& Path, const std::string& ErrorPath, THandle) {
  HANDLE H = CreateFileW(WideOf(Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H != INVALID_HANDLE_VALUE) return Port(H);
  const DWORD Err = GetLastError();
  if (Err == ERROR_FILE_EXISTS) return kNoHandle;
  RaiseFileError("Unable to create", ErrorPath, Err);
}

void WriteRaw(THandle H, std::string_view Data, const std::string& Path) {
  while (!Data.empty()) {
    DWORD Chunk = Data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(Data.size());
    DWORD Written = 0;
    if (!WriteFile(Win(H), Data.data(), Chunk, &Written, nullptr) || Written == 0)
      RaiseFileError("Unable to write", Path, GetLastError());
    Data.remove_prefix(Written);
  }
}

int64_t HandleSize(THandle H) {
  LARGE_INTEGER Size{};
  return GetFileSizeEx(Win(H), &Size) ? Size.QuadPart : 0;
}

bool FlushHandle(THandle H) {
  return FlushFileBuffers(Win(H)) != 0;
}

bool CloseHandle(THandle H) {
  return ::CloseHandle(Win(H)) != 0;
}

std::string ResolveTarget(const std::string& Target) {
  return Target;
}

void TakeAttributesOf(THandle, const std::string&) {}

bool PrepareForMove(const std::string&, const std::string&) {
  return true;
}

bool MoveOver(const std::string& Source, const std::string& Target, std::string& Message) {
  // Windows refuses a read-only target itself; Wine does not, so the check
  // is made here too. Write-through returns once the move is on disk.
  const DWORD A = GetFileAttributesW(WideOf(Target).c_str());
  if (A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_READONLY)) {
    Message = SystemMessageOf(ERROR_ACCESS_DENIED);
    return false;
  }
  if (MoveFileExW(WideOf(Source).c_str(), WideOf(Target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  Message = SystemMessageOf(GetLastError());
  return false;
}

void FlushFolderOf(const std::string&) {}

bool NameIsFree(const std::string& Path) {
  return GetFileAttributesW(WideOf(Path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

uint32_t RandomSeed() {
  return GetTickCount() ^ GetCurrentProcessId();
}

}  // namespace port

char NativePathSeparator() {
  return '\\';
}

bool FileExists(const std::string& Path) {
  if (Path.empty()) return false;
  DWORD A = GetFileAttributesW(WideOf(Path).c_str());
  return A != INVALID_FILE_ATTRIBUTES && !(A & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& Path) {
  if (Path.empty()) return false;
  DWORD A = GetFileAttributesW(WideOf(Path).c_str());
  return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty() || !FileExists(A) || !FileExists(B)) return false;
  const std::wstring WA = WideOf(FullPath(A)), WB = WideOf(FullPath(B));
  return CompareStringOrdinal(WA.c_str(), -1, WB.c_str(), -1, TRUE) == CSTR_EQUAL;
}

int64_t FileSize(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA D;
  if (Path.empty() || !GetFileAttributesExW(WideOf(Path).c_str(), GetFileExInfoStandard, &D) ||
      (D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return (static_cast<int64_t>(D.nFileSizeHigh) << 32) | D.nFileSizeLow;
}

std::string FullPath(const std::string& Path) {
  if (Path.empty()) return Path;
  std::wstring W = WideOf(Path);
  DWORD N = GetFullPathNameW(W.c_str(), 0, nullptr, nullptr);
  if (N == 0) return Path;
  std::wstring Buf(N, L'\0');
  N = GetFullPathNameW(W.c_str(), N, Buf.data(), nullptr);
  Buf.resize(N);
  return Utf8OfWide(Buf);
}

bool DeleteFileAt(const std::string& Path) {
  return DeleteFileW(WideOf(Path).c_str()) != 0;
}

std::string ReadWholeFile(const std::string& Path, TShareMode Share) {
  DWORD ShareFlags = Share == TShareMode::DenyNone ? kFullSharing : FILE_SHARE_READ;
  HANDLE H = CreateFileW(WideOf(Path).c_str(), GENERIC_READ, ShareFlags, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to open", Path, GetLastError());
  std::string Data;
  const int64_t Size = port::HandleSize(Port(H));
  if (Size > 0) Data.reserve(static_cast<size_t>(Size));
  char Buf[65536];
  try {
    for (size_t N; (N = port::ReadSome(Port(H), Buf, sizeof Buf, Path)) > 0;) Data.append(Buf, N);
  } catch (...) {
    ::CloseHandle(H);
    throw;
  }
  ::CloseHandle(H);
  return Data;
}

void WriteWholeFile(const std::string& Path, std::string_view Data) {
  HANDLE H = OpenForWriting(Path, CREATE_ALWAYS, 0);
  if (H == INVALID_HANDLE_VALUE) RaiseFileError("Unable to create", Path, GetLastError());
  try {
    port::WriteAll(Port(H), Data, Path);
  } catch (...) {
    ::CloseHandle(H);
    throw;
  }
  const BOOL Closed = ::CloseHandle(H);
  if (Closed && FileFaultDue(TFaultPoint::Flush, Path))
    RaiseFileError("Unable to write", Path, ERROR_WRITE_FAULT);
  if (!Closed) RaiseFileError("Unable to write", Path, GetLastError());
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
    port::WriteAll(Port(H), Data, Path);
  } catch (...) {
    // Half an entry would run into the next one: the file goes back to what it was.
    if (!Created && Before.QuadPart >= 0 && SetFilePointerEx(H, Before, nullptr, FILE_BEGIN))
      SetEndOfFile(H);
    ::CloseHandle(H);
    if (Created) DeleteFileW(WideOf(Path).c_str());
    throw;
  }
  // An entry is flushed like any other file the user keeps.
  FlushFileBuffers(H);
  ::CloseHandle(H);
}

}  // namespace kv
