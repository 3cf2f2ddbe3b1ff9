#include "editor/OutputBuildPage.h"

#include "widgets/AccessibleControl.h"
#include "widgets/KeystrokeDelegate.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace kx {
namespace {

const char* const kFullMenu[] = {"Text",          "Units Token",   "Mode Token (G,T,N)",
                                 "Scale Status",  "Status Byte A", "Status Byte B",
                                 "Status Byte C", "Status Byte D", "Status Byte E",
                                 "Time",          "Date",          "Gross Weight",
                                 "Tare Weight",   "Net Weight",    "Displayed Weight",
                                 "Piece Count",   "Accumulation",  "ID",
                                 "<< Remove >>"};
const char* const kAutoMenu[] = {"Text",
                                 "Time",
                                 "Date",
                                 "Gross Weight",
                                 "Tare Weight",
                                 "Net Weight",
                                 "Displayed Weight",
                                 "Units Token",
                                 "Mode Token (G,T,N)",
                                 "Scale Status",
                                 "Piece Count",
                                 "Accumulation",
                                 "ID",
                                 "<< Remove >>"};
constexpr char kRemove[] = "<< Remove >>";

QByteArray bytes(const QString& s)
{
    return s.toLatin1();
}

} // namespace

OutputBuildPage::OutputBuildPage(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    model_ = new QStandardItemModel(OutputGridRows, 3, this);
    model_->setHorizontalHeaderLabels(
        {QStringLiteral("Item"), QStringLiteral("Data Type"), QStringLiteral("Value")});
    for (int r = 0; r < OutputGridRows; ++r) {
        auto* number = new QStandardItem(QString::number(r + 1));
        number->setEditable(false);
        model_->setItem(r, 0, number);
        auto* type = new QStandardItem;
        type->setEditable(false);
        model_->setItem(r, 1, type);
        model_->setItem(r, 2, new QStandardItem);
    }
    OutputGrid = new QTableView(this);
    nameControl(OutputGrid, QStringLiteral("OutputGrid"));
    OutputGrid->setAccessibleName(QStringLiteral("Output Grid"));
    OutputGrid->setModel(model_);
    OutputGrid->verticalHeader()->hide();
    OutputGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    OutputGrid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    OutputGrid->setColumnWidth(0, 44);
    OutputGrid->setColumnWidth(1, 200);
    OutputGrid->horizontalHeader()->setStretchLastSection(true);
    OutputGrid->installEventFilter(this);
    OutputGrid->setItemDelegateForColumn(
        2, new KeystrokeDelegate(
               [this](const QModelIndex& at, const QString& text) {
                   if (at.isValid())
                       model_->item(at.row(), 2)->setText(text); // OutputGridSetEditText
               },
               this));
    column->addWidget(OutputGrid, 1);

    OutputStringLabel = new QLabel(this);
    nameControl(OutputStringLabel, QStringLiteral("OutputStringLabel"));
    OutputStringLabel->setTextFormat(Qt::PlainText); // items look like markup
    OutputStringLabel->setAutoFillBackground(true);
    QPalette yellow = OutputStringLabel->palette();
    yellow.setColor(QPalette::Window, Qt::yellow);
    yellow.setColor(QPalette::WindowText, Qt::black);
    OutputStringLabel->setPalette(yellow);
    OutputStringLabel->setMinimumHeight(22);
    column->addWidget(OutputStringLabel);

    auto makeMenu = [this](const QString& name, auto& items, bool shortMenu) {
        auto* menu = new QMenu(this);
        menu->setObjectName(name);
        for (const char* item : items) {
            const QString caption = QString::fromLatin1(item);
            menu->addAction(caption, this, [this, caption, shortMenu] {
                chooseType(lastRow_, caption, shortMenu);
            });
        }
        return menu;
    };
    PopUp_Type = makeMenu(QStringLiteral("PopUp_Type"), kFullMenu, false);
    PopUp_Auto = makeMenu(QStringLiteral("PopUp_Auto"), kAutoMenu, true);

    connect(OutputGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &OutputBuildPage::OutputGridSelectCell);
    connect(OutputGrid, &QTableView::clicked, this, [this](const QModelIndex& index) {
        lastRow_ = index.row();
        emit edited();
        if (index.column() == 1)
            typeMenu()->popup(QCursor::pos());
    });
    connect(model_, &QStandardItemModel::itemChanged, this, [this](QStandardItem* item) {
        if (quiet_ == 0 && item->column() == 2)
            OutputGridSetEditText(item->row());
    });
}

