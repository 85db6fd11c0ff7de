#include "plugin/ActionTable.h"

namespace kv {

const std::vector<TActionDef>& ActionTable() {
  static const std::vector<TActionDef> Table = {
      {aidGroup, "Open/Close", "", {0}, 0},
      {aidOpen,
       "kvGridfoldOpen",
       "Open an Excel workbook and attach a worksheet viewer to a Rectangle.",
       {ParamText, ParamFileName, ParamVariable, ParamText, ParamText},
       5},
      {aidClose,
       "kvGridfoldClose",
       "Remove an Excel viewer previously attached to a Rectangle.",
       {ParamText},
       1},
      {aidGroup, "Navigation", "", {0}, 0},
      {aidNext, "kvGridfoldNext", "Show the next worksheet in an Excel viewer.", {ParamText}, 1},
      {aidPrev,
       "kvGridfoldPrev",
       "Show the previous worksheet in an Excel viewer.",
       {ParamText},
       1},
      {aidGoto,
       "kvGridfoldGoto",
       "Jump to a specific worksheet by name or number in an Excel viewer.",
       {ParamText, ParamText},
       2},
      {aidGroup, "Edit/Save", "", {0}, 0},
      {aidEdit,
       "kvGridfoldEdit",
       "Begin editing the currently selected cell in an Excel viewer.",
       {ParamText},
       1},
      {aidSave,
       "kvGridfoldSave",
       "Save edits made in an Excel viewer back to a file (blank file name = overwrite the "
       "original).",
       {ParamText, ParamFileName},
       2},
      {aidGroup, "Import/Export", "", {0}, 0},
      {aidImport,
       "kvGridfoldImport",
       "Import selected Excel worksheets as real Folivant pages into the current publication or "
       "another pubfile. Existing pages are preserved.",
       {ParamFileName, ParamText, ParamFileName},
       3},
      {aidExport,
       "kvGridfoldExport",
       "Export the workbook shown in an Excel viewer to CSV, Text, HTML, XML Spreadsheet, Word "
       "or PDF.",
       {ParamText, ParamFileName, ParamText, ParamText},
       4},
      {aidGroup, "Settings", "", {0}, 0},
      {aidHighlight,
       "kvGridfoldHighlight",
       "Highlight (or clear) the currently selected cell in an Excel viewer. This is a "
       "viewer-only overlay and is not saved back into the workbook file.",
       {ParamText, ParamText},
       2},
      {aidSettings,
       "kvGridfoldSettings",
       "Customize the toolbar/header/selection colors, grid font, row height and column width of "
       "an Excel viewer.",
       {ParamText, ParamText},
       2},
  };
  return Table;
}

const TActionDef* FindAction(int Id) {
  if (Id < 1 || Id > 11) return nullptr;
  for (const TActionDef& A : ActionTable())
    if (A.Id == Id) return &A;
  return nullptr;
}

}  // namespace kv
