#include "firmware/FirmwareUpdate.h"

#include "firmware/HexCheck.h"
#include "settings/IniDocument.h"
#include "settings/UserFile.h"

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
    RetryTimer.setOnTimer([this] { RetryTimerTimer(); });
    readLoaderSettings();
}

FirmwareUpdate::~FirmwareUpdate()
{
    loader_.stop();
    closeLoaderPort();
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
    loader_.stop();
    loader_.clearLog();
    HexCheckResult check;
    QString why;
    if (const auto bytes = readUserFile(path, HexFileLimit, &why))
        check = checkIntelHex(*bytes);
    else
        check.problem = why.mid(QDir::toNativeSeparators(path).size() + 2);
    if (!check.ok) {
        QString text = QStringLiteral("%1\n").arg(QDir::toNativeSeparators(path));
        if (check.badLine > 0)
            text += QStringLiteral("Line %1: ").arg(check.badLine);
        text += check.problem + QLatin1Char('.');
        view_.setBusyCursor(false);
        view_.refuseUpdateFile(text);
        CloseUpdateClick();
        return;
    }
    panel_.retryVisible = false;
    panel_.closeVisible = false;
    host_.showUpdatePanel(panel_.visible, false);
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
    if (!panel_.visible) {
        panel_.label = QStringLiteral("Transferring %1, please wait...").arg(fileName());
        panel_.look = LabelLook::YellowOnRed;
        panel_.barMax = total;
        panel_.barPosition = 0;
        panel_.visible = true;
    }
    if (position < 0) {
        panel_.label = QStringLiteral("Transfer Failed!");
        panel_.look = LabelLook::WhiteOnNavy;
        panel_.closeVisible = true;
        panel_.retryVisible = true;
        panel_.detail.clear();
        view_.setBusyCursor(false);
        showPanel();
        return;
    }
    if (position > total) {
        panel_.waitVisible = true;
        panel_.detail.clear();
        host_.showUpdatePanel(true, false);
        view_.updatePanelChanged(true);
        ScalePort_->DelayTicks(ReloadTicks);
        panel_.label = QStringLiteral("Transfer Complete!!");
        panel_.look = LabelLook::WhiteOnNavy;
        panel_.closeVisible = true;
        panel_.retryVisible = false;
        panel_.waitVisible = false;
        view_.setBusyCursor(false);
        showPanel();
        if (QFileInfo::exists(QDir(folder_).filePath(QStringLiteral("keep.going"))))
            RetryTimer.start();
        return;
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

void FirmwareUpdate::RetryUpdateClick()
{
    view_.setBusyCursor(true);
    StartTransfer(UpdateFile);
}

void FirmwareUpdate::RetryTimerTimer()
{
    RetryTimer.stop();
    StartTransfer(UpdateFile);
}

void FirmwareUpdate::CloseUpdateClick()
{
    RetryTimer.stop();
    // Whatever the loader was doing ends here: no message or time-out after the hand-back.
    loader_.stop();
    panel_ = UpdatePanelState{};
    loader_.hideLog();
    host_.showUpdatePanel(false, false);
    view_.updatePanelChanged(false);
    closeLoaderPort();
    host_.giveLineBack();
    view_.setBusyCursor(false);
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
