#include "Forms.h"
#include "PortSettingsDialog.h"
#include "ScriptedPrompts.h"
#include "SerialLine.h"
#include "SimBus.h"
#include "SimDetector.h"
#include "TreeNodes.h"
#include "UnitMain.h"

#include <QFile>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

// Faults a service engineer met on a real line: the window against the
// simulated bus over a pseudo-terminal, timers driven by hand where waiting
// would be slow.
class TstFieldFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void highlightStaysOnSelectedDetector();
    void scanBetweenTicksEndsTheCycle();
    void exceptionDuringCycleGivesOneBox();
    void failedPortSwitchStopsEverything_data();
    void failedPortSwitchStopsEverything();
    void adapterPulledStopsEverything_data();
    void adapterPulledStopsEverything();
    void readAfterReplugReopens_data();
    void readAfterReplugReopens();
    void settingsWaitForTheReadInFlight();
    void hintlessButtonsShowNoHint_data();
    void hintlessButtonsShowNoHint();

private:
    SimBus* bus = nullptr;
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    Ui::TFormMain* f() const { return w->Form(); }
    // Scans addresses 1 to 5 of the default bus (detectors at 1, 2 and 5).
    void scanFirstAddresses();
    QTreeWidgetItem* nodeOf(int address) const;
    QPoint labelPos(QTreeWidgetItem* node) const { return LabelPos(f()->DevTree, node); }
    void select(int address) {
        w->DevTreeMouseDown(Qt::LeftButton, labelPos(nodeOf(address)));
        QCOMPARE(w->SelectedAddress(), address);
    }
};

void TstFieldFaults::init() {
    bus = new SimBus;
    bus->loadDefault();
    const QString path = bus->openPty();
    QVERIFY(!path.isEmpty());
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    w->show();
    w->PreselectPort(path);
}

void TstFieldFaults::cleanup() {
    delete w;
    delete prompts;
    delete bus;
}

void TstFieldFaults::scanFirstAddresses() {
    w->Execute(f()->ActFind);
    QVERIFY(w->Searching);
    w->TimerFind.stop();
    for (int a = 1; a <= 5; ++a) {
        const int replies = w->RxCount;
        w->TimerFindTimer();
        if (a == 1 || a == 2 || a == 5)
            QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    }
    w->ScanAddr = 247;
    w->TimerFindTimer();
    QVERIFY(!w->Searching);
}

QTreeWidgetItem* TstFieldFaults::nodeOf(int address) const {
    return DetectorNode(f()->DevTree, address);
}

// Every read goes to SelNode; the tree must never show another detector as
// the selected one.
void TstFieldFaults::highlightStaysOnSelectedDetector() {
    scanFirstAddresses();
    QTreeWidget* tree = f()->DevTree;
    QTreeWidgetItem* two = nodeOf(2);
    QTreeWidgetItem* one = nodeOf(1);
    QVERIFY(one && two);
    const auto highlighted = [tree] { return tree->selectedItems(); };

    // A real press on the label selects and highlights.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, labelPos(two));
    QCOMPARE(w->SelNode, two);
    QCOMPARE(highlighted(), QList<QTreeWidgetItem*>{two});

    // A press on another row, far right of its label, selects nothing new.
    const QRect row = tree->visualItemRect(one);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(tree->viewport()->width() - 5, row.center().y()));
    QCOMPARE(w->SelNode, two);
    QCOMPARE(highlighted(), QList<QTreeWidgetItem*>{two});

    // Arrow keys move Qt's current row, not the selected detector.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Up);
    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(w->SelNode, two);
    QCOMPARE(highlighted(), QList<QTreeWidgetItem*>{two});

    // The selected detector removed: nothing is highlighted.
    w->RemoveDetector(2, two);
    QVERIFY(!w->SelNode);
    QVERIFY(highlighted().isEmpty());
    QTest::keyClick(tree, Qt::Key_Down);
    QVERIFY(highlighted().isEmpty());
}

