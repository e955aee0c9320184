#include "DeviceTexts.h"

#include <QtTest>

using namespace kpx;

class TstDeviceTexts : public QObject {
    Q_OBJECT
private slots:
    void statusText_data();
    void statusText();
    void faultDetail_data();
    void faultDetail();
    void versionText_data();
    void versionText();
    void captions();
    void kindCaption_data();
    void kindCaption();
    void rangeHint();
};

void TstDeviceTexts::statusText_data() {
    QTest::addColumn<uint16_t>("status");
    QTest::addColumn<unsigned>("gas");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing set") << uint16_t(0x0000) << 1u << "Рабочий режим";
    QTest::newRow("only settings and unused bits") << uint16_t(0xFD60) << 1u << "Рабочий режим";
    QTest::newRow("fault before threshold and setup") << uint16_t(0x0203) << 1u << "Ошибка";
    QTest::newRow("special before setup") << uint16_t(0x0280) << 1u << "Специальный режим";
    QTest::newRow("setup before warm-up") << uint16_t(0x0210) << 1u << "Режим настройки ТВ";
    QTest::newRow("warm-up before range") << uint16_t(0x0018) << 1u << "Прогрев датчика";
    QTest::newRow("range before threshold 2")
        << uint16_t(0x000C) << 1u << "Превышен диапазон измерения";
    QTest::newRow("threshold 2 before 1") << uint16_t(0x0006) << 23u << "Превышен порог №2";
    QTest::newRow("threshold 1, oxygen")
        << uint16_t(0x0002) << 23u << "Концентрация ниже порога №1";
    QTest::newRow("threshold 1, methane") << uint16_t(0x0002) << 1u << "Превышен порог №1";
}

void TstDeviceTexts::statusText() {
    QFETCH(uint16_t, status);
    QFETCH(unsigned, gas);
    QTEST(StatusText(status, gas), "text");
}

void TstDeviceTexts::faultDetail_data() {
    QTest::addColumn<uint16_t>("unitWord");
    QTest::addColumn<QString>("detail");
    QTest::newRow("supply first") << uint16_t(0x030F) << "Питание понижено";
    QTest::newRow("sensor missing") << uint16_t(0x000A) << "Отсутствует датчик";
    QTest::newRow("contaminated") << uint16_t(0x0004) << "Загрязнение датчика";
    QTest::newRow("bus break") << uint16_t(0x0008) << "Обрыв шины";
    QTest::newRow("sensor data before display data")
        << uint16_t(0x0300) << "Неверные данные датчика";
    QTest::newRow("display data") << uint16_t(0x0200) << "Неверные данные индикации";
    QTest::newRow("none: hardware") << uint16_t(0x0000) << "Аппаратная";
    QTest::newRow("unit bits are no detail") << uint16_t(0xC000) << "Аппаратная";
}

void TstDeviceTexts::faultDetail() {
    QFETCH(uint16_t, unitWord);
    QTEST(FaultDetail(unitWord), "detail");
}

void TstDeviceTexts::versionText_data() {
    QTest::addColumn<uint16_t>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("6.30") << uint16_t(0x0630) << " (v6.30)";
    QTest::newRow("hex minor upper case") << uint16_t(0x0A0F) << " (v10.0F)";
    QTest::newRow("minor padded") << uint16_t(0x0005) << " (v0.05)";
    QTest::newRow("largest") << uint16_t(0xFFFF) << " (v255.FF)";
}

void TstDeviceTexts::versionText() {
    QFETCH(uint16_t, version);
    QTEST(VersionText(version), "text");
}

void TstDeviceTexts::captions() {
    const QString node = NodeLabel(5, 9400000);
    QCOMPARE(node, QStringLiteral("#5 : 09400000"));
    QCOMPARE(PanelCaption(node, 0x0630, StatusText(0, 1)),
             QStringLiteral("#5 : 09400000 (v6.30)  -  Рабочий режим"));
    QCOMPARE(FaultStatusText(0x0008), QStringLiteral("Ошибка  :  Обрыв шины"));
    QCOMPARE(PanelCaption(node, FaultStatusText(0)),
             QStringLiteral("#5 : 09400000  -  Ошибка  :  Аппаратная"));
    QCOMPARE(GasCaption(GasEditionB()[1]), QStringLiteral("Измеряемый газ: Метан (CH4)"));
}

void TstDeviceTexts::kindCaption_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0") << 0 << "КРХ-21";
    QTest::newRow("1") << 1 << "КРХ-22";
    QTest::newRow("2") << 2 << "КРХ-23";
    QTest::newRow("3") << 3 << "КРХ-20";
    QTest::newRow("unknown") << 4 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TstDeviceTexts::kindCaption() {
    QFETCH(int, kind);
    QTEST(KindCaption(kind), "caption");
}

void TstDeviceTexts::rangeHint() {
    QCOMPARE(RangeHint(GasEditionB()[1]), QStringLiteral("<Ввод> для записи в прибор"));
    QCOMPARE(RangeHint(GasEditionA()[1]), QString());
    QCOMPARE(RangeHint(GasEditionB()[63]), QString());
}

QTEST_GUILESS_MAIN(TstDeviceTexts)
#include "tst_devicetexts.moc"
