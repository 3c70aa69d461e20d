#pragma once
// The application: it runs the main dialog as the program's one window, and the program ends when
// the dialog does.

#include <QApplication>

namespace koralux {

class ConverterApp final : public QApplication {
  Q_OBJECT

 public:
  ConverterApp(int& argc, char** argv);

  // Shows the main dialog, with the program's first argument as its input file, and returns
  // once the dialog has ended, however it ended. The value is the program's exit status.
  int run();
};

}  // namespace koralux
