#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "base/Error.h"
#include "base/FilePort.h"
#include "base/Files.h"
#include "base/Paths.h"

namespace kv {

namespace {

using port::kNoHandle;
using port::THandle;

// Windows's text for the same refusal, so both builds say the same.
const char* const kAccessDenied = "Access is denied.";

[[noreturn]] void RaiseFileError(const std::string& What, const std::string& Path, int Err) {
  throw TKvError(What + " \"" + Path + "\": " + std::strerror(Err));
}

int Fd(THandle H) {
  return static_cast<int>(H);
}

// Opens for writing, or fails as a folder without write permission would. A
// new file gets 0666 less the process's umask.
int OpenForWriting(const std::string& Path, int Flags) {
  if (FileFaultDue(TFaultPoint::Create, Path)) {
    errno = EACCES;
    return -1;
  }
  return ::open(Path.c_str(), Flags, 0666);
}

// The file that Path finally names, following symbolic links; a dangling
// link names the file it would create. A loop stays a link, and the rename
// then replaces the link itself, as it would without this.
std::string ResolveLinks(const std::string& Path) {
  std::string P = Path;
  for (int Hops = 0; Hops < 40; ++Hops) {
    struct stat St;
    if (::lstat(P.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) return P;
    std::string Link(PATH_MAX, '\0');
    const ssize_t N = ::readlink(P.c_str(), Link.data(), Link.size());
    if (N <= 0) return P;
    Link.resize(static_cast<size_t>(N));
    const std::string Dir = ExtractFileDir(P);
    P = Link[0] == '/' || Dir.empty() ? Link : JoinPath(Dir, Link);
  }
  return Path;
}

mode_t CurrentUmask() {
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  return Mask;
}

}  // namespace

namespace port {

std::string FailureMessage(TFailure Failure) {
  switch (Failure) {
    case TFailure::AccessDenied:
      return std::strerror(EACCES);
    case TFailure::DiskFull:
      return std::strerror(ENOSPC);
    case TFailure::DeviceError:
      return std::strerror(EIO);
    case TFailure::Busy:
      return std::strerror(EBUSY);
    case TFailure::Exists:
      break;
  }
  return std::strerror(EEXIST);
}

void RaiseFailure(const std::string& What, const std::string& Path, TFailure Failure) {
  throw TKvError(What + " \"" + Path + "\": " + FailureMessage(Failure));
}

std::string LastErrorMessage() {
  return std::strerror(errno);
}

void RaiseLastError(const std::string& What, const std::string& Path) {
  RaiseFileError(What, Path, errno);
}

THandle OpenSharedForReading(const std::string& Path) {
  const int H = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (H < 0) RaiseFileError("Unable to open", Path, errno);
  return H;
}

size_t ReadSome(THandle H, char* Buffer, size_t Size, const std::string& Path) {
  for (;;) {
    const ssize_t N = ::read(Fd(H), Buffer, Size);
    if (N >= 0) return static_cast<size_t>(N);
    if (errno != EINTR) RaiseFileError("Unable to read", Path, errno);
  }
}

THandle CreateNewFile(const std::string& Path, const std::string& ErrorPath, THandle Like) {
  // Private until it takes the target's permission bits; a copy is as
  // private as its source.
  struct stat St;
  const mode_t Mode = Like != kNoHandle && ::fstat(Fd(Like), &St) == 0 ? (St.st_mode & 0777) : 0600;
  const int H = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
  if (H >= 0) return H;
  if (errno == EEXIST) return kNoHandle;
  RaiseFileError("Unable to create", ErrorPath, errno);
}

void WriteRaw(THandle H, std::string_view Data, const std::string& Path) {
  while (!Data.empty()) {
    const ssize_t N = ::write(Fd(H), Data.data(), Data.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Unable to write", Path, errno);
    }
    Data.remove_prefix(static_cast<size_t>(N));
  }
}

int64_t HandleSize(THandle H) {
  struct stat St;
  return ::fstat(Fd(H), &St) == 0 ? static_cast<int64_t>(St.st_size) : 0;
}

bool FlushHandle(THandle H) {
  return ::fsync(Fd(H)) == 0;
}

bool CloseHandle(THandle H) {
  return ::close(Fd(H)) == 0;
}

std::string ResolveTarget(const std::string& Target) {
  return ResolveLinks(Target);
}

void TakeAttributesOf(THandle H, const std::string& Real) {
  struct stat St;
  if (::stat(Real.c_str(), &St) != 0) {
    ::fchmod(Fd(H), 0666 & ~CurrentUmask());
    return;
  }
  // The owner where the process may set it, its group at least where it may.
  if (::fchown(Fd(H), St.st_uid, St.st_gid) != 0) [[maybe_unused]]
    int Ignored = ::fchown(Fd(H), static_cast<uid_t>(-1), St.st_gid);
  ::fchmod(Fd(H), St.st_mode & 07777);
}

bool PrepareForMove(const std::string& Source, const std::string& Target) {
  const int H = ::open(Source.c_str(), O_WRONLY | O_CLOEXEC);
  if (H < 0) return false;
  TakeAttributesOf(H, ResolveLinks(Target));
  const bool Synced = ::fsync(H) == 0;
  const int Err = errno;
  ::close(H);
  errno = Err;
  return Synced;
}

bool MoveOver(const std::string& Source, const std::string& Target, std::string& Message) {
  const std::string Real = ResolveLinks(Target);
  struct stat St;
  if (::stat(Real.c_str(), &St) == 0 &&
      ::faccessat(AT_FDCWD, Real.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES) {
    Message = kAccessDenied;
    return false;
  }
  if (::rename(Source.c_str(), Real.c_str()) != 0) {
    Message = std::strerror(errno);
    return false;
  }
  FlushFolderOf(Real);
  return true;
}

void FlushFolderOf(const std::string& Path) {
  const std::string Dir = ExtractFileDir(FullPath(Path));
  const int H = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (H >= 0) {
    ::fsync(H);
    ::close(H);
  }
}

bool NameIsFree(const std::string& Path) {
  struct stat St;
  return ::lstat(Path.c_str(), &St) != 0;
}

uint32_t RandomSeed() {
  return std::random_device{}();
}

}  // namespace port

char NativePathSeparator() {
  return '/';
}

bool FileExists(const std::string& Path) {
  struct stat St;
  return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool DirectoryExists(const std::string& Path) {
  struct stat St;
  return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

int64_t FileSize(const std::string& Path) {
  struct stat St;
  if (Path.empty() || ::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return -1;
  return static_cast<int64_t>(St.st_size);
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat Sa, Sb;
  return !A.empty() && !B.empty() && ::stat(A.c_str(), &Sa) == 0 && ::stat(B.c_str(), &Sb) == 0 &&
         Sa.st_dev == Sb.st_dev && Sa.st_ino == Sb.st_ino;
}

std::string FullPath(const std::string& Path) {
  if (Path.empty()) return Path;
  if (IsAbsolutePath(Path)) return RemoveDotSegments(Path);
  char Buf[PATH_MAX];
  if (!::getcwd(Buf, sizeof Buf)) return Path;
  return RemoveDotSegments(JoinPath(Buf, Path));
}

bool DeleteFileAt(const std::string& Path) {
  return ::unlink(Path.c_str()) == 0;
}

std::string ReadWholeFile(const std::string& Path, TShareMode) {
  const THandle H = port::OpenSharedForReading(Path);
  std::string Data;
  const int64_t Size = port::HandleSize(H);
  if (Size > 0) Data.reserve(static_cast<size_t>(Size));
  char Buf[65536];
  try {
    for (size_t N; (N = port::ReadSome(H, Buf, sizeof Buf, Path)) > 0;) Data.append(Buf, N);
  } catch (...) {
    port::CloseHandle(H);
    throw;
  }
  port::CloseHandle(H);
  return Data;
}

void WriteWholeFile(const std::string& Path, std::string_view Data) {
  const int H = OpenForWriting(Path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  if (H < 0) RaiseFileError("Unable to create", Path, errno);
  try {
    port::WriteAll(H, Data, Path);
  } catch (...) {
    ::close(H);
    throw;
  }
  const bool Closed = ::close(H) == 0;
  if (Closed && FileFaultDue(TFaultPoint::Flush, Path))
    RaiseFileError("Unable to write", Path, EIO);
  if (!Closed) RaiseFileError("Unable to write", Path, errno);
}

void AppendToFile(const std::string& Target, std::string_view Data) {
  // Through a link to the file it names, even one that does not exist yet.
  const std::string Path = ResolveLinks(Target);
  bool Created = true;
  int H = OpenForWriting(Path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC);
  if (H < 0 && errno == EEXIST) {
    Created = false;
    H = ::open(Path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  }
  if (H < 0) RaiseFileError("Unable to open", Path, errno);
  struct stat St;
  const off_t Before = ::fstat(H, &St) == 0 ? St.st_size : -1;
  try {
    port::WriteAll(H, Data, Path);
  } catch (...) {
    // Half an entry would run into the next one: the file goes back to what it was.
    if (Created) {
      ::unlink(Path.c_str());
    } else if (Before >= 0) {
      [[maybe_unused]] int Ignored = ::ftruncate(H, Before);
    }
    ::close(H);
    throw;
  }
  // An entry is flushed like any other file the user keeps.
  ::fsync(H);
  ::close(H);
  if (Created) port::FlushFolderOf(Path);
}

}  // namespace kv
