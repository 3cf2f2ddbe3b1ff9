#pragma once

#include "settings/SettingsRecord.h"

#include <QValidator>

class QComboBox;
class QLineEdit;
class QWidget;

namespace kx {

// Limits what the user can type into a text box without cutting a longer value that came
// from a file: until the box is filled again, typing may go up to the larger of the limit
// and the length of what the box was filled with. Characters the transfer record cannot carry
// (a comma in an unquoted field), and in a number box every character no number can hold (a
// letter), are refused the same way: a file's value keeps the ones it has, typing adds none.
// A refused keystroke beeps.
class TypingLimit : public QValidator
{
    Q_OBJECT
public:
    // limit 0: no length limit. allowed, when not empty: the only characters typing may add.
    TypingLimit(int limit, QLineEdit* edit, QString refused = {}, QString allowed = {});

    State validate(QString& input, int& pos) const override;
    // The box was filled by code with this text.
    void allowFilled(const QString& text);

signals:
    void refusedTyping() const;

private:
    qsizetype refusedIn(const QString& text) const;

    int limit_;
    QString refused_;
    QString allowed_;
    qsizetype allowance_;
    qsizetype refusedAllowance_ = 0;
};

// Binds the editor's controls to a settings record through the control names of the
// settings table: a control found by objectName under the root holds its setting's value;
// a setting without a control (a page not built yet) keeps the record's value.
namespace RecordBinding {

// Gives a text box its typing limit: the length (0: none) and the characters the record that
// carries the setting under that key cannot hold. Nothing when there is nothing to limit.
void limitTyping(QLineEdit* edit, int maxLength, const char* key);

// Gives each bound control its option list and typing limit.
void prepareControls(QWidget* root);

// Puts the record's values into the controls. The division list follows the record's
// primary units. An index outside its list or an unknown item text leaves nothing chosen.
void showRecord(QWidget* root, const SettingsRecord& record);

// The record with every bound control's value read back into it.
SettingsRecord readRecord(const QWidget* root, SettingsRecord record);

// Sets a text box's text as code does, keeping its typing limit's allowance in step.
void setTypedText(QLineEdit* edit, const QString& text);

// Gives a drop-down list new items with none of them chosen.
void replaceItems(QComboBox* combo, const QStringList& items);

} // namespace RecordBinding
} // namespace kx
