// Number formats: parsing a code into sections of tokens, and rendering.
#include "numfmt/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "base/Text.h"
#include "numfmt/NumberFormatNames.h"

namespace kv {

namespace {

// Codes longer than this are rejected as General: spreadsheet programs keep
// them to 255 characters, and it bounds every rendered text.
constexpr size_t kMaxCodeLength = 1024;
constexpr int kMaxSections = 4;

uint32_t Rgb(uint8_t R, uint8_t G, uint8_t B) {
  return uint32_t{R} | (uint32_t{G} << 8) | (uint32_t{B} << 16);
}

// The default 56-colour palette that [ColorN] indexes (1-based).
const uint32_t kPalette[56] = {
    Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(255, 0, 0),     Rgb(0, 255, 0),
    Rgb(0, 0, 255),     Rgb(255, 255, 0),   Rgb(255, 0, 255),   Rgb(0, 255, 255),
    Rgb(128, 0, 0),     Rgb(0, 128, 0),     Rgb(0, 0, 128),     Rgb(128, 128, 0),
    Rgb(128, 0, 128),   Rgb(0, 128, 128),   Rgb(192, 192, 192), Rgb(128, 128, 128),
    Rgb(153, 153, 255), Rgb(153, 51, 102),  Rgb(255, 255, 204), Rgb(204, 255, 255),
    Rgb(102, 0, 102),   Rgb(255, 128, 128), Rgb(0, 102, 204),   Rgb(204, 204, 255),
    Rgb(0, 0, 128),     Rgb(255, 0, 255),   Rgb(255, 255, 0),   Rgb(0, 255, 255),
    Rgb(128, 0, 128),   Rgb(128, 0, 0),     Rgb(0, 128, 128),   Rgb(0, 0, 255),
    Rgb(0, 204, 255),   Rgb(204, 255, 255), Rgb(204, 255, 204), Rgb(255, 255, 153),
    Rgb(153, 204, 255), Rgb(255, 153, 204), Rgb(204, 153, 255), Rgb(255, 204, 153),
    Rgb(51, 102, 255),  Rgb(51, 204, 204),  Rgb(153, 204, 0),   Rgb(255, 204, 0),
    Rgb(255, 153, 0),   Rgb(255, 102, 0),   Rgb(102, 102, 153), Rgb(150, 150, 150),
    Rgb(0, 51, 102),    Rgb(51, 153, 102),  Rgb(0, 51, 0),      Rgb(51, 51, 0),
    Rgb(153, 51, 0),    Rgb(153, 51, 102),  Rgb(51, 51, 153),   Rgb(51, 51, 51)};

struct TNamedColor {
  const char* Name;
  uint32_t Color;
};
const TNamedColor kNamedColors[] = {{"black", Rgb(0, 0, 0)},       {"blue", Rgb(0, 0, 255)},
                                    {"cyan", Rgb(0, 255, 255)},    {"green", Rgb(0, 255, 0)},
                                    {"magenta", Rgb(255, 0, 255)}, {"red", Rgb(255, 0, 0)},
                                    {"white", Rgb(255, 255, 255)}, {"yellow", Rgb(255, 255, 0)}};

// ---- decimal digits ---------------------------------------------------------

// A non-negative value as decimal digits: Value = 0.D1D2D3... * 10^IntLen,
// so IntLen digits stand before the decimal point. Digits has no leading
// zero; it is empty for zero.
struct TDecimal {
  std::string Digits;
  int IntLen = 0;
};

// The value's 15 significant digits, as spreadsheet programs compute with.
TDecimal ToDecimal(double V) {
  TDecimal D;
  V = std::fabs(V);
  if (!(V > 0) || !std::isfinite(V)) return D;
  uint64_t N;
  int Exp10;
  SignificantDigits15(V, N, Exp10);
  // Trailing zeros off, eight, four, two and one at a time (at most 14).
  int Len = 15;
  if (N % 100000000 == 0) N /= 100000000, Len -= 8;
  if (N % 10000 == 0) N /= 10000, Len -= 4;
  if (N % 100 == 0) N /= 100, Len -= 2;
  if (N % 10 == 0) N /= 10, Len -= 1;
  D.Digits.resize(static_cast<size_t>(Len));
  for (size_t I = D.Digits.size(); I-- > 0; N /= 10) D.Digits[I] = static_cast<char>('0' + N % 10);
  D.IntLen = Exp10 + 15;
  return D;
}

// Rounds half away from zero to Decimals digits after the point.
void RoundDecimal(TDecimal& D, int Decimals) {
  const long Keep = long{D.IntLen} + Decimals;
  if (Keep >= static_cast<long>(D.Digits.size())) return;
  if (Keep < 0) {
    D.Digits.clear();
    return;
  }
  const bool Up = D.Digits[static_cast<size_t>(Keep)] >= '5';
  D.Digits.resize(static_cast<size_t>(Keep));
  if (Up) {
    size_t I = D.Digits.size();
    while (I > 0 && D.Digits[I - 1] == '9') D.Digits[--I] = '0';
    if (I == 0) {
      D.Digits.insert(D.Digits.begin(), '1');
      ++D.IntLen;
    } else {
      ++D.Digits[I - 1];
    }
  }
  while (!D.Digits.empty() && D.Digits.back() == '0') D.Digits.pop_back();
  if (D.Digits.empty()) D.IntLen = 0;
}

std::string IntegerDigits(const TDecimal& D) {
  std::string S(static_cast<size_t>(std::max(D.IntLen, 0)), '0');
  std::copy_n(D.Digits.begin(), std::min(S.size(), D.Digits.size()), S.begin());
  return S;  // empty for values below 1
}

std::string FractionDigits(const TDecimal& D, int Count) {
  std::string S(static_cast<size_t>(std::max(Count, 0)), '0');
  for (size_t I = 0; I < S.size(); ++I) {
    const long K = long{D.IntLen} + static_cast<long>(I);
    if (K >= 0 && K < static_cast<long>(D.Digits.size())) S[I] = D.Digits[static_cast<size_t>(K)];
  }
  return S;
}

// ---- dates ------------------------------------------------------------------

std::string Padded(int64_t V, int Width) {
  std::string S = std::to_string(V < 0 ? -V : V);
  if (static_cast<int>(S.size()) < Width) S.insert(0, static_cast<size_t>(Width) - S.size(), '0');
  return V < 0 ? "-" + S : S;
}

}  // namespace

void CivilFromDays(int64_t Z, int64_t& Y, unsigned& M, unsigned& D) {
  Z += 719468;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
  const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  Y = static_cast<int64_t>(Yoe) + Era * 400;
  const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const unsigned Mp = (5 * Doy + 2) / 153;
  D = Doy - (153 * Mp + 2) / 5 + 1;
  M = Mp < 10 ? Mp + 3 : Mp - 9;
  Y += M <= 2;
}

int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
  const unsigned Doy = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
  const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + static_cast<int64_t>(Doe) - 719468;
}

