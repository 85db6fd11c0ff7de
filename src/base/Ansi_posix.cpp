#include "base/Ansi.h"

#include "base/Text.h"

namespace kv {

std::string AnsiToUtf8(std::string_view Bytes) {
  return Windows1252ToUtf8(Bytes);
}

std::string Utf8ToAnsi(std::string_view Text, bool* Lossless) {
  return Utf8ToWindows1252(Text, '?', Lossless);
}

unsigned AnsiCodePage() {
  return 1252;
}

}  // namespace kv
