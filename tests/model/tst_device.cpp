#include "Device.h"
#include "PanelRules.h"
#include "RegisterMap.h"

#include <QtTest>
#include <limits>

using namespace kpx;

namespace {

TDevice device(int kind, uint16_t version, uint16_t gas, uint16_t unitWord = 0) {
    TDevice d;
    d.Kind = kind;
    d.Registers[Reg::Version] = version;
    d.Registers[Reg::Gas] = gas;
    d.Registers[Reg::UnitAndFaults] = unitWord;
    return d;
}

// Firmware past every gate of the decoding and every FirmwareBelow use.
constexpr uint16_t NewFirmware = 0x0A00;

} // namespace

class TstDevice : public QObject {
    Q_OBJECT
private slots:
    void kindFromSerial_data();
    void kindFromSerial();
    void serialFromRegisters_data();
    void serialFromRegisters();
    void freshRecordIsServiceableWithoutVersion();
    void firmwareBelow_data();
    void firmwareBelow();
    void decodingGates_data();
    void decodingGates();
    void lineWord_data();
    void lineWord();
    void settingsStatusWord_data();
    void settingsStatusWord();
    void editionFollowsFirmware_data();
    void editionFollowsFirmware();
    void unitList_data();
    void unitList();
    void gasList_data();
    void gasList();
};

void TstDevice::kindFromSerial_data() {
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("kind"); // -1: no record
    QTest::newRow("last KRKh-20") << 9399999 << 3;
    QTest::newRow("first KRKh-21") << 9400000 << 0;
    QTest::newRow("last KRKh-21") << 9499999 << 0;
    QTest::newRow("first KRKh-22") << 9500000 << 1;
    QTest::newRow("first KRKh-23") << 9600000 << 2;
    QTest::newRow("last KRKh-23") << 9699999 << 2;
    QTest::newRow("first ignored") << 9700000 << -1;
    QTest::newRow("largest") << std::numeric_limits<int32_t>::max() << -1;
    QTest::newRow("zero") << 0 << 3;
    QTest::newRow("negative") << -1 << 3;
}

void TstDevice::kindFromSerial() {
    QFETCH(int, serial);
    QFETCH(int, kind);
    QCOMPARE(KindFromSerial(serial).value_or(-1), kind);
}

void TstDevice::serialFromRegisters_data() {
    QTest::addColumn<uint16_t>("high");
    QTest::addColumn<uint16_t>("low");
    QTest::addColumn<int>("serial");
    QTest::newRow("9400000") << uint16_t(0x008F) << uint16_t(0x6EC0) << 9400000;
    QTest::newRow("high bit set is negative") << uint16_t(0xFFFF) << uint16_t(0xFFFF) << -1;
    QTest::newRow("low word only") << uint16_t(0) << uint16_t(0xFFFF) << 65535;
}

void TstDevice::serialFromRegisters() {
    QFETCH(uint16_t, high);
    QFETCH(uint16_t, low);
    QTEST(SerialFromRegisters(high, low), "serial");
}

// Between the scan and the first read the gates may already be consulted.
void TstDevice::freshRecordIsServiceableWithoutVersion() {
    const TDevice fresh;
    QVERIFY(!IsFaulty(fresh));
    QVERIFY(FirmwareBelow(fresh, EventLogMenuLimits));
    TDevice faulty;
    faulty.Registers[Reg::Status] = 0x0203;
    QVERIFY(IsFaulty(faulty));
}

void TstDevice::firmwareBelow_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<uint16_t>("limitA");
    QTest::addColumn<uint16_t>("limitB");
    QTest::addColumn<bool>("below");
    const uint16_t a = EditionALimits.limitA;
    const uint16_t b = EditionALimits.limitB;
    QTest::newRow("no version, kind 0") << 0 << uint16_t(0) << a << b << true;
    QTest::newRow("no version, kind 2") << 2 << uint16_t(0) << a << b << true;
    QTest::newRow("no version, unknown kind") << 7 << uint16_t(0) << a << b << true;
    QTest::newRow("kind 0, 0x0633: bits 0,1 but not below A")
        << 0 << uint16_t(0x0633) << a << b << false;
    QTest::newRow("kind 0, 0x0625: bits 0,2 below B") << 0 << uint16_t(0x0625) << a << b << true;
    QTest::newRow("kind 1, 0x062F: bits 0,1 below A") << 1 << uint16_t(0x062F) << a << b << true;
    QTest::newRow("kind 1, 0x0695: bits 0,2 not below B")
        << 1 << uint16_t(0x0695) << a << b << false;
    QTest::newRow("kind 0, 0x0600: no flavour bits") << 0 << uint16_t(0x0600) << a << b << false;
    QTest::newRow("kind 2, 0x0602: bit 1 below A") << 2 << uint16_t(0x0602) << a << b << true;
    QTest::newRow("kind 2, 0x0632: bit 1 not below A") << 2 << uint16_t(0x0632) << a << b << false;
    QTest::newRow("kind 2, 0x0683: bits 0,1 below B") << 2 << uint16_t(0x0683) << a << b << true;
    QTest::newRow("kind 2, 0x0625: kind 0 rule does not apply")
        << 2 << uint16_t(0x0625) << a << b << false;
    QTest::newRow("kind 3, newest") << 3 << uint16_t(0xFFFF) << a << b << true;
    QTest::newRow("unknown kind") << 4 << uint16_t(0x0001) << a << b << false;
    QTest::newRow("unsigned comparison")
        << 0 << uint16_t(0x8003) << uint16_t(0x0990) << uint16_t(0x0840) << false;
}

