#include "link/SerialChannel.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcChannel, "kx.link.channel")

namespace kx {

QString defaultDevicePath(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

SerialChannel::SerialChannel(Clock& clock, std::unique_ptr<SerialDevice> device, Resolver resolver)
    : clock_(clock), device_(std::move(device)), resolver_(std::move(resolver))
{
    device_->setEvents(
        {[this] { onReadable(); }, [this](const QString& reason) { onLost(reason); }});
}

SerialChannel::~SerialChannel()
{
    *alive_ = false;
    for (auto& [h, t] : triggers_)
        if (t.armed)
            clock_.cancelTimer(t.armed);
    device_->setEvents({});
    if (device_->isOpen())
        device_->close();
}

void SerialChannel::SetComNumber(int port)
{
    port_ = std::max(0, port);
}

QString SerialChannel::DevicePath() const
{
    if (port_ == 0)
        return {};
    const QString mapped = resolver_ ? resolver_(port_) : QString();
    return mapped.isEmpty() ? defaultDevicePath(port_) : mapped;
}

void SerialChannel::SetBaud(int baud)
{
    settings_.baud = baud;
    applySettings();
}

void SerialChannel::SetParity(Parity parity)
{
    settings_.parity = parity;
    applySettings();
}

void SerialChannel::SetDatabits(int bits)
{
    settings_.dataBits = bits;
    applySettings();
}

void SerialChannel::SetStopbits(int bits)
{
    settings_.stopBits = bits;
    applySettings();
}

void SerialChannel::applySettings()
{
    if (open_)
        device_->applySettings(settings_);
}

void SerialChannel::SetOpen(bool open)
{
    if (open == open_)
        return;
    if (!open) {
        shutDown();
        return;
    }
    if (port_ == 0)
        return;
    rx_.clear();
    try {
        device_->open(DevicePath(), settings_);
    } catch (...) {
        if (device_->isOpen())
            device_->close();
        throw;
    }
    open_ = true;
}

void SerialChannel::shutDown()
{
    open_ = false;
    for (auto& [h, t] : triggers_) {
        if (t.armed)
            clock_.cancelTimer(t.armed);
        t.armed = 0;
        t.tail.clear();
    }
    notes_.clear();
    rx_.clear();
    if (device_->isOpen())
        device_->close();
}

void SerialChannel::requireOpen(const char* what) const
{
    if (!open_)
        throw ChannelError(ChannelError::Kind::Io, DevicePath(),
                           QStringLiteral("%1: the port is not open").arg(QLatin1String(what)));
}

bool SerialChannel::PutChar(char byte)
{
    return PutString(QByteArray(1, byte));
}

bool SerialChannel::PutString(const QByteArray& text)
{
    if (!open_) {
        qCWarning(lcChannel) << DevicePath() << "send: the port is not open";
        lastFailure_ = QStringLiteral("%1: the port is not open").arg(DevicePath());
        return false;
    }
    try {
        device_->write(text);
    } catch (const ChannelError& e) {
        qCWarning(lcChannel) << "send failed:" << e.describe();
        lastFailure_ = e.describe();
        return false;
    }
    if (tap_)
        tap_(LineDirection::Sent, text);
    return true;
}

char SerialChannel::GetChar()
{
    if (rx_.isEmpty())
        throw ChannelError(ChannelError::Kind::Io, DevicePath(),
                           QStringLiteral("nothing received"));
    const char c = rx_.front();
    rx_.remove(0, 1);
    return c;
}

QByteArray SerialChannel::GetBlock(int n)
{
    n = std::clamp(n, 0, static_cast<int>(rx_.size()));
    QByteArray out = rx_.left(n);
    rx_.remove(0, n);
    return out;
}

bool SerialChannel::FlushInBuffer()
{
    if (!open_) {
        qCWarning(lcChannel) << DevicePath() << "discard input: the port is not open";
        lastFailure_ = QStringLiteral("%1: the port is not open").arg(DevicePath());
        return false;
    }
    try {
        device_->clearInput();
    } catch (const ChannelError& e) {
        qCWarning(lcChannel) << "discard input failed:" << e.describe();
        lastFailure_ = e.describe();
        return false;
    }
    rx_.clear();
    dropNotes(TriggerKind::TriggerAvail, 0);
    return true;
}

bool SerialChannel::FlushOutBuffer()
{
    if (!open_) {
        qCWarning(lcChannel) << DevicePath() << "discard output: the port is not open";
        return false;
    }
    try {
        device_->clearOutput();
    } catch (const ChannelError& e) {
        qCWarning(lcChannel) << "discard output failed:" << e.describe();
        return false;
    }
    return true;
}

int SerialChannel::GetOutBuffUsed() const
{
    return open_ ? static_cast<int>(device_->bytesToWrite()) : 0;
}

quint16 SerialChannel::newHandle()
{
    for (int i = 0; i < 0x10000; ++i) {
        lastHandle_ = static_cast<quint16>(lastHandle_ + 1);
        if (lastHandle_ != 0 && !triggers_.count(lastHandle_))
            return lastHandle_;
    }
    throw ChannelError(ChannelError::Kind::Other, DevicePath(),
                       QStringLiteral("too many notifications"));
}

SerialChannel::Trigger& SerialChannel::trigger(quint16 handle)
{
    auto it = triggers_.find(handle);
    if (it == triggers_.end())
        throw ChannelError(ChannelError::Kind::Other, DevicePath(),
                           QStringLiteral("no notification %1").arg(handle));
    return it->second;
}

quint16 SerialChannel::AddTimerTrigger()
{
    requireOpen("add a timer");
    const quint16 h = newHandle();
    triggers_[h].isTimer = true;
    return h;
}

qint64 SerialChannel::tickDeadline(qint64 startMs, int ticks)
{
    const qint64 tick = Tick.count();
    return (startMs / tick + std::max(0, ticks) + 1) * tick;
}

void SerialChannel::SetTimerTrigger(quint16 handle, int ticks, bool arm)
{
    Trigger& t = trigger(handle);
    if (!t.isTimer)
        throw ChannelError(ChannelError::Kind::Other, DevicePath(),
                           QStringLiteral("notification %1 is not a timer").arg(handle));
    if (t.armed)
        clock_.cancelTimer(t.armed);
    t.armed = 0;
    // An expiry already queued but not yet delivered is as stale as the timer it came from.
    dropNotes(TriggerKind::TriggerTimer, handle);
    if (!arm || !open_)
        return;
    const qint64 now = clock_.nowMs();
    t.armed = clock_.startTimer(tickDeadline(now, ticks) - now, [this, handle] {
        auto it = triggers_.find(handle);
        if (it == triggers_.end())
            return;
        it->second.armed = 0;
        enqueue({TriggerKind::TriggerTimer, handle, 0});
    });
}

quint16 SerialChannel::AddDataTrigger(const QByteArray& text, bool ignoreCase)
{
    requireOpen("add a pattern");
    if (text.isEmpty())
        throw ChannelError(ChannelError::Kind::Other, DevicePath(),
                           QStringLiteral("empty pattern"));
    const quint16 h = newHandle();
    Trigger& t = triggers_[h];
    t.pattern = ignoreCase ? text.toLower() : text;
    t.ignoreCase = ignoreCase;
    return h;
}

void SerialChannel::RemoveTrigger(quint16 handle)
{
    Trigger& t = trigger(handle);
    if (t.armed)
        clock_.cancelTimer(t.armed);
    dropNotes(t.isTimer ? TriggerKind::TriggerTimer : TriggerKind::TriggerData, handle);
    triggers_.erase(handle);
}

void SerialChannel::onReadable()
{
    if (!open_)
        return;
    for (;;) {
        const QByteArray chunk = device_->read(ReceiveCapacity);
        if (chunk.isEmpty())
            break;
        lastReceivedMs_ = clock_.nowMs();
        if (tap_)
            tap_(LineDirection::Received, chunk);
        matchPatterns(chunk);
        rx_.append(chunk);
        if (rx_.size() > ReceiveCapacity) {
            qCWarning(lcChannel) << DevicePath() << "receive buffer full; dropped"
                                 << rx_.size() - ReceiveCapacity << "bytes";
            rx_.remove(0, rx_.size() - ReceiveCapacity);
        }
        enqueue({TriggerKind::TriggerAvail, 0, 0});
    }
}

void SerialChannel::matchPatterns(const QByteArray& chunk)
{
    QByteArray lower;
    for (auto& [h, t] : triggers_) {
        if (t.isTimer)
            continue;
        if (t.ignoreCase && lower.isNull())
            lower = chunk.toLower();
        const QByteArray hay = t.tail + (t.ignoreCase ? lower : chunk);
        for (qsizetype at = hay.indexOf(t.pattern); at >= 0; at = hay.indexOf(t.pattern, at + 1))
            enqueue({TriggerKind::TriggerData, h, static_cast<int>(t.pattern.size())});
        t.tail = hay.right(t.pattern.size() - 1);
    }
}

void SerialChannel::onLost(const QString& reason)
{
    if (!open_)
        return;
    qCWarning(lcChannel) << DevicePath() << "lost:" << reason;
    shutDown();
    std::weak_ptr<bool> alive = alive_;
    clock_.post([this, alive, reason] {
        if (!alive.expired() && *alive.lock() && lostHandler_)
            lostHandler_(reason);
    });
}

void SerialChannel::enqueue(Note note)
{
    // A notification like one still waiting adds nothing the handler would not learn from
    // that one, so a burst of any length leaves at most one per kind and handle waiting and
    // costs time in proportion to its bytes.
    const auto same = [&](const Note& n) { return n.kind == note.kind && n.handle == note.handle; };
    if (std::any_of(notes_.begin(), notes_.end(), same))
        return;
    notes_.push_back(note);
    if (dispatchPosted_)
        return;
    dispatchPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    clock_.post([this, alive] {
        if (!alive.expired() && *alive.lock())
            dispatchOne();
    });
}

void SerialChannel::dispatchOne()
{
    dispatchPosted_ = false;
    if (notes_.empty())
        return;
    Note note = notes_.front();
    notes_.pop_front();
    // Each notification gets its own pass through the event loop, so timers and window
    // events that arose between them are handled in between.
    if (!notes_.empty()) {
        dispatchPosted_ = true;
        std::weak_ptr<bool> alive = alive_;
        clock_.post([this, alive] {
            if (!alive.expired() && *alive.lock())
                dispatchOne();
        });
    }
    if (note.kind == TriggerKind::TriggerAvail) {
        // Everything still waiting, not just what arrived when the note was queued.
        note.count = static_cast<int>(rx_.size());
        if (note.count == 0)
            return;
    }
    if (open_ && handler_)
        handler_(note.kind, note.handle, note.count);
}

void SerialChannel::dropNotes(TriggerKind kind, quint16 handle)
{
    std::erase_if(notes_, [&](const Note& n) {
        return n.kind == kind && (kind == TriggerKind::TriggerAvail || n.handle == handle);
    });
}

} // namespace kx
