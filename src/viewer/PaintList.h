// The viewer's display list: what one repaint draws, in order, in one font.
// The viewer fills it (portable, tested natively); a renderer draws it (GDI on
// Windows). Coordinates are client pixels of the viewer window.
#ifndef KV_VIEWER_PAINTLIST_H
#define KV_VIEWER_PAINTLIST_H

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/WindowPort.h"

namespace kv {

enum class TPaintKind : uint8_t {
  Fill,     // solid fill of Box with Color
  Outline,  // 1-pixel frame along the inside of Box in Color
  Text,     // Text at (X, Y) in Color on an opaque Back, clipped to Box when Clipped
  Clip,     // the ops after it, up to the next Clip, draw only inside Box when
            // Clipped, anywhere in the client area when not
};

struct TPaintOp {
  TPaintKind Kind = TPaintKind::Fill;
  bool Clipped = false;
  bool Bold = false;
  bool WindowTextColor = false;  // Color is ignored: the system window-text colour
  bool AlignRight = false;       // Text ends at X instead of starting there
  TRect Box;
  TColor Color = 0;
  TColor Back = 0;
  int32_t X = 0, Y = 0;
  std::string Text;  // UTF-8
};

class TPaintList {
 public:
  std::string FFontName;
  int32_t FFontPoints = 9;
  std::vector<TPaintOp> FOps;

  void Clear() { FOps.clear(); }
  void Fill(const TRect& Box, TColor Color);
  void Outline(const TRect& Box, TColor Color);
  // Unclipped text.
  void Text(int32_t X, int32_t Y, std::string_view Text, TColor Color, TColor Back,
            bool Bold = false);
  void ClippedText(int32_t X, int32_t Y, const TRect& Clip, std::string_view Text, TColor Color,
                   TColor Back);
  // Limits the ops that follow to Box (an empty Box: they draw nothing).
  void ClipTo(const TRect& Box);
  // The ops that follow draw anywhere in the client area again.
  void Unclip();
  // Clipped text ending at Clip.Right (a number in its cell).
  void RightAlignedText(int32_t Y, const TRect& Clip, std::string_view Text, TColor Color,
                        TColor Back);
};

}  // namespace kv

#endif
