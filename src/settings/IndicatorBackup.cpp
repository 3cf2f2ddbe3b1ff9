#include "settings/IndicatorBackup.h"

#include "settings/SafeSave.h"

#include <QDir>
#include <QFileInfo>

namespace kx {

QByteArray linesText(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    return text;
}

QString backupTagOf(int port, const QString& device)
{
    if (device.isEmpty())
        return QStringLiteral("port%1").arg(port);
    QString tag = QFileInfo(device).fileName();
    for (QChar& ch : tag)
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('-'))
            ch = QLatin1Char('-');
    return tag.isEmpty() ? QStringLiteral("device") : tag;
}

std::optional<QString> saveIndicatorBackup(const QString& folder, const QList<QByteArray>& lines,
                                           const QDateTime& at, const QString& tag, QString* why)
{
    const QString stem = at.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                         (tag.isEmpty() ? QString() : QStringLiteral("_") + tag);
    return saveNewFile(folder, stem, QStringLiteral(".dat"), linesText(lines), why);
}

} // namespace kx
