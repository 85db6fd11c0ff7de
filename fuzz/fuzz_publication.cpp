// Publication texts: the line operations on arbitrary bytes, and a whole
// import into the bytes written as a .pub beside a small workbook. Every
// rejection must be a TKvError. Checked: decoding and encoding give back the
// bytes where nothing can be lost; an import keeps every original byte around
// one inserted run of new pages, counted, numbered and named as promised, and
// passes its own verification again; a failed import leaves the folder
// exactly as it was.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/Ansi.h"
#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "support/Package.h"

namespace {

using kv::TPubEncoding;

[[noreturn]] void Finding(const std::string& What) {
  std::fprintf(stderr, "fuzz_publication: %s\n", What.c_str());
  std::abort();
}

// One folder per process, in memory when the system offers it.
struct TScratch {
  std::filesystem::path Dir;
  std::string Pub, Book, Fixture;
  TScratch() {
    std::error_code Ec;
    const std::filesystem::path Base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    Dir = Base / ("kvfuzz-pub-" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    Pub = (Dir / "Course.pub").string();
    Book = (Dir / "Book.xlsx").string();
    Fixture = (Dir / "Fixture.xlsx").string();
    // Names the Open action would miss as written, beside plain ones.
    kv::WriteWholeFile(Book, kv::test::MakeBook({{"Summary", ""},
                                                 {"Q1/Q2", ""},
                                                 {" 12 ", ""},
                                                 {"Sales &quot;24&quot;", ""},
                                                 {"\xCE\xA3\xCF\x8D\xCE\xBD", ""}})
                                 .Bytes());
    kv::WriteWholeFile(
        Fixture,
        kv::ReadWholeFile(KV_SOURCE_DIR "/tests/fixtures/pub/three-sheets-libreoffice.xlsx"));
  }
  ~TScratch() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
  std::vector<std::string> List() const {
    std::vector<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(Dir))
      Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
};

TScratch& Scratch() {
  static TScratch S;
  return S;
}

std::vector<std::string> TrimmedLines(std::string_view Text) {
  std::vector<std::string> Lines;
  size_t Pos = 0;
  while (Pos < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Pos);
    if (End == std::string_view::npos) End = Text.size();
    Lines.push_back(kv::Trim(Text.substr(Pos, End - Pos)));
    Pos = End;
    while (Pos < Text.size() && (Text[Pos] == '\r' || Text[Pos] == '\n')) ++Pos;
  }
  return Lines;
}

void CheckTextOperations(const std::string& Bytes) {
  TPubEncoding E = TPubEncoding::Ansi;
  const std::string Text = kv::DecodePublicationBytes(Bytes, &E);
  // Every byte survives, an odd last byte of UTF-16 included.
  if (kv::EncodePublicationText(Text, E) != Bytes)
    Finding("decoding and encoding changed the bytes");
  // Every encoding carries valid UTF-8 text unchanged, ANSI when it can.
  if (kv::IsValidUtf8(Bytes)) {
    for (TPubEncoding To : {TPubEncoding::Utf8Bom, TPubEncoding::Utf16LeBom}) {
      TPubEncoding Back = TPubEncoding::Ansi;
      if (kv::DecodePublicationBytes(kv::EncodePublicationText(Bytes, To), &Back) != Bytes ||
          Back != To)
        Finding("valid text did not come back from a Unicode encoding");
    }
    bool Lossless = true;
    kv::Utf8ToAnsi(Bytes, &Lossless);
    // ANSI bytes that begin like a byte order mark are read as Unicode.
    const std::string Ansi = kv::EncodePublicationText(Bytes, TPubEncoding::Ansi);
    if (Lossless && Ansi.compare(0, 3, "\xEF\xBB\xBF") != 0 &&
        Ansi.compare(0, 2, "\xFF\xFE") != 0 && kv::DecodePublicationBytes(Ansi) != Bytes)
      Finding("text the code page holds did not come back from ANSI");
  }

  const std::vector<std::string> Lines = TrimmedLines(Text);
  int32_t Pages = 0;
  for (const std::string& L : Lines)
    if (kv::StartsWithAscii(L, "NewPage=")) ++Pages;
  if (kv::CountPublicationPages(Text) != Pages) Finding("page count differs from the lines");
  for (size_t I = 0; I < Lines.size() && I < 8; ++I) {
    if (!kv::StartsWithAscii(Lines[I], "NewPage=")) continue;
    const std::string Name = Lines[I].substr(8);
    if (!kv::PublicationHasPage(Text, Name) || !kv::PublicationHasPage(Text, kv::AsciiLower(Name)))
      Finding("a page of the text was not found");
    const std::string Unique = kv::MakeUniquePageName(Text, Name);
    if (kv::PublicationHasPage(Text, Unique) || Unique.compare(0, Name.size(), Name) != 0)
      Finding("a unique page name is taken or lost its base");
  }
  (void)kv::ReadPublicationInteger(Text, "ScreenWidth", 800);
  const int32_t Next = kv::NextGridNumber(Text);
  if (Next < 1) Finding("grid numbers start below 1");

  const size_t Marker = Text.find("MasterPage");
  if (Marker != std::string::npos) {
    const std::string Insertion = "NewPage=Inserted\r\nX=1\r\n";
    const std::string Joined = kv::InsertAfterMasterPage(Text, Insertion);
    // The insertion starts a line after the marker; taking it out, and the
    // line break added before it when the text had none there, gives the text.
    bool Placed = false;
    for (size_t At = Joined.find(Insertion); At != std::string::npos && !Placed;
         At = Joined.find(Insertion, At + 1)) {
      if (At < Marker + 10 || (Joined[At - 1] != '\n' && Joined[At - 1] != '\r')) continue;
      const std::string Rest = Joined.substr(At + Insertion.size());
      // After the master page's whole block: no page line between the
      // marker's line and the insertion, and a page line (or nothing) after it.
      const size_t LineEnd = std::min(At, Joined.find_first_of("\r\n", Marker + 10));
      if (kv::CountPublicationPages(Joined.substr(LineEnd, At - LineEnd)) != 0) continue;
      const std::vector<std::string> After = TrimmedLines(Rest);
      if (!After.empty() && !kv::StartsWithAscii(After[0], "NewPage=") &&
          Rest.find_first_not_of("\r\n") != std::string::npos)
        continue;
      for (size_t Added : {size_t{0}, size_t{2}}) {
        if (Added > At || (Added == 2 && Joined.compare(At - 2, 2, "\r\n") != 0)) continue;
        Placed = Placed || Joined.substr(0, At - Added) + Rest == Text;
      }
    }
    if (!Placed) Finding("the insertion is not a run of lines after the master page's block");
    if (kv::CountPublicationPages(Joined) != Pages + 1) Finding("the insertion lost a page");
  }

  for (const std::string& Item : kv::ParseSheetList(Text)) {
    if (Item.empty() || kv::Trim(Item) != Item || Item.find_first_of("|\r\n") != std::string::npos)
      Finding("a sheet list item is empty, untrimmed or holds a separator");
    if (!kv::IsSheetSelected(Item, Text) || !kv::IsSheetSelected(kv::AsciiUpper(Item), Text))
      Finding("a listed sheet is not selected");
  }
  const std::string Page = kv::MakePageName(Text.substr(0, 64));
  if (Page.empty() || Page.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                             "0123456789_") != std::string::npos)
    Finding("a page name holds other characters");
}

