// Data in zlib's own format (a two-byte header, deflate, an Adler-32
// trailer): what a PDF's /FlateDecode stream and a PNG's image data hold.
// ZlibCompress raises nothing; it answers false when zlib fails (which, for
// a whole buffer in memory, means it ran out of memory) and each caller says
// what could not be compressed.
#ifndef KV_ZIP_ZLIBDATA_H
#define KV_ZIP_ZLIBDATA_H

#include <string>
#include <string_view>

namespace kv {

// Out becomes Data compressed at Level (0 to 9).
bool ZlibCompress(std::string_view Data, int Level, std::string& Out);

}  // namespace kv

#endif
