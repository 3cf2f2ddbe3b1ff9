#include "editor/TicketPage.h"

#include "editor/PageBuilder.h"
#include "editor/TicketCanvas.h"
#include "settings/SettingsSchema.h"
#include "settings/TicketLayout.h"
#include "widgets/AccessibleControl.h"
#include "widgets/KeystrokeDelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValidator>

namespace kx {

using namespace PageBuilder;

namespace {

constexpr int VisibleRow = 1, TopRow = 2, LeftRow = 3;
const char* const kRowNames[] = {"Field", "Visible", "Top", "Left"};
const char* const kPageBoxes[] = {"EditHeight", "EditWidth",  "EditTop",
                                  "EditLeft",   "EditBottom", "EditRight"};

// A line or column as typed: digits only, the first three. Whatever else is typed (or pasted)
// drops out as it comes, so "1a2" types as "12" and a letter over a selection leaves the rest.
class PlaceValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        QString kept;
        int keptPos = 0;
        for (int i = 0; i < input.size(); ++i) {
            if (!input[i].isDigit() || input[i].unicode() > '9' || kept.size() == 3)
                continue;
            kept += input[i];
            if (i < pos)
                ++keptPos;
        }
        input = kept;
        pos = keptPos;
        return Acceptable;
    }
};

} // namespace

TicketPage::TicketPage(std::function<void()> changed, QWidget* parent)
    : QWidget(parent), changed_(std::move(changed))
{
    auto* page = new QGridLayout(this);
    PageScroll = new QScrollArea(this);
    nameControl(PageScroll, QStringLiteral("PageScroll"));
    Canvas = new TicketCanvas;
    Canvas->setPixelsPerInch(logicalDpiY());
    PageScroll->setWidget(Canvas);
    PageScroll->setWidgetResizable(false);
    page->addWidget(PageScroll, 0, 0);

    const auto defs = ticketFields();
    for (int i = 0; i < TicketFieldCount; ++i) {
        auto* label = new TicketLabel(i + 1, QString::fromLatin1(defs[i].labelName), Canvas);
        label->setText(QString::fromLatin1(defs[i].labelText));
        label->setAccessibleName(QString::fromLatin1(defs[i].header));
        labels[i] = label;
        connect(label, &TicketLabel::pressed, this, [this](int field) {
            FieldGrid->setCurrentCell(FieldGrid->currentRow() > 0 ? FieldGrid->currentRow() : 1,
                                      field);
            dragScroll_ = {PageScroll->horizontalScrollBar()->value(),
                           PageScroll->verticalScrollBar()->value()};
        });
        connect(label, &TicketLabel::dropped, this, [this](int field, QPoint start, QPoint travel) {
            const QPoint scroll(PageScroll->horizontalScrollBar()->value(),
                                PageScroll->verticalScrollBar()->value());
            const QPoint raw = start - QPoint(TicketCanvas::Border, TicketCanvas::Border) + travel +
                               (scroll - dragScroll_);
            TextEndDock(field, raw.x(), raw.y());
        });
    }

    // The printer panel; its controls are bound to the record by name.
    QGroupBox* printer = group(this, QStringLiteral(" Printer "), QStringLiteral("PrinterGroup"));
    QFormLayout* printerForm = formIn(printer);
    Printer = comboRow(printerForm, QStringLiteral("Printer"), QStringLiteral("Printer"));
    LinesPerInch =
        comboRow(printerForm, QStringLiteral("Lines/Inch"), QStringLiteral("LinesPerInch"));
    CharWidth = editRow(printerForm, QStringLiteral("Char Width"), QStringLiteral("CharWidth"));
    Inhibit = comboRow(printerForm, QStringLiteral("Inhibit"), QStringLiteral("Inhibit"));
    QGroupBox* size = group(this, QStringLiteral(" Ticket Size "), QStringLiteral("SizeGroup"));
    QFormLayout* sizeForm = formIn(size);
    QGroupBox* margins = group(this, QStringLiteral(" Margins "), QStringLiteral("MarginsGroup"));
    QFormLayout* marginForm = formIn(margins);
    const char* const captions[] = {"Height", "Width", "Top", "Left", "Bottom", "Right"};
    for (int i = 0; i < 6; ++i) {
        QLineEdit* box = editRow(i < 2 ? sizeForm : marginForm, QString::fromLatin1(captions[i]),
                                 QString::fromLatin1(kPageBoxes[i]));
        pageBoxes[i] = box;
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, &TicketPage::PaperSettingsChange);
    }
    auto* panel = new QVBoxLayout;
    panel->addWidget(printer);
    panel->addWidget(size);
    panel->addWidget(margins);
    panel->addStretch();
    page->addLayout(panel, 0, 1);

    FieldGrid = new QTableWidget(4, TicketFieldCount + 1, this);
    nameControl(FieldGrid, QStringLiteral("FieldGrid"));
    FieldGrid->setAccessibleName(QStringLiteral("Field Grid"));
    FieldGrid->horizontalHeader()->hide();
    FieldGrid->verticalHeader()->hide();
    FieldGrid->horizontalHeader()->setDefaultSectionSize(60);
    FieldGrid->verticalHeader()->setDefaultSectionSize(20);
    FieldGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    FieldGrid->setTabKeyNavigation(true);
    FieldGrid->setStyleSheet(
        QStringLiteral("QTableWidget::item:selected { background: navy; color: white; }"));
    FieldGrid->setFixedHeight(4 * 20 + 2 * FieldGrid->frameWidth() + 18);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c <= TicketFieldCount; ++c) {
            auto* item = new QTableWidgetItem;
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (r >= TopRow && c > 0)
                flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            if (c == 0)
                item->setText(QString::fromLatin1(kRowNames[r]));
            else if (r == 0)
                item->setText(QString::fromLatin1(defs[c - 1].header));
            FieldGrid->setItem(r, c, item);
        }
    FieldGrid->installEventFilter(this);
    // The Top and Left cells are checked on every keystroke; each keystroke goes to the grid
    // at once, so the label follows the typing.
    auto* places = new KeystrokeDelegate(
        [this](const QModelIndex& at, const QString& text) {
            if (at.isValid())
                FieldGrid->item(at.row(), at.column())->setText(text); // FieldGridSetEditText
        },
        this, [](QLineEdit* edit) { return new PlaceValidator(edit); });
    FieldGrid->setItemDelegateForRow(TopRow, places);
    FieldGrid->setItemDelegateForRow(LeftRow, places);
    FieldGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FieldGrid, &QTableWidget::customContextMenuRequested, this, [this](QPoint at) {
        const QModelIndex index = FieldGrid->indexAt(at);
        if (index.row() != VisibleRow || index.column() < 1)
            return;
        FieldGrid->setCurrentCell(index.row(), index.column());
        visibilityMenu(index.column())->popup(FieldGrid->viewport()->mapToGlobal(at));
    });
    connect(FieldGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (quiet_ == 0)
            FieldGridSetEditText(item->row(), item->column());
    });
    page->addWidget(FieldGrid, 1, 0, 1, 2);
    page->setColumnStretch(0, 1);

    connect(LinesPerInch, &QComboBox::currentIndexChanged, this, &TicketPage::LinesPerInchChange);
    connect(CharWidth, &QLineEdit::textEdited, this, [this](const QString& text) {
        // A negative width would fold every column onto the paper's left edge: refused.
        if (text.startsWith(u'-')) {
            QApplication::beep();
            CharWidth->setText(lastCharWidth_);
            return;
        }
        lastCharWidth_ = text;
    });
    connect(CharWidth, &QLineEdit::textChanged, this, &TicketPage::CharWidthChange);
    connect(Printer, &QComboBox::activated, this, &TicketPage::PrinterClick);
}

