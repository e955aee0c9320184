#include "CommandWindow.h"
#include "RegisterMap.h"

#include <QPlainTextEdit>

using namespace cmd;
using Write = FakeDetectors::Write;

namespace {

const QString NotShown = "message: Панель не показывает значения выбранного прибора. "
                         "Прочитайте его («Читать») и повторите.";

// Carbon dioxide in %об., range 5.00, reading 1.50.
const Regs CarbonDioxide = with(Methane, {{3, 3}, {6, 150}, {8, 500}});
// Carbon monoxide in ppm, range 200, reading 3.
const Regs CarbonMonoxide = with(Methane, {{3, 24}, {6, 3}, {8, 200}});

} // namespace

// Zero, span through the test-gas dialog and reset of the calibration, sent
// as real frames to detectors on a pseudo-terminal.
class TstCalibCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void zeroAndReset_data();
    void zeroAndReset();
    void zeroThroughServiceMode_data();
    void zeroThroughServiceMode();
    void commandRefused_data();
    void commandRefused();
    void echoes_data();
    void echoes();

    void spanThroughTheDialog_data();
    void spanThroughTheDialog();
    void spanWarnings_data();
    void spanWarnings();
    void spanNeedsTheSelectedDetectorsReading();
    void spanRefusedWhileBusy_data();
    void spanRefusedWhileBusy();
    void valueBeyondTheBoundsIsRefused();
    void spanAgainWhileTheDialogIsOpen();

    void closingDuringTheReadWait();
    void adapterPulledDuringACommand();

private:
    CommandWindow* cw = nullptr;
    TFormMain* w = nullptr;
    Ui::TFormMain* f() const { return cw->f(); }
    Ui::TFormDlg* d() const { return cw->d(); }
    QStringList& shown() const { return cw->prompts.shown; }
};

void TstCalibCommands::init() {
    cw = new CommandWindow;
    w = cw->w;
}

void TstCalibCommands::cleanup() {
    delete cw;
}

void TstCalibCommands::zeroAndReset_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("cycle");
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("waitsForRead");

    const struct {
        const char* name;
        const char* action;
        const char* question;
        int value;
        const char* result;
        bool waits;
    } commands[] = {
        {"Уст 0", "ActZero2", "Установить показания в 0?", 0xAAAA, "Установка 0 произведена", true},
        {"Уст. 0", "ActZero", "Установить показания в 0?", 0xAAAA, "Установка 0 произведена", true},
        {"Сброс", "ActInit", "Сбросить градуировку?", 0xBBBB, "Сброс градуировки произведён",
         false},
    };
    for (const auto& c : commands) {
        for (const bool yes : {true, false}) {
            for (const bool cycle : {true, false}) {
                QTest::addRow("%s, %s, cycle %s", c.name, yes ? "Yes" : "No",
                              cycle ? "running" : "stopped")
                    << c.action << yes << cycle << c.question << c.value << c.result << c.waits;
            }
        }
    }
}

void TstCalibCommands::zeroAndReset() {
    QFETCH(QString, action);
    QFETCH(bool, yes);
    QFETCH(bool, cycle);
    QFETCH(QString, question);
    QFETCH(int, value);
    QFETCH(QString, result);
    QFETCH(bool, waitsForRead);
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    if (cycle) {
        QVERIFY(cw->startCycle());
        // The next read is on its way when the command starts.
        cw->line.readDelayMs = 300;
        w->Execute(f()->ActRenew);
        QVERIFY(w->Reading);
    }
    bool readingAtQuestion = false;
    bool timerAtQuestion = true;
    cw->prompts.onConfirm = [&] {
        readingAtQuestion = w->Reading;
        timerAtQuestion = w->TimerRead.isActive();
    };
    cw->prompts.answers = {yes};

    w->Execute(w->findChild<QAction*>(action));
    QCOMPARE(shown().value(0), "confirm: " + question);
    QVERIFY(!timerAtQuestion);
    if (cycle)
        QCOMPARE(readingAtQuestion, !waitsForRead);
    if (!yes) {
        QCOMPARE(shown().size(), 1);
        QVERIFY(!w->CmdPending);
        QCOMPARE(w->TimerRead.isActive(), cycle);
        QTest::qWait(50);
        QCOMPARE(cw->writes(), QList<Write>{});
        return;
    }
    QCOMPARE(w->TimerRead.isActive(), cycle);
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, 6, value}}));
    QTRY_COMPARE(shown(), (QStringList{"confirm: " + question, "message: " + result}));
    QVERIFY(!w->CmdPending);
    QCOMPARE(w->CmdNode, w->SelNode);
    QCOMPARE(w->TimerRead.isActive(), cycle);
    if (action == "ActInit")
        QCOMPARE(w->StatusPanelText(3), QString());
}

