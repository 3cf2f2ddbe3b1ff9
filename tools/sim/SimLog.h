#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kx::sim {

// The record of a session: every byte received and sent, and what the indicator did with
// it, each line stamped with the wall-clock time. Goes to a file, to stderr, both or nowhere.
class SimLog
{
public:
    // Opens the file (appending) when a name is given. False with a reason when it cannot.
    bool open(const QString& fileName, bool verbose, QString* error);

    void rx(const QByteArray& bytes);
    void tx(const QByteArray& bytes);
    void note(const QString& text);

    bool enabled() const { return verbose_ || file_.isOpen(); }

    // Control bytes by their ASCII names (<STX>), other non-printing bytes as <hex>.
    static QByteArray readable(const QByteArray& bytes);

private:
    void write(const char* tag, const QByteArray& text);

    QFile file_;
    bool verbose_ = false;
};

} // namespace kx::sim
