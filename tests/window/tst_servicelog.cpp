#include "Forms.h"
#include "LogDecoder.h"
#include "RtuMaster.h"
#include "ScriptedPrompts.h"
#include "SerialLine.h"
#include "SimBus.h"
#include "SimDetector.h"
#include "TreeNodes.h"
#include "UnitLog.h"
#include "UnitMain.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

// The event log read and erased through the detector's service mode: the
// window against the simulated bus over a pseudo-terminal, real bytes both
// ways, at 9600 baud in between and back at the Modbus settings after.
class TstServiceLog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void readLogLandsInWindow_data();
    void readLogLandsInWindow();
    void eraseLog();
    void toxicZeroAfterErase();
    void toxicZeroUnanswered();
    void failuresRestartWarning_data();
    void failuresRestartWarning();
    void switchNotTakenEndsLogOperation_data();
    void switchNotTakenEndsLogOperation();
    void busCommandsIgnoredDuringExchange();
    void adapterPulledDuringExchange();
    void windowClosedDuringExchange();

private:
    SimBus* bus = nullptr;
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    TFormLog* logWindow = nullptr;
    Ui::TFormMain* f() const { return w->Form(); }
    void scanAndSelectFirst();
    QTreeWidgetItem* nodeOf(int address) const;
    // Waits until the exchange has ended and the line is the master's again.
    void waitForExchangeEnd();
    // A log operation clears status panel 3; the zero leaves it alone.
    void verifyModbusLineBack(bool logOperation = true);
    int logLines(const QString& prefix) const;
    bool sentToBus(const QByteArray& bytes) const;
    // The exchange runs inside a timer handler, so a test acts in it from the
    // bus's side: once, when the tool has sent bytes.
    void whenSent(const QByteArray& bytes, const std::function<void()>& act);
};

void TstServiceLog::whenSent(const QByteArray& bytes, const std::function<void()>& act) {
    auto done = std::make_shared<bool>(false);
    connect(bus, &SimBus::trafficLogged, this, [=](const SimTraffic& t) {
        if (*done || t.direction != SimTraffic::In || !t.bytes.contains(bytes))
            return;
        *done = true;
        QTimer::singleShot(0, this, act);
    });
}

void TstServiceLog::init() {
    bus = new SimBus;
    bus->loadDefault();
    const QString path = bus->openPty();
    QVERIFY(!path.isEmpty());
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    logWindow = new TFormLog;
    w->SetLogWindow(logWindow);
    w->show();
    w->PreselectPort(path);
}

void TstServiceLog::cleanup() {
    delete w;
    delete logWindow;
    delete prompts;
    delete bus;
}

QTreeWidgetItem* TstServiceLog::nodeOf(int address) const {
    return DetectorNode(f()->DevTree, address);
}

void TstServiceLog::scanAndSelectFirst() {
    w->Execute(f()->ActFind);
    QVERIFY(w->Searching);
    w->TimerFind.stop();
    for (int a = 1; a <= 2; ++a) {
        const int replies = w->RxCount;
        w->TimerFindTimer();
        QTRY_COMPARE_WITH_TIMEOUT(w->RxCount, replies + 1, 5000);
    }
    w->ScanAddr = 247;
    w->TimerFindTimer();
    QVERIFY(!w->Searching);
    QTreeWidgetItem* node = nodeOf(1);
    QVERIFY(node);
    w->DevTreeMouseDown(Qt::LeftButton, LabelPos(f()->DevTree, node));
    QCOMPARE(w->SelectedAddress(), 1);
    QVERIFY(f()->ActReadLog->isEnabled() && f()->ActDelLog->isEnabled());
    bus->clearTraffic();
}

void TstServiceLog::waitForExchangeEnd() {
    QTRY_VERIFY_WITH_TIMEOUT(!w->CmdPending && !w->ServiceRunning && !w->TimerWrite.isActive(),
                             20000);
}

void TstServiceLog::verifyModbusLineBack(bool logOperation) {
    const LineSettings s = w->Exchange().Line()->Settings();
    QCOMPARE(s.baudRate, 19200);
    QCOMPARE(s.parity, QSerialPort::EvenParity);
    QCOMPARE(s.stopBits, QSerialPort::OneStop);
    QCOMPARE(s.dataBits, QSerialPort::Data8);
    QCOMPARE(w->Exchange().Line()->Processor(),
             static_cast<DataProcessor*>(w->Exchange().Master()));
    QVERIFY(w->Exchange().IsActive());
    QVERIFY(!w->LogReading && !w->LogErasing);
    QVERIFY(!w->TimerProgress.isActive());
    if (logOperation)
        QCOMPARE(w->StatusPanelText(3), QString());
}

