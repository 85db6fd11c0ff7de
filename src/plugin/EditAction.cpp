#include "plugin/EditAction.h"

#include "dialogs/EditForms.h"
#include "plugin/ActionTable.h"
#include "plugin/HostVariables.h"
#include "plugin/PublicationPaths.h"

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

std::string TPlugInDialogHost::ExpandPublicationPlaceholders(const std::string& Text) {
  try {
    return kv::ExpandPublicationPlaceholders(FState.Host, Text);
  } catch (...) {
    return Text;
  }
}

std::string TPlugInDialogHost::CurrentPublicationPath() {
  try {
    return kv::CurrentPublicationPath(FState.Host);
  } catch (...) {
    return {};
  }
}

}  // namespace kv
