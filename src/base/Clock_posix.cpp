#include "base/Clock.h"

#include <ctime>

namespace kv {

TLocalTime NowLocal() {
  std::time_t Now = std::time(nullptr);
  std::tm Tm{};
  localtime_r(&Now, &Tm);
  return {Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour, Tm.tm_min, Tm.tm_sec};
}

}  // namespace kv
