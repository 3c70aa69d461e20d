#include "ui/qt/converter_app.hpp"

#include "ui/qt/main_dialog.hpp"
#include "ui/qt/program_pictures.hpp"

namespace koralux {

ConverterApp::ConverterApp(int& argc, char** argv) : QApplication(argc, argv) {
  setWindowIcon(programIcon());
}

int ConverterApp::run() {
  MainDialog dialog(arguments());
  dialog.exec();
  return 0;
}

}  // namespace koralux
