// The "_xHHHH_" escapes spreadsheet packages use for characters XML cannot
// hold: HHHH is a UTF-16 code unit in four hex digits (either case), so a
// character beyond the BMP is two escapes. "_x005F_" is a literal
// underscore: it keeps an underscore that would start an escape from being
// read as one, so "_x005F_x0041_" reads "_x0041_". Both directions live
// here so that what saving writes, loading reads back as it was. Neither
// raises.
#ifndef KV_WORKBOOK_CHARESCAPES_H
#define KV_WORKBOOK_CHARESCAPES_H

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

// Whether S[I] is the underscore of an "_xHHHH_" escape.
bool StartsCharEscape(std::string_view S, size_t I);

// Decodes every escape; other text, "_x12_" and "_X0041_" included, stays.
// Escaped surrogates pair up as UTF-16 does; an unpaired one becomes U+FFFD.
std::string DecodeCharEscapes(std::string_view S);

// Escapes what XML 1.0 cannot hold (C0 controls other than TAB, LF and CR,
// U+FFFE, U+FFFF, surrogates encoded on their own) and an underscore that
// starts an escape. InAttribute escapes TAB, LF and CR too, which an
// attribute's value would turn into spaces. Other bytes are copied, so the
// result is still to be escaped as XML text (&, <, >, ").
std::string EncodeCharEscapes(std::string_view S, bool InAttribute);

}  // namespace kv

#endif
