#include "ParameterFormFixture.h"

#include "editor/ConfigPage.h"
#include "editor/ErrorPanel.h"
#include "editor/FieldBusPage.h"
#include "editor/TransferPanel.h"
#include "editor/LogbookWindow.h"
#include "settings/IniDocument.h"
#include "settings/Logbook.h"
#include "settings/ModeLists.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

using namespace kx;
using namespace kx::test;

// The editor as a window: showing, closing, loading, saving, its parts and keys.
class TestParameterForm : public QObject, ParameterFormFixture
{
    Q_OBJECT

private slots:
    void init() { startCase(); }
    void cleanup() { endCase(); }

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

    void windowParts_asTheEditorShowsThem();
    void escape_doesNotCloseTheEditor();
    void errorPanel_hidesOnClick();
    void logbook_showsEveryWriteAndTheChain();
};

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

// ---- the window's parts, keys and panels -------------------------------------------------

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
    // Every button of the bar, the later ones included, is whole inside the window, and wide
    // enough for its caption.
    for (QPushButton* b : form_->findChildren<QPushButton*>()) {
        if (b->parentWidget() != form_->BackPanel)
            continue;
        const QRect r(b->mapTo(form_.get(), QPoint(0, 0)), b->size());
        QVERIFY2(form_->rect().contains(r), qPrintable(b->text()));
        QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text().remove('&')) + 8,
                 qPrintable(b->text()));
    }

    // The transfer panel sits where it was placed when the window was made.
    TransferPanel* panel = form_->transferPanel();
    QVERIFY(!panel->isVisible());
    QCOMPARE(panel->x(), transferPanelLeft(776, panel->width()));
    QCOMPARE(panel->y(), transferPanelTop(584, panel->height()));
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

// The logbook opens from the editor's bar, read-only, one row a write, and says whether its
// chain is whole; a line changed by hand is named.
void TestParameterForm::logbook_showsEveryWriteAndTheChain()
{
    LogbookEntry e;
    e.time = QDateTime(QDate(2026, 12, 10), QTime(14, 2, 3));
    e.port = 1;
    e.device = "/dev/ttyUSB0";
    e.action = "download";
    e.file = "/home/technician/kxlink/SAVED/site with a long name.dat";
    e.backup = "/home/technician/kxlink/SAVED/BACKUP/2026-12-10_14-02-01.dat";
    e.changes = {{"Calibration/Scale Capacity", "5000", "7500"},
                 {"Calibration/Division Size", "1.0", "0.5"},
                 {"Configuration/Custom Name", "Barrels", "Drums"}};
    e.outcome = "completed";
    e.verify = "verified";
    const QString path = logbook::pathIn(dir_->path());
    QVERIFY(logbook::append(path, e));
    e.action = "firmware update";
    QVERIFY(logbook::append(path, e));
    showRequested();

    for (const bool tampered : {false, true}) {
        if (tampered) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray bytes = f.readAll();
            f.close();
            bytes.replace("7500", "7501");
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        auto* button = form_->findChild<QPushButton*>("FileLogbook");
        QVERIFY(button);
        QTest::keyClick(button, Qt::Key_Space);
        auto* window = form_->findChild<LogbookWindow*>();
        QVERIFY(window);
        QTRY_VERIFY(window->isVisible());
        QCOMPARE(window->table()->rowCount(), 2);
        QCOMPARE(window->table()->item(1, 3)->text(), QString("firmware update"));
        QVERIFY(window->table()->item(0, 6)->text().contains("Scale Capacity: 5000"));
        QVERIFY(window->table()->editTriggers() == QAbstractItemView::NoEditTriggers);
        // At the window's own size every column is on screen: the outcome too, wrapped or not.
        QTableWidget* table = window->table();
        const QHeaderView* header = table->horizontalHeader();
        const int lastRight = header->sectionViewportPosition(8) + header->sectionSize(8);
        QVERIFY2(lastRight <= table->viewport()->width(), qPrintable(QString::number(lastRight)));
        QVERIFY(header->sectionViewportPosition(7) >= 0);
        if (!tampered && !qEnvironmentVariableIsEmpty("KX_SCREENSHOTS"))
            window->grab().save(qEnvironmentVariable("KX_SCREENSHOTS") + "/logbook.png");
        const QString chain = window->chainState()->accessibleName();
        QVERIFY2(tampered ? chain.contains("line 2 does not follow line 1")
                          : chain.contains("no line changed"),
                 qPrintable(chain));
        window->close();
        QTRY_VERIFY(!form_->findChild<LogbookWindow*>());
    }
}

QTEST_MAIN(TestParameterForm)
#include "tst_parameterform.moc"
