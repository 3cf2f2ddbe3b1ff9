#pragma once

#include <QStyledItemDelegate>
#include <functional>

class QLineEdit;
class QValidator;

namespace kx {

// A grid cell's editor that hands over every keystroke, so what the cell drives (a stream, a
// label on the page) follows the typing instead of waiting for the edit to be committed.
// A validator, when given, checks each keystroke as it is typed.
class KeystrokeDelegate : public QStyledItemDelegate
{
public:
    using Typed = std::function<void(const QModelIndex&, const QString&)>;
    using MakeValidator = std::function<QValidator*(QLineEdit*)>;

    KeystrokeDelegate(Typed typed, QObject* parent, MakeValidator validator = {});

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

private:
    Typed typed_;
    MakeValidator validator_;
};

} // namespace kx
