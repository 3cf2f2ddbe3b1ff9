#pragma once

#include <QLoggingCategory>

#include <exception>

namespace kx {

Q_DECLARE_LOGGING_CATEGORY(lcEditor)

// The editor's handlers catch their own failures: one is logged and the editor stays usable,
// whatever a handler meets.
template <typename F> void guarded(const char* handler, F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        qCWarning(lcEditor) << handler << "failed:" << e.what();
    } catch (...) {
        qCWarning(lcEditor) << handler << "failed";
    }
}

} // namespace kx
