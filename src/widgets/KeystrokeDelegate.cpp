#include "widgets/KeystrokeDelegate.h"

#include <QLineEdit>
#include <QPersistentModelIndex>

namespace kx {

KeystrokeDelegate::KeystrokeDelegate(Typed typed, QObject* parent, MakeValidator validator)
    : QStyledItemDelegate(parent), typed_(std::move(typed)), validator_(std::move(validator))
{
}

QWidget* KeystrokeDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        if (validator_)
            edit->setValidator(validator_(edit));
        const QPersistentModelIndex at(index);
        connect(edit, &QLineEdit::textEdited, edit,
                [this, at](const QString& text) { typed_(at, text); });
    }
    return editor;
}

void KeystrokeDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // The model took the text from this editor: setting it again would move the cursor.
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (edit && edit->text() == index.data(Qt::EditRole).toString())
        return;
    QStyledItemDelegate::setEditorData(editor, index);
}

} // namespace kx
