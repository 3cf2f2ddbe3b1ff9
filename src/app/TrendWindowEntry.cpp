#include "app/TrendWindowEntry.h"

#include "app/TrendWindow.h"

#include <QtGlobal>
#include <type_traits>

extern "C" Q_DECL_EXPORT QWidget* kxNewTrendWindow(kx::TrendFeed* feed, QWidget* parent)
{
    static_assert(std::is_same_v<decltype(&kxNewTrendWindow), NewTrendWindowFunction>);
    return new kx::TrendWindow(*feed, parent);
}
