#pragma once

#include <QApplication>

namespace kx {

// The application object: an exception that escapes any handler is shown in the error box
// and ends the program, instead of unwinding through Qt's event loop.
class KxApplication : public QApplication
{
    Q_OBJECT
public:
    KxApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error box with the message and ends the program.
    static void showFatal(const QString& message);
};

} // namespace kx
