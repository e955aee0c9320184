#include "CommandWindow.h"
#include "RegisterMap.h"

#include <QCheckBox>
#include <QRadioButton>

using namespace cmd;
using Write = FakeDetectors::Write;

namespace {

// Methane with its output fixed at 4 mA, and at 20 mA.
const Regs Fixed4 = with(Methane, {{4, 0x0200}, {6, 0}});
const Regs Fixed20 = with(Methane, {{4, 0x0200}, {6, 1000}});

RegisterBlock blockOf(const Regs& regs) {
    RegisterBlock block{};
    for (auto it = regs.begin(); it != regs.end(); ++it)
        block[size_t(it.key())] = quint16(it.value());
    return block;
}

// A click on the box or button itself, where the user would click.
void clickOn(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

QStringList okTimes(int n) {
    return QStringList(n, "message: Коррекция - Ок");
}

} // namespace

// The 4-20 mA output trimmed through the setup mode, the output points and
// the measured current, over real frames to detectors on a pseudo-terminal.
class TstCurrentOutput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void decodingWritesNothing();
    void fixTheCurrent_data();
    void fixTheCurrent();
    void fixRefusedForADetectorNotRead();
    void choosePoint_data();
    void choosePoint();
    void measuredCurrent_data();
    void measuredCurrent();

    void oldFirmware20mA_data();
    void oldFirmware20mA();
    void oldFirmware20mAFails_data();
    void oldFirmware20mAFails();
    void adapterPulledDuring20mA_data();
    void adapterPulledDuring20mA();
    void windowClosedDuring20mA_data();
    void windowClosedDuring20mA();

private:
    CommandWindow* cw = nullptr;
    TFormMain* w = nullptr;
    Ui::TFormMain* f() const { return cw->f(); }
    QStringList& shown() const { return cw->prompts.shown; }
    // Types the measured current and presses "Записать".
    void press(const QString& typed) {
        CommandWindow::type(f()->EditCurr, typed);
        QTest::mouseClick(f()->SpBtSetCurr, Qt::LeftButton);
    }
    // The sequence has ended: the writes are open again and the button back.
    bool sequenceOver() const {
        return !w->CurrWriting && !w->Writing && f()->SpBtSetCurr->isEnabled() &&
               !w->TimerProgress.isActive();
    }
};

void TstCurrentOutput::init() {
    cw = new CommandWindow;
    w = cw->w;
}

void TstCurrentOutput::cleanup() {
    delete cw;
}

// The decoding ticks the fix box and picks the point itself, within its
// Updating: that must neither write nor end its Updating.
void TstCurrentOutput::decodingWritesNothing() {
    cw->line.add(1, Kind0, with(Fixed4, {{4, 0x0210}}));
    QVERIFY(cw->ready());
    QVERIFY(f()->ChBoxCurrFix->isChecked());
    QVERIFY(f()->RBt01mA->isChecked());
    cw->line.regs(1)[4] = 0;
    QVERIFY(cw->readOnce());
    QVERIFY(!f()->ChBoxCurrFix->isChecked());

    w->Updating = true;
    w->DecodeBlock(3, 1, blockOf(Fixed20), 0, 18);
    QVERIFY(w->Updating);
    QVERIFY(f()->ChBoxCurrFix->isChecked());
    QVERIFY(f()->RBt20mA->isChecked());
    w->Updating = false;
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});
}

void TstCurrentOutput::fixTheCurrent_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("written");
    QTest::addColumn<bool>("cycle");
    QTest::newRow("ticked, the cycle running") << 0x1D0A << 0x1F0A << true;
    QTest::newRow("unticked, at the 1 mA point") << 0x1F10 << 0x1D10 << false;
}

