#include "plugin/ViewerRegistry.h"

#include "base/Text.h"

namespace kv {

std::string ViewerKey(const std::string& Name) {
  return AsciiUpper(Name);
}

TViewerRegistry::~TViewerRegistry() {
  while (!FViewers.empty()) {
    auto Node = FViewers.extract(FViewers.begin());
    try {
      Node.mapped().reset();
    } catch (...) {
      // The next viewer is released all the same.
    }
  }
}

TVantSpreadsheet* TViewerRegistry::Find(const std::string& Name) const {
  auto It = FViewers.find(ViewerKey(Name));
  return It == FViewers.end() ? nullptr : It->second.get();
}

void TViewerRegistry::Add(const std::string& Name, std::unique_ptr<TVantSpreadsheet> Viewer) {
  std::unique_ptr<TVantSpreadsheet>& Slot = FViewers[ViewerKey(Name)];
  std::unique_ptr<TVantSpreadsheet> Old = std::move(Slot);
  Slot = std::move(Viewer);
}

bool TViewerRegistry::Remove(const std::string& Name) {
  auto It = FViewers.find(ViewerKey(Name));
  if (It == FViewers.end()) return false;
  // Detach first so that the entry is gone even when destroying raises.
  std::unique_ptr<TVantSpreadsheet> Viewer = std::move(It->second);
  FViewers.erase(It);
  Viewer.reset();
  return true;
}

}  // namespace kv
