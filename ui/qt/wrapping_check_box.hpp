#pragma once
// A check box whose caption wraps onto further lines within the box's width, beside the
// indicator, instead of being cut off.

#include <QCheckBox>

namespace koralux {

class WrappingCheckBox final : public QCheckBox {
  Q_OBJECT

 public:
  explicit WrappingCheckBox(const QString& text, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The whole box is clickable, the caption's later lines included.
  bool hitButton(const QPoint& position) const override;

 private:
  int textFlags() const;
};

}  // namespace koralux
