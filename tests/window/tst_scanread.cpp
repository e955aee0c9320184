#include "Device.h"
#include "Forms.h"
#include "PtyResponder.h"
#include "RegisterMap.h"
#include "ScriptedPrompts.h"
#include "UnitMain.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {
// A request handed to the master is on the line after the master's 15 ms
// pause between frames. A check that nothing was sent waits twenty times as
// long, so that a stray request would show even on a loaded machine.
constexpr int kNothingSentMs = 300;

// A bus of detectors by address and identification number; each answers the
// probe with its number and a block read with register n = n.
QByteArray busAnswer(const QMap<int, quint32>& bus, const QByteArray& req) {
    const int address = quint8(req[0]);
    if (!bus.contains(address))
        return {};
    if (req[1] == 6)
        return req;
    const int start = quint8(req[3]);
    const int count = quint8(req[5]);
    QByteArray body;
    body += char(address);
    body += char(3);
    body += char(count * 2);
    for (int r = start; r < start + count; ++r) {
        quint16 v = quint16(r);
        if (r == 1)
            v = quint16(bus[address] >> 16);
        if (r == 2)
            v = quint16(bus[address] & 0xFFFF);
        body += char(v >> 8);
        body += char(v & 0xFF);
    }
    return PtyResponder::withCrc(body);
}
} // namespace

class TstScanRead : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void kinds_data();
    void kinds();
    void scanBuildsTreeInOrderFound();
    void scanEndsAfterLastAddress();
    void scanOpenFailureLeavesTree();
    void scanIgnoredWhileBusy();
    void treeClicks();
    void logMenuFollowsFirmware_data();
    void logMenuFollowsFirmware();
    void readWithoutSelection_data();
    void readWithoutSelection();
    void readingCycle();
    void scanStopsTheCycle();
    void stopWaitsForOutstandingRead();
    void oneShotReads();
    void delayReadsOnlyAfterLongWaits_data();
    void delayReadsOnlyAfterLongWaits();
    void progressMark();
    void closeDuringScanEndsItFirst();
    void waitsEndWhenWindowCloses_data();
    void waitsEndWhenWindowCloses();

private:
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    PtyResponder* pty = nullptr;
    QMap<int, quint32> bus;
    Ui::TFormMain* f() const { return w->Form(); }
    void scan(int lastAddress);
    QPoint nodePos(QTreeWidgetItem* node) const {
        return f()->DevTree->visualItemRect(node).topLeft() + QPoint(10, 5);
    }
    QTreeWidgetItem* detectorNode(int group, int child) const {
        return f()->DevTree->topLevelItem(group)->child(child);
    }
};

void TstScanRead::init() {
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    w->show();
    pty = new PtyResponder;
    bus = {{2, 9500001}, {4, 9400000}, {5, 9700000}, {6, 9499999}};
    pty->setScript([this](const QByteArray& req) { return busAnswer(bus, req); });
    w->PreselectPort(pty->slavePath());
}

void TstScanRead::cleanup() {
    delete w;
    delete prompts;
    delete pty;
}

// Runs a scan over addresses 1..lastAddress one step at a time, then lets it end.
void TstScanRead::scan(int lastAddress) {
    const int answeredBefore = w->RxCount;
    w->Execute(f()->ActFind);
    QVERIFY(w->Searching);
    QCOMPARE(w->TimerFind.interval(), 600);
    QCOMPARE(f()->BtFind->defaultAction(), f()->ActStop);
    w->TimerFind.stop();
    for (int a = 1; a <= lastAddress; ++a) {
        w->TimerFindTimer();
        QCOMPARE(w->StatusPanelText(3), QString("Поиск: %1").arg(a));
        QTRY_COMPARE(pty->requests().size(), a);
    }
    // The last answers come in before the scan ends.
    int answering = 0;
    for (int a = 1; a <= lastAddress; ++a)
        answering += bus.contains(a) ? 1 : 0;
    QTRY_COMPARE(w->RxCount, answeredBefore + answering);
    w->ScanAddr = 247;
    w->TimerFindTimer();
    QVERIFY(!w->Searching);
}

