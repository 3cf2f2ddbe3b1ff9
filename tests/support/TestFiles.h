#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kx::test {

// A file's bytes; "<missing>" when it cannot be read, so a comparison shows why it failed.
inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Writes bytes as a file, replacing it; false when it could not be written whole.
inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace kx::test
