#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kx {

// What the editor contributes to an uploaded setup: the set points when the record has none,
// and the page size and margins, which the records do not carry.
struct UploadContext
{
    // Records to read: 10, or 8 for an indicator of the second version.
    int lineCount = 10;
    QByteArray setpoint1, setpoint2;
    QByteArray height, width, top, left, bottom, right;
};

struct UploadParse
{
    enum class Outcome
    {
        Complete,   // every record read: the lines make a settings file
        Incomplete, // a tag or a field's comma was missing, or a ticket entry unreadable
        Error,      // fewer lines than the records require
    };
    Outcome outcome = Outcome::Incomplete;
    // The settings file's lines (section headers and key=value lines) as far as they were read.
    QList<QByteArray> lines;
};

// Reads the text the indicator sent between STX and EOT back into the lines of a settings
// file. Lines end in CR LF or a bare LF.
UploadParse parseUpload(const QByteArray& text, const UploadContext& context);

// When the number of records an upload brought is not the number the port settings' "Custom
// Outputs" make the editor expect (nine for one output, eleven for two), the line that says so
// and where to look; empty when it is, or when the indicator's version sends another layout.
QString recordCountProblem(const QByteArray& text, int lineCount, bool secondOutput);

// The field conversions of the upload, by name.
QByteArray readNumber(const QByteArray& field);
QByteArray readLessOne(const QByteArray& field);
QByteArray readTrimmed(const QByteArray& field);
QByteArray readDecimalTrim(const QByteArray& field);
QByteArray readHex(const QByteArray& field);

// One ticket entry of the body: its lines added to lines and its flag bit to flags. Returns the
// rest of the body, "," at the end of the list, or "0" when the entry cannot be read.
QByteArray ParseTicketField(const QByteArray& body, QList<QByteArray>& lines, quint16& flags);
// Visible=0, Row=0 and Col=0 lines for every ticket field whose flag bit is not set.
void FillMissingTicketFields(QList<QByteArray>& lines, quint16 flags);

} // namespace kx
