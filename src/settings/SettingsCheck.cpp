#include "settings/SettingsCheck.h"

#include "settings/SettingsSchema.h"
#include "settings/UserFile.h"

#include <QDir>
#include <algorithm>

namespace kx {
namespace {

bool isTextByte(unsigned char c)
{
    // Tab and line ends; 0x1A is the end-of-file mark some older editors leave behind.
    return c >= 0x20 || c == '\t' || c == '\r' || c == '\n' || c == 0x1A;
}

bool knowsKey(const IniDocument& doc, const char* sec)
{
    for (const QByteArray& key : doc.keys(sec)) {
        if (qstrcmp(sec, section::TicketFormat) == 0 || qstrcmp(sec, section::CustomOutput) == 0 ||
            qstrcmp(sec, section::CustomOutput2) == 0) {
            return true;
        }
        if (findSettingByKey(sec, key))
            return true;
    }
    return false;
}

} // namespace

QString settingsTextProblem(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("the file is empty, not a settings file");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("the file is UTF-16 text; a settings file is 8-bit text");
    if (bytes.contains('\0'))
        return QStringLiteral("the file holds NUL bytes: binary data, not a settings file");
    if (!std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return isTextByte(static_cast<unsigned char>(c)); }))
        return QStringLiteral("the file holds control bytes: binary data, not a settings file");
    const IniDocument doc = IniDocument::fromBytes(bytes);
    const auto sections = sectionOrder();
    if (!std::any_of(sections.begin(), sections.end(),
                     [&](const char* sec) { return knowsKey(doc, sec); }))
        return QStringLiteral("the file holds no setting of a settings file "
                              "(no [Configuration], [Calibration], ... section with its keys)");
    return {};
}

std::optional<QByteArray> readSettingsText(const QString& path, QString* why)
{
    auto bytes = readUserFile(path, SettingsFileLimit, why);
    if (!bytes)
        return std::nullopt;
    if (const QString problem = settingsTextProblem(*bytes); !problem.isEmpty()) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), problem);
        return std::nullopt;
    }
    return bytes;
}

std::optional<IniDocument> loadSettingsFile(const QString& path, QString* why)
{
    const auto bytes = readSettingsText(path, why);
    if (!bytes)
        return std::nullopt;
    return IniDocument::fromBytes(*bytes);
}

} // namespace kx
