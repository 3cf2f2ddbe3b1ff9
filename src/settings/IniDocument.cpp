#include "settings/IniDocument.h"

#include "settings/SafeSave.h"
#include "settings/UserFile.h"

#include <QDir>
#include <algorithm>
#include <climits>

namespace kx {
namespace {

bool sameName(const QByteArray& a, const QByteArray& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniDocument::Line IniDocument::classify(const QByteArray& text)
{
    Line line;
    line.text = text;
    const QByteArray t = text.trimmed();
    if (t.startsWith('[')) {
        const int close = t.indexOf(']');
        if (close > 0) {
            line.header = true;
            line.section = t.mid(1, close - 1).trimmed();
        }
        return line;
    }
    if (t.startsWith(';'))
        return line;
    const int eq = t.indexOf('=');
    if (eq > 0)
        line.key = t.left(eq).trimmed();
    return line;
}

IniDocument IniDocument::fromBytes(const QByteArray& bytes)
{
    IniDocument doc;
    static const QByteArray bom("\xEF\xBB\xBF");
    doc.byteOrderMark_ = bytes.startsWith(bom);
    const QByteArray text = doc.byteOrderMark_ ? bytes.mid(bom.size()) : bytes;
    if (text.isEmpty())
        return doc;
    // CR LF, LF and a lone CR (files from older systems) each end a line.
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        doc.lines_.append(classify(text.mid(start, i - start)));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    // A final line end leaves no line behind it.
    if (start < text.size())
        doc.lines_.append(classify(text.mid(start)));
    return doc;
}

bool IniDocument::load(const QString& path, QString* error, qint64 limit)
{
    *this = IniDocument();
    QString why;
    const auto bytes = readUserFile(path, limit, &why);
    if (!bytes) {
        // The callers name the file themselves.
        if (error)
            *error = why.mid(QDir::toNativeSeparators(path).size() + 2);
        return false;
    }
    *this = fromBytes(*bytes);
    return true;
}

QByteArray IniDocument::toBytes() const
{
    QByteArray out;
    if (byteOrderMark_)
        out += "\xEF\xBB\xBF";
    for (const Line& l : lines_) {
        out += l.text;
        out += "\r\n";
    }
    return out;
}

bool IniDocument::save(const QString& path, QString* error) const
{
    return saveFile(path, toBytes(), error);
}

int IniDocument::findSection(const QByteArray& section) const
{
    for (int i = 0; i < lines_.size(); ++i)
        if (lines_[i].header && sameName(lines_[i].section, section))
            return i;
    return -1;
}

int IniDocument::sectionEnd(int header) const
{
    int i = header + 1;
    while (i < lines_.size() && !lines_[i].header)
        ++i;
    return i;
}

int IniDocument::findKey(const QByteArray& section, const QByteArray& key) const
{
    // A section may stand more than once in a hand-edited file; the first key found wins.
    for (int h = 0; h < lines_.size(); ++h) {
        if (!lines_[h].header || !sameName(lines_[h].section, section))
            continue;
        const int end = sectionEnd(h);
        for (int i = h + 1; i < end; ++i)
            if (!lines_[i].key.isEmpty() && sameName(lines_[i].key, key))
                return i;
    }
    return -1;
}

bool IniDocument::hasSection(const QByteArray& section) const
{
    return findSection(section) >= 0;
}

bool IniDocument::hasKey(const QByteArray& section, const QByteArray& key) const
{
    return findKey(section, key) >= 0;
}

std::optional<QByteArray> IniDocument::value(const QByteArray& section, const QByteArray& key) const
{
    const int i = findKey(section, key);
    if (i < 0)
        return std::nullopt;
    const QByteArray& text = lines_[i].text;
    return text.mid(text.indexOf('=') + 1).trimmed().left(MaxValueLength);
}

QByteArray IniDocument::readString(const QByteArray& section, const QByteArray& key,
                                   const QByteArray& def) const
{
    return value(section, key).value_or(def);
}

std::optional<int> IniDocument::parseInteger(const QByteArray& text)
{
    QByteArray t = text.trimmed();
    bool negative = false;
    if (t.startsWith('-') || t.startsWith('+')) {
        negative = t.startsWith('-');
        t = t.mid(1);
    }
    bool ok = false;
    qlonglong v = 0;
    if (t.startsWith("0x") || t.startsWith("0X"))
        v = t.mid(2).toLongLong(&ok, 16);
    else if (!t.isEmpty() &&
             std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        v = t.toLongLong(&ok, 10);
    if (!ok || v > INT_MAX)
        return std::nullopt;
    return static_cast<int>(negative ? -v : v);
}

int IniDocument::readInteger(const QByteArray& section, const QByteArray& key, int def) const
{
    const auto v = value(section, key);
    if (!v)
        return def;
    return parseInteger(*v).value_or(def);
}

bool IniDocument::readBool(const QByteArray& section, const QByteArray& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

QList<QByteArray> IniDocument::keys(const QByteArray& section) const
{
    QList<QByteArray> out;
    for (int h = 0; h < lines_.size(); ++h) {
        if (!lines_[h].header || !sameName(lines_[h].section, section))
            continue;
        const int end = sectionEnd(h);
        for (int i = h + 1; i < end; ++i)
            if (!lines_[i].key.isEmpty())
                out.append(lines_[i].key);
    }
    return out;
}

QList<std::pair<QByteArray, QByteArray>> IniDocument::entries(const QByteArray& section) const
{
    QList<std::pair<QByteArray, QByteArray>> out;
    for (int h = 0; h < lines_.size(); ++h) {
        if (!lines_[h].header || !sameName(lines_[h].section, section))
            continue;
        const int end = sectionEnd(h);
        for (int i = h + 1; i < end; ++i) {
            const Line& l = lines_[i];
            if (l.key.isEmpty())
                continue;
            out.append({l.key, l.text.mid(l.text.indexOf('=') + 1).left(MaxValueLength)});
        }
    }
    return out;
}

QList<IniDocument::NumberedLine> IniDocument::numberedLines() const
{
    QList<NumberedLine> out;
    QByteArray section;
    for (int i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.header) {
            section = l.section;
            out.append({i + 1, true, section, {}, {}});
        } else if (!l.key.isEmpty()) {
            out.append({i + 1, false, section, l.key, l.text.mid(l.text.indexOf('=') + 1)});
        }
    }
    return out;
}

QList<QByteArray> IniDocument::sections() const
{
    QList<QByteArray> out;
    for (const Line& l : lines_)
        if (l.header)
            out.append(l.section);
    return out;
}

void IniDocument::writeString(const QByteArray& section, const QByteArray& key,
                              const QByteArray& rawValue)
{
    QByteArray value = rawValue;
    value.replace('\r', ' ').replace('\n', ' ');
    const int i = findKey(section, key);
    if (i >= 0) {
        lines_[i] = classify(lines_[i].key + '=' + value);
        return;
    }
    int h = findSection(section);
    if (h < 0) {
        lines_.append(classify('[' + section + ']'));
        lines_.append(classify(key + '=' + value));
        return;
    }
    // After the section's last non-blank line, so blank lines that part sections stay put.
    int at = sectionEnd(h);
    while (at > h + 1 && lines_[at - 1].text.trimmed().isEmpty())
        --at;
    lines_.insert(at, classify(key + '=' + value));
}

void IniDocument::writeInteger(const QByteArray& section, const QByteArray& key, int value)
{
    writeString(section, key, QByteArray::number(value));
}

void IniDocument::eraseKey(const QByteArray& section, const QByteArray& key)
{
    for (int i = findKey(section, key); i >= 0; i = findKey(section, key))
        lines_.removeAt(i);
}

void IniDocument::eraseSection(const QByteArray& section)
{
    for (int h = findSection(section); h >= 0; h = findSection(section))
        lines_.remove(h, sectionEnd(h) - h);
}

} // namespace kx