void TstCurrentOutput::fixTheCurrent() {
    QFETCH(int, status);
    QFETCH(int, written);
    QFETCH(bool, cycle);
    const bool fixing = (written & 0x0200) != 0;
    cw->line.add(1, Kind0, with(Methane, {{4, status}, {6, 0}}));
    QVERIFY(cw->ready());
    if (cycle)
        QVERIFY(cw->startCycle());
    w->CurrRepeats = 2;

    clickOn(f()->ChBoxCurrFix);
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, 4, written}}));
    QCOMPARE(w->StatusPanelText(3), QString(" "));
    QVERIFY(f()->RBt04mA->isChecked());
    QCOMPARE(f()->EditCurr->value(), 4.0);
    QCOMPARE(f()->EditCurr->minimum(), 3.7);
    QCOMPARE(f()->EditCurr->maximum(), 4.3);
    QCOMPARE(w->CurrRepeats, 0);
    QCOMPARE(w->TimerRead.isActive(), cycle);
    // The echo's decoding sets the box and the controls from the detector.
    QTRY_COMPARE(f()->ChBoxCurrFix->isChecked(), fixing);
    QTRY_COMPARE(f()->SpBtSetCurr->isEnabled(), fixing);
    QCOMPARE(shown(), QStringList{});

    // Leaving the setup mode, the detector is read once 15 s later.
    QCOMPARE(w->Timer5sec.isActive(), !fixing);
    if (!fixing) {
        QCOMPARE(w->Timer5sec.interval(), 15000);
        const int reads = cw->line.blockReads();
        w->Timer5sec.stop();
        w->Timer5secTimer();
        QTRY_COMPARE(cw->line.blockReads(), reads + 1);
    }
}

// The fix box writes register 4 back with the bits of the last reading: for
// a detector not read yet they would be zeros, its relays reset.
void TstCurrentOutput::fixRefusedForADetectorNotRead() {
    cw->line.add(1, Kind0, Methane);
    cw->line.add(2, Kind0, with(Methane, {{4, 0x1D00}}));
    QVERIFY(cw->ready(2));
    QVERIFY(cw->select(2));
    clickOn(f()->ChBoxCurrFix);
    QCOMPARE(shown(), QStringList{"message: Панель не показывает значения выбранного прибора. "
                                  "Прочитайте его («Читать») и повторите."});
    QVERIFY(!f()->ChBoxCurrFix->isChecked());
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});
}

void TstCurrentOutput::choosePoint_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("status");

    QTest::newRow("1 mA") << Fixed4 << "RBt01mA" << 0xF111 << 1.0 << "Коррекция 1 мА";
    QTest::newRow("4 mA again") << Fixed4 << "RBt04mA" << 0 << 4.0 << "Коррекция 4 мА";
    QTest::newRow("20 mA, %НКПР at full scale")
        << Fixed4 << "RBt20mA" << 1000 << 20.0 << "Коррекция 20 мА";
    QTest::newRow("20 mA, %об. below full scale")
        << with(Fixed4, {{3, 23}, {8, 2500}}) << "RBt20mA" << 833 << 20.0 << "Коррекция 20 мА";
    QTest::newRow("20 mA, ppm") << with(Fixed4, {{3, 24}, {8, 200}}) << "RBt20mA" << 1000 << 20.0
                                << "Коррекция 20 мА";
}

void TstCurrentOutput::choosePoint() {
    QFETCH(Regs, regs);
    QFETCH(QString, button);
    QFETCH(int, code);
    QFETCH(double, value);
    cw->line.add(1, Kind0, regs);
    QVERIFY(cw->ready());
    w->CurrRepeats = 2;
    w->CurrLastValue = 4.2f;

    clickOn(w->findChild<QRadioButton*>(button));
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, 6, code}}));
    QTEST(w->StatusPanelText(3), "status");
    QCOMPARE(f()->EditCurr->value(), value);
    QCOMPARE(f()->EditCurr->minimum(), value - 0.3);
    QCOMPARE(f()->EditCurr->maximum(), value + 0.3);
    QCOMPARE(w->CurrRepeats, 0);
    QCOMPARE(w->CurrLastValue, 4.2f);
    // The echo shows the point the detector took.
    QTRY_COMPARE(f()->EditI->text(), QString::number(value));
    QVERIFY(w->findChild<QRadioButton*>(button)->isChecked());
    QCOMPARE(shown(), QStringList{});
}

