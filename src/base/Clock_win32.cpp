#include "base/Clock.h"

#include <windows.h>

namespace kv {

TLocalTime NowLocal() {
  SYSTEMTIME St;
  GetLocalTime(&St);
  return {St.wYear, St.wMonth, St.wDay, St.wHour, St.wMinute, St.wSecond};
}

}  // namespace kv
