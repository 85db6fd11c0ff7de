// A worksheet's tables as editing needs them: where each table lies, whether
// it has a header row, and its column names, which must equal the header
// cells' texts. Editing a header cell renames the column in the table part
// (tableColumn's "name"), every other byte of the part kept; a name that is
// empty or that another column of the table already has (letter case
// ignored, as Excel compares them) is refused, as Excel refuses it.
#ifndef KV_WORKBOOK_TABLEPARTS_H
#define KV_WORKBOOK_TABLEPARTS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct TTablePart {
  std::string PartName;                              // exact entry name
  std::string Name;                                  // the table's display name
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;  // 0-based, inclusive
  bool HasHeader = true;
  std::vector<std::string> Columns;  // names as the header cells show them

  // The column whose header cell is (Row, Col), or -1.
  int32_t HeaderColumnAt(int32_t Row, int32_t Col) const;
};

// Reads a table part; false when it is no table with a usable range.
// Raises: the pull reader's errors.
bool ReadTablePart(std::string_view Xml, const std::string& PartName, TTablePart& Out);

// The targets of a worksheet's table relationships, resolved against the
// worksheet's folder, from the text of its relationships part.
std::vector<std::string> TablePartsOfSheet(std::string_view Rels, const std::string& SheetPart);

// Raises, when Name cannot head column Index of Table:
// "A table's header cannot be empty: REF heads a column of the table NAME."
// or "The table NAME already has a column named TEXT."
void CheckHeaderName(const TTablePart& Table, int32_t Index, std::string_view Name,
                     std::string_view Ref);

// The table part with column Index named Name, every other byte kept.
// Raises: the pull reader's errors.
std::string RenameTableColumn(std::string_view Xml, const std::string& PartName, int32_t Index,
                              std::string_view Name);

}  // namespace kv

#endif