struct TImportCase {
  const std::string* Book;
  const char* SheetList;
  std::vector<std::string> Sheets;  // the sheets the list selects, in order
};

void CheckImport(const std::string& Bytes) {
  TScratch& S = Scratch();
  const uint8_t Pick = Bytes.empty() ? 0 : static_cast<uint8_t>(Bytes[Bytes.size() / 2]);
  const TImportCase Cases[] = {
      {&S.Book, "ALL", {"Summary", "Q1/Q2", " 12 ", "Sales \"24\"", "\xCE\xA3\xCF\x8D\xCE\xBD"}},
      {&S.Book, "q1/q2\r\n\xCE\xA3\xCF\x8D\xCE\xBD", {"Q1/Q2", "\xCE\xA3\xCF\x8D\xCE\xBD"}},
      {&S.Fixture, "", {"Summary", "Staff", "Notes"}},
      {&S.Fixture, "notes | Nope", {"Notes"}},
  };
  const TImportCase& C = Cases[Pick % 4];
  kv::WriteWholeFile(S.Pub, Bytes);
  std::error_code Ec;
  std::filesystem::remove(S.Pub + ".kvdiag.txt", Ec);
  const std::vector<std::string> Before = S.List();

  try {
    kv::ImportWorkbookToFolivantPages(*C.Book, C.SheetList, S.Pub);
  } catch (const kv::TKvError&) {
    if (kv::ReadWholeFile(S.Pub) != Bytes) Finding("a failed import changed the publication");
    if (S.List() != Before) Finding("a failed import left files behind");
    return;
  }

  const std::string After = kv::ReadWholeFile(S.Pub);
  {
    size_t Prefix = 0;
    while (Prefix < Bytes.size() && Prefix < After.size() && Bytes[Prefix] == After[Prefix])
      ++Prefix;
    size_t Suffix = 0;
    while (Suffix < Bytes.size() && Suffix < After.size() &&
           Bytes[Bytes.size() - 1 - Suffix] == After[After.size() - 1 - Suffix])
      ++Suffix;
    if (After.size() <= Bytes.size() || Prefix + Suffix < Bytes.size())
      Finding("the original bytes are not kept around the new pages");
  }

  TPubEncoding Was = TPubEncoding::Ansi, Is = TPubEncoding::Ansi;
  const std::string Old = kv::DecodePublicationBytes(Bytes, &Was);
  const std::string New = kv::DecodePublicationBytes(After, &Is);
  if (Was != Is) Finding("the import changed the encoding");
  const int32_t Existing = kv::CountPublicationPages(Old);
  const int32_t First = kv::NextGridNumber(Old);
  const auto Imported = static_cast<int32_t>(C.Sheets.size());
  kv::VerifyImportedPublication(New, First, Imported, Existing);
  if (kv::CountPublicationPages(New) != Existing + Imported) Finding("wrong number of pages");
  if (kv::NextGridNumber(New) != First + Imported) Finding("grid numbers not consecutive");

  // The new pages' names are new and differ from each other, ASCII case ignored.
  std::set<std::string> Names;
  for (const std::string& L : TrimmedLines(Old))
    if (kv::StartsWithAscii(L, "NewPage=")) Names.insert(kv::AsciiUpper(L.substr(8)));
  std::string Page;
  int32_t Found = 0;
  for (const std::string& L : TrimmedLines(New)) {
    if (kv::StartsWithAscii(L, "NewPage=")) Page = kv::AsciiUpper(L.substr(8));
    if (!kv::StartsWithAscii(L, "Name=ExcelGrid_")) continue;
    const int64_t N = kv::TryParseInt64(L.substr(15)).value_or(0);
    if (N < First || N >= int64_t{First} + Imported) continue;
    const std::string& Sheet = C.Sheets[static_cast<size_t>(N - First)];
    if (Page != kv::AsciiUpper(kv::MakePageName(Sheet)) &&
        Page.compare(0, kv::MakePageName(Sheet).size() + 1,
                     kv::AsciiUpper(kv::MakePageName(Sheet)) + "_") != 0)
      Finding("a new page is not named after its sheet");
    if (!Names.insert(Page).second) Finding("a new page repeats a page name");
    ++Found;
  }
  if (Found != Imported) Finding("new Rectangles missing");
  if (S.List().size() != Before.size() + 1 || !kv::FileExists(S.Pub + ".kvdiag.txt"))
    Finding("a successful import left other files than its report");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  try {
    CheckTextOperations(Bytes);
    CheckImport(Bytes);
  } catch (const kv::TKvError& E) {
    Finding(std::string("an operation that should succeed raised: ") + E.what());
  }
  return 0;
}