// A scan that starts and ends between two ticks empties the tree under a
// running cycle: the cycle ends with the scan, and no tick asks for a
// detector.
void TstFieldFaults::scanBetweenTicksEndsTheCycle() {
    scanFirstAddresses();
    select(1);
    w->Execute(f()->ActRenew);
    QVERIFY(w->TimerRead.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w->Reading, 5000);

    w->Execute(f()->ActFind);
    QVERIFY(!w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    w->Execute(f()->ActStop);
    QVERIFY(!w->TimerRead.isActive());
    QVERIFY2(prompts->shown.isEmpty(), qPrintable(prompts->shown.join(" | ")));

    // A tick that finds no detector any more ends the cycle with one warning.
    scanFirstAddresses();
    select(5);
    w->Execute(f()->ActRenew);
    QTRY_VERIFY_WITH_TIMEOUT(!w->Reading, 5000);
    w->SelNode = nullptr;
    w->TimerReadTimer();
    QCOMPARE(prompts->shown, QStringList{"warning: Укажите прибор!"});
    QVERIFY(!w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
}

// A detector that refuses every read, and an engineer who leaves the box
// open over several ticks of the cycle.
void TstFieldFaults::exceptionDuringCycleGivesOneBox() {
    scanFirstAddresses();
    select(1);
    bus->detector(1)->faults().exceptionRegister = 0;
    prompts->messageOpenMs = 5000;
    w->Execute(f()->ActRenew);
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown.size(), 1, 5000);
    QCOMPARE(prompts->shown, QStringList{"message: Ошибка записи!"});
    // The box has been closed after 5 s, two ticks of the cycle and more.
    QVERIFY(w->TimerRead.isActive());
    QCOMPARE(w->TxCount, 5 + 1); // the scan's probes and the one read
    QCOMPARE(w->RxCount, 3 + 1);

    // Once it is closed the cycle reads again, and the fault shows again.
    prompts->messageOpenMs = 0;
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown.size(), 2, 5000);
}

void TstFieldFaults::failedPortSwitchStopsEverything_data() {
    QTest::addColumn<bool>("scanning");
    QTest::newRow("reading cycle") << false;
    QTest::newRow("scan") << true;
}

// A port switch that fails leaves the port closed: nothing may keep ticking
// into it and raising a box a tick.
void TstFieldFaults::failedPortSwitchStopsEverything() {
    QFETCH(bool, scanning);
    scanFirstAddresses();
    if (scanning) {
        w->Execute(f()->ActFind);
        QVERIFY(w->Searching && w->TimerFind.isActive());
    } else {
        select(1);
        w->Execute(f()->ActRenew);
        QTRY_VERIFY_WITH_TIMEOUT(!w->Reading, 5000);
    }
    w->ComBoxChange("/dev/kpx-no-such-port");
    QCOMPARE(prompts->shown,
             QStringList{"error: Порт /dev/kpx-no-such-port не найден. Проверьте, что адаптер "
                         "подключён."});
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(!w->TimerFind.isActive() && !w->TimerRead.isActive());
    QVERIFY(!w->Searching && !w->Reading);
    QCOMPARE(f()->BtFind->defaultAction(), f()->ActFind);
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    QCOMPARE(w->StatusPanelText(3), scanning ? QString("Поиск окончен") : QString());
    QVERIFY(f()->ActWriteOpt->isEnabled() || scanning);
}

void TstFieldFaults::adapterPulledStopsEverything_data() {
    failedPortSwitchStopsEverything_data();
}

