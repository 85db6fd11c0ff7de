#include "viewer/PaintList.h"

namespace kv {

void TPaintList::Fill(const TRect& Box, TColor Color) {
  TPaintOp& Op = FOps.emplace_back();
  Op.Kind = TPaintKind::Fill;
  Op.Box = Box;
  Op.Color = Color;
}

void TPaintList::Outline(const TRect& Box, TColor Color) {
  TPaintOp& Op = FOps.emplace_back();
  Op.Kind = TPaintKind::Outline;
  Op.Box = Box;
  Op.Color = Color;
}

void TPaintList::Text(int32_t X, int32_t Y, std::string_view Text, TColor Color, TColor Back,
                      bool Bold) {
  TPaintOp& Op = FOps.emplace_back();
  Op.Kind = TPaintKind::Text;
  Op.X = X;
  Op.Y = Y;
  Op.Text.assign(Text);
  Op.Color = Color;
  Op.Back = Back;
  Op.Bold = Bold;
}

void TPaintList::ClippedText(int32_t X, int32_t Y, const TRect& Clip, std::string_view Text,
                             TColor Color, TColor Back) {
  TPaintOp& Op = FOps.emplace_back();
  Op.Kind = TPaintKind::Text;
  Op.Clipped = true;
  Op.Box = Clip;
  Op.X = X;
  Op.Y = Y;
  Op.Text.assign(Text);
  Op.Color = Color;
  Op.Back = Back;
}

void TPaintList::ClipTo(const TRect& Box) {
  TPaintOp& Op = FOps.emplace_back();
  Op.Kind = TPaintKind::Clip;
  Op.Clipped = true;
  Op.Box = Box;
}

void TPaintList::Unclip() {
  FOps.emplace_back().Kind = TPaintKind::Clip;
}

void TPaintList::RightAlignedText(int32_t Y, const TRect& Clip, std::string_view Text, TColor Color,
                                  TColor Back) {
  ClippedText(Clip.Right, Y, Clip, Text, Color, Back);
  FOps.back().AlignRight = true;
}

}  // namespace kv
