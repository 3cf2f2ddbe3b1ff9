#pragma once

#include "FakeDialogs.h"

#include "settings/SettingsDocument.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace kx::test {

class FakeView : public SettingsEditorView
{
public:
    SettingsRecord shown = defaultSettingsRecord();
    bool changedFlag = false;
    bool keptFlag = false;
    QString caption = QStringLiteral("untouched");
    QString errorPanel;
    int busyDepth = 0;
    int stores = 0;
    bool refuseShow = false;
    QList<FillReason> fills;

    SettingsRecord record() const override { return shown; }
    bool showRecord(const SettingsRecord& record, FillReason reason) override
    {
        fills << reason;
        shown = record;
        return !refuseShow;
    }
    // The builder's controls hold an edit the definition list does not have yet.
    void storeShownDefinition() override
    {
        ++stores;
        shown.tempCom1.setValue("Stream Format", "<N>");
    }
    bool changed() const override { return changedFlag; }
    void setChanged(bool on) override { changedFlag = on; }
    bool keptChanges() const override { return keptFlag; }
    void setKeptChanges(bool on) override { keptFlag = on; }
    void setCaption(const QString& c) override { caption = c; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void showErrorPanel(const QString& text) override { errorPanel = text; }
};

inline const BoxMessage kSaveChanges{"Save Changes?", "Changes Found", BoxMessage::Buttons::YesNo,
                                     BoxMessage::Icon::Question};
inline const BoxMessage kSaveToCurrent{"Save Changes to current file?", "Changes Found",
                                       BoxMessage::Buttons::YesNo, BoxMessage::Icon::Question};
inline const BoxMessage kSaveFailed{"Not all settings coud be loaded.", "Error Reading File",
                                    BoxMessage::Buttons::Ok, BoxMessage::Icon::Information};
inline const BoxMessage kUploadFailed{"File could not be saved.", "Error Saving File",
                                      BoxMessage::Buttons::Ok, BoxMessage::Icon::Stop};

// A failed save's box: the usual text, then a line naming the file and why.
inline BoxMessage because(BoxMessage box, const QString& file, const QString& why)
{
    box.text += '\n' + QDir::toNativeSeparators(file) + ": " + why;
    return box;
}
inline const QString kReadOnly = QStringLiteral("the file is read-only");

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

inline void makeReadOnly(const QString& path)
{
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));
}

// A document over a fake view and scripted dialogs in a fresh folder; the test classes derive
// from it and call its case set-up and tear-down from init() and cleanup().
struct SettingsDocumentFixture
{
    QString saved(const QString& name) const { return dir_->filePath("SAVED/" + name); }
    // Loads a file written from the given record through Open.
    void openFileHolding(const QString& path, const SettingsRecord& record)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        IniDocument ini;
        writeSettings(ini, record);
        QVERIFY(ini.save(path));
        dialogs_->openPaths.enqueue(path);
        doc_->OpenButtonClick();
    }

    void startCase()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        view_ = std::make_unique<FakeView>();
        dialogs_ = std::make_unique<FakeDialogs>();
        doc_ = std::make_unique<SettingsDocument>(*view_, *dialogs_, dir_->path());
    }
    void endCase()
    {
        QCOMPARE(view_->busyDepth, 0);
        QVERIFY(dialogs_->scriptUsedUp());
        doc_.reset();
        dialogs_.reset();
        view_.reset();
        dir_.reset();
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeView> view_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<SettingsDocument> doc_;
};

} // namespace kx::test
