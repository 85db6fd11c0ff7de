// Worksheets as publication pages. The host keeps a publication as a
// line-oriented key=value text; this module reads it whole (ANSI, UTF-8 or
// UTF-16 by its first bytes), finds the few lines it needs, inserts one page
// block with one Rectangle per selected worksheet after the master page's
// block, verifies the result and replaces the file in one move. Every other
// line passes through unchanged, and a publication is written back in the
// encoding it was read in, so characters outside the ANSI code page in the
// user's existing pages survive.
#ifndef KV_IMPORT_GRIDFOLDIMPORTER_H
#define KV_IMPORT_GRIDFOLDIMPORTER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "import/PublicationRules.h"

namespace kv {

class TXlsxWorkbook;

// The keys of the records an imported page holds, named once for the page
// builder, the verification and the import's counts.
extern const char* const kGridObjectPrefix;       // "ExcelGrid_"
extern const char* const kRectangleRecordPrefix;  // "ObjectType=5\r\nName=ExcelGrid_"
extern const char* const kOpenActionPrefix;       // "PgEnterAction=kvGridfoldOpen \""
extern const char* const kCloseActionPrefix;      // "PgExitAction=kvGridfoldClose \""

enum class TPubEncoding { Ansi, Utf8Bom, Utf16LeBom };

// Decodes publication bytes: EF BB BF (3 bytes or more) is UTF-8, FF FE is
// UTF-16 little-endian, anything else the ANSI code page. The odd last byte
// of a UTF-16 file stays in the text (0xFF and two hexadecimal digits) and Encode puts it
// back at the end, so the file keeps every byte.
std::string DecodePublicationBytes(std::string_view Bytes, TPubEncoding* Encoding = nullptr);
std::string EncodePublicationText(std::string_view Text, TPubEncoding Encoding);

// Reads the file denying other writers. Raises: the file error.
std::string ReadPublicationText(const std::string& FileName, TPubEncoding* Encoding = nullptr);
// Creates or truncates the file and writes the text. Raises: the file error.
void WritePublicationText(const std::string& FileName, std::string_view Text,
                          TPubEncoding Encoding = TPubEncoding::Ansi);

int32_t CountPublicationPages(std::string_view Text);
// Non-overlapping, case-sensitive occurrences of What; 0 when What is empty.
int32_t CountOccurrences(std::string_view Text, std::string_view What);
bool PublicationHasPage(std::string_view Text, std::string_view PageName);
int32_t ReadPublicationInteger(std::string_view Text, std::string_view Key, int32_t Default);
int32_t NextGridNumber(std::string_view Text);
// Places Insertion after the master page's block: before the first page line
// ("NewPage=") that follows the line holding "MasterPage", or at the end of
// the text when none follows. Requires: Text contains "MasterPage".
std::string InsertAfterMasterPage(std::string_view Text, std::string_view Insertion);

bool IsSheetSelected(std::string_view SheetName, std::string_view SheetList);
// The indexes, in order, of the names the list selects: an item picks the
// names equal to it; an item that equals no name picks the names that equal
// it once trimmed.
std::vector<int> SelectSheets(const std::vector<std::string>& SheetNames,
                              std::string_view SheetList);
std::string MakePageName(std::string_view SheetName);
std::string MakeUniquePageName(std::string_view Text, const std::string& BaseName);
std::string MakeWorkbookReference(const std::string& WorkbookPath, const std::string& PubPath);
void AppendGridPage(std::string& Buffer, const std::string& PageName, int32_t GridNumber,
                    int32_t ScreenWidth, int32_t ScreenHeight, const std::string& WorkbookRef,
                    const std::string& SheetParam);

// Raises the message of the first rule that fails ("kvGridfold verification
// failed: ...").
void VerifyImportedPublication(std::string_view Text, int32_t FirstGrid, int32_t ImportedPages,
                               int32_t ExistingPages);
// Writes "<PubPath>.kvdiag.txt"; Notes are extra lines after the verdict.
// Answers whether the report was written. Never raises.
bool WriteDiagnosticReport(const std::string& PubPath, int32_t ExistingPages, int32_t ImportedPages,
                           int32_t FirstGrid, std::string_view Text,
                           const std::vector<std::string>& Notes = {});

struct TImportedPublication {
  std::string Text;
  int32_t FirstGrid = 0;
  int32_t ImportedPages = 0;
  std::vector<std::string> Notes;  // the report's extra lines
};

// The publication text with one page per sheet the list selects, placed
// after the master page's block; WorkbookRef is the pages' workbook
// parameter. Reads and writes no file. Raises: "The target publication does
// not contain a MasterPage marker.", "None of the requested worksheets were
// found in the workbook.", "The publication has no grid numbers left for new
// pages (...)" and the selected sheets' loading errors.
TImportedPublication BuildImportedPublication(std::string_view Text, const TXlsxWorkbook& Book,
                                              const std::string& WorkbookRef,
                                              std::string_view SheetList);

struct TImportResult {
  int32_t FirstGrid = 0;
  int32_t ImportedPages = 0;
  std::string ReportPath;  // the report this import wrote; empty when none
  // The records in the text written, counted before it was written.
  int32_t RectangleRecords = 0;
  int32_t OpenActions = 0;
  int32_t CloseActions = 0;
};

// Adds one page per selected worksheet to the publication. The publication
// changes only when this returns normally. Raises: "Excel file not found: ",
// "Target Folivant publication not found: ", "The Excel workbook and Folivant
// publication must be different files.", "The target publication does not
// contain a MasterPage marker.", "None of the requested worksheets were found
// in the workbook.", "The workbook's path cannot be written in the ANSI code
// page: ", "The workbook's path contains a double quote, ...", "The
// publication has no grid numbers left for new pages (...)", the
// verification's messages, "Unable to replace target publication: %s", the
// workbook's loading errors and file errors.
TImportResult ImportWorkbookToFolivantPages(const std::string& WorkbookPath,
                                            const std::string& SheetList,
                                            const std::string& PubPath);

}  // namespace kv

#endif
