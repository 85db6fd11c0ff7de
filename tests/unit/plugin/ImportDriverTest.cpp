// The import action as the host runs it: paths from host variables, the mode
// rules in their order, the copy of the open publication, the log, the
// variables and the message boxes.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Text.h"
#include "import/GridfoldImporter.h"
#include "plugin/HostVariables.h"
#include "plugin/ImportDriver.h"
#include "plugin/PublicationPaths.h"
#include "support/FakeHost.h"
#include "support/PublicationHost.h"
#include "support/Package.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace kv {

namespace {

const char* const kPub = "NewPage=M\r\nMasterPage\r\nNewPage=Intro\r\n";

class ImportDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteWholeFile(FDir.File("Book.xlsx"), test::MakeBook({{"A", ""}, {"B", ""}}).Bytes());
    WriteWholeFile(FDir.File("Course.pub"), kPub);
  }
  std::string Log() { return ReadWholeFile(FDir.File("kvGridfold_import.log")); }
  test::TTempDir FDir;
  test::TPublicationHost FPub{FDir.Path()};
  test::TFakeHost& FHost = FPub.Host;
  test::TFakeMessages& FMessages = FPub.Messages;
  TPlugInState& FState = FPub.State;
};

}  // namespace

TEST(PublicationPaths, CurrentPathFromFolderAndTitle) {
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = "C:\\Pubs";
  Host.FVars["[PubTitle]"] = " Course (draft) ";
  EXPECT_EQ(CurrentPublicationPath(&Host), "C:\\Pubs\\Course.pub");
  Host.FVars["[PubTitle]"] = "Course.PUB";
  EXPECT_EQ(CurrentPublicationPath(&Host), "C:\\Pubs\\Course.PUB");
  Host.FVars["[PubTitle]"] = "D:\\Other\\x.txt";
  EXPECT_EQ(CurrentPublicationPath(&Host), "D:\\Other\\x.txt.pub");
  Host.FVars["[PubTitle]"] = "";
  EXPECT_EQ(CurrentPublicationPath(&Host), "");
  Host.FHasGet = false;
  EXPECT_EQ(CurrentPublicationPath(&Host), "");
}

TEST(PublicationPaths, TokensAndPlaceholders) {
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = "C:\\Pubs\\";
  Host.FVars["[PubTitle]"] = "Course";
  EXPECT_EQ(ResolveTargetPublication(&Host, " [pubdir][PUBTITLE].PUB "), "C:\\Pubs\\Course.pub");
  EXPECT_EQ(ResolveTargetPublication(&Host, "__kvgridfold_current__"), "C:\\Pubs\\Course.pub");
  EXPECT_EQ(ResolveTargetPublication(&Host, "__KVGRIDFOLD_CURRENT__::[PubDir]x.pub"),
            "C:\\Pubs\\x.pub");
  EXPECT_EQ(ResolveTargetPublication(&Host, "[PUBDIR]Other.pub"), "C:\\Pubs\\Other.pub");
  EXPECT_EQ(ResolveTargetPublication(&Host, ""), "");
  Host.FVars["[PubDir]"] = "";
  EXPECT_EQ(ExpandPublicationPlaceholders(&Host, "[PubDir]a.xlsx"), "[PubDir]a.xlsx");
  EXPECT_TRUE(LooksLikePath("a:b"));
  EXPECT_FALSE(LooksLikePath("Course"));
}

TEST(PublicationPaths, CopyNamesCountUp) {
  test::TTempDir Dir;
  WriteWholeFile(Dir.File("Course.pub"), "x");
  EXPECT_EQ(MakeCopyName(Dir.File("Course.pub")), Dir.File("Course.kvGridfold.pub"));
  WriteWholeFile(Dir.File("Course.kvGridfold.pub"), "x");
  WriteWholeFile(Dir.File("Course.kvGridfold_2.pub"), "x");
  EXPECT_EQ(MakeCopyName(Dir.File("Course.pub")), Dir.File("Course.kvGridfold_3.pub"));
  EXPECT_EQ(MakeCopyName(Dir.File("Course.kvGridfold.pub")),
            Dir.File("Course.kvGridfold.kvGridfold.pub"));
  EXPECT_EQ(MakeCopyName(Dir.File("NoExt")), Dir.File("NoExt.kvGridfold.pub"));
}

