// The import log's counters count the text the importer writes, decoded
// alike from every encoding.
#include <gtest/gtest.h>

#include "base/Files.h"
#include "import/GridfoldImporter.h"
#include "plugin/ImportDriver.h"
#include "support/TempDir.h"

namespace kv {

TEST(ImportCounts, EveryEncodingCountsTheSameRecords) {
  test::TTempDir Dir;
  const std::string Text =
      "NewPage=\xCE\xA9\r\nMasterPage\r\nObjectType=5\r\nName=ExcelGrid_1\r\n"
      "ObjectType=5\r\nName=ExcelGrid_12\r\nname=excelgrid_3\r\n";
  for (TPubEncoding E : {TPubEncoding::Ansi, TPubEncoding::Utf8Bom, TPubEncoding::Utf16LeBom}) {
    WritePublicationText(Dir.File("p.pub"), Text, E);
    EXPECT_EQ(
        CountOccurrences(ReadPublicationText(Dir.File("p.pub")), "ObjectType=5\r\nName=ExcelGrid_"),
        2);
    EXPECT_EQ(CountOccurrences(ReadPublicationText(Dir.File("p.pub")), "\xCE\xA9"),
              E == TPubEncoding::Ansi ? 0 : 1);
  }
  EXPECT_EQ(CountOccurrences("aaaaa", "aa"), 2);  // non-overlapping
  EXPECT_EQ(CountOccurrences("aaaaa", ""), 0);
  EXPECT_EQ(CountOccurrences("", "a"), 0);
  WriteWholeFile(Dir.File("a.txt"), "aaaaa");
  EXPECT_EQ(FileSizeOf(Dir.File("a.txt")), 5);
  EXPECT_EQ(FileSizeOf(Dir.File("none.pub")), 0);
}

}  // namespace kv