int64_t EpochDays(bool Date1904) {
  return Date1904 ? DaysFromCivil(1904, 1, 1) : DaysFromCivil(1899, 12, 30);
}

bool FormatSerialDate(double Serial, bool Date1904, std::string& Out) {
  if (!std::isfinite(Serial) || std::fabs(Serial) > 4.0e6) return false;
  const bool WholeDay = Serial == std::floor(Serial);
  const int64_t Ms = std::llround(Serial * 86400000.0);
  int64_t Day = Ms / 86400000;
  int64_t MsOfDay = Ms % 86400000;
  if (MsOfDay < 0) MsOfDay += 86400000, --Day;
  int64_t Y;
  unsigned M, D;
  CivilFromDays(EpochDays(Date1904) + Day, Y, M, D);
  if (Y < 1 || Y > 9999) return false;
  Out = Padded(Y, 4) + "-" + Padded(M, 2) + "-" + Padded(D, 2);
  if (!WholeDay) Out += " " + Padded(MsOfDay / 3600000, 2) + ":" + Padded(MsOfDay / 60000 % 60, 2);
  return true;
}

// ---- tokens -------------------------------------------------------------------

struct TNumberFormat::TToken {
  // The kinds read from one character (Digit, Point, Comma, Percent, Slash,
  // TextAt) keep it in Ch.
  enum TKind {
    Literal,   // Text
    Digit,     // Ch: '0', '#' or '?'
    Point,     // decimal point
    Comma,     // grouping or scaling, decided per section
    Percent,   // '%'
    Exponent,  // Ch '+' or '-' (Text keeps the E as written)
    Slash,     // '/' of a fraction
    TextAt,    // '@'
    General,   // "General"
    Year,      // Count 2 or 4
    Month,     // Count 1..5 (1, 2 may turn into Minute)
    Day,       // Count 1..4
    Hour,
    Minute,
    Second,
    SecFraction,  // Count decimals after the seconds
    AmPm,         // Text "AM"/"PM" pair in Text as written: "AM/PM", "A/P"
    Elapsed,      // Ch 'h', 'm' or 's', Count width
  };
  TKind Kind = Literal;
  char Ch = 0;
  int Count = 0;
  std::string Text;
};

struct TNumberFormat::TSection {
  std::vector<TToken> Tokens;
  bool HasColor = false;
  uint32_t Color = 0;
  uint32_t Lcid = 0;  // of a [$-407] tag; 0 for none
  bool HasCondition = false;
  char CondOp[3] = {0, 0, 0};
  double CondValue = 0;
  // Analysis.
  bool IsDate = false, IsFraction = false, IsText = false, HasElapsed = false;
  bool HasCalendar = false;  // a year, month or day
  bool Grouping = false, HasPoint = false, TwelveHour = false;
  int Scale = 0;  // trailing commas
  int Percents = 0;
  int IntDigits = 0;  // integer placeholders (mantissa, or the fraction's whole part)
  int FracDigits = 0;
  int ExpIndex = -1;    // token of the exponent
  int SecDecimals = 0;  // fractional seconds shown
  // Number sections: the tokens before the point (digits, literals, % and
  // General only) and the kinds of the decimal placeholders.
  std::vector<TToken> IntPart;
  size_t IntEnd = 0;
  std::string FracKinds;
  // Fractions: numerator and denominator placeholders and a fixed denominator.
  int NumDigits = 0, DenDigits = 0, FixedDen = 0, SlashIndex = -1, NumStart = -1;
  bool DigitsBefore = false;  // integer placeholders before the numerator

  bool Matches(double V) const {
    const std::string_view Op(CondOp);
    if (Op == "<") return V < CondValue;
    if (Op == ">") return V > CondValue;
    if (Op == "=") return V == CondValue;
    if (Op == "<=" || Op == "=<") return V <= CondValue;
    if (Op == ">=" || Op == "=>") return V >= CondValue;
    if (Op == "<>") return V != CondValue;
    return false;
  }
};

struct TNumberFormat::TBody {
  std::vector<TSection> Sections;  // number sections, then at most one text section
  int TextSection = -1;
};