TEST_F(ImportDriverTest, CurrentModeImportsIntoANewCopy) {
  ASSERT_TRUE(ExecImport(FState, "[PubDir]Book.xlsx", "ALL", "__KVGRIDFOLD_CURRENT__"));
  const std::string Copy = FDir.File("Course.kvGridfold.pub");
  EXPECT_EQ(ReadWholeFile(FDir.File("Course.pub")), kPub);
  EXPECT_EQ(CountOccurrences(ReadPublicationText(Copy), "PgEnterAction=kvGridfoldOpen \""), 2);
  EXPECT_EQ(FHost.Var("[kvGridfoldImportedPub]"), Copy);
  EXPECT_EQ(FHost.Var("[LastError]"),
            "Excel pages created successfully.\r\nGenerated publication:\r\n" + Copy +
                "\r\nClose the current publication and open the generated .pub file.");
  ASSERT_EQ(FMessages.FShown.size(), 1u);
  EXPECT_EQ(FMessages.FShown[0].Caption, "kvGridfoldImport");
  EXPECT_EQ(FMessages.FShown[0].Icon, TMessageIcon::Information);
  const std::string L = Log();
  for (const char* Entry :
       {"  IMPORT START\r\n", "  ExcelFile=[PubDir]Book.xlsx\r\n",
        "  TargetPub(raw)=__KVGRIDFOLD_CURRENT__\r\n",
        "  Calling ImportWorkbookToFolivantPages\r\n", "  RectangleRecords=2\r\n",
        "  OpenActions=2\r\n", "  CloseActions=2\r\n"})
    EXPECT_NE(L.find(Entry), std::string::npos) << Entry;
  EXPECT_NE(L.find("  SUCCESS: " + Copy + "\r\n"), std::string::npos);
}

TEST_F(ImportDriverTest, OpenPublicationByItsPathInAnyCaseIsCopiedNotChanged) {
  ASSERT_TRUE(ExecImport(FState, FDir.File("Book.xlsx"), "A", AsciiUpper(FDir.File("Course.pub"))))
      << FHost.Var("[LastError]");
  EXPECT_EQ(ReadWholeFile(FDir.File("Course.pub")), kPub);
  EXPECT_TRUE(FileExists(FDir.File("Course.kvGridfold.pub")));
}

TEST_F(ImportDriverTest, OtherPublicationChangesInPlaceWithoutABox) {
  WriteWholeFile(FDir.File("Other.pub"), kPub);
  ASSERT_TRUE(ExecImport(FState, FDir.File("Book.xlsx"), "B", FDir.File("Other.pub")));
  EXPECT_EQ(FHost.Var("[LastError]"), "Excel pages imported into:\r\n" + FDir.File("Other.pub"));
  EXPECT_EQ(CountOccurrences(ReadPublicationText(FDir.File("Other.pub")), "Name=ExcelGrid_"), 1);
  EXPECT_TRUE(FMessages.FShown.empty());
  EXPECT_FALSE(FileExists(FDir.File("Other.kvGridfold.pub")));
}

TEST_F(ImportDriverTest, DesignModeCopiesAnyExistingTarget) {
  WriteWholeFile(FDir.File("Other.pub"), kPub);
  FHost.FVars["[FVMode]"] = " d ";
  ASSERT_TRUE(ExecImport(FState, FDir.File("Book.xlsx"), "ALL", FDir.File("Other.pub")));
  EXPECT_EQ(ReadWholeFile(FDir.File("Other.pub")), kPub);
  EXPECT_TRUE(FileExists(FDir.File("Other.kvGridfold.pub")));
}

TEST_F(ImportDriverTest, FailedModeReadFailsTheRun) {
  // Taken as "not D", the target would be changed in place.
  class TFailingHost : public test::TFakeHost {
   public:
    std::string GetVariable(const std::string& Name) override {
      if (Name == "[FVMode]") throw TKvError("The host cannot read [FVMode].");
      return TFakeHost::GetVariable(Name);
    }
  } Host;
  Host.FVars = FHost.FVars;
  FState.Host = &Host;
  WriteWholeFile(FDir.File("Other.pub"), kPub);
  EXPECT_FALSE(ExecImport(FState, FDir.File("Book.xlsx"), "ALL", FDir.File("Other.pub")));
  EXPECT_EQ(Host.Var("[LastError]"), "The host cannot read [FVMode].");
  EXPECT_EQ(ReadWholeFile(FDir.File("Other.pub")), kPub);
  EXPECT_EQ(FDir.List(),
            (std::vector<std::string>{"Book.xlsx", "Course.pub", "Other.pub", kImportLogName}));
  EXPECT_NE(Log().find("  ERROR: The host cannot read [FVMode].\r\n"), std::string::npos);
}

