#include "plugin/EditAction.h"

#include <type_traits>

#include "base/Error.h"
#include "dialogs/EditForms.h"
#include "plugin/ActionTable.h"
#include "plugin/Actions.h"
#include "plugin/HostVariables.h"
#include "plugin/PublicationPaths.h"

namespace kv {

namespace {

// Calls the host: its callbacks may fail in any way, and a form then goes on
// with Fallback (or nothing); the failure goes no further.
template <typename TCall, typename... TFallback>
std::invoke_result_t<TCall> Guarded(TCall Call, const TFallback&... Fallback) {
  using TResult = std::invoke_result_t<TCall>;
  try {
    return Call();
  } catch (...) {
    return TResult(Fallback...);
  }
}

bool ShowEditForm(TPlugInState& State, const TActionDef& Def, std::vector<std::string>& Params,
                  IFormRunner& Runner) {
  TPlugInDialogHost Host(State);
  std::unique_ptr<TFormModel> Form = CreateEditForm(Def.Id, Host);
  if (!Form) return false;
  std::vector<std::string> Texts = Params;
  Texts.resize(static_cast<size_t>(Def.ParamCount));
  Form->SetUi(&Runner.Ui());
  Form->FillFromParams(Texts);
  if (Runner.ShowModal(*Form) != kModalOk) return false;
  if (!Form->StoreParams(Texts)) return false;
  Texts.resize(static_cast<size_t>(Def.ParamCount));
  Params = std::move(Texts);
  return true;
}

}  // namespace

bool EditAction(TPlugInState& State, int Id, std::vector<std::string>& Params,
                IFormRunner& Runner) {
  const TActionDef* Def = FindAction(Id);
  if (!Def || Id == aidGroup) return false;
  try {
    return ShowEditForm(State, *Def, Params, Runner);
  } catch (const std::exception& E) {
    Guarded([&] { SetLastError(State, ErrorMessage(E)); });
    return false;
  } catch (...) {
    return false;
  }
}

bool TPlugInDialogHost::HasInterfaceAccess() const {
  return FState.Host && FState.Host->HasInterfaceAccess();
}

bool TPlugInDialogHost::InterfaceAccess(int Request, std::optional<std::string>& Slot) {
  return Guarded([&] { return FState.Host->InterfaceAccess(Request, Slot); }, false);
}

std::string TPlugInDialogHost::ReadHostVariable(const std::string& Name) {
  return Guarded([&] { return kv::ReadHostVariable(FState.Host, Name); });
}

void TPlugInDialogHost::SetLastError(const std::string& Message) {
  Guarded([&] { kv::SetLastError(FState, Message); });
}

std::string TPlugInDialogHost::ExpandPublicationPlaceholders(const std::string& Text) {
  return Guarded([&] { return kv::ExpandPublicationPlaceholders(FState.Host, Text); }, Text);
}

std::string TPlugInDialogHost::CurrentPublicationPath() {
  return Guarded([&] { return kv::CurrentPublicationPath(FState.Host); });
}

}  // namespace kv
