// Script commands that sample what the process holds, so long runs can prove
// that opening and closing viewers gives everything back: heap bytes in use,
// private bytes and working set, GDI and USER objects, windows and kernel
// handles. "resources-mark NAME" keeps a sample; "expect-resources-back NAME"
// fails when any count has grown past it (memory within a slack) and names
// what stayed: the new kernel handles with their types, the GDI objects of the
// types that grew with what they are (font, brush colour, bitmap size...);
// "expect-resources-grown" with "hold" proves the counts see a leak.
// "expect-growth-per-round FROM TO ROUNDS" is the long runs' check: what the
// ROUNDS rounds between two marks kept, a round, against a small allowance a
// round, so that a one-time cost (Wine's heaps and caches settling, however
// the machine's Wine allocates) passes and a leak of a few KiB a round fails.
// "leak KIB [once]" keeps heap for good, like a leak (or, once, like a cache):
// only the tests of that check use it.
// "memory-watch" samples private bytes and the address space in use on a
// thread of its own until "expect-memory-peak" compares their peaks with a
// budget (Wine reports no peak of private bytes).
//
// Wine answers GetGuiResources with 0 and GetProcessHandleCount with 0, so
// each count falls back to what Wine does keep: GDI objects from the
// process's GDI handle table (the PEB's GdiSharedHandleTable), USER objects as
// the process's windows, handles from the system handle list. Every sample
// says which source each count came from.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "Host.h"
#include "Script.h"
#include "base/Text.h"

