#include "settings/Logbook.h"

#include "settings/SafeSave.h"
#include "settings/UserFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    return QJsonObject{
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
        {"changes", changes},
        {"outcome", e.outcome},
        {"verify", e.verify},
        {"prev", QString::fromLatin1(prev)},
    };
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
    for (const QJsonValue& v : o.value("changes").toArray()) {
        const QJsonObject c = v.toObject();
        e.changes.append({c.value("key").toString(), c.value("before").toString(),
                          c.value("after").toString()});
    }
    e.outcome = o.value("outcome").toString();
    e.verify = o.value("verify").toString();
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

bool append(const QString& path, const LogbookEntry& entry, QString* why)
{
    QByteArray bytes;
    if (QFileInfo::exists(path)) {
        auto read = readUserFile(path, FileLimit, why);
        if (!read)
            return false;
        bytes = *read;
    }
    QByteArray prev = NoPrev;
    if (!bytes.isEmpty()) {
        if (!bytes.endsWith('\n')) {
            if (why)
                *why = QStringLiteral("%1: its last line is not whole; nothing was added")
                           .arg(QDir::toNativeSeparators(path));
            return false;
        }
        const qsizetype start = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
        prev = sha256Hex(bytes.mid(start, bytes.size() - 1 - start));
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (why)
            *why = QStringLiteral("%1: the folder cannot be made")
                       .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        return false;
    }
    return saveFile(path, bytes + lineFor(entry, prev) + '\n', why);
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
