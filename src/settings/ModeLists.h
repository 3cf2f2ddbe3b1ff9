#pragma once

#include <QStringList>

namespace kx {

// The serial output modes each indicator model offers on its two ports. The editor fills
// its print mode selectors from the KX7400 lists every time it is shown; the KX7450 lists
// are kept for the model that shares the KX7400's settings but are not offered.
namespace ModeLists {

QStringList kx7400Mode1();
QStringList kx7400Mode2();
QStringList kx7450Mode1();
QStringList kx7450Mode2();

} // namespace ModeLists
} // namespace kx
