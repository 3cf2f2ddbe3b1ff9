#include "link/FaceModel.h"

#include "link/SerialTypes.h"

namespace kx {

FaceModel::FaceModel(MainLine& line, const PollCycle& poll, FaceHost& host)
    : line_(line), poll_(poll), host_(host)
{
}

void FaceModel::reset()
{
    PendingKey = 0;
    PendingCommand.clear();
    SentCount = 0;
}

void FaceModel::CommandClick(int tag)
{
    if (face_.TareWtVisible) {
        face_.TareWt.clear();
        face_.TareWtVisible = false;
        face_.TareWtEnabled = true;
        changed();
    }
    if (!host_.lineConnected())
        host_.reconnect();
    PendingKey = 0;
    switch (tag) {
    case UnitsTag:
        PendingKey = 'U';
        break;
    case ZeroTag:
        PendingKey = 'Z';
        break;
    case NetTag:
        PendingKey = 'G';
        break;
    case AutoTareTag:
        PendingKey = 'A';
        break;
    case PrintTag:
        if (host_.printRefused())
            host_.beep();
        else
            PendingKey = 'P';
        break;
    default:
        break;
    }
}

void FaceModel::PendingCommandStep()
{
    // A command that cannot be sent stays pending for the next frame; the face says so.
    const auto sendFailed = [this] {
        face_.Weight = QStringLiteral("ERROR");
        changed();
    };
    if (!PendingCommand.isEmpty()) {
        if (line_.send(PendingCommand))
            PendingCommand.clear();
        else
            sendFailed();
        return;
    }
    if (PendingKey != 0) {
        if (!line_.send(QByteArray(1, PendingKey))) {
            sendFailed();
            return;
        }
        PendingKey = 0;
        face_.CommandSentVisible = true;
        changed();
        return;
    }
    if (face_.CommandSentVisible && ++SentCount > CommandSentFrames) {
        SentCount = 0;
        face_.CommandSentVisible = false;
        changed();
    }
}

void FaceModel::TareNumberClick(int code)
{
    if (face_.ProgressPanelVisible)
        return;
    if (face_.Weight == QLatin1String("------") || !face_.TareWtEnabled) {
        host_.beep();
        return;
    }
    if (!face_.TareWtVisible)
        face_.TareWt.clear();
    QString& t = face_.TareWt;
    const qsizetype n = t.size();
    const qsizetype p = t.indexOf(QLatin1Char('.')) + 1;
    if (code == PointCode) {
        if (p > 0 || poll_.decimals() == 0 || n > 4) {
            host_.beep();
            return;
        }
        t = t.isEmpty() ? QStringLiteral("0.") : t + QLatin1Char('.');
    } else {
        if ((poll_.decimals() > 0 && p > 0 && n - p >= poll_.decimals()) || n > 6) {
            host_.beep();
            return;
        }
        t += QChar(u'0' + (code - DigitCode));
    }
    face_.TareWtVisible = true;
    changed();
}

void FaceModel::ButtonLeftClick()
{
    if (face_.ProgressPanelVisible || !face_.TareWtVisible || !face_.TareWtEnabled)
        return;
    if (face_.TareWt.size() > 1)
        face_.TareWt.chop(1);
    else
        face_.TareWtVisible = false;
    changed();
}

void FaceModel::ButtonEnterClick()
{
    if (face_.ProgressPanelVisible)
        return; // the firmware update's close button takes Enter there
    if (!face_.TareWtVisible) {
        if (line_.isOpen())
            (void)line_.send(QByteArray(1, ctl(Ctl::BEL))); // a failure is logged; nothing waits for it
        return;
    }
    if (!face_.TareWtEnabled)
        return;
    if (!host_.lineConnected())
        host_.reconnect();
    PendingCommand = "T" + face_.TareWt.toLatin1() + ctl(Ctl::CR);
    face_.TareWtEnabled = false;
    changed();
}

void FaceModel::showFrame(const DecodedFrame& frame, const QString& connectedLabel)
{
    face_.ConnectedLabel = connectedLabel;
    face_.Weight = frame.weight;
    face_.gUnitsArrow = frame.units == FrameUnits::Grams;
    face_.lbUnitsArrow = frame.units == FrameUnits::Pounds;
    face_.kgUnitsArrow = frame.units == FrameUnits::Kilograms;
    face_.ozUnitsArrow = frame.units == FrameUnits::Ounces;
    face_.NetArrow = frame.net;
    if (!face_.TareWtEnabled) {
        face_.TareWtVisible = false;
        face_.TareWtEnabled = true;
    }
    changed();
}

void FaceModel::blankWeight()
{
    face_.Weight = QStringLiteral("------");
    changed();
}

void FaceModel::showDisconnected()
{
    face_.ConnectedLabel = QStringLiteral("Not Connected.");
    face_.Weight = QStringLiteral("------");
    face_.lbUnitsArrow = false;
    face_.gUnitsArrow = false;
    face_.kgUnitsArrow = false;
    face_.ozUnitsArrow = false;
    face_.NetArrow = false;
    changed();
}

void FaceModel::showShuttingDown(bool hideProgress)
{
    face_.ShuttingDownPanel = true;
    if (hideProgress)
        face_.ProgressPanelVisible = false;
    changed();
}

void FaceModel::setWeighing(bool enabled)
{
    if (!enabled)
        face_.Weight = QStringLiteral("------");
    face_.WeighPanelEnabled = enabled;
    changed();
}

void FaceModel::showUpdatePanel(bool shown, bool closeShown)
{
    face_.ProgressPanelVisible = shown;
    face_.CloseUpdateVisible = shown && closeShown;
    changed();
}

void FaceModel::setLogStatus(const QString& status)
{
    face_.LogStatus = status;
    changed();
}

void FaceModel::setLineStatus(const QString& status)
{
    if (face_.LineStatus == status)
        return;
    face_.LineStatus = status;
    changed();
}

} // namespace kx
