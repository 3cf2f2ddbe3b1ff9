#pragma once

namespace kx {

// The one-holder token of the settings transfer: the sender of a handshake step takes it and
// the reply handling gives it back, both on the UI thread. Created free.
class TransferToken
{
public:
    // Takes the token if it is free.
    bool take()
    {
        if (taken_)
            return false;
        taken_ = true;
        return true;
    }
    // Gives it back; false (and no change) when it was already free.
    bool release()
    {
        if (!taken_)
            return false;
        taken_ = false;
        return true;
    }
    bool isTaken() const { return taken_; }

private:
    bool taken_ = false;
};

} // namespace kx
