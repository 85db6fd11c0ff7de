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

// Opens for writing, or fails as a folder without write permission would. A
// new file gets Mode less the process's umask.
int OpenForWriting(const std::string& Path, int Flags, mode_t Mode = 0666) {
  if (FileFaultDue(TFaultPoint::Create, Path)) {
    errno = EACCES;
    return -1;
  }
  return ::open(Path.c_str(), Flags, Mode);
}

// Runs a step that flushes or closes, or fails as a device error would.
int FlushStep(const std::string& Path, int Result) {
  if (Result == 0 && FileFaultDue(TFaultPoint::Flush, Path)) {
    errno = EIO;
    return -1;
  }
  return Result;
}

// Windows's text for the same refusal, so both builds say the same.
const char* const kAccessDenied = "Access is denied.";

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

// Gives the file open as Fd what replacing Real must keep: Real's owner where
// the process may set it (its group at least, where it may), and Real's
// permission bits; a new file gets what creating it would have given.
void TakeAttributesOf(int Fd, const std::string& Real) {
  struct stat St;
  if (::stat(Real.c_str(), &St) != 0) {
    ::fchmod(Fd, 0666 & ~CurrentUmask());
    return;
  }
  if (::fchown(Fd, St.st_uid, St.st_gid) != 0) [[maybe_unused]]
    int Ignored = ::fchown(Fd, static_cast<uid_t>(-1), St.st_gid);
  ::fchmod(Fd, St.st_mode & 07777);
}

// Flushes the folder that holds Path, so a new or renamed entry survives a crash.
void FlushFolderOf(const std::string& Path) {
  const std::string Dir = ExtractFileDir(FullPath(Path));
  const int DirFd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (DirFd >= 0) {
    ::fsync(DirFd);
    ::close(DirFd);
  }
}

// Moves the flushed file Source over the file Target names (through its
// links), refusing, as Windows does, a file the user may not write. Answers
// 0 or -1 with errno set; EACCES stands for the refusal.
int MoveIntoPlace(const std::string& Source, const std::string& Target, bool& Refused) {
  Refused = false;
  if (FileFaultDue(TFaultPoint::Replace, Target)) {
    errno = EBUSY;
    return -1;
  }
  const std::string Real = ResolveLinks(Target);
  struct stat St;
  if (::stat(Real.c_str(), &St) == 0 &&
      ::faccessat(AT_FDCWD, Real.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES) {
    Refused = true;
    return -1;
  }
  if (::rename(Source.c_str(), Real.c_str()) != 0) return -1;
  FlushFolderOf(Real);
  return 0;
}

std::string MoveFailure(bool Refused, int Err) {
  return Refused ? kAccessDenied : std::strerror(Err);
}

[[noreturn]] void RaiseMoveError(const std::string& Target, bool Refused, int Err) {
  throw TKvError("Unable to replace \"" + Target + "\": " + MoveFailure(Refused, Err));
}

// For a file written by others than TAtomicFileWriter: its data and the
// attributes it takes from the target, flushed before the move.
int PrepareByPath(const std::string& Source, const std::string& Target) {
  const int Fd = ::open(Source.c_str(), O_WRONLY | O_CLOEXEC);
  if (Fd < 0) return -1;
  TakeAttributesOf(Fd, ResolveLinks(Target));
  const int Synced = FlushStep(Source, ::fsync(Fd));
  const int Err = errno;
  ::close(Fd);
  errno = Err;
  return Synced;
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

void AppendToFile(const std::string& Target, std::string_view Data) {
  // Through a link to the file it names, even one that does not exist yet.
  const std::string Path = ResolveLinks(Target);
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
  // An entry is flushed like any other file the user keeps.
  ::fsync(Fd);
  ::close(Fd);
  if (Created) FlushFolderOf(Path);
}

std::string TemporaryNameBeside(const std::string& Target, std::string_view Ext) {
  static std::mt19937 Rng(std::random_device{}());
  // A short name of its own: the target's name plus a suffix could pass the
  // longest name the file system allows.
  const std::string Dir = ExtractFilePath(Target);
  for (;;) {
    std::string Name = Dir + "~kv" + std::to_string(100000 + Rng() % 900000) + std::string(Ext);
    if (!FileExists(Name)) return Name;
  }
}

void ReplaceFile(const std::string& Source, const std::string& Target) {
  if (PrepareByPath(Source, Target) != 0) RaiseFileError("Unable to write", Source, errno);
  bool Refused = false;
  if (MoveIntoPlace(Source, Target, Refused) != 0) RaiseMoveError(Target, Refused, errno);
}

bool TryReplaceFile(const std::string& Source, const std::string& Target,
                    std::string& SystemMessage) {
  bool Refused = false;
  if (PrepareByPath(Source, Target) == 0 && MoveIntoPlace(Source, Target, Refused) == 0)
    return true;
  SystemMessage = MoveFailure(Refused, errno);
  return false;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& Target, std::string_view TempExt)
    : FTarget(Target) {
  // Beside the file a link names: a rename cannot cross file systems. Private
  // until it takes the target's permission bits.
  const std::string Real = ResolveLinks(Target);
  for (int Attempt = 0; Attempt < 100 && FHandle < 0; ++Attempt) {
    FTempName = TemporaryNameBeside(Real, TempExt);
    int Fd = OpenForWriting(FTempName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
  std::string SystemMessage;
  if (!TryCommit(SystemMessage))
    throw TKvError("Unable to replace \"" + FTarget + "\": " + SystemMessage);
}

bool TAtomicFileWriter::TryCommit(std::string& SystemMessage) {
  const int Fd = static_cast<int>(FHandle);
  TakeAttributesOf(Fd, ResolveLinks(FTarget));
  if (FlushStep(FTarget, ::fsync(Fd)) != 0) RaiseFileError("Unable to write", FTarget, errno);
  FHandle = -1;
  if (::close(Fd) != 0) RaiseFileError("Unable to write", FTarget, errno);
  bool Refused = false;
  if (MoveIntoPlace(FTempName, FTarget, Refused) != 0) {
    SystemMessage = MoveFailure(Refused, errno);
    return false;
  }
  FCommitted = true;
  return true;
}

void WriteFileAtomically(const std::string& Target, std::string_view Data) {
  TAtomicFileWriter Writer(Target);
  Writer.Write(Data);
  Writer.Commit();
}

void CopyFileShared(const std::string& Source, const std::string& Dest) {
  int In = ::open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (In < 0) RaiseFileError("Unable to open", Source, errno);
  // The copy is as private as its source.
  struct stat St;
  const mode_t Mode = ::fstat(In, &St) == 0 ? (St.st_mode & 0777) : 0666;
  int Out = OpenForWriting(Dest, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
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
    if (FlushStep(Dest, ::fsync(Out)) != 0) RaiseFileError("Unable to write", Dest, errno);
    if (::close(Out) != 0) {
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
  FlushFolderOf(Dest);
}

}  // namespace kv
