// The registry of open viewers: object name (ASCII letters upper-cased,
// nothing trimmed) to the one viewer attached to that object. It owns its
// viewers; removing an entry or destroying the registry destroys the viewer.
#ifndef KV_PLUGIN_VIEWERREGISTRY_H
#define KV_PLUGIN_VIEWERREGISTRY_H

#include <string>

namespace kv {

// The registry key of an object name.
std::string ViewerKey(const std::string& Name);

class TViewerRegistry {
 public:
  TViewerRegistry() = default;
  TViewerRegistry(const TViewerRegistry&) = delete;
  TViewerRegistry& operator=(const TViewerRegistry&) = delete;
};

}  // namespace kv

#endif
