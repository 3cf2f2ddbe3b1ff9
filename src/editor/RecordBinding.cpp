#include "editor/RecordBinding.h"

#include "settings/SettingsValueCheck.h"
#include "transfer/RecordLayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

namespace kx {

TypingLimit::TypingLimit(int limit, QLineEdit* edit, QString refused, QString allowed)
    : QValidator(edit), limit_(limit), refused_(std::move(refused)), allowed_(std::move(allowed)),
      allowance_(limit)
{
    connect(this, &TypingLimit::refusedTyping, this, [] { QApplication::beep(); });
}

qsizetype TypingLimit::refusedIn(const QString& text) const
{
    return std::count_if(text.begin(), text.end(), [this](QChar c) {
        return refused_.contains(c) || (!allowed_.isEmpty() && !allowed_.contains(c));
    });
}

QValidator::State TypingLimit::validate(QString& input, int&) const
{
    if ((limit_ > 0 && input.size() > allowance_) || refusedIn(input) > refusedAllowance_) {
        emit refusedTyping();
        return Invalid;
    }
    return Acceptable;
}

void TypingLimit::allowFilled(const QString& text)
{
    allowance_ = std::max<qsizetype>(limit_, text.size());
    refusedAllowance_ = refusedIn(text);
}

namespace RecordBinding {

namespace {

template <typename T> T* control(const QWidget* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

QString shown(const QByteArray& value)
{
    return QString::fromLatin1(value);
}

QByteArray stored(const QString& text)
{
    return text.toLatin1();
}

void selectIndex(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

} // namespace

void replaceItems(QComboBox* combo, const QStringList& items)
{
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(-1);
}

void setTypedText(QLineEdit* edit, const QString& text)
{
    if (auto* limit = qobject_cast<TypingLimit*>(const_cast<QValidator*>(edit->validator())))
        limit->allowFilled(text);
    edit->setText(text);
}

void limitTyping(QLineEdit* edit, int maxLength, const char* key)
{
    const QString refused = QString::fromLatin1(breakingCharacters(key));
    const QString allowed = QString::fromLatin1(numberCharacters(key));
    if (maxLength > 0 || !refused.isEmpty() || !allowed.isEmpty())
        edit->setValidator(new TypingLimit(maxLength, edit, refused, allowed));
}

void prepareControls(QWidget* root)
{
    for (const SettingDesc& desc : settingsTable()) {
        if (auto* combo = control<QComboBox>(root, desc.control))
            replaceItems(combo, optionTexts(optionsFor(desc, 0)));
        else if (auto* edit = control<QLineEdit>(root, desc.control))
            limitTyping(edit, desc.maxLength, desc.key);
    }
}

void showRecord(QWidget* root, const SettingsRecord& record)
{
    const int primaryUnits = record.index("PrimaryUnits");
    for (const SettingDesc& desc : settingsTable()) {
        const QByteArray value = record.value(desc.control);
        switch (desc.kind) {
        case SettingKind::Index:
            if (auto* combo = control<QComboBox>(root, desc.control))
                selectIndex(combo, record.index(desc.control));
            break;
        case SettingKind::ItemText:
            if (auto* combo = control<QComboBox>(root, desc.control)) {
                if (desc.options.empty()) // the division list follows the primary units
                    replaceItems(combo, optionTexts(optionsFor(desc, primaryUnits)));
                combo->setCurrentIndex(
                    combo->findText(shown(value), Qt::MatchExactly | Qt::MatchCaseSensitive));
            }
            break;
        case SettingKind::Flag:
            if (auto* box = control<QCheckBox>(root, desc.control))
                box->setChecked(record.flag(desc.control));
            break;
        case SettingKind::Text:
        case SettingKind::Integer:
            if (auto* edit = control<QLineEdit>(root, desc.control))
                setTypedText(edit, shown(value));
            break;
        case SettingKind::RadioFlag: {
            auto* on = control<QRadioButton>(root, desc.control);
            auto* off = control<QRadioButton>(root, desc.partner);
            if (on && off)
                (record.flag(desc.control) ? on : off)->setChecked(true);
            break;
        }
        }
    }
}

SettingsRecord readRecord(const QWidget* root, SettingsRecord record)
{
    for (const SettingDesc& desc : settingsTable()) {
        switch (desc.kind) {
        case SettingKind::Index:
            if (auto* combo = control<QComboBox>(root, desc.control))
                record.setValue(desc.control, QByteArray::number(combo->currentIndex()));
            break;
        case SettingKind::ItemText:
            if (auto* combo = control<QComboBox>(root, desc.control))
                record.setValue(desc.control, combo->currentIndex() < 0
                                                  ? QByteArray()
                                                  : stored(combo->currentText()));
            break;
        case SettingKind::Flag:
            if (auto* box = control<QCheckBox>(root, desc.control))
                record.setValue(desc.control, box->isChecked() ? "1" : "0");
            break;
        case SettingKind::Text:
        case SettingKind::Integer:
            if (auto* edit = control<QLineEdit>(root, desc.control))
                record.setValue(desc.control, stored(edit->text()));
            break;
        case SettingKind::RadioFlag:
            if (auto* on = control<QRadioButton>(root, desc.control))
                record.setValue(desc.control, on->isChecked() ? "1" : "0");
            break;
        }
    }
    return record;
}

} // namespace RecordBinding
} // namespace kx
