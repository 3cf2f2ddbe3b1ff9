#include "firmware/FirmwareUpdate.h"

#include "firmware/HexCheck.h"
#include "settings/IniDocument.h"
#include "settings/UserFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUpdate, "kx.firmware.update", QtInfoMsg)

namespace kx {

FirmwareUpdate::FirmwareUpdate(Clock& clock, std::unique_ptr<SerialDevice> loaderDevice,
                               UpdateHost& host, FirmwareUpdateView& view, QString folder)
    : clock_(clock), host_(host), view_(view), folder_(std::move(folder)),
      ScalePort_(std::make_unique<SerialChannel>(clock, std::move(loaderDevice))),
      loader_(clock, *ScalePort_, *this, folder_), RetryTimer(clock, RetryInterval.count())
{
    ScalePort_->setResolver([this](int n) { return host_.deviceFor(n); });
    ScalePort_->setHandler([this](TriggerKind kind, quint16 handle, int count) {
        loader_.ScalePortTrigger(kind, handle, count);
    });
    // An unplugged adapter ends the run at once: nothing could answer a resend.
    ScalePort_->setLostHandler([this](const QString& reason) { loader_.lineLost(reason); });
    RetryTimer.setOnTimer([this] { RetryTimerTimer(); });
    readLoaderSettings();
}

FirmwareUpdate::~FirmwareUpdate()
{
    stopAll();
    closeLoaderPort();
}

void FirmwareUpdate::stopAll()
{
    RetryTimer.stop();
    if (reloadTimer_ != 0)
        clock_.cancelTimer(reloadTimer_);
    reloadTimer_ = 0;
    loader_.stop();
}

void FirmwareUpdate::readLoaderSettings()
{
    const QDir dir(folder_);
    const QString ini = dir.filePath(QStringLiteral("bsl.Ini"));
    if (!QFileInfo::exists(ini))
        return;
    IniDocument doc;
    if (doc.load(ini)) {
        const int delay = doc.readInteger(
            "BSL", "LineDelay", static_cast<int>(BootstrapLoader::DefaultLineDelay.count()));
        loader_.setLineDelay(std::max(0, delay));
    }
    loader_.setLogging(QFileInfo::exists(dir.filePath(QStringLiteral("loghex.dta"))));
}

void FirmwareUpdate::prepareLoaderPort()
{
    SerialChannel& port = *ScalePort_;
    if (port.ComNumber() == 0) {
        const SerialChannel& main = host_.mainPort();
        try {
            port.SetBaud(main.Baud());
            port.SetParity(main.GetParity());
            port.SetDatabits(main.Databits());
            port.SetStopbits(main.Stopbits());
            port.SetComNumber(main.ComNumber());
        } catch (const ChannelError& e) {
            qCWarning(lcUpdate) << "loader port settings not copied:" << e.describe();
        }
        try {
            if (!port.IsOpen())
                port.SetOpen(true);
        } catch (const ChannelError& e) {
            qCWarning(lcUpdate) << "loader port not opened:" << e.describe();
        }
        try {
            ReplyTimer = port.IsOpen() ? port.AddTimerTrigger() : 0;
        } catch (const ChannelError& e) {
            ReplyTimer = 0;
            qCWarning(lcUpdate) << "loader reply timer not created:" << e.describe();
        }
        loader_.setReplyTimer(ReplyTimer);
    }
}

void FirmwareUpdate::closeLoaderPort()
{
    SerialChannel& port = *ScalePort_;
    try {
        if (port.IsOpen()) {
            port.FlushInBuffer();
            port.SetOpen(false);
        }
        if (ReplyTimer != 0)
            port.RemoveTrigger(ReplyTimer);
    } catch (const ChannelError& e) {
        qCDebug(lcUpdate) << "loader port close:" << e.describe();
    }
    ReplyTimer = 0;
    loader_.setReplyTimer(0);
    port.SetComNumber(0);
}

void FirmwareUpdate::F3UpdateButtonClick()
{
    // F3 during an update chooses a file again; what runs stops first, so nothing goes out
    // while the dialog is open.
    stopAll();
    phase_ = UpdatePhase::Checking;
    view_.setBusyCursor(true);
    host_.takeLineForUpdate();
    loader_.clearLog();
    view_.updatePanelChanged(false);
    prepareLoaderPort();
    if (ScalePort_->IsOpen()) {
        host_.disableFace();
        const QString path = view_.askUpdateFile(folder_);
        if (!path.isEmpty() && QFileInfo::exists(path)) {
            UpdateFile = path;
            StartTransfer(path);
            return;
        }
    }
    CloseUpdateClick();
}

void FirmwareUpdate::StartTransfer(const QString& path)
{
    // A transfer still under way (F3 again, or the repeat) stops before the new one starts.
    stopAll();
    phase_ = UpdatePhase::Checking;
    loader_.clearLog();
    HexCheckResult check;
    QString why;
    if (const auto bytes = readUserFile(path, HexFileLimit, &why)) {
        check = checkIntelHex(*bytes);
        imageSha256_ = QCryptographicHash::hash(*bytes, QCryptographicHash::Sha256).toHex();
    }
    else
        check.problem = why.mid(QDir::toNativeSeparators(path).size() + 2);
    if (!check.ok) {
        QString text = QStringLiteral("%1\n").arg(QDir::toNativeSeparators(path));
        if (check.badLine > 0)
            text += QStringLiteral("Line %1: ").arg(check.badLine);
        text += check.problem + QLatin1Char('.');
        UpdateEnd end;
        end.outcome = Outcome::FileRejected;
        end.line = check.badLine;
        end.reason = check.badLine > 0
                         ? QStringLiteral("line %1: %2").arg(check.badLine).arg(check.problem)
                         : check.problem;
        lastEnd_ = end;
        view_.updateEnded(end);
        view_.setBusyCursor(false);
        view_.refuseUpdateFile(text);
        CloseUpdateClick();
        return;
    }
    panel_.retryVisible = false;
    panel_.closeVisible = false;
    panel_.waitVisible = false;
    host_.showUpdatePanel(panel_.visible, false);
    phase_ = UpdatePhase::WaitingForLoader;
    firstReport_ = true;
    loader_.StartTransfer(check.lines);
}

QString FirmwareUpdate::fileName() const
{
    return QFileInfo(UpdateFile).fileName();
}

void FirmwareUpdate::showPanel()
{
    host_.showUpdatePanel(panel_.visible, panel_.closeVisible);
    view_.updatePanelChanged(false);
}

void FirmwareUpdate::ReportProgress(int position, int total)
{
    if (!panel_.visible || firstReport_) {
        // The first report of a run, also when F3 or Retry starts one over a shown panel: a
        // new file has its own length.
        firstReport_ = false;
        panel_.label = QStringLiteral("Transferring %1, please wait...").arg(fileName());
        panel_.look = LabelLook::YellowOnRed;
        panel_.barMax = total;
        panel_.barPosition = 0;
        panel_.visible = true;
    }
    panel_.barPosition = position;
    if (position % SwapEvery == 0)
        panel_.look =
            panel_.look == LabelLook::RedOnYellow ? LabelLook::YellowOnRed : LabelLook::RedOnYellow;
    const int percent =
        panel_.barMax > 0 ? static_cast<int>(qint64(position) * 100 / panel_.barMax) : 0;
    panel_.label = QStringLiteral("Transferring %1, %2% complete.").arg(fileName()).arg(percent);
    // The rate of the lines so far gives the time left; it is measured from the first line's
    // acknowledgement, so the loader's start-up pause does not count as line time.
    panel_.detail = QStringLiteral("%1 of %2 lines").arg(position).arg(total);
    if (position <= 1)
        firstLineMs_ = clock_.nowMs();
    if (position > 1) {
        const qint64 elapsed = clock_.nowMs() - firstLineMs_;
        const qint64 leftSec = (elapsed * (total - position) / (position - 1) + 999) / 1000;
        panel_.detail += QStringLiteral(", about %1:%2 left")
                             .arg(leftSec / 60)
                             .arg(leftSec % 60, 2, 10, QLatin1Char('0'));
    }
    showPanel();
}

void FirmwareUpdate::loaderEntered()
{
    phase_ = UpdatePhase::Sending;
}

void FirmwareUpdate::loaderEnded(const UpdateEnd& end)
{
    lastEnd_ = end;
    if (end.linesSent)
        host_.updateWrote(end, UpdateFile, imageSha256_);
    view_.updateEnded(end);
    switch (end.outcome) {
    case Outcome::Completed: {
        // The indicator restarts: the wait panel shows at once, and the wait is a timer, so
        // Close, the window closing and late bytes are all handled while it runs.
        phase_ = UpdatePhase::Reloading;
        panel_.waitVisible = true;
        panel_.detail.clear();
        host_.showUpdatePanel(true, false);
        view_.updatePanelChanged(true);
        const qint64 now = clock_.nowMs();
        reloadTimer_ = clock_.startTimer(SerialChannel::tickDeadline(now, ReloadTicks) - now,
                                         [this] {
                                             reloadTimer_ = 0;
                                             reloaded();
                                         });
        return;
    }
    case Outcome::Cancelled:
        // Whoever stopped the run says what comes next.
        return;
    case Outcome::Refused:
    case Outcome::NoAnswer:
    case Outcome::LineFailed:
    case Outcome::FileRejected:
    case Outcome::BackupFailed:
    case Outcome::NotAsSent:
        break;
    }
    phase_ = UpdatePhase::Failed;
    panel_.visible = true;
    panel_.label = updateLabel(end.outcome);
    panel_.look = LabelLook::WhiteOnNavy;
    panel_.closeVisible = true;
    panel_.retryVisible = true;
    panel_.waitVisible = false;
    panel_.detail = updateDetail(end);
    view_.setBusyCursor(false);
    showPanel();
}

void FirmwareUpdate::reloaded()
{
    phase_ = UpdatePhase::Done;
    panel_.label = updateLabel(Outcome::Completed);
    panel_.look = LabelLook::WhiteOnNavy;
    panel_.closeVisible = true;
    panel_.retryVisible = false;
    panel_.waitVisible = false;
    view_.setBusyCursor(false);
    showPanel();
    if (QFileInfo::exists(QDir(folder_).filePath(QStringLiteral("keep.going"))))
        RetryTimer.start();
}

void FirmwareUpdate::RetryUpdateClick()
{
    view_.setBusyCursor(true);
    // An adapter that went away and came back is opened again; otherwise the port is kept.
    if (!ScalePort_->IsOpen()) {
        closeLoaderPort();
        prepareLoaderPort();
    }
    StartTransfer(UpdateFile);
}

void FirmwareUpdate::RetryTimerTimer()
{
    RetryTimer.stop();
    StartTransfer(UpdateFile);
}

void FirmwareUpdate::CloseUpdateClick()
{
    windUp();
    host_.giveLineBack();
    view_.setBusyCursor(false);
}

void FirmwareUpdate::closeRequested()
{
    if (!active())
        return;
    windUp();
    view_.setBusyCursor(false);
}

void FirmwareUpdate::windUp()
{
    // Whatever the loader was doing ends here: no message or time-out after the hand-back.
    stopAll();
    panel_ = UpdatePanelState{};
    loader_.hideLog();
    host_.showUpdatePanel(false, false);
    view_.updatePanelChanged(false);
    closeLoaderPort();
    phase_ = UpdatePhase::Idle;
}

bool FirmwareUpdate::FormKeyUp(int key)
{
    if (!panel_.visible)
        return false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        if (panel_.closeVisible)
            CloseUpdateClick();
        return true;
    }
    return false;
}

} // namespace kx
