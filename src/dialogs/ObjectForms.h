// The property dialogs of the actions whose parameters are a Rectangle name,
// files and a few fixed words: Open, the four single-Rectangle actions (Next,
// Prev, Close, Edit), Goto, Save, Export and Highlight. One table describes
// them all: each parameter's control, its label, its place. A form fills its
// controls from the action's parameter texts and writes them back on OK;
// edit texts go both ways untrimmed, drop-down lists select the item equal to
// the whole parameter (ASCII case ignored) or else their first item, and a
// check box is ticked by one word (the Open form's trimmed first) and writes
// that word or another. The browse buttons ask the host to pick a Rectangle
// or a file. No form validates anything: OK is taken with any field empty.
#ifndef KV_DIALOGS_OBJECTFORMS_H
#define KV_DIALOGS_OBJECTFORMS_H

#include <memory>

#include "dialogs/FormModel.h"

namespace kv {

// The host file picker's filters.
extern const char* const kWorkbookFilter;
extern const char* const kExportFilter;

// The dialog of action Id (1 Open, 2 Next, 3 Prev, 4 Goto, 5 Close, 6 Save,
// 7 Export, 9 Edit, 10 Highlight) with the action's caption; null for any
// other id.
std::unique_ptr<TFormModel> CreateObjectForm(int Id, IDialogHost& Host);

}  // namespace kv

#endif
