#include "Forms.h"
#include "ScriptedPrompts.h"
#include "SimBus.h"
#include "SimDetector.h"
#include "TreeNodes.h"
#include "UnitMain.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <functional>

using namespace kpx;

namespace {
// Methane in %НКПР (gas list, one unit), carbon dioxide and oxygen in %об.
// (neither list), carbon monoxide (unit list, no gas list), and a neighbour
// whose address is taken. Firmware new enough for the lists.
const char* const kBus = R"({"detectors": [
  {"address": 1, "id": 9400101, "firmware": "0x0840", "gas": 1, "range": 440,
   "threshold1": 200, "threshold2": 400, "magnet": 500, "hysteresis": 50, "zeroZone": 20},
  {"address": 3, "id": 9400103, "firmware": "0x0840", "gas": 3, "range": 500,
   "threshold1": 100, "threshold2": 300, "magnet": 500, "hysteresis": 50, "zeroZone": 20},
  {"address": 4, "id": 9400104, "firmware": "0x0840", "gas": 23, "range": 2500,
   "threshold1": 400, "threshold2": 700, "magnet": 800, "hysteresis": 50, "zeroZone": 20},
  {"address": 6, "id": 9400106, "firmware": "0x0840", "gas": 1, "range": 440},
  {"address": 7, "id": 9400107, "firmware": "0x0840", "gas": 24, "range": 200,
   "threshold1": 100, "threshold2": 250, "magnet": 250, "hysteresis": 25, "zeroZone": 20}
]})";

using Writes = QList<QPair<int, int>>; // (register, value) of each write, in order
} // namespace

// The settings writes against the simulated bus over a pseudo-terminal: what
// goes on the wire, what the detector then holds, and what the engineer is told.
class TstSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void chainOrder_data();
    void chainOrder();
    void listsDecideTheEnd_data();
    void listsDecideTheEnd();
    void scaledValues_data();
    void scaledValues();
    void gasChange();
    void gasRefused();
    void timeoutMidChain();
    void otherDetectorSelectedMidChain();
    void rangeWrite_data();
    void rangeWrite();
    void lineSettings_data();
    void lineSettings();
    void foreignPanelRefused_data();
    void foreignPanelRefused();
    void valuesBeyondBoundsRefused();
    void refusedWhileBusy();

private:
    SimBus* bus = nullptr;
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    Writes writes;
    // Called as each write reaches the bus, before the detector answers it.
    std::function<void(int reg)> onWrite;
    Ui::TFormMain* f() const { return w->Form(); }
    QTreeWidgetItem* nodeOf(int address) const;
    void select(int address);
    // Selects the detector and reads it once, as a double click does.
    void readDetector(int address);
    // Waits for the end of a write: the message that ends it, shown once.
    void waitForMessage(const QString& text);
    SimDetector* det(int address) const { return bus->detector(address); }
};

void TstSettings::init() {
    bus = new SimBus;
    QString error;
    QVERIFY2(bus->loadJson(kBus, &error), qPrintable(error));
    const QString path = bus->openPty();
    QVERIFY(!path.isEmpty());
    connect(bus, &SimBus::trafficLogged, this, [this](const SimTraffic& t) {
        if (t.direction == SimTraffic::In && t.bytes.size() == 8 && t.bytes[1] == 6) {
            writes << qMakePair(quint8(t.bytes[2]) << 8 | quint8(t.bytes[3]),
                                quint8(t.bytes[4]) << 8 | quint8(t.bytes[5]));
            if (onWrite)
                onWrite(writes.last().first);
        }
    });
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    w->show();
    w->PreselectPort(path);

    w->Execute(f()->ActFind);
    w->TimerFind.stop();
    for (int a : {1, 3, 4, 6, 7}) {
        const int replies = w->RxCount;
        w->ScanAddr = uint8_t(a - 1);
        w->TimerFindTimer();
        QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    }
    w->ScanAddr = 247;
    w->TimerFindTimer();
    QVERIFY(!w->Searching);
    writes.clear();
}

