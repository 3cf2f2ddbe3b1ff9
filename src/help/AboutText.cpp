#include "help/AboutText.h"

#include "help/VersionInfo.h"

namespace kx {

const QStringList& aboutLabels()
{
    static const QStringList labels = {
        QStringLiteral("CompanyName..."),      QStringLiteral("FileDescription..."),
        QStringLiteral("FileVersion..."),      QStringLiteral("InternalName..."),
        QStringLiteral("LegalCopyright..."),   QStringLiteral("LegalTradeMarks..."),
        QStringLiteral("OriginalFileName..."), QStringLiteral("ProductName..."),
        QStringLiteral("ProductVersion..."),   QStringLiteral("Comments..."),
    };
    return labels;
}

std::optional<QStringList> aboutValues(const VersionInfo& info, const QString& programFile)
{
    if (!info.present())
        return std::nullopt;
    QStringList lines;
    for (const QString& label : aboutLabels()) {
        const QString name = label.chopped(3);
        const VersionInfo::Value v = info.query(VersionInfo::StringTable + name);
        if (v.status == VersionInfo::Value::Status::Failed)
            break;
        QString line = v.status == VersionInfo::Value::Status::Found ? v.text : QString();
        if (line.isEmpty() && name == QLatin1String("ProductName"))
            line = programFile;
        lines << line;
    }
    return lines;
}

} // namespace kx
