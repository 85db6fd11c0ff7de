#include "import/PublicationRules.h"

#include "base/Paths.h"
#include "base/Text.h"

namespace kv {

const char* const kCurrentPublicationToken = "__KVGRIDFOLD_CURRENT__";
const char* const kCurrentPublicationPrefix = "__KVGRIDFOLD_CURRENT__::";
const char* const kCurrentPublicationTemplate = "[PubDir][PubTitle].pub";

bool NamesCurrentPublication(std::string_view Token) {
  const std::string T = Trim(Token);
  return SameTextAscii(T, kCurrentPublicationToken) ||
         SameTextAscii(T, kCurrentPublicationTemplate);
}

bool HasCurrentPublicationPrefix(std::string_view Token) {
  return StartsWithAscii(Trim(Token), kCurrentPublicationPrefix);
}

std::string ExpandPublicationPlaceholders(const std::string& Text, const std::string& Dir,
                                          const std::string& Title) {
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

std::string PublicationPathFromTitle(const std::string& Dir, const std::string& Title) {
  const std::string T = CleanPublicationTitle(Title);
  if (T.empty() || LooksLikePath(T)) return T;
  std::string Path = SameTextAscii(ExtractFileExt(T), ".pub") ? T : T + ".pub";
  const std::string D = Trim(Dir);
  return D.empty() ? Path : IncludeTrailingPathDelimiter(D) + Path;
}

bool SelectsAllSheets(std::string_view SheetList) {
  const std::string Whole = Trim(SheetList);
  return Whole.empty() || SameTextAscii(Whole, "ALL");
}

std::vector<std::string> ParseSheetList(std::string_view SheetList) {
  std::vector<std::string> Items;
  if (SelectsAllSheets(SheetList)) return Items;
  std::string Unified(SheetList);
  for (char& C : Unified)
    if (C == '\r' || C == '\n') C = '|';
  for (const std::string& Item : SplitString(Unified, '|')) {
    std::string T = Trim(Item);
    if (!T.empty()) Items.push_back(T);
  }
  return Items;
}

}  // namespace kv
