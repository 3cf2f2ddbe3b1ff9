#include "app/ReportEntry.h"

#include "help/ManualLauncher.h"
#include "link/PortSettings.h"
#include "report/ReportPdf.h"
#include "settings/IndicatorBackup.h"
#include "settings/IniDocument.h"
#include "settings/Logbook.h"
#include "settings/ServiceReport.h"
#include "settings/UserFile.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>

namespace kx {
namespace {

const QByteArray Section = "Report";

} // namespace

ReportEntry::ReportEntry(QWidget* window, const QString& folder, LineSession& panel,
                         PortSettings& port, ManualLauncher& launcher,
                         std::function<void()> startRead, std::function<void(const QString&)> warn)
    : QObject(window), window_(window), folder_(folder), panel_(panel), port_(port),
      launcher_(launcher), startRead_(std::move(startRead)), warn_(std::move(warn))
{
}

ReportEntry::~ReportEntry() = default;

QString ReportEntry::settingsPath() const
{
    return QDir(folder_).filePath(QStringLiteral("Report.Ini"));
}

void ReportEntry::ask()
{
    if (reading_)
        return;
    if (!dialog_) {
        dialog_ = new QDialog(window_);
        dialog_->setObjectName(QStringLiteral("ReportDialog"));
        dialog_->setWindowTitle(QStringLiteral("Service report"));
        auto* form = new QFormLayout(dialog_);
        technician_ = new QLineEdit(dialog_);
        site_ = new QLineEdit(dialog_);
        note_ = new QLineEdit(dialog_);
        technician_->setObjectName(QStringLiteral("Technician"));
        site_->setObjectName(QStringLiteral("Site"));
        note_->setObjectName(QStringLiteral("Note"));
        form->addRow(QStringLiteral("&Technician:"), technician_);
        form->addRow(QStringLiteral("&Site:"), site_);
        form->addRow(QStringLiteral("&Note:"), note_);
        auto* buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog_);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Read and write the report"));
        form->addRow(buttons);
        connect(buttons, &QDialogButtonBox::accepted, dialog_, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, dialog_, &QDialog::reject);
        connect(dialog_, &QDialog::accepted, this, &ReportEntry::accepted);
        dialog_->setMinimumWidth(420);
    }
    IniDocument ini;
    if (ini.load(settingsPath())) {
        technician_->setText(QString::fromUtf8(ini.readString(Section, "Technician", "")));
        site_->setText(QString::fromUtf8(ini.readString(Section, "Site", "")));
        note_->setText(QString::fromUtf8(ini.readString(Section, "Note", "")));
    }
    technician_->setFocus();
    // Window-modal and shown: its answer comes as a signal, not from a loop of its own.
    dialog_->open();
}

void ReportEntry::accepted()
{
    IniDocument ini;
    ini.load(settingsPath());
    ini.writeString(Section, "Technician", technician_->text().toUtf8());
    ini.writeString(Section, "Site", site_->text().toUtf8());
    ini.writeString(Section, "Note", note_->text().toUtf8());
    QString why;
    if (!ini.save(settingsPath(), &why))
        warn_(QStringLiteral("The names for the next report were not kept: %1").arg(why));
    // The line goes to the transfer for the read, unless the editor has it already.
    if (panel_.lineOwner() != LineOwner::SettingsTransfer) {
        lent_ = panel_.lendLineToTransfer();
        if (!lent_) {
            warn_(QStringLiteral("No report was written: the line is busy."));
            return;
        }
    }
    reading_ = true;
    startRead_();
}

void ReportEntry::readEnded(const TransferResult& result, const QList<QByteArray>& lines)
{
    reading_ = false;
    if (std::exchange(lent_, false))
        panel_.takeLineFromTransfer();
    if (result.outcome != Outcome::Completed) {
        warn_(QStringLiteral("No report was written: the indicator's setup could not be read "
                             "(%1).")
                  .arg(result.detail.isEmpty() ? result.text : result.detail));
        return;
    }
    ReportInputs in;
    in.port = port_.portNumber();
    in.device = port_.devicePathFor(in.port);
    in.site = site_->text();
    in.technician = technician_->text();
    in.note = note_->text();
    in.version = QCoreApplication::applicationVersion();
    in.machine = QSysInfo::machineHostName();
    in.scope.carriedOnly = true;
    in.scope.secondOutput = port_.CustomOutputs == 2;
    in.readFile = [](const QString& path, QString* why) {
        return readUserFile(path, SettingsFileLimit, why);
    };
    in.now = QDateTime::currentDateTime();
    in.readNow = linesText(lines);
    QString why;
    const QString logbookPath = logbook::pathIn(folder_);
    if (QFileInfo::exists(logbookPath)) {
        const auto bytes = readUserFile(logbookPath, logbook::FileLimit, &why);
        if (!bytes)
            return warn_(QStringLiteral("No report was written: %1").arg(why));
        in.logbook = *bytes;
    }
    const auto report = composeReport(in, &why);
    if (!report)
        return warn_(QStringLiteral("No report was written: %1").arg(why));
    const QString reports = QDir(folder_).filePath(QStringLiteral("SAVED/REPORTS"));
    QDir().mkpath(reports);
    const QString path = freeReportPath(reports, in.device, in.now);
    if (!saveReport(path, *report, localePaper(), &why))
        return warn_(QStringLiteral("No report was written: %1").arg(why));
    lastReport_ = path;
    if (!launcher_.openDocument(path))
        warn_(QStringLiteral("The report was written to %1, but no reader could be started "
                             "for it.")
                  .arg(QDir::toNativeSeparators(path)));
}

} // namespace kx
