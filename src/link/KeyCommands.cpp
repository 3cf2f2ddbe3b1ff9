// The front panel's keys, the tare entry and the keyboard.
#include "link/FrontPanel.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcKeys, "kx.link.keys")

namespace kx {

void FrontPanel::CommandClick(int tag)
{
    if (face_.TareWtVisible) {
        face_.TareWt.clear();
        face_.TareWtVisible = false;
        face_.TareWtEnabled = true;
        changed();
    }
    if (!Connected)
        WeightDblClick();
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
        if (noPrint())
            dialogs_.beep();
        else
            PendingKey = 'P';
        break;
    default:
        break;
    }
}

void FrontPanel::PendingCommandStep()
{
    // A command that cannot be sent stays pending for the next frame; the face says so.
    const auto sendFailed = [this] {
        face_.Weight = QStringLiteral("ERROR");
        changed();
    };
    if (!PendingCommand.isEmpty()) {
        if (send(PendingCommand))
            PendingCommand.clear();
        else
            sendFailed();
        return;
    }
    if (PendingKey != 0) {
        if (!send(QByteArray(1, PendingKey))) {
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

void FrontPanel::TareNumberClick(int code)
{
    if (face_.ProgressPanelVisible)
        return;
    if (face_.Weight == QLatin1String("------") || !face_.TareWtEnabled) {
        dialogs_.beep();
        return;
    }
    if (!face_.TareWtVisible)
        face_.TareWt.clear();
    QString& t = face_.TareWt;
    const qsizetype n = t.size();
    const qsizetype p = t.indexOf(QLatin1Char('.')) + 1;
    if (code == PointCode) {
        if (p > 0 || poll_.decimals() == 0 || n > 4) {
            dialogs_.beep();
            return;
        }
        t = t.isEmpty() ? QStringLiteral("0.") : t + QLatin1Char('.');
    } else {
        if ((poll_.decimals() > 0 && p > 0 && n - p >= poll_.decimals()) || n > 6) {
            dialogs_.beep();
            return;
        }
        t += QChar(u'0' + (code - DigitCode));
    }
    face_.TareWtVisible = true;
    changed();
}

void FrontPanel::ButtonLeftClick()
{
    if (face_.ProgressPanelVisible || !face_.TareWtVisible || !face_.TareWtEnabled)
        return;
    if (face_.TareWt.size() > 1)
        face_.TareWt.chop(1);
    else
        face_.TareWtVisible = false;
    changed();
}

void FrontPanel::ButtonEnterClick()
{
    if (face_.ProgressPanelVisible)
        return; // the firmware update's close button takes Enter there
    if (!face_.TareWtVisible) {
        if (ComPort_->IsOpen())
            send(QByteArray(1, ctl(Ctl::BEL))); // a failure is logged; nothing waits for it
        return;
    }
    if (!face_.TareWtEnabled)
        return;
    if (!Connected)
        WeightDblClick();
    PendingCommand = "T" + face_.TareWt.toLatin1() + ctl(Ctl::CR);
    face_.TareWtEnabled = false;
    changed();
}

void FrontPanel::WeightDblClick(std::function<void()> then)
{
    // The port settings would reopen the main port on the device the loader port holds.
    if (UpdateHoldsLine) {
        dialogs_.beep();
        if (then)
            then();
        return;
    }
    // The dialog is modal: a second F2 or key click while it is open opens no second one.
    if (InModalWindow) {
        if (then)
            then();
        return;
    }
    poll_.pausePolling();
    bool shown = false;
    {
        const BusyFlag busy(InModalWindow);
        try {
            dialogs_.showPortSettings();
            shown = true;
        } catch (const std::exception& e) {
            qCWarning(lcKeys) << "port settings failed:" << e.what();
        }
    }
    const auto resume = [this, then = std::move(then)](bool) {
        poll_.resumePolling();
        if (then)
            then();
    };
    if (shown)
        OpenComPort(resume);
    else
        resume(false);
}

void FrontPanel::F1HelpButtonClick()
{
    dialogs_.showAbout();
}

void FrontPanel::F3UpdateButtonClick()
{
    if (InModalWindow)
        return;
    // The update would take a line that is being opened.
    if (opening()) {
        dialogs_.beep();
        return;
    }
    // F3 during an update chooses the file again; the setup was saved before the first one,
    // and the main port is closed now.
    if (port_.BackupBeforeWrite && !UpdateHoldsLine) {
        backUpIndicator([this](const QString& saved, const QString& why) {
            if (saved.isEmpty()) {
                dialogs_.showWarning(QStringLiteral("Backup Failed"),
                                     QStringLiteral("The indicator's setup could not be saved "
                                                    "before the update, so the update was not "
                                                    "started.\n%1")
                                         .arg(why));
                return;
            }
            dialogs_.showFirmwareUpdate();
        });
        return;
    }
    dialogs_.showFirmwareUpdate();
}

void FrontPanel::FormKeyUp(int key, bool keypad)
{
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        ButtonLeftClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ButtonEnterClick();
        break;
    case Qt::Key_Period:
        TareNumberClick(PointCode);
        break;
    case Qt::Key_Comma: // the keypad's decimal key on keyboards that write a comma
        if (keypad)
            TareNumberClick(PointCode);
        break;
    case Qt::Key_F1:
        F1HelpButtonClick();
        break;
    case Qt::Key_F2:
        WeightDblClick();
        break;
    case Qt::Key_F3:
        F3UpdateButtonClick();
        break;
    case Qt::Key_F4:
        F4OptionsButtonClick();
        break;
    default:
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            TareNumberClick(DigitCode + (key - Qt::Key_0));
        break;
    }
}

} // namespace kx
