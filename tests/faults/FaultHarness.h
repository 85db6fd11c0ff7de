// Runs a writer once for every fault it can meet: each of its steps at each
// fault point in turn (creating a file, every single write, the flush, the
// final move) and a size limit at several places in its output. After every
// run the folder is compared with the folder before and with the folder a
// fault-free run leaves: a file the writer was asked to write is whole and new
// exactly when the writer reported success, and otherwise as it was; files
// written on the side are old or new, never in part; a log only gains whole
// entries; nothing else appears, temporary files included; a failure's
// message names the file.
#ifndef KV_TESTS_FAULTS_FAULTHARNESS_H
#define KV_TESTS_FAULTS_FAULTHARNESS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Files.h"
#include "support/TempDir.h"

namespace kv::test {

// Totals over the whole program, printed when it ends.
struct TFaultTotals {
  int Injected = 0;  // runs in which at least one fault was injected
  int Survived = 0;  // of those, runs after which every rule held
  int Damaged = 0;   // damaged packages loaded
  int Answered = 0;  // of those, refused clearly or read correctly
};
inline TFaultTotals& FaultTotals() {
  static TFaultTotals T;
  return T;
}

// Installs faults for the lifetime of the scope.
class TFaultScope {
 public:
  explicit TFaultScope(TFileFaults& Faults) { SetFileFaults(&Faults); }
  ~TFaultScope() { SetFileFaults(nullptr); }
  TFaultScope(const TFaultScope&) = delete;
  TFaultScope& operator=(const TFaultScope&) = delete;
};

struct TOutcome {
  bool Ok = false;
  std::string Message;  // the failure's message (for the plug-in: "[LastError]")
};

struct TWriterCase {
  std::string Name;
  // Puts the user's files into the (empty) folder.
  std::function<void(const TTempDir&)> Prepare;
  // Runs the writer; never lets an error escape.
  std::function<TOutcome(const TTempDir&)> Run;
  // Files the writer is asked to write.
  std::vector<std::string> Targets;
  // Several targets written one after another: those done before the failure stay.
  bool EarlierTargetsStay = false;
  // Files written besides the targets, whole or not at all.
  std::vector<std::string> Besides;
  // Logs: only ever gain whole entries.
  std::vector<std::string> Logs;
  // A failure's message holds one of these.
  std::vector<std::string> MessageNames;
};

using TSnapshot = std::map<std::string, std::string>;

inline TSnapshot Snapshot(const TTempDir& Dir) {
  TSnapshot S;
  for (const std::string& Name : Dir.List())
    if (std::filesystem::is_regular_file(Dir.File(Name)))
      S[Name] = ReadWholeFile(Dir.File(Name), TShareMode::DenyNone);
    else
      S[Name] = "<folder>";
  return S;
}

inline void Clear(const TTempDir& Dir) {
  for (const std::string& Name : Dir.List()) std::filesystem::remove_all(Dir.File(Name));
}

inline std::optional<std::string> Lookup(const TSnapshot& S, const std::string& Name) {
  auto It = S.find(Name);
  if (It == S.end()) return std::nullopt;
  return It->second;
}

// "yyyy-mm-dd hh:nn:ss  " then the message, CR LF, for every line.
inline bool WholeLogEntries(std::string_view Text) {
  while (!Text.empty()) {
    size_t End = Text.find("\r\n");
    if (End == std::string_view::npos || End < 21) return false;
    std::string_view Line = Text.substr(0, End);
    for (size_t I : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u})
      if (Line[I] < '0' || Line[I] > '9') return false;
    if (Line.substr(19, 2) != "  ") return false;
    Text.remove_prefix(End + 2);
  }
  return true;
}

class TFaultRunner {
 public:
  explicit TFaultRunner(const TWriterCase& Case) : FCase(Case) {}

  // The fault-free run: what a successful write leaves, and how many steps of
  // each kind it takes.
  void RunReference() {
    Clear(FDir);
    FCase.Prepare(FDir);
    FBefore = Snapshot(FDir);
    TFileFaults Counter;
    TOutcome Out;
    {
      TFaultScope Scope(Counter);
      Out = FCase.Run(FDir);
    }
    ASSERT_TRUE(Out.Ok) << FCase.Name << ": " << Out.Message;
    FAfter = Snapshot(FDir);
    for (int P = 0; P < kFaultPointCount; ++P) FSteps[P] = Counter.FSeen[P];
    for (const std::string& T : FCase.Targets)
      FLargest = std::max<int64_t>(FLargest, Lookup(FAfter, T).value_or("").size());
  }

  int Steps(TFaultPoint P) const { return FSteps[static_cast<int>(P)]; }
  int64_t LargestTarget() const { return FLargest; }

