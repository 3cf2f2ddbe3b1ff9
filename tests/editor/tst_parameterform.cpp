#include "FakeDialogs.h"

#include "editor/CalibrationPage.h"
#include "editor/ConfigPage.h"
#include "editor/ErrorPanel.h"
#include "editor/FieldBusPage.h"
#include "editor/TParameterForm.h"
#include "editor/TransferPanel.h"
#include "settings/IniDocument.h"
#include "settings/ModeLists.h"
#include "settings/SettingsSchema.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kx;

class TestParameterForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstShow_givesNewRecordAndClosesWithoutQuestion();
    void newThenExit_asksSaveChanges();
    void exitWhenTheAskedSaveIsCancelled_staysOpen();
    void showWithoutRequest_changesNothing();
    void printModes_refilledOnEveryShow();
    void missingFolderOnShow_loadsDefaultsSilently();

    void load_leavesNoUnsavedChanges_data();
    void load_leavesNoUnsavedChanges();
    void load_divisionListFollowsLoadedUnit();
    void save_writesControlsAndKeepsPagesNotBuilt();

    void primaryUnits_keepPosition_data();
    void primaryUnits_keepPosition();
    void customGroup_enabledExactlyWhileCustomChecked();

    void userEdit_marksChange_data();
    void userEdit_marksChange();
    void everyBoundControl_editIsMarkedAndSaved_data();
    void everyBoundControl_editIsMarkedAndSaved();
    void clockFormat_showsClockAtOnce();

    void schemaControls_areNamedForAssistiveTechnology();
    void accessibleName_followsShownValue();
    void windowParts_asTheEditorShowsThem();
    void typingLimit_keepsLongerLoadedText();
    void typedCharacters_refusedWhereTheRecordCannotCarryThem_data();
    void typedCharacters_refusedWhereTheRecordCannotCarryThem();
    void debugLine_canBeSelectedAndCopied();
    void escape_doesNotCloseTheEditor();
    void errorPanel_hidesOnClick();

private:
    void showRequested();
    QString writeDat(const QString& name, const QByteArray& content);
    QComboBox* combo(const char* name) const;
    QLineEdit* edit(const char* name) const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TParameterForm> form_;
    const QDateTime fixedNow_{QDate(2024, 3, 9), QTime(15, 7, 42)};
};

void TestParameterForm::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dialogs_ = std::make_unique<FakeDialogs>();
    form_ = std::make_unique<TParameterForm>(dir_->path(), dialogs_.get());
    form_->setTimeSource([this] { return fixedNow_; });
}

void TestParameterForm::cleanup()
{
    QVERIFY(dialogs_->scriptUsedUp());
    form_.reset();
    dialogs_.reset();
    dir_.reset();
}

void TestParameterForm::showRequested()
{
    form_->setOpenedFromMainWindow();
    form_->show();
}

QString TestParameterForm::writeDat(const QString& name, const QByteArray& content)
{
    const QString path = dir_->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(content);
    return path;
}

QComboBox* TestParameterForm::combo(const char* name) const
{
    return form_->findChild<QComboBox*>(QString::fromLatin1(name));
}

QLineEdit* TestParameterForm::edit(const char* name) const
{
    return form_->findChild<QLineEdit*>(QString::fromLatin1(name));
}

// ---- showing and closing -----------------------------------------------------------------

