#pragma once

#include "link/SerialTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>

namespace kx {

// Line bytes made readable: control bytes named (<STX>, <EOT>, <ACK>, <NAK>, <CR>, <LF>,
// <ENQ>, <BEL>) and any other unprintable byte as <XX> in hexadecimal. What a terminal may be
// shown of them.
QByteArray renderLineBytes(const QByteArray& bytes);

// A burst of line bytes as one readable log line: time to the millisecond, direction, and the
// bytes with control bytes named (<STX>, <EOT>, <ACK>, <NAK>, <CR>, <LF>, <ENQ>, <BEL>) and any
// other unprintable byte as <XX> in hexadecimal.
QByteArray renderLogLine(const QDateTime& at, LineDirection direction, const QByteArray& bytes);

// The protocol log: every burst on the line, appended to a file as it happens. Writing it may
// fail (a full disk); the log then stops and says why once, and nothing else is disturbed.
class ProtocolLog
{
public:
    // Starts a log at path (appending); false with why when the file cannot be opened.
    bool open(const QString& path, QString* why = nullptr);
    void close();
    bool isOpen() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }
    // Why the log stopped by itself; empty while it runs or after a close.
    const QString& failure() const { return failure_; }

    void record(LineDirection direction, const QByteArray& bytes,
                const QDateTime& at = QDateTime::currentDateTime());

    // Told once, at the moment the log stops by itself, with failure().
    std::function<void(const QString&)> onFailure;

private:
    QFile file_;
    QString failure_;
};

} // namespace kx
