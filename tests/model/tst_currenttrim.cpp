#include "CurrentTrim.h"

#include <QtTest>

using namespace kpx;

Q_DECLARE_METATYPE(CurrentPoint)

namespace {

constexpr int Methane = 1; // %НКПР, FullScale 440
constexpr int Oxygen = 23; // %об., FullScale 3000
constexpr int CO = 24;     // ppm

// A press that writes nothing: the trim has settled.
constexpr int NoWrite = -1;

} // namespace

class TstCurrentTrim : public QObject {
    Q_OBJECT
private slots:
    void setupWord_data();
    void setupWord();
    void pointCode_data();
    void pointCode();
    void measuredCurrent_data();
    void measuredCurrent();
};

void TstCurrentTrim::setupWord_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("written");
    QTest::newRow("on, relays and alarms kept") << 0x1D0F << true << 0x1F0F;
    QTest::newRow("off, 1 mA mark kept") << 0xFFFF << false << 0xFDFF;
    QTest::newRow("on when already on") << 0x0200 << true << 0x0200;
}

void TstCurrentTrim::setupWord() {
    QFETCH(int, stored);
    QFETCH(bool, on);
    QTEST(int(CurrentSetupWord(uint16_t(stored), on)), "written");
}

void TstCurrentTrim::pointCode_data() {
    QTest::addColumn<CurrentPoint>("point");
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("code");
    QTest::addColumn<float>("milliamps");
    QTest::newRow("1 mA") << CurrentPoint::Point1mA << Methane << 220 << 0xF111 << 1.f;
    QTest::newRow("4 mA") << CurrentPoint::Point4mA << Methane << 220 << 0 << 4.f;
    QTest::newRow("20 mA, %НКПР at full scale")
        << CurrentPoint::Point20mA << Methane << 440 << 1000 << 20.f;
    QTest::newRow("20 mA, %об. below full scale")
        << CurrentPoint::Point20mA << Oxygen << 2500 << 833 << 20.f;
    QTest::newRow("20 mA, ppm") << CurrentPoint::Point20mA << CO << 200 << 1000 << 20.f;
}

void TstCurrentTrim::pointCode() {
    QFETCH(CurrentPoint, point);
    QFETCH(int, gas);
    QFETCH(int, range);
    QTEST(int(PointCode(point, GasRow(GasEditionB(), unsigned(gas)), 0, uint16_t(range))), "code");
    QTEST(PointMilliamps(point), "milliamps");
}

void TstCurrentTrim::measuredCurrent_data() {
    QTest::addColumn<CurrentPoint>("point");
    QTest::addColumn<float>("lastBefore"); // CurrLastValue as a point selection leaves it
    QTest::addColumn<QList<float>>("typed");
    QTest::addColumn<QList<float>>("entered"); // the box after each press
    QTest::addColumn<QList<int>>("written");   // register 18 per press
    QTest::addColumn<QList<float>>("shown");   // the box once the write has left

    const auto p4 = CurrentPoint::Point4mA;
    QTest::newRow("above the point: 4.5 at 4 mA")
        << p4 << 0.f << QList<float>{4.5f} << QList<float>{4.3f} << QList<int>{430}
        << QList<float>{4.3f};
    QTest::newRow("below the point") << p4 << 0.f << QList<float>{3.5f} << QList<float>{3.7f}
                                     << QList<int>{370} << QList<float>{3.7f};
    QTest::newRow("1 mA") << CurrentPoint::Point1mA << 0.f << QList<float>{1.35f}
                          << QList<float>{1.3f} << QList<int>{130} << QList<float>{1.3f};
    QTest::newRow("20 mA") << CurrentPoint::Point20mA << 0.f << QList<float>{19.6f}
                           << QList<float>{19.7f} << QList<int>{1970} << QList<float>{19.7f};
    QTest::newRow("a new value, then three more times: the fourth writes nothing")
        << p4 << 4.1f << QList<float>{4.2f, 4.2f, 4.2f, 4.2f, 4.2f}
        << QList<float>{4.2f, 4.2f, 4.2f, 4.2f, 4.2f} << QList<int>{420, 420, 420, NoWrite, NoWrite}
        << QList<float>{4.2f, 4.2f, 4.2f, 4.2f, 4.2f};
    QTest::newRow("the last value survives the point selection")
        << p4 << 4.2f << QList<float>{4.2f, 4.2f, 4.2f} << QList<float>{4.2f, 4.2f, 4.2f}
        << QList<int>{420, 420, NoWrite} << QList<float>{4.2f, 4.2f, 4.2f};
    QTest::newRow("another value starts the count again")
        << p4 << 0.f << QList<float>{4.2f, 4.2f, 4.2f, 4.1f, 4.1f}
        << QList<float>{4.2f, 4.2f, 4.2f, 4.1f, 4.1f} << QList<int>{420, 420, 420, 410, 410}
        << QList<float>{4.2f, 4.2f, 4.2f, 4.1f, 4.1f};
    QTest::newRow("values pulled to the same bound count as the same")
        << p4 << 0.f << QList<float>{4.5f, 4.4f, 4.3f, 4.6f} << QList<float>{4.3f, 4.3f, 4.3f, 4.3f}
        << QList<int>{430, 430, 430, NoWrite} << QList<float>{4.3f, 4.3f, 4.3f, 4.3f};
    QTest::newRow("0.01 is written as it is and not counted")
        << p4 << 0.f << QList<float>{4.2f, 4.2f, 0.01f, 4.2f, 4.2f}
        << QList<float>{4.2f, 4.2f, 0.01f, 4.2f, 4.2f} << QList<int>{420, 420, 1, 420, NoWrite}
        << QList<float>{4.2f, 4.2f, 3.7f, 4.2f, 4.2f};
    QTest::newRow("the hundredths beside 0.01 are clamped")
        << p4 << 0.f << QList<float>{0.f, 0.02f} << QList<float>{3.7f, 3.7f} << QList<int>{370, 370}
        << QList<float>{3.7f, 3.7f};
}

void TstCurrentTrim::measuredCurrent() {
    QFETCH(CurrentPoint, point);
    QFETCH(float, lastBefore);
    QFETCH(QList<float>, typed);
    QFETCH(QList<float>, entered);
    QFETCH(QList<int>, written);
    QFETCH(QList<float>, shown);
    float last = lastBefore;
    int repeats = 0;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const MeasuredCurrent m = EnterMeasuredCurrent(point, typed[i], last, repeats);
        const QByteArray press = "press " + QByteArray::number(i + 1);
        QVERIFY2(m.entered == entered[i], press);
        QVERIFY2(m.settled == (written[i] == NoWrite), press);
        if (!m.settled)
            QVERIFY2(m.registerValue == written[i], press);
        QVERIFY2(m.shown == shown[i], press);
    }
}

QTEST_GUILESS_MAIN(TstCurrentTrim)
#include "tst_currenttrim.moc"
