#pragma once

#include "TestFiles.h"
#include "editor/TParameterForm.h"

#include <QTabWidget>
#include <QTest>

namespace kx::test {

// Writes content as a settings file, makes it the editor's current file, and shows the editor
// (as the main window opens it) on the given page.
inline void showEditorOnFile(TParameterForm& form, QWidget* page, const QString& path,
                             const QByteArray& content)
{
    QVERIFY(writeAll(path, content));
    form.document().setCurrentFileName(path);
    form.setOpenedFromMainWindow();
    form.show();
    form.PageControl->setCurrentWidget(page);
}

} // namespace kx::test