void TestParameterForm::firstShow_givesNewRecordAndClosesWithoutQuestion()
{
    form_->PageControl->setCurrentWidget(form_->AnyBusTab);
    showRequested();

    QCOMPARE(form_->windowTitle(), QStringLiteral("Parameters Editor"));
    QCOMPARE(form_->PageControl->currentWidget(), form_->ConfigTab);
    QVERIFY(!form_->loading());
    QVERIFY(!form_->changed());
    QVERIFY(!form_->keptChanges());
    QVERIFY(!form_->showRequested());
    // A few new-record values from each page.
    QCOMPARE(combo("TimeEdit")->currentText(), QStringLiteral("12hr AM/PM"));
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("03:07 PM"));
    QCOMPARE(edit("DateEdit")->text(), QStringLiteral("03/09/24"));
    QCOMPARE(combo("PrintMode1")->currentText(), QStringLiteral("button"));
    QCOMPARE(combo("PrintMode2")->currentText(), QStringLiteral("OFF"));
    QCOMPARE(combo("Com2StopBits")->currentText(), QStringLiteral("2"));
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("5000"));
    QCOMPARE(combo("DivisionSize")->currentText(), QStringLiteral("1.0"));
    QCOMPARE(edit("_4to20_High")->text(), QStringLiteral("5000"));
    QVERIFY(form_->ConfigTab->RadioLB->isChecked());
    QVERIFY(form_->ConfigTab->RadioKG->isChecked());
    QVERIFY(!form_->ConfigTab->RadioCustom->isChecked());
    QVERIFY(!form_->ConfigTab->CustomGroup->isEnabled());
    QVERIFY(form_->AnyBusTab->NEFieldBus->isChecked());

    form_->close();
    QVERIFY(!form_->isVisible());
    QVERIFY(dialogs_->asked.isEmpty());
    QVERIFY(dialogs_->told.isEmpty());
    QVERIFY(!QDir(dir_->filePath(QStringLiteral("SAVED"))).exists());
}

void TestParameterForm::newThenExit_asksSaveChanges()
{
    showRequested();
    form_->FileNew->click();
    QVERIFY(form_->changed());
    QCOMPARE(form_->windowTitle(), QStringLiteral("Parameters Editor"));

    dialogs_->answers.enqueue(Answer::No);
    form_->ScreenClose->click();

    QVERIFY(!form_->isVisible());
    QCOMPARE(dialogs_->asked.size(), 1);
    const BoxMessage expected{QStringLiteral("Save Changes?"), QStringLiteral("Changes Found"),
                              BoxMessage::Buttons::YesNo, BoxMessage::Icon::Question};
    QCOMPARE(dialogs_->asked.first(), expected);
    QVERIFY(dialogs_->saveDialogs.isEmpty());
}

void TestParameterForm::exitWhenTheAskedSaveIsCancelled_staysOpen()
{
    showRequested();
    edit("ScaleCapacity")->setText(QStringLiteral("777"));
    dialogs_->answers.enqueue(Answer::Yes);
    dialogs_->savePaths.enqueue(std::nullopt);
    form_->ScreenClose->click();

    QVERIFY(form_->isVisible());
    QCOMPARE(dialogs_->saveDialogs.size(), 1);
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("777"));
    QVERIFY(form_->changed());

    // Answering No this time drops the edit and closes.
    dialogs_->answers.enqueue(Answer::No);
    form_->ScreenClose->click();
    QVERIFY(!form_->isVisible());
    QCOMPARE(dialogs_->asked.size(), 2);
}

void TestParameterForm::printModes_refilledOnEveryShow()
{
    const QStringList mode2{"OFF",       "Automatic", "Continuous", "Polled", "Remote Display",
                            "ShipPoint", "UPS"};
    QCOMPARE(ModeLists::kx7400Mode2(), mode2);
    QCOMPARE(ModeLists::kx7400Mode1().mid(0, 2), QStringList({"OFF", "button"}));
    QCOMPARE(ModeLists::kx7450Mode1(), ModeLists::kx7400Mode1());
    QCOMPARE(ModeLists::kx7450Mode2(), mode2);

    showRequested();
    for (QComboBox* c : {combo("PrintMode1"), combo("PrintMode2")}) {
        c->blockSignals(true);
        c->clear();
        c->addItem(QStringLiteral("stale"));
        c->blockSignals(false);
    }
    form_->hide();
    showRequested();
    QStringList shown1, shown2;
    for (int i = 0; i < combo("PrintMode1")->count(); ++i)
        shown1 << combo("PrintMode1")->itemText(i);
    for (int i = 0; i < combo("PrintMode2")->count(); ++i)
        shown2 << combo("PrintMode2")->itemText(i);
    QCOMPARE(shown1, ModeLists::kx7400Mode1());
    QCOMPARE(shown2, mode2);
}