int TstServiceLog::logLines(const QString& prefix) const {
    int n = 0;
    for (const QString& line : f()->Log->toPlainText().split('\n'))
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

bool TstServiceLog::sentToBus(const QByteArray& bytes) const {
    for (const SimTraffic& t : bus->traffic()) {
        if (t.direction == SimTraffic::In && t.bytes.contains(bytes))
            return true;
    }
    return false;
}

void TstServiceLog::readLogLandsInWindow_data() {
    QTest::addColumn<bool>("cycleOn");
    QTest::newRow("reading cycle running") << true;
    QTest::newRow("reading cycle stopped") << false;
}

void TstServiceLog::readLogLandsInWindow() {
    QFETCH(bool, cycleOn);
    scanAndSelectFirst();
    if (cycleOn) {
        w->Execute(f()->ActRenew);
        QVERIFY(w->TimerRead.isActive());
    }
    const QByteArray events = bus->detector(1)->eventLog();
    const int tx = w->TxCount;

    w->Execute(f()->ActReadLog);
    QVERIFY(w->CmdPending && w->LogReading && !w->LogErasing);
    QCOMPARE(w->TxCount, tx + 1);
    QVERIFY(!w->TimerRead.isActive());
    QVERIFY(w->TimerProgress.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w->StatusPanelText(3).startsWith("Чтение лога событий  #"), 5000);
    waitForExchangeEnd();

    QCOMPARE(prompts->shown, QStringList{});
    QCOMPARE(w->RawLog.size(), kpx::RawLogSize);
    for (int n = 0; n < kpx::LogBlockCount; ++n) {
        const QByteArray block = w->RawLog.mid(n * kpx::LogBlockSize, kpx::LogBlockSize);
        QCOMPARE(block.left(kpx::LogBlockPreamble), "#01LOG" + QByteArray::number(n) + ":");
        QCOMPARE(block.mid(kpx::LogBlockPreamble), events.mid(n * 256, 256));
    }
    QVERIFY(logWindow->isVisible());
    QCOMPARE(logWindow->windowTitle(), nodeOf(1)->text(0) + ".  Лог событий");
    TFormLog expected;
    expected.FillLog(w->RawLog);
    QCOMPARE(logWindow->Cells(), expected.Cells());
    QVERIFY(logWindow->LogRowCount() > 21); // the simulated log holds more than a screenful
    QCOMPARE(logLines("> ASCII"), 1);
    QCOMPARE(logLines("> Чтение блока №"), 4);
    QCOMPARE(logLines("> MODBUS"), 1);
    for (int n = 0; n < 4; ++n)
        QVERIFY(sentToBus("#01RDLOG" + QByteArray::number(n) + "\r"));
    QVERIFY(!bus->detector(1)->inServiceMode());
    verifyModbusLineBack();

    // The cycle comes back as it was, and reads over Modbus again.
    QCOMPARE(w->TimerRead.isActive(), cycleOn);
    const int rx = w->RxCount;
    if (!cycleOn)
        w->Execute(f()->ActRenew);
    QTRY_VERIFY_WITH_TIMEOUT(w->RxCount > rx, 10000);
    QCOMPARE(prompts->shown, QStringList{});
}

void TstServiceLog::eraseLog() {
    scanAndSelectFirst();
    QVERIFY(!bus->detector(1)->eventLog().isEmpty());
    const QByteArray before = bus->detector(1)->eventLog();
    w->Execute(f()->ActDelLog);
    QVERIFY(w->CmdPending && w->LogErasing && !w->LogReading);
    QVERIFY(w->TimerProgress.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w->StatusPanelText(3).startsWith("Удаление лога событий  #"), 5000);
    waitForExchangeEnd();

    QCOMPARE(prompts->shown, QStringList{"message: Лог событий очищен."});
    QVERIFY(bus->detector(1)->eventLog() != before);
    QVERIFY(sentToBus("#01WRLOG\r"));
    QCOMPARE(logLines("> Удаление"), 1);
    QCOMPARE(logLines("> MODBUS"), 1);
    QVERIFY(!logWindow->isVisible());
    verifyModbusLineBack();
    QVERIFY(!w->TimerRead.isActive());
}

// The zero of a toxic sensor on old firmware rewrites its parameter block
// through the service mode; an erase before it must not turn it into another
// erase.
void TstServiceLog::toxicZeroAfterErase() {
    scanAndSelectFirst();
    w->Execute(f()->ActDelLog);
    waitForExchangeEnd();
    QCOMPARE(prompts->shown, QStringList{"message: Лог событий очищен."});

    QTreeWidgetItem* two = nodeOf(2);
    QVERIFY(two);
    w->DevTreeMouseDown(Qt::LeftButton, LabelPos(f()->DevTree, two));
    QCOMPARE(w->SelectedAddress(), 2);
    const int rx = w->RxCount;
    w->Execute(f()->ActRenew);
    QTRY_VERIFY_WITH_TIMEOUT(w->RxCount > rx && !w->Reading, 10000);
    w->Execute(f()->ActReadStop);
    prompts->shown.clear();
    bus->clearTraffic();

    QVERIFY(qAbs(bus->detector(2)->reading()) > 1);
    w->Execute(f()->ActZero2);
    QTRY_VERIFY_WITH_TIMEOUT(f()->Log->toPlainText().contains("> ASCII"), 10000);
    waitForExchangeEnd();
    QCOMPARE(prompts->shown, (QStringList{"confirm: Установить показания в 0?",
                                          "message: Установка 0 произведена"}));
    QVERIFY(!sentToBus("WRLOG") && !sentToBus("RDLOG"));
    QVERIFY(sentToBus("RDTOXIC\r") && sentToBus("CONC?\r") && sentToBus("#02WRTOXIC"));
    QVERIFY(sentToBus("MODBUS\r"));
    // The erase's and the zero's.
    QCOMPARE(logLines("> MODBUS"), 2);
    QVERIFY2(qAbs(bus->detector(2)->reading()) < 1e-3,
             qPrintable(QString::number(bus->detector(2)->reading())));
    QVERIFY(!bus->detector(2)->inServiceMode());
    verifyModbusLineBack();
}

// A sensor that does not answer RDTOXIC (a combustible one stays silent)
// gets nothing written; the exchange driven directly, as on the echo.
void TstServiceLog::toxicZeroUnanswered() {
    scanAndSelectFirst();
    const QString panel3 = w->StatusPanelText(3);
    w->CmdNode = w->SelNode;
    w->CmdPending = true;
    w->LogReading = w->LogErasing = false;
    w->TimerWriteTimer();
    QCOMPARE(prompts->shown, (QStringList{"message: Установка 0. Ошибка №2!",
                                          "message: Ошибка: Необходим перезапуск прибора и KPX "
                                          "Tool!"}));
    QVERIFY(sentToBus("RDTOXIC\r"));
    QVERIFY(!sentToBus("CONC?") && !sentToBus("WRTOXIC") && !sentToBus("MODBUS"));
    QVERIFY(!w->CmdPending && !w->ServiceRunning);
    verifyModbusLineBack(false);
    QCOMPARE(w->StatusPanelText(3), panel3);
}

void TstServiceLog::failuresRestartWarning_data() {
    QTest::addColumn<bool>("erase");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("blockLines");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("modbusSent");
    QTest::newRow("block 2 short")
        << false << "shortLogBlock" << 3 << "Чтение лога. Ошибка №4!" << false;
    QTest::newRow("read, MODBUS unacknowledged")
        << false << "noModbusAck" << 4 << "Чтение лога. Ошибка №5!" << true;
    QTest::newRow("erase, MODBUS unacknowledged")
        << true << "noModbusAck" << 0 << "Удаление лога. Ошибка №5!" << true;
}

void TstServiceLog::failuresRestartWarning() {
    QFETCH(bool, erase);
    QFETCH(QString, fault);
    QFETCH(int, blockLines);
    QFETCH(QString, error);
    QFETCH(bool, modbusSent);
    scanAndSelectFirst();
    QString why;
    QVERIFY2(simSetFault(bus->detector(1)->faults(), fault, fault == "shortLogBlock" ? 2 : 1, &why),
             qPrintable(why));

    w->Execute(erase ? f()->ActDelLog : f()->ActReadLog);
    waitForExchangeEnd();

    QCOMPARE(prompts->shown, (QStringList{"message: " + error,
                                          "message: Ошибка: Необходим перезапуск прибора и KPX "
                                          "Tool!"}));
    QCOMPARE(logLines("> Чтение блока №"), blockLines);
    QCOMPARE(logLines("> MODBUS"), 0);
    QCOMPARE(sentToBus("MODBUS\r"), modbusSent);
    QVERIFY(!logWindow->isVisible());
    verifyModbusLineBack();
}

void TstServiceLog::switchNotTakenEndsLogOperation_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("time-out") << "silent"
                              << "Ошибка градуировки!";
    QTest::newRow("exception") << "exceptionRegister"
                               << "Ошибка записи!";
}

