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

private:
    void load(const QString& path);

    QTableWidget* table_;
    QLabel* chain_;
};

} // namespace kx
