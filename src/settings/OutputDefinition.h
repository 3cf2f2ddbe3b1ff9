#pragma once

#include <QByteArray>
#include <QList>
#include <utility>

namespace kx {

// One custom output definition (COM1's `TempCom1` or COM2's `TempCom2`): key=value lines kept
// in their order. Keys match without regard to case; the first line with a key is the one read
// and replaced. Values are the text after the first "=", blanks included, so a one-space token
// survives a load and a save.
class OutputDefinition
{
public:
    using Line = std::pair<QByteArray, QByteArray>;

    OutputDefinition() = default;
    explicit OutputDefinition(QList<Line> lines) : lines_(std::move(lines)) {}

    const QList<Line>& lines() const { return lines_; }
    bool isEmpty() const { return lines_.isEmpty(); }
    void clear() { lines_.clear(); }

    bool hasKey(const QByteArray& key) const;
    // The value of the key; empty text when the key is missing.
    QByteArray value(const QByteArray& key) const;
    // Replaces the value where the key stands, or appends the key at the end.
    void setValue(const QByteArray& key, const QByteArray& value);
    void append(const QByteArray& key, const QByteArray& value) { lines_.append({key, value}); }

    // The lines as "key=value" each ended by CR LF (the scratch file's content).
    QByteArray toText() const;

    friend bool operator==(const OutputDefinition&, const OutputDefinition&) = default;

private:
    int find(const QByteArray& key) const;

    QList<Line> lines_;
};

} // namespace kx
