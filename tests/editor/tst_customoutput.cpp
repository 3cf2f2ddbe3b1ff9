#include "EditorOnFile.h"
#include "FakeDialogs.h"

#include "editor/CustomOutputPage.h"
#include "editor/OutputBuildPage.h"
#include "editor/OutputFormPages.h"
#include "editor/OutputTokensPage.h"
#include "editor/TParameterForm.h"
#include "settings/IniDocument.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kx;

// The custom output tab driven as a user drives it, each result read back from the saved file.
class TestCustomOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cardinalPreset_savedWithItsTokensAndCodes();
    void cancelledPreset_changesNothing();
    void gridBuiltFromMenuAndTyping_savedAsBuilt();
    void removeRow_closesTheGap();
    void com2Edits_goToTheirOwnSection();
    void portSwitch_keepsChangesOnlyWhenThereWere_data();
    void portSwitch_keepsChangesOnlyWhenThereWere();
    void comSelector_onlyWithTwoOutputs();
    void userDefinedCharacter_loadsStoredCode();
    void customTmp_writtenOnLoad();
    void longValuesFromAFile_savedWhole();
    void rechoosingTheShownPort_keepsUnsavedEdits();
    void presetAfterOpen_goesToCom1AsShown();
    void typedValue_updatesStreamOnEachKeystroke();
    void userDefinedString_showsPollStringWithFocus();

private:
    void open(const QByteArray& content, const QByteArray& portIni = {});
    IniDocument saveAndRead();
    QRadioButton* preset(const QString& caption) const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TParameterForm> form_;
    CustomOutputPage* page_ = nullptr;
    QString file_;
};

void TestCustomOutput::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    dialogs_ = std::make_unique<FakeDialogs>();
    form_ = std::make_unique<TParameterForm>(dir_->path(), dialogs_.get());
    page_ = form_->CustomTab;
}

void TestCustomOutput::cleanup()
{
    QVERIFY(dialogs_->scriptUsedUp());
    form_.reset();
    dialogs_.reset();
    dir_.reset();
}

