// Reading an .xlsx package's cells for the engine (see PackageCells.h).
#include "calc/PackageCells.h"

#include <algorithm>

#include <pugixml.hpp>

#include "base/Error.h"
#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "zip/ZipReader.h"

namespace kv {

namespace {

uint64_t CellKey(int32_t Row, int32_t Col) {
  return (uint64_t(uint32_t(Row)) << 16) | uint32_t(Col);
}

std::string_view LocalName(const char* Name) {
  std::string_view N = Name;
  size_t Colon = N.find(':');
  return Colon == std::string_view::npos ? N : N.substr(Colon + 1);
}
pugi::xml_node Child(pugi::xml_node P, std::string_view Name) {
  for (pugi::xml_node C = P.first_child(); C; C = C.next_sibling())
    if (C.type() == pugi::node_element && LocalName(C.name()) == Name) return C;
  return {};
}
const char* Attr(pugi::xml_node N, std::string_view Name) {
  for (pugi::xml_attribute A = N.first_attribute(); A; A = A.next_attribute())
    if (LocalName(A.name()) == Name) return A.value();
  return "";
}
// All text below a node (rich text runs joined; phonetic runs left out).
std::string InlineText(pugi::xml_node N) {
  std::string S;
  for (pugi::xml_node C = N.first_child(); C; C = C.next_sibling()) {
    if (C.type() != pugi::node_element) continue;
    std::string_view L = LocalName(C.name());
    if (L == "t")
      S += C.text().get();
    else if (L == "r")
      S += Child(C, "t").text().get();
  }
  return S;
}

std::string Entry(const TZipReader& Zip, std::string_view Name) {
  for (size_t I = 0; I < Zip.EntryCount(); ++I)
    if (SameTextAscii(Zip.Entry(I).Name, Name)) return Zip.ReadEntry(I);
  return {};
}

std::string PartPath(std::string Target) {
  if (!Target.empty() && Target[0] == '/') return Target.substr(1);
  return "xl/" + Target;
}

}  // namespace

TPackageCells::TPackageCells(std::string Bytes) {
  TZipReader Zip(std::move(Bytes));
  pugi::xml_document Book, Rels, Strings;
  std::string BookXml = Entry(Zip, "xl/workbook.xml");
  if (BookXml.empty())
    throw TKvError("This does not look like a valid .xlsx workbook (xl/workbook.xml missing).");
  if (!Book.load_buffer(BookXml.data(), BookXml.size()))
    throw TKvError("Could not parse xl/workbook.xml.");
  std::string RelsXml = Entry(Zip, "xl/_rels/workbook.xml.rels");
  Rels.load_buffer(RelsXml.data(), RelsXml.size());
  std::string StringsXml = Entry(Zip, "xl/sharedStrings.xml");
  Strings.load_buffer(StringsXml.data(), StringsXml.size());
  std::vector<std::string> Shared;
  for (pugi::xml_node Si = Child(Child(Strings, "sst"), "si"); Si; Si = Si.next_sibling())
    if (LocalName(Si.name()) == "si") Shared.push_back(InlineText(Si));

  pugi::xml_node Wb = Child(Book, "workbook");
  std::string D1904 = Attr(Child(Wb, "workbookPr"), "date1904");
  FDate1904 = D1904 == "1" || D1904 == "true";
  std::map<std::string, std::string> Targets;
  for (pugi::xml_node R = Child(Child(Rels, "Relationships"), "Relationship"); R;
       R = R.next_sibling())
    Targets[Attr(R, "Id")] = Attr(R, "Target");
  for (pugi::xml_node S = Child(Child(Wb, "sheets"), "sheet"); S; S = S.next_sibling()) {
    if (LocalName(S.name()) != "sheet") continue;
    TSheet Sheet;
    Sheet.Name = Attr(S, "name");
    auto It = Targets.find(Attr(S, "id"));
    if (It != Targets.end()) ReadSheet(Sheet, Entry(Zip, PartPath(It->second)), Shared);
    FSheets.push_back(std::move(Sheet));
  }
  for (pugi::xml_node N = Child(Child(Wb, "definedNames"), "definedName"); N;
       N = N.next_sibling()) {
    std::string Scope = Attr(N, "localSheetId");
    int Sheet = Scope.empty() ? -1 : ParseInt32Or(Scope, -1);
    FNames.emplace(AsciiUpper(Attr(N, "name")), std::make_pair(Sheet, std::string(N.text().get())));
  }
}

void TPackageCells::ReadSheet(TSheet& S, const std::string& Xml,
                              const std::vector<std::string>& Strings) {
  pugi::xml_document Doc;
  if (Xml.empty() || !Doc.load_buffer(Xml.data(), Xml.size())) return;
  std::map<std::string, size_t> Groups;  // shared index -> position in S.Formulas
  pugi::xml_node Data = Child(Child(Doc, "worksheet"), "sheetData");
  for (pugi::xml_node Row = Data.first_child(); Row; Row = Row.next_sibling()) {
    for (pugi::xml_node C = Row.first_child(); C; C = C.next_sibling()) {
      if (LocalName(C.name()) != "c") continue;
      int32_t Col, R;
      if (!ParseCellRef(Attr(C, "r"), Col, R)) continue;
      std::string T = Attr(C, "t");
      pugi::xml_node V = Child(C, "v");
      TCalcValue Val;
      if (T == "inlineStr")
        Val = TCalcValue::Str(InlineText(Child(C, "is")));
      else if (V) {
        std::string Text = V.text().get();
        double N;
        if (T == "s") {
          size_t I = size_t(ParseInt32Or(Text, -1));
          Val = TCalcValue::Str(I < Strings.size() ? Strings[I] : "");
        } else if (T == "str")
          Val = TCalcValue::Str(Text);
        else if (T == "b")
          Val = TCalcValue::Bool(Text == "1" || Text == "true");
        else if (T == "e")
          Val = TCalcValue::Err(ErrorCodeFromText(Text));
        else if (TryParseNumberText(Text, N))
          Val = TCalcValue::Num(N);
        else
          Val = TCalcValue::Str(Text);
      }
      if (!Val.IsEmpty()) S.Values[CellKey(R, Col)] = Val;
      pugi::xml_node F = Child(C, "f");
      if (F) {
        std::string Ft = Attr(F, "t");
        TFormulaCell Fc{R, Col, R, Col, -1, false, Ft == "array"};
        std::string Text = F.text().get();
        if (Ft == "shared") {
          std::string Si = Attr(F, "si");
          auto G = Groups.find(Si);
          if (G != Groups.end() && Text.empty()) {
            const TFormulaCell& A = S.Formulas[G->second];
            Fc.AnchorRow = A.AnchorRow, Fc.AnchorCol = A.AnchorCol, Fc.Text = A.Text;
          } else {
            FTexts.push_back(Text);
            Fc.Text = int(FTexts.size() - 1);
            Groups[Si] = S.Formulas.size();
          }
          Fc.Shared = true;
        } else {
          FTexts.push_back(Text);
          Fc.Text = int(FTexts.size() - 1);
        }
        S.Formulas.push_back(Fc);
      }
      if (!Val.IsEmpty() || F) {
        S.Rows = std::max(S.Rows, R + 1);
        S.Cols = std::max(S.Cols, Col + 1);
      }
    }
  }
}

int TPackageCells::FindSheet(std::string_view Name) const {
  for (size_t I = 0; I < FSheets.size(); ++I)
    if (SameTextAscii(FSheets[I].Name, Name)) return int(I);
  return -1;
}

TCalcValue TPackageCells::CellValue(int Sheet, int32_t Row, int32_t Col) const {
  if (Sheet < 0 || size_t(Sheet) >= FSheets.size()) return {};
  const auto& V = FSheets[size_t(Sheet)].Values;
  auto It = V.find(CellKey(Row, Col));
  return It == V.end() ? TCalcValue() : It->second;
}

void TPackageCells::UsedBounds(int Sheet, int32_t& Rows, int32_t& Cols) const {
  Rows = Cols = 0;
  if (Sheet < 0 || size_t(Sheet) >= FSheets.size()) return;
  Rows = FSheets[size_t(Sheet)].Rows;
  Cols = FSheets[size_t(Sheet)].Cols;
}

void TPackageCells::ListFormulas(int Sheet, std::vector<TFormulaCellInfo>& Out) const {
  if (Sheet < 0 || size_t(Sheet) >= FSheets.size()) return;
  for (const TFormulaCell& F : FSheets[size_t(Sheet)].Formulas) {
    TFormulaCellInfo I;
    I.Row = F.Row, I.Col = F.Col, I.AnchorRow = F.AnchorRow, I.AnchorCol = F.AnchorCol;
    I.Shared = F.Shared, I.Array = F.Array;
    I.Text = FTexts[size_t(F.Text)];
    Out.push_back(I);
  }
}

bool TPackageCells::DefinedName(std::string_view Name, int Sheet, std::string& Formula) const {
  auto Range = FNames.equal_range(AsciiUpper(Name));
  const std::string* Global = nullptr;
  for (auto It = Range.first; It != Range.second; ++It) {
    if (It->second.first == Sheet) {
      Formula = It->second.second;
      return true;
    }
    if (It->second.first < 0) Global = &It->second.second;
  }
  if (!Global) return false;
  Formula = *Global;
  return true;
}

std::string TPackageCells::FormulaText(int Sheet, int32_t Row, int32_t Col) const {
  for (const TFormulaCell& F : FSheets[size_t(Sheet)].Formulas)
    if (F.Row == Row && F.Col == Col) return FTexts[size_t(F.Text)];
  return {};
}

void TPackageCells::SetValue(int Sheet, int32_t Row, int32_t Col, const TCalcValue& V) {
  TSheet& S = FSheets[size_t(Sheet)];
  auto& F = S.Formulas;
  F.erase(std::remove_if(F.begin(), F.end(),
                         [&](const TFormulaCell& X) { return X.Row == Row && X.Col == Col; }),
          F.end());
  if (V.IsEmpty())
    S.Values.erase(CellKey(Row, Col));
  else
    S.Values[CellKey(Row, Col)] = V;
  S.Rows = std::max(S.Rows, Row + 1);
  S.Cols = std::max(S.Cols, Col + 1);
}

}  // namespace kv
