// The splice that saving writes an edited worksheet part with: exact text of
// the part after edits, row by row of a table of cases grouped by behaviour.
// Every case's output also reads back through the loader's pull reader, and
// only the bytes of the edited cells may differ from the input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workbook/SheetSplice.h"
#include "workbook/FormulaShift.h"
#include "xml/XmlPull.h"

namespace kv {

namespace {

struct TStringSink : TXmlSink {
  std::string Bytes;
  void Write(std::string_view B) override { Bytes.append(B); }
};

std::string Splice(const std::string& Xml, const TCellEdits& Edits,
                   bool* FormulaRemoved = nullptr) {
  TXmlMemorySource Source(Xml);
  TStringSink Out;
  const bool MayAddSheetData = Xml.find("sheetData") == std::string::npos;
  TSpliceResult R =
      SpliceSheetPart(Source, "xl/worksheets/sheet1.xml", Edits, MayAddSheetData, &Out);
  if (FormulaRemoved) *FormulaRemoved = R.FormulaRemoved;
  // The output is well formed for the reader that loads it.
  TXmlMemorySource Back(Out.Bytes);
  TXmlPullReader X(Back, "out");
  while (X.Next() != TXmlPullReader::TEvent::EndOfDocument) {
  }
  return Out.Bytes;
}

std::string Sheet(const std::string& Rows) {
  return "<worksheet><sheetData>" + Rows + "</sheetData></worksheet>";
}

struct TCase {
  const char* What;
  std::string In;
  TCellEdits Edits;
  std::string Out;
};

void ExpectSplices(const std::vector<TCase>& Cases) {
  for (const TCase& C : Cases) EXPECT_EQ(Splice(C.In, C.Edits), C.Out) << C.What;
}

}  // namespace

TEST(SheetSplice, EditsGoWhereLoadingShowsTheCell) {
  ExpectSplices({
      {"rows and cells without r: the inferred place is edited",
       Sheet("<row><c s=\"1\"><v>1</v></c><c s=\"2\"><v>2</v></c></row><row><c><v>3</v></c></row>"),
       {{{1, 0}, "x"}, {{0, 1}, "7"}},
       Sheet("<row><c s=\"1\"><v>1</v></c><c s=\"2\" t=\"n\"><v>7</v></c></row>"
             "<row><c t=\"inlineStr\"><is><t>x</t></is></c></row>")},
      {"a cell without r after one with r follows it",
       Sheet("<row r=\"3\"><c r=\"B3\"><v>1</v></c><c><v>2</v></c></row>"),
       {{{2, 2}, "5"}},
       Sheet("<row r=\"3\"><c r=\"B3\"><v>1</v></c><c t=\"n\"><v>5</v></c></row>")},
      {"every copy of a duplicated place carries the edit, each its own style",
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c><c r=\"A1\" s=\"2\"><v>2</v></c></row>"
             "<row r=\"1\"><c r=\"A1\" s=\"3\"/></row>"),
       {{{0, 0}, "9"}},
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"n\"><v>9</v></c><c r=\"A1\" s=\"2\" t=\"n\">"
             "<v>9</v></c></row><row r=\"1\"><c r=\"A1\" s=\"3\" t=\"n\"><v>9</v></c></row>")},
      {"new rows and cells in ascending order, numbers compared as numbers",
       Sheet("<row r=\"2\"><c r=\"B2\"/><c r=\"E2\"/></row><row r=\"10\"/>"),
       {{{0, 0}, "1"}, {{1, 26}, "2"}, {{1, 2}, "3"}, {{4, 0}, "4"}, {{9, 1}, "5"}, {{11, 0}, "6"}},
       Sheet("<row r=\"1\"><c r=\"A1\" t=\"n\"><v>1</v></c></row><row r=\"2\"><c r=\"B2\"/>"
             "<c r=\"C2\" t=\"n\"><v>3</v></c><c r=\"E2\"/><c r=\"AA2\" t=\"n\"><v>2</v></c></row>"
             "<row r=\"5\"><c r=\"A5\" t=\"n\"><v>4</v></c></row><row r=\"10\"><c r=\"B10\" "
             "t=\"n\"><v>5</v></c></row><row r=\"12\"><c r=\"A12\" t=\"n\"><v>6</v></c></row>")},
      {"a row's extension list stays after its cells",
       Sheet("<row r=\"1\"><c r=\"A1\"/><extLst><ext/></extLst></row>"),
       {{{0, 3}, "1"}},
       Sheet("<row r=\"1\"><c r=\"A1\"/><c r=\"D1\" t=\"n\"><v>1</v></c><extLst><ext/></extLst>"
             "</row>")},
      {"prefixed elements: new ones take their parent's prefix",
       "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"2\"><x:c r=\"B2\"><x:f>1+4</x:f>"
       "<x:v>5</x:v></x:c></x:row></x:sheetData></x:worksheet>",
       {{{0, 0}, "top"}, {{1, 0}, "8"}, {{1, 1}, ""}},
       "<x:worksheet xmlns:x=\"m\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\">"
       "<x:is><x:t>top</x:t></x:is></x:c></x:row><x:row r=\"2\"><x:c r=\"A2\" t=\"n\"><x:v>8"
       "</x:v></x:c><x:c r=\"B2\" t=\"n\"></x:c></x:row></x:sheetData></x:worksheet>"},
  });
}

