#pragma once

#include <QList>
#include <QString>

namespace kx {

// A serial port the PC can see, as the port settings dialog and the command line list it.
struct FoundPort
{
    QString path;  // what to open: a stable /dev/serial/by-id name when there is one
    QString label; // what to show: the name and what the port is
};

// The serial ports present: stable by-id names first (they survive re-plugging an adapter
// into another socket), then every other port the system reports.
QList<FoundPort> scanSerialPorts();

} // namespace kx