void TestParameterForm::showWithoutRequest_changesNothing()
{
    showRequested();
    edit("ScaleCapacity")->setText(QStringLiteral("777"));
    dialogs_->answers.enqueue(Answer::No);
    form_->close();
    QCOMPARE(dialogs_->asked.size(), 1); // the edit counted

    form_->show(); // not opened from the main window: no fill
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("777"));
    form_->hide();

    showRequested();
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("5000"));
    QVERIFY(!form_->changed());
}

void TestParameterForm::missingFolderOnShow_loadsDefaultsSilently()
{
    form_->document().setCurrentFileName(dir_->filePath(QStringLiteral("gone/KX.dat")));
    showRequested();

    // Every key at its default when missing, not the new-record values.
    QCOMPARE(combo("TimeEdit")->currentIndex(), 0);
    QCOMPARE(combo("Com1Baud")->currentText(), QStringLiteral("19200"));
    QCOMPARE(combo("Com1Parity")->currentText(), QStringLiteral("Even"));
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("0"));
    QVERIFY(!form_->ConfigTab->RadioKG->isChecked());
    QVERIFY(dialogs_->told.isEmpty());
    QVERIFY(!form_->errorPanel()->isVisible());
    QVERIFY(!form_->changed());
}

// ---- loading and saving ------------------------------------------------------------------

void TestParameterForm::load_leavesNoUnsavedChanges_data()
{
    QTest::addColumn<bool>("throughOpen");
    QTest::newRow("show with a current file") << false;
    QTest::newRow("Open button") << true;
}

void TestParameterForm::load_leavesNoUnsavedChanges()
{
    QFETCH(bool, throughOpen);
    const QString path = writeDat(QStringLiteral("KX.dat"),
                                  "[Configuration]\r\nTime=0\r\nCustom Units=1\r\n"
                                  "Custom Name=Kegs\r\nCom1 Baud=6\r\nCom1 Mode=3\r\n"
                                  "[Calibration]\r\nScale Capacity=250\r\nPrimary Units=2\r\n"
                                  "Division Size=0.05\r\n[FieldBus]\r\nNetwork Type=1\r\n"
                                  "[4to20ma]\r\nSetpoint2=42\r\n");
    if (throughOpen) {
        showRequested();
        dialogs_->openPaths.enqueue(path);
        form_->FileOpen->click();
        QCOMPARE(form_->windowTitle(), QStringLiteral("Parameters... (") + path + u')');
    } else {
        form_->document().setCurrentFileName(path);
        showRequested();
    }

    QVERIFY(!form_->changed());
    QVERIFY(!form_->keptChanges());
    QCOMPARE(combo("TimeEdit")->currentIndex(), 0);
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("15:07"));
    QCOMPARE(edit("CustomName")->text(), QStringLiteral("Kegs"));
    QVERIFY(form_->ConfigTab->CustomGroup->isEnabled());
    QCOMPARE(combo("Com1Baud")->currentText(), QStringLiteral("115200"));
    QCOMPARE(combo("PrintMode1")->currentText(), QStringLiteral("Continuous"));
    QCOMPARE(edit("ScaleCapacity")->text(), QStringLiteral("250"));
    QCOMPARE(combo("DivisionSize")->currentText(), QStringLiteral("0.05"));
    QVERIFY(form_->AnyBusTab->NEEthernet->isChecked());
    QCOMPARE(edit("Setpoint2")->text(), QStringLiteral("42"));

    form_->close();
    QVERIFY(dialogs_->asked.isEmpty());
}

void TestParameterForm::load_divisionListFollowsLoadedUnit()
{
    // The loading flag keeps PrimaryUnitsChange quiet; the list must follow the unit anyway.
    const QString path = writeDat(QStringLiteral("kg.dat"),
                                  "[Calibration]\r\nPrimary Units=1\r\nDivision Size=0.5\r\n");
    form_->document().setCurrentFileName(path);
    showRequested();
    QCOMPARE(combo("DivisionSize")->count(), 18);
    QCOMPARE(combo("DivisionSize")->itemText(0), QStringLiteral("0.00005"));
    QCOMPARE(combo("DivisionSize")->currentIndex(), 12);

    // A text that is not in the unit's list leaves nothing chosen.
    const QString odd = writeDat(QStringLiteral("odd.dat"),
                                 "[Calibration]\r\nPrimary Units=3\r\nDivision Size=7\r\n");
    form_->close();
    form_->document().setCurrentFileName(odd);
    showRequested();
    QCOMPARE(combo("DivisionSize")->itemText(0), QStringLiteral("0.05"));
    QCOMPARE(combo("DivisionSize")->currentIndex(), -1);
}

