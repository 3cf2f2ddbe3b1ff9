#pragma once

#include "settings/SettingsRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace kx {

// A settings file as a download sends it: read once and checked whole. The download is built
// from these bytes, never from the file again, so a file changed after the check (during the
// backup, say) cannot send what nobody checked.
struct CheckedSettings
{
    QString path;    // as the user named it: for messages and the logbook only
    QByteArray text; // the bytes that passed every check
};

// Each value a download would send, checked by the rules of the editor's control for it: a
// list's choices, a check box's two states, a number's syntax and range, a text's length and
// the characters its record can carry. Keys and sections given twice, and a setting standing
// outside its section (the download would take it from there), are refused too, naming both
// lines. One line per problem ("line 12: Scale Capacity=abc is not a number."); empty when
// the bytes pass. Keys the program does not know are left alone.
QStringList settingsValueProblems(const QByteArray& bytes);

struct SettingsFileCheck
{
    std::optional<CheckedSettings> checked;
    // Without checked: the refusal as a user reads it, naming the file, each key, value and
    // why, and ending "Nothing was sent.".
    QString refusal;
};

// Checks bytes already read (the file's text problems first: empty, binary, no settings).
SettingsFileCheck checkSettingsText(const QByteArray& bytes, const QString& path);
// Reads the file once, as a file a user named, and checks it.
SettingsFileCheck readCheckedSettings(const QString& path);

// The typed values of a record that a save would leave out of the file (a capacity or weight
// that is not a number, a set point out of range), one line each as the download's check words
// it ("Scale Capacity=abc999 is not a number (...)."). Empty when the save keeps every value.
QStringList unsavedValueProblems(const SettingsRecord& record);

// The characters a setting typed as a number can ever hold (digits, and the point and minus
// where its rule allows them); empty for a setting that is not a number.
QByteArray numberCharacters(const char* key);

} // namespace kx