void TestCustomOutput::open(const QByteArray& content, const QByteArray& portIni)
{
    if (!portIni.isEmpty()) {
        QFile ini(dir_->filePath(QStringLiteral("Port.Ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(portIni);
    }
    file_ = dir_->filePath(QStringLiteral("a.dat"));
    kx::test::showEditorOnFile(*form_, page_, file_, content);
}

IniDocument TestCustomOutput::saveAndRead()
{
    form_->FileSave->click();
    IniDocument doc;
    doc.load(file_);
    return doc;
}

QRadioButton* TestCustomOutput::preset(const QString& caption) const
{
    for (QRadioButton* b : page_->LoadPage->presetButtons)
        if (b->text().trimmed() == caption)
            return b;
    return nullptr;
}

void TestCustomOutput::cardinalPreset_savedWithItsTokensAndCodes()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nChecksum=1\r\n");
    page_->OutputPages->setCurrentWidget(page_->LoadPage);
    preset(QStringLiteral("Cardinal"))->click();
    QVERIFY(page_->LoadPage->VerifyPanel->isVisibleTo(page_->LoadPage));
    page_->LoadPage->VerifyDefault_Button->click();
    QVERIFY(!page_->LoadPage->VerifyPanel->isVisibleTo(page_->LoadPage));
    QVERIFY(form_->changed());
    QCOMPARE(page_->BuildPage->OutputStringLabel->text(),
             QStringLiteral("<W> <S> [ ] <U> [ ] <M> [  ] "));

    const IniDocument saved = saveAndRead();
    const QByteArray s = "Custom Output";
    QCOMPARE(saved.readString(s, "Stream Format"), QByteArray("<W><S>[ ]<U>[ ]<M>[  ]"));
    QCOMPARE(saved.readString(s, "Checksum"), QByteArray("0"));
    QCOMPARE(saved.readString(s, "Motion Token"), QByteArray("m"));
    QCOMPARE(saved.readString(s, "Gross Token"), QByteArray("g"));
    QCOMPARE(saved.readString(s, "Poll Token"), QByteArray("3"));
    QCOMPARE(saved.readString(s, "Poll Char Token"), QByteArray("5"));
    QCOMPARE(saved.readString(s, "Start Token"), QByteArray("4"));
    QCOMPARE(saved.readString(s, "Start Char Token"), QByteArray("13"));
    QCOMPARE(saved.readString(s, "Stop Token"), QByteArray("1"));
    QCOMPARE(saved.readString(s, "Stop Char Token"), QByteArray("3"));
    QCOMPARE(saved.readString(s, "Poll String"), QByteArray("W<D>"));
    QCOMPARE(saved.readString(s, "Leading Zeroes"), QByteArray("1"));
}

void TestCustomOutput::cancelledPreset_changesNothing()
{
    open("[Custom Output]\r\nStream Format=<G>\r\n");
    QRadioButton* vantel = preset(QStringLiteral("Vantel"));
    vantel->click();
    page_->LoadPage->CancelDefault_Button->click();
    QVERIFY(!vantel->isChecked());
    QVERIFY(!form_->changed());
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<G>"));
}

void TestCustomOutput::gridBuiltFromMenuAndTyping_savedAsBuilt()
{
    open("[Custom Output]\r\nStream Format=\r\n");
    OutputBuildPage* build = page_->BuildPage;
    QMenu* menu = build->typeMenu();
    QCOMPARE(menu, build->PopUp_Type);
    QCOMPARE(menu->actions().size(), 19);
    build->OutputGrid->setCurrentIndex(build->OutputGrid->model()->index(0, 1));
    menu->actions().at(11)->trigger(); // "Gross Weight"
    auto* model = qobject_cast<QStandardItemModel*>(build->OutputGrid->model());
    build->OutputGrid->setCurrentIndex(model->index(1, 2));
    model->item(1, 2)->setText(QStringLiteral("kg")); // typed into an empty row
    QCOMPARE(model->item(1, 1)->text(), QStringLiteral("Text"));
    QCOMPARE(model->item(1, 2)->text(), QStringLiteral("kg")); // the cell keeps the typing
    build->OutputGrid->setCurrentIndex(model->index(2, 1));
    build->chooseType(2, QStringLiteral("Time"), false);
    QCOMPARE(model->item(1, 2)->text(), QStringLiteral("[kg]")); // bracketed on leaving
    QVERIFY(!model->item(2, 2)->isEditable());
    QVERIFY(form_->changed());

    const IniDocument saved = saveAndRead();
    QCOMPARE(saved.readString("Custom Output", "Stream Format"), QByteArray("<G>[kg]<t>"));
}

void TestCustomOutput::removeRow_closesTheGap()
{
    open("[Custom Output]\r\nStream Format=<G><T><N>\r\n");
    page_->BuildPage->chooseType(0, QStringLiteral("<< Remove >>"), false);
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<T><N>"));
    const IniDocument saved = saveAndRead();
    QCOMPARE(saved.readString("Custom Output", "Stream Format"), QByteArray("<T><N>"));
}

void TestCustomOutput::com2Edits_goToTheirOwnSection()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nMotion Token=M\r\n"
         "[Custom Output 2]\r\nStream Format=<N>\r\nMotion Token=X\r\n",
         "[Advanced]\r\nCustom Outputs=2\r\n");
    QVERIFY(page_->ComBox->isVisibleTo(page_));
    page_->ComBox->setCurrentIndex(1);
    emit page_->ComBox->activated(1);
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<N>"));
    auto* motion = page_->findChild<QLineEdit*>(QStringLiteral("Motion_Token"));
    QCOMPARE(motion->text(), QStringLiteral("X"));
    motion->setText(QStringLiteral("Y"));
    page_->BuildPage->chooseType(1, QStringLiteral("Net Weight"), false);

    const IniDocument saved = saveAndRead();
    QCOMPARE(saved.readString("Custom Output 2", "Stream Format"), QByteArray("<N><N>"));
    QCOMPARE(saved.readString("Custom Output 2", "Motion Token"), QByteArray("Y"));
    QCOMPARE(saved.readString("Custom Output", "Stream Format"), QByteArray("<G>"));
    QCOMPARE(saved.readString("Custom Output", "Motion Token"), QByteArray("M"));
}

