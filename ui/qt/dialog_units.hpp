#pragma once
// Dialog units, the measure the program's windows are laid out in: one horizontal unit is a
// quarter of the dialog font's average character width, one vertical unit an eighth of its
// height. A window laid out in them keeps its proportions with whatever font the platform gives.

#include <QFont>
#include <QRect>

namespace koralux {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int x(int units) const;  // horizontal units to pixels
  int y(int units) const;  // vertical units to pixels
  // A rectangle in units to pixels; each edge is converted on its own, so that controls whose
  // edges meet in units also meet in pixels.
  QRect rect(int left, int top, int width, int height) const;

 private:
  int averageWidth_;
  int height_;
};

}  // namespace koralux