namespace {

using TToken = TNumberFormat::TToken;
using TSection = TNumberFormat::TSection;

void AddLiteral(std::vector<TToken>& Tokens, std::string_view Text) {
  if (!Tokens.empty() && Tokens.back().Kind == TToken::Literal) {
    Tokens.back().Text += Text;
    return;
  }
  TToken T;
  T.Kind = TToken::Literal;
  T.Text = Text;
  Tokens.push_back(std::move(T));
}

void Add(std::vector<TToken>& Tokens, TToken::TKind Kind, char Ch = 0, int Count = 0) {
  TToken T;
  T.Kind = Kind;
  T.Ch = Ch;
  T.Count = Count;
  Tokens.push_back(std::move(T));
}

// Length of the UTF-8 sequence starting at S[I] (1 for a stray byte).
size_t CharLength(std::string_view S, size_t I) {
  const unsigned char C = static_cast<unsigned char>(S[I]);
  size_t N = C < 0x80 ? 1 : C >= 0xF0 ? 4 : C >= 0xE0 ? 3 : C >= 0xC0 ? 2 : 1;
  return std::min(N, S.size() - I);
}

size_t RunLength(std::string_view S, size_t I, char Lower) {
  size_t N = 0;
  while (I + N < S.size() && AsciiLowerChar(S[I + N]) == Lower) ++N;
  return N;
}

// A bracketed item: colour, condition, locale or currency, elapsed time.
// False when it is none of them.
bool ReadBracket(std::string_view Inner, TSection& Sec) {
  if (Inner.empty()) return false;
  const std::string Lower = AsciiLower(Inner);
  const char C0 = Lower[0];
  if ((C0 == 'h' || C0 == 'm' || C0 == 's') && Lower.find_first_not_of(C0) == std::string::npos) {
    Add(Sec.Tokens, TToken::Elapsed, C0, static_cast<int>(Lower.size()));
    return true;
  }
  if (C0 == '$') {
    // [$€-407]: the symbol is shown; the locale after '-' (an LCID in hex,
    // calendar and digit flags above its low 16 bits) names the months and days.
    const size_t Dash = Inner.find('-', 1);
    std::string_view Symbol =
        Inner.substr(1, Dash == std::string_view::npos ? Inner.npos : Dash - 1);
    if (!Symbol.empty()) AddLiteral(Sec.Tokens, Symbol);
    if (Dash != std::string_view::npos) {
      uint32_t Lcid = 0;
      const std::string_view Hex = Inner.substr(Dash + 1);
      const auto R = std::from_chars(Hex.data(), Hex.data() + Hex.size(), Lcid, 16);
      if (R.ec == std::errc() && R.ptr == Hex.data() + Hex.size()) Sec.Lcid = Lcid & 0xFFFF;
    }
    return true;
  }
  if (C0 == '<' || C0 == '>' || C0 == '=') {
    size_t N = 1;
    if (Lower.size() > 1 && (Lower[1] == '=' || Lower[1] == '>' || Lower[1] == '<')) N = 2;
    const std::string Number = Trim(Lower.substr(N));
    char* End = nullptr;
    const double V = std::strtod(Number.c_str(), &End);
    if (Number.empty() || *End || !std::isfinite(V)) return false;
    Sec.HasCondition = true;
    Sec.CondOp[0] = Lower[0];
    Sec.CondOp[1] = N == 2 ? Lower[1] : 0;
    Sec.CondValue = V;
    return true;
  }
  for (const TNamedColor& N : kNamedColors)
    if (Lower == N.Name) {
      Sec.HasColor = true;
      Sec.Color = N.Color;
      return true;
    }
  if (Lower.rfind("color", 0) == 0) {
    auto N = TryParseInt32(Lower.substr(5));
    if (!N || *N < 1 || *N > 56) return false;
    Sec.HasColor = true;
    Sec.Color = kPalette[*N - 1];
    return true;
  }
  // Other bracketed words (DBNum, natural number words) change nothing here.
  return Lower.rfind("dbnum", 0) == 0 || Lower.rfind("natnum", 0) == 0;
}

// Reads a quoted, escaped, padding, fill or bracketed item, or a one-character
// token at Code[At]; advances At past it. False when the character starts
// none of them; Ok false when the code cannot be read.
bool ReadSymbol(std::string_view Code, size_t& At, TSection& Sec, bool& Ok) {
  std::vector<TToken>& Tokens = Sec.Tokens;
  const char C = Code[At];
  switch (C) {
    case '"': {
      const size_t Close = Code.find('"', At + 1);
      Ok = Close != std::string_view::npos;
      if (Ok) AddLiteral(Tokens, Code.substr(At + 1, Close - At - 1));
      At = Ok ? Close + 1 : Code.size();
      return true;
    }
    case '\\':
    case '_':
    case '*': {
      Ok = At + 1 < Code.size();
      if (!Ok) return true;
      const size_t Next = CharLength(Code, At + 1);
      // An escape shows its character; padding by a glyph's width is one
      // space here; a fill to the cell's width is dropped.
      if (C == '\\') AddLiteral(Tokens, Code.substr(At + 1, Next));
      if (C == '_') AddLiteral(Tokens, " ");
      At += 1 + Next;
      return true;
    }
    case '[': {
      const size_t Close = Code.find(']', At + 1);
      Ok = Close != std::string_view::npos && ReadBracket(Code.substr(At + 1, Close - At - 1), Sec);
      At = Ok ? Close + 1 : Code.size();
      return true;
    }
    default:
      break;
  }
  static constexpr struct {
    char Ch;
    TToken::TKind Kind;
  } kSingles[] = {{'0', TToken::Digit}, {'#', TToken::Digit}, {'?', TToken::Digit},
                  {'.', TToken::Point}, {',', TToken::Comma}, {'%', TToken::Percent},
                  {'/', TToken::Slash}, {'@', TToken::TextAt}};
  for (const auto& S : kSingles)
    if (S.Ch == C) {
      Add(Tokens, S.Kind, C);
      ++At;
      return true;
    }
  return false;
}

// Reads an exponent, "General", an AM/PM marker or a run of date letters at
// Code[At]; advances At past it. False when none starts there.
bool ReadWord(std::string_view Code, size_t& At, std::vector<TToken>& Tokens) {
  const char C = Code[At];
  const char Lower = AsciiLowerChar(C);
  if (Lower == 'e' && At + 1 < Code.size() && (Code[At + 1] == '+' || Code[At + 1] == '-')) {
    Add(Tokens, TToken::Exponent, Code[At + 1]);
    Tokens.back().Text = std::string(1, C);
    At += 2;
    return true;
  }
  if (Lower == 'g' && AsciiLower(Code.substr(At, 7)) == "general") {
    Add(Tokens, TToken::General);
    At += 7;
    return true;
  }
  for (const size_t Length : {size_t{5}, size_t{3}}) {
    const std::string Marker = AsciiLower(Code.substr(At, Length));
    if (Marker == (Length == 5 ? "am/pm" : "a/p")) {
      Add(Tokens, TToken::AmPm);
      Tokens.back().Text = std::string(Code.substr(At, Length));
      At += Length;
      return true;
    }
  }
  static constexpr struct {
    char Letter;
    TToken::TKind Kind;
    int MaxCount;
  } kDateLetters[] = {{'y', TToken::Year, 4},
                      {'m', TToken::Month, 5},
                      {'d', TToken::Day, 4},
                      {'h', TToken::Hour, 2},
                      {'s', TToken::Second, 2}};
  for (const auto& L : kDateLetters) {
    if (L.Letter != Lower) continue;
    const int Run = static_cast<int>(RunLength(Code, At, Lower));
    const int Count = L.Kind == TToken::Year ? (Run <= 2 ? 2 : 4) : std::min(Run, L.MaxCount);
    Add(Tokens, L.Kind, 0, Count);
    At += static_cast<size_t>(Run);
    return true;
  }
  return false;
}

// Splits the code into sections of tokens. False when it cannot be read.
bool Tokenize(std::string_view Code, std::vector<TSection>& Sections) {
  Sections.emplace_back();
  for (size_t At = 0; At < Code.size();) {
    if (Code[At] == ';') {
      if (static_cast<int>(Sections.size()) == kMaxSections) return false;
      Sections.emplace_back();
      ++At;
      continue;
    }
    bool Ok = true;
    if (ReadSymbol(Code, At, Sections.back(), Ok)) {
      if (!Ok) return false;
      continue;
    }
    if (ReadWord(Code, At, Sections.back().Tokens)) continue;
    AddLiteral(Sections.back().Tokens, Code.substr(At, CharLength(Code, At)));
    At += CharLength(Code, At);
  }
  return true;
}

bool IsDateKind(TToken::TKind K) {
  return K == TToken::Year || K == TToken::Month || K == TToken::Day || K == TToken::Hour ||
         K == TToken::Minute || K == TToken::Second || K == TToken::AmPm || K == TToken::Elapsed;
}

bool IsHourLike(const TToken& K) {
  return K.Kind == TToken::Hour || (K.Kind == TToken::Elapsed && K.Ch == 'h');
}

bool IsSecondLike(const TToken& K) {
  return K.Kind == TToken::Second || (K.Kind == TToken::Elapsed && K.Ch == 's');
}

// An m or mm right after an hour or right before a second (other tokens
// between) is minutes.
void MarkMinutes(std::vector<TToken>& Tokens) {
  for (size_t I = 0; I < Tokens.size(); ++I) {
    if (Tokens[I].Kind != TToken::Month || Tokens[I].Count > 2) continue;
    bool Minute = false;
    for (size_t J = I; J-- > 0;) {
      if (!IsDateKind(Tokens[J].Kind)) continue;
      Minute = IsHourLike(Tokens[J]);
      break;
    }
    for (size_t J = I + 1; !Minute && J < Tokens.size(); ++J) {
      if (!IsDateKind(Tokens[J].Kind)) continue;
      Minute = IsSecondLike(Tokens[J]);
      break;
    }
    if (Minute) Tokens[I].Kind = TToken::Minute;
  }
}

// A number token in a date section is shown as it is written.
void AddAsWritten(std::vector<TToken>& Out, TToken&& K) {
  switch (K.Kind) {
    case TToken::Digit:
    case TToken::Point:
    case TToken::Comma:
    case TToken::Percent:
    case TToken::Slash:
      AddLiteral(Out, std::string(1, K.Ch));  // each keeps the character it was read from
      break;
    case TToken::Exponent:
      AddLiteral(Out, K.Text + K.Ch);
      break;
    default:
      Out.push_back(std::move(K));
  }
}

// A date or time section: minutes told from months, the zeros after the
// seconds' point read as their decimals (up to three), number tokens as
// literals.
void AnalyseDate(TSection& S) {
  std::vector<TToken>& T = S.Tokens;
  MarkMinutes(T);
  for (const TToken& K : T) {
    if (K.Kind == TToken::AmPm) S.TwelveHour = true;
    if (K.Kind == TToken::Year || K.Kind == TToken::Month || K.Kind == TToken::Day)
      S.HasCalendar = true;
  }
  std::vector<TToken> Out;
  for (size_t I = 0; I < T.size(); ++I) {
    const bool AfterSeconds = !Out.empty() && IsSecondLike(Out.back());
    if (T[I].Kind == TToken::Point && AfterSeconds && I + 1 < T.size() &&
        T[I + 1].Kind == TToken::Digit && T[I + 1].Ch == '0') {
      int N = 0;
      while (I + 1 < T.size() && T[I + 1].Kind == TToken::Digit && T[I + 1].Ch == '0') ++I, ++N;
      N = std::min(N, 3);
      S.SecDecimals = std::max(S.SecDecimals, N);
      Out.push_back(TToken{TToken::SecFraction, 0, N, {}});
      continue;
    }
    AddAsWritten(Out, std::move(T[I]));
  }
  T.swap(Out);
}

// A fraction: a slash with placeholders right before it. Fills the
// fraction's fields and returns true; false when the section holds no
// fraction. Ok false when it holds one that cannot be shown.
bool AnalyseFraction(TSection& S, bool& Ok) {
  std::vector<TToken>& T = S.Tokens;
  size_t Slash = 0;
  while (Slash < T.size() && T[Slash].Kind != TToken::Slash) ++Slash;
  if (Slash == T.size() || Slash == 0 || T[Slash - 1].Kind != TToken::Digit) return false;
  S.IsFraction = true;
  S.SlashIndex = static_cast<int>(Slash);
  size_t NumStart = Slash;
  while (NumStart > 0 && T[NumStart - 1].Kind == TToken::Digit) --NumStart, ++S.NumDigits;
  S.NumStart = static_cast<int>(NumStart);
  for (size_t K = 0; K < NumStart; ++K)
    if (T[K].Kind == TToken::Digit) ++S.IntDigits;
  S.DigitsBefore = S.IntDigits > 0;
  size_t DenEnd = Slash + 1;
  while (DenEnd < T.size() && T[DenEnd].Kind == TToken::Digit) ++DenEnd, ++S.DenDigits;
  if (S.DenDigits == 0 && DenEnd < T.size() && T[DenEnd].Kind == TToken::Literal) {
    // A fixed denominator: the digits written after the slash.
    std::string& Lit = T[DenEnd].Text;
    size_t N = 0;
    while (N < Lit.size() && N < 9 && Lit[N] >= '0' && Lit[N] <= '9') ++N;
    S.FixedDen = N == 0 ? 0 : std::atoi(Lit.substr(0, N).c_str());
    Lit.erase(0, N);
  }
  Ok = S.DenDigits > 0 || S.FixedDen > 0;
  S.DenDigits = std::min(S.DenDigits, 7);
  return true;
}

// Counts the integer and decimal placeholders and the % signs, and finds the
// exponent.
void CountPlaceholders(TSection& S) {
  bool SeenPoint = false;
  for (size_t I = 0; I < S.Tokens.size(); ++I) {
    const TToken& K = S.Tokens[I];
    if (K.Kind == TToken::Exponent && S.ExpIndex < 0) S.ExpIndex = static_cast<int>(I);
    if (K.Kind == TToken::Percent) ++S.Percents;
    if (S.ExpIndex >= 0) continue;
    if (K.Kind == TToken::Digit) {
      (SeenPoint ? S.FracDigits : S.IntDigits)++;
    } else if (K.Kind == TToken::Point && !SeenPoint) {
      SeenPoint = S.HasPoint = true;
    }
  }
}

// A comma between integer placeholders groups; commas right after the last
// placeholder before the point (or the end) scale by a thousand each; commas
// with no placeholder beside them are shown.
void ReadCommas(TSection& S) {
  std::vector<TToken>& T = S.Tokens;
  for (size_t I = 0; I < T.size(); ++I) {
    if (T[I].Kind != TToken::Comma) continue;
    size_t J = I;
    while (J < T.size() && T[J].Kind == TToken::Comma) ++J;
    const bool DigitBefore = I > 0 && T[I - 1].Kind == TToken::Digit;
    const bool DigitAfter = J < T.size() && T[J].Kind == TToken::Digit;
    bool InInteger = true;
    for (size_t K = 0; K < I; ++K)
      if (T[K].Kind == TToken::Point || T[K].Kind == TToken::Exponent) InInteger = false;
    if (DigitBefore && DigitAfter && InInteger) {
      S.Grouping = true;
    } else if (DigitBefore && !DigitAfter && (S.ExpIndex < 0 || static_cast<int>(I) < S.ExpIndex)) {
      S.Scale += static_cast<int>(J - I);
    } else if (!DigitBefore && !DigitAfter) {
      for (size_t K = I; K < J; ++K) T[K] = TToken{TToken::Literal, 0, 0, ","};
    }
    I = J - 1;
  }
}

// The tokens before the point (digits, literals, % and General) and the
// kinds of the decimal placeholders.
void SplitAtPoint(TSection& S) {
  const std::vector<TToken>& T = S.Tokens;
  while (S.IntEnd < T.size() && T[S.IntEnd].Kind != TToken::Point &&
         T[S.IntEnd].Kind != TToken::Exponent)
    ++S.IntEnd;
  for (size_t I = 0; I < S.IntEnd; ++I) {
    const TToken& K = T[I];
    if (K.Kind == TToken::Percent)
      S.IntPart.push_back(TToken{TToken::Literal, 0, 0, "%"});
    else if (K.Kind == TToken::Digit || K.Kind == TToken::Literal || K.Kind == TToken::General)
      S.IntPart.push_back(K);
  }
  for (size_t I = S.IntEnd; I < T.size() && (S.ExpIndex < 0 || static_cast<int>(I) < S.ExpIndex);
       ++I)
    if (T[I].Kind == TToken::Digit) S.FracKinds += T[I].Ch;
}

// Decides what each token means within its section. False when the section
// cannot be rendered.
bool Analyse(TSection& S) {
  for (const TToken& K : S.Tokens) {
    if (IsDateKind(K.Kind)) S.IsDate = true;
    if (K.Kind == TToken::TextAt) S.IsText = true;
    if (K.Kind == TToken::Elapsed) S.HasElapsed = true;
  }
  if (S.IsDate) {
    AnalyseDate(S);
    return true;
  }
  bool Ok = true;
  if (AnalyseFraction(S, Ok)) return Ok;
  CountPlaceholders(S);
  ReadCommas(S);
  SplitAtPoint(S);
  S.Scale = std::min(S.Scale, 110);
  S.Percents = std::min(S.Percents, 110);
  S.FracDigits = std::min(S.FracDigits, 30);
  return true;
}

// The integer placeholders' output for the digit text Digits ("" for zero).
// Tokens: the section's tokens from Begin to End. Extra digits go to the
// first placeholder; grouping puts a comma before every third digit.
void FillInteger(const std::vector<TToken>& T, size_t Begin, size_t End, const std::string& Digits,
                 bool Grouping, std::string& Out, double Value = 0) {
  int Places = 0;
  for (size_t I = Begin; I < End; ++I)
    if (T[I].Kind == TToken::Digit) ++Places;
  // Position from the right of each digit emitted, for grouping.
  const int Len = static_cast<int>(Digits.size());
  int Seen = 0;  // placeholders passed, left to right
  int Emitted = 0;
  const int Total = std::max(Len, Places);
  auto EmitDigit = [&](char D, int PosFromRight) {
    if (Grouping && Emitted > 0 && (PosFromRight + 1) % 3 == 0) Out += D == ' ' ? ' ' : ',';
    Out += D;
    ++Emitted;
  };
  for (size_t I = Begin; I < End; ++I) {
    const TToken& K = T[I];
    if (K.Kind == TToken::Literal) {
      Out += K.Text;
      continue;
    }
    if (K.Kind == TToken::General) {
      Out += FormatGeneralNumber(Value);
      continue;
    }
    if (K.Kind != TToken::Digit) continue;
    const int Slot = Places - 1 - Seen;  // position from the right of this placeholder
    ++Seen;
    if (Slot == Places - 1) {
      // The first placeholder takes every digit beyond the placeholders.
      for (int P = Total - 1; P > Slot; --P) EmitDigit(Digits[static_cast<size_t>(Len - 1 - P)], P);
    }
    if (Slot < Len) {
      EmitDigit(Digits[static_cast<size_t>(Len - 1 - Slot)], Slot);
    } else if (K.Ch == '0') {
      EmitDigit('0', Slot);
    } else if (K.Ch == '?') {
      EmitDigit(' ', Slot);
    }
  }
}

std::string FormatExponent(int E, char SignMode, int MinDigits) {
  std::string S = E < 0 ? "-" : (SignMode == '+' ? "+" : "");
  std::string D = std::to_string(E < 0 ? -E : E);
  if (static_cast<int>(D.size()) < MinDigits)
    D.insert(0, static_cast<size_t>(MinDigits) - D.size(), '0');
  return S + D;
}

// The best fraction N/D of Frac (0 <= Frac < 1, or any for no whole part)
// with D <= MaxDen.
void BestFraction(double Frac, int MaxDen, int64_t& Num, int64_t& Den) {
  Num = 0;
  Den = 1;
  double BestErr = std::fabs(Frac);
  if (MaxDen <= 1000) {
    for (int D = 1; D <= MaxDen; ++D) {
      const double N = std::floor(Frac * D + 0.5);
      const double Err = std::fabs(Frac - N / D);
      if (Err < BestErr - 1e-12) {
        BestErr = Err;
        Num = static_cast<int64_t>(N);
        Den = D;
      }
    }
    return;
  }
  // Continued fractions, then the best semiconvergent within MaxDen.
  int64_t H0 = 0, H1 = 1, K0 = 1, K1 = 0;
  double X = Frac;
  for (int Step = 0; Step < 64; ++Step) {
    const double A = std::floor(X);
    if (A > 1e12) break;
    const int64_t Ai = static_cast<int64_t>(A);
    if (A * static_cast<double>(K1) + static_cast<double>(K0) > MaxDen) {
      const int64_t T = (MaxDen - K0) / std::max<int64_t>(K1, 1);
      const int64_t Hs = T * H1 + H0, Ks = T * K1 + K0;
      if (Ks > 0 &&
          std::fabs(Frac - double(Hs) / double(Ks)) < std::fabs(Frac - double(H1) / double(K1))) {
        H1 = Hs;
        K1 = Ks;
      }
      break;
    }
    const int64_t H2 = Ai * H1 + H0, K2 = Ai * K1 + K0;
    H0 = H1, H1 = H2, K0 = K1, K1 = K2;
    const double R = X - A;
    if (R < 1e-15) break;
    X = 1 / R;
  }
  if (K1 > 0) {
    Num = H1;
    Den = K1;
  }
}

std::string PadLeft(std::string S, int Width, char Fill) {
  if (static_cast<int>(S.size()) < Width) S.insert(0, static_cast<size_t>(Width) - S.size(), Fill);
  return S;
}

std::string PadRight(std::string S, int Width, char Fill) {
  if (static_cast<int>(S.size()) < Width) S.append(static_cast<size_t>(Width) - S.size(), Fill);
  return S;
}

// The placeholders from Begin to End as the digits of V, '?' padding with
// spaces and '0' with zeros, on the side given.
std::string FillPart(const std::vector<TToken>& T, size_t Begin, size_t End, int64_t V, bool Left) {
  int Zeros = 0, Places = 0;
  for (size_t I = Begin; I < End; ++I) {
    if (T[I].Kind != TToken::Digit) continue;
    ++Places;
    if (T[I].Ch == '0') ++Zeros;
  }
  std::string D = V == 0 && Zeros == 0 ? "" : std::to_string(V);
  if (Left) {
    D = PadLeft(D, Zeros, '0');
    return PadLeft(D, Places, ' ');
  }
  D = PadLeft(D, Zeros, '0');
  return PadRight(D, Places, ' ');
}

void RenderFraction(const TSection& S, double V, std::string& Out) {
  const std::vector<TToken>& T = S.Tokens;
  double Whole = 0, Frac = V;
  if (S.DigitsBefore) {
    Whole = std::floor(V);
    Frac = V - Whole;
  }
  // A numerator beyond 15 digits says nothing: such a value shows as General.
  if (Frac * 1e7 > 1e15) {
    Out += FormatGeneralNumber(V);
    return;
  }
  int64_t Num = 0, Den = 1;
  if (S.FixedDen > 0) {
    Den = S.FixedDen;
    Num = static_cast<int64_t>(std::floor(Frac * static_cast<double>(Den) + 0.5));
  } else {
    int MaxDen = 1;
    for (int I = 0; I < S.DenDigits; ++I) MaxDen *= 10;
    BestFraction(Frac, MaxDen - 1, Num, Den);
  }
  if (S.DigitsBefore && Num == Den) {
    Whole += 1;
    Num = 0;
  }
  const size_t NumStart = static_cast<size_t>(S.NumStart),
               Slash = static_cast<size_t>(S.SlashIndex);
  size_t DenEnd = Slash + 1;
  while (DenEnd < T.size() && T[DenEnd].Kind == TToken::Digit) ++DenEnd;
  // Whole part: the tokens before the numerator.
  if (S.DigitsBefore) {
    std::string WholeDigits = Whole >= 1 ? IntegerDigits(ToDecimal(Whole)) : "";
    if (WholeDigits.empty() && Num == 0) WholeDigits = "0";
    // The literal right before the numerator (a space) stays.
    size_t LastWhole = NumStart;
    while (LastWhole > 0 && T[LastWhole - 1].Kind != TToken::Digit) --LastWhole;
    FillInteger(T, 0, LastWhole, WholeDigits, S.Grouping, Out);
    for (size_t I = LastWhole; I < NumStart; ++I)
      if (T[I].Kind == TToken::Literal) Out += T[I].Text;
  } else {
    for (size_t I = 0; I < NumStart; ++I)
      if (T[I].Kind == TToken::Literal) Out += T[I].Text;
  }
  if (S.DigitsBefore && Num == 0) {
    // No fraction to show: its place is kept blank.
    int Width =
        S.NumDigits + 1 +
        (S.FixedDen > 0 ? static_cast<int>(std::to_string(S.FixedDen).size()) : S.DenDigits);
    Out.append(static_cast<size_t>(Width), ' ');
  } else {
    Out += FillPart(T, NumStart, Slash, Num, true);
    Out += '/';
    Out += S.FixedDen > 0 ? std::to_string(Den) : FillPart(T, Slash + 1, DenEnd, Den, false);
  }
  for (size_t I = DenEnd; I < T.size(); ++I)
    if (T[I].Kind == TToken::Literal) Out += T[I].Text;
}

void RenderDigits(const TSection& S, double V, std::string& Out) {
  const std::vector<TToken>& T = S.Tokens;
  // However many % signs the code shows, the value is scaled once.
  if (S.Percents > 0) V *= 100;
  for (int I = 0; I < S.Scale; ++I) V /= 1000;
  TDecimal D = ToDecimal(V);
  int Exp = 0;
  if (S.ExpIndex >= 0) {
    if (!D.Digits.empty()) {
      // The mantissa shows IntDigits digits; with '#' or '?' among them the
      // exponent is a multiple of their count.
      bool Optional = false;
      for (int I = 0; I < S.ExpIndex; ++I)
        if (T[static_cast<size_t>(I)].Kind == TToken::Digit &&
            T[static_cast<size_t>(I)].Ch != '0' && S.IntDigits > 1)
          Optional = true;
      const int Places = std::max(S.IntDigits, 1);
      for (int Pass = 0; Pass < 2; ++Pass) {
        const int E10 = D.IntLen - 1;
        if (Optional) {
          Exp = E10 >= 0 ? E10 / Places * Places : -((-E10 + Places - 1) / Places) * Places;
        } else {
          Exp = E10 - (Places - 1);
        }
        TDecimal M = D;
        M.IntLen -= Exp;
        RoundDecimal(M, S.FracDigits);
        if (M.IntLen - D.IntLen + Exp == 0 || Pass == 1) {
          D = M;
          break;
        }
        // Rounding carried into a new digit (9.99 -> 10.0): choose again.
        D.Digits = M.Digits;
        D.IntLen = M.IntLen + Exp;
      }
    }
  } else {
    RoundDecimal(D, S.FracDigits);
  }
  const std::string IntText = IntegerDigits(D);
  const size_t IntEnd = S.IntEnd;
  FillInteger(S.IntPart, 0, S.IntPart.size(), IntText, S.Grouping, Out, V);
  // The point, the decimals and whatever follows.
  int FracSeen = 0;
  // Trailing zeros under '#' are dropped and under '?' become spaces.
  std::string Shown = FractionDigits(D, S.FracDigits);
  {
    const std::string& Kinds = S.FracKinds;
    for (size_t I = Shown.size(); I-- > 0;) {
      if (Shown[I] != '0' || I >= Kinds.size() || Kinds[I] == '0') break;
      Shown[I] = Kinds[I] == '#' ? '\0' : ' ';
    }
  }
  for (size_t I = IntEnd; I < T.size(); ++I) {
    const TToken& K = T[I];
    switch (K.Kind) {
      case TToken::Point:
        // A point with no decimal shown after it is left out ("#.##" on 12 shows 12).
        if (std::any_of(Shown.begin(), Shown.end(), [](char Ch) { return Ch != '\0'; })) Out += '.';
        break;
      case TToken::Digit:
        if (S.ExpIndex >= 0 && static_cast<int>(I) > S.ExpIndex) break;
        if (FracSeen < static_cast<int>(Shown.size()) && Shown[static_cast<size_t>(FracSeen)])
          Out += Shown[static_cast<size_t>(FracSeen)];
        ++FracSeen;
        break;
      case TToken::Exponent: {
        int MinDigits = 0;
        for (size_t J = I + 1; J < T.size() && T[J].Kind == TToken::Digit; ++J) ++MinDigits;
        Out += K.Text;
        Out += FormatExponent(Exp, K.Ch, std::min(MinDigits, 3));
        while (I + 1 < T.size() && T[I + 1].Kind == TToken::Digit) ++I;
        break;
      }
      case TToken::Percent:
        Out += '%';
        break;
      case TToken::Literal:
        Out += K.Text;
        break;
      case TToken::General:
        Out += FormatGeneralNumber(V);
        break;
      default:
        break;
    }
  }
}

// A date's and time's parts, counted in units of the last second decimal
// shown (PerSecond units a second).
struct TDateParts {
  int64_t Year = 0;
  unsigned Month = 1, Day = 1;
  int64_t Weekday = 0;  // 0 Sunday
  int64_t Hour = 0, Minute = 0, Second = 0, Fraction = 0;
  int64_t Units = 0;  // the whole value, for elapsed times
  int64_t PerSecond = 1;
  bool Negative = false;  // an elapsed time below zero: shown as its magnitude after a minus
};

// The value in units of the last second decimal shown, rounded once.
// Elapsed times and dates are rounded to the precision shown; times of day
// alone are cut to their whole seconds, as LibreOffice shows them, their
// decimals rounded unless that reaches the next second.
int64_t ShownUnits(const TSection& S, double V, int64_t PerSecond) {
  const double Units = V * 86400.0 * static_cast<double>(PerSecond);
  // The value's binary form lies just off many exact times: what is within
  // its last digits of a unit's edge counts as on it.
  const double Noise = std::fabs(Units) * 4e-15 + 1e-9;
  const double Magnitude = std::fabs(Units);
  const int64_t Near = static_cast<int64_t>(std::floor(Magnitude + 0.5 + Noise));
  const int64_t SignedNear = Units < 0 ? -Near : Near;
  if (S.HasElapsed || S.HasCalendar) return SignedNear;
  const int64_t Cut = static_cast<int64_t>(std::floor(Units + Noise));
  auto Whole = [PerSecond](int64_t U) {
    return U >= 0 ? U / PerSecond : -((-U - 1) / PerSecond) - 1;
  };
  return Whole(SignedNear) == Whole(Cut) ? SignedNear : Cut;
}

// False for a date outside years 1 to 9999.
bool SplitDate(const TSection& S, double V, bool Date1904, TDateParts& P) {
  for (int I = 0; I < S.SecDecimals; ++I) P.PerSecond *= 10;
  int64_t Units = ShownUnits(S, V, P.PerSecond);
  if (S.HasElapsed && Units < 0) {
    P.Negative = true;
    Units = -Units;
  }
  P.Units = Units;
  const int64_t PerDay = 86400 * P.PerSecond;
  int64_t Day = Units / PerDay, OfDay = Units % PerDay;
  if (OfDay < 0) OfDay += PerDay, --Day;
  const int64_t Days = EpochDays(Date1904) + Day;
  CivilFromDays(Days, P.Year, P.Month, P.Day);
  if (P.Year < 1 || P.Year > 9999) return false;
  P.Weekday = ((Days % 7) + 11) % 7;  // 1970-01-01 was a Thursday
  P.Fraction = OfDay % P.PerSecond;
  const int64_t Seconds = OfDay / P.PerSecond;
  P.Hour = Seconds / 3600;
  P.Minute = Seconds / 60 % 60;
  P.Second = Seconds % 60;
  return true;
}

// The first character of a UTF-8 name.
std::string FirstCharacter(const char* Name) {
  const std::string_view N(Name);
  return std::string(N.substr(0, N.empty() ? 0 : CharLength(N, 0)));
}

void RenderDateToken(const TSection& S, const TToken& K, const TDateParts& P,
                     const TDateNames& Names, std::string& Out) {
  switch (K.Kind) {
    case TToken::Literal:
      Out += K.Text;
      break;
    case TToken::Year:
      Out += K.Count == 2 ? Padded(P.Year % 100, 2) : Padded(P.Year, 4);
      break;
    case TToken::Month:
      if (K.Count <= 2)
        Out += Padded(P.Month, K.Count);
      else if (K.Count == 3)
        Out += Names.MonthsShort[P.Month - 1];
      else if (K.Count == 4)
        Out += Names.Months[P.Month - 1];
      else
        Out += FirstCharacter(Names.Months[P.Month - 1]);
      break;
    case TToken::Day:
      if (K.Count <= 2)
        Out += Padded(P.Day, K.Count);
      else
        Out += (K.Count == 3 ? Names.DaysShort : Names.Days)[P.Weekday];
      break;
    case TToken::Hour:
      Out += Padded(S.TwelveHour ? (P.Hour % 12 == 0 ? 12 : P.Hour % 12) : P.Hour, K.Count);
      break;
    case TToken::Minute:
      Out += Padded(P.Minute, K.Count);
      break;
    case TToken::Second:
      Out += Padded(P.Second, K.Count);
      break;
    case TToken::SecFraction:
      Out += '.';
      Out += Padded(P.Fraction, S.SecDecimals).substr(0, static_cast<size_t>(K.Count));
      break;
    case TToken::AmPm:
      if (K.Text.size() == 5)
        Out += P.Hour >= 12 ? "PM" : "AM";
      else
        Out += P.Hour >= 12 ? 'p' : 'a';  // as LibreOffice shows A/P, whatever its case
      break;
    case TToken::Elapsed: {
      const int64_t Seconds = K.Ch == 'h' ? 3600 : K.Ch == 'm' ? 60 : 1;
      Out += Padded(P.Units / (Seconds * P.PerSecond), K.Count);
      break;
    }
    default:
      break;
  }
}

bool RenderDate(const TSection& S, double V, bool Date1904, std::string& Out) {
  if (!std::isfinite(V) || std::fabs(V) > 3.0e6) return false;
  TDateParts P;
  if (!SplitDate(S, V, Date1904, P)) return false;
  const TDateNames& Names = DateNamesFor(S.Lcid);
  if (P.Negative) Out += '-';
  for (const TToken& K : S.Tokens) RenderDateToken(S, K, P, Names, Out);
  return true;
}

bool HasNumberPart(const TSection& S) {
  for (const TToken& K : S.Tokens)
    if (K.Kind != TToken::Literal && K.Kind != TToken::TextAt) return true;
  return false;
}

}  // namespace

