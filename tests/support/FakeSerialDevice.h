#pragma once

#include "link/SerialDevice.h"

#include <optional>

namespace kx::test {

// Plays the device under a channel: scripts what arrives, records what was sent, and can
// refuse an open, refuse writes or vanish.
class FakeSerialDevice final : public SerialDevice
{
public:
    void open(const QString& path, const LineSettings& settings) override
    {
        ++opens;
        lastPath = path;
        lastSettings = settings;
        if (openError)
            throw *openError;
        open_ = true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void applySettings(const LineSettings& settings) override { lastSettings = settings; }
    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray out = inbox.left(maxBytes);
        inbox.remove(0, out.size());
        return out;
    }
    void write(const QByteArray& bytes) override
    {
        if (failWrites)
            throw ChannelError(ChannelError::Kind::Io, lastPath, QStringLiteral("write refused"));
        written += bytes;
    }
    qint64 bytesToWrite() const override { return 0; }
    void clearInput() override
    {
        ++inputClears;
        inbox.clear();
    }
    void clearOutput() override {}

    // Bytes from the indicator.
    void feed(const QByteArray& bytes)
    {
        inbox += bytes;
        if (open_)
            notifyReadable();
    }
    // The adapter is pulled out.
    void unplug(const QString& reason = QStringLiteral("unplugged"))
    {
        notifyLost(reason);
        open_ = false;
    }
    QByteArray takeWritten()
    {
        QByteArray out = written;
        written.clear();
        return out;
    }

    QByteArray inbox;
    QByteArray written;
    std::optional<ChannelError> openError;
    bool failWrites = false;
    int opens = 0;
    int inputClears = 0;
    QString lastPath;
    LineSettings lastSettings;

private:
    bool open_ = false;
};

} // namespace kx::test
