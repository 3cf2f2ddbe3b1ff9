#include "settings/Logbook.h"

#include "settings/SafeSave.h"
#include "settings/UserFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <algorithm>
#include <cctype>

namespace kx::logbook {
namespace {

const QByteArray NoPrev(64, '0');

QJsonObject toJson(const LogbookEntry& e, const QByteArray& prev)
{
    QJsonArray changes;
    for (const LogbookEntry::Change& c : e.changes)
        changes.append(QJsonObject{{"key", c.key}, {"before", c.before}, {"after", c.after}});
    QJsonObject o{
        {"time", e.time.toOffsetFromUtc(e.time.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {"user", e.user},
        {"host", e.host},
        {"version", e.version},
        {"port", e.port},
        {"device", e.device},
        {"action", e.action},
        {"file", e.file},
        {"fileSha256", e.fileSha256},
        {"backup", e.backup},
        {"changes", e.changesKnown ? QJsonValue(changes) : QJsonValue(QStringLiteral("unknown"))},
        {"outcome", e.outcome},
        {"verify", e.verify},
        {"prev", QString::fromLatin1(prev)},
    };
    if (!e.continues.isEmpty()) {
        o.insert("continues", e.continues);
        o.insert("continuesSha256", e.continuesSha256);
    }
    return o;
}

std::optional<LogbookEntry> fromJson(const QJsonObject& o)
{
    if (!o.value("time").isString() || !o.value("action").isString())
        return std::nullopt;
    LogbookEntry e;
    e.time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
    if (!e.time.isValid())
        return std::nullopt;
    e.user = o.value("user").toString();
    e.host = o.value("host").toString();
    e.version = o.value("version").toString();
    e.port = o.value("port").toInt();
    e.device = o.value("device").toString();
    e.action = o.value("action").toString();
    e.file = o.value("file").toString();
    e.fileSha256 = o.value("fileSha256").toString();
    e.backup = o.value("backup").toString();
    e.changesKnown = !o.value("changes").isString();
    for (const QJsonValue& v : o.value("changes").toArray()) {
        const QJsonObject c = v.toObject();
        e.changes.append({c.value("key").toString(), c.value("before").toString(),
                          c.value("after").toString()});
    }
    e.outcome = o.value("outcome").toString();
    e.verify = o.value("verify").toString();
    e.continues = o.value("continues").toString();
    e.continuesSha256 = o.value("continuesSha256").toString();
    return e;
}

} // namespace

QString pathIn(const QString& programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("LOGS/logbook.jsonl"));
}

QByteArray sha256Hex(const QByteArray& line)
{
    return QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
}

QByteArray lineFor(const LogbookEntry& entry, const QByteArray& prevSha256Hex)
{
    return QJsonDocument(toJson(entry, prevSha256Hex)).toJson(QJsonDocument::Compact);
}

QString refusal(const QString& path)
{
    const QString kind = notARegularFile(path);
    if (kind.isEmpty())
        return {};
    return QStringLiteral("%1: %2; no write is made without its logbook line")
        .arg(QDir::toNativeSeparators(path), kind);
}

bool append(const QString& path, const LogbookEntry& entry, QString* why, QString* setAside)
{
    const auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (const QString no = refusal(path); !no.isEmpty())
        return refuse(no);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return refuse(
            QStringLiteral("%1: the folder cannot be made").arg(QDir::toNativeSeparators(folder)));
    // Read, chain and append as one step against every other writer: two processes that read
    // the same last line would chain to it both, and one line would no longer fit.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(LockWaitMs))
        return refuse(QStringLiteral("%1: another program held the logbook for %2 s (%3); "
                                     "the line was not added")
                          .arg(QDir::toNativeSeparators(path))
                          .arg(LockWaitMs / 1000)
                          .arg(QDir::toNativeSeparators(lock.fileName())));
    QByteArray bytes;
    if (QFileInfo::exists(path)) {
        auto read = readUserFile(path, FileLimit, why);
        if (!read)
            return false;
        bytes = *read;
    }
    LogbookEntry e = entry;
    QByteArray prev = NoPrev;
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) {
        // Appending after a cut line would hide every later line in it; the file is kept as
        // it is for whoever looks into why, and a new chain begins that names where it left.
        const qsizetype lastEnd = bytes.lastIndexOf('\n');
        QByteArray lastWhole = NoPrev;
        if (lastEnd >= 0) {
            const qsizetype start = bytes.lastIndexOf('\n', lastEnd - 1) + 1;
            lastWhole = sha256Hex(bytes.mid(start, lastEnd - start));
        }
        const QString stem =
            QStringLiteral("logbook_%1")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
        QString aside;
        for (int n = 1; aside.isEmpty() && n <= 100; ++n) {
            const QString name = n == 1 ? stem + QStringLiteral(".jsonl")
                                        : QStringLiteral("%1-%2.jsonl").arg(stem).arg(n);
            // A rename never replaces a file already there.
            if (QFile::rename(path, QDir(folder).filePath(name)))
                aside = name;
            else if (!QFileInfo::exists(QDir(folder).filePath(name)))
                break;
        }
        if (aside.isEmpty())
            return refuse(QStringLiteral("%1: its last line is cut and the file could not be "
                                         "set aside; the line was not added")
                              .arg(QDir::toNativeSeparators(path)));
        e.continues = aside;
        e.continuesSha256 = QString::fromLatin1(lastWhole);
        if (setAside)
            *setAside = QStringLiteral("The logbook's last line was cut: it is kept as %1, and a "
                                       "new logbook begins after its last whole line (%2).")
                            .arg(QDir::toNativeSeparators(QDir(folder).filePath(aside)),
                                 QString::fromLatin1(lastWhole.left(12)));
    } else if (!bytes.isEmpty()) {
        const qsizetype start = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
        prev = sha256Hex(bytes.mid(start, bytes.size() - 1 - start));
    }
    return appendWhole(path, lineFor(e, prev) + '\n', why);
}

QList<Line> parse(const QByteArray& bytes)
{
    QList<Line> out;
    qsizetype from = 0;
    int number = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        Line line;
        line.number = ++number;
        line.text = bytes.mid(from, end - from);
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line.text, &error);
        if (error.error == QJsonParseError::NoError && doc.isObject()) {
            line.entry = fromJson(doc.object());
            line.prev = doc.object().value("prev").toString().toLatin1();
        }
        out.append(line);
        from = end + 1;
    }
    return out;
}

