#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace kx {

// The character menu's 32 items "<SOH>" ... "<SP>" (codes 1 to 32 in order); "Entry" follows
// them on the menu.
QByteArrayList charMenuItems();

// A wrapper character as its box shows it: "" for 0 or less, the menu name without brackets for
// 1 to 31, "<SP>" for 32, otherwise the byte itself in square brackets.
QByteArray wrapperCharName(int code);

} // namespace kx