void TstScanRead::kinds_data() {
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("kind");
    QTest::newRow("negative") << qint64(0x80000000) << 3;
    QTest::newRow("9399999") << qint64(9399999) << 3;
    QTest::newRow("9400000") << qint64(9400000) << 0;
    QTest::newRow("9499999") << qint64(9499999) << 0;
    QTest::newRow("9500000") << qint64(9500000) << 1;
    QTest::newRow("9600000") << qint64(9600000) << 2;
    QTest::newRow("9699999") << qint64(9699999) << 2;
    QTest::newRow("9700000") << qint64(9700000) << -1;
}

void TstScanRead::kinds() {
    QFETCH(qint64, id);
    QFETCH(int, kind);
    w->Searching = true;
    w->DeviceFound(9, uint32_t(id));
    if (kind < 0) {
        QVERIFY(!w->Devices[9]);
        QCOMPARE(f()->DevTree->topLevelItemCount(), 0);
        return;
    }
    QVERIFY(w->Devices[9]);
    QCOMPARE(w->Devices[9]->Kind, kind);
    QCOMPARE(w->KindNode[size_t(kind)], f()->DevTree->topLevelItem(0));
    QCOMPARE(detectorNode(0, 0)->data(0, Qt::UserRole).toInt(), 9);
}

void TstScanRead::scanBuildsTreeInOrderFound() {
    scan(7);
    // Kind 1 was found first, so its group comes first; 9700000 is not listed.
    QCOMPARE(f()->DevTree->topLevelItemCount(), 2);
    QCOMPARE(f()->DevTree->topLevelItem(0)->text(0), QString("КРХ-22"));
    QCOMPARE(f()->DevTree->topLevelItem(1)->text(0), QString("КРХ-21"));
    QCOMPARE(detectorNode(0, 0)->text(0), QString("#2 : 09500001"));
    QCOMPARE(detectorNode(1, 0)->text(0), QString("#4 : 09400000"));
    QCOMPARE(detectorNode(1, 1)->text(0), QString("#6 : 09499999"));
    QVERIFY(detectorNode(1, 1)->isExpanded() || detectorNode(1, 1)->childCount() == 0);
    QVERIFY(f()->DevTree->topLevelItem(1)->isExpanded());
    QVERIFY(!w->Devices[5]);

    // Every answer is dumped, the ignored one too, each followed by an empty line.
    const QString log = f()->Log->toPlainText();
    QVERIFY(log.contains("Прибор:5  Функция:03  Регистр:0001 = 0094\n"
                         "Прибор:5  Функция:03  Регистр:0002 = 02A0\n\n"));
    QVERIFY(log.endsWith("Поиск окончен"));
    QVERIFY(!log.contains("Timeout!"));
    QCOMPARE(w->StatusPanelText(3), QString("Поиск окончен"));
    QCOMPARE(w->StatusPanelText(1), QString("Tx: 7"));
    QCOMPARE(w->StatusPanelText(2), QString("Rx: 4"));
    QCOMPARE(f()->BtFind->defaultAction(), f()->ActFind);
    QCOMPARE(f()->BtFind->actions(), QList<QAction*>{f()->ActFind}); // no menu arrow
    for (QAction* a : {f()->ActRenew, f()->ActSaveToFile, f()->ActReadLog, f()->ActDelLog})
        QVERIFY(a->isEnabled());
    QVERIFY(w->Exchange().IsOpen());

    // A second scan forgets the first.
    w->SelNode = detectorNode(0, 0);
    w->Execute(f()->ActFind);
    QCOMPARE(f()->DevTree->topLevelItemCount(), 0);
    QVERIFY(!w->SelNode && !w->Devices[2]);
    QVERIFY(!f()->DevPanel->isEnabled());
    QCOMPARE(w->TimerFind.interval(), 600);
    w->Execute(f()->ActStop);
}