// ---- the format -------------------------------------------------------------

TNumberFormat::TNumberFormat() = default;

TNumberFormat::TNumberFormat(std::string_view Code) {
  const std::string Trimmed = Trim(Code);
  if (Trimmed.empty() || SameTextAscii(Trimmed, "General")) return;
  std::vector<TSection> Sections;
  bool Ok = Trimmed.size() <= kMaxCodeLength && IsValidUtf8(Trimmed) && Tokenize(Trimmed, Sections);
  for (size_t I = 0; Ok && I < Sections.size(); ++I) Ok = Analyse(Sections[I]);
  if (!Ok) {
    FParsed = false;
    return;
  }
  auto Body = std::make_shared<TBody>();
  // A section holding '@' is the text section; with four sections the fourth.
  for (size_t I = 0; I < Sections.size(); ++I)
    if (Sections[I].IsText || (I == 3)) {
      Body->TextSection = static_cast<int>(I);
      break;
    }
  Body->Sections = std::move(Sections);
  FBody = std::move(Body);
}

void TNumberFormat::RenderText(std::string_view Text, TShownText& Out) const {
  Out.Text.clear();
  Out.HasColor = false;
  if (!FBody || FBody->TextSection < 0) {
    Out.Text = Text;
    return;
  }
  const TSection& S = FBody->Sections[static_cast<size_t>(FBody->TextSection)];
  for (const TToken& K : S.Tokens) {
    if (K.Kind == TToken::TextAt)
      Out.Text += Text;
    else if (K.Kind == TToken::Literal)
      Out.Text += K.Text;
  }
  Out.HasColor = S.HasColor;
  Out.Color = S.Color;
}

