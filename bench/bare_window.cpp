// The yardstick for the start bench: what Qt Widgets itself costs to put one window on the
// screen. One label, nothing else, started the way the program is.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("A bare Qt Widgets window"));
    label.show();
    return app.exec();
}