void TstDevice::firmwareBelow() {
    QFETCH(int, kind);
    QFETCH(uint16_t, version);
    QFETCH(uint16_t, limitA);
    QFETCH(uint16_t, limitB);
    QFETCH(bool, below);
    QCOMPARE(FirmwareBelow(kind, version, {limitA, limitB}), below);
    TDevice d;
    d.Kind = kind;
    d.Registers[Reg::Version] = version;
    QCOMPARE(FirmwareBelow(d, {limitA, limitB}), below);
}

void TstDevice::decodingGates_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<bool>("methane");
    QTest::addColumn<bool>("gas");
    QTest::addColumn<bool>("unit");
    QTest::newRow("no version is not old here") << 0 << uint16_t(0) << false << false << false;
    QTest::newRow("kind 3 always") << 3 << uint16_t(0) << true << true << true;
    QTest::newRow("kind 0, 0x051F") << 0 << uint16_t(0x051F) << true << true << true;
    QTest::newRow("kind 1, 0x0585") << 1 << uint16_t(0x0585) << true << true << true;
    QTest::newRow("kind 0, 0x0595") << 0 << uint16_t(0x0595) << true << false << true;
    QTest::newRow("kind 0, 0x0605") << 0 << uint16_t(0x0605) << true << false << false;
    QTest::newRow("kind 0, 0x0635") << 0 << uint16_t(0x0635) << false << false << false;
    QTest::newRow("kind 2, 0x047E") << 2 << uint16_t(0x047E) << true << true << true;
    QTest::newRow("kind 2, 0x04FE") << 2 << uint16_t(0x04FE) << true << false << true;
    QTest::newRow("kind 2, 0x0502") << 2 << uint16_t(0x0502) << false << false << false;
    QTest::newRow("kind 2, 0x05F3") << 2 << uint16_t(0x05F3) << true << false << true;
    QTest::newRow("kind 2, 0x0633") << 2 << uint16_t(0x0633) << false << false << false;
}

void TstDevice::decodingGates() {
    QFETCH(int, kind);
    QFETCH(uint16_t, version);
    QTEST(MethaneGate(kind, version), "methane");
    QTEST(GasGate(kind, version), "gas");
    QTEST(UnitGate(kind, version), "unit");
}

void TstDevice::lineWord_data() {
    QTest::addColumn<uint16_t>("word");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<int>("parityIndex");
    QTest::addColumn<int>("stopBitsIndex");
    QTest::newRow("#5, 19200 odd one") << uint16_t(0x0555) << 5 << 4 << 1 << 0;
    QTest::newRow("#247, 115200 even two") << uint16_t(0xF7A8) << 247 << 7 << 2 << 1;
    QTest::newRow("#1, 1200 none one") << uint16_t(0x0141) << 1 << 0 << 0 << 0;
}

void TstDevice::lineWord() {
    QFETCH(uint16_t, word);
    const DetectorLineSettings s = DecodeLineWord(word);
    QTEST(s.address, "address");
    QTEST(s.baudIndex, "baudIndex");
    QTEST(s.parityIndex, "parityIndex");
    QTEST(s.stopBitsIndex, "stopBitsIndex");
    QCOMPARE(EncodeLineWord(s), word);
}

void TstDevice::settingsStatusWord_data() {
    QTest::addColumn<uint16_t>("stored");
    QTest::addColumn<bool>("block");
    QTest::addColumn<int>("relay1");
    QTest::addColumn<int>("relay2");
    QTest::addColumn<int>("relayD");
    QTest::addColumn<uint16_t>("written");
    QTest::newRow("clears settings, keeps the rest")
        << uint16_t(0xFFFF) << false << 0 << 0 << 0 << uint16_t(0xE2FF);
    QTest::newRow("sets every setting")
        << uint16_t(0x0000) << true << 1 << 1 << 1 << uint16_t(0x1D00);
    QTest::newRow("keeps setup mode and fault")
        << uint16_t(0x0201) << false << 0 << 1 << 0 << uint16_t(0x0A01);
}

void TstDevice::settingsStatusWord() {
    QFETCH(uint16_t, stored);
    QFETCH(bool, block);
    QFETCH(int, relay1);
    QFETCH(int, relay2);
    QFETCH(int, relayD);
    QTEST(SettingsStatusWord(stored, block, relay1, relay2, relayD), "written");
}

