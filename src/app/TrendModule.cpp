#include "app/TrendModule.h"

#include "app/TrendWindowEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace kx {

TrendModule::TrendModule(const QString& programFolder)
    : path_(QDir(programFolder).filePath(QStringLiteral(KX_TREND_MODULE_FILE)))
{
}

QWidget* TrendModule::newWindow(TrendFeed& feed, QWidget* parent, QString* why) const
{
    const QString shown = QDir::toNativeSeparators(path_);
    // Told apart from a damaged file: the loader's own words for a missing one name every
    // other file name it tried too.
    if (!QFileInfo::exists(path_)) {
        *why = QStringLiteral("its module %1 is missing").arg(shown);
        return nullptr;
    }
    QLibrary library(path_);
    if (!library.load()) {
        *why = QStringLiteral("its module %1 cannot be loaded (%2)")
                   .arg(shown, library.errorString());
        return nullptr;
    }
    const auto make =
        reinterpret_cast<NewTrendWindowFunction>(library.resolve(NewTrendWindowSymbol));
    if (!make) {
        // A library of another name's build, or another program's: nothing of it is called.
        *why = QStringLiteral("its module %1 cannot be used (it has no %2)")
                   .arg(shown, QLatin1String(NewTrendWindowSymbol));
        library.unload();
        return nullptr;
    }
    return make(&feed, parent);
}

} // namespace kx
