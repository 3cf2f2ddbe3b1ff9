#pragma once

#include <QString>

class QWidget;

namespace kx {

class TrendFeed;

// The trend window lives in a module of its own beside the program, so that the charting
// library it draws with is loaded when the trend is first opened, not at every start of the
// face. The module stays loaded once opened: the windows it made run its code.
class TrendModule
{
public:
    // The module in the modules folder of programFolder.
    explicit TrendModule(const QString& programFolder);

    // A new trend window drawing feed, owned by parent; null with why (a phrase naming the
    // module's file) when the module is missing or is not the one this program was built with.
    QWidget* newWindow(TrendFeed& feed, QWidget* parent, QString* why) const;

    QString path() const { return path_; }

private:
    QString path_;
};

} // namespace kx