// The adapter pulled out while the cycle or a scan runs: the window ends up
// as after Стоп, and the engineer reads once, in Russian, what happened.
void TstFieldFaults::adapterPulledStopsEverything() {
    QFETCH(bool, scanning);
    scanFirstAddresses();
    const QString port = w->Exchange().PortName();
    if (scanning) {
        w->Execute(f()->ActFind);
    } else {
        select(1);
        w->Execute(f()->ActRenew);
        QTRY_VERIFY_WITH_TIMEOUT(!w->Reading, 5000);
    }
    bus->closeLink();
    const QString lost = "Связь с портом " + port + " потеряна: адаптер отключён.";
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown, QStringList{"error: " + lost}, 5000);
    QVERIFY(f()->Log->toPlainText().contains(lost));
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(!w->TimerFind.isActive() && !w->TimerRead.isActive());
    QVERIFY(!w->Searching && !w->Reading);
    QCOMPARE(f()->BtFind->defaultAction(), f()->ActFind);
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    // Стоп of the cycle opens the writes again; a scan's end leaves them be.
    QVERIFY(scanning || (f()->ActWriteOpt->isEnabled() && f()->SpBtSetOptions->isEnabled()));
    QCOMPARE(w->StatusPanelText(3), scanning ? QString("Поиск окончен") : QString());
    // A late error of the dead port must not raise a second box.
    QTest::qWait(500);
    QCOMPARE(prompts->shown.size(), 1);
}

void TstFieldFaults::readAfterReplugReopens_data() {
    QTest::addColumn<bool>("byPortBox");
    QTest::newRow("Читать") << false;
    QTest::newRow("the same port picked again") << true;
}

// The adapter comes back under the same name (a by-id link): the next
// command that needs the line opens it again.
void TstFieldFaults::readAfterReplugReopens() {
    QFETCH(bool, byPortBox);
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKPX");
    QVERIFY(QFile::link(bus->portPath(), link));
    w->PreselectPort(link);
    scanFirstAddresses();
    select(1);

    bus->closeLink();
    QTRY_VERIFY_WITH_TIMEOUT(!w->Exchange().IsOpen(), 5000);
    QCOMPARE(prompts->shown.size(), 1);
    // Plugged back in: a new device behind the same name.
    const QString device = bus->openPty();
    QVERIFY(!device.isEmpty());
    QVERIFY(QFile::remove(link) && QFile::link(device, link));

    if (byPortBox) {
        w->ComBoxChange(link);
        QVERIFY(w->Exchange().IsOpen());
    }
    const int replies = w->RxCount;
    w->Execute(f()->ActRenew);
    QVERIFY(w->Exchange().IsOpen());
    QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    QVERIFY(!f()->Log->toPlainText().endsWith("Timeout!"));
    QCOMPARE(prompts->shown.size(), 1);
    w->Execute(f()->ActReadStop);
}

// New line settings confirmed while a read waits for its reply: the reply is
// read at the settings the request went out with, and the new ones follow.
void TstFieldFaults::settingsWaitForTheReadInFlight() {
    scanFirstAddresses();
    select(1);
    bus->detector(1)->faults().slowMs = 300;
    const int replies = w->RxCount;
    w->DownNode = w->SelNode;
    w->DevTreeDblClick();
    prompts->dialogScript = [](QDialog& d) {
        static_cast<PortSettingsDialog&>(d).setSettings(
            9600, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::OneStop);
        return true;
    };
    w->bCfgClick();
    QVERIFY(w->StatusPanelText(0).endsWith(": 9600 / 8-Even-1"));
    QCOMPARE(w->Exchange().Line()->PortSettings().baudRate, 19200);
    QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    QVERIFY(!f()->Log->toPlainText().contains("Timeout!"));
    QCOMPARE(w->Exchange().Line()->PortSettings().baudRate, 9600);
    QVERIFY(w->Exchange().IsOpen());
    QCOMPARE(prompts->shown, QStringList{"dialog: PortSettingsDialog"});
}

void TstFieldFaults::hintlessButtonsShowNoHint_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("hint");
    QTest::newRow("Помощь") << "BtHelp" << false;
    QTest::newRow("Уст 0") << "BtClbZero" << false;
    QTest::newRow("Найти") << "BtFind" << false;
    QTest::newRow("Читать, for comparison") << "BtRead" << true;
}

void TstFieldFaults::hintlessButtonsShowNoHint() {
    QFETCH(QString, button);
    QFETCH(bool, hint);
    auto* b = w->findChild<QWidget*>(button);
    QVERIFY(b);
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(b, &event);
    QCOMPARE(!QToolTip::text().isEmpty(), hint);
    QToolTip::hideText();
}

QTEST_MAIN(TstFieldFaults)
#include "tst_fieldfaults.moc"