TEST(SheetSplice, TheEditedElementIsRewrittenInPlaceAndNothingElseChanges) {
  const std::string Prolog =
      "\xEF\xBB\xBF<?xml version=\"1.0\" standalone=\"yes\"?>\n<!-- kept -->\n";
  ExpectSplices({
      {"other attributes, the extension list and every byte around the cell stay",
       Prolog +
           "<worksheet xmlns=\"m\">\n <sheetData>\n  <row r=\"1\">\n   <c r=\"A1\" "
           "s='4' cm=\"1\" vm=\"2\" t=\"s\"> <f>1+1</f> <v>2</v> <extLst><ext/></extLst> </c>\n"
           "   <c r=\"B1\" t=\"inlineStr\"><is><t>x&#13;\r\ny</t></is></c><?pi kept?>\n"
           "  </row>\n </sheetData>\n<![CDATA[]]></worksheet>\n<!-- after -->\n",
       {{{0, 0}, "1,5"}},
       Prolog + "<worksheet xmlns=\"m\">\n <sheetData>\n  <row r=\"1\">\n   <c r=\"A1\" "
                "s='4' t=\"inlineStr\"><is><t>1,5</t></is><extLst><ext/></extLst></c>\n"
                "   <c r=\"B1\" t=\"inlineStr\"><is><t>x&#13;\r\ny</t></is></c><?pi kept?>\n"
                "  </row>\n </sheetData>\n<![CDATA[]]></worksheet>\n<!-- after -->\n"},
      {"blank text: an empty number cell keeping its style",
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"3\"><v>2</v></c></row>"),
       {{{0, 0}, "  "}},
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"3\" t=\"n\"></c></row>")},
      {"numbers in their shortest form; what is not an invariant number is text",
       Sheet("<row r=\"1\"/>"),
       {{{0, 0}, "12.50"}, {{0, 1}, "1e3"}, {{0, 2}, "NaN"}, {{0, 3}, "2024-01-01"}},
       Sheet("<row r=\"1\"><c r=\"A1\" t=\"n\"><v>12.5</v></c><c r=\"B1\" t=\"n\"><v>1000</v></c>"
             "<c r=\"C1\" t=\"inlineStr\"><is><t>NaN</t></is></c><c r=\"D1\" t=\"inlineStr\"><is>"
             "<t>2024-01-01</t></is></c></row>")},
      {"no edits: the part's bytes as they were",
       Prolog + Sheet("<row/>") + " ",
       {},
       Prolog + Sheet("<row/>") + " "},
  });
}

TEST(SheetSplice, NewTextReadsBackAsTypedAndKeepsThePartWellFormed) {
  const struct {
    std::string Value, Written;
  } Cases[] = {
      {"a < b & c > d", "<t>a &lt; b &amp; c &gt; d</t>"},
      {" lead", "<t xml:space=\"preserve\"> lead</t>"},
      {"two\nlines\r\n", "<t xml:space=\"preserve\">two\nlines&#13;\n</t>"},
      {std::string("bell\x07 nul", 9) + std::string(1, '\0'), "<t>bell_x0007_ nul_x0000_</t>"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", "<t>_xFFFE__xFFFF_</t>"},
      {"\xED\xA0\x80 lone", "<t>_xD800_ lone</t>"},
      {"bad \xC3", "<t>bad \xEF\xBF\xBD</t>"},
      {"First_x0020_Name", "<t>First_x005F_x0020_Name</t>"},
      {"_x005F_ and _x12_ and _X0020_", "<t>_x005F_x005F_ and _x12_ and _X0020_</t>"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "<t>caf\xC3\xA9 \xF0\x9F\x98\x80</t>"},
  };
  for (const auto& C : Cases) {
    const std::string Out = Splice(Sheet("<row r=\"1\"/>"), {{{0, 0}, C.Value}});
    EXPECT_NE(Out.find(C.Written), std::string::npos) << C.Value << "\n" << Out;
  }
  // A part declared in another encoding gets only ASCII, so the declaration stays true.
  const std::string Latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
  EXPECT_EQ(Splice(Latin + Sheet("<row r=\"1\"/>"), {{{0, 0}, "caf\xC3\xA9 \xF0\x9F\x98\x80"}}),
            Latin + Sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>caf&#233; &#128512;"
                          "</t></is></c></row>"));
}