namespace fvhost {

namespace {

// Samples and marks keep no heap memory of their own, so that keeping a mark
// does not count as growth: handle lists are fixed arrays (a longer list is
// counted in full and listed in part), marks a fixed table.
struct THandleList {
  static constexpr size_t kMax = 512;
  size_t Count = 0;
  std::pair<uintptr_t, int> Items[kMax];  // value, type index
  void Add(uintptr_t Handle, int Type) {
    if (Count < kMax) Items[Count++] = {Handle, Type};
  }
};

struct TSample {
  size_t HeapBytes = 0;      // busy blocks of every process heap
  size_t HeapCommitted = 0;  // committed bytes of the heaps' regions
  size_t PrivateBytes = 0;
  size_t WorkingSet = 0;
  long Gdi = -1, User = -1, Windows = -1, Handles = -1;
  long TlsSlots = -1;  // thread-local storage indexes in use
  THandleList HandleList;
  THandleList GdiList;  // from the GDI handle table: handle, type byte
  const char* GdiFrom = "";
  const char* UserFrom = "";
  const char* HandlesFrom = "";
};

struct TMark {
  char Name[48] = {};
  TSample Sample;
};
TMark GMarks[32];

TMark* FindMark(const std::string& Name, bool Create) {
  for (TMark& M : GMarks)
    if (M.Name[0] && Name == M.Name) return &M;
  if (!Create || Name.empty() || Name.size() >= sizeof GMarks[0].Name) return nullptr;
  for (TMark& M : GMarks)
    if (!M.Name[0]) {
      std::memcpy(M.Name, Name.c_str(), Name.size() + 1);
      return &M;
    }
  return nullptr;
}

void WalkHeaps(size_t& Busy, size_t& Committed) {
  static HANDLE Heaps[256];
  DWORD N = std::min<DWORD>(GetProcessHeaps(256, Heaps), 256);
  Busy = Committed = 0;
  for (DWORD I = 0; I < N; ++I) {
    if (!HeapLock(Heaps[I])) continue;
    PROCESS_HEAP_ENTRY E{};
    while (HeapWalk(Heaps[I], &E)) {
      if (E.wFlags & PROCESS_HEAP_ENTRY_BUSY) Busy += E.cbData;
      if (E.wFlags & PROCESS_HEAP_REGION) Committed += E.Region.dwCommittedSize;
    }
    HeapUnlock(Heaps[I]);
  }
}

// Entries of the GDI handle table in use. The table is an array of cells,
// each with the object's type in the low byte of a 16-bit field (0: free) and
// its owner's process id. 64-bit Windows uses 24-byte cells, 32-bit Windows
// 16-byte ones; Wine keeps the 24-byte cells in a 32-bit process too (its
// table is shared with WoW64), only the PEB slot that points to it moves.
// A cell's handle is its index with the cell's 16-bit generation above it.
long GdiTableCount(THandleList* Listed) {
  HMODULE Ntdll = GetModuleHandleW(L"ntdll.dll");
  const bool Wide64 = sizeof(void*) == 8 || GetProcAddress(Ntdll, "wine_get_version");
  const size_t PebSlot = sizeof(void*) == 8 ? 0xF8 : 0x94, Cell = Wide64 ? 24 : 16;
  const size_t PidAt = Wide64 ? 8 : 4, TypeAt = Wide64 ? 14 : 10;
  using TQuery = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  auto Query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(Ntdll, "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION Basic{};
  if (!Query || Query(GetCurrentProcess(), 0, &Basic, sizeof Basic, nullptr) != 0) return -1;
  auto* Peb = reinterpret_cast<const unsigned char*>(Basic.PebBaseAddress);
  const unsigned char* Table = *reinterpret_cast<const unsigned char* const*>(Peb + PebSlot);
  if (!Table) return -1;
  MEMORY_BASIC_INFORMATION Info{};
  if (!VirtualQuery(Table, &Info, sizeof Info) || Info.State != MEM_COMMIT) return -1;
  size_t Readable = static_cast<const unsigned char*>(Info.BaseAddress) + Info.RegionSize - Table;
  size_t Cells = std::min<size_t>(Readable / Cell, 0x10000);
  auto Pid = static_cast<unsigned short>(GetCurrentProcessId());
  long Count = 0;
  for (size_t I = 0; I < Cells; ++I) {
    const unsigned char* C = Table + I * Cell;
    unsigned short Owner = static_cast<unsigned short>(C[PidAt] | (C[PidAt + 1] << 8));
    // Wine leaves the owner 0: its table holds only this process's objects.
    if (C[TypeAt] == 0 || (Owner != 0 && Owner != Pid)) continue;
    ++Count;
    const uintptr_t Unique = C[TypeAt - 2] | (C[TypeAt - 1] << 8);
    Listed->Add(I | (Unique << 16), C[TypeAt]);
  }
  return Count;
}

BOOL CALLBACK CountChild(HWND, LPARAM P) {
  ++*reinterpret_cast<long*>(P);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND W, LPARAM P) {
  DWORD Pid = 0;
  GetWindowThreadProcessId(W, &Pid);
  if (Pid != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<long*>(P);
  EnumChildWindows(W, CountChild, P);
  return TRUE;
}

long WindowCount() {
  long N = 0;
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&N));
  return N;
}

// Handles of this process in the system's handle list (information class 64,
// the one with full-width process ids).
long SystemListHandleCount(THandleList* Listed) {
  struct TEntry {
    PVOID Object;
    ULONG_PTR ProcessId, Handle;
    ULONG Access;
    USHORT Trace, Type;
    ULONG Attributes, Reserved;
  };
  struct TList {
    ULONG_PTR Count, Reserved;
    TEntry Entries[1];
  };
  using TQuery = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto Query = reinterpret_cast<TQuery>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!Query) return -1;
  std::vector<unsigned char> Buf(1 << 16);
  for (;;) {
    ULONG Needed = 0;
    LONG Status = Query(64, Buf.data(), ULONG(Buf.size()), &Needed);
    if (Status == 0) break;
    if (ULONG(Status) != 0xC0000004UL || Buf.size() >= (64u << 20)) return -1;
    Buf.resize(Buf.size() * 2);
  }
  auto* List = reinterpret_cast<const TList*>(Buf.data());
  ULONG_PTR Pid = GetCurrentProcessId();
  long Count = 0;
  for (ULONG_PTR I = 0; I < List->Count; ++I)
    if (List->Entries[I].ProcessId == Pid) {
      ++Count;
      if (Listed) Listed->Add(List->Entries[I].Handle, List->Entries[I].Type);
    }
  return Count;
}

std::string HandleTypeName(uintptr_t Handle) {
  using TQuery = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  auto Query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  alignas(8) unsigned char Buf[1024] = {};
  // Information class 2: the object's type, a counted UTF-16 name first.
  if (!Query || Query(reinterpret_cast<HANDLE>(Handle), 2, Buf, sizeof Buf - 2, nullptr) != 0)
    return "?";
  auto* Name = reinterpret_cast<const UNICODE_STRING*>(Buf);
  if (!Name->Buffer) return "?";
  return Utf8OfWide(std::wstring(Name->Buffer, Name->Length / sizeof(wchar_t)));
}

// What a GDI object is, as GetObjectType and GetObject tell it.
std::string GdiObjectText(uintptr_t Handle) {
  auto* Object = reinterpret_cast<HGDIOBJ>(Handle);
  char Buf[160];
  switch (GetObjectType(Object)) {
    case OBJ_FONT: {
      LOGFONTW F{};
      GetObjectW(Object, sizeof F, &F);
      std::snprintf(Buf, sizeof Buf, "font %s %ld weight %ld", Utf8OfWide(F.lfFaceName).c_str(),
                    static_cast<long>(F.lfHeight), static_cast<long>(F.lfWeight));
      return Buf;
    }
    case OBJ_BRUSH: {
      LOGBRUSH B{};
      GetObjectW(Object, sizeof B, &B);
      std::snprintf(Buf, sizeof Buf, "brush style %u colour %06lx", B.lbStyle,
                    static_cast<unsigned long>(B.lbColor));
      return Buf;
    }
    case OBJ_PEN: {
      LOGPEN P{};
      GetObjectW(Object, sizeof P, &P);
      std::snprintf(Buf, sizeof Buf, "pen style %u width %ld colour %06lx", P.lopnStyle,
                    static_cast<long>(P.lopnWidth.x), static_cast<unsigned long>(P.lopnColor));
      return Buf;
    }
    case OBJ_EXTPEN:
      return "extended pen";
    case OBJ_BITMAP: {
      BITMAP B{};
      GetObjectW(Object, sizeof B, &B);
      std::snprintf(Buf, sizeof Buf, "bitmap %ldx%ld %u bpp", static_cast<long>(B.bmWidth),
                    static_cast<long>(B.bmHeight), B.bmBitsPixel);
      return Buf;
    }
    case OBJ_DC:
      return "DC";
    case OBJ_MEMDC:
      return "memory DC";
    case OBJ_REGION:
      return "region";
    case OBJ_PAL:
      return "palette";
    case 0:
      return "?";
    default:
      return "type " + std::to_string(GetObjectType(Object));
  }
}

// The handles in Now's list that Was's lacks, each named by Name; with
// ByType, only those of a type Now holds more of than Was (GDI cells are
// reused under new handles all the time, a type's count says what stays).
std::string NewHandles(const THandleList& Was, const THandleList& Now,
                       std::string (*Name)(uintptr_t), bool ByType = false) {
  auto Held = [](const THandleList& L, int Type) {
    return std::count_if(L.Items, L.Items + L.Count,
                         [&](const auto& E) { return E.second == Type; });
  };
  std::string Text;
  for (size_t I = 0; I < Now.Count; ++I) {
    const int Type = Now.Items[I].second;
    if (std::find(Was.Items, Was.Items + Was.Count, Now.Items[I]) != Was.Items + Was.Count ||
        (ByType && Held(Now, Type) <= Held(Was, Type)))
      continue;
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "0x%llx", static_cast<unsigned long long>(Now.Items[I].first));
    Text += (Text.empty() ? "" : ", ") + std::string(Buf) + " " + Name(Now.Items[I].first);
  }
  return Text;
}

