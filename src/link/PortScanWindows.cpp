#include "link/ComPortName.h"
#include "link/PortScan.h"

#include <algorithm>
#include <windows.h>

namespace kx {

QList<FoundPort> scanSerialPorts()
{
    // Every driver of a serial port (a UART, a USB adapter, a virtual pair) enters its ports
    // here while they are present: the value's name is the driver's device, its data the COM
    // name.
    QList<FoundPort> found;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        wchar_t device[256];
        wchar_t com[64];
        DWORD deviceLen = 256;
        DWORD comBytes = sizeof com;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, device, &deviceLen, nullptr, &type,
                                     reinterpret_cast<BYTE*>(com), &comBytes);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const QString name = QString::fromWCharArray(com, int(comBytes / sizeof(wchar_t)))
                                 .remove(QChar(0))
                                 .trimmed();
        const QString driver = QString::fromWCharArray(device, int(deviceLen));
        found.append({name, QStringLiteral("%1 - %2").arg(name, driver)});
    }
    RegCloseKey(key);
    std::sort(found.begin(), found.end(), [](const FoundPort& a, const FoundPort& b) {
        const int na = comPortNumber(a.path);
        const int nb = comPortNumber(b.path);
        return na != nb ? na < nb : a.path < b.path;
    });
    return found;
}

} // namespace kx
