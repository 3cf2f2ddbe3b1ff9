#pragma once

#include "settings/SettingsRecord.h"

#include <QValidator>

class QComboBox;
class QLineEdit;
class QWidget;

namespace kx {

// Limits what the user can type into a text box without cutting a longer value that came
// from a file: until the box is filled again, typing may go up to the larger of the limit
// and the length of what the box was filled with.
class TypingLimit : public QValidator
{
    Q_OBJECT
public:
    TypingLimit(int limit, QLineEdit* edit);

    State validate(QString& input, int& pos) const override;
    // The box was filled by code with a text of this length.
    void allowFilled(qsizetype length);

private:
    int limit_;
    qsizetype allowance_;
};

// Binds the editor's controls to a settings record through the control names of the
// settings table: a control found by objectName under the root holds its setting's value;
// a setting without a control (a page not built yet) keeps the record's value.
namespace RecordBinding {

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
