#include "export/PdfText.h"

namespace kv {

namespace {

// Helvetica's AFM widths of the Windows-1252 codes 32 to 255; 0 where the
// code has no character (129, 141, 143, 144, 157).
const uint16_t kHelvetica[224] = {
    278,  278, 355, 556, 556, 889,  667,  191,  333, 333,  389, 584, 278,  333, 278, 278,   // 32
    556,  556, 556, 556, 556, 556,  556,  556,  556, 556,  278, 278, 584,  584, 584, 556,   // 48
    1015, 667, 667, 722, 722, 667,  611,  778,  722, 278,  500, 667, 556,  833, 722, 778,   // 64
    667,  778, 722, 667, 611, 722,  667,  944,  667, 667,  611, 278, 278,  278, 469, 556,   // 80
    333,  556, 556, 500, 556, 556,  278,  556,  556, 222,  222, 500, 222,  833, 556, 556,   // 96
    556,  556, 333, 500, 278, 556,  500,  722,  500, 500,  500, 334, 260,  334, 584, 0,     // 112
    556,  0,   222, 556, 333, 1000, 556,  556,  333, 1000, 667, 333, 1000, 0,   611, 0,     // 128
    0,    222, 222, 333, 333, 350,  556,  1000, 333, 1000, 500, 333, 944,  0,   500, 667,   // 144
    278,  333, 556, 556, 556, 556,  260,  556,  333, 737,  370, 556, 584,  333, 737, 333,   // 160
    400,  584, 333, 333, 333, 556,  537,  278,  333, 333,  365, 556, 834,  834, 834, 611,   // 176
    667,  667, 667, 667, 667, 667,  1000, 722,  667, 667,  667, 667, 278,  278, 278, 278,   // 192
    722,  722, 778, 778, 778, 778,  778,  584,  778, 722,  722, 722, 722,  667, 667, 611,   // 208
    556,  556, 556, 556, 556, 556,  889,  500,  556, 556,  556, 556, 278,  278, 278, 278,   // 224
    556,  556, 556, 556, 556, 556,  556,  584,  611, 556,  556, 556, 556,  500, 556, 500};  // 240

}  // namespace

int HelveticaAdvance(unsigned char Code) {
  const int W = Code >= 32 ? kHelvetica[Code - 32] : 0;
  return W ? W : 556;
}

std::string_view FitHelvetica(std::string_view Text, double Width, double FontSize,
                              std::string& Buffer, bool& Cut) {
  const double Limit = FontSize > 0 ? Width * 1000 / FontSize : 0;
  double Sum = 0;
  Cut = false;
  for (const char C : Text) {
    Sum += HelveticaAdvance(static_cast<unsigned char>(C));
    if (Sum > Limit) {
      Cut = true;
      break;
    }
  }
  if (!Cut) return Text;
  const double Room = Limit - HelveticaAdvance(static_cast<unsigned char>(kEllipsis1252));
  Sum = 0;
  size_t Keep = 0;
  while (Keep < Text.size() &&
         Sum + HelveticaAdvance(static_cast<unsigned char>(Text[Keep])) <= Room)
    Sum += HelveticaAdvance(static_cast<unsigned char>(Text[Keep++]));
  Buffer.assign(Text.substr(0, Keep));
  Buffer += kEllipsis1252;
  return Buffer;
}

}  // namespace kv
