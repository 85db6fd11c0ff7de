// The element-level edits of worksheet trees: where new rows and cells go,
// what a cell holds after an edit, and what serialising keeps.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "workbook/XlsxWriter.h"

namespace kv {

namespace {

const char* const kNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

pugi::xml_document Parse(const std::string& Xml) {
  pugi::xml_document Doc;
  ParseSheetPart(Doc, Xml, "xl/worksheets/sheet1.xml");
  return Doc;
}

std::vector<std::string> ChildRefs(pugi::xml_node Parent) {
  std::vector<std::string> Refs;
  for (pugi::xml_node N : Parent.children())
    if (N.type() == pugi::node_element) Refs.push_back(N.attribute("r").value());
  return Refs;
}

std::string Xml(pugi::xml_node Node) {
  std::ostringstream Out;
  Node.print(Out, "", pugi::format_raw);
  return Out.str();
}

}  // namespace

TEST(SaveTree, NewRowsGoInAscendingOrderAndExistingOnesAreReused) {
  auto Doc =
      Parse(std::string("<worksheet xmlns=\"") + kNs +
            "\"><sheetData><row r=\"2\"/><row r=\"5\" spans=\"1:3\"/></sheetData></worksheet>");
  pugi::xml_node Data = Doc.document_element().child("sheetData");
  pugi::xml_node Five = Data.last_child();
  EXPECT_EQ(FindOrAddRow(Data, 5), Five);
  FindOrAddRow(Data, 7);
  FindOrAddRow(Data, 1);
  FindOrAddRow(Data, 3);
  FindOrAddRow(Data, 10);
  EXPECT_EQ(ChildRefs(Data), (std::vector<std::string>{"1", "2", "3", "5", "7", "10"}));
  EXPECT_EQ(FindOrAddRow(Data, 3).attribute("r").as_int(), 3);
  EXPECT_EQ(ChildRefs(Data).size(), 6u);
  // Unprefixed, no namespace declaration of its own.
  EXPECT_EQ(Xml(Data.first_child()), "<row r=\"1\"/>");
}

TEST(SaveTree, NewCellsGoInColumnOrderNotTextOrder) {
  auto Doc = Parse(
      "<worksheet><sheetData><row r=\"2\"><c r=\"B2\"/><c r=\"D2\"/>"
      "<extLst/></row></sheetData></worksheet>");
  pugi::xml_node Row = Doc.document_element().child("sheetData").child("row");
  pugi::xml_node B = Row.first_child();
  EXPECT_EQ(FindOrAddCell(Row, "b2"), B);  // found ignoring case, nothing added
  FindOrAddCell(Row, "AA2");               // after E2 although "AA2" < "E2" as text
  FindOrAddCell(Row, "E2");
  FindOrAddCell(Row, "A2");
  FindOrAddCell(Row, "C2");
  EXPECT_EQ(ChildRefs(Row), (std::vector<std::string>{"A2", "B2", "C2", "D2", "E2", "AA2", ""}));
  EXPECT_STREQ(Row.last_child().name(), "extLst");
}

TEST(SaveTree, TextThatIsNotAnInvariantNumberBecomesAnInlineString) {
  for (const char* Text : {"1,5", "NaN", "INF", "2024-01-01", "1e999"}) {
    auto Doc = Parse("<c r=\"A1\" s=\"4\"><v>45000</v></c>");
    SetCellElementValue(Doc.document_element(), Text);
    EXPECT_EQ(Xml(Doc.document_element()),
              std::string("<c r=\"A1\" s=\"4\" t=\"inlineStr\"><is><t>") + Text + "</t></is></c>")
        << Text;
  }
}

TEST(SaveTree, InlineStringsKeepSpacesLineBreaksAndStayWellFormed) {
  auto Doc = Parse("<row/>");
  pugi::xml_node Row = Doc.document_element();
  SetCellElementValue(FindOrAddCell(Row, "A1"), " lead");
  SetCellElementValue(FindOrAddCell(Row, "B1"), "two\nlines");
  SetCellElementValue(FindOrAddCell(Row, "C1"), "a < b & c");
  SetCellElementValue(FindOrAddCell(Row, "D1"), std::string("bell\x07", 5));
  SetCellElementValue(FindOrAddCell(Row, "E1"), "bad \xC3");
  std::string Out = Xml(Row);
  EXPECT_NE(Out.find("<c r=\"A1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> lead</t>"),
            std::string::npos);
  EXPECT_NE(Out.find("<t xml:space=\"preserve\">two\nlines</t>"), std::string::npos);
  EXPECT_NE(Out.find("<t>a &lt; b &amp; c</t>"), std::string::npos);
  EXPECT_NE(Out.find("<t>bell_x0007_</t>"), std::string::npos);
  EXPECT_NE(Out.find("<t>bad \xEF\xBF\xBD</t>"), std::string::npos);
  pugi::xml_document Back;
  EXPECT_TRUE(Back.load_string(Out.c_str()));
}

TEST(SaveTree, CellChildrenStayInSchemaOrder) {
  auto Doc = Parse("<c r=\"A1\"><f>1+1</f><v>2</v><extLst><ext/></extLst></c>");
  SetCellElementValue(Doc.document_element(), "x");
  EXPECT_EQ(Xml(Doc.document_element()),
            "<c r=\"A1\" t=\"inlineStr\"><is><t>x</t></is><extLst><ext/></extLst></c>");
}

TEST(SaveTree, MissingSheetDataIsAddedWhereTheWorksheetSchemaWantsIt) {
  auto Doc = Parse(
      "<worksheet><sheetPr/><dimension ref=\"A1\"/><cols><col min=\"1\"/></cols>"
      "<pageMargins left=\"1\"/><drawing r:id=\"x\"/></worksheet>");
  pugi::xml_node Data = FindOrAddSheetData(Doc);
  ASSERT_TRUE(Data);
  EXPECT_STREQ(Data.previous_sibling().name(), "cols");
  EXPECT_STREQ(Data.next_sibling().name(), "pageMargins");
  EXPECT_EQ(FindOrAddSheetData(Doc), Data);

  auto Bare = Parse("<worksheet><pageMargins/></worksheet>");
  pugi::xml_node Added = FindOrAddSheetData(Bare);
  EXPECT_EQ(Added, Bare.document_element().first_child());

  // A chart sheet holds no cells: nothing is added to it.
  auto Chart = Parse("<chartsheet><sheetPr/><drawing/></chartsheet>");
  EXPECT_FALSE(FindOrAddSheetData(Chart));
  EXPECT_EQ(Xml(Chart.document_element()), "<chartsheet><sheetPr/><drawing/></chartsheet>");
}

TEST(SaveTree, SerialisingChangesNothingButTheDeclaredEncoding) {
  const std::string Body =
      "<worksheet xmlns=\"x\">\n  <!-- kept -->\n  <sheetData>\n    <row r=\"1\"><c r=\"A1\" "
      "t=\"inlineStr\"><is><t xml:space=\"preserve\">  </t></is></c></row>\n  </sheetData>\n"
      "<?pi kept?></worksheet>";
  auto Doc = Parse("\xEF\xBB\xBF<?xml version=\"1.0\" standalone=\"yes\"?>" + Body);
  EXPECT_EQ(SerializeSheetPart(Doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" + Body);
  auto Latin = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + Body);
  EXPECT_EQ(SerializeSheetPart(Latin), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + Body);
  auto NoDecl = Parse(Body);
  EXPECT_EQ(SerializeSheetPart(NoDecl), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + Body);
}

}  // namespace kv

namespace kv {

TEST(FormulaMoves, RelativePartsMoveAndEverythingElseStays) {
  const struct {
    const char* From;
    int32_t DRow, DCol;
    const char* To;
  } Cases[] = {
      {"A1*2+$A$1+A$1+$A1", 2, 1, "B3*2+$A$1+B$1+$A3"},
      {"SUM(A1:B2)/COUNT($C:$C)+SUM(A:B)+SUM(1:2)", 1, 1,
       "SUM(B2:C3)/COUNT($C:$C)+SUM(B:C)+SUM(2:3)"},
      {"Sheet2!A1&'My Sheet'!B2&\"A1\"&'It''s'!C3", 1, 0,
       "Sheet2!A2&'My Sheet'!B3&\"A1\"&'It''s'!C4"},
      // Function names, booleans, numbers and words too long for a column stay.
      {"LOG10(A1)+TRUE+1.5E3+ATAN2(1,2)+LONGNAME", 1, 0,
       "LOG10(A2)+TRUE+1.5E3+ATAN2(1,2)+LONGNAME"},
      {"Table1[[#This Row],[A1]]+[1]Sheet1!A1", 1, 0, "Table1[[#This Row],[A1]]+[1]Sheet1!A2"},
      // Moved off the sheet: the reference becomes an error, the rest still reads.
      {"A1+B2", -1, 0, "#REF!+B1"},
      {"XFD1+A1048576", 1, 1, "#REF!+#REF!"},
      {"A:A", 0, -1, "#REF!"},
      {"", 3, 3, ""},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ShiftFormulaReferences(C.From, C.DRow, C.DCol), C.To) << C.From;
}

TEST(FormulaMoves, ReplacingTheFirstCellOfASharedGroupGivesTheOthersTheirOwnFormulas) {
  pugi::xml_document Doc = Parse(
      std::string("<worksheet xmlns=\"") + kNs +
      "\"><sheetData><row r=\"1\"><c r=\"B1\"><f t=\"shared\" ref=\"B1:C2\" si=\"4\">A1+1</f>"
      "<v>1</v></c><c r=\"C1\"><f t=\"shared\" si=\"4\"/><v>2</v></c></row><row r=\"2\">"
      "<c r=\"B2\"><f t=\"shared\" si=\"4\"/><v>3</v></c><c r=\"C2\"><f t=\"shared\" si=\"5\"/>"
      "</c><c><f t=\"shared\" si=\"4\"/><v>5</v></c></row></sheetData></worksheet>");
  pugi::xml_node Data = Doc.document_element().child("sheetData");
  pugi::xml_node Master = Data.child("row").child("c");
  UnshareFormulaGroup(Data, Master);
  SetCellElementValue(Master, "x");
  EXPECT_EQ(
      Xml(Data),
      "<sheetData><row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>x</t></is></c>"
      "<c r=\"C1\"><f>B1+1</f><v>2</v></c></row><row r=\"2\"><c r=\"B2\"><f>A2+1</f>"
      "<v>3</v></c><c r=\"C2\"><f t=\"shared\" si=\"5\"/></c><c><v>5</v></c></row></sheetData>");
}

}  // namespace kv
