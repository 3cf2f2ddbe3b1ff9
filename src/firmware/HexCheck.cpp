#include "firmware/HexCheck.h"

#include "firmware/LoaderFraming.h"

#include <algorithm>

namespace kx {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The line's fault, or an empty text when it is a sound record; type gets its record type.
QString recordFault(const QByteArray& line, int& type)
{
    type = -1;
    if (line.front() != ':')
        return QStringLiteral("the line does not start with \":\"");
    // CR LF and the check byte go with the line.
    if (line.size() + 3 > LoaderTransmitBuffer)
        return QStringLiteral("the line is too long for the loader (%1 characters, at most %2)")
            .arg(line.size())
            .arg(LoaderTransmitBuffer - 3);
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (hexDigit(line[i]) < 0)
            return QStringLiteral("character %1 is not a hex digit").arg(i + 1);
    }
    const qsizetype digits = line.size() - 1;
    if (digits % 2 != 0)
        return QStringLiteral("the line has an odd number of hex digits");
    if (digits < 10)
        return QStringLiteral("the line is too short for a record");
    QByteArray bytes;
    for (qsizetype i = 1; i < line.size(); i += 2)
        bytes.append(static_cast<char>(hexDigit(line[i]) * 16 + hexDigit(line[i + 1])));
    const int count = static_cast<unsigned char>(bytes[0]);
    if (count != bytes.size() - 5)
        return QStringLiteral("the byte count says %1 data bytes but the line has %2")
            .arg(count)
            .arg(bytes.size() - 5);
    unsigned sum = 0;
    for (const char b : bytes)
        sum += static_cast<unsigned char>(b);
    if ((sum & 0xFF) != 0)
        return QStringLiteral("the checksum is wrong");
    type = static_cast<unsigned char>(bytes[3]);
    static constexpr int lengthOf[] = {-1, 0, 2, 4, 2, 4}; // -1: any
    if (type > 5)
        return QStringLiteral("record type %1 is unknown").arg(type, 2, 16, QLatin1Char('0'));
    if (lengthOf[type] >= 0 && count != lengthOf[type])
        return QStringLiteral("a record of type %1 must carry %2 data bytes")
            .arg(type, 2, 16, QLatin1Char('0'))
            .arg(lengthOf[type]);
    return {};
}

QString recordName(int type)
{
    switch (type) {
    case 0:
        return QStringLiteral("a data record");
    case 1:
        return QStringLiteral("a second end-of-file record");
    case 2:
        return QStringLiteral("an extended segment address record");
    case 3:
        return QStringLiteral("a start segment address record");
    case 4:
        return QStringLiteral("an extended linear address record");
    case 5:
        return QStringLiteral("a start linear address record");
    default:
        break;
    }
    return QStringLiteral("text that is not a record");
}

bool blank(const QByteArray& line)
{
    return std::all_of(line.begin(), line.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\f' || c == '\v';
    });
}

} // namespace

HexCheckResult checkIntelHex(const QByteArray& wholeFile)
{
    HexCheckResult r;
    // Older tools close a file with Ctrl-Z, the old end-of-file mark; it is not a record.
    QByteArray content = wholeFile;
    qsizetype last = content.size() - 1;
    while (last >= 0 && (blank(content.mid(last, 1)) || content[last] == '\r' ||
                         content[last] == '\n'))
        --last;
    if (last >= 0 && content[last] == '\x1A')
        content.remove(last, 1);
    int lineNo = 0;
    int lastLine = 0;
    bool ended = false;
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype end = pos;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n')
            ++end;
        const QByteArray line = content.mid(pos, end - pos);
        pos = end;
        if (pos < content.size() && content[pos] == '\r')
            ++pos;
        if (pos < content.size() && content[pos] == '\n' && (pos == end || content[end] == '\r'))
            ++pos;
        ++lineNo;
        if (line.isEmpty())
            continue;
        // Blank lines after the end are padding, not records: nothing to send.
        if (ended && blank(line))
            continue;
        r.badLine = lastLine = lineNo;
        int type = -1;
        r.problem = recordFault(line, type);
        if (ended) {
            r.problem = recordName(r.problem.isEmpty() ? type : -1) +
                        QStringLiteral(" after the end-of-file record");
            r.lines.clear();
            return r;
        }
        if (!r.problem.isEmpty()) {
            r.lines.clear();
            return r;
        }
        ended = type == 1;
        r.lines.append(line);
    }
    r.badLine = 0;
    if (r.lines.isEmpty()) {
        r.problem = QStringLiteral("the file has no lines");
        return r;
    }
    if (!ended) {
        r.badLine = lastLine;
        r.problem = QStringLiteral("the file has no end-of-file record");
        r.lines.clear();
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace kx