void TstCalibCommands::zeroThroughServiceMode_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<uint>("serial");
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");

    QTest::newRow("Уст 0, toxic sensor, no version reported")
        << "ActZero2" << uint(Kind0) << with(CarbonMonoxide, {{16, 0}}) << 99 << 0x7E19;
    QTest::newRow("Уст 0, toxic sensor, firmware below limit B")
        << "ActZero2" << uint(Kind1) << with(CarbonMonoxide, {{16, 0x0325}}) << 99 << 0x7E19;
    QTest::newRow("Уст 0, toxic sensor, new firmware")
        << "ActZero2" << uint(Kind1) << with(CarbonMonoxide, {{16, 0x0840}}) << 6 << 0xAAAA;
    QTest::newRow("Уст 0, combustible sensor, oldest family")
        << "ActZero2" << uint(Kind3) << with(Methane, {{16, 0x0100}}) << 6 << 0xAAAA;
    QTest::newRow("Уст. 0 never takes the service mode")
        << "ActZero" << uint(Kind0) << with(CarbonMonoxide, {{16, 0}}) << 6 << 0xAAAA;
}

void TstCalibCommands::zeroThroughServiceMode() {
    QFETCH(QString, action);
    QFETCH(uint, serial);
    QFETCH(Regs, regs);
    QFETCH(int, reg);
    QFETCH(int, value);
    cw->line.add(1, serial, regs);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());

    w->Execute(w->findChild<QAction*>(action));
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, reg, value}}));
    if (reg == 99) {
        // Handed over: the service exchange owns the line and the cycle from here.
        QTRY_VERIFY(f()->Log->toPlainText().endsWith("> ASCII"));
        QVERIFY(w->TimerWrite.isActive());
        QVERIFY(w->CmdPending);
        QVERIFY(!w->TimerRead.isActive());
        QCOMPARE(shown(), QStringList{"confirm: Установить показания в 0?"});
    } else {
        QTRY_COMPARE(shown(), (QStringList{"confirm: Установить показания в 0?",
                                           "message: Установка 0 произведена"}));
        QVERIFY(!w->CmdPending);
        QVERIFY(w->TimerRead.isActive());
        QVERIFY(!f()->Log->toPlainText().contains("> ASCII"));
    }
}

void TstCalibCommands::commandRefused_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("messages");

    const QStringList faulty{"message: Прибор неработоспособен!"};
    QTest::newRow("Уст 0, faulty detector") << "ActZero2"
                                            << "faulty" << faulty;
    QTest::newRow("Уст. 0, faulty detector") << "ActZero"
                                             << "faulty" << faulty;
    QTest::newRow("Сброс, faulty detector") << "ActInit"
                                            << "faulty" << faulty;
    QTest::newRow("Уст 0 during a settings write") << "ActZero2"
                                                   << "writing" << QStringList{};
    QTest::newRow("Сброс during a scan") << "ActInit"
                                         << "searching" << QStringList{};
}

