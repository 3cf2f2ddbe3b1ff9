#include "help/VersionInfo.h"

namespace kx {

QString VersionInfo::string(const QString& name) const
{
    const Value v = query(StringTable + name);
    return v.status == Value::Status::Found ? v.text : QString();
}

VersionInfo::Value TableVersionInfo::query(const QString& path) const
{
    if (!present_)
        return {Value::Status::Failed, {}};
    if (!path.startsWith(StringTable, Qt::CaseInsensitive))
        return {};
    const QString name = path.mid(StringTable.size());
    for (const VersionEntry& e : table_) {
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return {Value::Status::Found, e.value};
    }
    return {};
}

const VersionInfo& builtInVersionInfo()
{
    static const TableVersionInfo info(builtInVersionTable());
    return info;
}

QString mainWindowCaption(const VersionInfo& info)
{
    return QStringLiteral("KXLINK Utility Version ") + info.string(QStringLiteral("FileVersion"));
}

} // namespace kx
