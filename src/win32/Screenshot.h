// Screenshots of windows for tests and fvhost: what the screen shows of a
// window's client area, as 24-bit pixels, and a PNG file of them.
#ifndef KV_WIN32_SCREENSHOT_H
#define KV_WIN32_SCREENSHOT_H

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/WindowPort.h"

namespace kv {

struct TPixels {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // rows top to bottom, 3 bytes per pixel: red, green, blue

  // Requires: 0 <= X < Width, 0 <= Y < Height.
  TColor At(int32_t X, int32_t Y) const {
    const uint8_t* P = &Rgb[(size_t(Y) * size_t(Width) + size_t(X)) * 3];
    return kv::Rgb(P[0], P[1], P[2]);
  }
};

// Copies the window's client area from the screen (BitBlt from its DC).
// Raises: TKvError when the window cannot be read.
TPixels CaptureWindow(TWindowHandle Window);

// An 8-bit RGB PNG of the pixels. Raises: the file system's errors.
void WritePng(const TPixels& Pixels, const std::string& FileName);

}  // namespace kv

#endif
