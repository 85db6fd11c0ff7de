#include <windows.h>

#include <vector>

#include "base/Text.h"
#include "export/FontSource.h"
#include "export/TrueType.h"

namespace kv {

namespace {

// Installed faces tried first for characters the text's font lacks: the UI
// fonts, then the system's CJK fonts (Simplified and Traditional Chinese,
// Japanese, Korean), then wide-coverage and symbol fonts; then every other
// installed TrueType family.
const wchar_t* const kFallbacks[] = {
    L"Segoe UI",           L"Arial",           L"Microsoft YaHei",  L"SimSun",
    L"Microsoft JhengHei", L"Yu Gothic",       L"MS Gothic",        L"Malgun Gothic",
    L"Nirmala UI",         L"Segoe UI Symbol", L"Arial Unicode MS", L"Tahoma"};

constexpr DWORD kCollectionTag = 0x66637474;  // 'ttcf', as GetFontData takes it
constexpr DWORD kHeadTag = 0x64616568;        // 'head'

// The TrueType families installed, vertical (@) variants left out.
int CALLBACK AddFamily(const LOGFONTW* Font, const TEXTMETRICW*, DWORD Type, LPARAM Param) {
  if ((Type & TRUETYPE_FONTTYPE) && Font->lfFaceName[0] != L'@')
    reinterpret_cast<std::vector<std::wstring>*>(Param)->emplace_back(Font->lfFaceName);
  return 1;
}

std::vector<std::wstring> InstalledFamilies() {
  std::vector<std::wstring> Families;
  LOGFONTW Lf = {};
  Lf.lfCharSet = DEFAULT_CHARSET;
  HDC Dc = CreateCompatibleDC(nullptr);
  if (Dc) {
    EnumFontFamiliesExW(Dc, &Lf, AddFamily, reinterpret_cast<LPARAM>(&Families), 0);
    DeleteDC(Dc);
  }
  return Families;
}

// The whole font file of Face (a collection's when it is in one, with the
// face's index found by its head table). Unless Substitute, false when GDI
// gives another face for it; false when it gives no data.
bool ReadFace(const std::wstring& Face, bool Substitute, std::string& Bytes, int& Index) {
  LOGFONTW Lf = {};
  Lf.lfHeight = -1000;
  Lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(Lf.lfFaceName, Face.c_str(), LF_FACESIZE);
  HFONT Font = CreateFontIndirectW(&Lf);
  HDC Dc = CreateCompatibleDC(nullptr);
  HGDIOBJ Old = Font && Dc ? SelectObject(Dc, Font) : nullptr;
  bool Ok = false;
  wchar_t Got[LF_FACESIZE] = {};
  if (Old && GetTextFaceW(Dc, LF_FACESIZE, Got) &&
      (Substitute || lstrcmpiW(Got, Face.c_str()) == 0)) {
    DWORD Tag = kCollectionTag;
    DWORD Size = GetFontData(Dc, Tag, 0, nullptr, 0);
    if (Size == GDI_ERROR) Size = GetFontData(Dc, Tag = 0, 0, nullptr, 0);
    if (Size != GDI_ERROR && Size > 0) {
      Bytes.resize(Size);
      Ok = GetFontData(Dc, Tag, 0, Bytes.data(), Size) == Size;
      const DWORD HeadSize = Tag ? GetFontData(Dc, kHeadTag, 0, nullptr, 0) : GDI_ERROR;
      if (Ok && HeadSize != GDI_ERROR) {
        std::string Head(HeadSize, '\0');
        GetFontData(Dc, kHeadTag, 0, Head.data(), HeadSize);
        Index = CollectionFaceWithHead(Bytes, Head);
      }
    }
  }
  if (Old) SelectObject(Dc, Old);
  if (Dc) DeleteDC(Dc);
  if (Font) DeleteObject(Font);
  if (!Ok) Bytes.clear();
  return Ok;
}

class TGdiFontSource : public IFontSource {
 public:
  explicit TGdiFontSource(const std::string& Font) {
    const std::wstring First = Font.empty() ? L"Segoe UI" : ToWide(Font);
    FFaces.push_back(First);
    for (const wchar_t* F : kFallbacks) Add(F);
    for (const std::wstring& F : InstalledFamilies()) Add(F);
  }

  bool FontData(int Index, std::string& Bytes, int& Face) override {
    Bytes.clear();
    Face = 0;
    if (Index < 0 || size_t(Index) >= FFaces.size()) return false;
    // The text's own font as GDI draws it (the viewer shows its substitute
    // too); the fallbacks only where installed.
    ReadFace(FFaces[size_t(Index)], Index == 0, Bytes, Face);
    return true;
  }

 private:
  void Add(const std::wstring& Face) {
    for (const std::wstring& Had : FFaces)
      if (lstrcmpiW(Had.c_str(), Face.c_str()) == 0) return;
    FFaces.push_back(Face);
  }
  static std::wstring ToWide(const std::string& Utf8) {
    const std::u16string W = Utf8ToUtf16(Utf8);
    return std::wstring(W.begin(), W.end());
  }
  std::vector<std::wstring> FFaces;
};

}  // namespace

std::unique_ptr<IFontSource> MakeSystemFontSource(const std::string& Font) {
  return std::make_unique<TGdiFontSource>(Font);
}

}  // namespace kv
