#pragma once

#include "link/MainLine.h"
#include "link/Timer.h"
#include "transfer/EditorView.h"
#include "transfer/TransferToken.h"

#include <QByteArray>
#include <chrono>
#include <cstdint>

namespace kx {

// Where a settings transfer stands.
enum class TransferState : std::int8_t
{
    Idle,
    EntryRequested,    // "pcmode" sent, waiting for the indicator's ACK
    Uploading,         // 'u' sent: the bytes that come are the upload
    DownloadCommanded, // 'd' sent, waiting for "ready"
    DownloadDataSent   // the records went out, waiting for the ACK
};

// The indicator's last answer to a transfer step.
enum class TransferReply
{
    None,
    Refused, // NAK, or "ready" after the data; also each frame shown in CONTINUOUS mode
    EntryAcknowledged,
    Ready,
    DownloadAcknowledged
};

// The settings transfer: it has the main port while the parameter editor is open and
// answers the dispatcher's notifications there; its editor timer runs the transfer's
// queued steps and the editor's clock.
class TransferControl
{
public:
    static constexpr std::chrono::milliseconds EditorTick{100};

    TransferControl(Clock& clock, MainLine& line, EditorView& view);

    TransferState state() const { return state_; }
    TransferReply reply() const { return reply_; }
    const TransferToken& token() const { return TransferSemaphore; }
    const Timer& editorTimer() const { return ParameterTimer; }

    // The editor opens (the transfer gets the line) and closes (it gives it back).
    void editorOpened();
    void editorClosed();
    void ParameterTimerTimer();

    // The entry request: "pcmode" with the token taken. portNumber 0 means none selected.
    // False, with the reason on the status panel, when the request could not go out.
    bool SendEntryRequest(int portNumber);

    // The receive dispatcher's events while the transfer has the line.
    void onAck();
    void onNak();
    void onReady();
    void onReplyTimeout();
    void onDataAvailable(int count);

    // In CONTINUOUS mode every frame the face shows counts as a refusal, so a transfer never
    // starts from an acknowledgement left over from an earlier one.
    void continuousFrameShown() { reply_ = TransferReply::Refused; }

private:
    void append(const QString& line) { view_.showTransferStatus(line, false); }
    void finish(const QString& line) { view_.showTransferStatus(line, true); }

    MainLine& line_;
    EditorView& view_;
    Timer ParameterTimer;
    TransferState state_ = TransferState::Idle;
    TransferReply reply_ = TransferReply::None;
    // Taken by the sender of each handshake step, given back by the reply handling.
    TransferToken TransferSemaphore;
    QByteArray RxText;
};

} // namespace kx
