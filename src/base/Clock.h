// Local time for the import log and reports.
#ifndef KV_BASE_CLOCK_H
#define KV_BASE_CLOCK_H

#include <string>

namespace kv {

struct TLocalTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

TLocalTime NowLocal();
// "yyyy-mm-dd hh:nn:ss", 24-hour clock.
std::string FormatTimestamp(const TLocalTime& T);

}  // namespace kv

#endif
