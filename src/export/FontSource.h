// Where the PDF export finds its fonts: a port with one implementation per
// platform. Elsewhere than Windows the fonts are files (a given path, else
// DejaVu Sans, then every font in the usual folders for characters it
// lacks); on Windows they come from GDI (the given face, else the viewer's
// grid font, then the installed fonts that cover other scripts).
#ifndef KV_EXPORT_FONTSOURCE_H
#define KV_EXPORT_FONTSOURCE_H

#include <memory>
#include <string>

namespace kv {

class IFontSource {
 public:
  virtual ~IFontSource() = default;
  // The bytes of font Index (0 the text's own font, then the fallbacks in
  // the order they are tried) and its face in a collection. False past the
  // last font; Bytes is left empty for a font that cannot be read.
  virtual bool FontData(int Index, std::string& Bytes, int& Face) = 0;
};

// The platform's fonts. Font names the text's own font: a font file's path,
// or on Windows a face name; the default when empty or (elsewhere) not an
// existing file. Raises nothing: fonts that cannot be read are skipped when
// asked for.
std::unique_ptr<IFontSource> MakeSystemFontSource(const std::string& Font);

}  // namespace kv

#endif
