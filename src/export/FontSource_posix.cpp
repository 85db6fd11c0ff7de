#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/Files.h"
#include "export/FontSource.h"

namespace kv {

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FontFolders() {
  std::vector<std::string> Folders = {"/usr/share/fonts", "/usr/local/share/fonts"};
  if (const char* Home = std::getenv("HOME")) {
    Folders.push_back(std::string(Home) + "/.local/share/fonts");
    Folders.push_back(std::string(Home) + "/.fonts");
  }
  return Folders;
}

bool IsFontFile(const fs::path& P) {
  std::string Ext = P.extension().string();
  for (char& C : Ext) C = char(std::tolower(static_cast<unsigned char>(C)));
  return Ext == ".ttf" || Ext == ".ttc" || Ext == ".otf";
}

// Upright regular faces first: a fallback glyph should look like the text.
bool IsStyled(const std::string& Path) {
  const std::string Name = fs::path(Path).filename().string();
  for (const char* Word : {"Bold", "Italic", "Oblique", "Light", "Mono", "Condensed", "Math"})
    if (Name.find(Word) != std::string::npos) return true;
  return false;
}

std::vector<std::string> FontFilesInFolders() {
  std::vector<std::string> Files;
  for (const std::string& Folder : FontFolders()) {
    std::error_code Ec;
    fs::recursive_directory_iterator It(Folder, fs::directory_options::skip_permission_denied, Ec);
    for (; !Ec && It != fs::recursive_directory_iterator(); It.increment(Ec))
      if (It->is_regular_file(Ec) && IsFontFile(It->path())) Files.push_back(It->path().string());
  }
  std::sort(Files.begin(), Files.end());
  std::stable_partition(Files.begin(), Files.end(),
                        [](const std::string& F) { return !IsStyled(F); });
  return Files;
}

class TFileFontSource : public IFontSource {
 public:
  explicit TFileFontSource(const std::string& Font) {
    std::vector<std::string> Found = FontFilesInFolders();
    // A face name (the viewer's grid font) is no file here: the default then.
    std::string First = FileExists(Font) ? Font : std::string();
    if (First.empty()) {
      const auto Dejavu = std::find_if(Found.begin(), Found.end(), [](const std::string& F) {
        return fs::path(F).filename() == "DejaVuSans.ttf";
      });
      if (Dejavu != Found.end()) First = *Dejavu;
    }
    if (!First.empty()) FFiles.push_back(First);
    for (std::string& F : Found)
      if (F != First) FFiles.push_back(std::move(F));
  }

  bool FontData(int Index, std::string& Bytes, int& Face) override {
    Bytes.clear();
    Face = 0;
    if (Index < 0 || size_t(Index) >= FFiles.size()) return false;
    try {
      Bytes = ReadWholeFile(FFiles[size_t(Index)]);
    } catch (...) {
      Bytes.clear();
    }
    return true;
  }

 private:
  std::vector<std::string> FFiles;
};

}  // namespace

std::unique_ptr<IFontSource> MakeSystemFontSource(const std::string& Font) {
  return std::make_unique<TFileFontSource>(Font);
}

}  // namespace kv
