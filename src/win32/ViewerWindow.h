// The Win32 window port of the viewer: a "STATIC" child window whose window
// procedure is replaced and whose user-data slot points at the port, an
// "EDIT" child as the in-place editor, a window timer, and a GDI renderer of
// the viewer's display list. The DLL (and fvhost, and the Win32 tests) use
// the one instance this returns.
#ifndef KV_WIN32_VIEWERWINDOW_H
#define KV_WIN32_VIEWERWINDOW_H

#include "viewer/PaintList.h"
#include "viewer/WindowPort.h"

namespace kv {

IWindowSystem& Win32WindowSystem();

// Draws a display list on a device context (an HDC) whose client area is
// Width x Height.
void RenderPaintList(void* Dc, const TPaintList& List);

}  // namespace kv

#endif
