#include "base/Paths.h"

#include <vector>

#include "base/Files.h"
#include "base/Text.h"

namespace kv {

namespace {

size_t LastSeparator(std::string_view Path) {
  for (size_t I = Path.size(); I > 0; --I)
    if (IsPathSeparator(Path[I - 1]) || (I == 2 && Path[1] == ':')) return I - 1;
  return std::string_view::npos;
}

bool HasDriveLetter(std::string_view Path) {
  return Path.size() >= 2 && Path[1] == ':' &&
         ((Path[0] >= 'A' && Path[0] <= 'Z') || (Path[0] >= 'a' && Path[0] <= 'z'));
}

}  // namespace

bool IsPathSeparator(char C) {
  return C == '\\' || C == '/';
}

char PreferredSeparatorFor(std::string_view Path) {
  if (HasDriveLetter(Path) || Path.find('\\') != std::string_view::npos) return '\\';
  if (Path.find('/') != std::string_view::npos) return '/';
  return NativePathSeparator();
}

std::string ExtractFilePath(std::string_view Path) {
  size_t P = LastSeparator(Path);
  return P == std::string_view::npos ? std::string() : std::string(Path.substr(0, P + 1));
}

std::string ExtractFileDir(std::string_view Path) {
  std::string D = ExtractFilePath(Path);
  // Keep a root ("/", "C:\") whole; strip the separator otherwise.
  if (D.size() > 1 && IsPathSeparator(D.back()) && !(D.size() == 3 && D[1] == ':')) D.pop_back();
  return D;
}

std::string ExtractFileName(std::string_view Path) {
  size_t P = LastSeparator(Path);
  return std::string(P == std::string_view::npos ? Path : Path.substr(P + 1));
}

std::string ExtractFileExt(std::string_view Path) {
  std::string Name = ExtractFileName(Path);
  size_t Dot = Name.rfind('.');
  return Dot == std::string::npos ? std::string() : Name.substr(Dot);
}

std::string ChangeFileExt(std::string_view Path, std::string_view Ext) {
  std::string Name = ExtractFileName(Path);
  std::string Dir(Path.substr(0, Path.size() - Name.size()));
  size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos) Name.resize(Dot);
  return Dir + Name + std::string(Ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view Path) {
  if (Path.empty() || IsPathSeparator(Path.back())) return std::string(Path);
  return std::string(Path) + PreferredSeparatorFor(Path);
}

bool IsAbsolutePath(std::string_view Path) {
  if (!Path.empty() && IsPathSeparator(Path[0])) return true;
  return HasDriveLetter(Path) && Path.size() >= 3 && IsPathSeparator(Path[2]);
}

std::string JoinPath(std::string_view Dir, std::string_view Name) {
  if (Dir.empty()) return std::string(Name);
  return IncludeTrailingPathDelimiter(Dir) + std::string(Name);
}

std::string RemoveDotSegments(std::string_view Path) {
  size_t Root = 0;
  if (HasDriveLetter(Path) && Path.size() >= 3 && IsPathSeparator(Path[2]))
    Root = 3;
  else if (!Path.empty() && IsPathSeparator(Path[0]))
    Root = 1;
  std::vector<std::string_view> Parts;
  bool Dots = false;
  size_t Start = Root;
  for (size_t I = Root; I <= Path.size(); ++I) {
    if (I < Path.size() && !IsPathSeparator(Path[I])) continue;
    const std::string_view Part = Path.substr(Start, I - Start);
    Start = I + 1;
    if (Part == "." || Part == "..") Dots = true;
    if (Part == ".") continue;
    if (Part == ".." && !Parts.empty() && Parts.back() != "..") {
      Parts.pop_back();
    } else if (Part == ".." && Root > 0) {
      // Above the root stays at the root.
    } else if (!Part.empty() || I == Path.size()) {
      Parts.push_back(Part);
    }
  }
  if (!Dots) return std::string(Path);
  const char Sep = PreferredSeparatorFor(Path);
  std::string R(Path.substr(0, Root));
  for (size_t I = 0; I < Parts.size(); ++I) {
    if (I > 0) R += Sep;
    R += Parts[I];
  }
  return R;
}

bool SamePath(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (!(IsPathSeparator(A[I]) && IsPathSeparator(B[I])) &&
        !SameTextAscii(A.substr(I, 1), B.substr(I, 1)))
      return false;
  return true;
}

}  // namespace kv
