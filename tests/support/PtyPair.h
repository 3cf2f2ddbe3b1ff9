#pragma once

#include <QByteArray>
#include <QString>

namespace kx::test {

// A pseudo-terminal whose slave the program opens as its serial port while the test plays
// the indicator on the master.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    void write(const QByteArray& bytes);
    // What the program sent, waiting up to timeoutMs for the first byte (events keep flowing).
    QByteArray read(int timeoutMs);
    // The indicator goes away: the master is closed.
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};

} // namespace kx::test