void TNumberFormat::RenderNumber(double Value, bool Date1904, TShownText& Out) const {
  Out.Text.clear();
  Out.HasColor = false;
  if (Value == 0) Value = 0;  // no negative zero
  if (!FBody || !std::isfinite(Value)) {
    Out.Text = FormatGeneralNumber(Value);
    return;
  }
  const std::vector<TSection>& FSections = FBody->Sections;
  const int Count =
      FBody->TextSection >= 0 ? FBody->TextSection : static_cast<int>(FSections.size());
  if (Count == 0) {
    Out.Text = FormatGeneralNumber(Value);
    return;
  }
  // Choose the section: conditions where written, else positive, negative, zero.
  int Pick = 0;
  bool ShowMinus = true;
  bool AnyCondition = false;
  for (int I = 0; I < Count; ++I)
    AnyCondition = AnyCondition || FSections[static_cast<size_t>(I)].HasCondition;
  if (AnyCondition) {
    Pick = -1;
    for (int I = 0; I < Count && Pick < 0; ++I) {
      const TSection& S = FSections[static_cast<size_t>(I)];
      if (!S.HasCondition || S.Matches(Value)) Pick = I;
    }
    if (Pick < 0) {
      Out.Text = FormatGeneralNumber(Value);
      return;
    }
    // A section for negative values ([<0]) writes its own sign.
    const TSection& P = FSections[static_cast<size_t>(Pick)];
    ShowMinus = !(P.HasCondition && P.CondOp[0] == '<' && P.CondOp[1] != '>' && P.CondValue <= 0);
  } else if (Value < 0 && Count >= 2) {
    Pick = 1;
    ShowMinus = false;
  } else if (Value == 0 && Count >= 3) {
    Pick = 2;
  }
  const TSection& S = FSections[static_cast<size_t>(Pick)];
  Out.HasColor = S.HasColor;
  Out.Color = S.Color;
  std::string Body;
  const double Abs = std::fabs(Value);
  if (S.IsDate) {
    if (!RenderDate(S, Value, Date1904, Body)) {
      Out.Text = FormatGeneralNumber(Value);
      Out.HasColor = false;
      return;
    }
    Out.Text = std::move(Body);
    return;
  }
  if (S.IsFraction) {
    RenderFraction(S, Abs, Body);
  } else if (HasNumberPart(S)) {
    RenderDigits(S, Abs, Body);
  } else {
    for (const TToken& K : S.Tokens)
      if (K.Kind == TToken::Literal) Body += K.Text;
  }
  // A minus only for a value that still shows a digit other than zero.
  if (ShowMinus && Value < 0 && HasNumberPart(S) &&
      Body.find_first_of("123456789") != std::string::npos)
    Out.Text = "-";
  Out.Text += Body;
}

