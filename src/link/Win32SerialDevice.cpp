#include "link/Win32SerialDevice.h"

#include "link/ComPortName.h"
#include "link/SystemSerial.h"

#include <QMetaObject>
#include <windows.h>

namespace kx {
namespace {

// A read returns this long after the last byte of a burst, or after ReadWaitMs with nothing,
// so the reader looks at its stop flag that often; closing the port also cancels the read in
// flight. (MAXDWORD interval and multiplier, "return at once with what is there", never
// returns under Wine on a pseudo-terminal.)
constexpr DWORD ReadGapMs = 10;
constexpr DWORD ReadWaitMs = 100;
// A write that the port has not taken after this long is refused: the line is stuck.
constexpr DWORD WriteLimitMs = 5000;
constexpr DWORD ReadChunk = 4096;

HANDLE h(void* p)
{
    return static_cast<HANDLE>(p);
}

QString systemText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString s = n ? QString::fromWCharArray(text, int(n)).trimmed()
                  : QStringLiteral("system error %1").arg(code);
    if (text)
        LocalFree(text);
    return s;
}

// The reasons the Linux port gives, for the same failures.
ChannelError openFailure(const QString& name, DWORD code)
{
    using Kind = ChannelError::Kind;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        return ChannelError(Kind::NoSuchDevice, name, QStringLiteral("no such device"));
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // A port is opened exclusively: denied means another program holds it.
        return ChannelError(Kind::InUse, name, QStringLiteral("in use by another program"));
    default:
        return ChannelError(Kind::Other, name, systemText(code));
    }
}

bool gone(DWORD code)
{
    // What drivers answer once the device is unplugged; Wine answers a broken pipe when the
    // pseudo-terminal's other side has closed.
    switch (code) {
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_ACCESS_DENIED:
    case ERROR_BROKEN_PIPE:
        return true;
    default:
        return false;
    }
}

// Waits for an overlapped operation to finish; the bytes it moved, or false with the error.
bool finish(HANDLE port, OVERLAPPED& ov, BOOL started, DWORD& moved, DWORD& code)
{
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        code = GetLastError();
        return false;
    }
    if (!GetOverlappedResult(port, &ov, &moved, TRUE)) {
        code = GetLastError();
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<SerialDevice> makeSystemSerialDevice()
{
    return std::make_unique<Win32SerialDevice>();
}

Win32SerialDevice::Win32SerialDevice(QObject* parent) : QObject(parent) {}

Win32SerialDevice::~Win32SerialDevice()
{
    close();
}

void Win32SerialDevice::open(const QString& name, const LineSettings& settings)
{
    close();
    name_ = comPortShortName(name.trimmed());
    lost_ = false;
    const QString path = comPortOpenPath(name);
    if (path.isEmpty())
        throw ChannelError(ChannelError::Kind::Other, QStringLiteral("\"%1\"").arg(name),
                           QStringLiteral("not a serial port"));
    // The line's lock, by its COM name, for every program on this PC: Windows refuses a second
    // open of a port by itself, but Wine does not, and two readers of one line would each
    // get half of its bytes.
    const QString lockName = QStringLiteral("Global\\kxlink-line-%1").arg(name_.toUpper());
    HANDLE lock = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(lockName.utf16()));
    if (lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        throw ChannelError(ChannelError::Kind::InUse, name_,
                           QStringLiteral("in use by another program"));
    }
    // No lock (an account that may not make a global object): the driver's refusal of a
    // second open still holds on Windows.
    lineLock_ = lock;
    // Exclusive (no sharing), overlapped so that a write need not wait for the read the
    // reader thread has in flight.
    HANDLE port =
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        releaseLineLock();
        throw openFailure(name_, code);
    }
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (!GetCommState(port, &probe)) {
        CloseHandle(port);
        releaseLineLock();
        throw ChannelError(ChannelError::Kind::Other, name_, QStringLiteral("not a serial port"));
    }
    handle_ = port;
    try {
        applySettings(settings);
    } catch (const ChannelError&) {
        // A port left open here would hold the device and fill its buffer unread.
        close();
        throw;
    }
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = ReadGapMs;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = ReadWaitMs;
    t.WriteTotalTimeoutConstant = WriteLimitMs;
    if (!SetCommTimeouts(port, &t)) {
        const DWORD code = GetLastError();
        close();
        throw ChannelError(ChannelError::Kind::Other, name_, systemText(code));
    }
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    stopping_ = false;
    reader_ = std::thread([this] { readLoop(); });
}

