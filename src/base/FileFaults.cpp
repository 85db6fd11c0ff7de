#include "base/Files.h"

namespace kv {

namespace {

TFileFaults* GFaults = nullptr;

bool Applies(const TFileFaults& F, const std::string& Path) {
  return F.FPathContains.empty() || Path.find(F.FPathContains) != std::string::npos;
}

// Counts the step and answers whether it is the chosen one.
bool CountedStepFails(TFileFaults& F, TFaultPoint Point) {
  int Seen = ++F.FSeen[static_cast<int>(Point)];
  return F.FPoint == Point && F.FFailAt > 0 && Seen == F.FFailAt;
}

}  // namespace

void SetFileFaults(TFileFaults* Faults) {
  GFaults = Faults;
}

bool FileFaultsInstalled() {
  return GFaults != nullptr;
}

bool FileFaultDue(TFaultPoint Point, const std::string& Path) {
  if (!GFaults || !Applies(*GFaults, Path)) return false;
  if (GFaults->FBeforeStep) GFaults->FBeforeStep(Point, Path);
  if (!CountedStepFails(*GFaults, Point)) return false;
  ++GFaults->FInjected;
  return true;
}

bool FileWriteFaultDue(const std::string& Path, int64_t At, size_t& Size) {
  if (!GFaults || !Applies(*GFaults, Path)) return false;
  if (GFaults->FBeforeStep) GFaults->FBeforeStep(TFaultPoint::Write, Path);
  TFileFaults& F = *GFaults;
  bool Due = CountedStepFails(F, TFaultPoint::Write);
  if (Due) Size = 0;
  if (!Due && F.FByteLimit >= 0 && At + static_cast<int64_t>(Size) > F.FByteLimit) {
    Due = true;
    Size = At >= F.FByteLimit ? 0 : static_cast<size_t>(F.FByteLimit - At);
  }
  if (Due) ++F.FInjected;
  return Due;
}

}  // namespace kv