// TLS_MINIMUM_AVAILABLE and the expansion slots of Windows since 2000.
constexpr size_t kTlsIndexes = 64 + 1024;

TSample TakeSample() {
  TSample S;
  WalkHeaps(S.HeapBytes, S.HeapCommitted);
  PROCESS_MEMORY_COUNTERS_EX M{};
  M.cb = sizeof M;
  if (K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&M),
                              sizeof M)) {
    S.PrivateBytes = M.PrivateUsage ? M.PrivateUsage : M.PagefileUsage;
    S.WorkingSet = M.WorkingSetSize;
  }
  S.Gdi = long(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  S.GdiFrom = "GetGuiResources";
  if (S.Gdi == 0) S.Gdi = GdiTableCount(&S.GdiList), S.GdiFrom = "handle table";
  S.Windows = WindowCount();
  S.User = long(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
  S.UserFrom = "GetGuiResources";
  if (S.User == 0) S.User = S.Windows, S.UserFrom = "windows";
  DWORD Handles = 0;
  S.Handles = GetProcessHandleCount(GetCurrentProcess(), &Handles) ? long(Handles) : 0;
  S.HandlesFrom = "GetProcessHandleCount";
  long Listed = SystemListHandleCount(&S.HandleList);
  if (S.Handles == 0) S.Handles = Listed, S.HandlesFrom = "system list";
  // The free indexes, counted by taking them all: a freed index leaves a
  // hole, so the lowest free one says nothing about how many are taken.
  static DWORD Taken[kTlsIndexes];
  long Free = 0;
  while (Free < long(kTlsIndexes) && (Taken[Free] = TlsAlloc()) != TLS_OUT_OF_INDEXES) ++Free;
  for (long I = 0; I < Free; ++I) TlsFree(Taken[I]);
  S.TlsSlots = long(kTlsIndexes) - Free;
  return S;
}

std::string Describe(const TSample& S) {
  char Buf[320];
  std::snprintf(Buf, sizeof Buf,
                "heap %zu KiB (committed %zu KiB), private %zu KiB, working set %zu KiB, GDI %ld "
                "(%s), USER %ld (%s), "
                "windows %ld, handles %ld (%s), TLS slots %ld",
                S.HeapBytes / 1024, S.HeapCommitted / 1024, S.PrivateBytes / 1024,
                S.WorkingSet / 1024, S.Gdi, S.GdiFrom, S.User, S.UserFrom, S.Windows, S.Handles,
                S.HandlesFrom, S.TlsSlots);
  return Buf;
}

// Lets queued messages (timer ticks, destruction notices) arrive before a
// sample, so counts do not depend on what is still in the queue.
TSample SettledSample() {
  THost::Get().Pump(20);
  return TakeSample();
}

void CmdResources(TScript& S, const TArgs& A) {
  S.Print("resources" + (A.empty() ? std::string() : " " + A[0]) + ": " +
          Describe(SettledSample()));
}

void CmdResourcesMark(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  TMark* M = FindMark(A[0], true);
  if (!M) return S.Fail("no room for resources mark " + A[0]);
  M->Sample = SettledSample();
  S.Print("resources mark " + A[0] + ": " + Describe(M->Sample));
}

// expect-resources-back NAME [--memory-slack KiB] [--private-slack KiB]
// [--handle-slack N] [--tls-slack N] [--gdi-slack N]: the USER object and
// window counts are at most the mark's, the GDI objects, handles and TLS slots
// in use at most the mark's plus their slack (default 0); heap bytes in use at most the mark's plus
// the memory slack (default 64 KiB), private bytes plus the private slack (default 1024 KiB). The
// working set is printed only: it follows paging, not what the program holds.
void CmdExpectResourcesBack(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  const TMark* Mark = FindMark(A[0], false);
  if (!Mark) return S.Fail("no resources mark " + A[0]);
  long MemorySlack = 64, PrivateSlack = 1024, HandleSlack = 0, TlsSlack = 0, GdiSlack = 0;
  for (size_t I = 1; I < A.size(); I += 2) {
    int32_t Value = I + 1 < A.size() ? kv::ParseInt32Or(A[I + 1], -1) : -1;
    long* Slack = A[I] == "--memory-slack"    ? &MemorySlack
                  : A[I] == "--private-slack" ? &PrivateSlack
                  : A[I] == "--handle-slack"  ? &HandleSlack
                  : A[I] == "--tls-slack"     ? &TlsSlack
                  : A[I] == "--gdi-slack"     ? &GdiSlack
                                              : nullptr;
    if (Value < 0 || !Slack) return S.FailUsage();
    *Slack = Value;
  }
  const TSample& M = Mark->Sample;
  static TSample Now;
  Now = SettledSample();
  S.Print("resources against " + A[0] + ": " + Describe(Now));
  auto Count = [&](const char* What, long Was, long Is, long Slack = 0) {
    if (Is > Was + Slack)
      S.Fail(std::string(What) + " grew from " + std::to_string(Was) + " to " + std::to_string(Is) +
             " since mark " + A[0]);
  };
  Count("GDI objects", M.Gdi, Now.Gdi, GdiSlack);
  Count("USER objects", M.User, Now.User);
  Count("windows", M.Windows, Now.Windows);
  Count("handles", M.Handles, Now.Handles, HandleSlack);
  Count("TLS slots", M.TlsSlots, Now.TlsSlots, TlsSlack);
  if (Now.Handles > M.Handles + HandleSlack)
    S.Print("new handles: " + NewHandles(M.HandleList, Now.HandleList, HandleTypeName));
  if (Now.Gdi > M.Gdi + GdiSlack)
    S.Print("new GDI objects: " + NewHandles(M.GdiList, Now.GdiList, GdiObjectText, true));
  auto Memory = [&](const char* What, size_t Was, size_t Is, long SlackKiB) {
    if (Is > Was + size_t(SlackKiB) * 1024)
      S.Fail(std::string(What) + " grew by " + std::to_string((Is - Was) / 1024) +
             " KiB since mark " + A[0] + " (slack " + std::to_string(SlackKiB) + " KiB)");
  };
  Memory("heap in use", M.HeapBytes, Now.HeapBytes, MemorySlack);
  Memory("private bytes", M.PrivateBytes, Now.PrivateBytes, PrivateSlack);
}

// expect-resources-grown NAME KIND MIN...: each KIND (gdi, user, windows,
// handles, heap in KiB) has grown by at least MIN since the mark; proves that
// the counts see what a leak would hold.
void CmdExpectResourcesGrown(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  const TMark* Mark = FindMark(A[0], false);
  if (!Mark) return S.Fail("no resources mark " + A[0]);
  static TSample Now;
  Now = SettledSample();
  S.Print("resources against " + A[0] + ": " + Describe(Now));
  const TSample& M = Mark->Sample;
  for (size_t I = 1; I + 1 < A.size(); I += 2) {
    auto Min = kv::TryParseInt32(A[I + 1]);
    long long Grown = A[I] == "gdi"       ? Now.Gdi - M.Gdi
                      : A[I] == "user"    ? Now.User - M.User
                      : A[I] == "windows" ? Now.Windows - M.Windows
                      : A[I] == "handles" ? Now.Handles - M.Handles
                      : A[I] == "heap" ? ((long long)Now.HeapBytes - (long long)M.HeapBytes) / 1024
                                       : LLONG_MIN;
    if (!Min || Grown == LLONG_MIN) return S.FailUsage();
    if (Grown < *Min)
      S.Fail(A[I] + " grew by " + std::to_string(Grown) + " since mark " + A[0] +
             ", expected at least " + std::to_string(*Min));
  }
}

// A per-round allowance: a number, fractions allowed (0.1 handles a round is
// one handle in ten rounds); -1 when the text is none.
double ParseAllowance(const std::string& Text) {
  char* End = nullptr;
  double Value = std::strtod(Text.c_str(), &End);
  return Text.empty() || *End || !(Value >= 0) ? -1 : Value;
}

std::string Figure(double Value) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%.4g", Value);
  return Buf;
}

