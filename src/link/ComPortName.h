#pragma once

#include <QString>

namespace kx {

// Windows' names of serial ports. "COM1" to "COM9" open by their bare names, "COM10" and up
// only through the device namespace ("\\.\COM10"), so every port is opened by the latter.
// The name a user sees and the logs show stays "COM5".

// The path to open for a port's name: "\\.\COMn" for "COMn" (any case, n from 1 to 255),
// a name already in the device namespace as it is, and empty for anything else, which is no
// port: a bare word would otherwise open a file of that name in the working folder.
QString comPortOpenPath(const QString& name);
// The short name a path or name stands for: "COM5" for "\\.\com5", else the name as given.
QString comPortShortName(const QString& name);
// The number of "COMn", or 0 when the name is none.
int comPortNumber(const QString& name);

} // namespace kx