// ---- built-ins and General ----------------------------------------------------

bool TNumberFormat::ShowsDates() const {
  if (!FBody) return false;
  for (const TSection& S : FBody->Sections)
    if (S.IsDate) return true;
  return false;
}

bool IsDateFormatCode(std::string_view Code) {
  return TNumberFormat(Code).ShowsDates();
}

std::string_view BuiltInFormatCode(int32_t Id) {
  switch (Id) {
    case 0:
      return "General";
    case 1:
      return "0";
    case 2:
      return "0.00";
    case 3:
      return "#,##0";
    case 4:
      return "#,##0.00";
    case 5:
      return "\"$\"#,##0_);(\"$\"#,##0)";
    case 6:
      return "\"$\"#,##0_);[Red](\"$\"#,##0)";
    case 7:
      return "\"$\"#,##0.00_);(\"$\"#,##0.00)";
    case 8:
      return "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)";
    case 9:
      return "0%";
    case 10:
      return "0.00%";
    case 11:
      return "0.00E+00";
    case 12:
      return "# ?/?";
    case 13:
      return "# ?\?/?\?";
    case 14:
      return "m/d/yyyy";
    case 15:
      return "d-mmm-yy";
    case 16:
      return "d-mmm";
    case 17:
      return "mmm-yy";
    case 18:
      return "h:mm AM/PM";
    case 19:
      return "h:mm:ss AM/PM";
    case 20:
      return "h:mm";
    case 21:
      return "h:mm:ss";
    case 22:
      return "m/d/yyyy h:mm";
    case 37:
      return "#,##0_);(#,##0)";
    case 38:
      return "#,##0_);[Red](#,##0)";
    case 39:
      return "#,##0.00_);(#,##0.00)";
    case 40:
      return "#,##0.00_);[Red](#,##0.00)";
    case 41:
      return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42:
      return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43:
      return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"?\?_);_(@_)";
    case 44:
      return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"?\?_);_(@_)";
    case 45:
      return "mm:ss";
    case 46:
      return "[h]:mm:ss";
    case 47:
      return "mm:ss.0";
    case 48:
      return "##0.0E+0";
    case 49:
      return "@";
    default:
      return {};
  }
}

std::string FormatGeneralNumber(double Value) {
  if (Value == 0 || !std::isfinite(Value)) return "0";
  TDecimal D = ToDecimal(Value);
  const std::string Sign = Value < 0 ? "-" : "";
  const int E10 = D.IntLen - 1;
  const int Decimals = static_cast<int>(D.Digits.size()) - D.IntLen;
  if (std::fabs(Value) > 1e15 || E10 < -9 || Decimals > 15) {
    std::string S = Sign + D.Digits.substr(0, 1);
    if (D.Digits.size() > 1) S += "." + D.Digits.substr(1);
    return S + "E" + FormatExponent(E10, '+', 2);
  }
  std::string S = Sign;
  const std::string Int = IntegerDigits(D);
  S += Int.empty() ? "0" : Int;
  if (Decimals > 0) S += "." + FractionDigits(D, Decimals);
  return S;
}

}  // namespace kv
