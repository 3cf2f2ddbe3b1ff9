// Turns the operator's manual from Markdown into PDF with Qt's own text layout and PDF writer:
//   kxlink-manual <manual.md> <pictures folder> <out.pdf>
// Runs without a display (QT_QPA_PLATFORM=offscreen). Fails when a picture is missing, so a
// manual with holes in it never leaves the build.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>

namespace {

// The widest a picture may be, in the document's pixels: the text width of an A4 page.
constexpr qreal MaxPictureWidth = 600;

// Shrinks wide pictures to the text width; false when a picture cannot be loaded.
bool fitPictures(QTextDocument& doc, const QString& pictures)
{
    bool ok = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString file = pictures + QLatin1Char('/') + format.name();
            const QImage image(file);
            if (image.isNull()) {
                std::fprintf(stderr, "kxlink-manual: cannot load picture %s\n", qPrintable(file));
                ok = false;
                continue;
            }
            // Held by the document itself: printing lays out a copy, which resolves no paths.
            doc.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            const qreal scale = std::min<qreal>(1.0, MaxPictureWidth / image.width());
            format.setWidth(image.width() * scale);
            format.setHeight(image.height() * scale);
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: kxlink-manual <manual.md> <pictures folder> <out.pdf>\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString pictures = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QString output = QString::fromLocal8Bit(argv[3]);

    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kxlink-manual: cannot read %s\n", qPrintable(source));
        return 1;
    }
    QTextDocument doc;
    doc.setBaseUrl(QUrl::fromLocalFile(pictures + QLatin1Char('/')));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("code { font-family: 'DejaVu Sans Mono'; }"));
    doc.setMarkdown(QString::fromUtf8(file.readAll()), QTextDocument::MarkdownDialectGitHub);
    if (!fitPictures(doc, pictures))
        return 1;

    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    // QTextDocument::print adds a 2 cm margin of its own inside these.
    writer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("KXLINK Operator's Manual"));
    writer.setCreator(QStringLiteral("KXLINK"));
    doc.print(&writer);
    if (!QFileInfo(output).isFile() || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "kxlink-manual: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
