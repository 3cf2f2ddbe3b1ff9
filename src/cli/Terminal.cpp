#include "cli/Terminal.h"

#include "link/ProtocolLog.h"

namespace kx::cli {

QString lineText(const QByteArray& bytes)
{
    return QString::fromLatin1(renderLineBytes(bytes));
}

QString lineText(const QString& latin1)
{
    return lineText(latin1.toLatin1());
}

QString terminalText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QString::fromLatin1(renderLineBytes(QByteArray(1, char(u))));
        else
            out += c;
    }
    return out;
}

} // namespace kx::cli
