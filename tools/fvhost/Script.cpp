#include "Script.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Host.h"
#include "base/Text.h"

namespace fvhost {

namespace {

struct TEntry {
  const char* Usage;
  TCommandFn Fn;
  TCheck Check;
};

std::map<std::string, TEntry>& Commands() {
  static std::map<std::string, TEntry> Table;
  return Table;
}

}  // namespace

TScriptCommand::TScriptCommand(const char* Usage, TCommandFn Fn, TCheck Check) {
  Commands()[std::string(Usage, std::strcspn(Usage, " "))] = {Usage, Fn, Check};
}

std::string HostPath(const std::string& S) {
  if (S.empty() || S[0] != '/') return S;
  std::string R = "Z:" + S;
  for (char& C : R)
    if (C == '/') C = '\\';
  return R;
}

TArgs TScript::Tokenize(const std::string& Line) {
  TArgs Args;
  size_t I = 0;
  while (I < Line.size()) {
    while (I < Line.size() && (Line[I] == ' ' || Line[I] == '\t' || Line[I] == '\r')) ++I;
    if (I >= Line.size()) break;
    std::string Tok;
    if (Line[I] == '"') {
      ++I;
      bool Closed = false;
      while (I < Line.size()) {
        char C = Line[I++];
        if (C == '"') {
          Closed = true;
          break;
        }
        if (C == '\\' && I < Line.size()) {
          char N = Line[I++];
          Tok += N == 'r' ? '\r' : N == 'n' ? '\n' : N == 't' ? '\t' : N;
        } else {
          Tok += C;
        }
      }
      if (!Closed) throw std::runtime_error("unclosed quote");
    } else {
      while (I < Line.size() && Line[I] != ' ' && Line[I] != '\t' && Line[I] != '\r')
        Tok += Line[I++];
    }
    Args.push_back(Tok);
  }
  return Args;
}

std::string TScript::Expand(const std::string& Text) const {
  std::string R;
  size_t I = 0;
  while (I < Text.size()) {
    if (Text.compare(I, 2, "${") == 0) {
      size_t E = Text.find('}', I);
      if (E != std::string::npos) {
        auto It = FDefines.find(Text.substr(I + 2, E - I - 2));
        if (It != FDefines.end()) {
          R += It->second;
          I = E + 1;
          continue;
        }
      }
    }
    R += Text[I++];
  }
  return R;
}

void TScript::Fail(const std::string& Message) {
  if (FHeld) return void(FHeld->emplace_back(true, Message));
  ++FFailures;
  Print("FAIL line " + std::to_string(FLine) + ": " + Message);
}

void TScript::Print(const std::string& Line) {
  if (FHeld) return void(FHeld->emplace_back(false, Line));
  std::fputs(Line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool TScript::Need(const TArgs& Args, size_t N) {
  if (Args.size() >= N) return true;
  FailUsage();
  return false;
}

void TScript::FailUsage() {
  Fail(std::string("usage: ") + FUsage);
}

int TScript::Run(const std::vector<std::string>& Lines) {
  RunLines(Lines, 0, Lines.size());
  return FFailures;
}

namespace {

bool IsBlockWord(const std::string& Line, const char* Word) {
  size_t N = std::strlen(Word);
  return Line.compare(0, N, Word) == 0 && (Line.size() == N || Line[N] == ' ' || Line[N] == '\t');
}

}  // namespace

void TScript::RunLines(const std::vector<std::string>& Lines, size_t Begin, size_t End) {
  for (size_t L = Begin; L < End; ++L) {
    FLine = static_cast<int>(L + 1);
    std::string Line = kv::Trim(Lines[L]);
    if (Line.empty() || Line[0] == '#') continue;
    TArgs Args;
    try {
      Args = Tokenize(Line);
    } catch (const std::exception& E) {
      Fail(E.what());
      continue;
    }
    for (std::string& A : Args) A = Expand(A);
    if (Args[0] == "repeat") {
      size_t Close = L + 1;
      for (int Depth = 1; Close < End; ++Close) {
        std::string T = kv::Trim(Lines[Close]);
        if (IsBlockWord(T, "repeat")) ++Depth;
        if (IsBlockWord(T, "end") && --Depth == 0) break;
      }
      auto Count = Args.size() > 1 ? kv::TryParseInt32(Args[1]) : std::nullopt;
      if (Close >= End || !Count || *Count < 0) {
        Fail("usage: repeat N [VAR] ... end");
        return;
      }
      for (int Round = 1; Round <= *Count; ++Round) {
        if (Args.size() > 2) Define(Args[2], std::to_string(Round));
        RunLines(Lines, L + 1, Close);
      }
      L = Close;
      continue;
    }
    auto It = Commands().find(Args[0]);
    if (It == Commands().end()) {
      Fail("unknown command " + Args[0]);
      continue;
    }
    const TArgs CommandArgs(Args.begin() + 1, Args.end());
    FUsage = It->second.Usage;
    if (It->second.Check == TCheck::Eventually)
      CallUntilHeld(It->second.Fn, CommandArgs);
    else
      Call(It->second.Fn, CommandArgs);
  }
}

void TScript::Call(TCommandFn Fn, const TArgs& Args) {
  try {
    Fn(*this, Args);
  } catch (const std::exception& E) {
    Fail(std::string("error: ") + E.what());
  }
}

void TScript::CallUntilHeld(TCommandFn Fn, const TArgs& Args) {
  std::vector<std::pair<bool, std::string>> Out;
  THost::Get().WaitUntil(
      [&] {
        Out.clear();
        FHeld = &Out;
        Call(Fn, Args);
        FHeld = nullptr;
        return std::none_of(Out.begin(), Out.end(), [](const auto& O) { return O.first; });
      },
      kEventuallyMs);
  for (const auto& [Failed, Text] : Out)
    if (Failed)
      Fail(Text + " (still so after " + std::to_string(kEventuallyMs) + " ms)");
    else
      Print(Text);
}

}  // namespace fvhost
