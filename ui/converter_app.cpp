#include "ui/converter_app.hpp"

#include "ui/main_dialog.hpp"
#include "ui/program_pictures.hpp"

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
