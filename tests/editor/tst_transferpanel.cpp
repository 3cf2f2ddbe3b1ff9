#include "editor/TransferPanel.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

using namespace kx;

// The transfer panel's placement and status lines, and the hidden holder of the mode lists.
class TestTransferPanel : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void statusLines_openAppendReplaceFinish();
    void button_cancelsThenCloses();
};

void TestTransferPanel::placement_data()
{
    QTest::addColumn<int>("windowHeight");
    QTest::addColumn<int>("panelHeight");
    QTest::addColumn<int>("top");

    QTest::newRow("editor") << 584 << 210 << 140;         // 187 * 0.75 = 140.25
    QTest::newRow("odd difference") << 585 << 200 << 144; // 192.5 -> 192, * 0.75 = 144
    QTest::newRow("equal heights") << 300 << 300 << 0;
    QTest::newRow("taller panel") << 300 << 317 << -6; // -8.5 -> -8, * 0.75 = -6
}

void TestTransferPanel::placement()
{
    QFETCH(int, windowHeight);
    QFETCH(int, panelHeight);
    QFETCH(int, top);
    QCOMPARE(transferPanelTop(windowHeight, panelHeight), top);
    QCOMPARE(transferPanelLeft(776, 420), 178);
    QCOMPARE(transferPanelLeft(777, 420), 178);
}

void TestTransferPanel::statusLines_openAppendReplaceFinish()
{
    QWidget window;
    QWidget covered(&window);
    TransferPanel panel(&window);
    panel.setCoveredPanel(&covered);
    window.show();

    panel.ShowTransferStatus(QStringLiteral("old"), false, false, false);
    panel.ShowTransferStatus(QStringLiteral("Initializing KX7400 Download... please wait.  "), true,
                             false, false);
    QVERIFY(panel.isVisible());
    QVERIFY(!covered.isEnabled());
    QCOMPARE(panel.buttonMode(), TransferPanel::ButtonMode::Cancel);
    QCOMPARE(panel.TransferButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(panel.lines(), QStringList{"Initializing KX7400 Download... please wait.  "});

    panel.ShowTransferStatus(QStringLiteral("Initializing KX7400 Download... please wait. |"),
                             false, false, true);
    panel.ShowTransferStatus(QStringLiteral("KX7400 Acknowledgment Received!"), false, false,
                             false);
    panel.ShowTransferStatus(QStringLiteral("Download complete!"), false, true, false);
    const QStringList expected = {"Initializing KX7400 Download... please wait. |",
                                  "KX7400 Acknowledgment Received!", "Download complete!"};
    QCOMPARE(panel.lines(), expected);
    QCOMPARE(panel.TransferStatus->toPlainText(), expected.join(u'\n'));
    QCOMPARE(panel.TransferStatus->accessibleName(), expected.join(u'\n'));
    QCOMPARE(panel.buttonMode(), TransferPanel::ButtonMode::Ok);

    // Replacing in an empty box adds the line.
    panel.ShowTransferStatus(QStringLiteral("first"), true, false, false);
    panel.ShowTransferStatus(QStringLiteral("again"), true, false, true);
    QCOMPARE(panel.lines(), QStringList{"again"});
}

void TestTransferPanel::button_cancelsThenCloses()
{
    QWidget window;
    QWidget covered(&window);
    TransferPanel panel(&window);
    panel.setCoveredPanel(&covered);
    window.show();
    QSignalSpy closed(&panel, &TransferPanel::closedWithOk);

    panel.ShowTransferStatus(QStringLiteral("Beginning upload..."), true, false, false);
    panel.TransferButton->click();
    QCOMPARE(panel.lastLine(), QStringLiteral("Action Cancelled"));
    QCOMPARE(panel.TransferButton->text(), QStringLiteral("OK"));
    QVERIFY(panel.isVisible());
    QCOMPARE(closed.count(), 0);

    panel.TransferButton->click();
    QVERIFY(!panel.isVisible());
    QVERIFY(covered.isEnabled());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.first().first().toString(), QStringLiteral("Action Cancelled"));
}

QTEST_MAIN(TestTransferPanel)
#include "tst_transferpanel.moc"
