// The property dialogs of the actions whose parameters are a Rectangle name,
// files and a few fixed words: Open, the four single-Rectangle actions (Next,
// Prev, Close, Edit), Goto, Save, Export and Highlight. Each fills its
// controls from the action's parameter texts and writes them back on OK;
// edit texts go both ways untrimmed, drop-down lists select the item equal to
// the whole parameter (ASCII case ignored) or else their first item. The
// browse buttons ask the host to pick a Rectangle or a file. No form
// validates anything: OK is taken with any field empty.
#ifndef KV_DIALOGS_OBJECTFORMS_H
#define KV_DIALOGS_OBJECTFORMS_H

#include "dialogs/FormModel.h"

namespace kv {

// The host file picker's filters.
extern const char* const kWorkbookFilter;
extern const char* const kExportFilter;

// Open: Rectangle, workbook file, variable, toolbar placement, "Yes"/"No".
class TOpenForm : public TFormModel {
 public:
  explicit TOpenForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }
  void BtnBrowseFileClick() { BrowseHostFile("EditFile", kWorkbookFilter); }

 protected:
  void ButtonClick(const std::string& Name) override;
};

// Next, Prev, Close and Edit: the Rectangle only. The caller sets the
// action's caption over "Action Properties".
class TRectForm : public TFormModel {
 public:
  explicit TRectForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }

 protected:
  void ButtonClick(const std::string& Name) override;
};

// Goto: Rectangle and sheet name or number.
class TGotoForm : public TFormModel {
 public:
  explicit TGotoForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }

 protected:
  void ButtonClick(const std::string& Name) override;
};

// Save: Rectangle and output file (blank: the opened file).
class TSaveForm : public TFormModel {
 public:
  explicit TSaveForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }
  void BtnBrowseFileClick() { BrowseHostFile("EditFile", kWorkbookFilter); }

 protected:
  void ButtonClick(const std::string& Name) override;
};

// Export: Rectangle, output file, format word, "AllSheets"/"CurrentSheet".
class TExportForm : public TFormModel {
 public:
  explicit TExportForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }
  void BtnBrowseFileClick() { BrowseHostFile("EditFile", kExportFilter); }

 protected:
  void ButtonClick(const std::string& Name) override;
};

// Highlight: Rectangle and colour name.
class THighlightForm : public TFormModel {
 public:
  explicit THighlightForm(IDialogHost& Host);
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }
  // Gives ComboColor its six colours when it has none.
  void FormCreate();

 protected:
  void ButtonClick(const std::string& Name) override;
};

}  // namespace kv

#endif
