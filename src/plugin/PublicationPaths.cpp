#include "plugin/PublicationPaths.h"

#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "plugin/HostVariables.h"

namespace kv {

const char* const kCurrentPublicationToken = "__KVGRIDFOLD_CURRENT__";

namespace {

// Both variables, or both empty when either read fails.
void ReadFolderAndTitle(IHost* Host, std::string& Dir, std::string& Title, bool& Ok) {
  Dir.clear(), Title.clear();
  Ok = Host && Host->HasGetVariable();
  if (!Ok) return;
  try {
    Dir = ReadHostVariable(Host, "[PubDir]");
    Title = ReadHostVariable(Host, "[PubTitle]");
  } catch (...) {
    Dir.clear(), Title.clear();
    Ok = false;
  }
}

}  // namespace

std::string ExpandPublicationPlaceholders(IHost* Host, const std::string& Text) {
  std::string Dir, Title;
  bool Ok = false;
  ReadFolderAndTitle(Host, Dir, Title, Ok);
  std::string R = Text;
  if (!Dir.empty()) R = ReplaceAllAscii(R, "[PubDir]", IncludeTrailingPathDelimiter(Dir));
  if (!Title.empty()) R = ReplaceAllAscii(R, "[PubTitle]", Title);
  return R;
}

std::string CleanPublicationTitle(const std::string& Title) {
  std::string T = Trim(Title);
  size_t Cut = T.find(" (");
  if (Cut != std::string::npos) T = Trim(T.substr(0, Cut));
  return T;
}

bool LooksLikePath(const std::string& Text) {
  return Text.find_first_of("\\/:") != std::string::npos;
}

std::string CurrentPublicationPath(IHost* Host) {
  std::string Dir, Title;
  bool Ok = false;
  ReadFolderAndTitle(Host, Dir, Title, Ok);
  if (!Ok) return {};
  Dir = Trim(Dir);
  Title = CleanPublicationTitle(Title);
  if (Title.empty()) return {};
  std::string Candidate;
  if (LooksLikePath(Title)) {
    Candidate = Title;
  } else {
    Candidate = SameTextAscii(ExtractFileExt(Title), ".pub") ? Title : Title + ".pub";
    if (!Dir.empty()) Candidate = IncludeTrailingPathDelimiter(Dir) + Candidate;
  }
  if (!SameTextAscii(ExtractFileExt(Candidate), ".pub")) Candidate += ".pub";
  return FullPath(Candidate);
}

std::string ResolveTargetPublication(IHost* Host, const std::string& Token) {
  const std::string T = Trim(Token);
  const std::string Prefix = std::string(kCurrentPublicationToken) + "::";
  if (StartsWithAscii(T, Prefix))
    return ExpandPublicationPlaceholders(Host, T.substr(Prefix.size()));
  if (SameTextAscii(T, kCurrentPublicationToken) || SameTextAscii(T, "[PubDir][PubTitle].pub"))
    return CurrentPublicationPath(Host);
  return ExpandPublicationPlaceholders(Host, Token);
}

std::string MakeCopyName(const std::string& PubPath) {
  const std::string Dir = ExtractFilePath(PubPath);
  std::string Ext = ExtractFileExt(PubPath);
  const std::string Name = ExtractFileName(PubPath);
  const std::string Base = Name.substr(0, Name.size() - Ext.size());
  if (Ext.empty()) Ext = ".pub";
  std::string Candidate = Dir + Base + ".kvGridfold" + Ext;
  for (int N = 2; FileExists(Candidate); ++N)
    Candidate = Dir + Base + ".kvGridfold_" + std::to_string(N) + Ext;
  return Candidate;
}

std::string CopyCurrentPublication(const std::string& PubPath) {
  const std::string Full = FullPath(PubPath);
  if (!FileExists(Full)) throw TKvError("Current Folivant publication not found: " + Full);
  const std::string Copy = MakeCopyName(Full);
  CopyFileShared(Full, Copy);  // removes a partial copy itself
  return Copy;
}

}  // namespace kv