  // One run with Faults installed; every rule is checked. Answers whether a
  // fault was injected.
  bool RunWith(TFileFaults Faults, const std::string& Label) {
    Clear(FDir);
    FCase.Prepare(FDir);
    EXPECT_EQ(Snapshot(FDir), FBefore) << FCase.Name << ": preparation is not repeatable";
    TOutcome Out;
    {
      TFaultScope Scope(Faults);
      Out = FCase.Run(FDir);
    }
    if (Faults.FInjected == 0) return false;
    const int FailuresBefore = CurrentFailures();
    Check(Out, Snapshot(FDir), FCase.Name + ", " + Label);
    ++FaultTotals().Injected;
    if (CurrentFailures() == FailuresBefore) ++FaultTotals().Survived;
    return true;
  }

  // Every step at every point, then size limits across the largest target.
  // Answers how many runs had a fault injected.
  int RunAll() {
    RunReference();
    if (::testing::Test::HasFatalFailure()) return 0;
    static const char* const kPointNames[] = {"create", "write", "flush", "replace"};
    int Injected = 0;
    for (int P = 0; P < kFaultPointCount; ++P)
      for (int N = 1; N <= FSteps[P]; ++N) {
        TFileFaults F;
        F.FPoint = static_cast<TFaultPoint>(P);
        F.FFailAt = N;
        Injected += RunWith(F, std::string(kPointNames[P]) + " step " + std::to_string(N));
      }
    std::set<int64_t> Limits = {0, 1, FLargest / 3, FLargest / 2, FLargest * 2 / 3, FLargest - 1};
    for (int64_t K : Limits) {
      if (K < 0) continue;
      TFileFaults F;
      F.FByteLimit = K;
      Injected += RunWith(F, "size limit " + std::to_string(K));
    }
    return Injected;
  }

 private:
  static int CurrentFailures() {
    const ::testing::TestResult* R =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int N = 0;
    for (int I = 0; I < R->total_part_count(); ++I)
      if (R->GetTestPartResult(I).failed()) ++N;
    return N;
  }

  static bool Contains(const std::vector<std::string>& V, const std::string& S) {
    return std::find(V.begin(), V.end(), S) != V.end();
  }

  void Check(const TOutcome& Out, const TSnapshot& Now, const std::string& Where) {
    int TargetsKept = 0;
    for (const std::string& T : FCase.Targets) {
      auto Old = Lookup(FBefore, T), New = Lookup(FAfter, T), Got = Lookup(Now, T);
      if (Out.Ok) {
        EXPECT_EQ(Got, New) << Where << ": " << T << " is not the new file after success";
      } else if (Got == Old) {
        ++TargetsKept;
      } else {
        EXPECT_TRUE(FCase.EarlierTargetsStay && Got == New)
            << Where << ": " << T << " changed by a failed write (" << Out.Message << ")";
      }
    }
    if (!Out.Ok) {
      EXPECT_GT(TargetsKept, 0) << Where << ": failure reported, every target written";
      bool Named = false;
      for (const std::string& N : FCase.MessageNames)
        Named = Named || Out.Message.find(N) != std::string::npos;
      EXPECT_TRUE(Named) << Where << ": the message does not name the file: " << Out.Message;
      EXPECT_EQ(Out.Message.find('\0'), std::string::npos) << Where;
    }
    for (const std::string& B : FCase.Besides) {
      auto Got = Lookup(Now, B);
      EXPECT_TRUE(Got == Lookup(FBefore, B) || Got == Lookup(FAfter, B))
          << Where << ": " << B << " is neither old nor new";
    }
    for (const std::string& L : FCase.Logs) {
      const std::string Old = Lookup(FBefore, L).value_or("");
      const auto Got = Lookup(Now, L);
      if (!Got) {
        EXPECT_FALSE(Lookup(FBefore, L)) << Where << ": " << L << " vanished";
        continue;
      }
      EXPECT_EQ(Got->compare(0, Old.size(), Old), 0) << Where << ": " << L << " lost its entries";
      EXPECT_TRUE(Got->size() >= Old.size() &&
                  WholeLogEntries(std::string_view(*Got).substr(std::min(Old.size(), Got->size()))))
          << Where << ": " << L << " has a partial entry:\n"
          << *Got;
    }
    for (const auto& [Name, Bytes] : Now) {
      if (Contains(FCase.Targets, Name) || Contains(FCase.Besides, Name) ||
          Contains(FCase.Logs, Name))
        continue;
      EXPECT_EQ(Lookup(FBefore, Name), Bytes) << Where << ": " << Name << " was left or changed";
    }
    for (const auto& [Name, Bytes] : FBefore)
      EXPECT_TRUE(Now.count(Name)) << Where << ": " << Name << " was removed";
  }

  const TWriterCase& FCase;
  TTempDir FDir;
  TSnapshot FBefore, FAfter;
  int FSteps[kFaultPointCount] = {};
  int64_t FLargest = 0;
};

}  // namespace kv::test

#endif
