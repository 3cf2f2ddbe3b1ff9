#pragma once

#include "settings/IniDocument.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx {

// Why bytes are not a settings file: empty, binary (NUL or other control bytes), UTF-16, or
// without any setting of a section a settings record knows. Empty when they are one.
QString settingsTextProblem(const QByteArray& bytes);

// A settings file's bytes as a download or a comparison reads them: read as a file a user
// named (readUserFile(), SettingsFileLimit) and checked by settingsTextProblem(). Nothing,
// with why naming the file and the reason, otherwise.
std::optional<QByteArray> readSettingsText(const QString& path, QString* why = nullptr);
// The same, as a document.
std::optional<IniDocument> loadSettingsFile(const QString& path, QString* why = nullptr);

} // namespace kx
