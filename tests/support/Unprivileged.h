// Permission cases that root would bypass. A test that needs an ordinary
// user's rights starts with
//     if (test::RerunUnprivileged()) return;
// Run as root on POSIX, the test then runs again in a child process as the
// user nobody (through setpriv) and passes when the child passes; run as
// anyone else, or on Windows, it runs here.
#ifndef KV_TESTS_SUPPORT_UNPRIVILEGED_H
#define KV_TESTS_SUPPORT_UNPRIVILEGED_H

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kv::test {

// The system's text for a refused write: Windows's words, which the POSIX
// build gives too (Wine words it its own way).
inline std::string AccessDeniedText() {
#ifdef _WIN32
  char* Buf = nullptr;
  const DWORD N = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<char*>(&Buf), 0, nullptr);
  std::string Text(Buf ? Buf : "", N);
  if (Buf) LocalFree(Buf);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.pop_back();
  return Text;
#else
  return "Access is denied.";
#endif
}

// True when the test body must not run in this process.
inline bool RerunUnprivileged() {
#ifdef _WIN32
  return false;
#else
  if (::geteuid() != 0) return false;
  const ::testing::TestInfo* Info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string Filter =
      "--gtest_filter=" + std::string(Info->test_suite_name()) + "." + Info->name();
  char Self[4096];
  const ssize_t N = ::readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) {
    ADD_FAILURE() << "cannot find the test program";
    return true;
  }
  Self[N] = '\0';
  const pid_t Child = ::fork();
  if (Child == 0) {
    ::execlp("setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", Self,
             Filter.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int Status = 0;
  if (Child < 0 || ::waitpid(Child, &Status, 0) != Child) {
    ADD_FAILURE() << "cannot run the test as another user";
    return true;
  }
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0)
      << "as the user nobody: " << Filter << " failed (status " << Status << ")";
  return true;
#endif
}

}  // namespace kv::test

#endif
