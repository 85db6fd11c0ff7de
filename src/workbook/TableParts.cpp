#include "workbook/TableParts.h"

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "workbook/CharEscapes.h"
#include "workbook/SheetSplice.h"
#include "workbook/TagEdit.h"
#include "xml/XmlEscape.h"
#include "xml/XmlPull.h"

namespace kv {

namespace {

std::string Attribute(const TXmlPullReader& X, std::string_view Name) {
  std::string_view V;
  return X.FindAttribute(Name, V) ? std::string(V) : std::string();
}

std::string FolderOf(std::string_view Part) {
  const size_t Slash = Part.rfind('/');
  return Slash == std::string_view::npos ? std::string() : std::string(Part.substr(0, Slash + 1));
}

}  // namespace

int32_t TTablePart::HeaderColumnAt(int32_t Row, int32_t Col) const {
  if (!HasHeader || Row != Top || Col < Left || Col > Right) return -1;
  const int32_t Index = Col - Left;
  return Index < static_cast<int32_t>(Columns.size()) ? Index : -1;
}

bool ReadTablePart(std::string_view Xml, const std::string& PartName, TTablePart& Out) {
  TXmlMemorySource Source(Xml);
  TXmlPullReader X(Source, PartName);
  Out = {};
  Out.PartName = PartName;
  bool Ranged = false;
  for (;;) {
    const TXmlPullReader::TEvent E = X.Next();
    if (E == TXmlPullReader::TEvent::EndOfDocument) break;
    if (E != TXmlPullReader::TEvent::StartElement) continue;
    if (X.Depth() == 1) {
      if (!SameTextAscii(X.LocalName(), "table")) return false;
      Out.Name = Attribute(X, "displayName");
      if (Out.Name.empty()) Out.Name = Attribute(X, "name");
      Ranged = ParseRange(Attribute(X, "ref"), Out.Top, Out.Left, Out.Bottom, Out.Right);
      const std::string Header = Trim(Attribute(X, "headerRowCount"));
      Out.HasHeader = Header.empty() || Header != "0";
    } else if (X.Depth() == 3 && SameTextAscii(X.LocalName(), "tableColumn")) {
      Out.Columns.push_back(DecodeCharEscapes(Attribute(X, "name")));
    }
  }
  return Ranged;
}

std::vector<std::string> TablePartsOfSheet(std::string_view Rels, const std::string& SheetPart) {
  std::vector<std::string> Out;
  TXmlMemorySource Source(Rels);
  TXmlPullReader X(Source, "relationships");
  for (;;) {
    const TXmlPullReader::TEvent E = X.Next();
    if (E == TXmlPullReader::TEvent::EndOfDocument) break;
    if (E != TXmlPullReader::TEvent::StartElement || X.Depth() != 2) continue;
    const std::string Type = Attribute(X, "Type"), Target = Attribute(X, "Target");
    if (!EndsWithAscii(Type, "/table") || Target.empty() ||
        SameTextAscii(Attribute(X, "TargetMode"), "External"))
      continue;
    std::string Path = Target[0] == '/' ? Target.substr(1) : FolderOf(SheetPart) + Target;
    std::vector<std::string> Segments;
    for (const std::string& S : SplitString(Path, '/')) {
      if (S == "..") {
        if (!Segments.empty()) Segments.pop_back();
      } else if (!S.empty() && S != ".") {
        Segments.push_back(S);
      }
    }
    std::string Joined;
    for (const std::string& S : Segments) Joined += (Joined.empty() ? "" : "/") + S;
    Out.push_back(Joined);
  }
  return Out;
}

void CheckHeaderName(const TTablePart& Table, int32_t Index, std::string_view Name,
                     std::string_view Ref) {
  if (IsBlank(Name))
    throw TKvError("A table's header cannot be empty: " + std::string(Ref) +
                   " heads a column of the table " + Table.Name + ".");
  for (size_t K = 0; K < Table.Columns.size(); ++K)
    if (static_cast<int32_t>(K) != Index && SameTextAscii(Table.Columns[K], Name))
      throw TKvError("The table " + Table.Name + " already has a column named " +
                     std::string(Name) + ".");
}

std::string RenameTableColumn(std::string_view Xml, const std::string& PartName, int32_t Index,
                              std::string_view Name) {
  TXmlMemorySource Source(Xml);
  TXmlPullReader X(Source, PartName);
  int32_t Seen = 0;
  for (;;) {
    const TXmlPullReader::TEvent E = X.Next();
    if (E == TXmlPullReader::TEvent::EndOfDocument) return std::string(Xml);
    if (E != TXmlPullReader::TEvent::StartElement || X.Depth() != 3 ||
        !SameTextAscii(X.LocalName(), "tableColumn") || Seen++ != Index)
      continue;
    const size_t From = static_cast<size_t>(X.EventStart()), To = static_cast<size_t>(X.EventEnd());
    return std::string(Xml.substr(0, From)) +
           SetTagAttribute(Xml.substr(From, To - From), "name",
                           EscapeXmlAttribute(EncodeCharEscapes(Name, true))) +
           std::string(Xml.substr(To));
  }
}

}  // namespace kv