void TestParameterForm::save_writesControlsAndKeepsPagesNotBuilt()
{
    // Sections whose pages are not in the window travel through the record untouched.
    const QString source = writeDat(QStringLiteral("src.dat"),
                                    "[Ticket]\r\nPrinter=3\r\nChar Width=10\r\n"
                                    "[Page Size]\r\nHeight=9.5\r\n"
                                    "[Ticket Format]\r\nDate Row=21\r\nCount Visible=2\r\n"
                                    "[Custom Output]\r\nStream Format=<G>[kg]\r\nChecksum=1\r\n");
    form_->document().setCurrentFileName(source);
    showRequested();

    edit("ScaleCapacity")->setText(QStringLiteral("1234"));
    combo("PrimaryUnits")->setCurrentIndex(1);
    form_->ConfigTab->RadioGM->setChecked(true);
    form_->AnyBusTab->NEEthernet->setChecked(true);
    QVERIFY(form_->changed());

    const QString target = dir_->filePath(QStringLiteral("SAVED/out.dat"));
    dialogs_->savePaths.enqueue(target);
    form_->FileSaveAs->click();
    QVERIFY(!form_->changed());
    QCOMPARE(form_->windowTitle(), QStringLiteral("Parameters... (") + target + u')');

    IniDocument saved;
    QVERIFY(saved.load(target));
    QCOMPARE(saved.readString("Calibration", "Scale Capacity"), QByteArray("1234"));
    QCOMPARE(saved.readString("Calibration", "Primary Units"), QByteArray("1"));
    QCOMPARE(saved.readString("Calibration", "Division Size"), QByteArray("0.5"));
    QCOMPARE(saved.readString("Configuration", "gm Units"), QByteArray("1"));
    QCOMPARE(saved.readString("FieldBus", "Network Type"), QByteArray("1"));
    QCOMPARE(saved.readString("Ticket", "Printer"), QByteArray("3"));
    QCOMPARE(saved.readString("Ticket", "Char Width"), QByteArray("10"));
    QCOMPARE(saved.readString("Page Size", "Height"), QByteArray("9.5"));
    QCOMPARE(saved.readString("Ticket Format", "Date Row"), QByteArray("21"));
    QCOMPARE(saved.readString("Ticket Format", "Count Visible"), QByteArray("2"));
    QCOMPARE(saved.readString("Custom Output", "Stream Format"), QByteArray("<G>[kg]"));
    QCOMPARE(saved.readString("Custom Output", "Checksum"), QByteArray("1"));
    // COM2 had no section: it takes a copy of COM1's definition.
    QCOMPARE(saved.readString("Custom Output 2", "Stream Format"), QByteArray("<G>[kg]"));
}

// ---- dependencies between controls -------------------------------------------------------

void TestParameterForm::primaryUnits_keepPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QList<int>>("units");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lb 1.0 to kg") << 12 << QList<int>{1} << QStringLiteral("0.5");
    QTest::newRow("lb to kg and back") << 12 << QList<int>{1, 0} << QStringLiteral("1.0");
    QTest::newRow("lb to oz") << 12 << QList<int>{2} << QStringLiteral("20.0");
    QTest::newRow("lb to g, first item") << 0 << QList<int>{3} << QStringLiteral("0.05");
    QTest::newRow("last item to kg") << 17 << QList<int>{1} << QStringLiteral("20.0");
    QTest::newRow("none chosen stays none") << -1 << QList<int>{1, 3} << QString();
}

void TestParameterForm::primaryUnits_keepPosition()
{
    QFETCH(int, position);
    QFETCH(QList<int>, units);
    QFETCH(QString, expected);

    showRequested();
    combo("DivisionSize")->setCurrentIndex(position);
    for (int unit : units)
        combo("PrimaryUnits")->setCurrentIndex(unit);

    QCOMPARE(combo("DivisionSize")->currentIndex(), position);
    QCOMPARE(combo("DivisionSize")->currentText(), expected);
    QCOMPARE(combo("DivisionSize")->itemText(0),
             QString::fromLatin1(divisionList(units.last())[0]));
}

