// Scoped Win32 handles: each owns one handle and gives it back when it goes
// out of scope, so a throw between taking and releasing leaks nothing. A
// window's DC (GetDC/ReleaseDC), a memory DC (DeleteDC), any GDI object
// (DeleteObject: fonts, bitmaps, brushes, pens, regions), an object selected
// into a DC (the previous one selected back) and a paint (BeginPaint/
// EndPaint). None copies; none raises. Win32 only: the *_win32.cpp files of
// any folder may include it.
#ifndef KV_BASE_SCOPEDWIN_H
#define KV_BASE_SCOPEDWIN_H

#include <windows.h>

#include <utility>

namespace kv {

// The DC of a window (or of the screen, for no window), from GetDC.
class TScopedGetDc {
 public:
  explicit TScopedGetDc(HWND Window) : FWindow(Window), FDc(GetDC(Window)) {}
  ~TScopedGetDc() {
    if (FDc) ReleaseDC(FWindow, FDc);
  }
  TScopedGetDc(const TScopedGetDc&) = delete;
  TScopedGetDc& operator=(const TScopedGetDc&) = delete;
  HDC Get() const { return FDc; }
  operator HDC() const { return FDc; }

 private:
  HWND FWindow;
  HDC FDc;
};

// A DC from CreateCompatibleDC.
class TScopedMemDc {
 public:
  explicit TScopedMemDc(HDC Like) : FDc(CreateCompatibleDC(Like)) {}
  ~TScopedMemDc() {
    if (FDc) DeleteDC(FDc);
  }
  TScopedMemDc(const TScopedMemDc&) = delete;
  TScopedMemDc& operator=(const TScopedMemDc&) = delete;
  HDC Get() const { return FDc; }
  operator HDC() const { return FDc; }

 private:
  HDC FDc;
};

// A GDI object that DeleteObject frees: HFONT, HBITMAP, HBRUSH, HPEN, HRGN.
template <typename THandle>
class TScopedGdiObject {
 public:
  TScopedGdiObject() = default;
  explicit TScopedGdiObject(THandle Handle) : FHandle(Handle) {}
  ~TScopedGdiObject() { Reset(); }
  TScopedGdiObject(const TScopedGdiObject&) = delete;
  TScopedGdiObject& operator=(const TScopedGdiObject&) = delete;
  TScopedGdiObject(TScopedGdiObject&& Other) noexcept
      : FHandle(std::exchange(Other.FHandle, nullptr)) {}
  TScopedGdiObject& operator=(TScopedGdiObject&& Other) noexcept {
    if (this != &Other) Reset(std::exchange(Other.FHandle, nullptr));
    return *this;
  }
  // Frees the held object and holds Handle instead.
  void Reset(THandle Handle = nullptr) {
    if (FHandle) DeleteObject(FHandle);
    FHandle = Handle;
  }
  THandle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }

 private:
  THandle FHandle = nullptr;
};

using TScopedFont = TScopedGdiObject<HFONT>;
using TScopedBitmap = TScopedGdiObject<HBITMAP>;
using TScopedRegion = TScopedGdiObject<HRGN>;

// Object selected into a DC for a scope; the one it replaced goes back.
class TScopedSelect {
 public:
  TScopedSelect(HDC Dc, HGDIOBJ Object)
      : FDc(Dc), FOld(Object ? SelectObject(Dc, Object) : nullptr) {}
  ~TScopedSelect() {
    if (FOld) SelectObject(FDc, FOld);
  }
  TScopedSelect(const TScopedSelect&) = delete;
  TScopedSelect& operator=(const TScopedSelect&) = delete;

 private:
  HDC FDc;
  HGDIOBJ FOld;
};

// A paint of a window, from BeginPaint to EndPaint.
class TScopedPaint {
 public:
  explicit TScopedPaint(HWND Window) : FWindow(Window) { FDc = BeginPaint(Window, &FPs); }
  ~TScopedPaint() { EndPaint(FWindow, &FPs); }
  TScopedPaint(const TScopedPaint&) = delete;
  TScopedPaint& operator=(const TScopedPaint&) = delete;
  HDC Dc() const { return FDc; }
  const PAINTSTRUCT& Info() const { return FPs; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPs{};
  HDC FDc = nullptr;
};

}  // namespace kv

#endif