// Refused before the question: the reading cycle goes on untouched.
void TstCalibCommands::commandRefused() {
    QFETCH(QString, action);
    QFETCH(QString, state);
    cw->line.add(1, Kind0, with(Methane, {{4, state == "faulty" ? 0x0001 : 0}}));
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());
    w->Writing = state == "writing";
    w->Searching = state == "searching";

    w->Execute(w->findChild<QAction*>(action));
    QTEST(shown(), "messages");
    QVERIFY(w->TimerRead.isActive());
    QVERIFY(!w->CmdPending);
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});
    w->Writing = w->Searching = false;
}

void TstCalibCommands::echoes_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("pending");

    QTest::newRow("zero") << 6 << 0xAAAA << QStringList{"message: Установка 0 произведена"}
                          << false;
    QTest::newRow("reset") << 6 << 0xBBBB << QStringList{"message: Сброс градуировки произведён"}
                           << false;
    QTest::newRow("span") << 6 << 500 << QStringList{"message: Градуировки произведена"} << false;
    QTest::newRow("another register of the block") << 4 << 0x0200 << QStringList{} << false;
    QTest::newRow("last register of the block") << 18 << 400 << QStringList{} << false;
    QTest::newRow("service-mode switch") << 99 << 0x7E19 << QStringList{} << true;
    QTest::newRow("beyond the map") << 120 << 1 << QStringList{} << false;
}

// The echo as the engine routes it while a command is pending.
void TstCalibCommands::echoes() {
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(bool, pending);
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    const QString logBefore = f()->Log->toPlainText();
    w->CmdPending = true;

    ModbusReplyData echo;
    echo.slave = 1;
    echo.function = 6;
    echo.regs = {{reg, quint16(value)}};
    w->Exchange().ModbusModbusReply(echo);
    QTEST(shown(), "messages");
    QCOMPARE(w->CmdPending, pending);
    QCOMPARE(w->TimerWrite.isActive(), pending);
    QCOMPARE(f()->Log->toPlainText().endsWith("\n> ASCII"), pending);
    QVERIFY(f()->Log->toPlainText().startsWith(logBefore));
}

void TstCalibCommands::spanThroughTheDialog_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QString>("label");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pagedUp"); // one whole unit up, whatever the step
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("written");

    QTest::newRow("%НКПР, largest range 100") << Methane << "%НКПР" << 1.0 << 100.0 << 0.1 << "50"
                                              << "51"
                                              << "50" << 500;
    QTest::newRow("%об., 2 decimals, range 500")
        << CarbonDioxide << "%об." << 0.25 << 5.0 << 0.01 << "2.5"
        << "3.5"
        << "2.5" << 250;
    QTest::newRow("ppm, range 100")
        << with(CarbonMonoxide, {{8, 100}}) << "млн-1" << 5.0 << 100.0 << 1.0 << "50.0"
        << "51.0"
        << "50" << 50;
    QTest::newRow("second unit, firmware below 0x0610")
        << with(CarbonMonoxide, {{5, 0x8000}, {8, 100}, {16, 0x060F}}) << "мгм/м3" << 5.0 << 100.0
        << 1.0 << "50.0"
        << "51.0"
        << "50" << 43;
    QTest::newRow("second unit, firmware 0x0610")
        << with(CarbonMonoxide, {{5, 0x8000}, {8, 100}, {16, 0x0610}}) << "мгм/м3" << 5.0 << 100.0
        << 1.0 << "50.0"
        << "51.0"
        << "50.7" << 50;
    QTest::newRow("gas code past the catalogue: the placeholder row")
        << with(Methane, {{3, 300}}) << "%НКПР" << 1.0 << 100.0 << 0.1 << "50"
        << "51"
        << "50" << 500;
}

