#include "session/WriteLog.h"

#include "session/platform/Account.h"
#include "settings/IniDocument.h"
#include "settings/SettingsDiff.h"
#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QSysInfo>

namespace kx {
namespace {

LogbookEntry common(const WriteLine& line, const QDateTime& now)
{
    LogbookEntry e;
    e.time = now;
    // The account the process runs as; a different name in the environment is kept beside
    // it, as a hint of who sat at the keyboard (sudo, a shared account), never instead of it.
    e.user = platform::accountName();
    const QString claimed = qEnvironmentVariable(
        "USER", qEnvironmentVariable("LOGNAME", qEnvironmentVariable("USERNAME")));
    if (!claimed.isEmpty() && claimed != e.user)
        e.user += QStringLiteral(" (environment: %1)").arg(claimed);
    e.host = QSysInfo::machineHostName();
    e.version = QCoreApplication::applicationVersion();
    e.port = line.port;
    e.device = line.device;
    return e;
}

SettingsRecord recordOf(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& l : lines)
        text += l + "\r\n";
    return readSettings(IniDocument::fromBytes(text));
}

} // namespace

LogbookEntry downloadEntry(const TransferResult& result, const WriteLine& line, const QDateTime& now)
{
    LogbookEntry e = common(line, now);
    e.action = result.partial ? QStringLiteral("partial download") : QStringLiteral("download");
    e.file = QDir::toNativeSeparators(result.sentFile);
    e.fileSha256 = QString::fromLatin1(
        QCryptographicHash::hash(result.sentText, QCryptographicHash::Sha256).toHex());
    e.backup = QDir::toNativeSeparators(result.backupPath);
    e.changesKnown = !result.setupBefore.isEmpty();
    if (e.changesKnown) {
        DiffScope scope;
        scope.carriedOnly = true;
        scope.secondOutput = line.secondOutput;
        const SettingsRecord sent = readSettings(IniDocument::fromBytes(result.sentText));
        for (const SettingDifference& d : diffSettings(recordOf(result.setupBefore), sent, scope))
            e.changes.append({d.section + QLatin1Char('/') + d.key, d.first, d.second});
    }
    e.outcome = QString::fromLatin1(outcomeName(result.outcome));
    e.verify = verifyWord(result.verify);
    return e;
}

LogbookEntry updateEntry(const UpdateEnd& end, const QString& file, const QByteArray& sha256,
                         const WriteLine& line, const QDateTime& now)
{
    LogbookEntry e = common(line, now);
    e.action = QStringLiteral("firmware update");
    e.file = QDir::toNativeSeparators(file);
    e.fileSha256 = QString::fromLatin1(sha256);
    e.outcome = QString::fromLatin1(outcomeName(end.outcome));
    e.verify = QStringLiteral("not verified");
    if (end.outcome != Outcome::Completed)
        e.changes.append({QStringLiteral("firmware"), QString(),
                          QStringLiteral("lines 1 to %1 of %2 sent").arg(end.line).arg(end.total)});
    return e;
}

} // namespace kx