// Private bytes move in steps of the allocators under the heaps (Wine's
// heaps commit 64 KiB at a time), so a growth of one step in a few rounds is
// no leak; the heap in use, which counts bytes, needs no such floor.
constexpr double kPrivateStepKiB = 64;

struct TRoundAllowances {
  double HeapKiB = 1, PrivateKiB = 1, Gdi = 0, Handles = 0, Tls = 0;
};

// Reads [--heap KiB] [--private KiB] [--gdi N] [--handles N] [--tls N] from
// A[From...]; false on anything else.
bool ParseRoundAllowances(const TArgs& A, size_t From, TRoundAllowances& R) {
  for (size_t I = From; I < A.size(); I += 2) {
    double Value = I + 1 < A.size() ? ParseAllowance(A[I + 1]) : -1;
    double* Slot = A[I] == "--heap"      ? &R.HeapKiB
                   : A[I] == "--private" ? &R.PrivateKiB
                   : A[I] == "--gdi"     ? &R.Gdi
                   : A[I] == "--handles" ? &R.Handles
                   : A[I] == "--tls"     ? &R.Tls
                                         : nullptr;
    if (Value < 0 || !Slot) return false;
    *Slot = Value;
  }
  return true;
}

// expect-growth-per-round FROM TO ROUNDS [--heap KiB] [--private KiB]
// [--gdi N] [--handles N] [--tls N]: the ROUNDS rounds run between marks FROM
// and TO kept at most the allowance a round of each: heap in use and private
// bytes 1 KiB a round unless given (private bytes 64 KiB in all at least),
// GDI objects, handles and TLS slots none; windows and USER objects never
// more. The rounds before FROM (at least a first round that does everything
// the later ones do, then as many rounds again) take the one-time costs, so
// what grows from FROM to TO is what every round keeps.
void CmdExpectGrowthPerRound(TScript& S, const TArgs& A) {
  if (!S.Need(A, 3)) return;
  const TMark* From = FindMark(A[0], false);
  const TMark* To = FindMark(A[1], false);
  if (!From || !To) return S.Fail("no resources mark " + (From ? A[1] : A[0]));
  const int32_t Rounds = kv::ParseInt32Or(A[2], 0);
  TRoundAllowances Allow;
  if (Rounds <= 0 || !ParseRoundAllowances(A, 3, Allow)) return S.FailUsage();
  const TSample &W = From->Sample, &N = To->Sample;
  const std::string Span = " in " + A[2] + " rounds from " + A[0] + " to " + A[1];
  auto KiB = [](size_t Was, size_t Is) { return (double(Is) - double(Was)) / 1024; };
  S.Print("growth" + Span + ": heap " + Figure(KiB(W.HeapBytes, N.HeapBytes)) + " KiB, private " +
          Figure(KiB(W.PrivateBytes, N.PrivateBytes)) + " KiB, GDI " +
          std::to_string(N.Gdi - W.Gdi) + ", USER " + std::to_string(N.User - W.User) +
          ", windows " + std::to_string(N.Windows - W.Windows) + ", handles " +
          std::to_string(N.Handles - W.Handles) + ", TLS slots " +
          std::to_string(N.TlsSlots - W.TlsSlots));
  auto Check = [&](const char* What, double Grown, double PerRound, const char* Unit,
                   double Floor = 0) {
    if (Grown <= std::max(PerRound * Rounds, Floor)) return false;
    S.Fail(std::string(What) + " grew by " + Figure(Grown) + Unit + Span + ", " +
           Figure(Grown / Rounds) + Unit + " a round (allowance " + Figure(PerRound) + Unit +
           " a round" + (Floor > 0 ? ", at least " + Figure(Floor) + Unit + " in all" : "") + ")");
    return true;
  };
  Check("heap in use", KiB(W.HeapBytes, N.HeapBytes), Allow.HeapKiB, " KiB");
  Check("private bytes", KiB(W.PrivateBytes, N.PrivateBytes), Allow.PrivateKiB, " KiB",
        kPrivateStepKiB);
  Check("windows", N.Windows - W.Windows, 0, "");
  Check("USER objects", N.User - W.User, 0, "");
  Check("TLS slots", N.TlsSlots - W.TlsSlots, Allow.Tls, "");
  if (Check("handles", N.Handles - W.Handles, Allow.Handles, ""))
    S.Print("new handles: " + NewHandles(W.HandleList, N.HandleList, HandleTypeName));
  if (Check("GDI objects", N.Gdi - W.Gdi, Allow.Gdi, ""))
    S.Print("new GDI objects: " + NewHandles(W.GdiList, N.GdiList, GdiObjectText, true));
}

