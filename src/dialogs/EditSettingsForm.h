// The property dialog of the Settings action: the Rectangle name and the
// display settings string, shown as seven fields (one per key) with a colour
// picker for each colour field, and check boxes for "ScrollBars=Yes" and "NumberFormats=Shown".
// LoadSettingsString fills the fields from a settings string; BuildSettingsString writes the
// canonical string back from the non-blank fields. Values are not validated: the viewer skips what
// it does not accept.
#ifndef KV_DIALOGS_EDITSETTINGSFORM_H
#define KV_DIALOGS_EDITSETTINGSFORM_H

#include <string>
#include <string_view>
#include <vector>

#include "dialogs/FormModel.h"

namespace kv {

class TSettingsForm : public TFormModel {
 public:
  explicit TSettingsForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;

  // Empties the seven fields, then sets each whose key the string names (the
  // last occurrence wins, an empty value included).
  void LoadSettingsString(std::string_view Settings);
  // Key=value for every non-blank field, in key order, joined by ";".
  std::string BuildSettingsString() const;

 protected:
  void ButtonClick(const std::string& Name) override;

 private:
  // The colour dialog preset from the field read as hexadecimal RRGGBB; on OK
  // the field becomes six upper-case hex digits. Needs the form's IDialogUi.
  void PickColor(const std::string& Edit);
  bool FNumberFormatsStored = false;  // the loaded string said NumberFormats=Stored
  bool FScrollBarsNo = false;         // the loaded string said ScrollBars=No
};

// "$" + Text read as a hexadecimal integer, as the colour picker presets it.
std::optional<uint32_t> ParseHexColorField(std::string_view Text);
// RRGGBB (upper case) of a COLORREF.
std::string ColorRefToHex(uint32_t ColorRef);

}  // namespace kv

#endif
