#include "plugin/PublicationPaths.h"

#include "base/Error.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "import/PublicationRules.h"
#include "plugin/HostVariables.h"

namespace kv {

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
  return ExpandPublicationPlaceholders(Text, Dir, Title);
}

std::string CurrentPublicationPath(IHost* Host) {
  std::string Dir, Title;
  bool Ok = false;
  ReadFolderAndTitle(Host, Dir, Title, Ok);
  if (!Ok) return {};
  std::string Candidate = PublicationPathFromTitle(Dir, Title);
  if (Candidate.empty()) return {};
  if (!SameTextAscii(ExtractFileExt(Candidate), ".pub")) Candidate += ".pub";
  return FullPath(Candidate);
}

std::string ResolveTargetPublication(IHost* Host, const std::string& Token) {
  const std::string T = Trim(Token);
  if (HasCurrentPublicationPrefix(T))
    return ExpandPublicationPlaceholders(
        Host, T.substr(std::string_view(kCurrentPublicationPrefix).size()));
  if (NamesCurrentPublication(T)) return CurrentPublicationPath(Host);
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
