// The editor with its real message boxes, driven by the keys a user presses: what a box takes,
// what a save refuses, and what Esc does on a question.
#include "EditorOnFile.h"
#include "TestFiles.h"
#include "editor/CalibrationPage.h"
#include "editor/FieldBusPage.h"
#include "editor/TParameterForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace kx;
using namespace kx::test;

namespace {

// Acts on the message boxes that the next steps open, one step per box, in order, as soon as
// each box is the active modal window. What each box said is kept.
class BoxScript : public QObject
{
public:
    explicit BoxScript(QList<std::function<void(QMessageBox*)>> steps) : steps_(std::move(steps))
    {
        connect(&timer_, &QTimer::timeout, this, &BoxScript::poll);
        timer_.start(10);
    }
    QStringList seen;
    bool usedUp() const { return steps_.isEmpty(); }

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == last_ || steps_.isEmpty())
            return;
        last_ = box;
        seen << box->text();
        steps_.takeFirst()(box);
    }

    QList<std::function<void(QMessageBox*)>> steps_;
    QPointer<QMessageBox> last_;
    QTimer timer_;
};

// A key as the user presses it: to the widget that has the focus in that window.
void press(QWidget* window, Qt::Key key)
{
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

void answer(QMessageBox* box, QMessageBox::StandardButton button)
{
    QTest::mouseClick(box->button(button), Qt::LeftButton);
}

// Replaces a box's text by typing, as a user does: select all, then the keys.
void typeInto(QLineEdit* edit, const QString& keys)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, keys);
}

const QByteArray kFile = "[Calibration]\r\nScale Capacity=7000\r\n"
                         "[4to20ma]\r\nLow Weight=0\r\nHigh Weight=5000\r\nSetpoint1=0\r\n";

} // namespace

class TestEditorKeystrokes : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TParameterForm> form_;

    QString datPath() const { return QDir(dir_->filePath("SAVED")).filePath("scale.dat"); }
    QLineEdit* edit(const char* name) const
    {
        return form_->findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    void showOnFile(QWidget* page, const QByteArray& content)
    {
        QDir().mkpath(dir_->filePath("SAVED"));
        showEditorOnFile(*form_, page, datPath(), content);
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        form_ = std::make_unique<TParameterForm>(dir_->path()); // real boxes
    }
    void cleanup()
    {
        form_.reset();
        dir_.reset();
    }

    void numberBoxRefusesLettersAsTyped_data();
    void numberBoxRefusesLettersAsTyped();
    void valueTheFileWouldNotTake_stopsDownload_data();
    void valueTheFileWouldNotTake_stopsDownload();
    void escapeOnSaveChanges_keepsTheEditorAndTheEdit();
};

void TestEditorKeystrokes::numberBoxRefusesLettersAsTyped_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::newRow("capacity") << QByteArray("ScaleCapacity") << "abc999"
                              << "999";
    QTest::newRow("capacity: no minus") << QByteArray("ScaleCapacity") << "-12.5"
                                        << "12.5";
    QTest::newRow("low weight keeps its minus") << QByteArray("_4to20_Low") << "-5kg"
                                                << "-5";
    QTest::newRow("set point: digits only") << QByteArray("Setpoint1") << "1.5e3"
                                            << "153";
    QTest::newRow("node address") << QByteArray("NEBusID") << "x12"
                                  << "12";
    QTest::newRow("factor: comma and letters") << QByteArray("CustomFactor") << "1,5x"
                                               << "15";
    QTest::newRow("a name is not a number") << QByteArray("CustomName") << "Tons2"
                                            << "Tons2";
}

