// The function registry and what the families share: criteria, wildcards,
// serial dates.
#include <cmath>
#include <iterator>
#include <unordered_map>

#include "base/Text.h"
#include "calc/CalcCode.h"
#include "calc/FunctionEntries.h"
#include "numfmt/NumberFormat.h"

namespace kv::calc {

namespace {

// Every function the engine knows, by family. A function's id is its place
// here; ids live only in parsed code held in memory, never in a file.
const TFunctionDef kFunctions[] = {
    // Math: sums, rounding, one-number functions, powers, random numbers.
    {"SUM", fn::Sum, 1, 255},
    {"PRODUCT", fn::Product, 1, 255},
    {"SUMSQ", fn::SumSq, 1, 255},
    {"ROUND", fn::RoundFn<0>, 1, 2},
    {"ROUNDUP", fn::RoundFn<1>, 1, 2},
    {"ROUNDDOWN", fn::RoundFn<-1>, 1, 2},
    {"TRUNC", fn::RoundFn<-1>, 1, 2},
    {"INT", fn::Int, 1, 1},
    {"MOD", fn::Mod, 2, 2},
    {"QUOTIENT", fn::Quotient, 2, 2},
    {"ABS", fn::Abs, 1, 1},
    {"SQRT", fn::Sqrt, 1, 1},
    {"EXP", fn::Exp, 1, 1},
    {"LN", fn::Ln, 1, 1},
    {"LOG10", fn::Log10, 1, 1},
    {"SIGN", fn::Sign, 1, 1},
    {"EVEN", fn::Even, 1, 1},
    {"ODD", fn::Odd, 1, 1},
    {"FACT", fn::Fact, 1, 1},
    {"LOG", fn::Log, 1, 2},
    {"POWER", fn::Power, 2, 2},
    {"PI", fn::Pi, 0, 0},
    {"CEILING", fn::Ceiling, 1, 2},
    {"FLOOR", fn::Floor, 1, 2},
    {"CEILING.MATH", fn::MathRound<true>, 1, 3},
    {"FLOOR.MATH", fn::MathRound<false>, 1, 3},
    {"MROUND", fn::MRound, 2, 2},
    {"RAND", fn::Rand, 0, 0, kVolatile},
    {"RANDBETWEEN", fn::RandBetween, 2, 2, kVolatile},
    {"SUMPRODUCT", fn::SumProduct, 1, 255, kRefArgs},
    // Statistics: averages, counts, spread, ranks and the conditional aggregates.
    {"AVERAGE", fn::Average, 1, 255},
    {"AVERAGEA", fn::AverageA, 1, 255},
    {"COUNT", fn::Count, 1, 255},
    {"COUNTA", fn::CountA, 1, 255},
    {"COUNTBLANK", fn::CountBlank, 1, 1},
    {"MAX", fn::MaxMin<true>, 1, 255},
    {"MIN", fn::MaxMin<false>, 1, 255},
    {"MEDIAN", fn::Median, 1, 255},
    {"MODE", fn::Mode, 1, 255},
    {"MODE.SNGL", fn::Mode, 1, 255},
    {"STDEV", fn::Variance<true, true>, 1, 255},
    {"STDEV.S", fn::Variance<true, true>, 1, 255},
    {"STDEVP", fn::Variance<false, true>, 1, 255},
    {"STDEV.P", fn::Variance<false, true>, 1, 255},
    {"VAR", fn::Variance<true, false>, 1, 255},
    {"VAR.S", fn::Variance<true, false>, 1, 255},
    {"VARP", fn::Variance<false, false>, 1, 255},
    {"VAR.P", fn::Variance<false, false>, 1, 255},
    {"LARGE", fn::KthValue<true>, 2, 2},
    {"SMALL", fn::KthValue<false>, 2, 2},
    {"RANK", fn::Rank<false>, 2, 3},
    {"RANK.EQ", fn::Rank<false>, 2, 3},
    {"RANK.AVG", fn::Rank<true>, 2, 3},
    {"PERCENTILE", fn::Percentile<false>, 2, 2},
    {"PERCENTILE.INC", fn::Percentile<false>, 2, 2},
    {"QUARTILE", fn::Percentile<true>, 2, 2},
    {"QUARTILE.INC", fn::Percentile<true>, 2, 2},
    {"COUNTIF", fn::CountIf, 2, 2},
    {"COUNTIFS", fn::CountIfs, 2, 254},
    {"SUMIF", fn::IfOne<0>, 2, 3},
    {"AVERAGEIF", fn::IfOne<1>, 2, 3},
    {"SUMIFS", fn::IfMany<0>, 3, 255},
    {"AVERAGEIFS", fn::IfMany<1>, 3, 255},
    {"MINIFS", fn::IfMany<2>, 3, 255},
    {"MAXIFS", fn::IfMany<3>, 3, 255},
    // Logic and information: conditions, choices and the IS tests.
    {"IF", fn::If, 1, 3},
    {"IFS", fn::Ifs, 2, 254},
    {"IFERROR", fn::IfError<false>, 2, 2},
    {"IFNA", fn::IfError<true>, 2, 2},
    {"AND", fn::Logical<0>, 1, 255},
    {"OR", fn::Logical<1>, 1, 255},
    {"XOR", fn::Logical<2>, 1, 255},
    {"NOT", fn::Not, 1, 1},
    {"TRUE", fn::True, 0, 0},
    {"FALSE", fn::False, 0, 0},
    {"SWITCH", fn::Switch, 3, 255},
    {"CHOOSE", fn::Choose, 2, 255},
    {"ISBLANK", fn::Is<0>, 1, 1},
    {"ISNUMBER", fn::Is<1>, 1, 1},
    {"ISTEXT", fn::Is<2>, 1, 1},
    {"ISERROR", fn::Is<3>, 1, 1},
    {"ISERR", fn::Is<4>, 1, 1},
    {"ISNA", fn::Is<5>, 1, 1},
    {"ISLOGICAL", fn::Is<6>, 1, 1},
    {"ISNONTEXT", fn::Is<7>, 1, 1},
    {"ISEVEN", fn::IsParity<0>, 1, 1},
    {"ISODD", fn::IsParity<1>, 1, 1},
    {"NA", fn::Na, 0, 0},
    {"ERROR.TYPE", fn::ErrorType, 1, 1},
    // Lookup and reference.
    {"VLOOKUP", fn::VLookup<true>, 3, 4},
    {"HLOOKUP", fn::VLookup<false>, 3, 4},
    {"MATCH", fn::Match, 2, 3},
    {"XMATCH", fn::XMatch, 2, 4},
    {"XLOOKUP", fn::XLookup, 3, 6},
    {"LOOKUP", fn::Lookup, 2, 3},
    {"INDEX", fn::Index, 1, 3},
    {"ROW", fn::RowCol<true>, 0, 1},
    {"COLUMN", fn::RowCol<false>, 0, 1},
    {"ROWS", fn::RowsCols<true>, 1, 1},
    {"COLUMNS", fn::RowsCols<false>, 1, 1},
    {"OFFSET", fn::Offset, 3, 5, kVolatile},
    {"INDIRECT", fn::Indirect, 1, 2, kVolatile},
    // Text.
    {"CONCATENATE", fn::Concatenate, 1, 255},
    {"CONCAT", fn::Concat, 1, 255},
    {"TEXTJOIN", fn::TextJoin, 3, 255},
    {"LEFT", fn::LeftRight<0>, 1, 2},
    {"RIGHT", fn::LeftRight<1>, 1, 2},
    {"MID", fn::Mid, 3, 3},
    {"LEN", fn::Len, 1, 1},
    {"FIND", fn::Find<false>, 2, 3},
    {"SEARCH", fn::Find<true>, 2, 3},
    {"SUBSTITUTE", fn::Substitute, 3, 4},
    {"REPLACE", fn::Replace, 4, 4},
    {"UPPER", fn::Case<0>, 1, 1},
    {"LOWER", fn::Case<1>, 1, 1},
    {"PROPER", fn::Case<2>, 1, 1},
    {"TRIM", fn::Case<3>, 1, 1},
    {"VALUE", fn::Value, 1, 1},
    {"CHAR", fn::Char, 1, 1},
    {"CODE", fn::Code, 1, 1},
    {"REPT", fn::Rept, 2, 2},
    {"EXACT", fn::Exact, 2, 2},
    {"T", fn::T, 1, 1},
    {"N", fn::NFn, 1, 1},
    {"TEXT", fn::Text, 2, 2},
    {"FIXED", fn::Fixed, 1, 3},
    {"DOLLAR", fn::Dollar, 1, 2},
    // Date and time: serials of the workbook's date system.
    {"DATE", fn::Date, 3, 3},
    {"TIME", fn::Time, 3, 3},
    {"YEAR", fn::DatePart<0>, 1, 1},
    {"MONTH", fn::DatePart<1>, 1, 1},
    {"DAY", fn::DatePart<2>, 1, 1},
    {"HOUR", fn::TimePart<0>, 1, 1},
    {"MINUTE", fn::TimePart<1>, 1, 1},
    {"SECOND", fn::TimePart<2>, 1, 1},
    {"WEEKDAY", fn::Weekday, 1, 2},
    {"WEEKNUM", fn::WeekNum, 1, 2},
    {"ISOWEEKNUM", fn::IsoWeekNum, 1, 1},
    {"TODAY", fn::Today, 0, 0, kVolatile},
    {"NOW", fn::Now, 0, 0, kVolatile},
    {"EDATE", fn::EDate<false>, 2, 2},
    {"EOMONTH", fn::EDate<true>, 2, 2},
    {"DATEDIF", fn::DateDif, 3, 3},
    {"DAYS", fn::Days, 2, 2},
    {"NETWORKDAYS", fn::NetworkDays, 2, 3},
    {"WORKDAY", fn::Workday, 2, 3},
    {"DATEVALUE", fn::DateValue, 1, 1},
    {"TIMEVALUE", fn::TimeValue, 1, 1},
    // Finance: annuities, present values and rates of return.
    {"PMT", fn::Pmt, 3, 5},
    {"PV", fn::Pv, 3, 5},
    {"FV", fn::Fv, 3, 5},
    {"NPER", fn::Nper, 3, 5},
    {"NPV", fn::Npv, 2, 255},
    {"IRR", fn::Irr, 1, 2},
};

struct TRegistry {
  std::unordered_map<std::string, int> ByName;
  TRegistry() {
    for (size_t Id = 0; Id < std::size(kFunctions); ++Id)
      ByName.emplace(kFunctions[Id].Name, int(Id));
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
  return kFunctions[size_t(Id)];
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