QString TicketPage::cell(int row, int column) const
{
    return FieldGrid->item(row, column)->text();
}

void TicketPage::setCell(int row, int column, const QString& text)
{
    ++quiet_;
    FieldGrid->item(row, column)->setText(text);
    --quiet_;
}

QMenu* TicketPage::visibilityMenu(int column)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QStringList items = {QStringLiteral(" NO ")};
    if (column == 6)
        items << QStringLiteral(" PIECE") << QStringLiteral(" CNT GR");
    else if (column == 7)
        items << QStringLiteral(" PIECE") << QStringLiteral(" CNT NT");
    else
        items << QStringLiteral(" YES ");
    for (const QString& item : items)
        menu->addAction(item, this, [this, column, item] {
            chooseVisibility(column, item.trimmed().toLatin1());
        });
    return menu;
}

void TicketPage::LinesPerInchChange()
{
    const int lpi = LinesPerInch->currentText().toInt();
    lineHeight_ = ticketLineHeight(logicalDpiY(), lpi > 0 ? lpi : 6);
    placeLabels();
}

void TicketPage::CharWidthChange()
{
    charWidth_ = ticketCharWidth(CharWidth->text());
    placeLabels();
}

void TicketPage::placeLabels()
{
    // The grid is the model: on a new pitch every label goes to its cell's new place, so the
    // page keeps matching the grid.
    for (int column = 1; column <= TicketFieldCount; ++column)
        Canvas->placeLabel(labels[column - 1], leadingNumber(cell(LeftRow, column)) * charWidth_,
                           leadingNumber(cell(TopRow, column)) * lineHeight_);
}

void TicketPage::scrollToCorner()
{
    PageScroll->horizontalScrollBar()->setValue(0);
    PageScroll->verticalScrollBar()->setValue(0);
}

void TicketPage::PaperSettingsChange()
{
    if (quiet_ > 0)
        return;
    double v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = pageInches(pageBoxes[i]->text());
    Canvas->setPage(v[0], v[1], v[2], v[3], v[4], v[5]);
}

