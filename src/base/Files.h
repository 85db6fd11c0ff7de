// The files port: whole-file reading and writing, atomic replacement, and the
// few queries the project needs. Paths are UTF-8 text; the Windows
// implementation converts them to wide text. Every failure raises TKvError
// with a message that names the file and the operating system's reason.
//
// One implementation per platform: Files_posix.cpp and Files_win32.cpp.
#ifndef KV_BASE_FILES_H
#define KV_BASE_FILES_H

#include <cstdint>
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
// Absolute form of Path, relative to the process's current folder.
std::string FullPath(const std::string& Path);
// Removes a file; false when it could not be removed (never raises).
bool DeleteFileAt(const std::string& Path);

// Raises: TKvError when the file cannot be opened or read.
std::string ReadWholeFile(const std::string& Path, TShareMode Share = TShareMode::DenyWrite);

// Creates or truncates Path and writes Data. Not atomic: use WriteFileAtomically
// for anything a user keeps. Raises: TKvError.
void WriteWholeFile(const std::string& Path, std::string_view Data);

// Appends Data, creating the file when missing, with full sharing. Raises: TKvError.
void AppendToFile(const std::string& Path, std::string_view Data);

// A name for a temporary file in the same folder as Target that does not exist yet.
std::string TemporaryNameBeside(const std::string& Target);

// Moves Source over Target in one step (replacing an existing Target, flushing
// before it returns). Raises: TKvError; Target is then unchanged.
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
  // Raises: TKvError when the temporary file cannot be created.
  explicit TAtomicFileWriter(const std::string& Target);
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  // Raises: TKvError.
  void Write(std::string_view Data);
  // Flushes, closes and replaces the target. Raises: TKvError (target unchanged).
  void Commit();
  const std::string& TemporaryName() const { return FTempName; }

 private:
  void CloseHandle();
  std::string FTarget;
  std::string FTempName;
  intptr_t FHandle = -1;
  bool FCommitted = false;
};

// Copies Source to a new file Dest (which must not exist), reading Source with
// full sharing in blocks of up to 65,536 bytes. Raises: TKvError.
void CopyFileShared(const std::string& Source, const std::string& Dest);

}  // namespace kv

#endif