void TstServiceLog::switchNotTakenEndsLogOperation() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    scanAndSelectFirst();
    QString why;
    QVERIFY2(simSetFault(bus->detector(1)->faults(), fault, fault == "silent" ? 1 : 99, &why),
             qPrintable(why));
    w->Execute(f()->ActReadLog);
    QVERIFY(w->LogReading);
    QTRY_COMPARE_WITH_TIMEOUT(prompts->shown, QStringList{"message: " + message}, 10000);
    QVERIFY(!w->CmdPending && !w->LogReading && !w->LogErasing);
    QVERIFY(!w->TimerProgress.isActive());
    QCOMPARE(w->StatusPanelText(3), QString());
    QTest::qWait(800);
    // No service exchange follows.
    QVERIFY(!w->TimerWrite.isActive() && !w->ServiceRunning);
    QCOMPARE(logLines("> ASCII"), 0);
    QVERIFY(!sentToBus("RDLOG"));
}

void TstServiceLog::busCommandsIgnoredDuringExchange() {
    scanAndSelectFirst();
    bus->detector(1)->faults().slowMs = 300;
    bool checked = false;
    whenSent("#01RDLOG1", [&] {
        QVERIFY(w->ServiceRunning);
        const int tx = w->TxCount;
        for (QAction* a :
             {f()->ActRenew, f()->ActReadLog, f()->ActDelLog, f()->ActZero, f()->ActFind})
            a->trigger();
        w->TimerRead.start(1);
        QTest::qWait(50);
        w->TimerRead.stop();
        QCOMPARE(w->TxCount, tx);
        QVERIFY(!w->Searching);
        checked = true;
    });
    w->Execute(f()->ActReadLog);
    waitForExchangeEnd();
    QVERIFY(checked);
    QCOMPARE(prompts->shown, QStringList{});
    QVERIFY(logWindow->isVisible());
}

