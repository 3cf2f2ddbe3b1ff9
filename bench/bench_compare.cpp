// Measures how long the compare window takes to open after the indicator's setup has been
// read: from the read's end reaching the editor to the window's first paint, offscreen.
//
//   QT_QPA_PLATFORM=offscreen bench_compare [runs]     (default 30)
//
// The setup compared is a whole settings file (both custom outputs, every ticket field)
// with three settings apart from the editor's, as "Compare with KX7400…" gets it.
#include "editor/CompareWindow.h"
#include "editor/TParameterForm.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace kx;

namespace {

// Notes the first paint of the compare table's cells.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->parent() &&
            watched->parent()->objectName() == QLatin1String("CompareTable"))
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    QTemporaryDir folder;
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    QList<QByteArray> setupRead;
    for (const QByteArray& line : doc.toBytes().split('\n'))
        if (!line.trimmed().isEmpty())
            setupRead << line.trimmed();
    doc.writeString("Configuration", "Time", "1");
    doc.writeString("Configuration", "Display Rate", "2");
    doc.writeString("Calibration", "Scale Capacity", "6000");
    const QString file = folder.filePath(QStringLiteral("three.dat"));
    if (!doc.save(file))
        return 1;

    TParameterForm editor(folder.path());
    editor.setOpenedFromMainWindow();
    editor.show();
    editor.document().setCurrentFileName(file);
    editor.document().LoadSettingsFile(file);
    PaintWatch watch;
    app.installEventFilter(&watch);
    TransferResult read;
    read.outcome = Outcome::Completed;
    read.direction = TransferDirection::Upload;

    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        editor.CompareIndicator->trigger(); // the editor's side, checked; the read is ours
        watch.painted = false;
        QElapsedTimer t;
        t.start();
        editor.compareReadEnded(read, setupRead);
        while (!(editor.compareWindow() && editor.compareWindow()->isVisible() && watch.painted))
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        ms << t.nsecsElapsed() / 1e6;
        if (editor.compareWindow()->model() == nullptr)
            return 1;
        editor.compareWindow()->close();
        QApplication::processEvents();
    }
    const double first = ms.first(); // the window's code and fonts not yet warm
    std::sort(ms.begin(), ms.end());
    std::printf("compare window, read's end to first paint (%d runs): first %.1f ms, "
                "median %.1f ms, max %.1f ms\n",
                runs, first, ms[ms.size() / 2], ms.last());
    return 0;
}