void TstSettings::cleanup() {
    onWrite = nullptr;
    delete w;
    delete prompts;
    delete bus;
}

QTreeWidgetItem* TstSettings::nodeOf(int address) const {
    return DetectorNode(f()->DevTree, address);
}

void TstSettings::select(int address) {
    QTreeWidgetItem* node = nodeOf(address);
    QVERIFY(node);
    w->DevTreeMouseDown(Qt::LeftButton, LabelPos(f()->DevTree, node));
    QCOMPARE(w->SelectedAddress(), address);
}

void TstSettings::readDetector(int address) {
    select(address);
    const int replies = w->RxCount;
    w->DevTreeDblClick();
    QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    QCOMPARE(w->PanelAddress, address);
}

void TstSettings::waitForMessage(const QString& text) {
    QTRY_VERIFY_WITH_TIMEOUT(prompts->shown.contains("message: " + text), 10000);
    QCOMPARE(prompts->shown.count("message: " + text), 1);
    QVERIFY(!w->Writing);
}

void TstSettings::chainOrder_data() {
    QTest::addColumn<double>("limit1");
    QTest::addColumn<QList<int>>("order");
    // Threshold 2 of the detector is 40.0 %НКПР (register 400). Methane has
    // one unit and stays the gas: the chain ends at the relays.
    QTest::newRow("threshold 1 below threshold 2") << 30.0 << QList<int>{11, 9, 10, 12, 13, 4};
    QTest::newRow("threshold 1 equal to threshold 2") << 40.0 << QList<int>{11, 10, 9, 12, 13, 4};
    QTest::newRow("threshold 1 above threshold 2") << 45.0 << QList<int>{11, 10, 9, 12, 13, 4};
}

// A whole parameter set on the wire, in the order the thresholds need, then
// read back from the detector.
void TstSettings::chainOrder() {
    QFETCH(double, limit1);
    QFETCH(QList<int>, order);
    readDetector(1);
    QVERIFY(!f()->CBoxUnit->isEnabled() && f()->CBoxGas->isEnabled());
    f()->EditMagnet->setValue(55.0);
    f()->EditLimit1->setValue(limit1);
    f()->EditLimit2->setValue(60.0);
    f()->EditHyster->setValue(4.0);
    f()->EditZeroZone->setValue(3.0);
    f()->CBoxBlock->setChecked(true);
    f()->CBoxRelay1->setCurrentIndex(1);
    f()->CBoxRelay2->setCurrentIndex(0);
    f()->CBoxRelayD->setCurrentIndex(1);
    const int sent = w->TxCount;

    w->Execute(f()->ActWriteOpt);
    QCOMPARE(w->Exchange().Timeout(), 1500);
    waitForMessage("Параметры изменены!");
    QList<int> registers;
    for (const auto& [reg, value] : writes)
        registers << reg;
    QCOMPARE(registers, order);
    QCOMPARE(w->TxCount, sent + order.size());
    QCOMPARE(w->StatusPanelText(3), QString());
    QCOMPARE(int(w->WriteReg), order.last());

    // The gas list is in use: the detector is read once a second later.
    QTRY_COMPARE_WITH_TIMEOUT(w->TxCount, sent + order.size() + 1, 5000);
    QTRY_VERIFY(!w->Reading);
    QCOMPARE(det(1)->readRegister(9), quint16(limit1 * 10));
    QCOMPARE(det(1)->readRegister(10), quint16(600));
    QCOMPARE(det(1)->readRegister(11), quint16(550));
    QCOMPARE(det(1)->readRegister(12), quint16(40));
    QCOMPARE(det(1)->readRegister(13), quint16(30));
    QCOMPARE(det(1)->readRegister(4) & 0x1D00, 0x1500);
    QCOMPARE(f()->EditLimit2->value(), 60.0);
    QVERIFY(f()->CBoxBlock->isChecked());
    QCOMPARE(f()->CBoxRelayD->currentIndex(), 1);
    QCOMPARE(prompts->shown, QStringList{"message: Параметры изменены!"});
}

