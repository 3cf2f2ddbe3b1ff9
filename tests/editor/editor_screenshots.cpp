// Writes pictures of the parameter editor's pages, filled with a new record, for the docs:
//   editor_screenshots <folder>   (run with QT_QPA_PLATFORM=offscreen)
#include "FakeDialogs.h"

#include "editor/CustomOutputPage.h"
#include "editor/OutputBuildPage.h"
#include "editor/TParameterForm.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: editor_screenshots <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir programFolder;
    FakeDialogs dialogs;
    kx::TParameterForm form(programFolder.path(), &dialogs);
    form.setTimeSource([] { return QDateTime(QDate(2024, 3, 9), QTime(15, 7)); });
    form.setOpenedFromMainWindow();
    form.show();

    const char* const names[] = {"editor-configuration.png", "editor-calibration.png",
                                 "editor-fieldbus.png", "editor-custom-output.png",
                                 "editor-ticket.png"};
    // The custom output tab is pictured on its grid.
    form.CustomTab->OutputPages->setCurrentWidget(form.CustomTab->BuildPage);
    for (int page = 0; page < 5; ++page) {
        form.PageControl->setCurrentIndex(page);
        QApplication::processEvents();
        const QString path = out.filePath(QString::fromLatin1(names[page]));
        if (!form.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    // A download of a hand-edited file: the stop box that refuses it before the line is touched.
    const QString bad = programFolder.filePath(QStringLiteral("line 3.dat"));
    QFile file(bad);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[Configuration]\r\nTime=1\r\nCustom Factor=1.0=2\r\nCustom Name=\"Drums\"\r\n"
               "[Calibration]\r\nScale Capacity=abc\r\nDivision Size=x\r\n");
    file.close();
    dialogs.openPaths.enqueue(bad);
    form.document().OpenButtonClick();
    if (form.document().prepareDownload() || dialogs.told.isEmpty())
        return 1;
    const kx::BoxMessage& told = dialogs.told.last();
    QMessageBox box(QMessageBox::Critical, told.caption, told.text, QMessageBox::Ok);
    box.show();
    QApplication::processEvents();
    if (!box.grab().save(out.filePath(QStringLiteral("download-refused.png"))))
        return 1;
    return 0;
}