void TstCurrentOutput::measuredCurrent_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QList<int>>("written"); // register 18
    QTest::addColumn<int>("oks");
    QTest::addColumn<QString>("boxAfter");

    QTest::newRow("4.5 at 4 mA") << Fixed4 << QStringList{"4.5"} << QList<int>{430} << 1 << "4.30";
    QTest::newRow("three writes, then settled without a write")
        << Fixed4 << QStringList{"4.2", "4.2", "4.2", "4.2"} << QList<int>{420, 420, 420} << 4
        << "4.2";
    QTest::newRow("0.01 as it is") << Fixed4 << QStringList{"0.01"} << QList<int>{1} << 1 << "3.70";
    QTest::newRow("20 mA on new firmware: one write")
        << Fixed20 << QStringList{"20.4"} << QList<int>{2030} << 1 << "20.30";
}

// Each write is confirmed by its echo with "Коррекция - Ок", the settled
// press by the same words without one. The reading cycle runs throughout.
void TstCurrentOutput::measuredCurrent() {
    QFETCH(Regs, regs);
    QFETCH(QStringList, typed);
    QFETCH(QList<int>, written);
    QFETCH(int, oks);
    cw->line.add(1, Kind0, regs);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());

    for (const QString& t : typed) {
        const qsizetype messages = shown().size();
        press(t);
        QTRY_COMPARE(shown().size(), messages + 1);
    }
    QList<int> trims;
    for (const Write& wr : cw->writes())
        trims << (wr.reg == 18 ? wr.value : -wr.reg);
    QCOMPARE(trims, written);
    QCOMPARE(shown(), okTimes(oks));
    QTEST(f()->EditCurr->text(), "boxAfter");
    QVERIFY(w->TimerRead.isActive());
    QVERIFY(!w->Writing && !w->CurrWriting);
}

void TstCurrentOutput::oldFirmware20mA_data() {
    QTest::addColumn<uint>("serial");
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<Write>>("written");

    QTest::newRow("no version reported, %НКПР at half range")
        << uint(Kind0) << with(Fixed20, {{8, 220}, {16, 0}}) << "20.1"
        << QList<Write>{{1, 6, 1000}, {1, 18, 2010}, {1, 6, 500}};
    QTest::newRow("oldest family, %об.: the final point ignores the range")
        << uint(Kind3) << with(Fixed20, {{3, 23}, {8, 2500}}) << "19.9"
        << QList<Write>{{1, 6, 1000}, {1, 18, 1990}, {1, 6, 1000}};
}

// Rows 7, 6 and 18 of the settings chain: 20 mA, the measured value two
// seconds later, the final point half a second after its echo.
void TstCurrentOutput::oldFirmware20mA() {
    QFETCH(uint, serial);
    QFETCH(Regs, regs);
    QFETCH(QString, typed);
    cw->line.add(1, serial, regs);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());
    cw->hurryWaits();

    press(typed);
    QVERIFY(w->CurrWriting && w->Writing);
    QVERIFY(!f()->SpBtSetCurr->isEnabled());
    QVERIFY(w->TimerProgress.isActive());
    QVERIFY(!w->TimerRead.isActive());
    QTRY_COMPARE(shown(), okTimes(1));
    QTEST(cw->writes(), "written");
    QCOMPARE(cw->waits, (QList<int>{2000, 500}));
    QVERIFY(sequenceOver());
    QCOMPARE(w->Exchange().Timeout(), 1500);
    QCOMPARE(w->ProgressText.left(16), QString("Коррекция 20 мА "));
    // Reading stays paused until the engineer starts it again.
    QVERIFY(!w->TimerRead.isActive());
}

void TstCurrentOutput::oldFirmware20mAFails_data() {
    QTest::addColumn<int>("step"); // the write of the sequence that fails, from 0
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("message");

    const QString noEcho = "message: Ошибка записи параметров!";
    const QString refused = "message: Ошибка записи!";
    QTest::newRow("no echo of the 20 mA point") << 0 << true << noEcho;
    QTest::newRow("no echo of the measured value") << 1 << true << noEcho;
    QTest::newRow("no echo of the final point") << 2 << true << noEcho;
    QTest::newRow("measured value refused") << 1 << false << refused;
    QTest::newRow("final point refused") << 2 << false << refused;
}

