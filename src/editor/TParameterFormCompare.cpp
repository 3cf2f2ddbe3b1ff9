// The editor's side of a comparison: the checks before it, the compare window, and what a
// "Send checked" from it brings back.
#include "editor/TParameterForm.h"

#include "editor/CompareWindow.h"
#include "editor/CustomOutputPage.h"
#include "editor/GuardedHandler.h"
#include "editor/TransferPanel.h"
#include "settings/IndicatorBackup.h"

#include <QFileInfo>

namespace kx {

void TParameterForm::compareWithIndicator()
{
    emit transferStarting();
    compared_.reset();
    guarded("compareWithIndicator", [this] { compared_ = document_->prepareCompare(); });
    if (compared_)
        emit compareRequested();
}

void TParameterForm::compareWithFile()
{
    std::optional<CheckedSettings> editorSide, other;
    guarded("compareWithFile", [&] {
        editorSide = document_->prepareCompare();
        if (editorSide)
            other = document_->chooseComparedFile();
    });
    if (!editorSide || !other)
        return;
    openCompareWindow(SetupComparison(editorSide->text, other->text, DiffScope{}),
                      QFileInfo(other->path).fileName(), false);
}

void TParameterForm::compareReadEnded(const TransferResult& result,
                                      const QList<QByteArray>& setupRead)
{
    if (!compared_ || result.outcome != Outcome::Completed)
        return; // the transfer panel has said how the read ended
    setupRead_ = setupRead;
    const QByteArray text = linesText(setupRead);
    // Only what a download carries can differ on the indicator, so only that is compared.
    DiffScope scope;
    scope.carriedOnly = true;
    scope.secondOutput = CustomTab->twoOutputs();
    SetupComparison comparison(compared_->text, text, scope);
    // Told from inside the run's end: the window opens once that has returned.
    QMetaObject::invokeMethod(
        this,
        [this, comparison = std::move(comparison)]() mutable {
            // The read has said all it has to say: the comparison takes over from its panel.
            transferPanel_->dismiss();
            openCompareWindow(std::move(comparison), QStringLiteral("KX7400"), true);
        },
        Qt::QueuedConnection);
}

void TParameterForm::openCompareWindow(SetupComparison comparison, const QString& otherName,
                                       bool canSend)
{
    if (compareWindow_)
        compareWindow_->close();
    auto* window = new CompareWindow(std::move(comparison), otherName, canSend, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    compareWindow_ = window;
    connect(window, &QObject::destroyed, this, [this, window] {
        if (compareWindow_ == window)
            compareWindow_ = nullptr;
        // The read or the send under the window has ended: its panel goes with the window,
        // or it would stay over the editor and take its clicks.
        transferPanel_->dismiss();
    });
    connect(window, &CompareWindow::sendRequested, this, [this](CheckedSettings setup) {
        // The logbook names what was sent: the editor's file, and how much of it.
        if (compared_)
            setup.path = QStringLiteral("%1 (%2)").arg(compared_->path, setup.path);
        document_->setCheckedDownload(std::move(setup));
        emit checkedSendRequested(setupRead_);
    });
    // The window's Cancel is the transfer panel's: the panel under it closes the run the same way.
    connect(window, &CompareWindow::cancelRequested, this, [this] {
        if (transferPanel_->isVisible() &&
            transferPanel_->buttonMode() == TransferPanel::ButtonMode::Cancel)
            transferPanel_->TransferButton->click();
    });
    window->open();
}

void TParameterForm::checkedSendRefused(const QString& why)
{
    if (compareWindow_)
        compareWindow_->showSendRefused(why);
}

void TParameterForm::checkedSendEnded(const TransferResult& result,
                                      const QList<QByteArray>& readBack)
{
    if (!compareWindow_)
        return;
    // Read back after the send, the indicator's column shows what it holds now, not what it
    // held before.
    if (compared_ && !readBack.isEmpty() &&
        (result.verify == TransferResult::Verify::Verified ||
         result.verify == TransferResult::Verify::Differs)) {
        DiffScope scope;
        scope.carriedOnly = true;
        scope.secondOutput = CustomTab->twoOutputs();
        setupRead_ = readBack;
        compareWindow_->showReadBack(SetupComparison(compared_->text, linesText(readBack), scope));
    }
    compareWindow_->showSendEnded(result);
}

} // namespace kx
