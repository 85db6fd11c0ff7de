// Text in the PDF's table cells: advance widths, and cutting a text to what
// fits between a column's inset and its right rule, with an ellipsis where it
// was cut. Widths are in thousandths of an em (the font's units per em scaled
// to 1000), as PDF font dictionaries give them.
#ifndef KV_EXPORT_PDFTEXT_H
#define KV_EXPORT_PDFTEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Helvetica's advance width of a Windows-1252 code, from its published AFM
// metrics; codes Helvetica has no glyph for count as wide as a digit.
int HelveticaAdvance(unsigned char Code);

// Windows-1252's ellipsis code.
constexpr char kEllipsis1252 = '\x85';

// Text (Windows-1252 bytes) whole when it fits in Width points at FontSize in
// Helvetica, else its longest start that fits with an ellipsis after it
// (built in Buffer). Cut is set when the text was cut.
std::string_view FitHelvetica(std::string_view Text, double Width, double FontSize,
                              std::string& Buffer, bool& Cut);

}  // namespace kv

#endif