void TestParameterForm::customGroup_enabledExactlyWhileCustomChecked()
{
    showRequested();
    ConfigPage* page = form_->ConfigTab;
    QVERIFY(!page->CustomGroup->isEnabled());
    QVERIFY(!page->CustomName->isEnabled());

    page->RadioCustom->click();
    QVERIFY(page->CustomGroup->isEnabled());
    QVERIFY(page->CustomName->isEnabled());
    QVERIFY(page->CustomFactor->isEnabled());
    QVERIFY(page->CustomResolution->isEnabled());
    QVERIFY(form_->changed());

    // Other unit boxes leave the group as "Custom" says.
    page->RadioOZ->click();
    QVERIFY(page->CustomGroup->isEnabled());
    page->RadioCustom->click();
    QVERIFY(!page->CustomGroup->isEnabled());
    QVERIFY(!page->CustomResolution->isEnabled());

    // New unchecks "Custom" and greys the group again.
    page->RadioCustom->click();
    dialogs_->answers.enqueue(Answer::No); // the edits above are dropped
    form_->FileNew->click();
    QVERIFY(!page->RadioCustom->isChecked());
    QVERIFY(!page->CustomGroup->isEnabled());
}

void TestParameterForm::userEdit_marksChange_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("kind");

    // The last three are saved like every other setting, so an edit to them alone must not
    // be lost without a question on closing.
    const struct
    {
        const char* name;
        const char* control;
        const char* kind;
    } rows[] = {
        {"list", "SleepMode", "combo"},
        {"COM2 mode", "PrintMode2", "combo"},
        {"COM1 mode", "PrintMode1", "combo"},
        {"COM2 interface", "Interface2", "combo"},
        {"division", "DivisionSize", "combo"},
        {"4-20 enable", "_4to20_Enabled", "combo"},
        {"text", "ScaleCapacity", "edit"},
        {"setpoint", "Setpoint1", "edit"},
        {"node address", "NEBusID", "edit"},
        {"unit box", "RadioLBOZ", "check"},
        {"network", "NEEthernet", "radio"},
        {"custom name", "CustomName", "edit"},
        {"custom factor", "CustomFactor", "edit"},
        {"primary units", "PrimaryUnits", "combo"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.control) << QString::fromLatin1(r.kind);
}

void TestParameterForm::userEdit_marksChange()
{
    QFETCH(QString, control);
    QFETCH(QString, kind);

    showRequested();
    if (control.startsWith(u"Custom")) {
        form_->ConfigTab->RadioCustom->setChecked(true);
        form_->setChanged(false);
    }
    QVERIFY(!form_->changed());
    QWidget* w = form_->findChild<QWidget*>(control);
    QVERIFY(w);
    if (kind == u"combo") {
        auto* c = static_cast<QComboBox*>(w);
        c->setCurrentIndex((c->currentIndex() + 1) % c->count());
    } else if (kind == u"edit") {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_End);
        QTest::keyClick(w, Qt::Key_Backspace);
    } else {
        static_cast<QAbstractButton*>(w)->click();
    }
    QVERIFY(form_->changed());

    dialogs_->answers.enqueue(Answer::No);
    form_->close();
    QCOMPARE(dialogs_->asked.size(), 1);
}

void TestParameterForm::everyBoundControl_editIsMarkedAndSaved_data()
{
    QTest::addColumn<QByteArray>("control");
    // Every control the settings table binds and the window has built.
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TParameterForm probe(dir.path(), &dialogs);
    int rows = 0;
    for (const SettingDesc& d : settingsTable()) {
        if (!probe.findChild<QWidget*>(QString::fromLatin1(d.control)))
            continue;
        QTest::newRow(d.control) << QByteArray(d.control);
        ++rows;
    }
    QVERIFY(rows > 0);
}

