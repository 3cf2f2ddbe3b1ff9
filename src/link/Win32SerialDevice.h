#pragma once

#include "link/SerialDevice.h"

#include <QObject>
#include <atomic>
#include <mutex>
#include <thread>

namespace kx {

// A Windows serial port through the Win32 API, for builds without Qt Serial Port. A thread
// of its own reads with blocking reads bounded by the port's time-outs and hands what came to
// the event loop, where readable() is told as the Linux port tells it. No wait for a
// "character received" event: Wine never reports one for a port mapped onto a pseudo-terminal.
class Win32SerialDevice final : public QObject, public SerialDevice
{
    Q_OBJECT
public:
    explicit Win32SerialDevice(QObject* parent = nullptr);
    ~Win32SerialDevice() override;

    void open(const QString& name, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return handle_ != nullptr; }
    void applySettings(const LineSettings& settings) override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return 0; } // writes return once sent
    void clearInput() override;
    void clearOutput() override;

private:
    void readLoop();
    void onArrived();
    void onReadFailed(const QString& reason);
    void releaseLineLock();

    void* handle_ = nullptr;   // HANDLE, kept out of this header with <windows.h>
    void* lineLock_ = nullptr; // a named mutex by the port's COM name
    QString name_;             // as the user knows it: COM5
    std::thread reader_;
    std::atomic<bool> stopping_{false};
    std::mutex inboxMutex_;
    QByteArray inbox_;
    bool arrivalPosted_ = false; // under inboxMutex_
    bool lost_ = false;
};

} // namespace kx
