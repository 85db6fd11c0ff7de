// An IHost and IMessagePort for native tests: host variables in a map, every
// call recorded, each callback switchable off to imitate a host that did not
// hand it over.
#ifndef KV_TESTS_SUPPORT_FAKEHOST_H
#define KV_TESTS_SUPPORT_FAKEHOST_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/HostPorts.h"

namespace kv::test {

class TFakeHost : public IHost {
 public:
  bool FHasGet = true, FHasSet = true, FHasAccess = true, FHasPlay = true;
  std::map<std::string, std::string> FVars;
  std::vector<std::string> FPlayed;
  std::vector<std::pair<int, std::optional<std::string>>> FRequests;
  // Answers interface-access requests; by default the probe succeeds.
  std::function<bool(int, std::optional<std::string>&)> FOnAccess =
      [](int Request, std::optional<std::string>& Slot) {
        if (Request == iaProbe) Slot = "1";
        return true;
      };
  uintptr_t FWindow = 0x1234;

  bool HasGetVariable() const override { return FHasGet; }
  std::string GetVariable(const std::string& Name) override {
    auto It = FVars.find(Name);
    return It == FVars.end() ? std::string() : It->second;
  }
  bool HasSetVariable() const override { return FHasSet; }
  void SetVariable(const std::string& Name, const std::string& Value) override {
    FVars[Name] = Value;
  }
  bool HasInterfaceAccess() const override { return FHasAccess; }
  bool InterfaceAccess(int Request, std::optional<std::string>& Slot) override {
    FRequests.emplace_back(Request, Slot);
    return FOnAccess(Request, Slot);
  }
  bool HasPlayAction() const override { return FHasPlay; }
  void PlayAction(const std::string& Command) override { FPlayed.push_back(Command); }
  uintptr_t HostWindow() const override { return FWindow; }

  std::string Var(const std::string& Name) const {
    auto It = FVars.find(Name);
    return It == FVars.end() ? std::string() : It->second;
  }
};

struct TShownMessage {
  std::string Text, Caption;
  TMessageIcon Icon;
};

class TFakeMessages : public IMessagePort {
 public:
  std::vector<TShownMessage> FShown;
  void ShowMessage(const std::string& Text, const std::string& Caption,
                   TMessageIcon Icon) override {
    FShown.push_back({Text, Caption, Icon});
  }
};

}  // namespace kv::test

#endif
