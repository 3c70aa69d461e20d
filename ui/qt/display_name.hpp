#pragma once
// The program's display name, the caption of its message boxes: the executable's file name
// without folder and extension. Renaming the executable renames the captions.

#include <QString>

namespace koralux {

// "/usr/bin/koralux" gives "koralux", "C:/Tools/KORALUX.EXE" gives "KORALUX".
QString displayNameOf(const QString& executablePath);

// The display name of the running program.
QString displayName();

}  // namespace koralux