// What a leak would hold, kept until release-held: GDI brushes, event
// handles, heap blocks of 1 KiB.
std::vector<HGDIOBJ> GHeldGdi;
std::vector<HANDLE> GHeldHandles;
std::vector<std::unique_ptr<char[]>> GHeldBlocks;

void CmdHold(TScript& S, const TArgs& A) {
  if (!S.Need(A, 2)) return;
  const int N = kv::ParseInt32Or(A[1], -1);
  if (N < 0) return S.FailUsage();
  for (int I = 0; I < N; ++I) {
    if (A[0] == "gdi")
      GHeldGdi.push_back(CreateSolidBrush(RGB(I & 255, 0, 0)));
    else if (A[0] == "handles")
      GHeldHandles.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    else if (A[0] == "heap")
      GHeldBlocks.push_back(std::make_unique<char[]>(1024));
    else
      return S.FailUsage();
  }
}

// leak KIB [once]: keeps KIB of heap in 1 KiB blocks (zeroed, so their pages
// are touched) until the process ends, release-held or not: what a leak in
// the plug-in would keep. With "once", only the first time the line runs: a
// one-time cost, like a cache filled on first use. Only the tests of the long
// runs' own check use it.
std::vector<std::unique_ptr<char[]>> GLeaked;
std::vector<int> GLeakedOnce;  // script lines whose "once" has run

