// The registry of open viewers: object name (ASCII letters upper-cased,
// nothing trimmed) to the one viewer attached to that object. It owns its
// viewers; removing an entry or destroying the registry destroys the viewer.
#ifndef KV_PLUGIN_VIEWERREGISTRY_H
#define KV_PLUGIN_VIEWERREGISTRY_H

#include <map>
#include <memory>
#include <string>

#include "viewer/VantSpreadsheet.h"

namespace kv {

// The registry key of an object name.
std::string ViewerKey(const std::string& Name);

class TViewerRegistry {
 public:
  TViewerRegistry() = default;
  TViewerRegistry(const TViewerRegistry&) = delete;
  TViewerRegistry& operator=(const TViewerRegistry&) = delete;
  // Destroys every viewer; a failure while destroying one does not stop the others.
  ~TViewerRegistry();

  // The viewer under Name's key, or null.
  TVantSpreadsheet* Find(const std::string& Name) const;
  // Adds Viewer under Name's key, destroying a viewer already there.
  void Add(const std::string& Name, std::unique_ptr<TVantSpreadsheet> Viewer);
  // Removes and destroys the viewer under Name's key; false when there is none.
  // Raises: what destroying the viewer raises (the entry is gone all the same).
  bool Remove(const std::string& Name);
  size_t Count() const { return FViewers.size(); }

 private:
  std::map<std::string, std::unique_ptr<TVantSpreadsheet>> FViewers;
};

}  // namespace kv

#endif