void TestCustomOutput::portSwitch_keepsChangesOnlyWhenThereWere_data()
{
    QTest::addColumn<bool>("edited");
    QTest::newRow("no changes") << false;
    QTest::newRow("with changes") << true;
}

void TestCustomOutput::portSwitch_keepsChangesOnlyWhenThereWere()
{
    QFETCH(bool, edited);
    open("[Custom Output]\r\nStream Format=<G>\r\n", "[Advanced]\r\nCustom Outputs=2\r\n");
    if (edited)
        page_->BuildPage->chooseType(1, QStringLiteral("Tare Weight"), false);
    page_->ComBox->setCurrentIndex(1);
    emit page_->ComBox->activated(1);
    QVERIFY(!form_->changed());
    QCOMPARE(form_->keptChanges(), edited);
    // No "Custom Output 2" section: COM2 shows a copy of COM1's definition as loaded.
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<G>"));
    QCOMPARE(form_->record().tempCom1.value("Stream Format"),
             edited ? QByteArray("<G><T>") : QByteArray("<G>"));
}

void TestCustomOutput::comSelector_onlyWithTwoOutputs()
{
    open("[Custom Output]\r\nStream Format=<G>\r\n", "[Advanced]\r\nCustom Outputs=1\r\n");
    QVERIFY(!page_->ComBox->isVisibleTo(page_));
    QVERIFY(!page_->ComBox->isEnabled());
    QCOMPARE(page_->ComBox->currentIndex(), 0);
}

void TestCustomOutput::userDefinedCharacter_loadsStoredCode()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nStop Token=5\r\nStop Char Token=65\r\n"
         "Start Token=5\r\nStart Char Token=7\r\nPoll Token=6\r\n");
    OutputTokensPage* tokens = page_->TokensPage;
    QCOMPARE(tokens->code(OutputTokensPage::Stop), 65);
    QCOMPARE(tokens->charBoxes[OutputTokensPage::Stop]->text(), QStringLiteral("[A]"));
    QVERIFY(tokens->charBoxes[OutputTokensPage::Stop]->isVisibleTo(tokens));
    QCOMPARE(tokens->code(OutputTokensPage::Start), 153); // CRLF, not the stored code
    QVERIFY(!tokens->charBoxes[OutputTokensPage::Start]->isVisibleTo(tokens));
    QVERIFY(tokens->PollStr_Text->isVisibleTo(tokens));
}

void TestCustomOutput::customTmp_writtenOnLoad()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nChecksum=1\r\n");
    QFile tmp(dir_->filePath(QStringLiteral("Custom.Tmp")));
    QVERIFY(tmp.open(QIODevice::ReadOnly));
    const QByteArray text = tmp.readAll();
    QVERIFY(text.startsWith("Stream Format=<G>\r\n"));
    QVERIFY(text.contains("Checksum=1\r\n"));
}

