#pragma once

// Steps the simulator tests of the main window share: the editor opened with F4 around a few
// steps, and the end of a transfer waited for on its panel.
#include "app/TMainForm.h"
#include "editor/TParameterForm.h"
#include "editor/TransferPanel.h"

#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>

namespace kx::test {

// Presses F4 and runs steps while the editor is open (its exec() is the loop they run on);
// the editor is closed after them if they left it open.
inline void withEditor(TMainForm& form, const std::function<void(TParameterForm&)>& steps)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        TParameterForm* editor = form.ParameterForm();
        steps(*editor);
        ran = true;
        if (editor->isVisible())
            editor->done(0);
    });
    QTest::keyClick(&form, Qt::Key_F4);
    QVERIFY(ran);
}

// Waits for the transfer to end on its panel; the panel's lines then.
inline QStringList transferFinished(TParameterForm& editor)
{
    TransferPanel* panel = editor.transferPanel();
    // Every run ends within its own time-outs (the longest wait is the 20 s entry wait).
    if (!QTest::qWaitFor([&] { return panel->buttonMode() == TransferPanel::ButtonMode::Ok; },
                         25000))
        QTest::qFail("the transfer did not end", __FILE__, __LINE__);
    return panel->lines();
}

} // namespace kx::test
