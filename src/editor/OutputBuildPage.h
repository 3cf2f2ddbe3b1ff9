#pragma once

#include "settings/StreamFormat.h"

#include <QWidget>
#include <functional>

class QLabel;
class QMenu;
class QStandardItemModel;
class QTableView;

namespace kx {

// The custom output tab's "    &Build     " sub-page: the output grid (`OutputGrid`, 64 items,
// columns "Item", "Data Type", "Value") and the built stream below it (`OutputStringLabel`).
// The stream arithmetic is StreamFormat's; this page shows rows and forwards the user's choices.
class OutputBuildPage : public QWidget
{
    Q_OBJECT
public:
    explicit OutputBuildPage(QWidget* parent = nullptr);

    QTableView* OutputGrid;
    QLabel* OutputStringLabel;
    QMenu* PopUp_Type;
    QMenu* PopUp_Auto;

    // Whether the short menu is the one offered (COM1's print mode is "Automatic").
    void setAutomaticMenu(std::function<bool()> automatic) { automatic_ = std::move(automatic); }
    // Whether the display separates items with ", ".
    void setDelimited(std::function<bool()> delimited) { delimited_ = std::move(delimited); }

    OutputRows rows() const;
    void setRows(const OutputRows& rows);
    void clearRows() { setRows(OutputRows(OutputGridRows)); }
    // ParseStreamFormat: the grid from a stream; an empty one leaves the grid as it is.
    void ParseStreamFormat(const QByteArray& source);
    // RebuildStreamFormat: the built stream from the grid; reports an edit.
    QByteArray RebuildStreamFormat();
    QByteArray builtStream() const { return built_; }

    // Chooses a type menu item for a row (0-based), as a click on it does.
    void chooseType(int row, const QString& caption, bool shortMenu);
    // Opens the type menu for a row; tests close it by choosing.
    QMenu* typeMenu() const;

signals:
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OutputGridSelectCell(const QModelIndex& current, const QModelIndex& previous);
    void OutputGridSetEditText(int row);
    void bracketCell(int row);
    void updateEditable(int row);

    QStandardItemModel* model_;
    std::function<bool()> automatic_ = [] { return false; };
    std::function<bool()> delimited_ = [] { return false; };
    QByteArray built_;
    int lastRow_ = 0;
    int quiet_ = 0;
};

} // namespace kx
