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

// What one parameter slot shows: an edit's text, a drop-down list's item, or
// a check box's state, which stores OnWord or OffWord and is ticked by OnWord
// (trimmed first when TrimOnRead).
struct TParamSlot {
  enum class TKind { Edit, List, Check };
  TKind Kind;
  const char* Control;
  const char* OnWord = nullptr;
  const char* OffWord = nullptr;
  bool TrimOnRead = false;
};

// The shared behaviour of the object forms: parameters go to and from the
// controls of a slot table, "BtnBrowseRect" picks a Rectangle and
// "BtnBrowseFile" a file through the form's filter.
class TObjectForm : public TFormModel {
 public:
  void FillFromParams(const std::vector<std::string>& Params) override;
  bool StoreParams(std::vector<std::string>& Params) override;
  void BtnBrowseRectClick() { BrowseRect(); }
  void BtnBrowseFileClick() { BrowseHostFile("EditFile", FFileFilter); }

 protected:
  TObjectForm(IDialogHost& Host, const std::string& Caption, int Width, int Height,
              std::vector<TParamSlot> Slots, const char* FileFilter = nullptr)
      : TFormModel(Host, Caption, Width, Height),
        FSlots(std::move(Slots)),
        FFileFilter(FileFilter) {}
  void ButtonClick(const std::string& Name) override;

 private:
  std::vector<TParamSlot> FSlots;
  const char* FFileFilter;
};

// Open: Rectangle, workbook file, variable, toolbar placement, "Yes"/"No".
class TOpenForm : public TObjectForm {
 public:
  explicit TOpenForm(IDialogHost& Host);
};

// Next, Prev, Close and Edit: the Rectangle only. The caller sets the
// action's caption over "Action Properties".
class TRectForm : public TObjectForm {
 public:
  explicit TRectForm(IDialogHost& Host);
};

// Goto: Rectangle and sheet name or number.
class TGotoForm : public TObjectForm {
 public:
  explicit TGotoForm(IDialogHost& Host);
};

// Save: Rectangle and output file (blank: the opened file).
class TSaveForm : public TObjectForm {
 public:
  explicit TSaveForm(IDialogHost& Host);
};

// Export: Rectangle, output file, format word, "AllSheets"/"CurrentSheet".
class TExportForm : public TObjectForm {
 public:
  explicit TExportForm(IDialogHost& Host);
};

// Highlight: Rectangle and colour name.
class THighlightForm : public TObjectForm {
 public:
  explicit THighlightForm(IDialogHost& Host);
  // Gives ComboColor its six colours when it has none.
  void FormCreate();
};

}  // namespace kv

#endif
