#include "dialogs/EditForms.h"

#include "dialogs/EditImportForm.h"
#include "dialogs/EditSettingsForm.h"
#include "dialogs/ObjectForms.h"

namespace kv {

namespace {

std::unique_ptr<TFormModel> RectForm(IDialogHost& Host, const char* Caption) {
  auto Form = std::make_unique<TRectForm>(Host);
  Form->SetCaption(Caption);
  return Form;
}

}  // namespace

std::unique_ptr<TFormModel> CreateEditForm(int Id, IDialogHost& Host) {
  switch (Id) {
    case 1:
      return std::make_unique<TOpenForm>(Host);
    case 2:
      return RectForm(Host, "kvGridfoldNext Properties");
    case 3:
      return RectForm(Host, "kvGridfoldPrev Properties");
    case 4:
      return std::make_unique<TGotoForm>(Host);
    case 5:
      return RectForm(Host, "kvGridfoldClose Properties");
    case 6:
      return std::make_unique<TSaveForm>(Host);
    case 7:
      return std::make_unique<TExportForm>(Host);
    case 8:
      return std::make_unique<TImportForm>(Host);
    case 9:
      return RectForm(Host, "kvGridfoldEdit Properties");
    case 10:
      return std::make_unique<THighlightForm>(Host);
    case 11:
      return std::make_unique<TSettingsForm>(Host);
    default:
      return nullptr;
  }
}

}  // namespace kv
