// Paths as a Windows host hands them over, on every build: drive letters,
// backslashes or forward slashes, any ASCII case.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Files.h"
#include "import/GridfoldImporter.h"
#include "plugin/ImportDriver.h"
#include "plugin/PublicationPaths.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace kv {

TEST(WindowsPaths, WorkbookBesideThePublicationWhateverTheSeparatorsAndCase) {
  EXPECT_EQ(MakeWorkbookReference("C:/Data/B.xlsx", "c:\\DATA\\p.pub"), "[PubDir]B.xlsx");
  EXPECT_EQ(MakeWorkbookReference("c:\\data\\sub\\B.xlsx", "C:\\Data\\p.pub"),
            FullPath("c:\\data\\sub\\B.xlsx"));
  EXPECT_EQ(MakeWorkbookReference("D:\\Data\\B.xlsx", "C:\\Data\\p.pub"),
            FullPath("D:\\Data\\B.xlsx"));
}

TEST(WindowsPaths, PlaceholdersAndCopyNamesKeepTheHostsSeparators) {
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = "C:\\Kurse";
  Host.FVars["[PubTitle]"] = "Kurs 1 (Entwurf)";
  EXPECT_EQ(CurrentPublicationPath(&Host), FullPath("C:\\Kurse\\Kurs 1.pub"));
  EXPECT_EQ(ExpandPublicationPlaceholders(&Host, "[pubdir]Daten.xlsx|[PUBTITLE]"),
            "C:\\Kurse\\Daten.xlsx|Kurs 1 (Entwurf)");
  Host.FVars["[PubDir]"] = "/srv/kurse/";
  EXPECT_EQ(ExpandPublicationPlaceholders(&Host, "[PubDir]a.xlsx"), "/srv/kurse/a.xlsx");
  EXPECT_EQ(MakeCopyName("C:\\No.Such.Folder\\Kurs"), "C:\\No.Such.Folder\\Kurs.kvGridfold.pub");
  EXPECT_EQ(MakeCopyName("C:\\No.Such.Folder\\Kurs.PUB"),
            "C:\\No.Such.Folder\\Kurs.kvGridfold.PUB");
}

TEST(WindowsPaths, OpenPublicationNamedWithOtherSeparatorsIsStillTheCurrentOne) {
  test::TFakeHost Host;
  test::TFakeMessages Messages;
  Host.FVars["[PubDir]"] = "C:\\No Such Folder\\Pubs";
  Host.FVars["[PubTitle]"] = "Course";
  TPlugInState State;
  State.Host = &Host;
  State.Messages = &Messages;
  // On POSIX such a folder is a relative name: keep the log it gets in a
  // temporary folder.
  test::TTempDir Dir;
  const std::filesystem::path Before = std::filesystem::current_path();
  std::filesystem::current_path(Dir.Path());
  // Taken as the open publication, the import tries to copy it (and finds it
  // missing) rather than to change it in place.
  EXPECT_FALSE(ExecImport(State, "C:\\No Such Folder\\Pubs\\Book.xlsx", "ALL",
                          "c:/no such folder/PUBS/course.PUB"));
  EXPECT_EQ(Host.FVars["[LastError]"], "Current Folivant publication not found: " +
                                           FullPath("C:\\No Such Folder\\Pubs\\Course.pub"));
  std::filesystem::current_path(Before);
}

}  // namespace kv
