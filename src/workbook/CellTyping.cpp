#include "workbook/CellTyping.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/Text.h"
#include "workbook/CellNotation.h"
#include "numfmt/NumberFormat.h"

namespace kv {

namespace {

// ---- date systems ------------------------------------------------------------

// Day 0 of each date system: EpochDays (numfmt/NumberFormat.h).

// The serial day of a civil date, or false when the date does not exist or
// lies outside the date system.
bool SerialDay(int64_t Y, int M, int D, bool Date1904, int64_t& Serial) {
  if (Y < 1 || Y > 9999 || M < 1 || M > 12 || D < 1 || D > 31) return false;
  if (!Date1904 && Y == 1900 && M == 2 && D == 29) {
    Serial = 60;  // the leap day the 1900 system counts
    return true;
  }
  const int64_t Days = DaysFromCivil(Y, static_cast<unsigned>(M), static_cast<unsigned>(D));
  int64_t Y2;
  unsigned M2, D2;
  CivilFromDays(Days, Y2, M2, D2);
  if (Y2 != Y || int(M2) != M || int(D2) != D) return false;  // 2024-02-30
  if (Date1904) {
    Serial = Days - EpochDays(true);
    return Serial >= 0;
  }
  if (Y < 1900) return false;
  Serial = Days - EpochDays(false);
  if (Serial < 61) --Serial;  // before the leap day that never was
  return true;
}

bool TimeFraction(int H, int Mi, double S, double& Fraction) {
  if (H < 0 || H > 23 || Mi < 0 || Mi > 59 || S < 0 || S >= 60) return false;
  Fraction = (H * 3600.0 + Mi * 60.0 + S) / 86400.0;
  return true;
}

// ---- reading typed text ------------------------------------------------------

struct TCursor {
  std::string_view S;
  size_t I = 0;

