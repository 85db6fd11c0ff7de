// Where a form's controls go on screen once their texts are measured in the
// font the system really draws with (a substituted font may be wider or
// taller than the one the table was designed for): the tab order, hints that
// grow to their wrapped text, labels and check box captions that widen. The
// Win32 view measures through ITextMeasure and only creates and moves
// windows; every decision here is tested natively.
#ifndef KV_DIALOGS_FORMLAYOUT_H
#define KV_DIALOGS_FORMLAYOUT_H

#include <cstddef>
#include <string>
#include <vector>

#include "dialogs/FormModel.h"

namespace kv {

// Text measured in the dialog's font, in pixels.
class ITextMeasure {
 public:
  virtual ~ITextMeasure() = default;
  // Width of Text on one line.
  virtual int TextWidth(const std::string& Text) = 0;
  // Height of Text wrapped between words at Width.
  virtual int WrappedTextHeight(const std::string& Text, int Width) = 0;
  // Width of a check box's or radio button's mark.
  virtual int CheckMarkWidth() = 0;
};

struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;  // in the form's client area
};

// Grows every hint outside a group box to the height its wrapped text needs
// and moves whatever sits below it down as far; returns how much the form
// must grow (0 when every hint fits).
int ReflowHints(TFormModel& Form, ITextMeasure& Measure);

// The controls in the order the view creates them, which is the tab order:
// by their group's tab position and their own, a group box before what it
// holds, each preceded by the labels whose accelerator moves to it; then
// everything outside the tab order, in table order.
std::vector<size_t> CreationOrder(const TFormModel& Form);

// Where control Index goes: its table position made absolute, a label sized
// to its caption (a label of width 0 exactly, a fixed-width one widened when
// the caption outgrows it), a check box or radio button widened to its
// caption up to the edge of its form or group and short of a sibling on its
// right, and a field named by a widened label on its left giving up room
// there (its right edge stays). Requires: Index < Form.Controls().size().
TBounds PlaceControl(const TFormModel& Form, size_t Index, ITextMeasure& Measure);

}  // namespace kv

#endif
