#include "dialogs/FormLayout.h"

#include <algorithm>

#include "base/Text.h"

namespace kv {

namespace {

// A caption as drawn: accelerator marks take no room.
std::string Drawn(const std::string& Caption) {
  return ReplaceAll(Caption, "&", "");
}

TBounds Absolute(const TFormModel& Form, const TControl& C) {
  TBounds B{C.Left, C.Top, C.Width, C.Height};
  if (!C.Parent.empty()) {
    const TControl& G = Form.Control(C.Parent);
    B.Left += G.Left;
    B.Top += G.Top;
  }
  return B;
}

// A substituted font may run a check box caption past its box: it widens
// towards the right edge of its form or group, never beyond and never onto a
// sibling to its right.
int CaptionWidth(const TFormModel& Form, const TControl& C, int X, ITextMeasure& Measure) {
  const int Needed = Measure.TextWidth(Drawn(C.Text)) + Measure.CheckMarkWidth() + 8;
  int Limit = Form.ClientWidth() - 8;
  if (!C.Parent.empty()) {
    const TControl& G = Form.Control(C.Parent);
    Limit = G.Left + G.Width - 4;
  }
  for (const TControl& O : Form.Controls())
    if (&O != &C && O.Parent == C.Parent && O.Left > C.Left && O.Top < C.Top + C.Height &&
        C.Top < O.Top + O.Height)
      Limit = std::min(Limit, X + (O.Left - C.Left) - 4);
  return std::max(C.Width, std::min(Needed, Limit - X));
}

}  // namespace

int ReflowHints(TFormModel& Form, ITextMeasure& Measure) {
  int Total = 0;
  auto& Cs = Form.Controls();
  for (TControl& Hint : Cs) {
    if (Hint.Kind != TControlKind::HintLabel || !Hint.Parent.empty()) continue;
    const int Extra = Measure.WrappedTextHeight(Hint.Text, Hint.Width) - Hint.Height;
    if (Extra <= 0) continue;
    const int Bottom = Hint.Top + Hint.Height;
    for (TControl& C : Cs)
      if (C.Parent.empty() && C.Top >= Bottom) C.Top += Extra;
    Hint.Height += Extra;
    Total += Extra;
  }
  return Total;
}

std::vector<size_t> CreationOrder(const TFormModel& Form) {
  const auto& Cs = Form.Controls();
  auto GroupTab = [&](const TControl& C) {
    return C.Parent.empty() ? C.TabOrder : Form.Control(C.Parent).TabOrder;
  };
  std::vector<size_t> Tabbed, Rest;
  for (size_t I = 0; I < Cs.size(); ++I) (Cs[I].TabOrder >= 0 ? Tabbed : Rest).push_back(I);
  std::stable_sort(Tabbed.begin(), Tabbed.end(), [&](size_t A, size_t B) {
    const TControl &Ca = Cs[A], &Cb = Cs[B];
    const int Ga = GroupTab(Ca), Gb = GroupTab(Cb);
    if (Ga != Gb) return Ga < Gb;
    const bool Pa = Ca.Parent.empty(), Pb = Cb.Parent.empty();
    if (Pa != Pb) return Pa;  // the group box before what it holds
    return Ca.TabOrder < Cb.TabOrder;
  });
  std::vector<size_t> Order;
  for (size_t I : Tabbed) {
    for (size_t L : Rest)
      if (Cs[L].FocusControl == Cs[I].Name) Order.push_back(L);
    Order.push_back(I);
  }
  for (size_t L : Rest)
    if (std::find(Order.begin(), Order.end(), L) == Order.end()) Order.push_back(L);
  return Order;
}

TBounds PlaceControl(const TFormModel& Form, size_t Index, ITextMeasure& Measure) {
  const auto& Cs = Form.Controls();
  const TControl& C = Cs[Index];
  TBounds B = Absolute(Form, C);
  switch (C.Kind) {
    case TControlKind::Label:
      B.Width = std::max(C.Width, Measure.TextWidth(Drawn(C.Text)) + 2);
      if (C.Width == 0) B.Height = 13;
      break;
    case TControlKind::CheckBox:
    case TControlKind::RadioButton:
      B.Width = CaptionWidth(Form, C, B.Left, Measure);
      break;
    default:
      break;
  }
  // A fixed-width label whose caption outgrows it widens, and the field it
  // names, when that sits to its right, gives up room on its left side.
  for (size_t I = 0; I < Cs.size(); ++I) {
    const TControl& L = Cs[I];
    if (L.Kind != TControlKind::Label || L.Width == 0 || L.FocusControl != C.Name ||
        L.Parent != C.Parent || C.Left < L.Left + L.Width)
      continue;
    const TBounds Lb = PlaceControl(Form, I, Measure);
    const int Right = B.Left + B.Width;
    B.Left = std::max(B.Left, Lb.Left + Lb.Width + 3);
    B.Width = Right - B.Left;
  }
  return B;
}

}  // namespace kv
