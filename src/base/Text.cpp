#include "base/Text.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace kv {

namespace {

bool IsTrimmed(unsigned char C) {
  return C <= 32;
}

// Code points of bytes 0x80..0x9F in Windows-1252; 0 marks the five undefined bytes.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Length of the valid sequence at S[I], or, for a malformed one, the length
// of its maximal part that could still begin a valid sequence (at least 1).
// Sets Valid accordingly. With Surrogates, an encoded surrogate is valid.
size_t Utf8SequenceAt(std::string_view S, size_t I, bool& Valid, bool Surrogates = false) {
  const unsigned char C = static_cast<unsigned char>(S[I]);
  Valid = false;
  size_t Len = 0;
  unsigned char Lo = 0x80, Hi = 0xBF;  // range of the second byte
  if (C < 0x80) {
    Valid = true;
    return 1;
  } else if (C >= 0xC2 && C <= 0xDF) {
    Len = 2;
  } else if (C >= 0xE0 && C <= 0xEF) {
    Len = 3;
    if (C == 0xE0) Lo = 0xA0;
    if (C == 0xED && !Surrogates) Hi = 0x9F;
  } else if (C >= 0xF0 && C <= 0xF4) {
    Len = 4;
    if (C == 0xF0) Lo = 0x90;
    if (C == 0xF4) Hi = 0x8F;
  } else {
    return 1;
  }
  for (size_t K = 1; K < Len; ++K) {
    if (I + K >= S.size()) return K;
    const unsigned char D = static_cast<unsigned char>(S[I + K]);
    if (K == 1 ? (D < Lo || D > Hi) : (D & 0xC0) != 0x80) return K;
  }
  Valid = true;
  return Len;
}

}  // namespace

char32_t NextCodePoint(std::string_view S, size_t& I, bool Surrogates) {
  const unsigned char C = static_cast<unsigned char>(S[I]);
  if (C < 0x80) {
    ++I;
    return C;
  }
  bool Valid = false;
  const size_t Len = Utf8SequenceAt(S, I, Valid, Surrogates);
  if (!Valid) {
    I += Len;
    return 0xFFFD;
  }
  char32_t Cp = C & (0x7Fu >> Len);
  for (size_t K = 1; K < Len; ++K) Cp = (Cp << 6) | (static_cast<unsigned char>(S[I + K]) & 0x3F);
  I += Len;
  return Cp;
}

std::string Trim(std::string_view S) {
  size_t B = 0, E = S.size();
  while (B < E && IsTrimmed(S[B])) ++B;
  while (E > B && IsTrimmed(S[E - 1])) --E;
  return std::string(S.substr(B, E - B));
}

std::string TrimLeft(std::string_view S) {
  size_t B = 0;
  while (B < S.size() && IsTrimmed(S[B])) ++B;
  return std::string(S.substr(B));
}

std::string TrimRight(std::string_view S) {
  size_t E = S.size();
  while (E > 0 && IsTrimmed(S[E - 1])) --E;
  return std::string(S.substr(0, E));
}

bool IsBlank(std::string_view S) {
  for (char C : S)
    if (!IsTrimmed(C)) return false;
  return true;
}

char AsciiUpperChar(char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C;
}
char AsciiLowerChar(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C;
}

std::string AsciiUpper(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiUpperChar(C);
  return R;
}

std::string AsciiLower(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiLowerChar(C);
  return R;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (A[I] != B[I] && AsciiUpperChar(A[I]) != AsciiUpperChar(B[I])) return false;
  return true;
}

bool StartsWithAscii(std::string_view S, std::string_view Prefix) {
  return S.size() >= Prefix.size() && SameTextAscii(S.substr(0, Prefix.size()), Prefix);
}

bool EndsWithAscii(std::string_view S, std::string_view Suffix) {
  return S.size() >= Suffix.size() && SameTextAscii(S.substr(S.size() - Suffix.size()), Suffix);
}

size_t FindAscii(std::string_view S, std::string_view Needle, size_t From) {
  if (Needle.empty()) return From <= S.size() ? From : std::string_view::npos;
  for (size_t I = From; I + Needle.size() <= S.size(); ++I)
    if (SameTextAscii(S.substr(I, Needle.size()), Needle)) return I;
  return std::string_view::npos;
}