QMenu* OutputBuildPage::typeMenu() const
{
    return automatic_() ? PopUp_Auto : PopUp_Type;
}

OutputRows OutputBuildPage::rows() const
{
    OutputRows rows;
    for (int r = 0; r < OutputGridRows; ++r)
        rows.append({bytes(model_->item(r, 1)->text()), bytes(model_->item(r, 2)->text())});
    return rows;
}

void OutputBuildPage::setRows(const OutputRows& rows)
{
    ++quiet_;
    for (int r = 0; r < OutputGridRows; ++r) {
        const OutputRow row = r < rows.size() ? rows[r] : OutputRow{};
        model_->item(r, 1)->setText(QString::fromLatin1(row.type));
        model_->item(r, 2)->setText(QString::fromLatin1(row.value));
        updateEditable(r);
    }
    --quiet_;
}

void OutputBuildPage::updateEditable(int row)
{
    // Only a text row, or an empty one, takes typing.
    const QString type = model_->item(row, 1)->text();
    model_->item(row, 2)->setEditable(type.isEmpty() || type == QLatin1String(TextType));
}

void OutputBuildPage::ParseStreamFormat(const QByteArray& source)
{
    if (!source.isEmpty())
        setRows(parseStreamFormat(source));
}

QByteArray OutputBuildPage::RebuildStreamFormat()
{
    const BuiltStream b = rebuildStreamFormat(rows(), delimited_());
    setRows(b.rows);
    built_ = b.stream;
    const QString display = QString::fromLatin1(b.display);
    OutputStringLabel->setText(display);
    OutputStringLabel->setAccessibleName(display);
    emit edited();
    return built_;
}

void OutputBuildPage::chooseType(int row, const QString& caption, bool shortMenu)
{
    if (row < 0 || row >= OutputGridRows)
        return;
    if (caption == QLatin1String(kRemove)) {
        setRows(removeOutputRow(rows(), row));
    } else {
        ++quiet_;
        model_->item(row, 1)->setText(caption);
        const QByteArray token = menuItemToken(bytes(caption));
        if (!token.isEmpty())
            model_->item(row, 2)->setText(QString::fromLatin1(token));
        updateEditable(row);
        --quiet_;
        if (shortMenu && caption == QLatin1String(TextType)) {
            OutputGrid->setCurrentIndex(model_->index(row, 2));
            OutputGrid->setFocus();
        }
    }
    RebuildStreamFormat();
}

void OutputBuildPage::OutputGridSetEditText(int row)
{
    ++quiet_;
    if (model_->item(row, 1)->text() != QLatin1String(TextType))
        model_->item(row, 1)->setText(QString::fromLatin1(TextType));
    --quiet_;
    RebuildStreamFormat();
}

void OutputBuildPage::bracketCell(int row)
{
    if (row < 0 || row >= OutputGridRows)
        return;
    QStandardItem* value = model_->item(row, 2);
    if (model_->item(row, 1)->text() != QLatin1String(TextType) || value->text().isEmpty())
        return;
    const QString bracketed = QString::fromLatin1(bracketedText(bytes(value->text())));
    if (bracketed != value->text()) {
        ++quiet_;
        value->setText(bracketed);
        --quiet_;
    }
}

void OutputBuildPage::OutputGridSelectCell(const QModelIndex& current, const QModelIndex& previous)
{
    if (previous.isValid() && previous.column() == 2 && previous != current)
        bracketCell(previous.row());
    if (current.isValid()) {
        lastRow_ = current.row();
        updateEditable(current.row());
    }
}

bool OutputBuildPage::eventFilter(QObject* watched, QEvent* event)
{
    // OutputGridExit: leaving the grid brackets the text cell the selection is on.
    if (watched == OutputGrid && event->type() == QEvent::FocusOut) {
        // Focus moving into the grid's own cell editor is not leaving it.
        const QWidget* now = QApplication::focusWidget();
        const QModelIndex current = OutputGrid->currentIndex();
        if (current.isValid() && current.column() == 2 && !(now && OutputGrid->isAncestorOf(now)))
            bracketCell(current.row());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kx
