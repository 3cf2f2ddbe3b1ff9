#include "link/ProtocolLog.h"

#include "settings/UserFile.h"

#include <QDir>
#include <QFileInfo>

namespace kx {
namespace {

const char* controlName(unsigned char c)
{
    switch (c) {
    case 0x02: return "<STX>";
    case 0x03: return "<ETX>";
    case 0x04: return "<EOT>";
    case 0x05: return "<ENQ>";
    case 0x06: return "<ACK>";
    case 0x07: return "<BEL>";
    case 0x0A: return "<LF>";
    case 0x0D: return "<CR>";
    case 0x15: return "<NAK>";
    default: return nullptr;
    }
}

} // namespace

QByteArray renderLineBytes(const QByteArray& bytes)
{
    QByteArray line;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (const char* name = controlName(c))
            line += name;
        else if (c < 0x20 || c >= 0x7F)
            line += '<' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0') + '>';
        else
            line += ch;
    }
    return line;
}

QByteArray renderLogLine(const QDateTime& at, LineDirection direction, const QByteArray& bytes)
{
    QByteArray line = at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
    line += direction == LineDirection::Sent ? " TX " : " RX ";
    return line + renderLineBytes(bytes) + "\r\n";
}

bool ProtocolLog::open(const QString& path, QString* why)
{
    close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // A log goes to a file: a FIFO would block the line and a device is not kept.
    if (const QString kind = notARegularFile(path); !kind.isEmpty()) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), kind);
        return false;
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file_.errorString());
        return false;
    }
    failure_.clear();
    return true;
}

void ProtocolLog::close()
{
    if (file_.isOpen())
        file_.close();
}

void ProtocolLog::record(LineDirection direction, const QByteArray& bytes, const QDateTime& at)
{
    if (!file_.isOpen())
        return;
    const QByteArray line = renderLogLine(at, direction, bytes);
    const qint64 before = file_.size();
    const qint64 done = file_.write(line);
    if (done == line.size())
        return;
    // A short write (a full disk, a size limit) says nothing itself; the write of the rest
    // fails outright and carries the system's reason. The part that was written is taken
    // back so the log ends at a whole line.
    if (done >= 0)
        file_.write(line.mid(done));
    const QString why = file_.error() != QFileDevice::NoError
                            ? file_.errorString()
                            : QStringLiteral("the disk is full or the file may grow no larger");
    file_.resize(before);
    failure_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file_.fileName()), why);
    file_.close();
    if (onFailure)
        onFailure(failure_);
}

} // namespace kx
