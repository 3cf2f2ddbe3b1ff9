#include "editor/LogbookWindow.h"

#include "settings/Logbook.h"
#include "settings/UserFile.h"
#include "widgets/AccessibleControl.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace kx {

LogbookWindow::LogbookWindow(const QString& programFolder, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)), chain_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Logbook"));
    setObjectName(QStringLiteral("LogbookWindow"));
    resize(980, 420);
    const QStringList headers{"Time", "Port", "Device", "Action", "File",
                              "Backup", "Settings changed", "Outcome", "Read back"};
    table_->setColumnCount(int(headers.size()));
    table_->setHorizontalHeaderLabels(headers);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(true);
    table_->setTextElideMode(Qt::ElideMiddle);
    nameControl(table_, QStringLiteral("LogbookTable"));
    nameControl(chain_, QStringLiteral("LogbookChain"));
    table_->viewport()->installEventFilter(this);
    chain_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(chain_);
    layout->addWidget(buttons);
    load(logbook::pathIn(programFolder));
}

void LogbookWindow::load(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path)) {
        chain_->setText(QStringLiteral("No writes yet: %1 is made by the first one.").arg(shown));
        chain_->setAccessibleName(chain_->text());
        return;
    }
    QString why;
    const auto bytes = readUserFile(path, logbook::FileLimit, &why);
    if (!bytes) {
        chain_->setText(why);
        chain_->setAccessibleName(why);
        return;
    }
    const QList<logbook::Line> lines = logbook::parse(*bytes);
    table_->setRowCount(int(lines.size()));
    int row = 0;
    for (const logbook::Line& line : lines) {
        QStringList cells;
        if (line.entry) {
            const LogbookEntry& e = *line.entry;
            QStringList changes;
            for (const LogbookEntry::Change& c : e.changes)
                changes << QStringLiteral("%1: %2 \u2192 %3").arg(c.key, c.before, c.after);
            if (!e.changesKnown)
                changes << QStringLiteral("unknown: the setup was not read before the write");
            cells = {e.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), QString::number(e.port),
                     e.device, e.action, e.file, e.backup, changes.join(QStringLiteral("; ")),
                     e.outcome, e.verify};
        } else {
            cells = {QStringLiteral("(line %1 is not an entry)").arg(line.number)};
        }
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setToolTip(cells[col]);
            table_->setItem(row, col, item);
        }
        ++row;
    }
    fitColumns();
    const int bad = logbook::firstBadLine(*bytes, &why);
    chain_->setText(bad == 0 ? QStringLiteral("%1: %2 writes; no line changed, removed or moved.")
                                   .arg(shown)
                                   .arg(lines.size())
                             : QStringLiteral("%1: %2").arg(shown, why));
    chain_->setAccessibleName(chain_->text());
}

bool LogbookWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_->viewport() && event->type() == QEvent::Resize && !fitting_) {
        fitting_ = true;
        fitColumns();
        fitting_ = false;
    }
    return QDialog::eventFilter(watched, event);
}

void LogbookWindow::fitColumns()
{
    if (table_->rowCount() == 0)
        return;
    QHeaderView* header = table_->horizontalHeader();
    // A stretched last column would count as wide as the window.
    header->setStretchLastSection(false);
    table_->resizeColumnsToContents();
    // Time, port, action, outcome and read-back are short and read whole; the device, the
    // files and the changes can take a line break.
    const QList<int> long_ = {2, 4, 5, 6};
    int total = 0, longTotal = 0;
    for (int c = 0; c < table_->columnCount(); ++c) {
        total += header->sectionSize(c);
        if (long_.contains(c))
            longTotal += header->sectionSize(c);
    }
    const int room = table_->viewport()->width();
    if (total > room) {
        // Columns narrower than an even share keep their width; the rest split what is left.
        int left = room - (total - longTotal);
        QList<int> wide = long_;
        for (bool settled = false; !settled && !wide.isEmpty();) {
            settled = true;
            const int share = left / int(wide.size());
            for (int c : QList<int>(wide)) {
                if (header->sectionSize(c) <= share) {
                    left -= header->sectionSize(c);
                    wide.removeOne(c);
                    settled = false;
                }
            }
        }
        const int share = wide.isEmpty() ? 0 : std::max(60, left / int(wide.size()));
        for (int c : wide)
            header->resizeSection(c, share);
    }
    header->setStretchLastSection(true);
    table_->resizeRowsToContents();
}

} // namespace kx
