#pragma once

#include "link/SerialTypes.h"

#include <QByteArray>
#include <functional>

namespace kx {

// The byte transport under a channel: a real serial port, or a test double. It knows nothing
// of triggers or ticks; the channel does.
class SerialDevice
{
public:
    struct Events
    {
        std::function<void()> readable;                  // bytes can be read
        std::function<void(const QString& reason)> lost; // the device is gone for good
    };

    virtual ~SerialDevice() = default;

    void setEvents(Events events) { events_ = std::move(events); }

    // Throws ChannelError when the device cannot be opened.
    virtual void open(const QString& path, const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void applySettings(const LineSettings& settings) = 0;
    // At most maxBytes of what has arrived.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Queues bytes for sending; throws ChannelError when the device refuses them.
    virtual void write(const QByteArray& bytes) = 0;
    virtual qint64 bytesToWrite() const = 0;
    virtual void clearInput() = 0;
    virtual void clearOutput() = 0;

protected:
    void notifyReadable()
    {
        if (events_.readable)
            events_.readable();
    }
    void notifyLost(const QString& reason)
    {
        if (events_.lost)
            events_.lost(reason);
    }

private:
    Events events_;
};

} // namespace kx