void TstSettings::listsDecideTheEnd_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<bool>("readAfter");
    QTest::newRow("neither list: ends at the relays, no read")
        << 3 << QList<int>{11, 9, 10, 12, 13, 4} << false;
    QTest::newRow("unit list: the unit last, no read")
        << 7 << QList<int>{11, 9, 10, 12, 13, 4, 6} << false;
    QTest::newRow("gas list, same gas: no gas write, one read")
        << 1 << QList<int>{11, 9, 10, 12, 13, 4} << true;
}

// The settings as read go back unchanged: the lists decide how the chain
// ends and whether the detector is read after it.
void TstSettings::listsDecideTheEnd() {
    QFETCH(int, address);
    QFETCH(QList<int>, order);
    QFETCH(bool, readAfter);
    readDetector(address);
    const int sent = w->TxCount;
    w->Execute(f()->ActWriteOpt);
    waitForMessage("Параметры изменены!");
    QList<int> registers;
    for (const auto& [reg, value] : writes)
        registers << reg;
    QCOMPARE(registers, order);
    if (order.last() == 6)
        QCOMPARE(writes.last().second, 0xFF00);
    QTest::qWait(1500); // past the one-second read, if any
    QCOMPARE(w->TxCount, sent + order.size() + (readAfter ? 1 : 0));
}

void TstSettings::scaledValues_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<double>("limit1");
    QTest::addColumn<double>("limit2");
    QTest::addColumn<int>("reg9");
    QTest::addColumn<int>("reg10");
    QTest::newRow("%НКПР: tenths") << 1 << 10.0 << 20.0 << 100 << 200;
    QTest::newRow("carbon dioxide, range 5.00 of 500") << 3 << 1.25 << 2.5 << 250 << 500;
    QTest::newRow("oxygen, range 25.00 below full scale 3000") << 4 << 15.0 << 20.0 << 500 << 667;
}

void TstSettings::scaledValues() {
    QFETCH(int, address);
    QFETCH(double, limit1);
    QFETCH(double, limit2);
    readDetector(address);
    f()->EditLimit1->setValue(limit1);
    f()->EditLimit2->setValue(limit2);
    w->Execute(f()->ActWriteOpt);
    waitForMessage("Параметры изменены!");
    QMap<int, int> last;
    for (const auto& [reg, value] : writes)
        last[reg] = value;
    QTEST(last.value(9), "reg9");
    QTEST(last.value(10), "reg10");
}

// Another gas chosen: it is written last, with its own time-out, and read back.
void TstSettings::gasChange() {
    readDetector(1);
    const int propane = f()->CBoxGas->findText("Пропан");
    QVERIFY(propane >= 0);
    f()->CBoxGas->setCurrentIndex(propane);
    w->Execute(f()->ActWriteOpt);
    waitForMessage("Параметры изменены!");
    QCOMPARE(writes.last(), qMakePair(3, 2));
    QTRY_COMPARE_WITH_TIMEOUT(w->Form()->CBoxGas->currentText(), QString("Пропан"), 5000);
    QCOMPARE(det(1)->readRegister(3), quint16(2));
}

void TstSettings::gasRefused() {
    readDetector(1);
    det(1)->faults().exceptionRegister = 3;
    det(1)->faults().exceptionCode = 3;
    f()->CBoxGas->setCurrentIndex(f()->CBoxGas->findText("Пропан"));
    const int sent = w->TxCount;
    w->Execute(f()->ActWriteOpt);
    QTRY_COMPARE_WITH_TIMEOUT(
        prompts->shown, QStringList{"message: Параметры изменены!\rСмена газа невозможна."}, 10000);
    QVERIFY(!w->Writing);
    QCOMPARE(w->StatusPanelText(3), QString());
    // The detector refused only the gas; a read it answers.
    det(1)->faults().exceptionRegister = -1;
    // One read a second later, and no other box.
    QTRY_COMPARE_WITH_TIMEOUT(w->TxCount, sent + writes.size() + 1, 5000);
    QTRY_VERIFY(!w->Reading);
    QCOMPARE(prompts->shown, QStringList{"message: Параметры изменены!\rСмена газа невозможна."});
}

