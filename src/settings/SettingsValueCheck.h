#pragma once

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

} // namespace kx