void TstScanRead::scanEndsAfterLastAddress() {
    bus = {{246, 9400001}, {247, 9500001}};
    w->Execute(f()->ActFind);
    w->TimerFind.stop();
    w->ScanAddr = 245;
    w->TimerFindTimer();
    w->TimerFindTimer();
    QVERIFY(w->Searching);
    QCOMPARE(w->StatusPanelText(3), QString("Поиск: 247"));
    QTRY_COMPARE(pty->requests().size(), 2);
    QCOMPARE(quint8(pty->requests()[0][0]), quint8(246));
    QCOMPARE(quint8(pty->requests()[1][0]), quint8(247));
    QTRY_VERIFY(w->Devices[247]);

    // The tick after the last address ends the scan without a probe of its own.
    w->TimerFindTimer();
    QVERIFY(!w->Searching);
    QCOMPARE(w->StatusPanelText(3), QString("Поиск окончен"));
    QCOMPARE(w->StatusPanelText(1), QString("Tx: 2"));
    QCOMPARE(detectorNode(1, 0)->text(0), QString("#247 : 09500001"));
}

void TstScanRead::scanOpenFailureLeavesTree() {
    w->Searching = true;
    w->DeviceFound(2, 9500001);
    w->Searching = false;
    w->ComBoxChange("/dev/kpx-no-such-port");
    w->Execute(f()->ActFind);
    QCOMPARE(prompts->shown.size(), 1);
    QVERIFY(prompts->shown[0].startsWith("message: "));
    QVERIFY(!w->Searching && !w->TimerFind.isActive());
    QCOMPARE(f()->DevTree->topLevelItemCount(), 1);
}

void TstScanRead::scanIgnoredWhileBusy() {
    w->Writing = true;
    w->Execute(f()->ActFind);
    QVERIFY(!w->Searching);
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(prompts->shown.isEmpty());
}

void TstScanRead::treeClicks() {
    scan(4);
    QTreeWidgetItem* group = f()->DevTree->topLevelItem(0);
    QTreeWidgetItem* det = detectorNode(0, 0);

    w->DevTreeMouseDown(Qt::LeftButton, nodePos(group));
    QCOMPARE(w->DownNode, group);
    QVERIFY(!w->SelNode);
    const int sent = pty->requests().size();
    w->DevTreeDblClick();
    QTest::qWait(kNothingSentMs);
    QCOMPARE(pty->requests().size(), sent);

    // A right click on a detector not read yet selects it; its firmware is
    // unknown, so no menu.
    w->DevTreeMouseDown(Qt::RightButton, nodePos(det));
    QCOMPARE(w->SelNode, det);
    QVERIFY(prompts->shown.isEmpty());

    // Empty space changes nothing; the double click reads the selected detector.
    w->DevTreeMouseDown(Qt::LeftButton, QPoint(5, f()->DevTree->viewport()->height() - 3));
    QCOMPARE(w->DownNode, det);
    w->DevTreeDblClick();
    QCOMPARE(f()->DevPanelCaption->text(), QString("#2 : 09500001"));
    QTRY_COMPARE(pty->requests().size(), sent + 1);
    QCOMPARE(pty->requests().last(), QByteArray::fromHex("0203000000130434"));
    QVERIFY(!w->Reading && !w->TimerRead.isActive());
}

void TstScanRead::logMenuFollowsFirmware_data() {
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("menu");
    // Builds with bits 0 and 1 of the version set have the log from 9.90 on,
    // those with bits 0 and 2 from 8.40 on.
    QTest::newRow("9.93") << qint64(9400000) << 0x0993 << true;
    QTest::newRow("9.8F") << qint64(9400000) << 0x098F << false;
    QTest::newRow("8.45") << qint64(9500000) << 0x0845 << true;
    QTest::newRow("8.3D") << qint64(9500000) << 0x083D << false;
    QTest::newRow("not read yet") << qint64(9400000) << 0 << false;
    QTest::newRow("kind 3") << qint64(9300000) << 0x0993 << false;
}

void TstScanRead::logMenuFollowsFirmware() {
    QFETCH(qint64, id);
    QFETCH(int, version);
    QFETCH(bool, menu);
    w->DeviceFound(9, uint32_t(id));
    w->Devices[9]->Registers[kpx::Reg::Version] = quint16(version); // as a read leaves it
    auto* menuLog = w->findChild<QMenu*>("MenuLog");
    QVERIFY(menuLog);
    QSignalSpy aboutToShow(menuLog, &QMenu::aboutToShow);

    w->DevTreeMouseDown(Qt::RightButton, nodePos(detectorNode(0, 0)));
    QCOMPARE(w->SelNode, detectorNode(0, 0));
    QCOMPARE(aboutToShow.count(), int(menu));
    QCOMPARE(menuLog->isVisible(), menu);
    menuLog->close();
}

