#include "transfer/TransferControl.h"

#include "link/PollCycle.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTransfer, "kx.transfer", QtInfoMsg)

namespace kx {

TransferControl::TransferControl(Clock& clock, MainLine& line, EditorView& view)
    : line_(line), view_(view), ParameterTimer(clock, EditorTick.count())
{
    ParameterTimer.setOnTimer([this] { ParameterTimerTimer(); });
}

void TransferControl::editorOpened()
{
    state_ = TransferState::Idle;
    ParameterTimer.start();
}

void TransferControl::editorClosed()
{
    state_ = TransferState::Idle;
    ParameterTimer.stop();
}

void TransferControl::ParameterTimerTimer()
{
    ParameterTimer.stop();
    view_.refreshEditorClock();
    ParameterTimer.start();
}

bool TransferControl::SendEntryRequest(int portNumber)
{
    if (portNumber == 0) {
        finish(QStringLiteral("No Communications Port Selected."));
        return false;
    }
    if (!line_.isOpen()) {
        finish(QStringLiteral("Error Opening Communications Port."));
        return false;
    }
    if (!TransferSemaphore.take()) {
        finish(QStringLiteral("Error Initializing Transfer. Try Again Later."));
        return false;
    }
    state_ = TransferState::EntryRequested;
    line_.send("pcmode");
    // The editor timer's next step comes a whole period after the request.
    ParameterTimer.stop();
    ParameterTimer.start();
    return true;
}

void TransferControl::onAck()
{
    switch (state_) {
    case TransferState::EntryRequested:
        reply_ = TransferReply::EntryAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        break;
    case TransferState::DownloadDataSent:
        reply_ = TransferReply::DownloadAcknowledged;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Acknowledgment Received!"));
        finish(QStringLiteral("Download complete!"));
        break;
    default:
        qCDebug(lcTransfer) << "ACK outside a handshake ignored";
        break;
    }
}

void TransferControl::onNak()
{
    reply_ = TransferReply::Refused;
    state_ = TransferState::Idle;
    TransferSemaphore.release();
    finish(QStringLiteral("KX7400 Abandoned Operation!"));
}

void TransferControl::onReady()
{
    if (state_ == TransferState::DownloadDataSent) {
        reply_ = TransferReply::Refused;
        TransferSemaphore.release();
        append(QStringLiteral("KX7400 Aborted Action!"));
        finish(QStringLiteral("Download Failed!"));
        return;
    }
    reply_ = TransferReply::Ready;
    append(QStringLiteral("KX7400 Ready Response Received!"));
}

void TransferControl::onReplyTimeout()
{
    RxText.clear();
    state_ = TransferState::Idle;
    finish(QStringLiteral("Timeout Occurred!"));
}

void TransferControl::onDataAvailable(int count)
{
    // Beyond the overflow limit the excess goes as anywhere on the line; the rest stays in
    // the port until an upload takes it.
    bool dropped = false;
    dropOverflow(line_, count, dropped);
    if (dropped)
        RxText.clear();
}

} // namespace kx