int firstBadLine(const QByteArray& bytes, QString* why)
{
    const auto say = [why](const QString& text) {
        if (why)
            *why = text;
    };
    const QList<Line> lines = parse(bytes);
    QByteArray prev = NoPrev;
    for (const Line& line : lines) {
        if (!line.entry) {
            say(QStringLiteral("line %1 is not a logbook entry").arg(line.number));
            return line.number;
        }
        if (line.prev != prev) {
            say(line.number == 1
                    ? QStringLiteral("line 1 does not begin the chain: a line before it is "
                                     "missing")
                    : QStringLiteral("line %1 does not follow line %2: line %2 was changed, or "
                                     "a line after it was removed or moved")
                          .arg(line.number)
                          .arg(line.number - 1));
            return line.number;
        }
        prev = sha256Hex(line.text);
    }
    if (!bytes.isEmpty() && !bytes.endsWith('\n')) {
        say(QStringLiteral("line %1 is cut short").arg(lines.size()));
        return int(lines.size());
    }
    return 0;
}

Head headOf(const QByteArray& bytes)
{
    Head head;
    const QList<Line> lines = parse(bytes);
    head.lines = int(lines.size());
    if (!lines.isEmpty())
        head.sha256 = sha256Hex(lines.last().text);
    return head;
}

int lineWithHead(const QByteArray& bytes, const QByteArray& head)
{
    if (!isHead(head))
        return 0;
    const QByteArray wanted = head.toLower();
    for (const Line& line : parse(bytes))
        if (sha256Hex(line.text) == wanted)
            return line.number;
    return 0;
}

bool isHead(const QByteArray& text)
{
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

} // namespace kx::logbook
