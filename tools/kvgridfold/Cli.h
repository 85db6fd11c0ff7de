// The command table of the kvgridfold tool. Each command lives in its own
// Cmd*.cpp file and registers itself with a static TCliCommand; main() looks
// the first argument up and runs the command with the remaining arguments.
// A command returns the process exit code; errors it raises as TKvError are
// printed as "kvgridfold: <message>" with exit code 1.
#ifndef KV_TOOLS_KVGRIDFOLD_CLI_H
#define KV_TOOLS_KVGRIDFOLD_CLI_H

#include <string>
#include <vector>

namespace kv::cli {

using TArgs = std::vector<std::string>;
using TCommandFn = int (*)(const TArgs& Args);

struct TCliCommand {
  TCliCommand(const char* Name, const char* Usage, TCommandFn Fn);
};

// Raises TKvError with a usage message.
[[noreturn]] void UsageError(const std::string& Usage);

// The value after Option ("--sheet X") in Args, removed from Args; empty when absent.
bool TakeOption(TArgs& Args, const std::string& Option, std::string& Value);
bool TakeFlag(TArgs& Args, const std::string& Flag);

}  // namespace kv::cli

namespace kv {
class TXlsxWorkbook;
struct TCalcValue;
}  // namespace kv

namespace kv::cli {

// A computed value as the tool prints it: numbers in the stored notation,
// TRUE/FALSE, error codes.
std::string CalcValueText(const TCalcValue& V);

// The sheet named (ASCII case ignored) or numbered (1-based) by Spec.
// Raises: TKvError when there is none.
int FindSheetIndex(const TXlsxWorkbook& Book, const std::string& Spec);

}  // namespace kv::cli

#endif
