#include "Forms.h"
#include "PortSettingsDialog.h"
#include "PtyResponder.h"
#include "ScriptedPrompts.h"
#include "SerialLine.h"
#include "UnitMain.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace kpx;

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startState_data();
    void startState();
    void startControls();
    void statusPanels();
    void portSettingsDialog_data();
    void portSettingsDialog();
    void portSwitchFailureWhileOpen();
    void handlerErrorGoesToErrorBox();
    void messageBoxPlacement_data();
    void messageBoxPlacement();
    void fileFilters();
    void closeReleasesPortAndRecords();

private:
    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    PtyResponder* pty = nullptr;
    Ui::TFormMain* f() const { return w->Form(); }
};

void TstMainWindow::init() {
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    pty = new PtyResponder;
    w->PreselectPort(pty->slavePath());
}

void TstMainWindow::cleanup() {
    delete w;
    delete prompts;
    delete pty;
}

void TstMainWindow::startState_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("enabled");
    for (const char* a : {"ActFind", "ActStop", "ActReadStop", "ActHelp", "ActWriteCurr",
                          "ActWriteOpt", "ActWriteAddr"})
        QTest::newRow(a) << a << true;
    for (const char* a : {"ActRenew", "ActSaveToFile", "ActZero", "ActZero2", "ActCalb", "ActInit",
                          "ActReadLog", "ActDelLog"})
        QTest::newRow(a) << a << false;
}

void TstMainWindow::startState() {
    QFETCH(QString, action);
    QFETCH(bool, enabled);
    auto* a = w->findChild<QAction*>(action);
    QVERIFY2(a, qPrintable(action));
    QCOMPARE(a->isEnabled(), enabled);
}

void TstMainWindow::startControls() {
    QCOMPARE(w->windowTitle(), QString("KPX Tool 2.1.3"));
    QVERIFY(!f()->DevPanel->isEnabled());
    QCOMPARE(f()->BtFind->defaultAction(), f()->ActFind);
    QCOMPARE(f()->BtRead->defaultAction(), f()->ActRenew);
    QCOMPARE(f()->BtClbZero->defaultAction(), f()->ActZero2);
    QVERIFY(!f()->BtRead->isEnabled() && !f()->BtSave->isEnabled());
    QVERIFY(f()->BtFind->isEnabled() && f()->BtHelp->isEnabled());
    // Inside the disabled panel, their own states are what the rules set.
    QVERIFY(f()->SpBtSetOptions->isEnabledTo(f()->DevPanel));
    QVERIFY(f()->SpBtSetAddr->isEnabledTo(f()->DevPanel));
    QVERIFY(!f()->SpBtSetCurr->isEnabledTo(f()->DevPanel));
    QVERIFY(f()->DevTree->topLevelItemCount() == 0);

    // The pop-up items follow their actions.
    auto* n1 = w->findChild<QAction*>("N1");
    auto* n2 = w->findChild<QAction*>("N2");
    QVERIFY(n1 && n2);
    QCOMPARE(n1->text(), QString("Читать лог событий"));
    QCOMPARE(n2->text(), QString("Стереть лог событий"));
    QVERIFY(!n1->isEnabled() && !n2->isEnabled());
    f()->ActReadLog->setEnabled(true);
    QVERIFY(n1->isEnabled());

    QCOMPARE(w->TimerRead.interval(), 2000);
    QCOMPARE(w->TimerReadOnes.interval(), 500);
    QCOMPARE(w->Timer5sec.interval(), 15000);
    QCOMPARE(w->TimerProgress.interval(), 200);
    QCOMPARE(w->TimerWrite.interval(), 500);
    for (QTimer* t : {&w->TimerFind, &w->TimerRead, &w->TimerReadOnes, &w->Timer5sec,
                      &w->TimerProgress, &w->TimerWrite})
        QVERIFY(!t->isActive());
    QVERIFY(!w->Searching && !w->Reading && !w->Writing && !w->CmdPending && !w->Updating);
    QVERIFY(!w->Exchange().IsOpen());
    QVERIFY(prompts->shown.isEmpty());
}

void TstMainWindow::statusPanels() {
    QCOMPARE(w->StatusPanelText(0), pty->slavePath() + ": 19200 / 8-Even-1");
    QCOMPARE(w->StatusPanelText(1), QString());
    QCOMPARE(w->StatusPanelText(2), QString());
    QCOMPARE(w->StatusPanelText(3), QString());
    auto panels = f()->StatBar->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 4);
}

