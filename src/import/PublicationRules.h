// How the import names its target publication, shared by the import action
// and its property dialog: the current-publication token and template, the
// "[PubDir]"/"[PubTitle]" placeholders, the path a folder and a title make,
// and the sheet list's "ALL". Pure text rules: the host's variables come in
// as arguments, so both sides decide alike whatever reads them.
#ifndef KV_IMPORT_PUBLICATIONRULES_H
#define KV_IMPORT_PUBLICATIONRULES_H

#include <string>
#include <string_view>
#include <vector>

namespace kv {

extern const char* const kCurrentPublicationToken;     // "__KVGRIDFOLD_CURRENT__"
extern const char* const kCurrentPublicationPrefix;    // "__KVGRIDFOLD_CURRENT__::"
extern const char* const kCurrentPublicationTemplate;  // "[PubDir][PubTitle].pub"

// True when Token, trimmed, is the current-publication token or template (any case).
bool NamesCurrentPublication(std::string_view Token);
// True when Token, trimmed, begins with the token and "::" (any case).
bool HasCurrentPublicationPrefix(std::string_view Token);

// Replaces "[PubDir]" (with a trailing separator) and "[PubTitle]", any
// letter case, where the value is not empty.
std::string ExpandPublicationPlaceholders(const std::string& Text, const std::string& Dir,
                                          const std::string& Title);
// Trimmed, cut before the first " (" and trimmed again.
std::string CleanPublicationTitle(const std::string& Title);
// True when Text holds "\\", "/" or ":".
bool LooksLikePath(const std::string& Text);
// The publication a folder and a title name: the cleaned title as it stands
// when it looks like a path, else with ".pub" added unless it ends so, in
// the trimmed folder when there is one. Empty when the title is.
std::string PublicationPathFromTitle(const std::string& Dir, const std::string& Title);

// True when the sheet list, trimmed, is blank or "ALL" (any case).
bool SelectsAllSheets(std::string_view SheetList);
// The names a sheet list holds: none when it selects every sheet, otherwise
// the items separated by "|" or line breaks, trimmed, empty ones dropped.
std::vector<std::string> ParseSheetList(std::string_view SheetList);

}  // namespace kv

#endif
