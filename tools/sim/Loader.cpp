#include "Loader.h"

namespace kx::sim::loader {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

quint8 checkByte(const QByteArray& payload)
{
    quint8 x = 0;
    for (const char c : payload)
        x ^= static_cast<quint8>(c);
    return x | 0x80;
}

QByteArray enterPayload()
{
    return QByteArray(1, Stx) + "BSL" + QByteArray(1, Etx);
}

bool hexRecordValid(const QByteArray& text, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!text.startsWith(':'))
        return fail(QStringLiteral("does not start with ':'"));
    const QByteArray digits = text.mid(1);
    if (digits.size() < 10 || digits.size() % 2 != 0)
        return fail(QStringLiteral("has %1 hex digits").arg(digits.size()));
    QByteArray bytes;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int hi = hexValue(digits[i]);
        const int lo = hexValue(digits[i + 1]);
        if (hi < 0 || lo < 0)
            return fail(QStringLiteral("holds a character that is not a hex digit"));
        bytes += static_cast<char>(hi * 16 + lo);
    }
    const int length = static_cast<quint8>(bytes[0]);
    if (bytes.size() != length + 5)
        return fail(QStringLiteral("declares %1 data bytes but carries %2")
                        .arg(length)
                        .arg(bytes.size() - 5));
    const int type = static_cast<quint8>(bytes[3]);
    if (type > 5)
        return fail(QStringLiteral("has record type %1").arg(type));
    quint8 sum = 0;
    for (const char b : bytes)
        sum += static_cast<quint8>(b);
    if (sum != 0)
        return fail(QStringLiteral("fails its checksum"));
    return true;
}

std::optional<Message> Collector::feed(char byte)
{
    buffer_ += byte;
    const char first = buffer_[0];
    const qsizetype n = buffer_.size();
    std::optional<Message> done;
    if (first == Stx) {
        if (n == 6)
            done = Message{Kind::Enter, buffer_.left(5), static_cast<quint8>(buffer_[5])};
    } else if (first == Eot) {
        if (n == 2)
            done = Message{Kind::End, buffer_.left(1), static_cast<quint8>(buffer_[1])};
    } else if (n >= 3 && buffer_[n - 3] == '\r' && buffer_[n - 2] == '\n') {
        done = Message{Kind::Line, buffer_.left(n - 1), static_cast<quint8>(buffer_[n - 1])};
    } else if (n > MaxMessage) {
        done = Message{Kind::Overlong, buffer_, 0};
    }
    if (done)
        buffer_.clear();
    return done;
}

QByteArray Collector::discard()
{
    QByteArray b = buffer_;
    buffer_.clear();
    return b;
}

} // namespace kx::sim::loader
