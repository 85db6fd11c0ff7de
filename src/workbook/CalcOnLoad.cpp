#include "workbook/CalcOnLoad.h"

#include "base/Text.h"
#include "workbook/SheetWalk.h"
#include "workbook/TagEdit.h"

namespace kv {

namespace {

// Children of "workbook" that follow "calcPr".
bool FollowsCalcPr(std::string_view Local) {
  for (const char* N :
       {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
        "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"})
    if (SameTextAscii(Local, N)) return true;
  return false;
}

}  // namespace

std::string WithFullCalcOnLoad(std::string_view Part, const std::string& PartName) {
  std::string_view Bom;
  if (Part.substr(0, 3) == "\xEF\xBB\xBF") Bom = Part.substr(0, 3), Part.remove_prefix(3);
  TXmlMemorySource Source(Part);
  TXmlPullReader X(Source, PartName);
  using TEvent = TXmlPullReader::TEvent;
  std::string Prefix;
  for (;;) {
    const TEvent E = X.Next();
    if (E == TEvent::EndOfDocument) return std::string(Bom) + std::string(Part);
    if (E == TEvent::StartElement && X.Depth() == 1) {
      const std::string_view Name = X.Name();
      const size_t Colon = Name.find(':');
      if (Colon != std::string_view::npos) Prefix = std::string(Name.substr(0, Colon + 1));
      continue;
    }
    const bool Child = E == TEvent::StartElement && X.Depth() == 2;
    const size_t From = static_cast<size_t>(X.EventStart()), To = static_cast<size_t>(X.EventEnd());
    if (Child && SameTextAscii(X.LocalName(), "calcPr"))
      return std::string(Bom) + std::string(Part.substr(0, From)) +
             SetTagAttribute(Part.substr(From, To - From), "fullCalcOnLoad", "1") +
             std::string(Part.substr(To));
    if ((Child && FollowsCalcPr(X.LocalName())) || (E == TEvent::EndElement && X.Depth() == 1))
      return std::string(Bom) + std::string(Part.substr(0, From)) + "<" + Prefix +
             "calcPr fullCalcOnLoad=\"1\"/>" + std::string(Part.substr(From));
  }
}

bool SheetHasFormula(TXmlSource& Source, const std::string& PartName) {
  TXmlPullReader X(Source, PartName);
  TSheetWalker Walk;
  bool InCell = false;
  for (;;) {
    const TXmlPullReader::TEvent E = X.Next();
    if (E == TXmlPullReader::TEvent::EndOfDocument) return false;
    const TSheetWalker::TStep Step = Walk.Step(E, X);
    if (Step == TSheetWalker::TStep::CellStart) InCell = true;
    if (Step == TSheetWalker::TStep::CellEnd) InCell = false;
    if (InCell && E == TXmlPullReader::TEvent::StartElement && X.Depth() == 5 &&
        SameTextAscii(X.LocalName(), "f"))
      return true;
  }
}

}  // namespace kv
