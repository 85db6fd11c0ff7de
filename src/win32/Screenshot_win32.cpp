#include <windows.h>

#include "base/Error.h"
#include "base/Files.h"
#include "base/ScopedWin.h"
#include "win32/Screenshot.h"
#include "zip/ZipCrc.h"
#include "zip/ZlibData.h"

namespace kv {

TPixels CaptureWindow(TWindowHandle Window) {
  HWND W = reinterpret_cast<HWND>(Window);
  RECT R;
  if (!GetClientRect(W, &R) || R.right <= 0 || R.bottom <= 0)
    throw TKvError("Cannot capture a window without a client area.");
  TPixels P;
  P.Width = R.right;
  P.Height = R.bottom;
  const TScopedGetDc Dc(W);
  const TScopedMemDc Mem(Dc);
  BITMAPINFO Bi{};
  Bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  Bi.bmiHeader.biWidth = P.Width;
  Bi.bmiHeader.biHeight = -P.Height;  // top-down
  Bi.bmiHeader.biPlanes = 1;
  Bi.bmiHeader.biBitCount = 24;
  Bi.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  const TScopedBitmap Bmp(CreateDIBSection(Dc, &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0));
  bool Ok = static_cast<bool>(Bmp);
  if (Ok) {
    const TScopedSelect Selected(Mem, Bmp.Get());
    Ok = BitBlt(Mem, 0, 0, P.Width, P.Height, Dc, 0, 0, SRCCOPY);
    GdiFlush();
    size_t Stride = (size_t(P.Width) * 3 + 3) & ~size_t(3);
    P.Rgb.resize(size_t(P.Width) * size_t(P.Height) * 3);
    const uint8_t* Src = static_cast<const uint8_t*>(Bits);
    for (int32_t Y = 0; Y < P.Height; ++Y)
      for (int32_t X = 0; X < P.Width; ++X) {
        const uint8_t* S = Src + size_t(Y) * Stride + size_t(X) * 3;  // blue, green, red
        uint8_t* D = &P.Rgb[(size_t(Y) * size_t(P.Width) + size_t(X)) * 3];
        D[0] = S[2], D[1] = S[1], D[2] = S[0];
      }
  }
  if (!Ok) throw TKvError("Cannot capture the window's pixels.");
  return P;
}

namespace {

void PutBe32(std::string& S, uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) S += char((V >> Shift) & 0xFF);
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
  PutBe32(Out, uint32_t(Data.size()));
  std::string Body = std::string(Type, 4) + Data;
  Out += Body;
  PutBe32(Out, ZipCrc32(Body));
}

}  // namespace

void WritePng(const TPixels& P, const std::string& FileName) {
  std::string Raw;
  Raw.reserve((size_t(P.Width) * 3 + 1) * size_t(P.Height));
  for (int32_t Y = 0; Y < P.Height; ++Y) {
    Raw += '\0';  // no filter
    Raw.append(reinterpret_cast<const char*>(&P.Rgb[size_t(Y) * size_t(P.Width) * 3]),
               size_t(P.Width) * 3);
  }
  std::string Z;
  if (!ZlibCompress(Raw, 6, Z)) throw TKvError("Cannot compress the screenshot.");
  std::string Header;
  PutBe32(Header, uint32_t(P.Width));
  PutBe32(Header, uint32_t(P.Height));
  Header.append("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  std::string Out = "\x89PNG\r\n\x1a\n";
  PutChunk(Out, "IHDR", Header);
  PutChunk(Out, "IDAT", Z);
  PutChunk(Out, "IEND", "");
  WriteWholeFile(FileName, Out);
}

}  // namespace kv
