#include "NumberFormat.h"
#include "PanelRules.h"

#include <QtTest>

using namespace kpx;

Q_DECLARE_METATYPE(LineEcho)
Q_DECLARE_METATYPE(CurrentPoint)

class TstPanelRules : public QObject {
    Q_OBJECT
private slots:
    void blockAccepted_data();
    void blockAccepted();
    void keptAndVersion_data();
    void keptAndVersion();
    void statusView_data();
    void statusView();
    void lineEcho_data();
    void lineEcho();
    void busAddress_data();
    void busAddress();
    void pointText_data();
    void pointText();
};

void TstPanelRules::blockAccepted_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("whole block") << 0 << 18 << true;
    QTest::newRow("one register") << 6 << 6 << true;
    QTest::newRow("last register alone") << 18 << 18 << true;
    QTest::newRow("one past the block") << 0 << 19 << false;
    QTest::newRow("starts past the block") << 19 << 19 << false;
    QTest::newRow("first after last") << 5 << 3 << false;
    QTest::newRow("negative first") << -1 << 3 << false;
}

void TstPanelRules::blockAccepted() {
    QFETCH(int, first);
    QFETCH(int, last);
    QTEST(BlockAccepted(first, last), "accepted");
}

void TstPanelRules::keptAndVersion_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("keepsFirst");
    QTest::addColumn<bool>("readsVersion");
    QTest::addColumn<bool>("fullRead");
    QTest::newRow("read of the block") << 3 << 0 << 18 << true << true << true;
    QTest::newRow("read ending before the version") << 3 << 0 << 15 << true << false << false;
    QTest::newRow("read starting at the version") << 3 << 16 << 18 << true << true << false;
    QTest::newRow("read starting after the version") << 3 << 17 << 18 << true << false << false;
    QTest::newRow("probe") << 3 << 1 << 2 << true << false << false;
    QTest::newRow("echo of the status word") << 6 << 4 << 4 << true << false << false;
    QTest::newRow("echo of the line word") << 6 << 0 << 0 << false << false << false;
    QTest::newRow("echo of the current") << 6 << 18 << 18 << false << false << false;
    QTest::newRow("echo of the version") << 6 << 16 << 16 << false << false << false;
}

void TstPanelRules::keptAndVersion() {
    QFETCH(int, function);
    QFETCH(int, first);
    QFETCH(int, last);
    QTEST(KeptFromReply(function, first), "keepsFirst");
    QTEST(ReadsVersion(function, first, last), "readsVersion");
    QTEST(IsFullRead(function, first, last), "fullRead");
}

void TstPanelRules::statusView_data() {
    QTest::addColumn<uint16_t>("status");
    QTest::addColumn<bool>("block");
    QTest::addColumn<int>("relay1");
    QTest::addColumn<int>("relay2");
    QTest::addColumn<int>("relayD");
    QTest::addColumn<bool>("setup");
    QTest::newRow("nothing set") << uint16_t(0x0000) << false << 0 << 0 << 0 << false;
    QTest::newRow("block only") << uint16_t(0x0100) << true << 0 << 0 << 0 << false;
    QTest::newRow("relay 1") << uint16_t(0x0400) << false << 1 << 0 << 0 << false;
    QTest::newRow("relay 2") << uint16_t(0x0800) << false << 0 << 1 << 0 << false;
    QTest::newRow("diagnostic relay") << uint16_t(0x1000) << false << 0 << 0 << 1 << false;
    QTest::newRow("fault, threshold and setup") << uint16_t(0x0203) << false << 0 << 0 << 0 << true;
    QTest::newRow("status bits are no settings")
        << uint16_t(0xE0FF) << false << 0 << 0 << 0 << false;
    QTest::newRow("everything") << uint16_t(0xFFFF) << true << 1 << 1 << 1 << true;
}

void TstPanelRules::statusView() {
    QFETCH(uint16_t, status);
    const StatusView view = StatusViewFor(status);
    QTEST(view.blockReadings, "block");
    QTEST(view.relay1, "relay1");
    QTEST(view.relay2, "relay2");
    QTEST(view.relayD, "relayD");
    QTEST(view.currentSetup, "setup");
}

void TstPanelRules::lineEcho_data() {
    QTest::addColumn<uint16_t>("stored");
    QTest::addColumn<uint16_t>("echoed");
    QTest::addColumn<LineEcho>("action");
    QTest::newRow("same word") << uint16_t(0x0555) << uint16_t(0x0555) << LineEcho::Keep;
    QTest::newRow("address only") << uint16_t(0x0555) << uint16_t(0x0755) << LineEcho::Move;
    QTest::newRow("baud rate") << uint16_t(0x0555) << uint16_t(0x0554) << LineEcho::Remove;
    QTest::newRow("parity") << uint16_t(0x0555) << uint16_t(0x0545) << LineEcho::Remove;
    QTest::newRow("stop bits") << uint16_t(0x0555) << uint16_t(0x0595) << LineEcho::Remove;
    QTest::newRow("address and baud rate")
        << uint16_t(0x0555) << uint16_t(0x0754) << LineEcho::Remove;
    QTest::newRow("never read before") << uint16_t(0x0000) << uint16_t(0x0500) << LineEcho::Move;
}

void TstPanelRules::lineEcho() {
    QFETCH(uint16_t, stored);
    QFETCH(uint16_t, echoed);
    QTEST(LineEchoAction(stored, echoed), "action");
}

void TstPanelRules::busAddress_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("broadcast") << 0 << false;
    QTest::newRow("first") << 1 << true;
    QTest::newRow("last") << 247 << true;
    QTest::newRow("reserved") << 248 << false;
    QTest::newRow("largest in a line word") << 255 << false;
}

void TstPanelRules::busAddress() {
    QFETCH(int, address);
    QTEST(IsBusAddress(address), "valid");
}

void TstPanelRules::pointText_data() {
    QTest::addColumn<CurrentPoint>("point");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 mA") << CurrentPoint::Point1mA << "1";
    QTest::newRow("4 mA") << CurrentPoint::Point4mA << "4";
    QTest::newRow("20 mA") << CurrentPoint::Point20mA << "20";
}

void TstPanelRules::pointText() {
    QFETCH(CurrentPoint, point);
    QTEST(PointText(point), "text");
}

QTEST_GUILESS_MAIN(TstPanelRules)
#include "tst_panelrules.moc"