  void SkipSpaces() {
    while (I < S.size() && (S[I] == ' ' || S[I] == '\t')) ++I;
  }
  bool AtEnd() const { return I >= S.size(); }
  bool Take(char C) {
    if (I < S.size() && AsciiLowerChar(S[I]) == AsciiLowerChar(C)) return ++I, true;
    return false;
  }
  // 1 to Max digits.
  bool Digits(size_t Max, int& V, size_t* Count = nullptr) {
    size_t N = 0;
    V = 0;
    while (I < S.size() && N < Max && S[I] >= '0' && S[I] <= '9') V = V * 10 + (S[I++] - '0'), ++N;
    if (Count) *Count = N;
    return N > 0 && !(I < S.size() && S[I] >= '0' && S[I] <= '9');
  }
  // Seconds with an optional fraction.
  bool Seconds(double& V) {
    int Whole = 0;
    if (!Digits(2, Whole)) return false;
    V = Whole;
    if (I < S.size() && S[I] == '.') {
      double Scale = 0.1;
      for (++I; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I, Scale /= 10)
        V += (S[I] - '0') * Scale;
    }
    return true;
  }
  // The longest of Words (ASCII case ignored) at the cursor; its index or -1.
  int Word(const char* const* Words, int Count) {
    int Best = -1;
    size_t BestLen = 0;
    for (int K = 0; K < Count; ++K) {
      const std::string_view W = Words[K];
      if (W.size() > BestLen && S.size() - I >= W.size() && SameTextAscii(S.substr(I, W.size()), W))
        Best = K, BestLen = W.size();
    }
    I += BestLen;
    return Best;
  }
};

const char* const kMonths[] = {
    "january",   "february", "march",    "april",    "may", "june", "july", "august",
    "september", "october",  "november", "december", "jan", "feb",  "mar",  "apr",
    "may",       "jun",      "jul",      "aug",      "sep", "oct",  "nov",  "dec"};
const char* const kWeekdays[] = {"monday",   "tuesday", "wednesday", "thursday", "friday",
                                 "saturday", "sunday",  "mon",       "tue",      "wed",
                                 "thu",      "fri",     "sat",       "sun"};

// hh:mm[:ss[.fff]] at the cursor.
bool IsoTime(TCursor& C, double& Fraction) {
  int H = 0, Mi = 0;
  double Sec = 0;
  if (!C.Digits(2, H) || !C.Take(':') || !C.Digits(2, Mi)) return false;
  if (C.Take(':') && !C.Seconds(Sec)) return false;
  return TimeFraction(H, Mi, Sec, Fraction);
}

// 2024-02-01, 2024-02-01 14:30 (or with T), 14:30.
bool ParseIso(std::string_view Text, bool Date1904, double& Serial) {
  const std::string Held = Trim(Text);
  TCursor C{Held};
  int Y = 0, M = 0, D = 0;
  size_t YearDigits = 0;
  double Fraction = 0;
  const size_t Start = C.I;
  if (C.Digits(4, Y, &YearDigits) && YearDigits == 4 && C.Take('-')) {
    int64_t Day = 0;
    if (!C.Digits(2, M) || !C.Take('-') || !C.Digits(2, D) || !SerialDay(Y, M, D, Date1904, Day))
      return false;
    if (!C.AtEnd()) {
      if (!C.Take('T') && !C.Take(' ')) return false;
      C.SkipSpaces();
      if (!IsoTime(C, Fraction)) return false;
    }
    Serial = static_cast<double>(Day) + Fraction;
    return C.AtEnd();
  }
  C.I = Start;
  if (!IsoTime(C, Fraction) || !C.AtEnd()) return false;
  Serial = Fraction;
  return true;
}

// ---- the form a format shows -------------------------------------------------

struct TField {
  enum TKind { Literal, Year, Month, MonthName, Day, Weekday, Hour, Minute, Second, AmPm } Kind;
  std::string Text;  // of a literal, without blanks
  int Width = 0;     // letters in the code
};

// The fields of the format's first section, or false when it shows anything
// that is not a date or time (digits, text, eras).
bool DateFields(std::string_view Code, std::vector<TField>& Out) {
  for (size_t I = 0; I < Code.size(); ++I) {
    const char C = AsciiLowerChar(Code[I]);
    if (C == ';') break;
    if (C == '"') {
      const size_t Close = Code.find('"', I + 1);
      const size_t End = Close == std::string_view::npos ? Code.size() : Close;
      Out.push_back({TField::Literal, Trim(Code.substr(I + 1, End - I - 1))});
      I = End;
    } else if (C == '\\') {
      if (I + 1 < Code.size()) Out.push_back({TField::Literal, std::string(1, Code[++I])});
    } else if (C == '_' || C == '*') {
      ++I;
    } else if (C == '[') {
      const size_t Close = Code.find(']', I + 1);
      if (Close == std::string_view::npos) return false;
      const std::string Inner = AsciiLower(Code.substr(I + 1, Close - I - 1));
      if (!Inner.empty() && Inner.find_first_not_of(Inner[0]) == std::string::npos &&
          (Inner[0] == 'h' || Inner[0] == 'm' || Inner[0] == 's'))
        Out.push_back({Inner[0] == 'h'   ? TField::Hour
                       : Inner[0] == 'm' ? TField::Minute
                                         : TField::Second,
                       {},
                       int(Inner.size())});
      I = Close;
    } else if (SameTextAscii(Code.substr(I, 5), "am/pm") ||
               SameTextAscii(Code.substr(I, 3), "a/p")) {
      Out.push_back({TField::AmPm, {}, 0});
      I += SameTextAscii(Code.substr(I, 5), "am/pm") ? 4 : 2;
    } else if (C == 'y' || C == 'e' || C == 'm' || C == 'd' || C == 'h' || C == 's') {
      size_t N = 1;
      while (I + N < Code.size() && AsciiLowerChar(Code[I + N]) == C) ++N;
      const int W = int(N);
      I += N - 1;
      if (C == 'y' || C == 'e') Out.push_back({TField::Year, {}, W});
      if (C == 'm') Out.push_back({W >= 3 ? TField::MonthName : TField::Month, {}, W});
      if (C == 'd') Out.push_back({W >= 3 ? TField::Weekday : TField::Day, {}, W});
      if (C == 'h') Out.push_back({TField::Hour, {}, W});
      if (C == 's') Out.push_back({TField::Second, {}, W});
      if (C == 'm' && W >= 5) return false;  // a month's first letter alone
    } else if (C == '.' && !Out.empty() && Out.back().Kind == TField::Second) {
      while (I + 1 < Code.size() && Code[I + 1] == '0') ++I;  // fraction of the seconds
    } else if ((C >= '0' && C <= '9') || C == '#' || C == '?' || C == '@' || C == 'g' || C == 'b' ||
               C == '%') {
      return false;
    } else if (C != ' ') {
      Out.push_back({TField::Literal, std::string(1, Code[I])});
    }
  }
  // "m" right after hours or right before seconds counts minutes.
  int Prev = -1;
  for (size_t K = 0; K < Out.size(); ++K) {
    if (Out[K].Kind == TField::Literal) continue;
    if (Out[K].Kind == TField::Month) {
      size_t Next = K + 1;
      while (Next < Out.size() && Out[Next].Kind == TField::Literal) ++Next;
      if ((Prev >= 0 && Out[size_t(Prev)].Kind == TField::Hour) ||
          (Next < Out.size() && Out[Next].Kind == TField::Second))
        Out[K].Kind = TField::Minute;
    }
    Prev = int(K);
  }
  return true;
}

struct TParts {
  int Y = -1, M = -1, D = -1, H = -1, Mi = -1;
  double S = -1;
  int AmPm = -1;  // 0 AM, 1 PM
};

bool MatchField(TCursor& C, const TField& F, TParts& P) {
  C.SkipSpaces();
  switch (F.Kind) {
    case TField::Literal:
      for (char Ch : F.Text)
        if (Ch != ' ' && !C.Take(Ch)) return false;
      return true;
    case TField::Year: {
      size_t N = 0;
      if (!C.Digits(4, P.Y, &N) || (N != 2 && N != 4)) return false;
      if (N == 2) P.Y += P.Y < 30 ? 2000 : 1900;  // as spreadsheets read two digits
      return true;
    }
    case TField::Month:
      return C.Digits(2, P.M);
    case TField::MonthName: {
      const int K = C.Word(kMonths, 24);
      P.M = K % 12 + 1;
      return K >= 0;
    }
    case TField::Day:
      return C.Digits(2, P.D);
    case TField::Weekday:
      return C.Word(kWeekdays, 14) >= 0;
    case TField::Hour:
      return C.Digits(F.Width > 2 ? 4 : 2, P.H);
    case TField::Minute:
      return C.Digits(2, P.Mi);
    case TField::Second:
      return C.Seconds(P.S);
    case TField::AmPm:
      if (C.Take('a'))
        P.AmPm = 0;
      else if (C.Take('p'))
        P.AmPm = 1;
      else
        return false;
      C.Take('m');
      return true;
  }
  return false;
}

bool ParseInFormat(std::string_view Text, std::string_view Code, bool Date1904, double& Serial) {
  std::vector<TField> Fields;
  if (!DateFields(Code, Fields) || Fields.empty()) return false;
  const std::string Held = Trim(Text);
  TCursor C{Held};
  TParts P;
  for (const TField& F : Fields)
    if (!MatchField(C, F, P)) return false;
  C.SkipSpaces();
  if (!C.AtEnd()) return false;
  const bool HasDate = P.Y >= 0 || P.M >= 0 || P.D >= 0;
  if (!HasDate && P.H < 0 && P.Mi < 0) return false;
  int64_t Day = 0;
  // A date needs its year; a format without days means the first.
  if (HasDate && (P.Y < 0 || P.M < 0 || !SerialDay(P.Y, P.M, P.D < 0 ? 1 : P.D, Date1904, Day)))
    return false;
  int H = P.H < 0 ? 0 : P.H;
  if (P.AmPm >= 0) {
    if (H < 1 || H > 12) return false;
    H = H % 12 + (P.AmPm == 1 ? 12 : 0);
  }
  double Fraction = 0;
  if (!TimeFraction(H, P.Mi < 0 ? 0 : P.Mi, P.S < 0 ? 0 : P.S, Fraction)) return false;
  Serial = static_cast<double>(Day) + Fraction;
  return true;
}

}  // namespace

bool IsTextFormatCode(std::string_view Code) {
  return Trim(Code) == "@";
}

bool IsGeneralFormatCode(std::string_view Code) {
  const std::string T = Trim(Code);
  return T.empty() || SameTextAscii(T, "General");
}

bool ParseTypedDate(std::string_view Text, std::string_view FormatCode, bool Date1904,
                    double& Serial) {
  return ParseIso(Text, Date1904, Serial) || ParseInFormat(Text, FormatCode, Date1904, Serial);
}

bool LoadedDateText(double Serial, bool Date1904, std::string& Out) {
  return FormatSerialDate(Serial, Date1904, Out);
}

TTypedValue TypeCellInput(std::string_view Typed, const TTypingCell& Cell) {
  TTypedValue R;
  const bool Text = Cell.KeepText || IsTextFormatCode(Cell.FormatCode);
  if (Typed.empty() || (!Text && IsBlank(Typed))) return R;
  if (Text) {
    R.Kind = TTypedKind::Text;
    R.Value = R.Loaded = std::string(Typed);
    return R;
  }
  const std::string Word = Trim(Typed);
  const bool True = SameTextAscii(Word, "TRUE"), False = SameTextAscii(Word, "FALSE");
  if ((True || False) && (Cell.WasBoolean || IsGeneralFormatCode(Cell.FormatCode))) {
    R.Kind = TTypedKind::Boolean;
    R.Value = True ? "1" : "0";
    R.Loaded = True ? "TRUE" : "FALSE";
    return R;
  }
  double Number = 0;
  if (TryParseNumberText(Typed, Number) ||
      (Cell.IsDateFormat && ParseTypedDate(Typed, Cell.FormatCode, Cell.Date1904, Number))) {
    R.Kind = TTypedKind::Number;
    R.Value = FormatNumberText(Number);
    double Stored = Number;
    TryParseNumberText(R.Value, Stored);  // what loading reads
    if (!Cell.IsDateFormat || !FormatSerialDate(Stored, Cell.Date1904, R.Loaded))
      R.Loaded = R.Value;
    return R;
  }
  R.Kind = TTypedKind::Text;
  R.Value = R.Loaded = std::string(Typed);
  return R;
}

}  // namespace kv
