#include "base/Files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Error.h"
#include "base/Paths.h"

namespace kv {

namespace {

[[noreturn]] void RaiseFileError(const std::string& What, const std::string& Path, int Err) {
  throw TKvError(What + " \"" + Path + "\": " + std::strerror(Err));
}

void WriteRaw(int Fd, std::string_view Data, const std::string& Path) {
  while (!Data.empty()) {
    ssize_t N = ::write(Fd, Data.data(), Data.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Unable to write", Path, errno);
    }
    Data.remove_prefix(static_cast<size_t>(N));
  }
}

void WriteAll(int Fd, std::string_view Data, const std::string& Path) {
  if (FileFaultsInstalled()) {
    // An injected fault fails as a full disk does: what fits is written first.
    struct stat St;
    size_t Allowed = Data.size();
    if (FileWriteFaultDue(Path, ::fstat(Fd, &St) == 0 ? St.st_size : 0, Allowed)) {
      WriteRaw(Fd, Data.substr(0, Allowed), Path);
      RaiseFileError("Unable to write", Path, ENOSPC);
    }
  }
  WriteRaw(Fd, Data, Path);
}

// Opens for writing, or fails as a folder without write permission would.
int OpenForWriting(const std::string& Path, int Flags) {
  if (FileFaultDue(TFaultPoint::Create, Path)) {
    errno = EACCES;
    return -1;
  }
  return ::open(Path.c_str(), Flags, 0644);
}

// Runs a step that flushes or closes, or fails as a device error would.
int FlushStep(const std::string& Path, int Result) {
  if (Result == 0 && FileFaultDue(TFaultPoint::Flush, Path)) {
    errno = EIO;
    return -1;
  }
  return Result;
}

int RenameOrFault(const std::string& Source, const std::string& Target) {
  if (FileFaultDue(TFaultPoint::Replace, Target)) {
    errno = EBUSY;
    return -1;
  }
  return ::rename(Source.c_str(), Target.c_str());
}

}  // namespace

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
  int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) RaiseFileError("Unable to open", Path, errno);
  std::string Data;
  struct stat St;
  if (::fstat(Fd, &St) == 0 && St.st_size > 0) Data.reserve(static_cast<size_t>(St.st_size));
  char Buf[65536];
  for (;;) {
    ssize_t N = ::read(Fd, Buf, sizeof Buf);
    if (N < 0) {
      if (errno == EINTR) continue;
      int Err = errno;
      ::close(Fd);
      RaiseFileError("Unable to read", Path, Err);
    }
    if (N == 0) break;
    Data.append(Buf, static_cast<size_t>(N));
  }
  ::close(Fd);
  return Data;
}

void WriteWholeFile(const std::string& Path, std::string_view Data) {
  int Fd = OpenForWriting(Path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  if (Fd < 0) RaiseFileError("Unable to create", Path, errno);
  try {
    WriteAll(Fd, Data, Path);
  } catch (...) {
    ::close(Fd);
    throw;
  }
  if (FlushStep(Path, ::close(Fd)) != 0) RaiseFileError("Unable to write", Path, errno);
}

void AppendToFile(const std::string& Path, std::string_view Data) {
  bool Created = true;
  int Fd = OpenForWriting(Path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC);
  if (Fd < 0 && errno == EEXIST) {
    Created = false;
    Fd = ::open(Path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  }
  if (Fd < 0) RaiseFileError("Unable to open", Path, errno);
  struct stat St;
  const off_t Before = ::fstat(Fd, &St) == 0 ? St.st_size : -1;
  try {
    WriteAll(Fd, Data, Path);
  } catch (...) {
    // Half an entry would run into the next one: the file goes back to what it was.
    if (Created) {
      ::unlink(Path.c_str());
    } else if (Before >= 0) {
      [[maybe_unused]] int Ignored = ::ftruncate(Fd, Before);
    }
    ::close(Fd);
    throw;
  }
  ::close(Fd);
}

std::string TemporaryNameBeside(const std::string& Target) {
  static std::mt19937 Rng(std::random_device{}());
  for (;;) {
    std::string Name = Target + ".~" + std::to_string(Rng() % 1000000) + ".tmp";
    if (!FileExists(Name)) return Name;
  }
}

void ReplaceFile(const std::string& Source, const std::string& Target) {
  if (RenameOrFault(Source, Target) != 0) RaiseFileError("Unable to replace", Target, errno);
  std::string Dir = ExtractFileDir(FullPath(Target));
  int DirFd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (DirFd >= 0) {
    ::fsync(DirFd);
    ::close(DirFd);
  }
}

bool TryReplaceFile(const std::string& Source, const std::string& Target,
                    std::string& SystemMessage) {
  if (RenameOrFault(Source, Target) == 0) return true;
  SystemMessage = std::strerror(errno);
  return false;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& Target) : FTarget(Target) {
  for (int Attempt = 0; Attempt < 100 && FHandle < 0; ++Attempt) {
    FTempName = TemporaryNameBeside(Target);
    int Fd = OpenForWriting(FTempName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
    if (Fd >= 0) {
      FHandle = Fd;
    } else if (errno != EEXIST) {
      RaiseFileError("Unable to create", Target, errno);
    }
  }
  if (FHandle < 0) RaiseFileError("Unable to create", Target, EEXIST);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (!FCommitted) {
    CloseHandle();
    ::unlink(FTempName.c_str());
  }
}

void TAtomicFileWriter::CloseHandle() {
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
  FHandle = -1;
}

void TAtomicFileWriter::Write(std::string_view Data) {
  WriteAll(static_cast<int>(FHandle), Data, FTarget);
}

void TAtomicFileWriter::Commit() {
  if (FlushStep(FTarget, ::fsync(static_cast<int>(FHandle))) != 0)
    RaiseFileError("Unable to write", FTarget, errno);
  int Fd = static_cast<int>(FHandle);
  FHandle = -1;
  if (::close(Fd) != 0) RaiseFileError("Unable to write", FTarget, errno);
  ReplaceFile(FTempName, FTarget);
  FCommitted = true;
}

void WriteFileAtomically(const std::string& Target, std::string_view Data) {
  TAtomicFileWriter Writer(Target);
  Writer.Write(Data);
  Writer.Commit();
}

void CopyFileShared(const std::string& Source, const std::string& Dest) {
  int In = ::open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (In < 0) RaiseFileError("Unable to open", Source, errno);
  int Out = OpenForWriting(Dest, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
  if (Out < 0) {
    int Err = errno;
    ::close(In);
    RaiseFileError("Unable to create", Dest, Err);
  }
  try {
    char Buf[65536];
    for (;;) {
      ssize_t N = ::read(In, Buf, sizeof Buf);
      if (N < 0) {
        if (errno == EINTR) continue;
        RaiseFileError("Unable to read", Source, errno);
      }
      if (N == 0) break;
      WriteAll(Out, std::string_view(Buf, static_cast<size_t>(N)), Dest);
    }
    if (FlushStep(Dest, ::close(Out)) != 0) {
      Out = -1;
      RaiseFileError("Unable to write", Dest, errno);
    }
    Out = -1;
  } catch (...) {
    if (Out >= 0) ::close(Out);
    ::close(In);
    ::unlink(Dest.c_str());  // ours: it was created above
    throw;
  }
  ::close(In);
}

}  // namespace kv
