#pragma once

#include <QByteArray>
#include <QString>

namespace kx::cli {

// What came from the line, as a terminal may be shown it: every control and non-text byte
// rendered as the protocol log renders it (<ESC> never reaches the terminal as ESC).
QString lineText(const QByteArray& bytes);
QString lineText(const QString& latin1);

// Any text the CLI prints: control characters rendered as the protocol log renders them, so
// a file name or a reply quoted in a message cannot move the cursor or retitle the window.
// Letters of any script are kept.
QString terminalText(const QString& text);

} // namespace kx::cli
