#pragma once

#include "FakeDialogs.h"

#include "editor/TParameterForm.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace kx::test {

// The editor window in a fresh program folder, with scripted dialogs and a fixed clock; the
// test classes derive from it and call its case set-up and tear-down from init() and cleanup().
struct ParameterFormFixture
{
    void startCase()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        dialogs_ = std::make_unique<FakeDialogs>();
        form_ = std::make_unique<TParameterForm>(dir_->path(), dialogs_.get());
        form_->setTimeSource([this] { return fixedNow_; });
    }
    void endCase()
    {
        QVERIFY(dialogs_->scriptUsedUp());
        form_.reset();
        dialogs_.reset();
        dir_.reset();
    }

    // Shows the editor as the main window opens it.
    void showRequested()
    {
        form_->setOpenedFromMainWindow();
        form_->show();
    }
    QString writeDat(const QString& name, const QByteArray& content)
    {
        const QString path = dir_->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(content);
        return path;
    }
    QComboBox* combo(const char* name) const
    {
        return form_->findChild<QComboBox*>(QString::fromLatin1(name));
    }
    QLineEdit* edit(const char* name) const
    {
        return form_->findChild<QLineEdit*>(QString::fromLatin1(name));
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TParameterForm> form_;
    const QDateTime fixedNow_{QDate(2024, 3, 9), QTime(15, 7, 42)};
};

} // namespace kx::test
