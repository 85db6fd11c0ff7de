#include <gtest/gtest.h>

#include "base/Files.h"
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

}  // namespace kv