// Values longer than their boxes' typing limits (a hand-edited file, another tool) are shown
// and saved whole: open and save gives the same file, byte for byte.
void TestCustomOutput::longValuesFromAFile_savedWhole()
{
    IniDocument doc;
    writeSettings(doc, newSettingsRecord());
    for (const char* section : {"Custom Output", "Custom Output 2"}) {
        doc.writeString(section, "Poll Token", "6");
        doc.writeString(section, "Poll String", "<2>W<1C>0123456789ABCDEFGHIJKLMNOPQRSTUV");
        doc.writeString(section, "Primary Units Token", "Kilogrammes!");
        doc.writeString(section, "Motion Token", "In motion...");
        doc.writeString(section, "Weight Digits", "12");
        doc.writeString(section, "Fixed Decimal Places", "10");
    }
    const QByteArray original = doc.toBytes();
    QCOMPARE(doc.readString("Custom Output", "Poll String").size(), 40);
    open(original, "[Advanced]\r\nCustom Outputs=2\r\n");
    QCOMPARE(page_->TokensPage->PollStr_Text->text().size(), 40);
    QCOMPARE(page_->findChild<QLineEdit*>(QStringLiteral("Primary_Token"))->text(),
             QStringLiteral("Kilogrammes!"));
    QCOMPARE(page_->findChild<QLineEdit*>(QStringLiteral("Weight_Digits"))->text(),
             QStringLiteral("12"));
    form_->FileSave->click();
    QCOMPARE(kx::test::readAll(file_), original);

    // Typing is still limited: one more character is refused.
    QLineEdit* primary = page_->findChild<QLineEdit*>(QStringLiteral("Primary_Token"));
    primary->setFocus();
    QTest::keyClick(primary, Qt::Key_End);
    QTest::keyClicks(primary, QStringLiteral("x"));
    QCOMPARE(primary->text(), QStringLiteral("Kilogrammes!"));
}

// Choosing the port that is already shown is no switch: the edits on view stay, and a save
// writes them.
void TestCustomOutput::rechoosingTheShownPort_keepsUnsavedEdits()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nMotion Token=M\r\n",
         "[Advanced]\r\nCustom Outputs=2\r\n");
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    page_->OutputPages->setCurrentWidget(page_->TokensPage);
    auto* motion = page_->findChild<QLineEdit*>(QStringLiteral("Motion_Token"));
    motion->setFocus();
    motion->selectAll();
    QTest::keyClicks(motion, QStringLiteral("Z"));
    QVERIFY(form_->changed());

    // The selector's list opened and its current item, COM1, chosen again with Enter.
    page_->ComBox->setFocus();
    page_->ComBox->showPopup();
    QTRY_VERIFY(page_->ComBox->view()->isVisible());
    QTest::keyClick(page_->ComBox->view(), Qt::Key_Return);
    QTRY_VERIFY(!page_->ComBox->view()->isVisible());
    QCOMPARE(page_->ComBox->currentIndex(), 0);
    QCOMPARE(motion->text(), QStringLiteral("Z"));
    QVERIFY(form_->changed());

    const IniDocument saved = saveAndRead();
    QCOMPARE(saved.readString("Custom Output", "Motion Token"), QByteArray("Z"));
}