void TstScanRead::readWithoutSelection_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TstScanRead::readWithoutSelection() {
    QFETCH(bool, answer);
    scan(2);
    prompts->answers = {answer};
    w->Execute(f()->ActRenew);
    QCOMPARE(prompts->shown, QStringList{"warning: Укажите прибор!"});
    QVERIFY(!w->TimerRead.isActive() && !w->Reading);
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
}

void TstScanRead::readingCycle() {
    scan(4);
    w->SelNode = w->DownNode = detectorNode(0, 0);
    const int sent = pty->requests().size();
    w->Execute(f()->ActRenew);
    QVERIFY(w->Reading);
    QVERIFY(w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActReadStop);
    QCOMPARE(f()->BtRead->text(), QString("Стоп"));
    QCOMPARE(w->StatusPanelText(3), QString("Автоматическое чтение"));
    QVERIFY(!f()->ActWriteOpt->isEnabled() && !f()->SpBtSetOptions->isEnabled());
    QVERIFY(!f()->ActWriteAddr->isEnabled() && !f()->SpBtSetAddr->isEnabled());
    QTRY_VERIFY(!w->Reading);

    // Each tick reads the detector selected at that moment.
    w->SelNode = detectorNode(1, 0);
    w->TimerReadTimer();
    QCOMPARE(f()->DevPanelCaption->text(), QString("#4 : 09400000"));
    QTRY_COMPARE(pty->requests().size(), sent + 2);
    QCOMPARE(quint8(pty->requests().last()[0]), quint8(4));

    // While a command holds the line the tick sends nothing.
    QTRY_VERIFY(!w->Reading);
    w->CmdPending = true;
    w->TimerReadTimer();
    QTest::qWait(kNothingSentMs);
    QCOMPARE(pty->requests().size(), sent + 2);
    w->CmdPending = false;

    w->Execute(f()->ActReadStop);
    QVERIFY(!w->TimerRead.isActive() && !w->Reading);
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    QVERIFY(f()->ActWriteOpt->isEnabled() && f()->SpBtSetAddr->isEnabledTo(f()->DevPanel));
    QCOMPARE(w->StatusPanelText(3), QString());
}

void TstScanRead::scanStopsTheCycle() {
    scan(2);
    w->SelNode = detectorNode(0, 0);
    w->Execute(f()->ActRenew);
    QTRY_VERIFY(!w->Reading);
    // The read enabled the commands on the detector; the scan takes them back.
    const QList<QAction*> detectorCommands{f()->ActZero, f()->ActZero2,   f()->ActCalb,
                                           f()->ActInit, f()->ActReadLog, f()->ActDelLog};
    for (QAction* a : detectorCommands)
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    w->Execute(f()->ActFind);
    w->TimerFind.stop();
    for (QAction* a : detectorCommands)
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    // "Читать" during a scan does nothing.
    const int sent = pty->requests().size();
    w->Execute(f()->ActRenew);
    QCOMPARE(pty->requests().size(), sent);
    w->TimerReadTimer();
    QVERIFY(!w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    QCOMPARE(w->StatusPanelText(3), QString());
    QVERIFY(w->Searching);
    w->Execute(f()->ActStop);
}

void TstScanRead::stopWaitsForOutstandingRead() {
    scan(2);
    w->SelNode = detectorNode(0, 0);
    // The detector answers late: the stop must wait for it.
    pty->setScript([](const QByteArray&) { return QByteArray(); });
    w->Execute(f()->ActRenew);
    QVERIFY(w->Reading);
    QElapsedTimer clock;
    clock.start();
    w->Execute(f()->ActReadStop);
    QVERIFY2(clock.elapsed() >= 900, "returned before the read's time-out");
    QVERIFY(f()->Log->toPlainText().endsWith("Timeout!"));
    QVERIFY(!w->Reading && f()->ActWriteOpt->isEnabled());
}

void TstScanRead::oneShotReads() {
    scan(2);
    w->SelNode = detectorNode(0, 0);
    const int sent = pty->requests().size();
    w->StartReadOnes(1000);
    QCOMPARE(w->TimerReadOnes.interval(), 1000);
    w->TimerReadOnesTimer();
    QVERIFY(!w->TimerReadOnes.isActive());
    QTRY_COMPARE(pty->requests().size(), sent + 1);
    QVERIFY(!w->Reading && !w->TimerRead.isActive());

    // The delay service reads only after long waits.
    w->Delay(30);
    QTest::qWait(kNothingSentMs);
    QCOMPARE(pty->requests().size(), sent + 1);
    w->Timer5sec.setInterval(15000);
    w->Timer5secTimer();
    QTRY_COMPARE(pty->requests().size(), sent + 2);

    // A scan started meanwhile: nothing is selected, nothing read.
    w->Execute(f()->ActFind);
    w->Execute(f()->ActStop);
    w->TimerReadOnesTimer();
    QTest::qWait(kNothingSentMs);
    QCOMPARE(pty->requests().size(), sent + 2);
}

void TstScanRead::delayReadsOnlyAfterLongWaits_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("reads");
    QTest::newRow("2 s") << 2000 << false;
    QTest::newRow("10 s") << 10000 << false;
    QTest::newRow("just over 10 s") << 10001 << true;
    QTest::newRow("15 s") << 15000 << true;
}

