// Runs natively and, in the win64 build, under Wine, so both implementations
// of the files port are held to the same behaviour.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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

TEST(FileReplacement, TargetTheUserMayNotWriteIsRefused) {
  if (test::RerunUnprivileged()) return;
  test::TTempDir Dir;
  const std::string P = Dir.File("report.txt");
  WriteWholeFile(P, "old");
  std::filesystem::permissions(P, std::filesystem::perms::owner_read |
                                      std::filesystem::perms::group_read |
                                      std::filesystem::perms::others_read);
  try {
    WriteFileAtomically(P, "new");
    ADD_FAILURE() << "replaced";
  } catch (const TKvError& E) {
    EXPECT_EQ(E.what(), "Unable to replace \"" + P + "\": " + test::AccessDeniedText());
  }
  const std::string Temp = Dir.File("x.tmp");
  WriteWholeFile(Temp, "new");
  std::string Message;
  EXPECT_FALSE(TryReplaceFile(Temp, P, Message));
  EXPECT_EQ(Message, test::AccessDeniedText());
  DeleteFileAt(Temp);
  EXPECT_EQ(ReadWholeFile(P), "old");
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"report.txt"});
  std::filesystem::permissions(P, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

#ifndef _WIN32

TEST(FileReplacement, PermissionBitsOfTheTargetStay) {
  test::TTempDir Dir;
  for (mode_t Mode : {0600, 0640, 0664}) {
    const std::string P = Dir.File("book.xlsx");
    WriteWholeFile(P, "old");
    ASSERT_EQ(::chmod(P.c_str(), Mode), 0);
    WriteFileAtomically(P, "new");
    struct stat St;
    ASSERT_EQ(::stat(P.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, Mode) << std::oct << Mode;
    EXPECT_EQ(ReadWholeFile(P), "new");
  }
  // A new file gets what creating it gives; so does a copy, from its source.
  const mode_t Mask = ::umask(022);
  WriteFileAtomically(Dir.File("new.csv"), "x");
  ASSERT_EQ(::chmod(Dir.File("book.xlsx").c_str(), 0600), 0);
  CopyFileShared(Dir.File("book.xlsx"), Dir.File("copy.xlsx"));
  ::umask(Mask);
  struct stat St;
  ASSERT_EQ(::stat(Dir.File("new.csv").c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0644u);
  ASSERT_EQ(::stat(Dir.File("copy.xlsx").c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0600u);
}

TEST(FileReplacement, OwnerStaysWhereTheProcessMaySetIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  test::TTempDir Dir;
  const std::string P = Dir.File("pub.pub");
  WriteWholeFile(P, "old");
  ASSERT_EQ(::chown(P.c_str(), 65534, 65534), 0);
  WriteFileAtomically(P, "new");
  struct stat St;
  ASSERT_EQ(::stat(P.c_str(), &St), 0);
  EXPECT_EQ(St.st_uid, 65534u);
  EXPECT_EQ(St.st_gid, 65534u);
}

TEST(FileReplacement, SymbolicLinkIsWrittenThrough) {
  test::TTempDir Dir, Elsewhere;
  const std::string Real = Elsewhere.File("real.pub"), Link = Dir.File("link.pub");
  WriteWholeFile(Real, "old");
  std::filesystem::create_symlink(Real, Link);
  WriteFileAtomically(Link, "saved");
  EXPECT_TRUE(std::filesystem::is_symlink(Link));
  EXPECT_EQ(ReadWholeFile(Real), "saved");
  // A relative link, one that names no file yet, and the log through a link.
  std::filesystem::create_symlink("real.csv", Elsewhere.File("rel.csv"));
  WriteFileAtomically(Elsewhere.File("rel.csv"), "made");
  EXPECT_EQ(ReadWholeFile(Elsewhere.File("real.csv")), "made");
  std::filesystem::create_symlink(Elsewhere.File("real.log"), Dir.File("kv.log"));
  AppendToFile(Dir.File("kv.log"), "one\r\n");
  AppendToFile(Dir.File("kv.log"), "two\r\n");
  EXPECT_EQ(ReadWholeFile(Elsewhere.File("real.log")), "one\r\ntwo\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(Dir.File("kv.log")));
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"kv.log", "link.pub"}));
  EXPECT_EQ(Elsewhere.List(),
            (std::vector<std::string>{"real.csv", "real.log", "real.pub", "rel.csv"}));
}

TEST(FileReplacement, LongestNameTheFileSystemAllows) {
  test::TTempDir Dir;
  const std::string P = Dir.File(std::string(251, 'n') + ".pub");
  WriteWholeFile(P, "old");
  WriteFileAtomically(P, "new");
  EXPECT_EQ(ReadWholeFile(P), "new");
  TAtomicFileWriter W(P, ".kvtmp");
  EXPECT_EQ(W.TemporaryName().substr(0, Dir.File("~kv").size()), Dir.File("~kv"));
  EXPECT_EQ(W.TemporaryName().size(), Dir.File("~kv123456.kvtmp").size());
}

#endif

TEST(Files, FullPathOfRelativeNameIsAbsolute) {
  std::string F = FullPath("x.pub");
  EXPECT_NE(F, "x.pub");
  EXPECT_EQ(F.substr(F.size() - 5), "x.pub");
}

}  // namespace kv
