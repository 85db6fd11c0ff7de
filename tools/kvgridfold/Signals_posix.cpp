// Every write of the tool goes through a temporary file that a failed write
// removes. A file-size limit (ulimit -f) must reach it as that failed write,
// not as the signal that would end the process with the temporary file left
// behind; ignored, the signal turns into an error the tool reports.
#include <csignal>

namespace {

const bool kFileSizeSignalIgnored = [] {
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}();

}  // namespace