// After Open and after New the selector shows COM1, as the controls do, so a preset confirmed
// then is stored into COM1 and COM2's definition stays as the file has it.
void TestCustomOutput::presetAfterOpen_goesToCom1AsShown()
{
    const QByteArray content = "[Custom Output]\r\nStream Format=<G>\r\nMotion Token=M\r\n"
                               "[Custom Output 2]\r\nStream Format=<N>\r\nMotion Token=X\r\n";
    open(content, "[Advanced]\r\nCustom Outputs=2\r\n");
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    page_->ComBox->setFocus();
    QTest::keyClick(page_->ComBox, Qt::Key_Down); // COM2
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<N>"));

    const QString other = dir_->filePath(QStringLiteral("b.dat"));
    QVERIFY(kx::test::writeAll(other, content));
    dialogs_->openPaths.enqueue(other);
    form_->FileOpen->click();
    QCOMPARE(page_->ComBox->currentIndex(), 0);
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<G>"));

    page_->OutputPages->setCurrentWidget(page_->LoadPage);
    preset(QStringLiteral("Vantel"))->click();
    page_->LoadPage->VerifyDefault_Button->click();
    form_->FileSave->click();
    IniDocument saved;
    QVERIFY(saved.load(other));
    QCOMPARE(saved.readString("Custom Output", "Stream Format"), QByteArray("<W><U><M><S>"));
    QCOMPARE(saved.readString("Custom Output 2", "Stream Format"), QByteArray("<N>"));
    QCOMPARE(saved.readString("Custom Output 2", "Motion Token"), QByteArray("X"));

    // New, with COM2 chosen again: the selector reads COM1 as the controls now show it.
    page_->ComBox->setFocus();
    QTest::keyClick(page_->ComBox, Qt::Key_Down);
    QCOMPARE(page_->ComBox->currentText(), QStringLiteral("COM2 - Custom Format"));
    QCOMPARE(page_->BuildPage->builtStream(), QByteArray("<N>"));
    form_->FileNew->click();
    QCOMPARE(page_->ComBox->currentIndex(), 0);
    QCOMPARE(page_->ComBox->currentText(), QStringLiteral("COM1 - Custom Format"));
    QCOMPARE(page_->BuildPage->builtStream(), page_->definitions()[0].value("Stream Format"));
}

// Each keystroke in a Value cell's editor rebuilds the stream and the yellow display line.
void TestCustomOutput::typedValue_updatesStreamOnEachKeystroke()
{
    open("[Custom Output]\r\nStream Format=<G>\r\n");
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    OutputBuildPage* build = page_->BuildPage;
    page_->OutputPages->setCurrentWidget(build);
    QTableView* grid = build->OutputGrid;
    const QModelIndex cell = grid->model()->index(1, 2);
    grid->setFocus();
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor)
        editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("k"));
    QCOMPARE(build->builtStream(), QByteArray("<G>[k]"));
    QCOMPARE(build->OutputStringLabel->text(), QStringLiteral("<G> [k] "));
    QTest::keyClicks(editor, QStringLiteral("g"));
    QCOMPARE(build->builtStream(), QByteArray("<G>[kg]"));
    QCOMPARE(build->OutputStringLabel->text(), QStringLiteral("<G> [kg] "));
    QCOMPARE(grid->model()->index(1, 1).data().toString(), QStringLiteral("Text"));
    QCOMPARE(editor->text(), QStringLiteral("kg")); // the cell keeps the typing
    QVERIFY(form_->changed());
    // Typing in the middle keeps the cursor where it is.
    QTest::keyClick(editor, Qt::Key_Left);
    QTest::keyClicks(editor, QStringLiteral("x"));
    QCOMPARE(editor->text(), QStringLiteral("kxg"));
    QCOMPARE(build->builtStream(), QByteArray("<G>[kxg]"));
}

// Choosing "User Defined String" from the keyboard shows the poll string box and its help,
// ready for typing.
void TestCustomOutput::userDefinedString_showsPollStringWithFocus()
{
    open("[Custom Output]\r\nStream Format=<G>\r\nPoll Token=4\r\n");
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    OutputTokensPage* tokens = page_->TokensPage;
    page_->OutputPages->setCurrentWidget(tokens);
    QComboBox* poll = tokens->tokenLists[OutputTokensPage::Poll];
    QVERIFY(!tokens->PollStr_Text->isVisibleTo(tokens));
    poll->setFocus();
    QTest::keyClick(poll, Qt::Key_End); // "User Defined String"
    QCOMPARE(poll->currentText(), QStringLiteral("User Defined String"));
    QVERIFY(tokens->PollStr_Text->isVisibleTo(tokens));
    QVERIFY(tokens->PollStrExample->isVisibleTo(tokens));
    QCOMPARE(form_->focusWidget(), tokens->PollStr_Text);
    QVERIFY(form_->changed());
}

QTEST_MAIN(TestCustomOutput)
#include "tst_customoutput.moc"