void TstSettings::timeoutMidChain() {
    readDetector(1);
    // The detector falls silent during the chain, after its first writes.
    onWrite = [this](int) {
        if (writes.size() == 2)
            det(1)->faults().silent = true;
    };
    w->Execute(f()->ActWriteOpt);
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown, QStringList{"message: Ошибка записи параметров!"},
                              10000);
    QVERIFY(!w->Writing);
    const int written = int(writes.size());
    QVERIFY2(written >= 2 && written < 6, "the chain went on past the silence");
    QVERIFY(f()->Log->toPlainText().endsWith("Timeout!"));
    QCOMPARE(w->StatusPanelText(3), QString());
    // The tool stays usable: the detector answers again and is read.
    det(1)->faults().silent = false;
    const int replies = w->RxCount;
    w->DevTreeDblClick();
    QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
}

// The chain keeps writing to the detector it started on, and no read of the
// newly selected one follows.
void TstSettings::otherDetectorSelectedMidChain() {
    readDetector(1);
    QTreeWidgetItem* other = nodeOf(6);
    onWrite = [this, other](int) {
        if (writes.size() == 1)
            w->DevTreeMouseDown(Qt::LeftButton, LabelPos(f()->DevTree, other));
    };
    w->Execute(f()->ActWriteOpt);
    waitForMessage("Параметры изменены!");
    QCOMPARE(w->SelNode, other);
    const int sent = w->TxCount;
    QTest::qWait(1500); // past the one-second read that would have followed
    QCOMPARE(w->TxCount, sent);
    QCOMPARE(det(6)->readRegister(11), quint16(500));
    QCOMPARE(writes.size(), 6);
}

void TstSettings::rangeWrite_data() {
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("written"); // -1: refused
    // Carbon dioxide, %об. with two decimals: register 8 holds hundredths.
    QTest::newRow("within the bounds") << 4.0 << 400;
    QTest::newRow("at the upper bound") << 5.0 << 500;
    QTest::newRow("just above it") << 5.01 << -1;
    QTest::newRow("zero") << 0.0 << -1;
}

void TstSettings::rangeWrite() {
    QFETCH(double, range);
    QFETCH(int, written);
    readDetector(3);
    QCOMPARE(f()->EditURV->maximum(), 5.0);
    f()->EditURV->setFocus();
    f()->EditURV->selectAll();
    QTest::keyClicks(f()->EditURV, QString::number(range, 'f', 2));
    QTest::keyClick(f()->EditURV, Qt::Key_Return);
    if (written < 0) {
        QCOMPARE(prompts->shown, QStringList{"message: Неверное значение!"});
        QTest::qWait(300); // nothing goes out: 20 times the pause before a request
        QVERIFY(writes.isEmpty());
        QVERIFY(!w->Writing);
        return;
    }
    waitForMessage("Диапазон изменен!");
    QCOMPARE(writes, (Writes{{8, written}}));
    QCOMPARE(det(3)->readRegister(8), quint16(written));
}

void TstSettings::lineSettings_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("baud"); // list index; 4 is 19200, the bus's
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("written"); // -1: nothing written
    QTest::newRow("unchanged") << 1 << 4 << "Настройки связи изменены." << -1;
    QTest::newRow("address of another detector")
        << 6 << 4 << "Адрес используется другим прибором!" << -1;
    QTest::newRow("broadcast address") << 0 << 4 << "Неверное значение!" << -1;
    QTest::newRow("address only: the detector moves")
        << 9 << 4 << "Настройки связи изменены." << (9 << 8 | 0x65);
    QTest::newRow("baud rate: the detector leaves the list")
        << 1 << 3 << "Настройки связи изменены." << (1 << 8 | 0x64);
}