void CmdLeak(TScript& S, const TArgs& A) {
  const int KiB = A.empty() ? -1 : kv::ParseInt32Or(A[0], -1);
  const bool Once = A.size() > 1 && A[1] == "once";
  if (KiB < 0 || A.size() > 2 || (A.size() == 2 && !Once)) return S.FailUsage();
  if (Once) {
    if (std::count(GLeakedOnce.begin(), GLeakedOnce.end(), S.CurrentLine())) return;
    GLeakedOnce.push_back(S.CurrentLine());
  }
  for (int I = 0; I < KiB; ++I) GLeaked.push_back(std::make_unique<char[]>(1024));
}

void CmdReleaseHeld(TScript&, const TArgs&) {
  for (HGDIOBJ O : GHeldGdi) DeleteObject(O);
  for (HANDLE H : GHeldHandles) CloseHandle(H);
  std::vector<HGDIOBJ>().swap(GHeldGdi);
  std::vector<HANDLE>().swap(GHeldHandles);
  std::vector<std::unique_ptr<char[]>>().swap(GHeldBlocks);
}

// fvhost's own records of interface requests grow with every Open; a long run
// drops them so that they do not count as the plug-in's memory.
void CmdClearRequests(TScript&, const TArgs&) {
  THost::Get().FRequests.clear();
  THost::Get().FPlayed.clear();
}

