#include "ParameterFormFixture.h"

#include "editor/ConfigPage.h"
#include "editor/FieldBusPage.h"
#include "settings/IniDocument.h"
#include "settings/SettingCaptions.h"
#include "settings/SettingsSchema.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QTabWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace kx;
using namespace kx::test;

// The pages' controls: how they depend on each other, mark and save an edit, are named and
// take typing.
class TestParameterFormPages : public QObject, ParameterFormFixture
{
    Q_OBJECT

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

    void primaryUnits_keepPosition_data();
    void primaryUnits_keepPosition();
    void customGroup_enabledExactlyWhileCustomChecked();
    void userEdit_marksChange_data();
    void userEdit_marksChange();
    void everyBoundControl_editIsMarkedAndSaved_data();
    void everyBoundControl_editIsMarkedAndSaved();
    void clockFormat_showsClockAtOnce();

    void schemaControls_areNamedForAssistiveTechnology();
    void captionTable_isWhatThePagesShow();
    void accessibleName_followsShownValue();
    void typingLimit_keepsLongerLoadedText();
    void typedCharacters_refusedWhereTheRecordCannotCarryThem_data();
    void typedCharacters_refusedWhereTheRecordCannotCarryThem();
    void debugLine_canBeSelectedAndCopied();
};

// ---- dependencies between controls -------------------------------------------------------

void TestParameterFormPages::primaryUnits_keepPosition_data()
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

void TestParameterFormPages::primaryUnits_keepPosition()
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

void TestParameterFormPages::customGroup_enabledExactlyWhileCustomChecked()
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

void TestParameterFormPages::userEdit_marksChange_data()
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

void TestParameterFormPages::userEdit_marksChange()
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

void TestParameterFormPages::everyBoundControl_editIsMarkedAndSaved_data()
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

void TestParameterFormPages::everyBoundControl_editIsMarkedAndSaved()
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

void TestParameterFormPages::clockFormat_showsClockAtOnce()
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

// ---- names and typing --------------------------------------------------------------------

// Where no editor is open (a comparison on the command line) settings are named by a table;
// it must say what the pages themselves show: the tab, the group's title and the row's label.
void TestParameterFormPages::captionTable_isWhatThePagesShow()
{
    showRequested();
    const auto plain = [](QString text) { return text.remove(QLatin1Char('&')).trimmed(); };
    for (const SettingDesc& desc : settingsTable()) {
        const QString name = QString::fromLatin1(desc.control);
        QWidget* w = form_->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QString group, label;
        for (QWidget* up = w->parentWidget(); up && group.isEmpty(); up = up->parentWidget())
            if (auto* box = qobject_cast<QGroupBox*>(up))
                group = plain(box->title());
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            label = plain(button->text());
        } else {
            for (QLabel* l : form_->findChildren<QLabel*>())
                if (l->buddy() == w)
                    label = plain(l->text());
        }
        QString page;
        for (int i = 0; i < form_->PageControl->count(); ++i)
            if (form_->PageControl->widget(i)->isAncestorOf(w))
                page = plain(form_->PageControl->tabText(i));
        const SettingPlace place = settingPlace(QString::fromLatin1(desc.section),
                                                QString::fromLatin1(desc.key));
        QCOMPARE(place.page, page);
        QCOMPARE(place.caption, group + QStringLiteral(" / ") + label);
    }
}

void TestParameterFormPages::schemaControls_areNamedForAssistiveTechnology()
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

void TestParameterFormPages::accessibleName_followsShownValue()
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

void TestParameterFormPages::typedCharacters_refusedWhereTheRecordCannotCarryThem_data()
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

void TestParameterFormPages::typedCharacters_refusedWhereTheRecordCannotCarryThem()
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

void TestParameterFormPages::debugLine_canBeSelectedAndCopied()
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

void TestParameterFormPages::typingLimit_keepsLongerLoadedText()
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

QTEST_MAIN(TestParameterFormPages)
#include "tst_parameterform_pages.moc"
