// Path text operations. Publication and workbook paths come from Windows
// hosts, so both '\' and '/' separate folders on every build, a drive letter
// ("C:") or a leading separator makes a path absolute, and paths compare
// ignoring ASCII case. Nothing here touches the file system.
#ifndef KV_BASE_PATHS_H
#define KV_BASE_PATHS_H

#include <string>
#include <string_view>

namespace kv {

bool IsPathSeparator(char C);
// '\' for a path that looks like a Windows path (drive letter or a '\'), else '/'.
char PreferredSeparatorFor(std::string_view Path);
// Folder part including its trailing separator ("C:\a\" of "C:\a\b.pub"); empty when none.
std::string ExtractFilePath(std::string_view Path);
// Folder part without the trailing separator.
std::string ExtractFileDir(std::string_view Path);
std::string ExtractFileName(std::string_view Path);
// Extension with its dot (".pub"), empty when the file name has none.
std::string ExtractFileExt(std::string_view Path);
std::string ChangeFileExt(std::string_view Path, std::string_view Ext);
// The path with a separator appended when it does not end in one (empty stays empty).
std::string IncludeTrailingPathDelimiter(std::string_view Path);
bool IsAbsolutePath(std::string_view Path);
// Joins a folder and a relative name with the folder's separator.
std::string JoinPath(std::string_view Dir, std::string_view Name);
// Path with its "." segments removed and each ".." taking away the folder
// before it (never above the root), as the system's full-path function does;
// a path without such segments comes back unchanged.
std::string RemoveDotSegments(std::string_view Path);
// Ignoring ASCII case; '\' and '/' count as the same separator.
bool SamePath(std::string_view A, std::string_view B);

}  // namespace kv

#endif
