// The property dialog of the Import action: the workbook file, the worksheets
// to import (ticked in a list loaded from the workbook) and the destination,
// either the current publication or another publication file. The form owns
// the dialog side of the sheet list ("ALL" or names joined by "|") and of the
// target token, and keeps the check marks consistent with "Import ALL sheets".
#ifndef KV_DIALOGS_EDITIMPORTFORM_H
#define KV_DIALOGS_EDITIMPORTFORM_H

#include <string>
#include <vector>

#include "dialogs/FormModel.h"

namespace kv {

extern const char* const kNoSheetSelected;  // the "[LastError]" text of OK with no sheet

class TImportForm : public TFormModel {
 public:
  explicit TImportForm(IDialogHost& Host);

  // Workbook, stored sheet list, target: the list is loaded and ticked as
  // stored, and the destination chosen from the target text.
  void FillFromParams(const std::vector<std::string>& Params) override;
  // False, with "[LastError]" set, when no sheet is selected.
  bool StoreParams(std::vector<std::string>& Params) override;
  void FormShow() override;

  // Fills the list from the workbook named in EditExcel and ticks every sheet;
  // a workbook that cannot be read leaves the list empty and is reported
  // through the form's IDialogUi.
  void LoadSheets();
  std::string SheetSpec() const;
  void RestoreSheetSpec(const std::string& Spec);
  void UpdateTargetControls();
  void ShowCurrentTarget();
  bool Loading() const { return FLoading; }

  void CheckAllClick();
  void SheetClickCheck();
  void BtnSelectAllClick();
  void BtnSelectNoneClick();
  void BtnBrowseExcelClick();
  void EditExcelExit();
  void RadioCurrentClick();
  void RadioOtherClick();
  void BtnBrowseTargetClick();

  void ItemCheckChanged(const std::string& Name, int Index) override;
  void ControlExit(const std::string& Name) override;

 protected:
  void ButtonClick(const std::string& Name) override;

 private:
  void BrowseForFile(const std::string& Edit, const std::string& Filter);
  void SetAllItems(bool Checked);
  void SelectRadio(const std::string& Name);

  bool FLoading = false;
  // The EditExcel text the list was last loaded from.
  std::string FLoadedFrom;
};

}  // namespace kv

#endif
