#pragma once

#include <QString>

namespace kx::cli {

// Where the line is: the program's Port.Ini (optionally another port number of it), or a
// device and baud rate given on the command line.
struct LineChoice
{
    int port = 0;    // 0: the one Port.Ini selects
    QString device;  // a device path, instead of Port.Ini
    int baud = 19200;
    int parity = 0;  // as Port.Ini keeps it: 0 Even, 1 None, 2 Odd
    int mode = -1;   // 0 CONTINUOUS, 1 DEMAND; -1 as Port.Ini says (CONTINUOUS for a device)
    QString log;     // a protocol log of every byte on the line, or none
    int outputs = 0; // the indicator's custom outputs, 1 or 2; 0 as Port.Ini says
};

} // namespace kx::cli
