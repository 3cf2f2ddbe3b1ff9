#pragma once

#include "settings/SettingsRecord.h"

#include <QWidget>
#include <array>
#include <functional>

class QComboBox;
class QLineEdit;
class QMenu;
class QScrollArea;
class QTableWidget;

namespace kx {

class TicketCanvas;
class TicketLabel;

// The editor's "&Format Ticket" tab: the page canvas with one draggable label per ticket field,
// the field grid `FieldGrid` (the model the settings file keeps) and the printer panel. The
// arithmetic is TicketLayout's; this page places, snaps and writes back through it.
class TicketPage : public QWidget
{
    Q_OBJECT
public:
    // changed: marks the record changed (ignored while the editor fills its controls).
    explicit TicketPage(std::function<void()> changed, QWidget* parent = nullptr);

    QScrollArea* PageScroll;
    TicketCanvas* Canvas;
    std::array<TicketLabel*, TicketFieldCount> labels;
    QTableWidget* FieldGrid;
    QComboBox* Printer;
    QComboBox* LinesPerInch;
    QLineEdit* CharWidth;
    QComboBox* Inhibit;
    std::array<QLineEdit*, 6> pageBoxes; // EditHeight, EditWidth, EditTop, EditLeft,
                                         // EditBottom, EditRight
    QMenu* visibilityMenu(int column);

    // After the panel's boxes hold the record: the scale, the page, the grid and the labels.
    void showFields(const std::array<TicketField, TicketFieldCount>& fields);
    std::array<TicketField, TicketFieldCount> fields() const;

    int lineHeight() const { return lineHeight_; }
    int charWidth() const { return charWidth_; }

    // Drops a field's label at a raw position on the paper (TextEndDock's arithmetic).
    void TextEndDock(int field, int rawLeft, int rawTop);
    void chooseVisibility(int column, const QByteArray& value);

    void LinesPerInchChange();
    void CharWidthChange();
    void PaperSettingsChange();
    void PaperSettingsExit(QLineEdit* box);
    void PrinterClick();
    // Scrolls the page view to the paper's top-left corner.
    void scrollToCorner();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FieldGridSetEditText(int row, int column);
    void showLabel(int field);
    // Every label to the place its grid cells give, by the current pitch.
    void placeLabels();
    void updateHint(int field);
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);

    std::function<void()> changed_;
    int lineHeight_ = 16;
    int charWidth_ = 12;
    int quiet_ = 0;
    QPoint dragScroll_;
    QString lastCharWidth_ = QStringLiteral("12");
};

} // namespace kx