void TstScanRead::delayReadsOnlyAfterLongWaits() {
    QFETCH(int, interval);
    QFETCH(bool, reads);
    scan(2);
    w->SelNode = detectorNode(0, 0);
    const int sent = pty->requests().size();
    w->Timer5sec.setInterval(interval);
    w->Timer5secTimer();
    // The master sends in order: once this probe is on the wire, a read the
    // delay had asked for would be there before it.
    w->Exchange().Probe(4);
    const QByteArray probe = PtyResponder::withCrc(QByteArray::fromHex("040300010002"));
    QTRY_VERIFY(!pty->requests().isEmpty() && pty->requests().last() == probe);
    QList<QByteArray> expected{probe};
    if (reads)
        expected.prepend(QByteArray::fromHex("0203000000130434"));
    QCOMPARE(pty->requests().mid(sent), expected);
}

void TstScanRead::progressMark() {
    w->ProgressText = "Чтение лога событий  ";
    w->TimerProgressTimer();
    w->TimerProgressTimer();
    QCOMPARE(w->StatusPanelText(3), QString("Чтение лога событий  ##"));
}

void TstScanRead::closeDuringScanEndsItFirst() {
    w->Execute(f()->ActFind);
    QVERIFY(w->Searching && w->Exchange().IsOpen());
    w->Searching = true;
    w->DeviceFound(2, 9500001);
    // The scan's end is logged while the port is still open, then it closes.
    bool openWhenLogged = false;
    connect(f()->Log, &QPlainTextEdit::textChanged, this, [&] {
        if (f()->Log->toPlainText().endsWith("Поиск окончен"))
            openWhenLogged = w->Exchange().IsOpen();
    });
    QVERIFY(w->close());
    QVERIFY(openWhenLogged);
    QCOMPARE(w->StatusPanelText(3), QString("Поиск окончен"));
    QVERIFY(!w->Searching && !w->TimerFind.isActive());
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(!w->Devices[2]);
}

void TstScanRead::waitsEndWhenWindowCloses_data() {
    QTest::addColumn<bool>("delay");
    QTest::newRow("delay service") << true;
    QTest::newRow("outstanding read") << false;
}

// Both nested waits would otherwise outlive the window: a minute's delay, and
// a read that no reply or time-out will ever end.
void TstScanRead::waitsEndWhenWindowCloses() {
    QFETCH(bool, delay);
    w->show();
    QTimer::singleShot(100, w, [this] { w->close(); });
    QElapsedTimer clock;
    clock.start();
    if (delay) {
        w->Delay(60000);
    } else {
        w->Reading = true;
        w->WaitWhileReading();
    }
    QVERIFY2(clock.elapsed() < 5000, "the wait outlived the window");
    QVERIFY(!w->isVisible());
}

QTEST_MAIN(TstScanRead)
#include "tst_scanread.moc"
