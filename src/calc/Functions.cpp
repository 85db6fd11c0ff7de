// The function registry and what the families share: criteria, wildcards,
// serial dates.
#include <cmath>
#include <unordered_map>

#include "base/Text.h"
#include "calc/CalcCode.h"
#include "numfmt/NumberFormat.h"

namespace kv::calc {

namespace {

struct TRegistry {
  std::vector<const TFunctionDef*> ById;
  std::unordered_map<std::string, int> ByName;
  TRegistry() {
    for (const TFunctionDef* Table :
         {kMathFunctions, kStatFunctions, kLogicFunctions, kLookupFunctions, kTextFunctions,
          kDateFunctions, kFinanceFunctions})
      for (const TFunctionDef* D = Table; D->Name; ++D) {
        ByName.emplace(D->Name, int(ById.size()));
        ById.push_back(D);
      }
  }
};

const TRegistry& Registry() {
  static const TRegistry R;
  return R;
}

}  // namespace

int FindFunction(std::string_view Name) {
  const TRegistry& R = Registry();
  auto It = R.ByName.find(AsciiUpper(Name));
  return It == R.ByName.end() ? -1 : It->second;
}

const TFunctionDef& FunctionById(int Id) {
  return *Registry().ById[size_t(Id)];
}

bool WildcardMatch(std::string_view Pattern, std::string_view Text) {
  // Iterative, with one backtracking point per '*': linear memory, no recursion.
  size_t P = 0, T = 0, StarP = std::string_view::npos, StarT = 0;
  while (T < Text.size()) {
    if (P < Pattern.size() && Pattern[P] == '*') {
      if (Pattern.find_first_not_of('*', P) == std::string_view::npos) return true;
      StarP = ++P;
      StarT = T;
      continue;
    }
    if (P < Pattern.size()) {
      char Pc = Pattern[P];
      size_t Step = 1;
      if (Pc == '~' && P + 1 < Pattern.size() &&
          (Pattern[P + 1] == '*' || Pattern[P + 1] == '?' || Pattern[P + 1] == '~')) {
        Pc = Pattern[P + 1];
        Step = 2;
      } else if (Pc == '?') {
        // one character: a whole UTF-8 sequence
        size_t L = 1;
        while (T + L < Text.size() && (uint8_t(Text[T + L]) & 0xC0) == 0x80) ++L;
        P += 1;
        T += L;
        continue;
      }
      if (AsciiLowerChar(Pc) == AsciiLowerChar(Text[T])) {
        P += Step;
        ++T;
        continue;
      }
    }
    if (StarP == std::string_view::npos) return false;
    P = StarP;
    T = ++StarT;
  }
  while (P < Pattern.size() && Pattern[P] == '*') ++P;
  return P == Pattern.size();
}

TCriterion::TCriterion(const TCalcValue& Crit) {
  if (!Crit.IsText()) {
    FValue = Crit.IsEmpty() ? TCalcValue::Num(0) : Crit;
    return;
  }
  std::string_view S = Crit.Text;
  static const std::pair<const char*, int> Ops[] = {{"<>", 1}, {"<=", 3}, {">=", 5},
                                                    {"<", 2},  {">", 4},  {"=", 0}};
  for (auto& [Text, Op] : Ops)
    if (S.substr(0, std::strlen(Text)) == Text) {
      FOp = Op;
      S.remove_prefix(std::strlen(Text));
      break;
    }
  double N;
  if (S.empty()) {
    FBlank = true;
    FValue = TCalcValue::Str("");
  } else if (ParseNumberLike(S, N)) {
    FValue = TCalcValue::Num(N);
  } else if (SameTextAscii(S, "TRUE") || SameTextAscii(S, "FALSE")) {
    FValue = TCalcValue::Bool(SameTextAscii(S, "TRUE"));
  } else if (TCalcError E = ErrorCodeFromText(S); E != TCalcError::None) {
    FValue = TCalcValue::Err(E);
  } else {
    FValue = TCalcValue::Str(std::string(S));
    FWildcard = (FOp == 0 || FOp == 1) && S.find_first_of("*?~") != std::string_view::npos;
  }
}

bool TCriterion::Matches(const TCalcValue& V) const {
  if (FBlank) {
    // "=" matches empty cells (and empty texts), "<>" every non-empty cell.
    bool Empty = V.IsEmpty() || (V.IsText() && V.Text.empty());
    return FOp == 1 ? !V.IsEmpty() : FOp == 0 ? Empty : false;
  }
  if (FValue.IsError()) {
    bool Eq = V.IsError() && V.Error == FValue.Error;
    return FOp == 1 ? !Eq : FOp == 0 ? Eq : false;
  }
  if (V.IsError()) return FOp == 1;
  bool Eq;
  if (FValue.IsText()) {
    if (!V.IsText()) {
      if (FOp == 1) return true;
      if (FOp != 0) return false;
      return false;
    }
    if (FWildcard)
      Eq = WildcardMatch(FValue.Text, V.Text);
    else if (FOp == 0 || FOp == 1)
      Eq = SameTextAscii(FValue.Text, V.Text);
    else {
      int C = CompareValues(V, FValue);
      return FOp == 2 ? C < 0 : FOp == 3 ? C <= 0 : FOp == 4 ? C > 0 : C >= 0;
    }
    return FOp == 1 ? !Eq : Eq;
  }
  // A number or boolean criterion: compares with cells of the same type;
  // texts that read as numbers count as the number for "=".
  TCalcValue X = V;
  if (FValue.IsNumber() && V.IsText()) {
    double N;
    if (FOp == 0 && ParseNumberLike(V.Text, N))
      X = TCalcValue::Num(N);
    else
      return FOp == 1;
  }
  if (X.IsEmpty()) return FOp == 1;
  if (X.Type != FValue.Type) return FOp == 1;
  int C = CompareValues(X, FValue);
  switch (FOp) {
    case 0:
      return C == 0;
    case 1:
      return C != 0;
    case 2:
      return C < 0;
    case 3:
      return C <= 0;
    case 4:
      return C > 0;
    default:
      return C >= 0;
  }
}

// Serial 0 of the 1900 system is 1899-12-31 and 60 the 1900-02-29 that never
// was; from 61 on serials count days from 1899-12-30. The 1904 system counts
// from 1904-01-01.
namespace {
constexpr int64_t kDays1899_12_30 = -25569;  // days from 1970-01-01
constexpr int64_t kDays1904_01_01 = -24107;
}  // namespace

bool SerialToDate(double Serial, bool Date1904, int& Y, int& M, int& D) {
  if (!std::isfinite(Serial) || Serial < 0 || Serial >= 2958466) return false;
  int64_t S = int64_t(std::floor(Serial));
  int64_t Days;
  if (Date1904) {
    Days = kDays1904_01_01 + S;
  } else {
    if (S == 60) {
      Y = 1900, M = 2, D = 29;
      return true;
    }
    if (S == 0) {
      Y = 1900, M = 1, D = 0;
      return true;
    }
    Days = kDays1899_12_30 + S + (S < 60 ? 1 : 0);
  }
  int64_t Yy;
  unsigned Mm, Dd;
  CivilFromDays(Days, Yy, Mm, Dd);
  Y = int(Yy), M = int(Mm), D = int(Dd);
  return true;
}

double DateToSerial(int64_t Y, int64_t M, int64_t D, bool Date1904) {
  // Months and days beyond their ranges roll over, as DATE does.
  Y += (M - 1) >= 0 ? (M - 1) / 12 : -((12 - M) / 12);
  M = ((M - 1) % 12 + 12) % 12 + 1;
  int64_t Month = DaysFromCivil(Y, unsigned(M), 1);
  if (Date1904) return double(Month + D - 1 - kDays1904_01_01);
  // Counted in a calendar where 1900 is a leap year: months from March 1900
  // on start one serial later.
  int64_t S = Month - (kDays1899_12_30 + 1) + D - 1;
  if (Y > 1900 || (Y == 1900 && M >= 3)) ++S;
  return double(S);
}

}  // namespace kv::calc
