// An IDialogHost and IDialogUi for the form tests: host variables in a map,
// scripted answers for the pickers, every request and message recorded.
#ifndef KV_TESTS_UNIT_DIALOGS_FAKEDIALOGS_H
#define KV_TESTS_UNIT_DIALOGS_FAKEDIALOGS_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "dialogs/FormModel.h"
#include "import/PublicationRules.h"

namespace kv::test {

class TFakeDialogHost : public IDialogHost {
 public:
  bool FHasAccess = true;
  std::map<std::string, std::string> FVars;
  std::vector<std::pair<int, std::string>> FRequests;
  // The picker's answer: true and the new slot text, or false.
  std::function<bool(int, std::optional<std::string>&)> FOnAccess =
      [](int, std::optional<std::string>&) { return false; };

  bool HasInterfaceAccess() const override { return FHasAccess; }
  bool InterfaceAccess(int Request, std::optional<std::string>& Slot) override {
    FRequests.emplace_back(Request, Slot.value_or(""));
    return FOnAccess(Request, Slot);
  }
  std::string ReadHostVariable(const std::string& Name) override {
    auto It = FVars.find(Name);
    return It == FVars.end() ? std::string() : It->second;
  }
  void SetLastError(const std::string& Message) override { FVars["[LastError]"] = Message; }
  std::string CurrentPublicationPath() override {
    std::string Title = ReadHostVariable("[PubTitle]");
    if (Title.empty()) return {};
    return FullPath(JoinPath(ReadHostVariable("[PubDir]"), Title + ".pub"));
  }
  std::string ExpandPublicationPlaceholders(const std::string& Text) override {
    return kv::ExpandPublicationPlaceholders(Text, FVars["[PubDir]"], FVars["[PubTitle]"]);
  }
};

class TFakeDialogUi : public IDialogUi {
 public:
  std::vector<std::string> FErrors;
  std::vector<std::string> FFilters;
  std::vector<std::optional<uint32_t>> FColorPresets;
  // Answers of the file dialog and the colour dialog; nullopt cancels.
  std::optional<std::string> FFileAnswer;
  std::optional<uint32_t> FColorAnswer;

  bool BrowseForFile(const std::string& Filter, std::string& FileName) override {
    FFilters.push_back(Filter);
    if (!FFileAnswer) return false;
    FileName = *FFileAnswer;
    return true;
  }
  bool RunColorDialog(std::optional<uint32_t> Preset, uint32_t& Chosen) override {
    FColorPresets.push_back(Preset);
    if (!FColorAnswer) return false;
    Chosen = *FColorAnswer;
    return true;
  }
  void ShowError(const std::string& Text) override { FErrors.push_back(Text); }
};

}  // namespace kv::test

#endif
