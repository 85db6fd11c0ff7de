// The portable side of fvEditAction: shows the property dialog of one action,
// filled from the action's parameter texts, and on OK rewrites the texts as
// the run-time actions expect them. The dialog is shown through a form runner
// (the Win32 dialog frame in the plug-in, a script in tests), and the forms
// reach the host through the plug-in's ports.
#ifndef KV_PLUGIN_EDITACTION_H
#define KV_PLUGIN_EDITACTION_H

#include <string>
#include <vector>

#include "dialogs/FormModel.h"
#include "plugin/PlugIn.h"

namespace kv {

// True when the author confirmed and Params now hold the new texts (resized
// to the action's parameter count). False for an unknown id, on Cancel, when
// the import dialog is confirmed without a worksheet, and when the dialog
// fails ("The dialog could not be created." and the forms' own errors);
// Params are then untouched and, for an error, "[LastError]" holds its
// message, as the host boundary does for actions. Never raises.
bool EditAction(TPlugInState& State, int Id, std::vector<std::string>& Params, IFormRunner& Runner);

// The forms' view of the host, over the plug-in state.
class TPlugInDialogHost : public IDialogHost {
 public:
  explicit TPlugInDialogHost(TPlugInState& State) : FState(State) {}
  bool HasInterfaceAccess() const override;
  bool InterfaceAccess(int Request, std::optional<std::string>& Slot) override;
  std::string ReadHostVariable(const std::string& Name) override;
  void SetLastError(const std::string& Message) override;
  std::string CurrentPublicationPath() override;
  std::string ExpandPublicationPlaceholders(const std::string& Text) override;

 private:
  TPlugInState& FState;
};

}  // namespace kv

#endif
