#include "EditorOnFile.h"
#include "FakeDialogs.h"

#include "editor/TParameterForm.h"
#include "editor/TicketCanvas.h"
#include "editor/TicketPage.h"
#include "settings/IniDocument.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kx;

// The ticket tab driven with the mouse and keys, results read back from the grid and the file.
class TestTicketPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void newRecord_layoutInOneColumn();
    void dragGross_snapsAndIsSaved();
    void typedTop_movesLabelAndDropsNonDigits();
    void keystrokesInPlaceCells_data();
    void keystrokesInPlaceCells();
    void newRecord_scrollsPageToItsCorner();
    void visibilityMenuAndKeys_data();
    void visibilityMenuAndKeys();
    void printerChoice_setsPageAndChanged();
    void pageBoxExit_formatsText();
    void negativeCharWidth_refused();
    void pitchChange_movesLabelsToTheirCells();

private:
    void open(const QByteArray& content);
    QString cell(int row, int column) const { return page_->FieldGrid->item(row, column)->text(); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TParameterForm> form_;
    TicketPage* page_ = nullptr;
    QString file_;
};

void TestTicketPage::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    dialogs_ = std::make_unique<FakeDialogs>();
    form_ = std::make_unique<TParameterForm>(dir_->path(), dialogs_.get());
    page_ = form_->TicketTab;
}

void TestTicketPage::cleanup()
{
    QVERIFY(dialogs_->scriptUsedUp());
    form_.reset();
    dialogs_.reset();
    dir_.reset();
}

void TestTicketPage::open(const QByteArray& content)
{
    file_ = dir_->filePath(QStringLiteral("t.dat"));
    kx::test::showEditorOnFile(*form_, page_, file_, content);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestTicketPage::newRecord_layoutInOneColumn()
{
    form_->setOpenedFromMainWindow();
    form_->show();
    QCOMPARE(page_->lineHeight(), page_->logicalDpiY() / 6);
    QCOMPARE(page_->charWidth(), 12);
    for (int n = 1; n <= 11; ++n) {
        QCOMPARE(cell(2, n), QString::number(10 + 2 * (n - 1)));
        QCOMPARE(cell(3, n), QStringLiteral("8"));
        QCOMPARE(page_->labels[n - 1]->isVisibleTo(page_), n <= 5);
    }
    QCOMPARE(page_->labels[0]->toolTip(), QStringLiteral("(Time,10,8,16,100)"));
    QCOMPARE(page_->Printer->currentText(), QStringLiteral("Citizens IDP 3550"));
    QCOMPARE(page_->pageBoxes[2]->text(), QStringLiteral("1.375"));
}

void TestTicketPage::dragGross_snapsAndIsSaved()
{
    open("[Ticket]\r\nLines/Inch=0\r\nChar Width=12\r\n"
         "[Ticket Format]\r\nGross Visible=1\r\nGross Row=14\r\nGross Col=8\r\n");
    if (page_->logicalDpiY() != 96)
        QSKIP("the arithmetic below is for 96 pixels per inch");
    TicketLabel* gross = page_->labels[2];
    QCOMPARE(page_->Canvas->labelPosition(gross), QPoint(96, 224));
    const QPoint grip(50, 8);
    QTest::mousePress(gross, Qt::LeftButton, {}, grip);
    QCOMPARE(page_->FieldGrid->currentColumn(), 3);
    QTest::mouseMove(gross, grip + QPoint(30, 20)); // raw left 126, top 244
    QTest::mouseRelease(gross, Qt::LeftButton, {}, grip);
    QCOMPARE(page_->Canvas->labelPosition(gross), QPoint(120, 240));
    QCOMPARE(cell(2, 3), QStringLiteral("15"));
    QCOMPARE(cell(3, 3), QStringLiteral("10"));
    QCOMPARE(gross->toolTip(), QStringLiteral("(Gross,15,10,16,100)"));
    QVERIFY(form_->changed());

    form_->FileSave->click();
    IniDocument saved;
    QVERIFY(saved.load(file_));
    QCOMPARE(saved.readString("Ticket Format", "Gross Row"), QByteArray("15"));
    QCOMPARE(saved.readString("Ticket Format", "Gross Col"), QByteArray("10"));

    // Above the paper's corner: the label keeps its snapped place, the grid shows 0.
    page_->TextEndDock(3, -13, -30);
    QCOMPARE(page_->Canvas->labelPosition(gross), QPoint(-12, -16));
    QCOMPARE(cell(2, 3), QStringLiteral("0"));
    QCOMPARE(cell(3, 3), QStringLiteral("0"));
}

void TestTicketPage::typedTop_movesLabelAndDropsNonDigits()
{
    open("[Ticket Format]\r\nTime Visible=1\r\nTime Row=10\r\nTime Col=8\r\n");
    page_->FieldGrid->item(2, 1)->setText(QStringLiteral("12a"));
    QCOMPARE(cell(2, 1), QStringLiteral("12"));
    QCOMPARE(page_->Canvas->labelPosition(page_->labels[0]).y(), 12 * page_->lineHeight());
    page_->FieldGrid->item(3, 1)->setText(QStringLiteral("1234"));
    QCOMPARE(cell(3, 1), QStringLiteral("123"));
    QCOMPARE(page_->labels[0]->toolTip(), QStringLiteral("(Time,12,123,16,100)"));
    QVERIFY(form_->changed());
}

void TestTicketPage::keystrokesInPlaceCells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("kept");
    QTest::newRow("top: letter between digits") << 2 << "1a2"
                                                << "12";
    QTest::newRow("top: letters over the old value") << 2 << "ab"
                                                     << "";
    QTest::newRow("top: letter first") << 2 << "a1"
                                       << "1";
    QTest::newRow("top: fourth digit") << 2 << "1234"
                                       << "123";
    QTest::newRow("left: sign and point") << 3 << "-1.5"
                                          << "15";
    QTest::newRow("left: blank") << 3 << "2 4"
                                 << "24";
}

