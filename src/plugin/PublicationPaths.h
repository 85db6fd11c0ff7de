// The publication open in the host and the import's target token. The host
// exposes the open publication only as the variables "[PubDir]" (its folder)
// and "[PubTitle]" (its title, normally the file name); this module builds
// paths from them, resolves the target token and copies the open publication
// (which is itself never written). Failing or missing variable reads never
// raise here: they leave placeholders unexpanded or give an empty path.
#ifndef KV_PLUGIN_PUBLICATIONPATHS_H
#define KV_PLUGIN_PUBLICATIONPATHS_H

#include <string>

#include "base/HostPorts.h"
#include "import/PublicationRules.h"

namespace kv {

// The placeholders expanded with the host's "[PubDir]" and "[PubTitle]"; both
// stay when either read fails.
std::string ExpandPublicationPlaceholders(IHost* Host, const std::string& Text);
// Full path of the open publication, empty when it cannot be determined.
std::string CurrentPublicationPath(IHost* Host);
std::string ResolveTargetPublication(IHost* Host, const std::string& Token);
// "<folder><name>.kvGridfold<ext>", then ".kvGridfold_2" and up: the first free name.
std::string MakeCopyName(const std::string& PubPath);
// Raises: "Current Folivant publication not found: <path>" and file errors.
std::string CopyCurrentPublication(const std::string& PubPath);

}  // namespace kv

#endif
