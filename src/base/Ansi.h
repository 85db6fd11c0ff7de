// The ANSI code page port: the 8-bit text of the host boundary and of
// publication files. On Windows this is the system code page (CP_ACP); the
// POSIX build stands in with Windows-1252, which is what the host uses on the
// Western systems the tests imitate.
#ifndef KV_BASE_ANSI_H
#define KV_BASE_ANSI_H

#include <string>
#include <string_view>

namespace kv {

std::string AnsiToUtf8(std::string_view Bytes);
// Characters the code page lacks become '?'; *Lossless, when given, tells
// whether every character survived.
std::string Utf8ToAnsi(std::string_view Text, bool* Lossless = nullptr);
// The code page number (1252 on the POSIX build).
unsigned AnsiCodePage();

}  // namespace kv

#endif
