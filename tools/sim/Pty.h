#pragma once

#include "Wire.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace kx::sim {

// The simulator's end of the serial line: a pseudo-terminal whose slave side the program
// opens as its port. The simulator keeps one slave descriptor of its own open for its whole
// life, so the program may close and reopen the port without the master ever reading EIO
// or polling as hung up.
class Pty final : public Wire
{
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens the pair, sets the line raw at 9600 8N1 until the program sets its own.
    bool open(QString* error);

    // Makes linkPath a symbolic link to the slave. A stale link there is replaced; anything
    // else (a file, a directory, a device) is left alone and the call fails.
    bool makeLink(const QString& linkPath, QString* error);
    // Removes the link, but only while it still points at this simulator's slave.
    void removeLink();

    int masterFd() const { return master_; }
    const QString& slavePath() const { return slavePath_; }

    // Writes without ever blocking; returns how many bytes went out (0 when the line is
    // full). Bytes the program has not read count against a small budget, as a real port's
    // receive buffer would overflow when nobody reads it.
    qsizetype write(const QByteArray& bytes) override;
    // Everything waiting from the program, or empty.
    QByteArray readAvailable();

    // The time one character takes on the wire at the baud, data bits, parity and stop bits
    // the program last configured on its end; zero when the line has no speed set.
    std::chrono::nanoseconds characterTime() const override;

    // How many bytes written by the simulator the program has still to read.
    int unreadByProgram() const;

    static constexpr int UnreadBudget = 4096;

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString linkPath_;
};

} // namespace kx::sim
