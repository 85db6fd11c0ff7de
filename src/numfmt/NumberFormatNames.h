// Month and day names of the locales a format code's [$-LCID] tag selects.
#ifndef KV_NUMFMT_NUMBERFORMATNAMES_H
#define KV_NUMFMT_NUMBERFORMATNAMES_H

#include <cstdint>

namespace kv {

struct TDateNames {
  uint16_t Language;  // primary language id: the low ten bits of an LCID
  const char* MonthsShort[12];
  const char* Months[12];
  const char* DaysShort[7];  // Sunday first
  const char* Days[7];
};

// The names of the LCID's language; English for a language without a table
// (and for 0, no tag).
const TDateNames& DateNamesFor(uint32_t Lcid);

}  // namespace kv

#endif