// The peaks since memory-watch, sampled every few milliseconds.
struct TMemoryWatch {
  std::atomic<bool> Stop{false};
  std::atomic<size_t> PeakPrivate{0}, PeakAddressSpace{0};
  std::thread Sampler;
  ~TMemoryWatch() {
    Stop = true;
    if (Sampler.joinable()) Sampler.join();
  }
};
std::unique_ptr<TMemoryWatch> GWatch;

// Samples until stopped, once more after the stop: the peak includes the
// state at the stop.
void SampleMemory(TMemoryWatch& W) {
  for (bool Last = false; !Last; Sleep(5)) {
    Last = W.Stop;
    PROCESS_MEMORY_COUNTERS_EX M{};
    M.cb = sizeof M;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&M),
                                sizeof M)) {
      size_t Private = M.PrivateUsage ? M.PrivateUsage : M.PagefileUsage;
      if (Private > W.PeakPrivate) W.PeakPrivate = Private;
    }
    MEMORYSTATUSEX Status{};
    Status.dwLength = sizeof Status;
    if (GlobalMemoryStatusEx(&Status)) {
      auto Used = static_cast<size_t>(Status.ullTotalVirtual - Status.ullAvailVirtual);
      if (Used > W.PeakAddressSpace) W.PeakAddressSpace = Used;
    }
  }
}

