#pragma once

#include <QByteArray>
#include <QString>
#include <span>

namespace kx {

// The ticket designer's arithmetic: pixels on the page canvas against print lines and character
// columns, and the page boxes' texts.

inline constexpr int DefaultCharWidth = 12;

// The ranges a hand-edited file's values are held to where they are read, so that no product
// of them (a line times the line height, a column times the character width) can overflow.
inline constexpr int MaxTicketCell = 9999;    // a field's line or column, as the download sends
inline constexpr int MaxCharWidth = 99;       // what the two-character Char Width box holds
inline constexpr int MinLinesPerInch = 6;     // the Lines/Inch list: 6, 8, 12
inline constexpr int MaxLinesPerInch = 12;
inline constexpr int MaxPixelsPerInch = 10000;
inline constexpr double MaxPageInches = 99.99; // what a page box's characters can hold

// Pixels per print line: pixels per inch over lines per inch (held to the list's range),
// truncated, at least 1; 16 when the screen's resolution is not positive.
int ticketLineHeight(int pixelsPerInch, int linesPerInch);

// The character width the box's text stands for: its whole number held to 1..99, 12 for 0 or
// no number.
int ticketCharWidth(const QString& text);

// A dropped coordinate snapped to the nearest multiple of `step`; an exact half goes down. The
// remainder keeps the dividend's sign, so negative positions snap the same way toward zero's
// side of the half. A step of 0 or less leaves the coordinate as it is.
int snapToPitch(int raw, int step);

// The line or column a snapped coordinate shows in the grid: 0 for a coordinate of 0 or less.
int pitchCell(int coordinate, int step);

// A Top or Left cell's text after a keystroke: at most 3 characters, a last non-digit dropped.
QString cleanTicketCell(const QString& typed);

// The leading whole number of a cell's text held to 0..9999, 0 when there is none.
int leadingNumber(const QString& text);

// A page box's text once the box is left: "#0.0" when it has fewer than two decimals, else
// "0.00" rounded half away from zero; text that is not a number reads as 0.
QString formatPageBox(const QString& text);

// A page box's text as inches held to 0..99.99; 0 when it is not a number.
double pageInches(const QString& text);

struct PrinterPaper
{
    const char* printer;
    const char* height;
    const char* width;
    const char* top;
    const char* left;
    const char* right;
    const char* bottom;
};

// The printer list in order, each with its paper.
std::span<const PrinterPaper> printerPapers();

// The label's hint: "(name,line,column,height,width)".
QString ticketLabelHint(const QString& name, const QString& line, const QString& column, int height,
                        int width);

} // namespace kx
