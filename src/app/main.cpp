#include "app/KxApplication.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/SystemSerial.h"
#include "settings/InstanceGuard.h"
#include "settings/ProgramFolder.h"

#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// What "kxlink --help" prints; the manual page is made from it. The program itself takes no
// arguments: anything else on its command line is ignored, as it always was.
const char* const HelpText =
    "Usage: kxlink [--help | --version]\n"
    "\n"
    "A remote front panel and setup tool for a KX7400 weighing indicator on a serial\n"
    "line. The window is drawn like the indicator's face: the live weight with its\n"
    "units and net marks, and the indicator's keys.\n"
    "\n"
    "Options:\n"
    "  --help     Show this help and end.\n"
    "  --version  Show the version and end.\n"
    "\n"
    "Keys:\n"
    "  F1         the about box and the operator's manual\n"
    "  F2         port settings (also: double-click the weight)\n"
    "  F3         firmware update\n"
    "  F4         parameter editor: the indicator's setup, settings files, upload and\n"
    "             download\n"
    "  Ctrl+T     the weight trend: a plot of the weight over 1 min to 8 h, with its\n"
    "             statistics, a picture to keep and a CSV recording\n"
    "  Ctrl+L     start or stop the protocol log of every byte on the line\n"
    "  0-9 .      type a tare; Enter sends it\n"
    "\n"
    "Files: Port.Ini (the serial port), bsl.Ini, the settings files in SAVED, and the\n"
    "logs in LOGS, in the program's folder, or in ~/.local/share/KXLINK when the\n"
    "program's folder cannot be written. kxlink-cli(1) does the same from a script;\n"
    "kx7400-sim(1) plays the indicator for a try without one.\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so it works on a console.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kxlink %s\n", KX_VERSION);
        return 0;
    }
    kx::KxApplication app(argc, argv);
    kx::InstanceGuard guard;
    switch (guard.acquire()) {
    case kx::InstanceGuard::Result::AlreadyRunning:
        // The running copy's window comes forward; the box says why no second one opened.
        guard.requestRaise();
        QMessageBox(QMessageBox::NoIcon, QStringLiteral("KXLINK"),
                    QStringLiteral("Application is Already Running"))
            .exec();
        return 0;
    case kx::InstanceGuard::Result::Failed:
        QMessageBox(QMessageBox::NoIcon, QStringLiteral("KXLINK"),
                    QStringLiteral("Error Starting Application. #%1").arg(guard.errorNumber()))
            .exec();
        return 0;
    case kx::InstanceGuard::Result::Acquired:
        break;
    }
    app.setApplicationName(QStringLiteral("KXLINK"));
    // No display name: the window system would append it to every caption.
    app.setDesktopFileName(QStringLiteral("com.morvellscales.kxlink"));
    try {
        kx::TMainForm main(kx::runningProgramFolder(), kx::QtClock::instance(),
                           kx::makeSystemSerialDevice());
        main.show();
        guard.onRaiseRequested([&main] {
            main.setWindowState(main.windowState() & ~Qt::WindowMinimized);
            main.show();
            main.raise();
            main.activateWindow();
        });
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("KXLINK"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("KXLINK"), QStringLiteral("Unknown error"));
    }
    return 0;
}