// Real keystrokes into the cell's editor: each is checked as it is typed, and the label and
// its hint follow at once, before the edit is committed.
void TestTicketPage::keystrokesInPlaceCells()
{
    QFETCH(int, row);
    QFETCH(QString, keys);
    QFETCH(QString, kept);
    open("[Ticket Format]\r\nTime Visible=1\r\nTime Row=10\r\nTime Col=8\r\n");
    QTableWidget* grid = page_->FieldGrid;
    grid->setFocus();
    grid->setCurrentCell(row, 1);
    grid->editItem(grid->item(row, 1));
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, keys);
    QCOMPARE(editor->text(), kept);
    QCOMPARE(cell(row, 1), kept);
    const int value = kept.toInt();
    const QPoint at = page_->Canvas->labelPosition(page_->labels[0]);
    if (row == 2) {
        QCOMPARE(at, QPoint(8 * page_->charWidth(), value * page_->lineHeight()));
        QCOMPARE(page_->labels[0]->toolTip(), QStringLiteral("(Time,%1,8,16,100)").arg(kept));
    } else {
        QCOMPARE(at, QPoint(value * page_->charWidth(), 10 * page_->lineHeight()));
        QCOMPARE(page_->labels[0]->toolTip(), QStringLiteral("(Time,10,%1,16,100)").arg(kept));
    }
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(cell(row, 1), kept);
    QVERIFY(form_->changed());
}

void TestTicketPage::newRecord_scrollsPageToItsCorner()
{
    open("[Page Size]\r\nHeight=11.0\r\nWidth=8.5\r\n");
    QScrollBar* across = page_->PageScroll->horizontalScrollBar();
    QScrollBar* down = page_->PageScroll->verticalScrollBar();
    QVERIFY(down->maximum() > 0);
    across->setValue(across->maximum());
    down->setValue(down->maximum());
    form_->FileNew->click();
    QCOMPARE(across->value(), 0);
    QCOMPARE(down->value(), 0);
}

void TestTicketPage::visibilityMenuAndKeys_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("cellText");
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<bool>("shown");

    QTest::newRow("count1 NO hides") << 6 << "n"
                                     << "NO"
                                     << "COUNT1PC" << false;
    QTest::newRow("count1 NO then CNT GR") << 6 << "nc"
                                           << "CNT GR"
                                           << "COUNT1GR" << true;
    QTest::newRow("count2 piece") << 7 << "P"
                                  << "PIECE"
                                  << "COUNT2PC" << true;
    QTest::newRow("count2 CNT NT") << 7 << "c"
                                   << "CNT NT"
                                   << "COUNT2NT" << true;
    QTest::newRow("plain yes") << 8 << "y"
                               << "YES"
                               << "PEAK WT" << true;
    QTest::newRow("other letter is NO") << 1 << "q"
                                        << "NO"
                                        << "HH:MM AM" << false;
}

