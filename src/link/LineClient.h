#pragma once

namespace kx {

// The notifications the main port raises for the three patterns it watches.
enum class LinePattern
{
    Ready, // "ready": the indicator waits for records, or is back after a reset
    Ack,
    Nak
};

// An engine that can have the main port: the link hands it every notification while it is
// the owner, and nothing while it is not.
class LineClient
{
public:
    virtual ~LineClient() = default;

    virtual void onDataAvailable(int count) = 0;
    virtual void onPattern(LinePattern pattern) = 0;
    // The reply timer the engine armed through its MainLine ran out.
    virtual void onReplyTimeout() = 0;
    // Received bytes were taken unread (a tare is being typed): a half-received text goes
    // with them.
    virtual void dropText() {}
};

} // namespace kx
