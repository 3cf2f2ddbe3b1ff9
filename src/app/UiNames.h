#pragma once

#include <QString>
#include <QWidget>

namespace kx {

// Gives a control its behaviour name, so assistive technology and GUI tests find it by the
// same name the behaviour uses.
inline void nameControl(QWidget* w, const QString& name, const QString& shown = {})
{
    w->setObjectName(name);
    w->setAccessibleDescription(name);
    if (!shown.isEmpty())
        w->setAccessibleName(shown);
}

} // namespace kx
