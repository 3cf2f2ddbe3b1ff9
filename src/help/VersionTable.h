#pragma once

#include <QList>
#include <QString>

namespace kx {

// One string of the program's version data.
struct VersionEntry
{
    QString name;
    QString value;
};

// The version data the build put into the program (generated from cmake/VersionData.cmake).
const QList<VersionEntry>& builtInVersionTable();

} // namespace kx
