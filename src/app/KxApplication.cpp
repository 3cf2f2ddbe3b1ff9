#include "app/KxApplication.h"

#include <QMessageBox>
#include <exception>

namespace kx {

KxApplication::KxApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KxApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showFatal(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showFatal(QStringLiteral("Unknown error"));
    }
    return false;
}

void KxApplication::showFatal(const QString& message)
{
    // Timers keep running under the box; a second failure meanwhile adds no second box.
    static bool showing = false;
    if (showing)
        return;
    showing = true;
    QMessageBox::critical(nullptr, QStringLiteral("KXLINK"), message);
    QCoreApplication::exit(0);
}

} // namespace kx
