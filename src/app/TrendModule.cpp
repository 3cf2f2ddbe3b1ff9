#include "app/TrendModule.h"

#include "app/TrendWindowEntry.h"

#include <QDir>
#include <QLibrary>

namespace kx {

TrendModule::TrendModule(const QString& folder)
    : path_(QDir(folder).filePath(QStringLiteral(KX_TREND_MODULE_BASENAME)))
{
}

QWidget* TrendModule::newWindow(TrendFeed& feed, QWidget* parent, QString* why) const
{
    QLibrary library(path_);
    if (!library.load()) {
        *why = library.errorString();
        return nullptr;
    }
    const auto make = reinterpret_cast<NewTrendWindowFunction>(
        library.resolve(NewTrendWindowSymbol));
    if (!make) {
        *why = library.errorString();
        return nullptr;
    }
    return make(&feed, parent);
}

} // namespace kx
