// Publications that another program holds open. On Windows the replacing move
// fails while any handle is open on the publication, and a reader that denies
// writers cannot open a file someone is writing; POSIX allows both. Either way
// the publication is replaced whole or left byte for byte as it was, and no
// temporary file stays behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Error.h"
#include "base/Files.h"
#include "import/GridfoldImporter.h"
#include "plugin/ImportDriver.h"
#include "plugin/PublicationPaths.h"
#include "support/FakeHost.h"
#include "support/PublicationHost.h"
#include "support/Package.h"
#include "support/TempDir.h"

namespace kv {

namespace {

const char* const kPub = "NewPage=M\r\nMasterPage\r\nNewPage=Intro\r\n";

bool OnWindows() {
  return NativePathSeparator() == '\\';
}

class SharingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FBook = FDir.File("Book.xlsx");
    FPub = FDir.File("Course.pub");
    WriteWholeFile(FBook, test::MakeBook({{"A", ""}, {"B", ""}}).Bytes());
    WriteWholeFile(FPub, kPub);
  }
  std::string ImportError() {
    try {
      ImportWorkbookToFolivantPages(FBook, "ALL", FPub);
    } catch (const TKvError& E) {
      return E.what();
    }
    return "";
  }
  void ExpectUntouched() {
    EXPECT_EQ(ReadWholeFile(FPub, TShareMode::DenyNone), kPub);
    EXPECT_EQ(FDir.List(), (std::vector<std::string>{"Book.xlsx", "Course.pub"}));
  }
  test::TTempDir FDir;
  std::string FBook, FPub;
};

}  // namespace

TEST_F(SharingTest, ReaderHoldingThePublicationBlocksOnlyTheMove) {
  std::string Error;
  {
    std::ifstream Held(FPub, std::ios::binary);
    ASSERT_TRUE(Held.is_open());
    Error = ImportError();
  }
  if (OnWindows()) {
    EXPECT_EQ(Error.rfind("Unable to replace target publication: ", 0), 0u) << Error;
    EXPECT_GT(Error.size(), std::string("Unable to replace target publication: ").size());
    ExpectUntouched();  // the temporary file is gone and no report was written
  } else {
    EXPECT_EQ(Error, "");
    EXPECT_EQ(CountPublicationPages(ReadWholeFile(FPub)), 4);
  }
}

TEST_F(SharingTest, WriterHoldingThePublicationStopsTheImportBeforeAnyFile) {
  std::string Error;
  {
    std::ofstream Held(FPub, std::ios::binary | std::ios::app);
    ASSERT_TRUE(Held.is_open());
    Error = ImportError();
  }
  if (OnWindows()) {
    EXPECT_NE(Error, "");
    ExpectUntouched();
  } else {
    EXPECT_EQ(Error, "");
  }
}

TEST_F(SharingTest, OpenPublicationIsCopiedWhileTheHostWritesIt) {
  std::ofstream Held(FPub, std::ios::binary | std::ios::app);
  ASSERT_TRUE(Held.is_open());
  const std::string Copy = CopyCurrentPublication(FPub);
  EXPECT_EQ(Copy, FDir.File("Course.kvGridfold.pub"));
  EXPECT_EQ(ReadWholeFile(Copy), kPub);
}

TEST_F(SharingTest, UnwritableTemporaryFileFailsTheCurrentModeAndDeletesTheCopy) {
  // The temporary file cannot be created: the copy cannot be rewritten.
  TFileFaults Faults;
  Faults.FPathContains = ".kvtmp";
  Faults.FPoint = TFaultPoint::Create;
  Faults.FFailAt = 1;
  SetFileFaults(&Faults);
  test::TPublicationHost Pub(FDir.Path());
  auto& [Host, Messages, State] = Pub;
  EXPECT_FALSE(ExecImport(State, FBook, "ALL", "__KVGRIDFOLD_CURRENT__"));
  SetFileFaults(nullptr);
  EXPECT_EQ(Faults.FInjected, 1);
  EXPECT_EQ(ReadWholeFile(FPub), kPub);
  EXPECT_EQ(FDir.List(),
            (std::vector<std::string>{"Book.xlsx", "Course.pub", "kvGridfold_import.log"}));
  EXPECT_NE(Host.FVars["[LastError]"], "");
  EXPECT_NE(ReadWholeFile(FDir.File("kvGridfold_import.log")).find("  ERROR: "), std::string::npos);
}

}  // namespace kv