void TstDevice::editionFollowsFirmware_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<bool>("editionA");
    QTest::newRow("kind 0, 0x0625") << 0 << uint16_t(0x0625) << true;
    QTest::newRow("kind 0, 0x0633") << 0 << uint16_t(0x0633) << false;
    QTest::newRow("no version") << 1 << uint16_t(0) << true;
    QTest::newRow("kind 3") << 3 << NewFirmware << true;
}

void TstDevice::editionFollowsFirmware() {
    QFETCH(int, kind);
    QFETCH(uint16_t, version);
    QFETCH(bool, editionA);
    QCOMPARE(GasTableFor(device(kind, version, 1)), editionA ? GasEditionA() : GasEditionB());
}

void TstDevice::unitList_data() {
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<uint16_t>("gas");
    QTest::addColumn<uint16_t>("unitWord");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("enabled");
    const QStringList hydrogenUnits = {QStringLiteral("%об."), QStringLiteral("%НКПР")};
    QTest::newRow("hydrogen, new firmware")
        << NewFirmware << uint16_t(32) << uint16_t(0x8000) << hydrogenUnits << 1 << true;
    QTest::newRow("hydrogen locked on old firmware")
        << uint16_t(0x0815) << uint16_t(32) << uint16_t(0) << hydrogenUnits << 0 << false;
    QTest::newRow("CO, second unit")
        << NewFirmware << uint16_t(24) << uint16_t(0xC000)
        << QStringList{QStringLiteral("млн-1"), QStringLiteral("мгм/м3")} << 1 << true;
    QTest::newRow("one unit") << NewFirmware << uint16_t(1) << uint16_t(0)
                              << QStringList{QStringLiteral("%НКПР"), QStringLiteral("%НКПР")} << 0
                              << false;
    QTest::newRow("unknown gas") << NewFirmware << uint16_t(300) << uint16_t(0)
                                 << QStringList{QStringLiteral("%НКПР"), QStringLiteral("%НКПР")}
                                 << 0 << false;
}

void TstDevice::unitList() {
    QFETCH(uint16_t, version);
    QFETCH(uint16_t, gas);
    QFETCH(uint16_t, unitWord);
    const UnitListView view = UnitListFor(GasEditionB(), device(0, version, gas, unitWord));
    QTEST(view.entries, "entries");
    QTEST(view.selected, "selected");
    QTEST(view.enabled, "enabled");
}

void TstDevice::gasList_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<uint16_t>("gas");
    QTest::addColumn<uint16_t>("unitWord");
    QTest::addColumn<int>("hideMethane");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("gasEnabled");
    QTest::addColumn<bool>("unitLocked");
    const QString none;
    QTest::newRow("propane, new firmware")
        << 0 << NewFirmware << uint16_t(2) << uint16_t(0) << 0 << 19 << "Метан" << 1
        << "Пропан : C3H8" << true << false;
    QTest::newRow("propane, methane hidden by the detector")
        << 0 << NewFirmware << uint16_t(2) << uint16_t(0x4000) << 1 << 18 << "Пропан" << 0
        << "Пропан : C3H8" << true << false;
    QTest::newRow("methane while hidden: formula only")
        << 0 << NewFirmware << uint16_t(1) << uint16_t(0x4000) << 1 << 1 << "CH4" << 0 << none
        << false << false;
    QTest::newRow("oxygen is never offered") << 0 << NewFirmware << uint16_t(23) << uint16_t(0) << 0
                                             << 1 << "O2" << 0 << none << false << false;
    QTest::newRow("unknown gas shows the placeholder")
        << 0 << NewFirmware << uint16_t(257) << uint16_t(0) << 0 << 1 << "???" << 0 << none << false
        << false;
    QTest::newRow("kind 3: methane hidden, lists locked")
        << 3 << NewFirmware << uint16_t(2) << uint16_t(0) << 1 << 18 << "Пропан" << 0
        << "Пропан : C3H8" << false << true;
    QTest::newRow("every gate") << 0 << uint16_t(0x0585) << uint16_t(4) << uint16_t(0) << 1 << 18
                                << "Пропан" << 1 << "Этан : C2H6" << false << true;
    QTest::newRow("methane and unit gates")
        << 0 << uint16_t(0x0595) << uint16_t(4) << uint16_t(0) << 1 << 18 << "Пропан" << 1
        << "Этан : C2H6" << true << true;
    QTest::newRow("methane gate only") << 0 << uint16_t(0x0605) << uint16_t(4) << uint16_t(0) << 1
                                       << 18 << "Пропан" << 1 << "Этан : C2H6" << true << false;
}

void TstDevice::gasList() {
    QFETCH(int, kind);
    QFETCH(uint16_t, version);
    QFETCH(uint16_t, gas);
    QFETCH(uint16_t, unitWord);
    const GasListView view = GasListFor(GasEditionB(), device(kind, version, gas, unitWord));
    QTEST(view.hideMethane, "hideMethane");
    QTEST(int(view.entries.size()), "count");
    QTEST(view.entries.first(), "first");
    QTEST(view.selected, "selected");
    QTEST(view.hint, "hint");
    QTEST(view.gasEnabled, "gasEnabled");
    QTEST(view.unitLocked, "unitLocked");
}

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
