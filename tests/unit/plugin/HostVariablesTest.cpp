#include <gtest/gtest.h>

#include "base/Files.h"
#include "plugin/ActionTable.h"
#include "plugin/HostVariables.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace kv {

TEST(ImportLog, EntryHasTimestampTwoBlanksAndCrLf) {
  TLocalTime T{2026, 3, 7, 9, 5, 3};
  EXPECT_EQ(FormatLogEntry(T, "IMPORT START"), "2026-03-07 09:05:03  IMPORT START\r\n");
}

TEST(ImportLog, WrittenIntoPubDirWithOrWithoutTrailingSeparator) {
  test::TTempDir Dir;
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = "  " + Dir.Path() + " ";
  WriteImportLog(&Host, "one");
  Host.FVars["[PubDir]"] = Dir.Path() + "/";
  WriteImportLog(&Host, "tw\xC3\xB6");
  std::string Log = ReadWholeFile(Dir.File(kImportLogName));
  ASSERT_EQ(Log.size(), 2 * 21 + 5 + 6);
  EXPECT_EQ(Log.substr(19, 7), "  one\r\n");
  EXPECT_EQ(Log.substr(Log.size() - 8), "  tw\xC3\xB6\r\n");  // UTF-8, no BOM
}

TEST(ImportLog, NothingWithoutPubDirOrCallback) {
  test::TTempDir Dir;
  test::TFakeHost Host;
  WriteImportLog(&Host, "no folder");
  Host.FVars["[PubDir]"] = Dir.Path();
  Host.FHasGet = false;
  WriteImportLog(&Host, "no callback");
  WriteImportLog(nullptr, "no host");
  EXPECT_TRUE(Dir.List().empty());
}

TEST(ImportLog, UnwritableFolderIsSwallowed) {
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = "/nonexistent/folder/for/kvgridfold";
  EXPECT_NO_THROW(WriteImportLog(&Host, "x"));
}

TEST(ImportLog, BuildLineNamesTheModule) {
  test::TTempDir Dir;
  test::TFakeHost Host;
  Host.FVars["[PubDir]"] = Dir.Path();
  WriteBuildLine(&Host, "");
  EXPECT_FALSE(FileExists(Dir.File(kImportLogName)));
  WriteBuildLine(&Host, "C:\\Plugins\\kvGridfold.dll");
  std::string Log = ReadWholeFile(Dir.File(kImportLogName));
  EXPECT_EQ(Log.substr(21),
            "BUILD=v65 real page navigation via fvPlayAction DLL=C:\\Plugins\\kvGridfold.dll\r\n");
}

TEST(ActionTable, SixteenEntriesWithKindsMatchingCounts) {
  const auto& T = ActionTable();
  ASSERT_EQ(T.size(), 16u);
  int Groups = 0;
  for (const TActionDef& A : T) {
    if (A.Id == 0) {
      ++Groups;
      EXPECT_EQ(A.Kinds, std::vector<uint8_t>{0});
      EXPECT_EQ(A.ParamCount, 0);
      EXPECT_STREQ(A.Hint, "");
    } else {
      EXPECT_EQ(static_cast<int>(A.Kinds.size()), A.ParamCount) << A.Name;
    }
  }
  EXPECT_EQ(Groups, 5);
  EXPECT_EQ(FindAction(0), nullptr);
  EXPECT_EQ(FindAction(12), nullptr);
  EXPECT_STREQ(FindAction(8)->Name, "kvGridfoldImport");
  EXPECT_EQ(FindAction(1)->Kinds, (std::vector<uint8_t>{1, 5, 6, 1, 1}));
}

}  // namespace kv
