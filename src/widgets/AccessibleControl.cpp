#include "widgets/AccessibleControl.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kx {

QString withoutMnemonic(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == u'&' && i + 1 < caption.size())
            ++i;
        plain += caption.at(i);
    }
    return plain;
}

void setButtonCaption(QAbstractButton* button, const QString& caption)
{
    button->setText(caption);
    button->setAccessibleName(withoutMnemonic(caption));
}

void nameControl(QWidget* control, const QString& name)
{
    control->setObjectName(name);
    control->setAccessibleDescription(name);

    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setAccessibleName(combo->currentText());
        QObject::connect(combo, &QComboBox::currentTextChanged, combo,
                         [combo](const QString& text) { combo->setAccessibleName(text); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setAccessibleName(edit->text());
        QObject::connect(edit, &QLineEdit::textChanged, edit,
                         [edit](const QString& text) { edit->setAccessibleName(text); });
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
        text->setAccessibleName(text->toPlainText());
        QObject::connect(text, &QPlainTextEdit::textChanged, text,
                         [text] { text->setAccessibleName(text->toPlainText()); });
    } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        rich->setAccessibleName(rich->toPlainText());
        QObject::connect(rich, &QTextEdit::textChanged, rich,
                         [rich] { rich->setAccessibleName(rich->toPlainText()); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setAccessibleName(withoutMnemonic(button->text()));
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setAccessibleName(group->title().trimmed());
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setAccessibleName(withoutMnemonic(label->text()));
    } else {
        control->setAccessibleName(name);
    }
}

} // namespace kx
