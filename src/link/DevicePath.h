#pragma once

#include <QString>

namespace kx {

// The device a name given for a port means, as an absolute path: a relative name is taken
// against the working folder; a bare name (no folder in it) that does not exist there is the
// device of that name under /dev. The result is the one checked, opened and shown, so a link
// "tty1" in the working folder is never opened as the console /dev/tty1. An empty name, and
// names of other systems' ports (COM3), are returned as they are.
QString resolveDevicePath(const QString& name, const QString& workingFolder = {});

} // namespace kx