namespace {

// Every match that Find(S, Needle, From) reports, left to right, replaced.
template <typename TFind>
std::string ReplaceEach(std::string_view S, std::string_view Needle, std::string_view Replacement,
                        TFind Find) {
  if (Needle.empty()) return std::string(S);
  std::string R;
  size_t Pos = 0;
  for (;;) {
    const size_t Hit = Find(S, Needle, Pos);
    if (Hit == std::string_view::npos) break;
    R.append(S.substr(Pos, Hit - Pos));
    R.append(Replacement);
    Pos = Hit + Needle.size();
  }
  R.append(S.substr(Pos));
  return R;
}

}  // namespace

std::string ReplaceAllAscii(std::string_view S, std::string_view Needle,
                            std::string_view Replacement) {
  return ReplaceEach(S, Needle, Replacement, FindAscii);
}

std::string ReplaceAll(std::string_view S, std::string_view Needle, std::string_view Replacement) {
  return ReplaceEach(
      S, Needle, Replacement,
      [](std::string_view In, std::string_view N, size_t From) { return In.find(N, From); });
}

std::vector<std::string> SplitString(std::string_view S, char Separator) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  for (;;) {
    size_t Hit = S.find(Separator, Start);
    if (Hit == std::string_view::npos) {
      Parts.emplace_back(S.substr(Start));
      return Parts;
    }
    Parts.emplace_back(S.substr(Start, Hit - Start));
    Start = Hit + 1;
  }
}

std::optional<int64_t> TryParseInt64(std::string_view S) {
  size_t I = 0;
  bool Negative = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) Negative = S[I++] == '-';
  if (I >= S.size()) return std::nullopt;
  uint64_t V = 0;
  const uint64_t Limit = Negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; I < S.size(); ++I) {
    if (S[I] < '0' || S[I] > '9') return std::nullopt;
    unsigned D = static_cast<unsigned>(S[I] - '0');
    if (V > (Limit - D) / 10) return std::nullopt;
    V = V * 10 + D;
  }
  if (Negative) return V == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(V);
  return static_cast<int64_t>(V);
}

std::optional<int32_t> TryParseInt32(std::string_view S) {
  auto V = TryParseInt64(S);
  if (!V || *V < INT32_MIN || *V > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*V);
}

int32_t ParseInt32Or(std::string_view S, int32_t Default) {
  auto V = TryParseInt32(S);
  return V ? *V : Default;
}

std::string CodePointToUtf8(char32_t Cp) {
  std::string R;
  if (Cp < 0x80) {
    R += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    R += static_cast<char>(0xC0 | (Cp >> 6));
    R += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    R += static_cast<char>(0xE0 | (Cp >> 12));
    R += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    R += static_cast<char>(0xF0 | (Cp >> 18));
    R += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    R += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (Cp & 0x3F));
  }
  return R;
}

std::u16string Utf8ToUtf16(std::string_view S) {
  std::u16string R;
  R.reserve(S.size());
  size_t I = 0;
  while (I < S.size()) {
    char32_t Cp = NextCodePoint(S, I);
    if (Cp >= 0x10000) {
      Cp -= 0x10000;
      R += static_cast<char16_t>(0xD800 + (Cp >> 10));
      R += static_cast<char16_t>(0xDC00 + (Cp & 0x3FF));
    } else {
      R += static_cast<char16_t>(Cp);
    }
  }
  return R;
}

std::string Utf16ToUtf8(std::u16string_view S) {
  std::string R;
  R.reserve(S.size());
  for (size_t I = 0; I < S.size(); ++I) {
    char32_t Cp = S[I];
    if (Cp >= 0xD800 && Cp <= 0xDBFF && I + 1 < S.size() && S[I + 1] >= 0xDC00 &&
        S[I + 1] <= 0xDFFF) {
      Cp = 0x10000 + ((Cp - 0xD800) << 10) + (S[I + 1] - 0xDC00);
      ++I;
    } else if (Cp >= 0xD800 && Cp <= 0xDFFF) {
      Cp = 0xFFFD;
    }
    R += CodePointToUtf8(Cp);
  }
  return R;
}

