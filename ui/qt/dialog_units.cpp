#include "ui/qt/dialog_units.hpp"

#include <QFontMetrics>
#include <QString>

namespace koralux {

namespace {

// units * base / divisor, rounded to the nearest pixel.
int scaled(int units, int base, int divisor) {
  const int product = units * base;
  return product >= 0 ? (product + divisor / 2) / divisor : -((-product + divisor / 2) / divisor);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 letters, rounded, as dialog layouts have always measured it.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  averageWidth_ = (letters / 26 + 1) / 2;
  height_ = metrics.height();
}

int DialogUnits::x(int units) const {
  return scaled(units, averageWidth_, 4);
}

int DialogUnits::y(int units) const {
  return scaled(units, height_, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
  const int pixelLeft = x(left);
  const int pixelTop = y(top);
  return QRect(pixelLeft, pixelTop, x(left + width) - pixelLeft, y(top + height) - pixelTop);
}

}  // namespace koralux