void TestParameterForm::everyBoundControl_editIsMarkedAndSaved()
{
    QFETCH(QByteArray, control);
    const SettingDesc* desc = findSetting(control);
    QVERIFY(desc);
    showRequested();
    // The custom unit's boxes take input only while "Custom" is the unit.
    if (control.startsWith("Custom")) {
        form_->ConfigTab->RadioCustom->setChecked(true);
        form_->setChanged(false);
    }
    QVERIFY(!form_->changed());

    QWidget* w = form_->findChild<QWidget*>(QString::fromLatin1(control));
    QByteArray expected;
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        QVERIFY2(c->count() > 1, control.constData());
        c->setCurrentIndex((c->currentIndex() + 1) % c->count());
        expected = desc->kind == SettingKind::ItemText ? c->currentText().toLatin1()
                                                       : QByteArray::number(c->currentIndex());
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        QByteArray typed = desc->check == SaveCheck::None && desc->kind == SettingKind::Text
                               ? QByteArray("Zq")
                               : QByteArray("17");
        if (e->text().toLatin1() == typed)
            typed = "18";
        e->setText(QString::fromLatin1(typed));
        expected = typed;
    } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
        // A checked radio is unchecked by checking another of its group.
        if (r->isChecked()) {
            const QString other = desc->partner          ? QString::fromLatin1(desc->partner)
                                  : control == "RadioLB" ? QStringLiteral("RadioKG")
                                                         : QStringLiteral("RadioLB");
            form_->findChild<QRadioButton*>(other)->setChecked(true);
        } else {
            r->setChecked(true);
        }
        expected = r->isChecked() ? "1" : "0";
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setChecked(!b->isChecked());
        expected = b->isChecked() ? "1" : "0";
    } else {
        QFAIL("a bound control of an unknown kind");
    }
    QVERIFY2(form_->changed(), "the edit was not marked");

    const QString target = dir_->filePath(QStringLiteral("edited.dat"));
    dialogs_->savePaths.enqueue(target);
    form_->FileSaveAs->click();
    QVERIFY(!form_->changed());
    IniDocument saved;
    QVERIFY(saved.load(target));
    QCOMPARE(saved.readString(desc->section, desc->key), expected);
}

void TestParameterForm::clockFormat_showsClockAtOnce()
{
    showRequested();
    QComboBox* time = combo("TimeEdit");
    time->setCurrentIndex(0);
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("15:07"));
    QVERIFY(form_->changed());
    time->setCurrentIndex(1);
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("03:07 PM"));

    // The editor timer's refresh follows the PC's clock.
    form_->setTimeSource([] { return QDateTime(QDate(2024, 1, 1), QTime(0, 5)); });
    form_->refreshClock();
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("12:05 AM"));
    time->setCurrentIndex(0);
    QCOMPARE(edit("TimeTicker")->text(), QStringLiteral("00:05"));
}

// ---- names, captions and panels ----------------------------------------------------------

void TestParameterForm::schemaControls_areNamedForAssistiveTechnology()
{
    showRequested();
    const QList<QByteArray> pageSections = {"Configuration", "Calibration", "FieldBus", "4to20ma"};
    int checked = 0;
    for (const SettingDesc& desc : settingsTable()) {
        if (!pageSections.contains(QByteArray(desc.section)))
            continue;
        const QString name = QString::fromLatin1(desc.control);
        QWidget* w = form_->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->accessibleDescription(), name);
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            QCOMPARE(c->accessibleName(), c->currentText());
            if (!desc.options.empty())
                QCOMPARE(c->count(), static_cast<int>(desc.options.size()));
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            QCOMPARE(e->accessibleName(), e->text());
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            QCOMPARE(b->accessibleName(), b->text());
        }
        if (desc.partner)
            QVERIFY(form_->findChild<QRadioButton*>(QString::fromLatin1(desc.partner)));
        ++checked;
    }
    QCOMPARE(checked, 46);

    for (const char* other :
         {"TimeTicker", "DateEdit", "CustomGroup", "DebugList", "DebugAnyBus", "lbList", "kgList",
          "ozList", "gmList", "ErrorPanel", "TransferPanel", "TransferStatus", "TransferButton",
          "BackPanel", "PageControl", "ConfigTab", "CalTab", "AnyBusTab"}) {
        QWidget* w = form_->findChild<QWidget*>(QString::fromLatin1(other));
        QVERIFY2(w, other);
        QCOMPARE(w->accessibleDescription(), QString::fromLatin1(other));
    }
}

