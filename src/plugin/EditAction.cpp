#include "plugin/EditAction.h"

#include "base/Files.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "dialogs/EditForms.h"
#include "plugin/ActionTable.h"
#include "plugin/HostVariables.h"

namespace kv {

bool EditAction(TPlugInState& State, int Id, std::vector<std::string>& Params,
                IFormRunner& Runner) {
  const TActionDef* Def = FindAction(Id);
  if (!Def || Id == aidGroup) return false;
  try {
    TPlugInDialogHost Host(State);
    std::unique_ptr<TFormModel> Form = CreateEditForm(Id, Host);
    if (!Form) return false;
    std::vector<std::string> Texts = Params;
    Texts.resize(static_cast<size_t>(Def->ParamCount));
    Form->SetUi(&Runner.Ui());
    Form->FillFromParams(Texts);
    if (Runner.ShowModal(*Form) != kModalOk) return false;
    if (!Form->StoreParams(Texts)) return false;
    Texts.resize(static_cast<size_t>(Def->ParamCount));
    Params = std::move(Texts);
    return true;
  } catch (...) {
    return false;
  }
}

bool TPlugInDialogHost::HasInterfaceAccess() const {
  return FState.Host && FState.Host->HasInterfaceAccess();
}

bool TPlugInDialogHost::InterfaceAccess(int Request, std::optional<std::string>& Slot) {
  try {
    return FState.Host->InterfaceAccess(Request, Slot);
  } catch (...) {
    return false;
  }
}

std::string TPlugInDialogHost::ReadHostVariable(const std::string& Name) {
  try {
    return kv::ReadHostVariable(FState.Host, Name);
  } catch (...) {
    return {};
  }
}

void TPlugInDialogHost::SetLastError(const std::string& Message) {
  try {
    if (FState.Host && FState.Host->HasSetVariable())
      FState.Host->SetVariable("[LastError]", Message);
  } catch (...) {
  }
}

std::string TPlugInDialogHost::CleanPublicationTitle(const std::string& Title) {
  std::string T = Trim(Title);
  size_t Remark = T.find(" (");
  return Remark == std::string::npos ? T : Trim(std::string_view(T).substr(0, Remark));
}

bool TPlugInDialogHost::LooksLikePath(const std::string& Text) {
  return Text.find_first_of("\\/:") != std::string::npos;
}

std::string TPlugInDialogHost::ExpandPublicationPlaceholders(const std::string& Text) {
  if (!FState.Host || !FState.Host->HasGetVariable()) return Text;
  std::string Dir, Title;
  try {
    Dir = kv::ReadHostVariable(FState.Host, "[PubDir]");
    Title = kv::ReadHostVariable(FState.Host, "[PubTitle]");
  } catch (...) {
    Dir.clear();
    Title.clear();
  }
  std::string S = Text;
  if (!Dir.empty()) S = ReplaceAllAscii(S, "[PubDir]", IncludeTrailingPathDelimiter(Dir));
  if (!Title.empty()) S = ReplaceAllAscii(S, "[PubTitle]", Title);
  return S;
}

std::string TPlugInDialogHost::CurrentPublicationPath() {
  if (!FState.Host || !FState.Host->HasGetVariable()) return {};
  std::string Dir, Title;
  try {
    Dir = Trim(kv::ReadHostVariable(FState.Host, "[PubDir]"));
    Title = CleanPublicationTitle(kv::ReadHostVariable(FState.Host, "[PubTitle]"));
  } catch (...) {
    return {};
  }
  if (Title.empty()) return {};
  std::string Path = Title;
  if (!LooksLikePath(Title)) {
    if (!SameTextAscii(ExtractFileExt(Title), ".pub")) Path += ".pub";
    if (!Dir.empty()) Path = IncludeTrailingPathDelimiter(Dir) + Path;
  }
  if (!SameTextAscii(ExtractFileExt(Path), ".pub")) Path += ".pub";
  try {
    return FullPath(Path);
  } catch (...) {
    return {};
  }
}

}  // namespace kv
