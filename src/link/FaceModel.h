#pragma once

#include "link/FaceState.h"
#include "link/MainLine.h"
#include "link/PollCycle.h"
#include "link/ReplyFrame.h"

#include <QByteArray>
#include <QString>

namespace kx {

// What the face asks of the one who composed it.
class FaceHost
{
public:
    virtual ~FaceHost() = default;
    // The system's error sound, for a refused key.
    virtual void beep() = 0;
    // A key was pressed while the port is not connected: the port settings, then a reopen.
    virtual void reconnect() = 0;
    virtual bool lineConnected() const = 0;
    // NoPrint.cmd in the program's folder: the Print key is refused.
    virtual bool printRefused() const = 0;
    // The face changed.
    virtual void redraw() = 0;
};

// The indicator's face as the main window draws it: the weight and its marks from the last
// frame, the five keys, the tare entry (hidden, typing, sent) and the command waiting for
// the next frame to go out.
class FaceModel
{
public:
    // Frames shown before "Command Sent!" goes again.
    static constexpr int CommandSentFrames = 10;

    // Tags of the five keys and codes of the tare entry keys.
    enum Tag
    {
        UnitsTag = 1000,
        ZeroTag,
        NetTag,
        AutoTareTag,
        PrintTag
    };
    enum
    {
        DigitCode = 2000,
        PointCode = 2010
    };

    // line: where the keys' commands go; poll: the weight's decimals as the last frame gave
    // them.
    FaceModel(MainLine& line, const PollCycle& poll, FaceHost& host);

    const FaceState& state() const { return face_; }
    char pendingKey() const { return PendingKey; }
    const QByteArray& pendingCommand() const { return PendingCommand; }
    // The operator is typing a tare: nothing from the line may replace the face.
    bool typingTare() const { return face_.TareWtVisible && face_.TareWtEnabled; }
    void reset();

    // The keys.
    void CommandClick(int tag);
    void TareNumberClick(int code);
    void ButtonLeftClick();
    void ButtonEnterClick();

    // A frame arrived: the face shows it with the spinner text; then what is pending goes.
    void showFrame(const DecodedFrame& frame, const QString& connectedLabel);
    void PendingCommandStep();
    void blankWeight();
    void showDisconnected();

    // The panels over the face.
    void showShuttingDown(bool hideProgress);
    void setWeighing(bool enabled);
    void showUpdatePanel(bool shown, bool closeShown);
    void setLogStatus(const QString& status);
    // Why the line is not connected; empty once it is.
    void setLineStatus(const QString& status);

private:
    void changed() { host_.redraw(); }

    MainLine& line_;
    const PollCycle& poll_;
    FaceHost& host_;
    FaceState face_;
    char PendingKey = 0;
    QByteArray PendingCommand;
    int SentCount = 0;
};

} // namespace kx
