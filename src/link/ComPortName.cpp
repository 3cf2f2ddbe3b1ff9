#include "link/ComPortName.h"

#include <QRegularExpression>

namespace kx {
namespace {

const QString kDeviceNamespace = QStringLiteral("\\\\.\\");
// COM256 and above are no ports Windows numbers.
constexpr int MaxComPort = 255;

} // namespace

int comPortNumber(const QString& name)
{
    static const QRegularExpression com(
        QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM([1-9][0-9]{0,2})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(name.trimmed());
    if (!m.hasMatch())
        return 0;
    const int n = m.captured(1).toInt();
    return n <= MaxComPort ? n : 0;
}

QString comPortOpenPath(const QString& name)
{
    if (const int n = comPortNumber(name))
        return kDeviceNamespace + QStringLiteral("COM%1").arg(n);
    const QString t = name.trimmed();
    // Another driver's port (a virtual pair, an adapter's own name) is named in the device
    // namespace, as Port.Ini's [Devices] may map it.
    if (t.startsWith(kDeviceNamespace) && t.size() > kDeviceNamespace.size() &&
        !t.mid(kDeviceNamespace.size()).contains(QLatin1Char('\\')))
        return t;
    return {};
}

QString comPortShortName(const QString& name)
{
    if (const int n = comPortNumber(name))
        return QStringLiteral("COM%1").arg(n);
    return name;
}

} // namespace kx
