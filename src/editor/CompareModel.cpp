#include "editor/CompareModel.h"

#include "settings/SettingCaptions.h"

namespace kx {

CompareModel::CompareModel(SetupComparison comparison, QString otherName, QObject* parent)
    : QAbstractTableModel(parent), comparison_(std::move(comparison)),
      otherName_(std::move(otherName))
{
    rebuild();
}

void CompareModel::setComparison(SetupComparison comparison)
{
    beginResetModel();
    comparison_ = std::move(comparison);
    rebuild();
    endResetModel();
    emit chosenChanged();
}

void CompareModel::rebuild()
{
    rows_.clear();
    const auto& settings = comparison_.settings();
    for (int i = 0; i < settings.size(); ++i)
        if (showAll_ || settings[i].differs)
            rows_.append(i);
}

void CompareModel::setShowAll(bool on)
{
    if (on == showAll_)
        return;
    beginResetModel();
    showAll_ = on;
    rebuild();
    endResetModel();
}

void CompareModel::toggle(int row)
{
    const QModelIndex box = index(row, Send);
    if (flags(box) & Qt::ItemIsUserCheckable)
        setData(box, comparison_.chosen(rows_[row]) ? Qt::Unchecked : Qt::Checked,
                Qt::CheckStateRole);
}

int CompareModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int CompareModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CompareModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const int at = rows_[index.row()];
    const ComparedSetting& s = comparison_.settings()[at];
    if (index.column() == Send) {
        if (!s.differs)
            return role == Qt::DisplayRole || role == Qt::AccessibleTextRole
                       ? QVariant(QStringLiteral("equal"))
                       : QVariant();
        const bool chosen = comparison_.chosen(at);
        if (role == Qt::CheckStateRole)
            return chosen ? Qt::Checked : Qt::Unchecked;
        // A screen reader hears what the box means, not only its state.
        if (role == Qt::AccessibleTextRole)
            return chosen ? QStringLiteral("send")
                          : QStringLiteral("keep the %1's").arg(otherName_);
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Page:
        return settingPlace(s.values.section, s.values.key).page;
    case Setting:
        return settingPlace(s.values.section, s.values.key).caption;
    case EditorValue:
        return s.values.first;
    case OtherValue:
        return s.values.second;
    default:
        return {};
    }
}

bool CompareModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != Send || index.row() >= rows_.size())
        return false;
    const int at = rows_[index.row()];
    if (!comparison_.settings()[at].differs)
        return false;
    comparison_.setChosen(at, value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole, Qt::AccessibleTextRole});
    emit chosenChanged();
    return true;
}

Qt::ItemFlags CompareModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.isValid() && index.column() == Send && index.row() < rows_.size() &&
        comparison_.settings()[rows_[index.row()]].differs)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Send:
        return QStringLiteral("Send");
    case Page:
        return QStringLiteral("Page");
    case Setting:
        return QStringLiteral("Setting");
    case EditorValue:
        return QStringLiteral("Editor");
    case OtherValue:
        return otherName_;
    default:
        return {};
    }
}

} // namespace kx