void Win32SerialDevice::close()
{
    if (!handle_)
        return;
    stopping_ = true;
    CancelIoEx(h(handle_), nullptr);
    if (reader_.joinable())
        reader_.join();
    CloseHandle(h(handle_));
    handle_ = nullptr;
    releaseLineLock();
    const std::lock_guard lock(inboxMutex_);
    inbox_.clear();
}

void Win32SerialDevice::releaseLineLock()
{
    if (lineLock_)
        CloseHandle(h(lineLock_));
    lineLock_ = nullptr;
}

void Win32SerialDevice::applySettings(const LineSettings& s)
{
    if (!handle_)
        return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h(handle_), &dcb);
    dcb.BaudRate = DWORD(s.baud);
    dcb.ByteSize = BYTE(s.dataBits);
    dcb.Parity = s.parity == Parity::Odd    ? ODDPARITY
                 : s.parity == Parity::Even ? EVENPARITY
                                            : NOPARITY;
    dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = s.parity != Parity::None;
    // No flow control, as on Linux: the indicator's line has only RX, TX and ground.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(h(handle_), &dcb))
        throw ChannelError(
            ChannelError::Kind::Other, name_,
            QStringLiteral("line settings refused: %1").arg(systemText(GetLastError())));
}

QByteArray Win32SerialDevice::read(qint64 maxBytes)
{
    const std::lock_guard lock(inboxMutex_);
    const QByteArray out = inbox_.left(maxBytes);
    inbox_.remove(0, out.size());
    return out;
}

void Win32SerialDevice::write(const QByteArray& bytes)
{
    if (!handle_)
        throw ChannelError(ChannelError::Kind::Io, name_, QStringLiteral("cannot send: not open"));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    DWORD code = 0;
    const BOOL started =
        WriteFile(h(handle_), bytes.constData(), DWORD(bytes.size()), nullptr, &ov);
    const bool ok = finish(h(handle_), ov, started, written, code);
    CloseHandle(ov.hEvent);
    if (!ok)
        throw ChannelError(ChannelError::Kind::Io, name_,
                           QStringLiteral("cannot send: %1").arg(systemText(code)));
    if (written != DWORD(bytes.size()))
        throw ChannelError(ChannelError::Kind::Io, name_,
                           QStringLiteral("cannot send: the line took %1 of %2 bytes")
                               .arg(written)
                               .arg(bytes.size()));
}

void Win32SerialDevice::clearInput()
{
    if (!handle_)
        return;
    if (!PurgeComm(h(handle_), PURGE_RXCLEAR))
        throw ChannelError(ChannelError::Kind::Io, name_, systemText(GetLastError()));
    const std::lock_guard lock(inboxMutex_);
    inbox_.clear();
}

void Win32SerialDevice::clearOutput()
{
    if (handle_ && !PurgeComm(h(handle_), PURGE_TXCLEAR))
        throw ChannelError(ChannelError::Kind::Io, name_, systemText(GetLastError()));
}

void Win32SerialDevice::readLoop()
{
    HANDLE port = h(handle_);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    char buffer[ReadChunk];
    while (!stopping_) {
        ResetEvent(ov.hEvent);
        DWORD got = 0;
        DWORD code = 0;
        const BOOL started = ReadFile(port, buffer, ReadChunk, nullptr, &ov);
        // Wine ends a read that timed out with ERROR_TIMEOUT where Windows reports success:
        // either way it is what came before the time-out, often nothing.
        if (!finish(port, ov, started, got, code) && code != ERROR_TIMEOUT) {
            if (stopping_ || code == ERROR_OPERATION_ABORTED)
                continue; // closing, or a purge cut the read short
            const QString reason =
                gone(code) ? QStringLiteral("the device was removed") : systemText(code);
            QMetaObject::invokeMethod(
                this, [this, reason] { onReadFailed(reason); }, Qt::QueuedConnection);
            break;
        }
        if (got == 0)
            continue;
        const std::lock_guard lock(inboxMutex_);
        inbox_.append(buffer, qsizetype(got));
        // One notice at a time: the loop reads everything there when it gets to it.
        if (!arrivalPosted_) {
            arrivalPosted_ = true;
            QMetaObject::invokeMethod(
                this, [this] { onArrived(); }, Qt::QueuedConnection);
        }
    }
    CloseHandle(ov.hEvent);
}

void Win32SerialDevice::onArrived()
{
    {
        const std::lock_guard lock(inboxMutex_);
        arrivalPosted_ = false;
        if (inbox_.isEmpty())
            return;
    }
    if (!lost_)
        notifyReadable();
}

void Win32SerialDevice::onReadFailed(const QString& reason)
{
    if (lost_ || !handle_)
        return;
    lost_ = true;
    notifyLost(reason);
    close();
}

} // namespace kx
