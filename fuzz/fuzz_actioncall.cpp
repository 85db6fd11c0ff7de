// Action calls as a publication's page records hold them, each input line one
// call: fvhost's parser, then the plug-in running the call with a fake host
// and fake windows, and its property dialog confirmed unchanged. Checked: a
// parsed call written back parses the same; a run answers 0 or 1 and nothing
// escapes; confirming a dialog twice stores what the first time stored.
// Parameters that name files are pointed into a scratch folder, so a run
// reads and writes nothing else.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ActionCall.h"
#include "base/Files.h"
#include "base/Text.h"
#include "plugin/ActionTable.h"
#include "plugin/EditAction.h"
#include "plugin/PlugIn.h"
#include "support/FakeHost.h"
#include "support/Package.h"
#include "unit/viewer/FakeWindows.h"

namespace {

[[noreturn]] void Finding(const std::string& What) {
  std::fprintf(stderr, "fuzz_actioncall: %s\n", What.c_str());
  std::abort();
}

struct TScratch {
  std::filesystem::path Dir;
  std::string Book, Pub, Out, PubBytes;
  TScratch() {
    const std::filesystem::path Base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    Dir = Base / ("kvfuzz-act-" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    Book = (Dir / "Book.xlsx").string();
    Pub = (Dir / "Course.pub").string();
    Out = (Dir / "Out.xlsx").string();
    PubBytes = "ScreenWidth=640\r\nNewPage=Master\r\nMasterPage\r\nNewPage=One\r\n";
    kv::WriteWholeFile(Book,
                       kv::test::MakeBook({{"One", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                                           {"Two",
                                            "<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>x</t>"
                                            "</is></c></row>"},
                                           {"3", ""}})
                           .Bytes());
  }
  ~TScratch() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
};

TScratch& Scratch() {
  static TScratch S;
  return S;
}

// Confirms every dialog as it opens.
class TOkRunner : public kv::IFormRunner, public kv::IDialogUi {
 public:
  kv::IDialogUi& Ui() override { return *this; }
  int ShowModal(kv::TFormModel& Form) override {
    Form.FormShow();
    return kv::kModalOk;
  }
  bool BrowseForFile(const std::string&, std::string&) override { return false; }
  bool RunColorDialog(std::optional<uint32_t>, uint32_t&) override { return false; }
  void ShowError(const std::string&) override {}
};

void CheckParser(const std::string& Call, std::string& Name, std::vector<std::string>& Params,
                 bool& Parsed) {
  Parsed = fvhost::ParseActionCall(Call, Name, Params);
  if (!Parsed) return;
  if (Name.empty() || Name.find_first_of(" \"") != std::string::npos)
    Finding("a parsed name is empty or holds a blank or quote");
  std::string Again = Name;
  for (const std::string& P : Params) {
    if (P.find('"') != std::string::npos) Finding("a parameter holds a quote");
    Again += " \"" + P + "\"";
  }
  std::string Name2;
  std::vector<std::string> Params2;
  if (!fvhost::ParseActionCall(Again, Name2, Params2) || Name2 != Name || Params2 != Params)
    Finding("a call written back parses otherwise: " + Again);
}

const kv::TActionDef* ActionNamed(const std::string& Name) {
  for (const kv::TActionDef& D : kv::ActionTable())
    if (D.Id != kv::aidGroup && kv::SameTextAscii(D.Name, Name)) return &D;
  return nullptr;
}

// File names into the scratch folder; an empty one stays empty.
void PointFilesIntoScratch(const kv::TActionDef& Def, std::vector<std::string>& Params) {
  const TScratch& S = Scratch();
  for (size_t K = 0; K < Params.size() && K < Def.Kinds.size(); ++K) {
    if (Def.Kinds[K] != kv::ParamFileName || kv::Trim(Params[K]).empty()) continue;
    if (Def.Id == kv::aidOpen || (Def.Id == kv::aidImport && K == 0))
      Params[K] = S.Book;
    else if (Def.Id == kv::aidImport)
      Params[K] = S.Pub;
    else
      Params[K] = S.Out + (Params[K].size() % 2 ? "" : ".csv");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  TScratch& S = Scratch();
  kv::WriteWholeFile(S.Pub, S.PubBytes);

  kv::test::TFakeHost Host;
  kv::test::TFakeMessages Messages;
  kv::test::TFakeWindowSystem Windows;
  const kv::TWindowHandle HostWnd = Windows.Add(1024, 768);
  const kv::TWindowHandle Rect = Windows.Add(400, 300, 10, 10);
  Host.FWindow = HostWnd;
  Host.FOnAccess = [Rect](int Request, std::optional<std::string>& Slot) {
    if (Request == kv::iaProbe) Slot = "1";
    // Every name but a blank one finds the Rectangle.
    if (Request == kv::iaObjectWindow)
      Slot = kv::Trim(Slot.value_or("")).empty() ? "0" : std::to_string(Rect);
    return true;
  };
  kv::TPlugInState State;
  State.Host = &Host;
  State.Messages = &Messages;
  State.Windows = &Windows;
  TOkRunner Runner;

  size_t Pos = 0;
  for (int Line = 0; Line < 24 && Pos < Input.size(); ++Line) {
    size_t End = Input.find('\n', Pos);
    if (End == std::string::npos) End = Input.size();
    const std::string Call = Input.substr(Pos, End - Pos);
    Pos = End + 1;

    std::string Name;
    std::vector<std::string> Params;
    bool Parsed = false;
    CheckParser(Call, Name, Params, Parsed);
    if (!Parsed) continue;
    const kv::TActionDef* Def = ActionNamed(Name);
    if (!Def) continue;
    PointFilesIntoScratch(*Def, Params);

    std::vector<std::string> Edited = Params;
    if (kv::EditAction(State, Def->Id, Edited, Runner)) {
      if (Edited.size() != static_cast<size_t>(Def->ParamCount))
        Finding("a dialog stored another number of parameters");
      PointFilesIntoScratch(*Def, Edited);
      // A settings field with a quote may take the fields after it along on
      // the next reading (the string has no escapes; fuzz_settings covers it).
      const bool Quoted =
          Def->Id == kv::aidSettings && Edited[1].find_first_of("\"'") != std::string::npos;
      std::vector<std::string> Twice = Edited;
      if (!kv::EditAction(State, Def->Id, Twice, Runner) || (Twice != Edited && !Quoted))
        Finding(std::string("confirming the dialog again changed the call of ") + Def->Name);
    }
    const int Result = kv::ExecuteAction(State, Def->Id, Params);
    if (Result != 0 && Result != 1) Finding("an action answered other than 0 or 1");
  }
  kv::ReleaseRegistry(State);
  return 0;
}
