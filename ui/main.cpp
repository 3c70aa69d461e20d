// koralux: the desktop converter of organ performance files (.evt) into Standard MIDI Files.

#include "ui/converter_app.hpp"

int main(int argc, char** argv) {
  koralux::ConverterApp app(argc, argv);
  return app.run();
}
