#include "settings/IndicatorBackup.h"

#include "settings/SafeSave.h"

#include <QDir>

namespace kx {

QByteArray linesText(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    return text;
}

std::optional<QString> saveIndicatorBackup(const QString& folder, const QList<QByteArray>& lines,
                                           const QDateTime& at, QString* why, const QString& tag)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(
        at.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
        + (tag.isEmpty() ? QString() : QStringLiteral("_") + tag) + QStringLiteral(".dat"));
    if (!saveFile(path, linesText(lines), why))
        return std::nullopt;
    return path;
}

} // namespace kx
