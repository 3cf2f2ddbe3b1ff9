#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace kx {

// An INI file kept line for line as it was read. Reading looks keys up without regard to
// case; writing a key replaces its value where it stands, a new key goes after the last
// key of its section and a new section goes to the end, so everything the program does
// not own (foreign keys, comments, order, 8-bit text) survives a save untouched.
// Lines end in CR LF when written back.
class IniDocument
{
public:
    // The longest value a read returns; longer values are cut.
    static constexpr int MaxValueLength = 2047;

    IniDocument() = default;
    static IniDocument fromBytes(const QByteArray& bytes);

    // Reads the file as readUserFile() does, at most limit bytes; false (and an empty
    // document) when it cannot be read, with error saying why (without the file's name).
    bool load(const QString& path, QString* error = nullptr, qint64 limit = 16 * 1024 * 1024);
    // Writes the whole document through saveFile(): on any failure the file on disk is left
    // as it was and error says which file and why.
    bool save(const QString& path, QString* error = nullptr) const;
    QByteArray toBytes() const;
    // Whether the text began with a UTF-8 byte-order mark (an editor on another system may add
    // one); it is not part of the first line and is written back in front.
    bool hasByteOrderMark() const { return byteOrderMark_; }

    bool hasSection(const QByteArray& section) const;
    bool hasKey(const QByteArray& section, const QByteArray& key) const;
    std::optional<QByteArray> value(const QByteArray& section, const QByteArray& key) const;
    QByteArray readString(const QByteArray& section, const QByteArray& key,
                          const QByteArray& def = {}) const;
    // Decimal or 0x hexadecimal; anything else (or a missing key) reads as def.
    int readInteger(const QByteArray& section, const QByteArray& key, int def) const;
    bool readBool(const QByteArray& section, const QByteArray& key, bool def) const;
    // The key names of a section, in file order.
    QList<QByteArray> keys(const QByteArray& section) const;
    // The key=value lines of a section in file order, each value being the text after the
    // first "=" as it stands (blanks kept), cut at MaxValueLength.
    QList<std::pair<QByteArray, QByteArray>> entries(const QByteArray& section) const;
    QList<QByteArray> sections() const;

    // The header and key=value lines in file order, numbered from 1 as an editor shows them;
    // a key line carries the section it stands in (empty before the first header) and its
    // value as it stands, blanks kept and not cut. For checks that name a line.
    struct NumberedLine
    {
        int number;
        bool header;
        QByteArray section;
        QByteArray key;
        QByteArray value;
    };
    QList<NumberedLine> numberedLines() const;

    // A line break inside a value would end its line and start another key, so CR and LF in
    // the value are written as blanks.
    void writeString(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    void writeInteger(const QByteArray& section, const QByteArray& key, int value);
    void eraseKey(const QByteArray& section, const QByteArray& key);
    void eraseSection(const QByteArray& section);

    static std::optional<int> parseInteger(const QByteArray& text);

private:
    struct Line
    {
        QByteArray text;
        QByteArray section; // header name when this line is a header
        QByteArray key;     // key name when this line is a key=value line
        bool header = false;
    };
    static Line classify(const QByteArray& text);
    // Index of the section's header line, or -1.
    int findSection(const QByteArray& section) const;
    // Index one past the section's last line (the next header or the end).
    int sectionEnd(int header) const;
    int findKey(const QByteArray& section, const QByteArray& key) const;

    QList<Line> lines_;
    bool byteOrderMark_ = false;
};

} // namespace kx
