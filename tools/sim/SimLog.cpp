#include "SimLog.h"

#include <QTime>
#include <cstdio>

namespace kx::sim {

namespace {

const char* const ControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                      "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                      "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                      "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

} // namespace

bool SimLog::open(const QString& fileName, bool verbose, QString* error)
{
    verbose_ = verbose;
    if (fileName.isEmpty())
        return true;
    file_.setFileName(fileName);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    return true;
}

QByteArray SimLog::readable(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32) {
            out += '<';
            out += ControlNames[b];
            out += '>';
        } else if (b == 127) {
            out += "<DEL>";
        } else if (b > 127) {
            out += '<';
            out += QByteArray::number(b, 16).toUpper();
            out += '>';
        } else {
            out += c;
        }
    }
    return out;
}

void SimLog::rx(const QByteArray& bytes)
{
    if (enabled())
        write("RX", readable(bytes));
}

void SimLog::tx(const QByteArray& bytes)
{
    if (enabled())
        write("TX", readable(bytes));
}

void SimLog::note(const QString& text)
{
    if (enabled())
        write("--", text.toLocal8Bit());
}

void SimLog::write(const char* tag, const QByteArray& text)
{
    QByteArray line = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toLatin1();
    line += ' ';
    line += tag;
    line += ' ';
    line += text;
    line += '\n';
    if (file_.isOpen()) {
        file_.write(line);
        // Tests and a second terminal read the log while the simulator runs.
        file_.flush();
    }
    if (verbose_) {
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        std::fflush(stderr);
    }
}

} // namespace kx::sim