void TestEditorKeystrokes::numberBoxRefusesLettersAsTyped()
{
    QFETCH(QByteArray, control);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    form_->setOpenedFromMainWindow();
    form_->show();
    QLineEdit* box = edit(control.constData());
    QVERIFY(box);
    if (control.startsWith("Custom")) // the custom unit's boxes take keys while it is on
        QTest::mouseClick(form_->findChild<QAbstractButton*>("RadioCustom"), Qt::LeftButton);
    // The page holding the box comes to the front, so it can take the keys.
    for (QWidget* w = box; w; w = w->parentWidget())
        if (form_->PageControl->indexOf(w) >= 0)
            form_->PageControl->setCurrentWidget(w);
    typeInto(box, keys);
    QCOMPARE(box->text(), shown);
}

void TestEditorKeystrokes::valueTheFileWouldNotTake_stopsDownload_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("named");
    QTest::newRow("capacity with two points")
        << QByteArray("ScaleCapacity") << "1.2.3"
        << "Scale Capacity=1.2.3 is not a number (digits with at most one decimal point).";
    QTest::newRow("low weight: a minus alone")
        << QByteArray("_4to20_Low") << "-"
        << "Low Weight=- is not a number (digits with at most one decimal point).";
    QTest::newRow("high weight below the floor") << QByteArray("_4to20_High") << "-10000"
                                                 << "High Weight=-10000 is below -9999.";
    QTest::newRow("set point left empty") << QByteArray("Setpoint1") << ""
                                          << "Setpoint1= is not a whole number from 0 to 999999.";
}

// The download asks to save the edit first; the save refuses the value, naming it, and
// nothing is saved or sent: the file keeps what it had and no further question comes.
void TestEditorKeystrokes::valueTheFileWouldNotTake_stopsDownload()
{
    QFETCH(QByteArray, control);
    QFETCH(QString, keys);
    QFETCH(QString, named);
    QLineEdit* box = edit(control.constData());
    QWidget* page =
        control == "ScaleCapacity" ? static_cast<QWidget*>(form_->CalTab) : form_->AnyBusTab;
    showOnFile(page, kFile);
    typeInto(box, keys);
    QCOMPARE(box->text(), keys);

    BoxScript boxes({[](QMessageBox* b) { answer(b, QMessageBox::Yes); }, // "Save Changes?"
                     [](QMessageBox* b) { press(b, Qt::Key_Return); }});
    QTest::mouseClick(form_->FileDownload, Qt::LeftButton);
    QVERIFY(boxes.usedUp());
    QCOMPARE(boxes.seen.size(), 2);
    QCOMPARE(boxes.seen[0], QStringLiteral("Save Changes?"));
    QVERIFY2(boxes.seen[1].contains(named), qPrintable(boxes.seen[1]));
    QVERIFY(boxes.seen[1].contains("Nothing was saved."));
    QCOMPARE(readAll(datPath()), kFile);
    // The edit is still there, still unsaved, and what the box shows is what a save would try.
    QVERIFY(form_->isVisible());
    QVERIFY(form_->changed());
    QCOMPARE(box->text(), keys);
}

void TestEditorKeystrokes::escapeOnSaveChanges_keepsTheEditorAndTheEdit()
{
    showOnFile(form_->CalTab, kFile);
    typeInto(form_->CalTab->ScaleCapacity, QStringLiteral("7500"));

    bool stayed = false;
    BoxScript boxes({[&](QMessageBox* b) {
        press(b, Qt::Key_Escape);
        b->close(); // the close box is no way out either
        QTest::qWait(50);
        stayed = b->isVisible() && form_->isVisible();
        // The user then keeps the edit.
        answer(b, QMessageBox::Yes);
    }});
    QTest::mouseClick(form_->ScreenClose, Qt::LeftButton);
    QVERIFY(boxes.usedUp());
    QCOMPARE(boxes.seen, QStringList{"Save Changes?"});
    QVERIFY2(stayed, "Esc or the close box answered the question");
    QVERIFY(!form_->isVisible());
    QVERIFY(readAll(datPath()).contains("Scale Capacity=7500\r\n"));
}

QTEST_MAIN(TestEditorKeystrokes)
#include "tst_editor_keystrokes.moc"
