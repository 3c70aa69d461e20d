#include "ui/qt/program_pictures.hpp"

#include <QString>

// The resources live in a static library, whose registration the linker would otherwise drop.
// Registering them again is harmless: Qt keeps one copy.
static void registerProgramResources() {
  Q_INIT_RESOURCE(koralux);
}

namespace koralux {

QIcon programIcon() {
  registerProgramResources();
  QIcon icon;
  icon.addFile(QStringLiteral(":/koralux/koralux-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/koralux/koralux-32.png"), QSize(32, 32));
  return icon;
}

QPixmap aboutBanner() {
  registerProgramResources();
  return QPixmap(QStringLiteral(":/koralux/banner.png"));
}

}  // namespace koralux