void StopWatch() {
  GWatch.reset();
}

// memory-watch: (re)starts the sampler.
void CmdMemoryWatch(TScript&, const TArgs&) {
  StopWatch();
  GWatch = std::make_unique<TMemoryWatch>();
  GWatch->Sampler = std::thread(SampleMemory, std::ref(*GWatch));
}

// expect-memory-peak PRIVATE_MIB: prints the peaks since memory-watch and
// fails when private bytes went past the budget.
void CmdExpectMemoryPeak(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  int32_t Budget = kv::ParseInt32Or(A[0], -1);
  if (Budget <= 0) return S.FailUsage();
  if (!GWatch) return S.Fail("expect-memory-peak needs memory-watch first");
  GWatch->Stop = true;
  GWatch->Sampler.join();
  size_t Private = GWatch->PeakPrivate / (1024 * 1024);
  size_t Space = GWatch->PeakAddressSpace / (1024 * 1024);
  StopWatch();
  S.Print("memory peak: private " + std::to_string(Private) + " MiB (budget " + A[0] +
          " MiB), address space in use " + std::to_string(Space) + " MiB");
  if (Private > size_t(Budget))
    S.Fail("private bytes peaked at " + std::to_string(Private) + " MiB, over the budget of " +
           A[0] + " MiB");
}

const TScriptCommand Reg[] = {
    {"resources [LABEL]", CmdResources},
    {"resources-mark NAME", CmdResourcesMark},
    {"expect-resources-back NAME [--memory-slack KiB] [--private-slack KiB] [--handle-slack N] "
     "[--tls-slack N] [--gdi-slack N]",
     CmdExpectResourcesBack},
    {"expect-resources-grown NAME gdi|user|windows|handles|heap MIN...", CmdExpectResourcesGrown},
    {"expect-growth-per-round FROM TO ROUNDS [--heap KiB] [--private KiB] [--gdi N] "
     "[--handles N] [--tls N]",
     CmdExpectGrowthPerRound},
    {"hold gdi|handles|heap N", CmdHold},
    {"leak KIB [once]", CmdLeak},
    {"release-held", CmdReleaseHeld},
    {"clear-requests", CmdClearRequests},
    {"memory-watch", CmdMemoryWatch},
    {"expect-memory-peak PRIVATE_MIB", CmdExpectMemoryPeak},
};

}  // namespace

}  // namespace fvhost
