// The viewer's window port: everything the portable viewer asks of the window
// system, so that its logic runs and is tested without one. The Win32 side
// (src/win32/ViewerWindow_win32.cpp, made by CreateWin32WindowSystem in
// win32/ViewerWindow.h) implements it with a "STATIC" child window whose
// window procedure is replaced; native tests use tests/unit/viewer/FakeWindows.h,
// which records every call and lets a test deliver messages.
//
// Window handles cross the port as integers (0: none). Messages are passed
// through with their Win32 codes and parameters (the viewer decodes them), so
// the port translates nothing.
#ifndef KV_VIEWER_WINDOWPORT_H
#define KV_VIEWER_WINDOWPORT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kv {

using TWindowHandle = uintptr_t;

// A rectangle in pixels; Right and Bottom are exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool Contains(int32_t X, int32_t Y) const {
    return X >= Left && X < Right && Y >= Top && Y < Bottom;
  }
  bool operator==(const TRect&) const = default;
};

// 24-bit colour in COLORREF layout: red in the low byte.
using TColor = uint32_t;
constexpr TColor Rgb(uint8_t R, uint8_t G, uint8_t B) {
  return TColor(R) | (TColor(G) << 8) | (TColor(B) << 16);
}

class TPaintList;

// How the window procedure answers a message the viewer saw.
enum class TMessageResult {
  Default,         // the default window procedure's result
  Handled,         // 0
  DefaultThenZero  // default processing, then 0
};

// The window procedure hands every message of the viewer window here.
class IViewerMessageSink {
 public:
  virtual ~IViewerMessageSink() = default;
  virtual TMessageResult HandleMessage(uint32_t Msg, uintptr_t WParam, intptr_t LParam) = 0;
};

// One viewer window and its in-place editor.
class IViewerWindow {
 public:
  virtual ~IViewerWindow() = default;
  virtual TWindowHandle Handle() const = 0;
  virtual bool IsAlive() const = 0;
  virtual bool IsVisible() const = 0;
  // Width and height of the client area.
  virtual void ClientSize(int32_t& Width, int32_t& Height) const = 0;
  // Moves and sizes in parent client coordinates, on top of the siblings,
  // without activating.
  virtual void Move(int32_t X, int32_t Y, int32_t Width, int32_t Height) = 0;
  virtual void Show() = 0;            // SW_SHOW
  virtual void ShowNoActivate() = 0;  // SW_SHOWNOACTIVATE
  virtual void Hide() = 0;            // SW_HIDE
  virtual void Invalidate() = 0;      // whole client area, no background erase
  virtual void SetFocus() = 0;
  // The window of this thread that has the keyboard focus (the viewer, its
  // editor or any other), 0 when none of this thread's windows has it.
  virtual TWindowHandle FocusedWindow() const = 0;
  virtual void StartTimer(uint32_t Id, uint32_t Milliseconds) = 0;
  virtual void StopTimer(uint32_t Id) = 0;
  virtual void PostToSelf(uint32_t Msg, uintptr_t WParam, intptr_t LParam) = 0;
  // Begins painting, lets Fill build the display list, renders it and ends
  // painting, also when Fill raises (the error then passes on).
  virtual void Paint(const std::function<void(TPaintList&)>& Fill) = 0;
  // Destroys the window and its children; the sink gets no further messages.
  virtual void Destroy() = 0;

  // The window's own scroll bar (vertical or horizontal): shown or hidden,
  // and when shown its range 0..Max, page and thumb position.
  virtual void SetScrollBar(bool, bool, int32_t, int32_t, int32_t) {}
  // Screen coordinates (a wheel message's) to client coordinates.
  virtual void ScreenToClientPoint(int32_t&, int32_t&) const {}
  // The modifier keys held with the key being handled (kMod... bits).
  virtual uint32_t KeyModifiers() const { return 0; }

  // Width in pixels of Text in the regular weight of the font FontName at
  // FontPoints points, as the renderer draws it.
  virtual int32_t TextWidth(const std::string& FontName, int32_t FontPoints,
                            std::string_view Text) const = 0;

