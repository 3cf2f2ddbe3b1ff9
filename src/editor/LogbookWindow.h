#pragma once

#include <QDialog>

class QLabel;
class QTableWidget;

namespace kx {

// The logbook of writes, read-only: one row a write, its settings changed in one cell, and
// under the table whether the chain of its lines is whole.
class LogbookWindow : public QDialog
{
    Q_OBJECT

public:
    LogbookWindow(const QString& programFolder, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    QLabel* chainState() const { return chain_; }

protected:
    // The table's own width decides, and it is known only once the table has been resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load(const QString& path);
    // The columns fit the window: the long ones share what the short ones leave and wrap.
    void fitColumns();

    QTableWidget* table_;
    QLabel* chain_;
    bool fitting_ = false; // a fit that shows or hides a scroll bar resizes the table again
};

} // namespace kx
