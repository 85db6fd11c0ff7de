#include <cstdio>
#include <map>

#include "Cli.h"
#include "base/Error.h"

namespace kv::cli {

namespace {

struct TEntry {
  const char* Usage;
  TCommandFn Fn;
};

std::map<std::string, TEntry>& Commands() {
  static std::map<std::string, TEntry> Table;
  return Table;
}

void PrintUsage() {
  std::fprintf(stderr, "usage: kvgridfold COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& [Name, Entry] : Commands()) std::fprintf(stderr, "  %s\n", Entry.Usage);
}

}  // namespace

TCliCommand::TCliCommand(const char* Name, const char* Usage, TCommandFn Fn) {
  Commands()[Name] = {Usage, Fn};
}

void UsageError(const std::string& Usage) {
  throw TKvError("usage: kvgridfold " + Usage);
}

bool TakeOption(TArgs& Args, const std::string& Option, std::string& Value) {
  for (size_t I = 0; I < Args.size(); ++I) {
    if (Args[I] != Option) continue;
    if (I + 1 >= Args.size()) throw TKvError(Option + " needs a value");
    Value = Args[I + 1];
    Args.erase(Args.begin() + static_cast<long>(I), Args.begin() + static_cast<long>(I) + 2);
    return true;
  }
  return false;
}

bool TakeFlag(TArgs& Args, const std::string& Flag) {
  for (size_t I = 0; I < Args.size(); ++I) {
    if (Args[I] != Flag) continue;
    Args.erase(Args.begin() + static_cast<long>(I));
    return true;
  }
  return false;
}

}  // namespace kv::cli

int main(int argc, char** argv) {
  using namespace kv::cli;
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  auto It = Commands().find(argv[1]);
  if (It == Commands().end()) {
    std::fprintf(stderr, "kvgridfold: unknown command \"%s\"\n", argv[1]);
    PrintUsage();
    return 2;
  }
  TArgs Args(argv + 2, argv + argc);
  try {
    return It->second.Fn(Args);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "kvgridfold: %s\n", kv::ErrorMessage(E).c_str());
    return 1;
  }
}