  // Line height in pixels of that font (ascent plus descent).
  virtual int32_t TextHeight(const std::string&, int32_t FontPoints) const {
    return FontPoints * 5 / 3;
  }

  // The in-place editor: a multi-line "EDIT" child (line breaks "\r\n") holding Text in the regular
  // weight of the font FontName at FontPoints points. Returns its handle, 0
  // when it could not be created.
  virtual TWindowHandle CreateEditor(int32_t X, int32_t Y, int32_t Width, int32_t Height,
                                     const std::string& Text, const std::string& FontName,
                                     int32_t FontPoints) = 0;
  virtual void SelectAllAndFocusEditor(TWindowHandle Editor) = 0;
  // Puts the editor's caret after its last character, selecting nothing.
  virtual void PlaceEditorCaretAtEnd(TWindowHandle) {}
  // Replaces the editor's selection with Text (a line break: "\r\n").
  virtual void InsertEditorText(TWindowHandle, const std::string&) {}
  // The editor's whole text, however long.
  virtual std::string EditorText(TWindowHandle Editor) const = 0;
  virtual void DestroyEditor(TWindowHandle Editor) = 0;
};

// The window system as a whole: creates viewer windows and answers questions
// about other windows (the host's and the Rectangles').
class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // A visible child of Parent at (0, 0), 800 x 500, whose messages go to
  // Sink. Returns null on failure with ErrorCode set to the system's error.
  virtual std::unique_ptr<IViewerWindow> CreateViewerWindow(TWindowHandle Parent,
                                                            IViewerMessageSink& Sink,
                                                            int& ErrorCode) = 0;
  virtual bool IsWindow(TWindowHandle Window) const = 0;
  // Width and height of Window's client area; false when it cannot be read.
  virtual bool ClientSize(TWindowHandle Window, int32_t& Width, int32_t& Height) const = 0;
  // The client origin of From in client coordinates of To.
  virtual bool ClientOriginIn(TWindowHandle From, TWindowHandle To, int32_t& X,
                              int32_t& Y) const = 0;
};

// Message codes and key codes the viewer handles (Win32 values).
namespace msg {
constexpr uint32_t Size = 0x0005, SetFocus = 0x0007, KillFocus = 0x0008, Paint = 0x000F,
                   EraseBkgnd = 0x0014, NcDestroy = 0x0082, KeyDown = 0x0100, Char = 0x0102,
                   Command = 0x0111, Timer = 0x0113, MouseMove = 0x0200, LButtonDown = 0x0201,
                   LButtonDblClk = 0x0203, MouseWheel = 0x020A, HScroll = 0x0114, VScroll = 0x0115;
// WM_VSCROLL's and WM_HSCROLL's request codes (SB_...).
enum : uint32_t {
  kScrollLineUp,
  kScrollLineDown,
  kScrollPageUp,
  kScrollPageDown,
  kScrollThumbPosition,
  kScrollThumbTrack,
  kScrollTop,
  kScrollBottom
};
// A key pressed in the editor (WM_KEYDOWN or WM_SYSKEYDOWN there), WParam the
// key code: the port hands it on before the edit control sees it, and a
// Handled answer keeps it (and the character it would type) from the editor.
constexpr uint32_t EditorKeyDown = 0x8000 + 0x8A;
constexpr uint32_t HostNotify = 0x0400 + 250;     // WM_HOSTNOTIFY
constexpr uint32_t PageNavigate = 0x8000 + 0x89;  // WM_PAGENAVIGATE
constexpr uint32_t EnKillFocus = 0x0200;          // EN_KILLFOCUS
constexpr uint32_t MkShift = 0x0004;              // MK_SHIFT
}  // namespace msg

namespace vk {
constexpr uint32_t Back = 0x08, Tab = 0x09, Return = 0x0D, Escape = 0x1B, Prior = 0x21, Next = 0x22,
                   End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28,
                   Delete = 0x2E, F2 = 0x71;
}

// KeyModifiers bits.
constexpr uint32_t kModShift = 1, kModCtrl = 2, kModAlt = 4;

}  // namespace kv

#endif
