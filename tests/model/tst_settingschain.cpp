#include "RegisterMap.h"
#include "SettingsChain.h"

#include <QTest>

using namespace kpx;

class TstSettingsChain : public QObject {
    Q_OBJECT
private slots:
    void orders_data();
    void orders();
    void endsAndOthers_data();
    void endsAndOthers();
    void limit1First();
    void statusTexts();
};

namespace {
// Follows the chain from its start as the echoes would, one write a step.
QList<int> walk(ChainState state) {
    QList<int> written;
    int echoed = Reg::Line;
    for (int guard = 0; guard < 20; ++guard) {
        const ChainStep step = NextChainStep(echoed, state);
        if (step.kind != ChainStep::Write)
            return written << -step.kind; // the end, as a negative marker
        written << step.reg;
        echoed = step.reg;
    }
    return written;
}
} // namespace

void TstSettingsChain::orders_data() {
    QTest::addColumn<bool>("limit1First");
    QTest::addColumn<bool>("unit");
    QTest::addColumn<bool>("gas");
    QTest::addColumn<QList<int>>("written");
    const int end = -ChainStep::EndParameters;
    QTest::newRow("threshold 1 first, unit and gas")
        << true << true << true << QList<int>{11, 9, 10, 12, 13, 4, 6, 3, end};
    QTest::newRow("threshold 2 first, unit and gas")
        << false << true << true << QList<int>{11, 10, 9, 12, 13, 4, 6, 3, end};
    QTest::newRow("no unit: the gas follows the relays")
        << true << false << true << QList<int>{11, 9, 10, 12, 13, 4, 3, end};
    QTest::newRow("unit, same gas")
        << false << true << false << QList<int>{11, 10, 9, 12, 13, 4, 6, end};
    QTest::newRow("neither: ends at the relays")
        << true << false << false << QList<int>{11, 9, 10, 12, 13, 4, end};
}

void TstSettingsChain::orders() {
    QFETCH(bool, limit1First);
    QFETCH(bool, unit);
    QFETCH(bool, gas);
    QTEST(walk(ChainState{limit1First, unit, gas, false}), "written");
}

void TstSettingsChain::endsAndOthers_data() {
    QTest::addColumn<int>("echoed");
    QTest::addColumn<bool>("currWriting");
    QTest::addColumn<int>("kind");
    QTest::newRow("range write ends at its echo") << 8 << false << int(ChainStep::EndRange);
    QTest::newRow("20 mA trim: measured current") << 7 << false << int(ChainStep::CurrentTrim);
    QTest::newRow("20 mA trim: trim value") << 18 << false << int(ChainStep::CurrentTrim);
    QTest::newRow("20 mA trim: the point echo") << 6 << true << int(ChainStep::CurrentTrim);
    QTest::newRow("unclaimed echo in the block") << 16 << false << int(ChainStep::Ignore);
    QTest::newRow("past the block") << 19 << false << int(ChainStep::NotAStep);
    QTest::newRow("service-mode switch") << 99 << false << int(ChainStep::NotAStep);
}

void TstSettingsChain::endsAndOthers() {
    QFETCH(int, echoed);
    QFETCH(bool, currWriting);
    QTEST(int(NextChainStep(echoed, ChainState{true, true, true, currWriting}).kind), "kind");
}

void TstSettingsChain::limit1First() {
    QVERIFY(Limit1GoesFirst(399, 400));
    QVERIFY(!Limit1GoesFirst(400, 400)); // equal: threshold 2 first
    QVERIFY(!Limit1GoesFirst(401, 400));
    QVERIFY(!Limit1GoesFirst(0xFFFF, 400)); // compared as unsigned
    QCOMPARE(ChosenUnitIndex(-1), 0);
    QCOMPARE(ChosenUnitIndex(0), 0);
    QCOMPARE(ChosenUnitIndex(1), 1);
}

void TstSettingsChain::statusTexts() {
    const QList<QPair<int, QString>> texts = {
        {11, "Запись для магнитной калибровки"},
        {9, "Запись порога №1"},
        {10, "Запись порога №2"},
        {12, "Запись гистерезиса"},
        {13, "Запись нулевой зоны"},
        {4, "Запись настроек реле"},
        {6, "Установка ед. измерения"},
        {3, "Установка измеряемого газа"},
    };
    for (const auto& [reg, text] : texts)
        QCOMPARE(ChainStatusText(reg), text);
}

QTEST_GUILESS_MAIN(TstSettingsChain)
#include "tst_settingschain.moc"
