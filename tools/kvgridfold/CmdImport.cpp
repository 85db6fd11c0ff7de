// "import": worksheets as pages of a publication, directly into a file or
// through the import action's driver in current-publication mode, printing
// what the host would see.
#include <cstdio>
#include <map>

#include "Cli.h"
#include "import/GridfoldImporter.h"
#include "plugin/ImportDriver.h"

namespace kv::cli {

namespace {

const char* const kUsage =
    "import BOOK.xlsx TARGET.pub [--sheets 'ALL'|'A|B']  |  import --current BOOK.xlsx "
    "--pubdir DIR --pubtitle TITLE [--sheets LIST]";

// A host that keeps variables in a map and prints message boxes.
class TConsoleHost : public IHost, public IMessagePort {
 public:
  std::map<std::string, std::string> FVars;
  bool HasGetVariable() const override { return true; }
  std::string GetVariable(const std::string& Name) override { return FVars[Name]; }
  bool HasSetVariable() const override { return true; }
  void SetVariable(const std::string& Name, const std::string& Value) override {
    FVars[Name] = Value;
  }
  bool HasInterfaceAccess() const override { return false; }
  bool InterfaceAccess(int, std::optional<std::string>&) override { return false; }
  bool HasPlayAction() const override { return false; }
  void PlayAction(const std::string&) override {}
  uintptr_t HostWindow() const override { return 0; }
  void ShowMessage(const std::string& Text, const std::string& Caption, TMessageIcon) override {
    std::printf("[message box: %s]\n%s\n", Caption.c_str(), Text.c_str());
  }
};

int CmdImport(const TArgs& In) {
  TArgs Args = In;
  std::string Sheets = "ALL", Dir, Title;
  TakeOption(Args, "--sheets", Sheets);
  if (TakeFlag(Args, "--current")) {
    if (!TakeOption(Args, "--pubdir", Dir) || !TakeOption(Args, "--pubtitle", Title) ||
        Args.size() != 1)
      UsageError(kUsage);
    TConsoleHost Host;
    Host.FVars["[PubDir]"] = Dir;
    Host.FVars["[PubTitle]"] = Title;
    TPlugInState State;
    State.Host = &Host;
    State.Messages = &Host;
    bool Ok = ExecImport(State, Args[0], Sheets, "__KVGRIDFOLD_CURRENT__");
    std::printf("[LastError]=%s\n[kvGridfoldImportedPub]=%s\n", Host.FVars["[LastError]"].c_str(),
                Host.FVars["[kvGridfoldImportedPub]"].c_str());
    return Ok ? 0 : 1;
  }
  if (Args.size() != 2) UsageError(kUsage);
  ImportWorkbookToFolivantPages(Args[0], Sheets, Args[1]);
  std::printf("imported into %s\n", Args[1].c_str());
  return 0;
}

const TCliCommand RegImport("import", kUsage, CmdImport);

}  // namespace

}  // namespace kv::cli
