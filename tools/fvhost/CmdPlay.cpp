// Playing a publication: fvhost reads a .pub file, shows the current page's
// Rectangles as child windows of the host window, runs each page's enter and
// exit actions through fvExecAction (host variables in parameters replaced
// first, as the host does), and carries out "Gotonextpage" and
// "GotoPrevpage" commands that the plug-in sends through fvPlayAction.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ActionCall.h"
#include "Host.h"
#include "Script.h"
#include "base/Ansi.h"
#include "base/Text.h"

namespace fvhost {

namespace {

struct TPubRect {
  std::string Name;
  int X = 0, Y = 0, W = 0, H = 0;
};

struct TPubPage {
  std::string Name;
  std::string EnterAction, ExitAction;
  std::vector<TPubRect> Rects;
};

struct TPlayer {
  std::string Path;
  std::vector<TPubPage> Pages;  // the master page is not among them
  int Current = -1;
  std::vector<std::string> Log;  // "enter NAME -> N", "exit NAME -> N"
};

TPlayer GPlayer;

THost& H() {
  return THost::Get();
}

std::string DecodePublication(const std::string& Bytes) {
  if (Bytes.size() >= 3 && Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return Bytes.substr(3);
  if (Bytes.size() >= 2 && Bytes[0] == '\xFF' && Bytes[1] == '\xFE') {
    std::u16string W;
    for (size_t I = 2; I + 1 < Bytes.size(); I += 2)
      W += static_cast<char16_t>(static_cast<unsigned char>(Bytes[I]) |
                                 (static_cast<unsigned char>(Bytes[I + 1]) << 8));
    return kv::Utf16ToUtf8(W);
  }
  return kv::AnsiToUtf8(Bytes);
}

std::vector<TPubPage> ParsePublication(const std::string& Text) {
  std::vector<TPubPage> Pages;
  bool InMaster = false;
  TPubRect* Rect = nullptr;
  std::string Normalized = kv::ReplaceAll(kv::ReplaceAll(Text, "\r\n", "\n"), "\r", "\n");
  for (const std::string& Raw : kv::SplitString(Normalized, '\n')) {
    std::string Line = kv::Trim(Raw);
    auto Value = [&Line](const char* Key) { return Line.substr(std::strlen(Key)); };
    if (kv::StartsWithAscii(Line, "NewPage=")) {
      Pages.push_back({Value("NewPage="), "", "", {}});
      InMaster = false;
      Rect = nullptr;
    } else if (Line.find("MasterPage") != std::string::npos) {
      // The master page is not played: drop the block that holds the marker.
      if (!InMaster && !Pages.empty()) Pages.pop_back();
      InMaster = true;
      Rect = nullptr;
    } else if (InMaster || Pages.empty()) {
      continue;
    } else if (kv::StartsWithAscii(Line, "PgEnterAction=")) {
      Pages.back().EnterAction = Value("PgEnterAction=");
    } else if (kv::StartsWithAscii(Line, "PgExitAction=")) {
      Pages.back().ExitAction = Value("PgExitAction=");
    } else if (kv::StartsWithAscii(Line, "ObjectType=")) {
      Rect = nullptr;
      if (kv::Trim(Value("ObjectType=")) == "5") {
        Pages.back().Rects.push_back({});
        Rect = &Pages.back().Rects.back();
      }
    } else if (Rect) {
      int* Field = nullptr;
      if (kv::StartsWithAscii(Line, "Name=")) Rect->Name = Value("Name=");
      if (kv::StartsWithAscii(Line, "X=")) Field = &Rect->X;
      if (kv::StartsWithAscii(Line, "Y=")) Field = &Rect->Y;
      if (kv::StartsWithAscii(Line, "W=")) Field = &Rect->W;
      if (kv::StartsWithAscii(Line, "H=")) Field = &Rect->H;
      if (Field) *Field = kv::ParseInt32Or(kv::Trim(Line.substr(2)), 0);
    }
  }
  return Pages;
}

// Replaces every [Name] whose host variable is set, as the host does before
// it runs an action.
std::string ReplaceHostVariables(const std::string& Text) {
  std::string R = Text;
  for (const auto& [Name, Value] : H().FVariables) R = kv::ReplaceAllAscii(R, Name, Value);
  return R;
}

}  // namespace

namespace {

int RunPageAction(TScript* S, const std::string& Call, const char* What) {
  if (kv::Trim(Call).empty()) return -1;
  std::string Name;
  std::vector<std::string> Params;
  if (!ParseActionCall(Call, Name, Params)) {
    if (S) S->Fail(std::string("unparsable ") + What + " action: " + Call);
    return -1;
  }
  int Id = 0;
  if (!H().ActionId(Name, Id)) {
    if (S) S->Fail("unknown action " + Name);
    return -1;
  }
  std::vector<kv::THostString> Slots;
  for (const std::string& P : Params)
    Slots.push_back(THost::NewHostString(ReplaceHostVariables(P)));
  Slots.resize(8, nullptr);
  int Result = H().FExec(Id, Slots.data());
  for (auto& P : Slots) THost::FreeHostString(P);
  GPlayer.Log.push_back(std::string(What) + " " + Name + " -> " + std::to_string(Result));
  return Result;
}

void LeavePage(TScript* S) {
  if (GPlayer.Current < 0) return;
  const TPubPage& Page = GPlayer.Pages[GPlayer.Current];
  RunPageAction(S, Page.ExitAction, "exit");
  for (const TPubRect& R : Page.Rects) {
    auto It = H().FRects.find(kv::AsciiUpper(R.Name));
    if (It != H().FRects.end()) {
      DestroyWindow(It->second.Window);
      H().FRects.erase(It);
    }
  }
  GPlayer.Current = -1;
}

void EnterPage(TScript* S, int Index) {
  LeavePage(S);
  GPlayer.Current = Index;
  const TPubPage& Page = GPlayer.Pages[Index];
  for (const TPubRect& R : Page.Rects) {
    TRectangle& Rect = H().FRects[kv::AsciiUpper(R.Name)];
    Rect.Name = R.Name;
    Rect.Window = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, R.X, R.Y, R.W, R.H,
                                  H().Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  RunPageAction(S, Page.EnterAction, "enter");
}

void RunHostCommand(const std::string& Command) {
  if (GPlayer.Current < 0) return;
  if (kv::SameTextAscii(Command, "Gotonextpage")) {
    if (GPlayer.Current + 1 < static_cast<int>(GPlayer.Pages.size()))
      EnterPage(nullptr, GPlayer.Current + 1);
  } else if (kv::SameTextAscii(Command, "GotoPrevpage")) {
    if (GPlayer.Current > 0) EnterPage(nullptr, GPlayer.Current - 1);
  }
}

void CmdPlay(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  std::ifstream In(WideOf(HostPath(A[0])).c_str(), std::ios::binary);
  if (!In) return S.Fail("cannot read " + A[0]);
  std::ostringstream Ss;
  Ss << In.rdbuf();
  LeavePage(&S);
  GPlayer.Path = HostPath(A[0]);
  GPlayer.Pages = ParsePublication(DecodePublication(Ss.str()));
  GPlayer.Log.clear();
  std::string Path = GPlayer.Path;
  size_t Slash = Path.find_last_of("\\/");
  std::string File = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
  H().FVariables["[PubDir]"] = Slash == std::string::npos ? "" : Path.substr(0, Slash + 1);
  H().FVariables["[PubTitle]"] =
      File.size() > 4 && kv::EndsWithAscii(File, ".pub") ? File.substr(0, File.size() - 4) : File;
  H().FRunCommand = RunHostCommand;
  S.Print("playing " + GPlayer.Path + ": " + std::to_string(GPlayer.Pages.size()) + " page(s)");
  if (!GPlayer.Pages.empty()) EnterPage(&S, 0);
}

void CmdGotoPage(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  for (size_t I = 0; I < GPlayer.Pages.size(); ++I)
    if (kv::SameTextAscii(GPlayer.Pages[I].Name, A[0])) return EnterPage(&S, static_cast<int>(I));
  int N = kv::ParseInt32Or(A[0], 0);
  if (N < 1 || N > static_cast<int>(GPlayer.Pages.size())) return S.Fail("no page " + A[0]);
  EnterPage(&S, N - 1);
}

void CmdLeavePage(TScript& S, const TArgs&) {
  LeavePage(&S);
}

void CmdExpectPage(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  std::string Got = GPlayer.Current < 0 ? "(none)" : GPlayer.Pages[GPlayer.Current].Name;
  if (!kv::SameTextAscii(Got, A[0])) S.Fail("on page " + Got + ", expected " + A[0]);
}

void CmdExpectPageCount(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  if (std::to_string(GPlayer.Pages.size()) != A[0])
    S.Fail(std::to_string(GPlayer.Pages.size()) + " pages, expected " + A[0]);
}

void CmdDumpPages(TScript& S, const TArgs&) {
  for (const TPubPage& P : GPlayer.Pages) {
    S.Print("page " + P.Name);
    S.Print("  enter " + P.EnterAction);
    S.Print("  exit " + P.ExitAction);
    for (const TPubRect& R : P.Rects)
      S.Print("  rect " + R.Name + " " + std::to_string(R.X) + " " + std::to_string(R.Y) + " " +
              std::to_string(R.W) + " " + std::to_string(R.H));
  }
}

// Every page action run so far and its result, cleared once they match.
void CmdExpectPageActions(TScript& S, const TArgs& A) {
  std::string Got, Want;
  for (const std::string& L : GPlayer.Log) Got += (Got.empty() ? "" : ", ") + L;
  for (const std::string& L : A) Want += (Want.empty() ? "" : ", ") + L;
  if (Got != Want) return S.Fail("page actions [" + Got + "], expected [" + Want + "]");
  GPlayer.Log.clear();
}

// Child windows of the host window that are not the host's own (Rectangles,
// fields): the plug-in's viewers.
void CmdExpectViewerWindows(TScript& S, const TArgs& A) {
  if (!S.Need(A, 1)) return;
  int Count = 0;
  for (HWND W = GetWindow(H().Window(), GW_CHILD); W; W = GetWindow(W, GW_HWNDNEXT))
    if (!H().IsOwnChild(W)) ++Count;
  if (std::to_string(Count) != A[0])
    S.Fail(std::to_string(Count) + " viewer window(s), expected " + A[0]);
}

const TScriptCommand Reg[] = {
    {"play PUBFILE", CmdPlay},
    {"goto-page NUMBER|NAME", CmdGotoPage},
    {"leave-page", CmdLeavePage},
    {"expect-page NAME", CmdExpectPage, TCheck::Eventually},
    {"expect-page-count N", CmdExpectPageCount},
    {"dump-pages", CmdDumpPages},
    {"expect-page-actions [ENTRIES...]", CmdExpectPageActions, TCheck::Eventually},
    {"expect-viewer-windows N", CmdExpectViewerWindows, TCheck::Eventually},
};

}  // namespace

}  // namespace fvhost