void TstCalibCommands::spanThroughTheDialog() {
    QFETCH(Regs, regs);
    QFETCH(QString, typed);
    QFETCH(int, written);
    cw->line.add(1, Kind0, regs);
    QVERIFY(cw->ready());

    w->Execute(f()->ActCalb);
    QVERIFY(cw->dlg->isVisible());
    QVERIFY(!cw->dlg->isModal());
    QCOMPARE(cw->dlg->windowTitle(), QString("ПГС:"));
    QVERIFY(cw->dlg->windowFlags() & Qt::WindowStaysOnTopHint);
    const QPoint centre = w->frameGeometry().center() - cw->dlg->frameGeometry().center();
    QVERIFY2(qAbs(centre.x()) <= 1 && qAbs(centre.y()) <= 1,
             qPrintable(QString("%1, %2").arg(centre.x()).arg(centre.y())));
    QTEST(d()->EditConcLabel->text(), "label");
    QTEST(d()->EditConc->minimum(), "min");
    QTEST(d()->EditConc->maximum(), "max");
    QTEST(d()->EditConc->singleStep(), "step");
    QTEST(d()->EditConc->text(), "text");
    QCOMPARE(shown(), QStringList{});
    QTest::keyClick(d()->EditConc, Qt::Key_PageUp);
    QTEST(d()->EditConc->text(), "pagedUp");

    CommandWindow::type(d()->EditConc, typed);
    QTest::mouseClick(d()->BtOk, Qt::LeftButton);
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, 6, written}}));
    QVERIFY(!cw->dlg->isVisible());
    QTRY_COMPARE(shown(), QStringList{"message: Градуировки произведена"});
    QVERIFY(!w->CmdPending);
}

void TstCalibCommands::spanWarnings_data() {
    QTest::addColumn<Regs>("regs");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("faulty") << with(Methane, {{4, 0x0001}})
                            << QStringList{"message: Прибор неработоспособен!"};
    QTest::newRow("no gas at the sensor")
        << with(Methane, {{6, 0}}) << QStringList{"message: Необходимо подать ПГС!"};
    QTest::newRow("faulty and no gas: the fault alone")
        << with(Methane, {{4, 0x0001}, {6, 0}}) << QStringList{"message: Прибор неработоспособен!"};
}

// Warnings only: the dialog opens after them, and the reading cycle goes on.
void TstCalibCommands::spanWarnings() {
    QFETCH(Regs, regs);
    cw->line.add(1, Kind0, regs);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());
    w->Execute(f()->ActCalb);
    QTEST(shown(), "messages");
    QVERIFY(cw->dlg->isVisible());
    QVERIFY(w->TimerRead.isActive());
}

// A detector found but not read yet has range 0 in its record: the dialog
// would offer, and write, a test gas of 0.
void TstCalibCommands::spanNeedsTheSelectedDetectorsReading() {
    cw->line.add(1, Kind0, Methane);
    cw->line.add(2, Kind0, CarbonDioxide);
    QVERIFY(cw->ready(2));
    QVERIFY(cw->select(2));
    w->Execute(f()->ActCalb);
    QCOMPARE(shown(), QStringList{NotShown});
    QVERIFY(!cw->dlg->isVisible());

    // Opened for the detector read, confirmed with the other one selected.
    shown().clear();
    QVERIFY(cw->select(1));
    w->Execute(f()->ActCalb);
    QVERIFY(cw->dlg->isVisible());
    QVERIFY(cw->select(2));
    QTest::mouseClick(d()->BtOk, Qt::LeftButton);
    QCOMPARE(shown(), QStringList{NotShown});
    QVERIFY(cw->dlg->isVisible());
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});
}

void TstCalibCommands::spanRefusedWhileBusy_data() {
    QTest::addColumn<bool>("scan");
    QTest::newRow("a scan running") << true;
    QTest::newRow("a settings write running") << false;
}

void TstCalibCommands::spanRefusedWhileBusy() {
    QFETCH(bool, scan);
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    w->Execute(f()->ActCalb);
    (scan ? w->Searching : w->Writing) = true;
    QTest::mouseClick(d()->BtOk, Qt::LeftButton);
    QVERIFY(cw->dlg->isVisible());
    QCOMPARE(d()->EditConc->text(), QString("50"));
    QCOMPARE(shown(), QStringList{});
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});
    w->Searching = w->Writing = false;
}

