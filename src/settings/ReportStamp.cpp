#include "settings/ReportStamp.h"

#include "settings/Logbook.h"

namespace kx::report {
namespace {

const QByteArray HeadOpen = "<kx:logbookHead>";
const QByteArray HeadClose = "</kx:logbookHead>";
const QByteArray LinesOpen = "<kx:logbookLines>";
const QByteArray LinesClose = "</kx:logbookLines>";
// More digits than a logbook within its size limit can have lines.
constexpr int MaxLineDigits = 9;
// How far after its head the line count may stand (a line end and some indentation).
constexpr qsizetype NearBytes = 64;

// The text between open and close at from, when close follows within most bytes.
std::optional<QByteArray> element(const QByteArray& bytes, qsizetype from, const QByteArray& open,
                                  const QByteArray& close, qsizetype most)
{
    const qsizetype start = from + open.size();
    const qsizetype end = bytes.indexOf(close, start);
    if (end < 0 || end - start > most)
        return std::nullopt;
    return bytes.mid(start, end - start);
}

} // namespace

QByteArray xmpFor(const Stamp& stamp, const QString& title)
{
    return QByteArray("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                      "<rdf:Description rdf:about=\"\" "
                      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                      "xmlns:kx=\"urn:kxlink:service-report:1\">\n"
                      "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">") +
           title.toHtmlEscaped().toUtf8() + "</rdf:li></rdf:Alt></dc:title>\n" + HeadOpen +
           stamp.head + HeadClose + "\n" + LinesOpen + QByteArray::number(stamp.lines) +
           LinesClose + "\n</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

std::optional<Stamp> stampIn(const QByteArray& pdf, QString* why)
{
    const auto fail = [why](const QString& text) -> std::optional<Stamp> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    std::optional<Stamp> found;
    for (qsizetype at = pdf.indexOf(HeadOpen); at >= 0; at = pdf.indexOf(HeadOpen, at + 1)) {
        const auto head = element(pdf, at, HeadOpen, HeadClose, 64);
        if (head && head->isEmpty())
            return fail(QStringLiteral("it was written while the logbook was empty: there is no "
                                       "head to check"));
        if (!head || !logbook::isHead(*head))
            return fail(QStringLiteral("its logbook head is not a SHA-256"));
        // The count stands right after its head: a search that has to go further fails, so
        // the whole read stays one pass over the file however many heads it holds.
        const qsizetype headEnd = at + HeadOpen.size() + head->size() + HeadClose.size();
        const qsizetype linesAt = pdf.indexOf(LinesOpen, headEnd);
        const auto digits = linesAt < 0 || linesAt - headEnd > NearBytes
                                ? std::nullopt
                                : element(pdf, linesAt, LinesOpen, LinesClose, MaxLineDigits);
        bool ok = false;
        const int lines = digits ? digits->toInt(&ok) : 0;
        if (!ok || lines < 0)
            return fail(QStringLiteral("its logbook line count is not a number"));
        const Stamp stamp{head->toLower(), lines};
        if (found && (found->head != stamp.head || found->lines != stamp.lines))
            return fail(QStringLiteral("it names more than one logbook head"));
        found = stamp;
    }
    if (!found)
        return fail(QStringLiteral("it carries no logbook head (not a service report of this "
                                   "program)"));
    return found;
}

} // namespace kx::report