size_t Utf16Length(std::string_view S) {
  size_t N = 0, I = 0;
  while (I < S.size()) N += NextCodePoint(S, I) >= 0x10000 ? 2 : 1;
  return N;
}

std::string Utf16Prefix(std::string_view S, size_t N) {
  size_t Units = 0, I = 0;
  while (I < S.size()) {
    size_t Start = I;
    size_t Need = NextCodePoint(S, I) >= 0x10000 ? 2 : 1;
    if (Units + Need > N) return std::string(S.substr(0, Start));
    Units += Need;
  }
  return std::string(S);
}

bool IsValidUtf8(std::string_view S) {
  bool Valid = true;
  for (size_t I = 0; I < S.size() && Valid;) I += Utf8SequenceAt(S, I, Valid);
  return Valid;
}

bool IsAscii(std::string_view S) {
  // Eight bytes at a time, four words to a test: parts read through here are
  // megabytes of mostly ASCII markup.
  constexpr uint64_t kHigh = 0x8080808080808080u;
  const char* P = S.data();
  size_t N = S.size();
  for (; N >= 32; P += 32, N -= 32) {
    uint64_t W[4];
    std::memcpy(W, P, sizeof W);
    if ((W[0] | W[1] | W[2] | W[3]) & kHigh) return false;
  }
  for (; N > 0; ++P, --N)
    if (static_cast<unsigned char>(*P) >= 0x80) return false;
  return true;
}

size_t CompleteUtf8Prefix(std::string_view S) {
  // A sequence is at most 4 bytes: only the last 3 can be waiting.
  const size_t From = S.size() > 3 ? S.size() - 3 : 0;
  for (size_t I = From; I < S.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(S[I]);
    if (C < 0xC2 || C > 0xF4) continue;
    bool Valid = false;
    const size_t Len = Utf8SequenceAt(S, I, Valid);
    if (!Valid && I + Len == S.size()) return I;
  }
  return S.size();
}

void AppendRepairedUtf8(std::string& Out, std::string_view S) {
  size_t I = 0, Run = 0;
  while (I < S.size()) {
    if (static_cast<unsigned char>(S[I]) < 0x80) {
      ++I;
      continue;
    }
    bool Valid = false;
    const size_t Len = Utf8SequenceAt(S, I, Valid);
    if (!Valid) {
      Out.append(S.substr(Run, I - Run));
      Out.append("\xEF\xBF\xBD");
      Run = I + Len;
    }
    I += Len;
  }
  Out.append(S.substr(Run));
}

std::string RepairUtf8(std::string_view S) {
  std::string Out;
  Out.reserve(S.size());
  AppendRepairedUtf8(Out, S);
  return Out;
}

std::string Windows1252ToUtf8(std::string_view Bytes) {
  std::string R;
  R.reserve(Bytes.size());
  for (char Ch : Bytes) {
    unsigned char B = static_cast<unsigned char>(Ch);
    if (B < 0x80) {
      R += Ch;
    } else if (B < 0xA0) {
      char16_t Cp = kCp1252High[B - 0x80];
      R += CodePointToUtf8(Cp ? Cp : B);
    } else {
      R += CodePointToUtf8(B);
    }
  }
  return R;
}

int Windows1252ByteOf(char32_t Cp) {
  if (Cp < 0x80 || (Cp >= 0xA0 && Cp <= 0xFF)) return static_cast<int>(Cp);
  for (int K = 0; K < 32; ++K)
    if (kCp1252High[K] == Cp || (kCp1252High[K] == 0 && Cp == char32_t(0x80 + K))) return 0x80 + K;
  return -1;
}

std::string Utf8ToWindows1252(std::string_view S, char Replacement, bool* Lossless) {
  std::string R;
  R.reserve(S.size());
  if (Lossless) *Lossless = true;
  size_t I = 0;
  while (I < S.size()) {
    int B = Windows1252ByteOf(NextCodePoint(S, I));
    if (B < 0) {
      R += Replacement;
      if (Lossless) *Lossless = false;
    } else {
      R += static_cast<char>(B);
    }
  }
  return R;
}

int HexDigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace kv