TCellEdit Cached(TTypedKind Kind, const std::string& Value) {
  TCellEdit E;
  E.Value.Kind = Kind;
  E.Value.Value = E.Value.Loaded = Value;
  E.FormulaEdit = TFormulaEdit::Keep;
  return E;
}

TCellEdit NewFormula(const std::string& Formula, TCellEdit E = {}) {
  E.FormulaEdit = TFormulaEdit::Set;
  E.Formula = Formula;
  return E;
}

TEST(SheetSplice, FormulasGoWithTheEditedCellAndItsArrayRange) {
  ExpectSplices({
      {"a cached value: f stays byte for byte (shared, cm too), v and t change, vm goes",
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"2\" cm=\"1\" vm=\"1\" t=\"str\"><f t=\"shared\" "
             "ref=\"A1:A2\" si=\"0\"> B1 &amp; 1 </f><v>x</v></c><c r=\"B1\"><f t=\"shared\" "
             "si=\"0\"/><v>1</v></c><c r=\"C1\"><f>1/0</f><v>1</v></c><c r=\"D1\"><f>\"a\"</f>"
             "</c></row>"),
       {{{0, 0}, Cached(TTypedKind::Number, "12.5")},
        {{0, 1}, Cached(TTypedKind::Boolean, "1")},
        {{0, 2}, Cached(TTypedKind::Error, "#DIV/0!")},
        {{0, 3}, Cached(TTypedKind::FormulaText, " a<b ")}},
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"2\" cm=\"1\" t=\"n\"><f t=\"shared\" ref=\"A1:A2\" "
             "si=\"0\"> B1 &amp; 1 </f><v>12.5</v></c><c r=\"B1\" t=\"b\"><f t=\"shared\" "
             "si=\"0\"/><v>1</v></c><c r=\"C1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"D1\" "
             "t=\"str\"><f>\"a\"</f><v xml:space=\"preserve\"> a&lt;b </v></c></row>")},
      {"a new value of a shared group's cell whose first cell was replaced: the moved formula",
       Sheet("<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A2\" si=\"0\">B1*2</f><v>2</v>"
             "</c></row><row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>4</v></c></row>"),
       {{{0, 0}, "x"}, {{1, 0}, Cached(TTypedKind::Number, "6")}},
       Sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>x</t></is></c></row><row r=\"2\">"
             "<c r=\"A2\" t=\"n\"><f>B2*2</f><v>6</v></c></row>")},
      {"a new formula replaces a constant or a formula, and makes a new cell",
       Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><f>A1</f><v>3</v></c>"
             "</row>"),
       {{{0, 0}, NewFormula("B1*2", Cached(TTypedKind::Number, "6"))},
        {{0, 1}, NewFormula("\"<\"&C1")},
        {{1, 0}, NewFormula("A1")}},
       Sheet("<row r=\"1\"><c r=\"A1\" t=\"n\"><f>B1*2</f><v>6</v></c><c r=\"B1\" t=\"n\"><f>"
             "\"&lt;\"&amp;C1</f></c></row><row r=\"2\"><c r=\"A2\" t=\"n\"><f>A1</f></c></row>")},
      {"the first cell of a shared group: the others get the formula moved to them",
       Sheet("<row r=\"1\"><c r=\"B1\"><f t=\"shared\" ref=\"B1:C2\" si=\"4\">A1+1</f><v>1</v>"
             "</c><c r=\"C1\"><f t=\"shared\" si=\"4\" ca=\"1\"/><v>2</v></c></row><row r=\"2\">"
             "<c r=\"B2\"><f t=\"shared\" si=\"4\"></f><v>3</v></c><c r=\"C2\"><f t=\"shared\" "
             "si=\"5\"/></c></row>"),
       {{{0, 1}, "x"}},
       Sheet("<row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>x</t></is></c><c r=\"C1\"><f "
             "ca=\"1\">B1+1</f><v>2</v></c></row><row r=\"2\"><c r=\"B2\"><f>A2+1</f><v>3</v>"
             "</c><c r=\"C2\"><f t=\"shared\" si=\"5\"/></c></row>")},
      {"a cell inside an array range: the anchor loses the formula, values stay",
       Sheet("<row r=\"1\"><c r=\"B1\"><f t=\"array\" ref=\"B1:B3\">A1:A3*2</f><v>2</v></c>"
             "</row><row r=\"2\"><c r=\"B2\"><v>4</v></c></row><row r=\"3\"><c r=\"B3\"><v>6</v>"
             "</c></row>"),
       {{{1, 1}, "5"}},
       Sheet("<row r=\"1\"><c r=\"B1\"><v>2</v></c></row><row r=\"2\"><c r=\"B2\" t=\"n\"><v>5"
             "</v></c></row><row r=\"3\"><c r=\"B3\"><v>6</v></c></row>")},
      {"a spill range: the anchor's formula and cell metadata go",
       Sheet("<row r=\"1\"><c r=\"A1\" cm=\"1\" s=\"2\"><f t=\"array\" ref=\"A1:A2\" aca=\"0\">"
             "SEQUENCE(2)</f><v>1</v></c><c r=\"B1\" cm=\"1\"><f t=\"array\" ref=\"B1:B2\">"
             "SEQUENCE(2)</f><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"),
       {{{1, 0}, ""}},
       Sheet("<row r=\"1\"><c r=\"A1\" s=\"2\"><v>1</v></c><c r=\"B1\" cm=\"1\"><f t=\"array\" "
             "ref=\"B1:B2\">SEQUENCE(2)</f><v>1</v></c></row><row r=\"2\"><c r=\"A2\" t=\"n\">"
             "</c></row>")},
  });
  bool Removed = true;
  Splice(Sheet("<row r=\"1\"><c r=\"A1\"><f>1</f></c></row>"), {{{0, 1}, "x"}}, &Removed);
  EXPECT_FALSE(Removed);
  Splice(Sheet("<row r=\"1\"><c r=\"A1\"><f>1</f></c></row>"), {{{0, 0}, "x"}}, &Removed);
  EXPECT_TRUE(Removed);
}

