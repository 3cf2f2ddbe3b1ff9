#include "settings/StreamFormat.h"

namespace kx {
namespace {

struct StreamToken
{
    char letter;
    const char* parsedType;
    const char* menuItem; // nullptr: no type menu inserts it
};

const StreamToken kTokens[] = {
    {'A', "Status Code A", "Status Byte A"},
    {'B', "Status Code B", "Status Byte B"},
    {'C', "Status Code C", "Status Byte C"},
    {'D', "Status Code D", "Status Byte D"},
    {'E', "Status Code E", "Status Byte E"},
    {'G', "Gross Weight", "Gross Weight"},
    {'T', "Tare Weight", "Tare Weight"},
    {'N', "Net Weight", "Net Weight"},
    {'W', "Displayed Weight", "Displayed Weight"},
    {'U', "Units Token", "Units Token"},
    {'M', "Mode Token (G,T,N)", "Mode Token (G,T,N)"},
    {'S', "Scale Status", "Scale Status"},
    {'L', "Load Cell Status", nullptr},
    {'p', "Piece Count", "Piece Count"},
    {'a', "Accumulation", "Accumulation"},
    {'t', "Time", "Time"},
    {'d', "Date", "Date"},
    {'I', "ID", "ID"},
};

QByteArray tokenText(char letter)
{
    return QByteArray("<") + letter + '>';
}

} // namespace

QByteArray streamTokenType(char letter)
{
    for (const StreamToken& t : kTokens)
        if (t.letter == letter)
            return t.parsedType;
    return {};
}

QByteArray menuItemToken(const QByteArray& caption)
{
    for (const StreamToken& t : kTokens)
        if (t.menuItem && caption == t.menuItem)
            return tokenText(t.letter);
    return {};
}

OutputRows parseStreamFormat(const QByteArray& source)
{
    OutputRows rows(OutputGridRows);
    const qsizetype size = source.size();
    qsizetype pos = 0;
    int row = 0;
    while (pos < size && row < OutputGridRows) {
        const char c = source.at(pos);
        if (c == '[') {
            const qsizetype start = pos + 1;
            qsizetype close = source.indexOf(']', start);
            if (close < 0)
                close = size;
            const QByteArray text =
                source.mid(start, qMin(close - start, qsizetype(StreamTextCap)));
            rows[row] = {TextType, '[' + text + ']'};
            pos = close + 1;
            ++row;
        } else if (c == '<') {
            if (pos + 1 < size) {
                const char letter = source.at(pos + 1);
                const QByteArray type = streamTokenType(letter);
                if (!type.isEmpty())
                    rows[row] = {type, tokenText(letter)};
            }
            // The letter and the ">" after it are stepped over whatever the letter was, so an
            // unknown token leaves its row empty.
            pos += 3;
            ++row;
        } else {
            ++pos;
        }
    }
    return rows;
}

QByteArray bracketedText(const QByteArray& value)
{
    return value.contains('[') ? value : '[' + value + ']';
}

BuiltStream rebuildStreamFormat(const OutputRows& rows, bool delimited)
{
    BuiltStream built;
    built.rows = rows;
    const QByteArray separator = delimited ? ", " : " ";
    for (OutputRow& row : built.rows) {
        if (row.type.isEmpty())
            row.value.clear();
        if (row.value.isEmpty())
            continue;
        const QByteArray item = row.type == TextType ? bracketedText(row.value) : row.value;
        built.stream += item;
        built.display += item + separator;
    }
    return built;
}

OutputRows removeOutputRow(OutputRows rows, int row)
{
    if (row < 0 || row >= rows.size())
        return rows;
    rows.removeAt(row);
    rows.append(OutputRow{});
    return rows;
}

} // namespace kx
