#pragma once

#include "settings/SetupComparison.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace kx {

// The rows of the compare window over a SetupComparison: the settings that differ (or every
// one compared), each with its page and caption as the editor shows them, both values, and
// for those that differ a check box saying whether it goes to the indicator.
class CompareModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Send,
        Page,
        Setting,
        EditorValue,
        OtherValue,
        ColumnCount
    };

    // otherName: the other side's column title ("KX7400", or the compared file's name).
    CompareModel(SetupComparison comparison, QString otherName, QObject* parent = nullptr);

    const SetupComparison& comparison() const { return comparison_; }
    // The other side read again (after a send): the rows follow it; no row is checked.
    void setComparison(SetupComparison comparison);
    // Equal settings shown too, or only those that differ.
    void setShowAll(bool on);
    bool showAll() const { return showAll_; }
    // Flips the check box of a row that has one.
    void toggle(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void chosenChanged();

private:
    void rebuild();

    SetupComparison comparison_;
    QString otherName_;
    bool showAll_ = false;
    // The comparison's index of each row shown.
    QList<int> rows_;
};

} // namespace kx
