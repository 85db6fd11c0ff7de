// The files port: whole-file reading and writing, atomic replacement, and the
// few queries the project needs. Paths are UTF-8 text; the Windows
// implementation converts them to wide text. Every failure raises TKvError
// with a message that names the file and the operating system's reason.
//
// Files.cpp builds the atomic writer, the copy and the commit order once;
// Files_posix.cpp and Files_win32.cpp supply the platform's handles, moves
// and flushes (FilePort.h) and the queries below.
#ifndef KV_BASE_FILES_H
#define KV_BASE_FILES_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kv {

enum class TShareMode {
  DenyNone,   // every other reader and writer may keep the file open
  DenyWrite,  // others may read but not write
};

char NativePathSeparator();

bool FileExists(const std::string& Path);
bool DirectoryExists(const std::string& Path);
// Size in bytes, or -1 when no file exists at Path.
int64_t FileSize(const std::string& Path);
// Absolute form of Path, relative to the process's current folder, with "." and
// ".." segments resolved as the system does.
std::string FullPath(const std::string& Path);
// Whether A and B name the same existing file (through links; on Windows
// ignoring letter case).
bool SameFile(const std::string& A, const std::string& B);
// A 64-bit hash (FNV-1a) of bytes, continued from State.
constexpr uint64_t kHashStart = 14695981039346656037ull;
uint64_t HashBytes(std::string_view Bytes, uint64_t State = kHashStart);
// HashBytes of the file's content, read with full sharing in blocks, so
// memory does not grow with the file. Raises: TKvError.
uint64_t HashFile(const std::string& Path);
// Removes a file; false when it could not be removed (never raises).
bool DeleteFileAt(const std::string& Path);

// Raises: TKvError when the file cannot be opened or read.
std::string ReadWholeFile(const std::string& Path, TShareMode Share = TShareMode::DenyWrite);

// Creates or truncates Path and writes Data. Not atomic: use WriteFileAtomically
// for anything a user keeps. Raises: TKvError.
void WriteWholeFile(const std::string& Path, std::string_view Data);

// Appends Data, creating the file when missing, with full sharing, and
// flushes it (through a symbolic link to the file it names). Raises: TKvError.
void AppendToFile(const std::string& Path, std::string_view Data);

// A short name ("~kv", six digits, Ext) for a temporary file in the same
// folder as Target that does not exist yet.
std::string TemporaryNameBeside(const std::string& Target, std::string_view Ext = ".tmp");

// Moves Source over Target in one step, replacing an existing Target, and
// returns only when the move has reached the disk. As the platform's users
// expect: a Target the user may not write is refused ("Access is denied.", as
// Windows says); on POSIX, Source is flushed before the move and the folder
// after it, a symbolic link is written through to the file it names, and the
// new file keeps the old one's permission bits and, where the process may set
// it, its owner. Raises: TKvError; Target is then unchanged.
void ReplaceFile(const std::string& Source, const std::string& Target);

// As ReplaceFile, but answers false with the operating system's message for
// the failure instead of raising.
bool TryReplaceFile(const std::string& Source, const std::string& Target,
                    std::string& SystemMessage);

// Writes Data to a temporary file beside Target and replaces Target with it.
// On any failure Target is untouched, the temporary file is removed and the
// error is raised again. Raises: TKvError.
void WriteFileAtomically(const std::string& Target, std::string_view Data);

// A file written through a temporary name beside its target and moved into
// place by Commit. Destroying it uncommitted removes the temporary file, so a
// failure at any point leaves the target as it was.
class TAtomicFileWriter {
 public:
  // The temporary file's name ends in TempExt. Raises: TKvError when the
  // temporary file cannot be created.
  explicit TAtomicFileWriter(const std::string& Target, std::string_view TempExt = ".tmp");
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  // Raises: TKvError.
  void Write(std::string_view Data);
  // Flushes, closes and replaces the target as ReplaceFile does. Raises:
  // TKvError (target unchanged).
  void Commit();
  // As Commit, but a move that fails answers false with the operating
  // system's message instead of raising. Raises: TKvError for the other steps.
  bool TryCommit(std::string& SystemMessage);
  // Check runs when the file is complete, right before it replaces the
  // target; when it raises, the target stays as it is and the temporary file
  // goes.
  void SetBeforeReplace(std::function<void()> Check) { FBeforeReplace = std::move(Check); }
  const std::string& TemporaryName() const { return FTempName; }

 private:
  void CloseHandle();
  std::string FTarget;
  std::string FTempName;
  intptr_t FHandle = -1;
  bool FCommitted = false;
  std::function<void()> FBeforeReplace;
};

// Copies Source to a new file Dest (which must not exist), reading Source with
// full sharing in blocks of up to 65,536 bytes, and flushes it; on POSIX the
// copy gets Source's permission bits. Raises: TKvError.
void CopyFileShared(const std::string& Source, const std::string& Dest);

// ---- Injected faults --------------------------------------------------------
// Tests install a TFileFaults to make one writing step fail as a full disk, a
// size limit or a locked file would, with the same error and the same
// clean-up as the real failure. Outside tests none is installed, and each
// step pays one pointer test.
enum class TFaultPoint {
  Create,   // opening a file for writing: a temporary file, a copy, the log
  Write,    // one call that writes bytes
  Flush,    // flushing and closing a written file
  Replace,  // the move of a temporary file over its target
};
constexpr int kFaultPointCount = 4;

struct TFileFaults {
  // Only files whose path contains this text take part; empty: every file.
  std::string FPathContains;
  // The FFailAt-th step (counting from 1) at FPoint fails; 0: none, only counted.
  TFaultPoint FPoint = TFaultPoint::Write;
  int FFailAt = 0;
  // When not negative: every write that would take a file past this many
  // bytes writes up to the limit and then fails.
  int64_t FByteLimit = -1;
  // When set: called before every step at any point on a file that takes
  // part, with the point and the file, for imitating another program that
  // acts meanwhile.
  std::function<void(TFaultPoint, const std::string&)> FBeforeStep;
  // Filled in while installed: the steps seen at each point, the faults made.
  int FSeen[kFaultPointCount] = {};
  int FInjected = 0;
};

// Installs Faults, or removes them (nullptr). The caller keeps Faults alive
// while installed. Not thread-safe: the project writes files from one thread.
void SetFileFaults(TFileFaults* Faults);

// For the ports. Whether any faults are installed.
bool FileFaultsInstalled();
// Whether the step at Point (not Write) on the file at Path is to fail.
bool FileFaultDue(TFaultPoint Point, const std::string& Path);
// Whether a write of Size bytes at offset At of Path is to fail; if so, Size
// becomes the number of bytes to write before failing.
bool FileWriteFaultDue(const std::string& Path, int64_t At, size_t& Size);

}  // namespace kv

#endif
