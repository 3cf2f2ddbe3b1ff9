#include "session/platform/Account.h"

#include <iterator>
#include <windows.h>

namespace kx::platform {

QString accountName()
{
    // UNLEN (256) and its terminating null.
    wchar_t name[257] = {};
    DWORD size = DWORD(std::size(name));
    if (::GetUserNameW(name, &size) && size > 1)
        return QString::fromWCharArray(name, int(size) - 1);
    return QStringLiteral("unknown account");
}

} // namespace kx::platform