TEST(SheetSplice, DimensionSpansAndMissingSheetDataFollowTheNewCells) {
  ExpectSplices({
      {"dimension and a row's spans widen to new cells; inside them nothing changes",
       "<worksheet><dimension ref=\"B2:C3\"/><sheetData><row r=\"2\" spans=\"2:3\"><c r=\"B2\"/>"
       "</row></sheetData></worksheet>",
       {{{1, 0}, "1"}, {{1, 2}, "2"}, {{5, 1}, "3"}},
       "<worksheet><dimension ref=\"A2:C6\"/><sheetData><row r=\"2\" spans=\"1:3\"><c r=\"A2\" "
       "t=\"n\"><v>1</v></c><c r=\"B2\"/><c r=\"C2\" t=\"n\"><v>2</v></c></row><row r=\"6\"><c "
       "r=\"B6\" t=\"n\"><v>3</v></c></row></sheetData></worksheet>"},
      {"a single-cell dimension inside the edits stays",
       "<worksheet><dimension ref=\"A1\"/><sheetData/></worksheet>",
       {{{0, 0}, "1"}},
       "<worksheet><dimension ref=\"A1\"/><sheetData><row r=\"1\"><c r=\"A1\" t=\"n\"><v>1</v>"
       "</c></row></sheetData></worksheet>"},
      {"missing sheetData goes after the elements the schema puts before it",
       "<worksheet><sheetPr/><cols><col min=\"1\"/></cols><pageMargins left=\"1\"/></worksheet>",
       {{{0, 0}, "1"}},
       "<worksheet><sheetPr/><cols><col min=\"1\"/></cols><sheetData><row r=\"1\"><c r=\"A1\" "
       "t=\"n\"><v>1</v></c></row></sheetData><pageMargins left=\"1\"/></worksheet>"},
      {"one out of schema order is still the one edited",
       "<worksheet><pageMargins/><sheetData/></worksheet>",
       {{{0, 0}, "1"}},
       "<worksheet><pageMargins/><sheetData><row r=\"1\"><c r=\"A1\" t=\"n\"><v>1</v></c></row>"
       "</sheetData></worksheet>"},
      {"at the end of a worksheet that holds nothing else",
       "<worksheet/>",
       {{{0, 0}, "1"}},
       "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"n\"><v>1</v></c></row></sheetData>"
       "</worksheet>"},
      {"a chart sheet holds no cells: its bytes stay",
       "<chartsheet><sheetPr/><drawing/></chartsheet>",
       {{{0, 0}, "1"}},
       "<chartsheet><sheetPr/><drawing/></chartsheet>"},
  });
}

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

}  // namespace kv
