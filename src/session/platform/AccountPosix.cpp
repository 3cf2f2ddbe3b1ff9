#include "session/platform/Account.h"

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace kx::platform {

QString accountName()
{
    const uid_t uid = ::getuid();
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? std::size_t(hint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("uid %1").arg(uid);
}

} // namespace kx::platform