void TestParameterForm::accessibleName_followsShownValue()
{
    showRequested();
    combo("Com1Baud")->setCurrentIndex(6);
    QCOMPARE(combo("Com1Baud")->accessibleName(), QStringLiteral("115200"));
    edit("Setpoint1")->setText(QStringLiteral("12"));
    QCOMPARE(edit("Setpoint1")->accessibleName(), QStringLiteral("12"));
    form_->refreshClock();
    QCOMPARE(edit("TimeTicker")->accessibleName(), QStringLiteral("03:07 PM"));
    combo("PrimaryUnits")->setCurrentIndex(1);
    QCOMPARE(combo("DivisionSize")->accessibleName(), QStringLiteral("0.5"));
    QCOMPARE(form_->FileSaveAs->accessibleName(), QStringLiteral("Save As"));
    QCOMPARE(form_->ConfigTab->accessibleName(), QStringLiteral("Configuration"));
    QCOMPARE(form_->AnyBusTab->accessibleName(), QStringLiteral("FieldBus / 4-20mA"));
}

void TestParameterForm::windowParts_asTheEditorShowsThem()
{
    QCOMPARE(form_->size(), QSize(776, 584));
    QTabWidget* pages = form_->PageControl;
    QCOMPARE(pages->count(), 5);
    QCOMPARE(pages->tabText(0), QStringLiteral("Conf&iguration"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Calib&ration"));
    QCOMPARE(pages->tabText(2), QStringLiteral("FieldBus / &4-20mA"));
    QCOMPARE(pages->tabText(3), QStringLiteral("Cus&tom Output"));
    QCOMPARE(pages->tabText(4), QStringLiteral("&Format Ticket"));

    const QList<QPushButton*> bar = {form_->FileNew,    form_->FileOpen,   form_->FileSave,
                                     form_->FileSaveAs, form_->FileUpload, form_->FileDownload,
                                     form_->ScreenClose};
    const QStringList captions = {"Ne&w",    "&Open",     "&Save", "Sa&ve As",
                                  "&Upload", "&Download", "E&xit"};
    for (int i = 0; i < bar.size(); ++i) {
        QCOMPARE(bar[i]->text(), captions[i]);
        if (i > 0) // left to right
            QVERIFY(bar[i]->x() > bar[i - 1]->x() || !form_->isVisible());
    }
    QVERIFY(form_->FileUpload->isEnabled());
    QVERIFY(form_->FileDownload->isEnabled());
    QVERIFY(form_->AnyBusTab->DebugAnyBus->isEnabled());
    QVERIFY(form_->AnyBusTab->DebugList->isEnabled());
    QVERIFY(form_->AnyBusTab->DebugList->isReadOnly());

    showRequested();
    QCOMPARE(form_->AnyBusTab->DebugAnyBus->text(), QStringLiteral("START DEBUG"));
    for (int i = 1; i < bar.size(); ++i)
        QVERIFY(bar[i]->x() > bar[i - 1]->x());

    // The transfer panel sits where it was placed when the window was made.
    TransferPanel* panel = form_->transferPanel();
    QVERIFY(!panel->isVisible());
    QCOMPARE(panel->x(), transferPanelLeft(776, panel->width()));
    QCOMPARE(panel->y(), transferPanelTop(584, panel->height()));
}

void TestParameterForm::typedCharacters_refusedWhereTheRecordCannotCarryThem_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("beeps");
    // Quoted in its record: commas travel, a double quote would end the field.
    QTest::newRow("quoted name, comma") << "CustomName"
                                        << "Smith, J"
                                        << "Smith, J" << 0;
    QTest::newRow("quoted name, double quote") << "CustomName"
                                               << "6\"in"
                                               << "6in" << 1;
    // Unquoted: a comma would end the field, a double quote is only text.
    QTest::newRow("capacity, comma") << "ScaleCapacity"
                                     << "5,000"
                                     << "5000" << 1;
    QTest::newRow("node address, comma") << "NEBusID"
                                         << "1,2"
                                         << "12" << 1;
    QTest::newRow("set point, comma") << "Setpoint1"
                                      << ",,7"
                                      << "7" << 2;
    QTest::newRow("poll string, comma") << "PollStr_Text"
                                        << "W,<D>"
                                        << "W<D>" << 1;
    QTest::newRow("poll string, double quote") << "PollStr_Text"
                                               << "W\""
                                               << "W\"" << 0;
    QTest::newRow("motion token, comma") << "Motion_Token"
                                         << "M,1"
                                         << "M1" << 1;
    QTest::newRow("weight digits, comma") << "Weight_Digits"
                                          << ","
                                          << "" << 1;
}

void TestParameterForm::typedCharacters_refusedWhereTheRecordCannotCarryThem()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(int, beeps);
    const QString path =
        writeDat(QStringLiteral("c.dat"), "[Configuration]\r\nCustom Units=1\r\nCustom Name=\r\n"
                                          "[Custom Output]\r\nPoll Token=6\r\nPoll String=\r\n"
                                          "Weight Digits=\r\n");
    form_->document().setCurrentFileName(path);
    showRequested();
    QLineEdit* box = edit(control.toLatin1().constData());
    QVERIFY(box);
    box->clear();
    QSignalSpy refused(box->validator(), SIGNAL(refusedTyping()));
    box->setFocus();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), kept);
    QCOMPARE(refused.size(), beeps);
}

