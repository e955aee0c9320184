#include "Forms.h"
#include "ScriptedPrompts.h"
#include "SimBus.h"
#include "UnitMain.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTreeWidget>

namespace {
// Whether a request for the address has reached the bus, heard or not.
bool heard(const SimBus& bus, int address) {
    for (const SimTraffic& t : bus.traffic()) {
        if (t.direction == SimTraffic::In && !t.bytes.isEmpty() && quint8(t.bytes[0]) == address)
            return true;
    }
    return false;
}
} // namespace

// The tool against the simulated default bus, with real bytes and real timing.
class TstEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void scanSelectAndWatch();
};

void TstEndToEnd::scanSelectAndWatch() {
    SimBus bus;
    bus.loadDefault();
    const QString path = bus.openPty();
    QVERIFY(!path.isEmpty());

    ScriptedPrompts prompts;
    TFormMain w(&prompts);
    Ui::TFormMain* f = w.Form();
    w.show();
    w.PreselectPort(path);

    // Scan the first addresses step by step instead of waiting 148 s.
    w.Execute(f->ActFind);
    QVERIFY(w.Searching);
    w.TimerFind.stop();
    int answering = 0;
    for (int a = 1; a <= 5; ++a) {
        w.TimerFindTimer();
        // A silent address holds the next probe back for its whole time-out.
        QTRY_VERIFY(heard(bus, a));
        answering += bus.detector(a) ? 1 : 0;
    }
    // The last answers come in before the scan ends.
    QTRY_COMPARE(w.RxCount, answering);
    w.ScanAddr = 247;
    w.TimerFindTimer();
    QVERIFY(!w.Searching);
    QVERIFY(f->DevTree->topLevelItemCount() >= 2);
    QTreeWidgetItem* first = f->DevTree->topLevelItem(0)->child(0);
    QCOMPARE(first->data(0, Qt::UserRole).toInt(), 1);
    QCOMPARE(first->text(0), QString("#1 : 09400123"));

    // Select detector 1 and start reading: the panel fills from the detector.
    w.DevTreeMouseDown(Qt::LeftButton, f->DevTree->visualItemRect(first).topLeft() + QPoint(10, 5));
    QCOMPARE(w.SelNode, first);
    QElapsedTimer clock;
    clock.start();
    w.Execute(f->ActRenew);
    QTRY_VERIFY(f->DevPanel->isEnabled());
    QVERIFY(!f->EditConc->text().isEmpty());
    QVERIFY(f->DevPanelCaption->text().startsWith("#1 : 09400123"));
    QVERIFY(f->DevPanelCaption->text().contains("(v8.40)"));

    // The next reads follow two and four seconds after the first.
    const int requests = w.TxCount;
    QTRY_VERIFY_WITH_TIMEOUT(w.TxCount == requests + 1, 3000);
    const qint64 second = clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(w.TxCount == requests + 2, 3000);
    const qint64 third = clock.elapsed();
    QVERIFY2(second > 1800 && second < 2400, qPrintable(QString::number(second)));
    QVERIFY2(third - second > 1800 && third - second < 2200,
             qPrintable(QString::number(third - second)));

    // Each read sets the caption to the node first, then the decode adds the
    // version and status: the picture waits for a whole pass.
    if (const QByteArray shot = qgetenv("KPX_SCREENSHOT"); !shot.isEmpty()) {
        QTRY_VERIFY(f->DevPanelCaption->text().contains("(v8.40)"));
        w.grab().save(QString::fromLocal8Bit(shot));
    }

    w.Execute(f->ActReadStop);
    QVERIFY(!w.TimerRead.isActive() && !w.Reading);
    QVERIFY(prompts.shown.isEmpty());
}

QTEST_MAIN(TstEndToEnd)
#include "tst_endtoend.moc"
