// Text helpers shared by every module. Text is UTF-8 in std::string. Case
// folding and comparison touch only the ASCII letters A-Z/a-z; trimming removes
// characters with codes 0 to 32 at both ends. Counts of characters that must
// match what a Windows program sees are taken in UTF-16 code units.
#ifndef KV_BASE_TEXT_H
#define KV_BASE_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
bool IsBlank(std::string_view S);  // empty after Trim

char AsciiUpperChar(char C);
char AsciiLowerChar(char C);
std::string AsciiUpper(std::string_view S);
std::string AsciiLower(std::string_view S);
bool SameTextAscii(std::string_view A, std::string_view B);
bool StartsWithAscii(std::string_view S, std::string_view Prefix);  // ignoring ASCII case
bool EndsWithAscii(std::string_view S, std::string_view Suffix);    // ignoring ASCII case
// Position of Needle in S ignoring ASCII case, or npos.
size_t FindAscii(std::string_view S, std::string_view Needle, size_t From = 0);
// Replaces every occurrence of Needle (ignoring ASCII case) by Replacement.
std::string ReplaceAllAscii(std::string_view S, std::string_view Needle,
                            std::string_view Replacement);
// Replaces every occurrence of Needle (exact case).
std::string ReplaceAll(std::string_view S, std::string_view Needle, std::string_view Replacement);
std::vector<std::string> SplitString(std::string_view S, char Separator);

// Decimal integer with optional sign and surrounding nothing (no blanks), as
// a strict StrToInt: nullopt for anything else or out of 32-bit range.
std::optional<int32_t> TryParseInt32(std::string_view S);
int32_t ParseInt32Or(std::string_view S, int32_t Default);
std::optional<int64_t> TryParseInt64(std::string_view S);

// One UTF-8 decoder serves every function below: a malformed sequence (each
// maximal part of one that could begin a valid sequence, or else one byte)
// becomes U+FFFD once.
//
// The code point at S[I] (I < S.size()), advancing I past its sequence. With
// Surrogates, a surrogate encoded on its own is returned as such, not as
// U+FFFD (text that carries escaped surrogates through).
char32_t NextCodePoint(std::string_view S, size_t& I, bool Surrogates = false);
// UTF-8 <-> UTF-16. Unpaired UTF-16 surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view S);
std::string Utf16ToUtf8(std::u16string_view S);
std::string CodePointToUtf8(char32_t Cp);
// Length in UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view S);
// The first N UTF-16 code units of a UTF-8 text (a surrogate pair is not split).
std::string Utf16Prefix(std::string_view S, size_t N);
bool IsValidUtf8(std::string_view S);
// Whether every byte of S is below 0x80 (S is ASCII, so valid UTF-8 as it stands).
bool IsAscii(std::string_view S);
// Length of the longest prefix of S that is whole UTF-8 sequences or
// malformed ones: a lead byte at the end still waiting for its continuation
// bytes is left out, so text arriving in pieces is repaired piece by piece.
size_t CompleteUtf8Prefix(std::string_view S);
// Appends S to Out with every malformed UTF-8 sequence replaced by U+FFFD,
// once. Valid text is appended unchanged.
void AppendRepairedUtf8(std::string& Out, std::string_view S);
std::string RepairUtf8(std::string_view S);

// Windows-1252. Decode maps every byte (the five undefined ones to the C1
// control of the same value, as Windows does). Encode maps what the code page
// holds; anything else becomes Replacement. *Lossless, when given, tells
// whether every character was kept.
std::string Windows1252ToUtf8(std::string_view Bytes);
std::string Utf8ToWindows1252(std::string_view S, char Replacement = '?', bool* Lossless = nullptr);
// The Windows-1252 byte of a code point, or -1.
int Windows1252ByteOf(char32_t Cp);

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1.
int HexDigitValue(char C);

}  // namespace kv

#endif
