#include "EditorOnFile.h"
#include "FakeDialogs.h"

#include "editor/CustomOutputPage.h"
#include "editor/OutputBuildPage.h"
#include "editor/OutputFormPages.h"
#include "editor/OutputTokensPage.h"
#include "editor/TParameterForm.h"
#include "settings/IniDocument.h"

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

QTEST_MAIN(TestCustomOutput)
#include "tst_customoutput.moc"