void TstServiceLog::adapterPulledDuringExchange() {
    scanAndSelectFirst();
    const QString port = w->Exchange().PortName();
    bus->detector(1)->faults().slowMs = 300;
    whenSent("#01RDLOG1", [this] { bus->closeLink(); });
    w->Execute(f()->ActReadLog);
    waitForExchangeEnd();
    QTest::qWait(300);

    const QString lost = "Связь с портом " + port + " потеряна: адаптер отключён.";
    QCOMPARE(prompts->shown.count("error: " + lost), 1);
    QCOMPARE(prompts->shown.filter("Чтение лога. Ошибка №").size(), 1);
    QCOMPARE(prompts->shown.count("message: Ошибка: Необходим перезапуск прибора и KPX Tool!"), 1);
    QCOMPARE(prompts->shown.size(), 3);
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(!logWindow->isVisible());
    verifyModbusLineBack();
    QVERIFY(!w->TimerRead.isActive());
    QVERIFY(f()->ActFind->isEnabled());
}

void TstServiceLog::windowClosedDuringExchange() {
    scanAndSelectFirst();
    bus->detector(1)->faults().slowMs = 300;
    w->Execute(f()->ActRenew);
    whenSent("#01RDLOG1", [this] { w->close(); });
    w->Execute(f()->ActReadLog);
    waitForExchangeEnd();
    QVERIFY(!w->Exchange().IsOpen());
    QCOMPARE(prompts->shown, QStringList{});
    QVERIFY(!logWindow->isVisible());
    QVERIFY(!w->TimerRead.isActive());
}

QTEST_MAIN(TstServiceLog)
#include "tst_servicelog.moc"
