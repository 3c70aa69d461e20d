#include "ui/qt/display_name.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace koralux {

QString displayNameOf(const QString& executablePath) {
  // Only the last extension goes: "my.converter.exe" gives "my.converter".
  return QFileInfo(QDir::fromNativeSeparators(executablePath)).completeBaseName();
}

QString displayName() {
  return displayNameOf(QCoreApplication::applicationFilePath());
}

}  // namespace koralux
