#include "app/InstanceGuard.h"
#include "app/KxApplication.h"
#include "app/ProgramFolder.h"
#include "app/TMainForm.h"
#include "link/QtClock.h"
#include "link/QtSerialDevice.h"

#include <QMessageBox>
#include <exception>

int main(int argc, char** argv)
{
    kx::KxApplication app(argc, argv);
    kx::InstanceGuard guard;
    switch (guard.acquire()) {
    case kx::InstanceGuard::Result::AlreadyRunning:
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
                           std::make_unique<kx::QtSerialDevice>());
        main.show();
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("KXLINK"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("KXLINK"), QStringLiteral("Unknown error"));
    }
    return 0;
}