void TicketPage::PaperSettingsExit(QLineEdit* box)
{
    const QString shown = formatPageBox(box->text());
    if (shown != box->text())
        box->setText(shown);
}

void TicketPage::PrinterClick()
{
    const int index = Printer->currentIndex();
    const auto papers = printerPapers();
    if (index < 0 || index >= int(papers.size()))
        return;
    const PrinterPaper& p = papers[size_t(index)];
    ++quiet_;
    const char* texts[] = {p.height, p.width, p.top, p.left, p.bottom, p.right};
    for (int i = 0; i < 6; ++i)
        pageBoxes[i]->setText(QString::fromLatin1(texts[i]));
    --quiet_;
    PaperSettingsChange();
    changed_();
}

void TicketPage::showFields(const std::array<TicketField, TicketFieldCount>& fields)
{
    LinesPerInchChange();
    CharWidthChange();
    lastCharWidth_ = CharWidth->text();
    PaperSettingsChange();
    ++quiet_;
    for (int i = 0; i < TicketFieldCount; ++i) {
        const int column = i + 1;
        FieldGrid->item(VisibleRow, column)->setText(QString::fromLatin1(fields[i].visible));
        FieldGrid->item(TopRow, column)->setText(QString::fromLatin1(fields[i].row));
        FieldGrid->item(LeftRow, column)->setText(QString::fromLatin1(fields[i].col));
        showLabel(column);
        updateHint(column);
    }
    --quiet_;
    placeLabels();
    FieldGrid->setCurrentCell(-1, -1);
}

std::array<TicketField, TicketFieldCount> TicketPage::fields() const
{
    std::array<TicketField, TicketFieldCount> out;
    for (int i = 0; i < TicketFieldCount; ++i)
        out[i] = {cell(VisibleRow, i + 1).toLatin1(), cell(TopRow, i + 1).toLatin1(),
                  cell(LeftRow, i + 1).toLatin1()};
    return out;
}

void TicketPage::showLabel(int column)
{
    const QByteArray value = cell(VisibleRow, column).toLatin1();
    TicketLabel* label = labels[column - 1];
    const TicketFieldDesc& desc = ticketFields()[size_t(column - 1)];
    if (!desc.codeLabels.empty()) {
        for (size_t code = 1; code < desc.visibleTexts.size(); ++code)
            if (value == desc.visibleTexts[code])
                label->setText(QString::fromLatin1(desc.codeLabels[code]));
    }
    label->setVisible(value != "NO");
}

void TicketPage::updateHint(int column)
{
    TicketLabel* label = labels[column - 1];
    label->setToolTip(ticketLabelHint(
        QString::fromLatin1(ticketFields()[size_t(column - 1)].header), cell(TopRow, column),
        cell(LeftRow, column), label->height(), label->width()));
}

void TicketPage::TextEndDock(int field, int rawLeft, int rawTop)
{
    const int left = snapToPitch(rawLeft, charWidth_);
    const int top = snapToPitch(rawTop, lineHeight_);
    Canvas->placeLabel(labels[field - 1], left, top);
    setCell(TopRow, field, QString::number(pitchCell(top, lineHeight_)));
    setCell(LeftRow, field, QString::number(pitchCell(left, charWidth_)));
    updateHint(field);
    changed_();
}

void TicketPage::chooseVisibility(int column, const QByteArray& value)
{
    if (column < 1 || column > TicketFieldCount)
        return;
    setCell(VisibleRow, column, QString::fromLatin1(value));
    showLabel(column);
    changed_();
}

void TicketPage::FieldGridSetEditText(int row, int column)
{
    if ((row != TopRow && row != LeftRow) || column < 1)
        return;
    const QString typed = cell(row, column);
    const QString kept = cleanTicketCell(typed);
    if (kept != typed)
        setCell(row, column, kept);
    TicketLabel* label = labels[column - 1];
    const QPoint at = Canvas->labelPosition(label);
    const int value = leadingNumber(kept);
    if (row == TopRow)
        Canvas->placeLabel(label, at.x(), value * lineHeight_);
    else
        Canvas->placeLabel(label, value * charWidth_, at.y());
    updateHint(column);
    changed_();
}

bool TicketPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        for (QLineEdit* box : pageBoxes)
            if (watched == box)
                PaperSettingsExit(box);
    }
    if (watched == FieldGrid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int column = FieldGrid->currentColumn();
        const QString text = key->text();
        changed_();
        if (FieldGrid->currentRow() == VisibleRow && column >= 1 && !text.isEmpty() &&
            text.at(0).isPrint()) {
            const QChar c = text.at(0).toUpper();
            QByteArray value = "NO";
            if (column == 6 || column == 7) {
                if (c == u'P')
                    value = "PIECE";
                else if (c == u'C')
                    value = column == 6 ? "CNT GR" : "CNT NT";
            } else if (c == u'Y') {
                value = "YES";
            }
            chooseVisibility(column, value);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kx
