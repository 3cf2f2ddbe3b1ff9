// Renders the program's real windows into pictures for the operator's manual and the README:
//   kxlink-screenshots <folder>
// Runs without a display (QT_QPA_PLATFORM=offscreen); the face shows a weight fed through a
// scripted port, so no indicator or simulator is needed.
#include "FakeSerialDevice.h"

#include "app/TMainForm.h"
#include "app/TrendWindow.h"
#include "editor/CompareModel.h"
#include "editor/CompareWindow.h"
#include "editor/CustomOutputPage.h"
#include "editor/OutputBuildPage.h"
#include "editor/TParameterForm.h"
#include "help/THelpAboutForm.h"
#include "link/QtClock.h"
#include "link/SteppedClock.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "app/TComForm.h"
#include "trend/TrendFeed.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

namespace {

bool save(QWidget* window, const QDir& out, const char* name)
{
    QApplication::processEvents();
    const QString path = out.filePath(QString::fromLatin1(name));
    if (window->grab().save(path))
        return true;
    std::fprintf(stderr, "kxlink-screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

// Runs the event loop for a while, feeding the face a settled net weight every poll.
void showWeight(kx::test::FakeSerialDevice& device, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        device.feed(QByteArray(" 125.50_LB NT    ") + char(0x04));
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// A minute on a stepped clock: an empty platform, a load that overshoots and settles and then
// creeps, a few seconds without frames, a tare, and more put on in net.
void feedAMinute(kx::TrendFeed& feed, kx::SteppedClock& clock)
{
    const double w = 2 * 3.14159265358979 * 1.4;
    const double zeta = 0.6;
    const double wd = w * std::sqrt(1 - zeta * zeta);
    auto swing = [&](double from, double to, double since) {
        const double e = std::exp(-zeta * w * since);
        return to - (to - from) * e * (std::cos(wd * since) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * since));
    };
    for (int i = 0; i < 600; ++i) {
        const double t = i / 10.0;
        if (t >= 30 && t < 33.5) { // the line was elsewhere
            clock.advance(100);
            continue;
        }
        double v = 0;
        bool settled = true;
        bool net = false;
        if (t >= 10 && t < 42) {
            v = swing(0, 25.24, t - 10) + (t - 10) * 0.0012 + ((i * 7) % 3 - 1) * 0.01;
            settled = t - 10 > 2.2;
        } else if (t >= 42) {
            net = true;
            v = t < 48 ? 0 : swing(0, 4.8, t - 48) + ((i * 5) % 3 - 1) * 0.01;
            settled = t < 48 || t - 48 > 2.2;
        }
        const QByteArray frame = QByteArray::number(std::round(v * 100) / 100, 'f', 2).rightJustified(7, ' ')
                                 + (settled ? '_' : ' ') + "LB " + (net ? "NT" : "GR") + "    ";
        feed.frameShown(kx::decodeReplyFrame(frame));
        clock.advance(100);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kxlink-screenshots <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QTemporaryDir programFolder;
    // The reader set-up at the first activation writes into the user's configuration folder:
    // a scratch one, so building never touches the builder's own settings.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(programFolder.filePath(QStringLiteral("config"))));
    QFile ini(programFolder.filePath(QStringLiteral("Port.Ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[Scale Port]\r\nPort=1\r\n");
    ini.close();

    auto device = std::make_unique<kx::test::FakeSerialDevice>();
    kx::test::FakeSerialDevice& line = *device;
    kx::TMainForm form(programFolder.path(), kx::QtClock::instance(), std::move(device));
    form.show();
    showWeight(line, 1500);
    bool ok = save(&form, out, "front-panel.png");

    form.ComForm()->show();
    ok = save(form.ComForm(), out, "port-settings.png") && ok;
    form.ComForm()->hide();

    kx::TParameterForm* editor = form.ParameterForm();
    editor->setTimeSource([] { return QDateTime(QDate(2024, 3, 9), QTime(15, 7)); });
    editor->setOpenedFromMainWindow();
    editor->show();
    const char* const pages[] = {"editor-configuration.png", "editor-calibration.png",
                                 "editor-fieldbus.png", "editor-custom-output.png",
                                 "editor-ticket.png"};
    // The custom output tab is pictured on its grid.
    editor->CustomTab->OutputPages->setCurrentWidget(editor->CustomTab->BuildPage);
    for (int page = 0; page < 5; ++page) {
        editor->PageControl->setCurrentIndex(page);
        ok = save(editor, out, pages[page]) && ok;
    }
    // The compare window as "Compare with KX7400…" opens it on a file three settings away
    // from the indicator, one row unchecked.
    {
        kx::IniDocument indicator;
        kx::writeSettings(indicator, kx::newSettingsRecord());
        kx::IniDocument file = kx::IniDocument::fromBytes(indicator.toBytes());
        file.writeString("Configuration", "Time", "0");
        file.writeString("Configuration", "Display Rate", "2");
        file.writeString("Calibration", "Scale Capacity", "6000");
        kx::DiffScope scope;
        scope.carriedOnly = true;
        kx::CompareWindow compare(kx::SetupComparison(file.toBytes(), indicator.toBytes(), scope),
                                  QStringLiteral("KX7400"), true, editor);
        compare.resize(760, 300);
        compare.model()->toggle(0);
        compare.table()->setCurrentIndex(compare.model()->index(0, kx::CompareModel::Page));
        compare.show();
        ok = save(&compare, out, "compare.png") && ok;
    }
    editor->hide();

    // As an installed program shows it.
    form.HelpAboutForm()->setProgramFile(QStringLiteral("/usr/lib/kxlink/kxlink"));
    form.HelpAboutForm()->show();
    ok = save(form.HelpAboutForm(), out, "about.png") && ok;
    form.HelpAboutForm()->hide();

    kx::SteppedClock clock(0);
    clock.setDateTime(QDateTime(QDate(2024, 3, 9), QTime(15, 6)));
    kx::TrendFeed feed(clock, form.panel());
    feedAMinute(feed, clock);
    kx::TrendWindow trend(feed);
    trend.show();
    trend.refresh();
    ok = save(&trend, out, "trend.png") && ok;
    return ok ? 0 : 1;
}
