#include "base/Clock.h"

#include <cstdio>

namespace kv {

std::string FormatTimestamp(const TLocalTime& T) {
  char Buf[40];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d", T.Year, T.Month, T.Day, T.Hour,
                T.Minute, T.Second);
  return Buf;
}

}  // namespace kv
