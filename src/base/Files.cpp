// The portable half of the files port: the atomic writer, the copy that
// removes only its own partial file, temporary names and the commit order,
// built once on the platform's handles (FilePort.h).
#include "base/Files.h"

#include <random>

#include "base/Error.h"
#include "base/FilePort.h"
#include "base/Paths.h"

namespace kv {

namespace {

using port::kNoHandle;
using port::TFailure;
using port::THandle;

// Creates a new file, or fails as a folder without write permission would.
THandle CreateForWriting(const std::string& Path, const std::string& ErrorPath,
                         THandle Like = kNoHandle) {
  if (FileFaultDue(TFaultPoint::Create, Path))
    port::RaiseFailure("Unable to create", ErrorPath, TFailure::AccessDenied);
  return port::CreateNewFile(Path, ErrorPath, Like);
}

// Flushes, or fails as a device error would. Raises: "Unable to write".
void Flush(THandle H, const std::string& Path) {
  if (!port::FlushHandle(H)) port::RaiseLastError("Unable to write", Path);
  if (FileFaultDue(TFaultPoint::Flush, Path))
    port::RaiseFailure("Unable to write", Path, TFailure::DeviceError);
}

// Moves, or fails as a target held by another program would.
bool Move(const std::string& Source, const std::string& Target, std::string& Message) {
  if (FileFaultDue(TFaultPoint::Replace, Target)) {
    Message = port::FailureMessage(TFailure::Busy);
    return false;
  }
  return port::MoveOver(Source, Target, Message);
}

}  // namespace

namespace port {

void WriteAll(THandle H, std::string_view Data, const std::string& Path) {
  if (FileFaultsInstalled()) {
    // An injected fault fails as a full disk does: what fits is written first.
    size_t Allowed = Data.size();
    if (FileWriteFaultDue(Path, HandleSize(H), Allowed)) {
      WriteRaw(H, Data.substr(0, Allowed), Path);
      RaiseFailure("Unable to write", Path, TFailure::DiskFull);
    }
  }
  WriteRaw(H, Data, Path);
}

}  // namespace port

std::string TemporaryNameBeside(const std::string& Target, std::string_view Ext) {
  static std::mt19937 Rng(port::RandomSeed());
  // A short name of its own: the target's name plus a suffix could pass the
  // longest name the file system allows.
  const std::string Dir = ExtractFilePath(Target);
  for (;;) {
    std::string Name = Dir + "~kv" + std::to_string(100000 + Rng() % 900000) + std::string(Ext);
    if (port::NameIsFree(Name)) return Name;
  }
}

void ReplaceFile(const std::string& Source, const std::string& Target) {
  std::string SystemMessage;
  if (!TryReplaceFile(Source, Target, SystemMessage))
    throw TKvError("Unable to replace \"" + Target + "\": " + SystemMessage);
}

bool TryReplaceFile(const std::string& Source, const std::string& Target,
                    std::string& SystemMessage) {
  if (!port::PrepareForMove(Source, Target)) {
    SystemMessage = port::LastErrorMessage();
    return false;
  }
  return Move(Source, Target, SystemMessage);
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& Target, std::string_view TempExt)
    : FTarget(Target) {
  // Beside the file a link names: a move cannot cross file systems.
  const std::string Real = port::ResolveTarget(Target);
  for (int Attempt = 0; Attempt < 100 && FHandle == kNoHandle; ++Attempt) {
    FTempName = TemporaryNameBeside(Real, TempExt);
    FHandle = CreateForWriting(FTempName, Target);
  }
  if (FHandle == kNoHandle) port::RaiseFailure("Unable to create", Target, TFailure::Exists);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (!FCommitted) {
    CloseHandle();
    DeleteFileAt(FTempName);
  }
}

void TAtomicFileWriter::CloseHandle() {
  if (FHandle != kNoHandle) port::CloseHandle(FHandle);
  FHandle = kNoHandle;
}

void TAtomicFileWriter::Write(std::string_view Data) {
  port::WriteAll(FHandle, Data, FTarget);
}

void TAtomicFileWriter::Commit() {
  std::string SystemMessage;
  if (!TryCommit(SystemMessage))
    throw TKvError("Unable to replace \"" + FTarget + "\": " + SystemMessage);
}

bool TAtomicFileWriter::TryCommit(std::string& SystemMessage) {
  // The data and its attributes reach the disk before the name moves.
  port::TakeAttributesOf(FHandle, port::ResolveTarget(FTarget));
  Flush(FHandle, FTarget);
  const THandle H = FHandle;
  FHandle = kNoHandle;
  if (!port::CloseHandle(H)) port::RaiseLastError("Unable to write", FTarget);
  if (FBeforeReplace) FBeforeReplace();
  if (!Move(FTempName, FTarget, SystemMessage)) return false;
  FCommitted = true;
  return true;
}

void WriteFileAtomically(const std::string& Target, std::string_view Data) {
  TAtomicFileWriter Writer(Target);
  Writer.Write(Data);
  Writer.Commit();
}

uint64_t HashBytes(std::string_view Bytes, uint64_t State) {
  for (unsigned char C : Bytes) State = (State ^ C) * 1099511628211ull;
  return State;
}

uint64_t HashFile(const std::string& Path) {
  const THandle In = port::OpenSharedForReading(Path);
  uint64_t State = kHashStart;
  try {
    std::string Block(65536, '\0');
    for (;;) {
      const size_t N = port::ReadSome(In, Block.data(), Block.size(), Path);
      if (N == 0) break;
      State = HashBytes(std::string_view(Block.data(), N), State);
    }
  } catch (...) {
    port::CloseHandle(In);
    throw;
  }
  port::CloseHandle(In);
  return State;
}

void CopyFileShared(const std::string& Source, const std::string& Dest) {
  const THandle In = port::OpenSharedForReading(Source);
  THandle Out = kNoHandle;
  try {
    Out = CreateForWriting(Dest, Dest, In);
    if (Out == kNoHandle) port::RaiseFailure("Unable to create", Dest, TFailure::Exists);
  } catch (...) {
    port::CloseHandle(In);
    throw;
  }
  try {
    char Buf[65536];
    for (size_t N; (N = port::ReadSome(In, Buf, sizeof Buf, Source)) > 0;)
      port::WriteAll(Out, std::string_view(Buf, N), Dest);
    Flush(Out, Dest);
    const THandle H = Out;
    Out = kNoHandle;
    if (!port::CloseHandle(H)) port::RaiseLastError("Unable to write", Dest);
  } catch (...) {
    if (Out != kNoHandle) port::CloseHandle(Out);
    port::CloseHandle(In);
    DeleteFileAt(Dest);  // ours: it was created above
    throw;
  }
  port::CloseHandle(In);
  port::FlushFolderOf(Dest);
}

}  // namespace kv
