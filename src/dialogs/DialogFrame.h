// The Win32 dialog frame: shows any form model as a modal dialog with a fixed
// border, centred on the screen, owned by the window that is active when it
// opens, in "MS Sans Serif" 8 pt, one control per entry of the form's table
// at its pixel position. It copies the model's state into the controls, hands
// clicks, check changes and focus changes to the model, and copies the state
// back before each handler and when the dialog ends. Each control carries its
// model name as the window property "kvControlName" (a global atom), so test
// drivers can find it.
#ifndef KV_DIALOGS_DIALOGFRAME_H
#define KV_DIALOGS_DIALOGFRAME_H

#include <memory>

#include "dialogs/FormModel.h"

namespace kv {

// Windows only. Raises: TKvError when the dialog cannot be created.
std::unique_ptr<IFormRunner> CreateWin32FormRunner();

}  // namespace kv

#endif
