#include "dialogs/EditForms.h"

#include "dialogs/EditImportForm.h"
#include "dialogs/EditSettingsForm.h"
#include "dialogs/ObjectForms.h"

namespace kv {

std::unique_ptr<TFormModel> CreateEditForm(int Id, IDialogHost& Host) {
  if (Id == 8) return std::make_unique<TImportForm>(Host);
  if (Id == 11) return std::make_unique<TSettingsForm>(Host);
  return CreateObjectForm(Id, Host);
}

}  // namespace kv