void TstMainWindow::portSettingsDialog_data() {
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("settings");
    QTest::newRow("cancelled") << false << false << ": 19200 / 8-Even-1";
    QTest::newRow("confirmed, closed") << true << false << ": 9600 / 7-None-2";
    QTest::newRow("confirmed, open: applied at once") << true << true << ": 9600 / 7-None-2";
}

void TstMainWindow::portSettingsDialog() {
    QFETCH(bool, confirm);
    QFETCH(bool, open);
    QFETCH(QString, settings);
    if (open)
        w->Exchange().Open();
    prompts->dialogScript = [confirm](QDialog& d) {
        static_cast<PortSettingsDialog&>(d).setSettings(
            9600, QSerialPort::Data7, QSerialPort::NoParity, QSerialPort::TwoStop);
        return confirm;
    };
    w->SetStatusText(0, "stale"); // rewritten whatever the answer
    w->bCfgClick();
    QCOMPARE(w->StatusPanelText(0), pty->slavePath() + settings);
    QCOMPARE(w->Exchange().IsOpen(), open);
    if (open)
        QCOMPARE(w->Exchange().Line()->PortSettings().baudRate, 9600);
}

void TstMainWindow::portSwitchFailureWhileOpen() {
    w->Exchange().Open();
    const QString before = w->StatusPanelText(0);
    w->ComBoxChange("/dev/kpx-no-such-port");
    QCOMPARE(prompts->shown.size(), 1);
    QVERIFY(prompts->shown[0].startsWith("error: "));
    QVERIFY(prompts->shown[0].size() > 7);
    QCOMPARE(w->StatusPanelText(0), before);
    QVERIFY(!w->Exchange().IsOpen());

    // Another pick works again and keeps the port closed, as it now is.
    w->ComBoxChange(pty->slavePath());
    QCOMPARE(w->StatusPanelText(0), pty->slavePath() + ": 19200 / 8-Even-1");
    QVERIFY(!w->Exchange().IsOpen());
}

void TstMainWindow::handlerErrorGoesToErrorBox() {
    // A request with the port closed is an error inside the handler.
    w->Guard([this] { w->Exchange().ReadBlock(1); });
    QCOMPARE(prompts->shown.size(), 1);
    QVERIFY(prompts->shown[0].startsWith("error: "));
    QCOMPARE(w->TxCount, 0);
    // The program carries on.
    w->Guard([] {});
    QCOMPARE(prompts->shown.size(), 1);
}

void TstMainWindow::messageBoxPlacement_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("message") << "message";
    QTest::newRow("warning") << "warning";
    QTest::newRow("confirm") << "confirm";
}

void TstMainWindow::messageBoxPlacement() {
    QFETCH(QString, kind);
    w->move(123, 77);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QPoint expected(w->frameGeometry().left() + w->frameGeometry().width() / 2 - 150,
                          w->frameGeometry().top() + w->frameGeometry().height() / 2 - 50);
    QCOMPARE(MessagePosition(w), expected);

    QPoint seen;
    QString buttons;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = box->pos();
        for (QAbstractButton* b : box->buttons())
            buttons += QString::number(box->standardButton(b), 16) + ' ';
        box->defaultButton()->click();
    });
    WidgetPrompts real(w);
    bool answer = false;
    if (kind == "message")
        real.message("text"), answer = true;
    else if (kind == "warning")
        answer = real.warning("Укажите прибор!");
    else
        answer = real.confirm("?");
    QCOMPARE(seen, expected);
    QVERIFY2(answer, "the default button is the positive one");
    QVERIFY(!buttons.isEmpty());
}

void TstMainWindow::fileFilters() {
    QCOMPARE(QtNameFilters("KPX log files (*.kpx)|*.KPX|Any file (*.*)|*.*"),
             QString("KPX log files (*.kpx) (*.KPX);;Any file (*.*) (*.*)"));
    QCOMPARE(QtNameFilters("CSV|*.csv;*.txt"), QString("CSV (*.csv *.txt)"));
    QCOMPARE(QtNameFilters("plain"), QString("plain"));
}

void TstMainWindow::closeReleasesPortAndRecords() {
    w->Exchange().Open();
    w->show();
    QVERIFY(w->close());
    QVERIFY(!w->Exchange().IsOpen());
    for (const auto& d : w->Devices)
        QVERIFY(d == nullptr);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
