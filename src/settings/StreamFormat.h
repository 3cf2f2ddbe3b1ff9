#pragma once

#include <QByteArray>
#include <QList>

namespace kx {

// The builder's output grid as data: one row per item of a custom output stream. `type` is the
// "Data Type" column, `value` the item as the stream carries it ("<G>", "[ ]").
struct OutputRow
{
    QByteArray type;
    QByteArray value;
    friend bool operator==(const OutputRow&, const OutputRow&) = default;
};
using OutputRows = QList<OutputRow>;

inline constexpr int OutputGridRows = 64;
inline constexpr int StreamTextCap = 511; // characters a bracketed text item keeps
inline constexpr char TextType[] = "Text";

// The grid's data type for a token letter ("Gross Weight" for 'G'); empty for a letter that is
// not a token. Letters are case-sensitive.
QByteArray streamTokenType(char letter);

// The token a type menu item inserts ("<A>" for "Status Byte A"); empty for "Text", "<< Remove
// >>" and any other caption.
QByteArray menuItemToken(const QByteArray& caption);

// Fills a grid of OutputGridRows rows from a stored stream format of any length. An unknown
// token leaves its row empty, characters outside items are skipped, and the parse stops after
// the last row.
OutputRows parseStreamFormat(const QByteArray& source);

struct BuiltStream
{
    QByteArray stream;  // what a store writes as "Stream Format"
    QByteArray display; // the line under the grid
    OutputRows rows;    // the grid after the build: a row without a type loses its value
};

// Builds the stream from the grid. A "Text" value without any "[" goes into the stream
// bracketed; the display separates items with ", " when delimited, else one space.
BuiltStream rebuildStreamFormat(const OutputRows& rows, bool delimited);

// "<< Remove >>": the rows below `row` (0-based) move up one and the last row is emptied.
OutputRows removeOutputRow(OutputRows rows, int row);

// A "Text" cell's value once the selection leaves it: bracketed unless it holds a "[".
QByteArray bracketedText(const QByteArray& value);

} // namespace kx