// Enter takes the default button with the value as typed: beyond the box's
// bounds it is refused and stays there to be corrected.
void TstCalibCommands::valueBeyondTheBoundsIsRefused() {
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    w->Execute(f()->ActCalb);
    CommandWindow::type(d()->EditConc, "150");
    QTest::keyClick(d()->EditConc, Qt::Key_Return);
    QCOMPARE(shown(), QStringList{"message: Неверное значение!"});
    QVERIFY(cw->dlg->isVisible());
    QCOMPARE(d()->EditConc->text(), QString("150"));
    QTest::qWait(50);
    QCOMPARE(cw->writes(), QList<Write>{});

    CommandWindow::type(d()->EditConc, "100");
    QTest::keyClick(d()->EditConc, Qt::Key_Return);
    QTRY_COMPARE(cw->writes(), (QList<Write>{{1, 6, 1000}}));
    QVERIFY(!cw->dlg->isVisible());
}

// The span command on an open dialog sets its caption and tag and brings it
// forward; the entry is set up again only at the next showing.
void TstCalibCommands::spanAgainWhileTheDialogIsOpen() {
    cw->line.add(1, Kind0, Methane);
    cw->line.add(2, Kind0, CarbonDioxide);
    QVERIFY(cw->ready(2));
    w->Execute(f()->ActCalb);
    CommandWindow::type(d()->EditConc, "70");
    cw->dlg->setWindowTitle("Dlg");

    QVERIFY(cw->select(2));
    QVERIFY(cw->readOnce());
    w->Execute(f()->ActCalb);
    QCOMPARE(cw->dlg->windowTitle(), QString("ПГС:"));
    QCOMPARE(cw->dlg->Tag, 0x01F49503u);
    QCOMPARE(cw->dlg->DlgRange, uint16_t(440));
    QCOMPARE(d()->EditConcLabel->text(), QString("%НКПР"));
    QCOMPARE(d()->EditConc->text(), QString("70"));

    // Cancel hides the window and writes nothing; the next showing starts afresh.
    QTest::mouseClick(d()->BtCancel, Qt::LeftButton);
    QVERIFY(!cw->dlg->isVisible());
    w->Execute(f()->ActCalb);
    QVERIFY(cw->dlg->isVisible());
    QCOMPARE(cw->dlg->DlgRange, uint16_t(500));
    QCOMPARE(d()->EditConcLabel->text(), QString("%об."));
    QCOMPARE(d()->EditConc->text(), QString("2.5"));
    QCOMPARE(cw->writes(), QList<Write>{});
}

// The window closed while the zero waits for the cycle's read: no question,
// nothing written, no crash.
void TstCalibCommands::closingDuringTheReadWait() {
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());
    cw->line.readDelayMs = 2000;
    w->Execute(f()->ActRenew);
    QVERIFY(w->Reading);
    QTimer::singleShot(100, w, [this] { w->close(); });
    w->Execute(f()->ActZero2);
    QVERIFY(!w->isVisible());
    QCOMPARE(shown(), QStringList{});
    QTest::qWait(100);
    QCOMPARE(cw->writes(), QList<Write>{});
}

// The adapter pulled out while the zero waits for its echo: the engineer is
// told of the port and of the calibration that got no answer, and the
// command does not hang on.
void TstCalibCommands::adapterPulledDuringACommand() {
    cw->line.add(1, Kind0, Methane);
    QVERIFY(cw->ready());
    QVERIFY(cw->startCycle());
    cw->line.writeFaults[0] = FakeDetectors::Fault::Silent;
    const QString port = w->Exchange().PortName();
    w->Execute(f()->ActZero2);
    QTRY_COMPARE(cw->writes().size(), 1);
    QVERIFY(w->CmdPending);

    cw->line.pty().hangUp();
    QTRY_VERIFY(!w->CmdPending);
    QTRY_COMPARE(shown(),
                 (QStringList{"confirm: Установить показания в 0?",
                              "error: Связь с портом " + port + " потеряна: адаптер отключён.",
                              "message: Ошибка градуировки!"}));
    QVERIFY(!w->TimerRead.isActive());
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
}

QTEST_MAIN(TstCalibCommands)
#include "tst_calibcommands.moc"
