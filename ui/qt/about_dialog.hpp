#pragma once
// The About box: the program's version, who wrote it and how to reach them, and its banner.
// OK, Enter, Escape and the close box all close it.

#include <QDialog>

namespace koralux {

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace koralux