void TstSettings::lineSettings() {
    QFETCH(int, address);
    QFETCH(int, baud);
    QFETCH(QString, message);
    QFETCH(int, written);
    readDetector(1);
    QTreeWidgetItem* node = w->SelNode;
    // Typed, as the box keeps a value beyond its bounds until the focus leaves.
    f()->SEditAddr->setFocus();
    f()->SEditAddr->selectAll();
    QTest::keyClicks(f()->SEditAddr, QString::number(address));
    QCOMPARE(f()->SEditAddr->value(), double(address));
    f()->CBoxBaud->setCurrentIndex(baud);
    w->ActWriteAddrExecute();
    if (written < 0) {
        QCOMPARE(prompts->shown, QStringList{"message: " + message});
        QTest::qWait(300); // nothing goes out: 20 times the pause before a request
        QVERIFY(writes.isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown, QStringList{"message: " + message}, 5000);
    QCOMPARE(writes, (Writes{{0, written}}));
    if (baud == 4) {
        QCOMPARE(nodeOf(address), node);
        QCOMPARE(node->text(0), QString("#9 : 09400101"));
        QVERIFY(w->Devices[size_t(address)] && !w->Devices[1]);
        QCOMPARE(w->PanelAddress, address);
    } else {
        QVERIFY(!nodeOf(1) && !w->Devices[1] && !w->SelNode);
    }
}

void TstSettings::foreignPanelRefused_data() {
    QTest::addColumn<bool>("readFirst");
    QTest::newRow("another detector's reading on the panel") << true;
    QTest::newRow("found, never read") << false;
}

// Selecting a detector does not read it: its writes would carry another
// detector's values, or none.
void TstSettings::foreignPanelRefused() {
    QFETCH(bool, readFirst);
    if (readFirst)
        readDetector(3);
    select(1);
    const QString refusal = "message: Панель не показывает значения выбранного прибора. "
                            "Прочитайте его («Читать») и повторите.";
    w->Execute(f()->ActWriteOpt);
    w->Execute(f()->ActWriteAddr);
    f()->EditURV->setFocus();
    QTest::keyClick(f()->EditURV, Qt::Key_Return);
    QCOMPARE(prompts->shown, (QStringList{refusal, refusal, refusal}));
    QTest::qWait(300); // nothing goes out: 20 times the pause before a request
    QVERIFY(writes.isEmpty());
    QVERIFY(!w->Writing);
}

// A value typed beyond a box's bounds still stands in it when the button is
// pressed (the button takes no focus): it is refused, never sent.
void TstSettings::valuesBeyondBoundsRefused() {
    readDetector(1);
    f()->EditLimit1->setFocus();
    f()->EditLimit1->selectAll();
    QTest::keyClicks(f()->EditLimit1, "150");
    QVERIFY(!f()->EditLimit1->valueInBounds());
    w->ActWriteOptExecute();
    QCOMPARE(prompts->shown, QStringList{"message: Неверное значение!"});
    QTest::qWait(300); // nothing goes out: 20 times the pause before a request
    QVERIFY(writes.isEmpty() && !w->Writing);
}

void TstSettings::refusedWhileBusy() {
    readDetector(1);
    w->Reading = true;
    w->Execute(f()->ActWriteOpt);
    w->Execute(f()->ActWriteAddr);
    w->Reading = false;
    w->Writing = true;
    w->ActWriteOptExecute();
    w->ActWriteAddrExecute();
    w->EditURVKeyDown(Qt::Key_Return);
    w->Writing = false;
    QTest::qWait(300); // nothing goes out: 20 times the pause before a request
    QVERIFY(writes.isEmpty());
    QVERIFY(prompts->shown.isEmpty());

    // The reading cycle locks the parameters and line-settings writes.
    w->Execute(f()->ActRenew);
    QVERIFY(!f()->ActWriteOpt->isEnabled() && !f()->SpBtSetOptions->isEnabled());
    QVERIFY(!f()->ActWriteAddr->isEnabled() && !f()->SpBtSetAddr->isEnabled());
    w->Execute(f()->ActReadStop);
    QVERIFY(f()->ActWriteOpt->isEnabled() && f()->SpBtSetAddr->isEnabled());
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
