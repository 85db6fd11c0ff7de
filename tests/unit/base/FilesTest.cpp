// Runs natively and, in the win64 build, under Wine, so both implementations
// of the files port are held to the same behaviour.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TempDir.h"

namespace kv {

TEST(Files, WriteReadAndSize) {
  test::TTempDir Dir;
  std::string P = Dir.File("a.bin");
  std::string Data("x\0y\r\n", 5);
  WriteWholeFile(P, Data);
  EXPECT_TRUE(FileExists(P));
  EXPECT_FALSE(DirectoryExists(P));
  EXPECT_TRUE(DirectoryExists(Dir.Path()));
  EXPECT_EQ(FileSize(P), 5);
  EXPECT_EQ(ReadWholeFile(P), Data);
  EXPECT_EQ(ReadWholeFile(P, TShareMode::DenyNone), Data);
  EXPECT_EQ(FileSize(Dir.File("missing")), -1);
  EXPECT_THROW(ReadWholeFile(Dir.File("missing")), TKvError);
}

TEST(Files, AppendCreatesThenGrows) {
  test::TTempDir Dir;
  std::string P = Dir.File("log.txt");
  AppendToFile(P, "one\r\n");
  AppendToFile(P, "two\r\n");
  EXPECT_EQ(ReadWholeFile(P), "one\r\ntwo\r\n");
}

TEST(Files, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
  test::TTempDir Dir;
  std::string P = Dir.File("book.xlsx");
  WriteWholeFile(P, "old");
  WriteFileAtomically(P, "new contents");
  EXPECT_EQ(ReadWholeFile(P), "new contents");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"book.xlsx"});
}

TEST(Files, UncommittedWriterLeavesTargetUntouched) {
  test::TTempDir Dir;
  std::string P = Dir.File("book.xlsx");
  WriteWholeFile(P, "old");
  {
    TAtomicFileWriter W(P);
    W.Write("half");
    EXPECT_TRUE(FileExists(W.TemporaryName()));
  }
  EXPECT_EQ(ReadWholeFile(P), "old");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"book.xlsx"});
}

TEST(Files, WriterInMissingFolderFailsClearly) {
  test::TTempDir Dir;
  try {
    WriteFileAtomically(Dir.File("no/such/folder.txt"), "x");
    FAIL() << "no error";
  } catch (const TKvError& E) {
    EXPECT_NE(std::string(E.what()).find("folder.txt"), std::string::npos) << E.what();
  }
}

TEST(Files, CopyKeepsBytesAndRefusesExistingTarget) {
  test::TTempDir Dir;
  std::string Src = Dir.File("a.pub"), Dst = Dir.File("b.pub");
  std::string Big(200000, '\0');
  for (size_t I = 0; I < Big.size(); ++I) Big[I] = static_cast<char>(I * 7);
  WriteWholeFile(Src, Big);
  CopyFileShared(Src, Dst);
  EXPECT_EQ(ReadWholeFile(Dst), Big);
  EXPECT_THROW(CopyFileShared(Src, Dst), TKvError);
  EXPECT_TRUE(DeleteFileAt(Dst));
  EXPECT_FALSE(FileExists(Dst));
}

TEST(Files, FullPathOfRelativeNameIsAbsolute) {
  std::string F = FullPath("x.pub");
  EXPECT_NE(F, "x.pub");
  EXPECT_EQ(F.substr(F.size() - 5), "x.pub");
}

}  // namespace kv
