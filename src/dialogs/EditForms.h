// Which property dialog each action gets, with its caption set.
#ifndef KV_DIALOGS_EDITFORMS_H
#define KV_DIALOGS_EDITFORMS_H

#include <memory>

#include "dialogs/FormModel.h"

namespace kv {

// The dialog of action Id (1 to 11) with the action's caption; null for any
// other id.
std::unique_ptr<TFormModel> CreateEditForm(int Id, IDialogHost& Host);

}  // namespace kv

#endif