void TestTicketPage::visibilityMenuAndKeys()
{
    QFETCH(int, column);
    QFETCH(QString, keys);
    QFETCH(QString, cellText);
    QFETCH(QString, labelText);
    QFETCH(bool, shown);
    open("[Ticket Format]\r\nCount Visible=1\r\nTime Visible=1\r\n");
    page_->FieldGrid->setFocus();
    page_->FieldGrid->setCurrentCell(1, column);
    QTest::keyClicks(page_->FieldGrid, keys);
    QCOMPARE(cell(1, column), cellText);
    QCOMPARE(page_->labels[column - 1]->text(), labelText);
    QCOMPARE(page_->labels[column - 1]->isVisibleTo(page_), shown);
    QCOMPARE(page_->FieldGrid->currentColumn(), column);

    // The menu offers the same choices.
    QMenu* menu = page_->visibilityMenu(column);
    QCOMPARE(menu->actions().size(), column == 6 || column == 7 ? 3 : 2);
    menu->actions().at(0)->trigger();
    QCOMPARE(cell(1, column), QStringLiteral("NO"));
    QVERIFY(!page_->labels[column - 1]->isVisibleTo(page_));
    delete menu;
}

void TestTicketPage::printerChoice_setsPageAndChanged()
{
    open("[Ticket]\r\nPrinter=0\r\n");
    QVERIFY(!form_->changed());
    page_->Printer->setCurrentIndex(3);
    emit page_->Printer->activated(3);
    QCOMPARE(page_->pageBoxes[0]->text(), QStringLiteral("5.5"));
    QCOMPARE(page_->pageBoxes[1]->text(), QStringLiteral("3.0"));
    QCOMPARE(page_->pageBoxes[2]->text(), QStringLiteral("1.5"));
    QVERIFY(form_->changed());
    form_->FileSave->click();
    IniDocument saved;
    QVERIFY(saved.load(file_));
    QCOMPARE(saved.readString("Ticket", "Printer"), QByteArray("3"));
    QCOMPARE(saved.readString("Page Size", "Height"), QByteArray("5.5"));
    QCOMPARE(saved.readString("Page Size", "Top Margin"), QByteArray("1.5"));
}

void TestTicketPage::pageBoxExit_formatsText()
{
    open("[Page Size]\r\nHeight=6\r\n");
    page_->PaperSettingsExit(page_->pageBoxes[0]);
    QCOMPARE(page_->pageBoxes[0]->text(), QStringLiteral("6.0"));
    page_->pageBoxes[2]->setText(QStringLiteral("1.375"));
    page_->PaperSettingsExit(page_->pageBoxes[2]);
    QCOMPARE(page_->pageBoxes[2]->text(), QStringLiteral("1.38"));
}

void TestTicketPage::negativeCharWidth_refused()
{
    open("[Ticket]\r\nChar Width=10\r\n");
    QCOMPARE(page_->charWidth(), 10);
    page_->CharWidth->setFocus();
    page_->CharWidth->selectAll();
    QTest::keyClicks(page_->CharWidth, QStringLiteral("-5"));
    QVERIFY(!page_->CharWidth->text().startsWith(u'-'));
    QVERIFY(page_->charWidth() > 0);
}

// The grid is the model: a new pitch moves every label to its cell's new place.
void TestTicketPage::pitchChange_movesLabelsToTheirCells()
{
    open("[Ticket Format]\r\nTime Visible=1\r\nTime Row=10\r\nTime Col=8\r\n"
         "Net Visible=0\r\nNet Row=3\r\nNet Col=2\r\n");
    page_->LinesPerInch->setCurrentIndex(1); // 8 lines per inch
    QCOMPARE(page_->lineHeight(), page_->logicalDpiY() / 8);
    QCOMPARE(page_->Canvas->labelPosition(page_->labels[0]),
             QPoint(8 * 12, 10 * page_->lineHeight()));
    QCOMPARE(page_->Canvas->labelPosition(page_->labels[4]),
             QPoint(2 * 12, 3 * page_->lineHeight()));
    QCOMPARE(cell(2, 1), QStringLiteral("10"));

    page_->CharWidth->setFocus();
    page_->CharWidth->selectAll();
    QTest::keyClicks(page_->CharWidth, QStringLiteral("9"));
    QCOMPARE(page_->charWidth(), 9);
    QCOMPARE(page_->Canvas->labelPosition(page_->labels[0]),
             QPoint(8 * 9, 10 * page_->lineHeight()));
    QCOMPARE(cell(3, 1), QStringLiteral("8"));
}

QTEST_MAIN(TestTicketPage)
#include "tst_ticketpage.moc"