// Every end of the sequence clears it: a later press starts it afresh, and
// the settings chain will never take a parameters write for a trim step.
void TstCurrentOutput::oldFirmware20mAFails() {
    QFETCH(int, step);
    QFETCH(bool, silent);
    QFETCH(QString, message);
    cw->line.add(1, Kind0, with(Fixed20, {{16, 0}}));
    QVERIFY(cw->ready());
    cw->hurryWaits();
    cw->line.writeFaults[step] =
        silent ? FakeDetectors::Fault::Silent : FakeDetectors::Fault::Exception;

    press("20.1");
    QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{message}, 5000);
    QVERIFY(sequenceOver());
    QCOMPARE(cw->writes().size(), step + 1);

    press("20.1");
    QTRY_COMPARE(shown(), (QStringList{message, "message: Коррекция - Ок"}));
    QCOMPARE(cw->writes().mid(step + 1), (QList<Write>{{1, 6, 1000}, {1, 18, 2010}, {1, 6, 1000}}));
    QVERIFY(sequenceOver());
}

void TstCurrentOutput::adapterPulledDuring20mA_data() {
    QTest::addColumn<bool>("duringWait");
    QTest::newRow("during the 2000 ms wait") << true;
    QTest::newRow("with the measured value on the line") << false;
}

// One box about the port; the sequence is over, nothing hangs.
void TstCurrentOutput::adapterPulledDuring20mA() {
    QFETCH(bool, duringWait);
    cw->line.add(1, Kind0, with(Fixed20, {{16, 0}}));
    QVERIFY(cw->ready());
    const QString port = w->Exchange().PortName();
    cw->hurryWaits();
    if (duringWait) {
        // The wait runs its full length: time enough for the loss to be seen.
        cw->atWait = [this](int interval) {
            if (interval == 2000)
                cw->line.pty().hangUp();
            else
                w->Timer5sec.stop();
        };
    } else {
        cw->line.writeFaults[1] = FakeDetectors::Fault::Silent;
    }

    press("20.1");
    if (!duringWait) {
        QTRY_COMPARE(cw->writes().size(), 2);
        cw->line.pty().hangUp();
    }
    const QStringList lost{"error: Связь с портом " + port + " потеряна: адаптер отключён."};
    QTRY_COMPARE_WITH_TIMEOUT(shown(), lost, 5000);
    QTRY_VERIFY(sequenceOver());
    // Whatever was still pending ends without a second box.
    QTest::qWait(2500);
    QCOMPARE(shown(), lost);
    QVERIFY(sequenceOver());
}

void TstCurrentOutput::windowClosedDuring20mA_data() {
    QTest::addColumn<int>("wait");
    QTest::newRow("the 2000 ms wait") << 2000;
    QTest::newRow("the 500 ms wait") << 500;
}

// Nothing goes out after the window has closed, and nothing crashes.
void TstCurrentOutput::windowClosedDuring20mA() {
    QFETCH(int, wait);
    cw->line.add(1, Kind0, with(Fixed20, {{16, 0}}));
    QVERIFY(cw->ready());
    cw->hurryWaits();
    qsizetype writesAtClose = -1;
    cw->atWait = [&](int interval) {
        if (interval != wait) {
            w->Timer5sec.stop();
            return;
        }
        writesAtClose = cw->writes().size();
        w->close();
    };

    press("20.1");
    QTRY_VERIFY(writesAtClose >= 0);
    QTRY_VERIFY(!w->CurrWriting);
    QTest::qWait(wait + 200);
    QCOMPARE(cw->writes().size(), writesAtClose);
    QVERIFY(!w->isVisible());
}

QTEST_MAIN(TstCurrentOutput)
#include "tst_currentoutput.moc"
