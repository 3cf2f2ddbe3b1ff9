#include "report/ReportPdf.h"

#include "settings/ReportStamp.h"
#include "settings/SafeSave.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace kx {
namespace {

constexpr int Dpi = 300;

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString when(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// A table with its column heads in a head row, which the layout repeats on every page the
// table runs over.
QString table(const QStringList& heads, const QList<QStringList>& rows, const QList<int>& widths)
{
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" "
                                  "border=\"1\" style=\"border-collapse:collapse; "
                                  "border-color:#999999\"><thead><tr>");
    for (int i = 0; i < heads.size(); ++i)
        html += QStringLiteral("<th width=\"%1%\" align=\"left\" bgcolor=\"#e4e8ee\">%2</th>")
                    .arg(widths.value(i))
                    .arg(esc(heads[i]));
    html += QStringLiteral("</tr></thead>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& cell : row)
            html += QStringLiteral("<td>%1</td>").arg(cell);
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString settingsTable(const QList<ServiceReport::Setting>& settings)
{
    QList<QStringList> rows;
    for (const ServiceReport::Setting& s : settings)
        rows.append({esc(s.page), esc(s.caption), esc(s.value)});
    return table({QStringLiteral("Page"), QStringLiteral("Setting"), QStringLiteral("Value")}, rows,
                 {22, 40, 38});
}

QString changesTable(const QList<ServiceReport::Change>& changes, const QString& fromHead,
                     const QString& toHead)
{
    QList<QStringList> rows;
    for (const ServiceReport::Change& c : changes)
        rows.append({esc(c.page), esc(c.caption), esc(c.from), QStringLiteral("→ ") + esc(c.to)});
    return table({QStringLiteral("Page"), QStringLiteral("Setting"), fromHead, toHead}, rows,
                 {20, 34, 23, 23});
}

QString fileName(const QString& path)
{
    return QDir::fromNativeSeparators(path).section(QLatin1Char('/'), -1);
}

QString mono(const QString& text)
{
    return QStringLiteral("<span style=\"font-family:'DejaVu Sans Mono',monospace; "
                          "font-size:7pt\">%1</span>")
        .arg(esc(text));
}

// A write a row, and under it the file's SHA-256 over the table's width, so the hash stays on
// one line for whoever copies it.
QString writesTable(const QList<LogbookEntry>& writes)
{
    QString rows;
    for (const LogbookEntry& e : writes) {
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>")
                    .arg(esc(e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))), esc(e.action),
                         esc(fileName(e.file)), esc(e.outcome), esc(e.verify));
        QString detail = QStringLiteral("SHA-256 ") + mono(e.fileSha256);
        if (!e.backup.isEmpty())
            detail += QStringLiteral(" · backup before it: ") + esc(fileName(e.backup));
        rows += QStringLiteral("<tr><td colspan=\"5\">%1</td></tr>").arg(detail);
    }
    return table({QStringLiteral("Time"), QStringLiteral("Action"), QStringLiteral("File sent"),
                  QStringLiteral("Outcome"), QStringLiteral("Verify")},
                 {}, {22, 16, 36, 13, 13})
        .replace(QStringLiteral("</table>"), rows + QStringLiteral("</table>"));
}

QString indicatorText(const ServiceReport& r)
{
    QStringList parts;
    if (r.port > 0)
        parts << QStringLiteral("port %1").arg(r.port);
    parts << r.device;
    QString text = esc(parts.join(QStringLiteral(", ")));
    if (!r.customName.isEmpty())
        text += QStringLiteral("<br/>Custom Name: ") + esc(r.customName);
    if (!r.nodeAddress.isEmpty())
        text += QStringLiteral("<br/>Node Address: ") + esc(r.nodeAddress);
    return text;
}

QString html(const ServiceReport& r)
{
    const auto field = [](const QString& name, const QString& value) {
        return QStringLiteral("<tr><td width=\"22%\"><b>%1</b></td><td>%2</td></tr>")
            .arg(esc(name), value);
    };
    QString h = QStringLiteral("<h1>Service report</h1>"
                               "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">");
    h += field(QStringLiteral("Site"), esc(r.site));
    h += field(QStringLiteral("Indicator"), indicatorText(r));
    h += field(QStringLiteral("Visit"),
               esc(QStringLiteral("%1 to %2").arg(when(r.from), when(r.to))));
    h += field(QStringLiteral("Technician"), esc(r.technician));
    if (!r.note.isEmpty())
        h += field(QStringLiteral("Note"), esc(r.note));
    h += field(QStringLiteral("Written by"),
               esc(QStringLiteral("KXLINK %1 on %2").arg(r.version, r.machine)));
    h += QStringLiteral("</table>");

    h += QStringLiteral("<h2>As found</h2><p>%1</p>").arg(esc(r.foundFrom));
    if (!r.found.isEmpty())
        h += settingsTable(r.found);
    h += QStringLiteral("<h2>As left</h2><p>%1</p><p><b>%2</b></p>")
             .arg(esc(r.leftFrom), esc(r.verified));
    if (!r.notAsSent.isEmpty())
        h += changesTable(r.notAsSent, QStringLiteral("Sent"), QStringLiteral("Held"));
    h += settingsTable(r.left);

    h += QStringLiteral("<h2>Changes</h2>");
    if (!r.changesKnown)
        h += QStringLiteral("<p>Not known: the setup as found is not known.</p>");
    else if (r.changes.isEmpty())
        h += QStringLiteral("<p>No setting was changed: as left equals as found.</p>");
    else
        h += QStringLiteral("<p>%1 changed, as found → as left:</p>")
                 .arg(r.changes.size() == 1 ? QStringLiteral("1 setting")
                                            : QStringLiteral("%1 settings").arg(r.changes.size())) +
             changesTable(r.changes, QStringLiteral("As found"), QStringLiteral("As left"));
    h += QStringLiteral("<h3>Writes of the visit</h3>");
    h += r.writes.isEmpty() ? QStringLiteral("<p>None: nothing was written to the indicator.</p>")
                            : writesTable(r.writes);

    h += QStringLiteral("<h2>The record</h2><p>The logbook of writes held %1 lines when this "
                        "report was written. The SHA-256 of its last line (the head):</p><p>%2"
                        "</p><p>%3 The head is checked with <i>kxlink-cli report --check</i> "
                        "on this file, or <i>kxlink-cli logbook --check --head</i> with it: a "
                        "logbook changed or rewritten up to this line no longer holds it.</p>")
             .arg(r.head.lines)
             .arg(mono(r.head.sha256.isEmpty() ? QStringLiteral("(an empty logbook)")
                                               : QString::fromLatin1(r.head.sha256)),
                  esc(r.chain));
    h += QStringLiteral("<p><br/></p><table width=\"100%\" cellspacing=\"0\" cellpadding=\"4\">"
                        "<tr><td width=\"50%\">Technician: %1<br/><br/><br/>"
                        "_______________________________<br/>Signature and date</td>"
                        "<td width=\"50%\">Customer:<br/><br/><br/>"
                        "_______________________________<br/>Signature and date</td></tr>"
                        "</table>")
             .arg(esc(r.technician));
    return h;
}

} // namespace

QPageSize::PageSizeId localePaper()
{
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                              : QPageSize::A4;
}

std::optional<QPageSize::PageSizeId> paperNamed(const QString& name)
{
    if (name.compare(QLatin1String("a4"), Qt::CaseInsensitive) == 0)
        return QPageSize::A4;
    if (name.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0)
        return QPageSize::Letter;
    return std::nullopt;
}

QByteArray reportPdf(const ServiceReport& r, QPageSize::PageSizeId paper)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QString title = QStringLiteral("Service report %1 %2").arg(r.device, when(r.to));
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(Dpi);
        writer.setPageSize(QPageSize(paper));
        writer.setPageMargins(QMarginsF(16, 12, 16, 12), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("KXLINK %1").arg(r.version));
        writer.setDocumentXmpMetadata(report::xmpFor({r.head.sha256, r.head.lines}, title));

        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&writer);
        QFont body(QStringLiteral("DejaVu Sans"));
        body.setStyleHint(QFont::SansSerif);
        body.setPointSizeF(8.5);
        // No ligatures: a text extractor would give "ﬁ" where a reader searches for "fi".
        body.setStyleStrategy(QFont::PreferNoShaping);
        doc.setDefaultFont(body);
        doc.setDocumentMargin(0);
        doc.setHtml(html(r));

        QPainter painter(&writer);
        const QRect area(QPoint(0, 0), writer.pageLayout().paintRectPixels(Dpi).size());
        QFont small = body;
        small.setPointSizeF(7);
        painter.setFont(small);
        const int band = painter.fontMetrics().height() * 2;
        const QSizeF bodySize(area.width(), area.height() - 2 * band);
        doc.setPageSize(bodySize);
        const int pages = doc.pageCount();
        const QString who = r.site.isEmpty() ? r.device : r.site + QStringLiteral(" · ") + r.device;
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                writer.newPage();
            painter.setPen(QPen(Qt::darkGray, 2));
            painter.setFont(small);
            const QRect top(0, 0, area.width(), band * 3 / 4);
            painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("Service report · %1").arg(who));
            painter.drawText(top, Qt::AlignRight | Qt::AlignVCenter, when(r.to));
            painter.drawLine(0, band * 3 / 4, area.width(), band * 3 / 4);
            const int bottom = area.height() - band;
            painter.drawLine(0, bottom + band / 4, area.width(), bottom + band / 4);
            const QRect foot(0, bottom + band / 4, area.width(), band * 3 / 4);
            painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("Logbook head %1…")
                                 .arg(QString::fromLatin1(r.head.sha256.left(16))));
            painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                             QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages));

            painter.save();
            painter.translate(0, band - page * bodySize.height());
            const QRectF clip(0, page * bodySize.height(), bodySize.width(), bodySize.height());
            doc.drawContents(&painter, clip);
            painter.restore();
        }
    }
    return buffer.data();
}

std::optional<QByteArray> saveReport(const QString& path, const ServiceReport& report,
                                     QPageSize::PageSizeId paper, QString* why)
{
    const QByteArray pdf = reportPdf(report, paper);
    if (!saveNewFile(path, pdf, why))
        return std::nullopt;
    const QByteArray sha = QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex();
    if (!saveNewFile(path + QStringLiteral(".sha256"),
                     sha + "  " + QFileInfo(path).fileName().toUtf8() + '\n', why)) {
        // Made a moment ago by this call: a report without its sum is not left as if whole.
        QFile::remove(path);
        return std::nullopt;
    }
    return sha;
}

} // namespace kx
