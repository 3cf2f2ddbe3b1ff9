#pragma once

#include "link/Clock.h"
#include "link/SerialDevice.h"
#include "link/SerialTypes.h"

#include <QByteArray>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace kx {

// The device path a port number stands for when Port.Ini names none.
QString defaultDevicePath(int port);

// One RS-232 port as the link uses it: a port number, line settings, byte output, a
// receive buffer and receive notifications. Notifications reach one handler through the
// event loop, one at a time and in the order they arose. Opening, and the set-up of a port
// that is not open, throw ChannelError; sending and discarding, which fail in normal use
// when a port vanishes, return false and log why.
class SerialChannel
{
public:
    using Handler = std::function<void(TriggerKind kind, quint16 handle, int count)>;
    using LostHandler = std::function<void(const QString& reason)>;
    using Resolver = std::function<QString(int port)>;

    static constexpr std::chrono::milliseconds Tick{55};
    // The program never needs more than a few KiB waiting; past this the oldest go.
    static constexpr int ReceiveCapacity = 4096;

    SerialChannel(Clock& clock, std::unique_ptr<SerialDevice> device, Resolver resolver = {});
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    void setHandler(Handler handler) { handler_ = std::move(handler); }
    // Told once when an open port's device goes away (an unplugged adapter); the channel
    // then reads as closed.
    void setLostHandler(LostHandler handler) { lostHandler_ = std::move(handler); }
    void setResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    // Sees every burst of bytes sent and received, as it goes (a protocol log); none by default.
    using Tap = std::function<void(LineDirection direction, const QByteArray& bytes)>;
    void setTap(Tap tap) { tap_ = std::move(tap); }

    void SetComNumber(int port);
    int ComNumber() const { return port_; }
    QString DevicePath() const;
    void SetBaud(int baud);
    void SetParity(Parity parity);
    void SetDatabits(int bits);
    void SetStopbits(int bits);
    int Baud() const { return settings_.baud; }
    Parity GetParity() const { return settings_.parity; }
    int Databits() const { return settings_.dataBits; }
    int Stopbits() const { return settings_.stopBits; }
    const LineSettings& Settings() const { return settings_; }
    // Why the last send or discard failed, in words for a status line.
    const QString& lastFailure() const { return lastFailure_; }

    // Opening port 0 does nothing: the channel stays closed.
    void SetOpen(bool open);
    bool IsOpen() const { return open_; }

    // False (logged) when the port is closed or refuses the bytes.
    [[nodiscard]] bool PutChar(char byte);
    [[nodiscard]] bool PutString(const QByteArray& text);
    char GetChar();
    // Up to n bytes of what is waiting, oldest first.
    QByteArray GetBlock(int n);
    // False (logged) when the port is closed or the device refuses.
    bool FlushInBuffer();
    bool FlushOutBuffer();
    int GetInBuffUsed() const { return static_cast<int>(rx_.size()); }
    int GetOutBuffUsed() const;
    // When bytes last arrived (the clock's milliseconds), so a wait can run from the arrival
    // rather than from when its notification was handled.
    qint64 lastReceivedMs() const { return lastReceivedMs_; }

    quint16 AddTimerTrigger();
    // Arms (restarting) or disarms a timer notification; an armed one expires once, after
    // between ticks and ticks + 1 whole ticks.
    void SetTimerTrigger(quint16 handle, int ticks, bool arm);
    // Fires whenever text arrives, also across reads; never takes the bytes.
    quint16 AddDataTrigger(const QByteArray& text, bool ignoreCase);
    void RemoveTrigger(quint16 handle);

    // Notifications waiting for delivery: never more than one per kind and handle.
    int pendingNotifications() const { return static_cast<int>(notes_.size()); }

    // When a wait or timer of ticks started at startMs ends.
    static qint64 tickDeadline(qint64 startMs, int ticks);

private:
    QString lastFailure_;
    struct Note
    {
        TriggerKind kind;
        quint16 handle;
        int count;
    };
    struct Trigger
    {
        bool isTimer = false;
        Clock::TimerId armed = 0;
        QByteArray pattern;
        bool ignoreCase = true;
        QByteArray tail; // the last pattern length - 1 bytes seen, for matches across reads
    };

    // A setting changed while open takes effect at once.
    void applySettings();
    quint16 newHandle();
    Trigger& trigger(quint16 handle);
    void requireOpen(const char* what) const;
    void onReadable();
    void onLost(const QString& reason);
    void matchPatterns(const QByteArray& chunk);
    void enqueue(Note note);
    void dispatchOne();
    void dropNotes(TriggerKind kind, quint16 handle);
    void shutDown();

    Clock& clock_;
    std::unique_ptr<SerialDevice> device_;
    Resolver resolver_;
    Handler handler_;
    LostHandler lostHandler_;
    Tap tap_;
    int port_ = 0;
    LineSettings settings_;
    bool open_ = false;
    QByteArray rx_;
    qint64 lastReceivedMs_ = 0;
    std::map<quint16, Trigger> triggers_;
    quint16 lastHandle_ = 0;
    std::deque<Note> notes_;
    bool dispatchPosted_ = false;
    // Cleared when the channel dies, so posted calls that outlive it do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace kx