TEST_F(ImportDriverTest, ImportThatFailsAfterTheCopyRemovesIt) {
  if (test::RerunUnprivileged()) return;
#ifdef _WIN32
  GTEST_SKIP() << "a file without permissions is still readable here";
#endif
  // The records are counted in memory before the report is written, so after
  // the copy only the import itself can fail: here the workbook becomes
  // unreadable once the copy exists.
  class TBlockingHost : public test::TFakeHost {
   public:
    std::string FCopy, FBook;
    std::string GetVariable(const std::string& Name) override {
      if (FileExists(FCopy)) std::filesystem::permissions(FBook, std::filesystem::perms::none);
      return TFakeHost::GetVariable(Name);
    }
  } Host;
  Host.FVars = FHost.FVars;
  Host.FCopy = FDir.File("Course.kvGridfold.pub");
  Host.FBook = FDir.File("Book.xlsx");
  FState.Host = &Host;
  EXPECT_FALSE(ExecImport(FState, FDir.File("Book.xlsx"), "ALL", ""));
  EXPECT_NE(Host.Var("[LastError]").find("Book.xlsx"), std::string::npos)
      << Host.Var("[LastError]");
  EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Book.xlsx", "Course.pub", kImportLogName}));
}

TEST_F(ImportDriverTest, FailedImportDeletesTheCopyAndReports) {
  WriteWholeFile(FDir.File("Course.pub"), std::string(kPub) + "PgEnterAction=\r\n");
  EXPECT_FALSE(ExecImport(FState, FDir.File("Book.xlsx"), "ALL", ""));
  EXPECT_FALSE(FileExists(FDir.File("Course.kvGridfold.pub")));
  EXPECT_EQ(FHost.Var("[LastError]"),
            "kvGridfold verification failed: blank PgEnterAction record found.");
  ASSERT_EQ(FMessages.FShown.size(), 1u);
  EXPECT_EQ(FMessages.FShown[0].Caption, "kvGridfoldImport - Error");
  EXPECT_EQ(FMessages.FShown[0].Text,
            "kvGridfold verification failed: blank PgEnterAction record found.\r\n\r\nSee "
            "kvGridfold_import.log beside the current publication for diagnostic details.");
  EXPECT_NE(Log().find("  ERROR: kvGridfold verification failed"), std::string::npos);
}

TEST_F(ImportDriverTest, MessagesOfTheModes) {
  FHost.FVars["[PubTitle]"] = "";
  EXPECT_FALSE(ExecImport(FState, "x.xlsx", "ALL", "__KVGRIDFOLD_CURRENT__"));
  EXPECT_EQ(FHost.Var("[LastError]"),
            "Unable to determine the current Folivant publication. Use the current-publication "
            "mode from the kvGridfoldImport editor.");
  EXPECT_FALSE(ExecImport(FState, "x.xlsx", "ALL", FDir.File("Missing.pub")));
  EXPECT_EQ(FHost.Var("[LastError]"),
            "Target Folivant publication not found: " + FDir.File("Missing.pub"));
  FHost.FVars["[PubTitle]"] = "Gone";
  EXPECT_FALSE(ExecImport(FState, "x.xlsx", "ALL", ""));
  EXPECT_EQ(FHost.Var("[LastError]"),
            "Current Folivant publication not found: " + FDir.File("Gone.pub"));
}

TEST_F(ImportDriverTest, WithoutPubDirNoLogButTheImportRuns) {
  FHost.FVars["[PubDir]"] = "";
  WriteWholeFile(FDir.File("Other.pub"), kPub);
  EXPECT_TRUE(ExecImport(FState, FDir.File("Book.xlsx"), "ALL", FDir.File("Other.pub")));
  EXPECT_FALSE(FileExists(FDir.File("kvGridfold_import.log")));
}

}  // namespace kv
