// koralux: the desktop converter of organ performance files (.evt) into Standard MIDI Files.

#include <cstdio>
#include <cstring>

#include "ui/qt/converter_app.hpp"

int main(int argc, char** argv) {
  // The usual answers on a terminal, before any window system is needed. Any other first
  // argument is the input file.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "Usage: koralux [INPUT]\n"
        "Opens the converter's window; INPUT, a performance file (.evt), fills in the input\n"
        "field and the derived output name.\n\n"
        "  -h, --help     Print this help and exit\n"
        "  -v, --version  Print the version and exit\n\n"
        "For converting from the command line, see koralux-cli(1).\n");
    return 0;
  }
  if (argc > 1 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
    std::printf("koralux %s\n", KORALUX_VERSION);
    return 0;
  }
  koralux::ConverterApp app(argc, argv);
  return app.run();
}
