// fvhost's script language. A script is a list of lines; each line is a
// command word followed by arguments, separated by blanks. An argument in
// double quotes may hold blanks; inside quotes \" is a quote, \\ a backslash,
// \r and \n the control characters. ${NAME} expands to a definition (--define
// NAME=VALUE, plus DLL, TMP and SRC). Lines starting with # are comments.
// "repeat N [VAR]" ... "end" runs the lines between N times, with ${VAR} the
// round (1 to N); blocks nest.
//
// Commands register themselves with a static TScriptCommand in any Cmd*.cpp;
// a command prints what it observed and reports mismatches with Fail(), which
// makes fvhost exit non-zero at the end. An expectation about what the host's
// thread will come to show (a viewer moved by its timer, a page changed by a
// posted command) registers as TCheck::Eventually: it is checked again, with
// messages dispatched in between, until it holds or kEventuallyMs have passed,
// and only its last check's output counts. Scripts wait on those rather than
// on "pump MS".
#ifndef KV_TOOLS_FVHOST_SCRIPT_H
#define KV_TOOLS_FVHOST_SCRIPT_H

#include <map>
#include <string>
#include <vector>

#include "base/WideText.h"

namespace fvhost {

using TArgs = std::vector<std::string>;

class TScript;
using TCommandFn = void (*)(TScript& S, const TArgs& Args);

enum class TCheck { Once, Eventually };
constexpr int kEventuallyMs = 5000;

// Registers a command under the first word of its usage line ("load DLL" is
// the command "load").
struct TScriptCommand {
  TScriptCommand(const char* Usage, TCommandFn Fn, TCheck Check = TCheck::Once);
};

class TScript {
 public:
  // Tokenises one line; throws std::runtime_error on an unclosed quote.
  static TArgs Tokenize(const std::string& Line);

  void Define(const std::string& Name, const std::string& Value) { FDefines[Name] = Value; }
  std::string Expand(const std::string& Text) const;

  // Runs every line; returns the number of failures.
  int Run(const std::vector<std::string>& Lines);
  void Fail(const std::string& Message);
  void Print(const std::string& Line);
  // Requires at least N arguments; fails the line with the running command's
  // usage otherwise.
  bool Need(const TArgs& Args, size_t N);
  // Fails the line with the running command's usage.
  void FailUsage();

  int Failures() const { return FFailures; }
  int CurrentLine() const { return FLine; }

 private:
  void RunLines(const std::vector<std::string>& Lines, size_t Begin, size_t End);
  void Call(TCommandFn Fn, const TArgs& Args);
  // Runs Fn until it fails nothing (TCheck::Eventually), then keeps the
  // output of its last run.
  void CallUntilHeld(TCommandFn Fn, const TArgs& Args);

  std::map<std::string, std::string> FDefines;
  int FFailures = 0;
  int FLine = 0;
  const char* FUsage = "";  // of the command running
  // While set, Print and Fail go here (true: a failure) instead of out.
  std::vector<std::pair<bool, std::string>>* FHeld = nullptr;
};

// UTF-8 <-> wide text for Win32 calls.
using kv::Utf8OfWide;
using kv::WideOf;
// A Unix path ("/tmp/x") as Wine's drive Z: path ("Z:\tmp\x"); other text unchanged.
std::string HostPath(const std::string& S);

}  // namespace fvhost

#endif
