// What each platform supplies to the files port: handles, reading and
// writing, flushing, the move over a target and the attributes a replaced
// file keeps. Files.cpp builds the atomic writer, the copy and the commit
// order on top of these once; Files_posix.cpp and Files_win32.cpp implement
// them. Private to src/base.
#ifndef KV_BASE_FILEPORT_H
#define KV_BASE_FILEPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::port {

using THandle = intptr_t;
constexpr THandle kNoHandle = -1;

// The failures the injected faults imitate, raised with the platform's own
// message for them.
enum class TFailure {
  AccessDenied,  // creating a file in a folder the user may not write
  DiskFull,      // a write
  DeviceError,   // a flush
  Busy,          // the move over a target another program holds
  Exists,        // creating a file whose name is taken
};
std::string FailureMessage(TFailure Failure);
// Raises: TKvError "<What> "<Path>": <the platform's message>".
[[noreturn]] void RaiseFailure(const std::string& What, const std::string& Path, TFailure Failure);

// Opens an existing file for reading, sharing it with every reader and
// writer. Raises: "Unable to open".
THandle OpenSharedForReading(const std::string& Path);
// Reads up to Size bytes; 0 at the end. Raises: "Unable to read" naming Path.
size_t ReadSome(THandle H, char* Buffer, size_t Size, const std::string& Path);
// Creates a new file for writing that no other program may open meanwhile;
// kNoHandle when a file of that name exists. A new file is private to the
// user until TakeAttributesOf, or, with Like, gets the permission bits of the
// file open as Like. Raises: "Unable to create" naming ErrorPath.
THandle CreateNewFile(const std::string& Path, const std::string& ErrorPath,
                      THandle Like = kNoHandle);
// Writes all of Data. Raises: "Unable to write" naming Path.
void WriteRaw(THandle H, std::string_view Data, const std::string& Path);
// WriteRaw with the injected write faults (in Files.cpp, for every writer).
void WriteAll(THandle H, std::string_view Data, const std::string& Path);
// The file's size, 0 when unknown.
int64_t HandleSize(THandle H);
// Writes the file's data through to the disk. False with the platform's
// error kept for RaiseLastError.
bool FlushHandle(THandle H);
bool CloseHandle(THandle H);
// The platform's message for its last error.
std::string LastErrorMessage();
// Raises: TKvError "<What> "<Path>": " and LastErrorMessage().
[[noreturn]] void RaiseLastError(const std::string& What, const std::string& Path);

// The file that Target finally names (on POSIX through symbolic links).
std::string ResolveTarget(const std::string& Target);
// Gives the file open as H what replacing the file Real must keep (on POSIX
// its owner where the process may set it, and its permission bits).
void TakeAttributesOf(THandle H, const std::string& Real);
// Readies a finished file written by others for MoveOver: flushed, with the
// target's attributes. False with the platform's error kept.
bool PrepareForMove(const std::string& Source, const std::string& Target);
// Moves Source over the file Target names in one step, returning when the
// move has reached the disk; refuses, as Windows does, a target the user may
// not write. False with the platform's message.
bool MoveOver(const std::string& Source, const std::string& Target, std::string& Message);
// Flushes the folder that holds Path, where the platform needs it for a new
// name to survive a crash.
void FlushFolderOf(const std::string& Path);
// Whether nothing exists under Path.
bool NameIsFree(const std::string& Path);
uint32_t RandomSeed();

}  // namespace kv::port

#endif
