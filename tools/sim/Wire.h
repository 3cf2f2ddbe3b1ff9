#pragma once

#include <QByteArray>
#include <chrono>

namespace kx::sim {

// The far end of the line as the indicator's wire writes to it: a pseudo-terminal in the
// simulator, a serial device in memory when tests run the indicator in-process.
class Wire
{
public:
    virtual ~Wire() = default;
    // Writes without ever blocking; returns how many bytes went out.
    virtual qsizetype write(const QByteArray& bytes) = 0;
    // The time one character takes at the program's line settings; zero when unknown.
    virtual std::chrono::nanoseconds characterTime() const = 0;
};

} // namespace kx::sim