void TestParameterForm::debugLine_canBeSelectedAndCopied()
{
    showRequested();
    form_->PageControl->setCurrentWidget(form_->AnyBusTab);
    form_->showDebugLine(QStringLiteral("node 3 ok"));
    QLineEdit* debug = form_->AnyBusTab->DebugList;
    QTest::keyClicks(debug, QStringLiteral("x"));
    QCOMPARE(debug->text(), QStringLiteral("node 3 ok")); // read-only
    debug->setFocus();
    QTest::keyClick(debug, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(debug, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("node 3 ok"));
}

void TestParameterForm::typingLimit_keepsLongerLoadedText()
{
    const QString path =
        writeDat(QStringLiteral("long.dat"),
                 "[Configuration]\r\nCustom Units=1\r\nCustom Name=Hogsheads1\r\n");
    form_->document().setCurrentFileName(path);
    showRequested();
    QLineEdit* name = edit("CustomName");
    QCOMPARE(name->text(), QStringLiteral("Hogsheads1")); // ten characters, kept as read

    name->setFocus();
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClicks(name, QStringLiteral("X"));
    QCOMPARE(name->text(), QStringLiteral("Hogsheads1"));
    // Retyping stays within the length the box was filled with.
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClicks(name, QStringLiteral("XY"));
    QCOMPARE(name->text(), QStringLiteral("HogsheadsX"));

    // A fresh box takes eight characters from the keyboard.
    QLineEdit* factor = edit("CustomFactor");
    factor->clear();
    factor->setFocus();
    QTest::keyClicks(factor, QStringLiteral("1234567890"));
    QCOMPARE(factor->text(), QStringLiteral("12345678"));
}

void TestParameterForm::escape_doesNotCloseTheEditor()
{
    showRequested();
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(form_->isVisible());

    // With a transfer under way Esc is the panel's Cancel.
    form_->ShowTransferStatus(QStringLiteral("Initializing KX7400 Upload... please wait.  "), true,
                              false, false);
    QVERIFY(!form_->BackPanel->isEnabled());
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(form_->isVisible());
    QCOMPARE(form_->transferPanel()->lastLine(), QStringLiteral("Action Cancelled"));
    QCOMPARE(form_->transferPanel()->TransferButton->text(), QStringLiteral("OK"));
}

void TestParameterForm::errorPanel_hidesOnClick()
{
    showRequested();
    form_->showErrorPanel(QStringLiteral("Error occurred! Unable to load defaults."));
    ErrorPanel* panel = form_->errorPanel();
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->accessibleName(), QStringLiteral("Error occurred! Unable to load defaults."));
    QTest::mouseClick(panel, Qt::LeftButton);
    QVERIFY(!panel->isVisible());
}

QTEST_MAIN(TestParameterForm)
#include "tst_parameterform.moc"
