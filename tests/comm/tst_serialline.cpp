#include "MonotonicClock.h"
#include "PtyResponder.h"
#include "SerialLine.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
// Records what the line hands a processor.
class RecordingProcessor : public DataProcessor {
public:
    QByteArray received;
    QList<qint64> stamps;
    int attached = 0;
    int detached = 0;
    int closed = 0;
    bool accepting = true;

    void LineAttached(SerialLine&) override { ++attached; }
    void LineDetached() override { ++detached; }
    void LineClosed() override { ++closed; }
    bool AcceptsBytes() const override { return accepting; }
    void BytesArrived(const QByteArray& bytes, qint64 at) override {
        received += bytes;
        stamps << at;
    }
};
} // namespace

// The port under the master and the service mode, over a pseudo-terminal.
class TstSerialLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openFailureSaysWhy();
    void serviceModeExchange();
    void waitEndsEarly_data();
    void waitEndsEarly();
    void clearDropsPendingInput();
    void outputLimitRefusesWithoutSending();
    void settingsReachTheOpenPort();
    void settingsTheOpenPortRefusesReopenIt();
    void processorGetsBytesOnlyWhileAttached();
    void lostPortClosesAndTellsOnce();

private:
    SerialLine* line = nullptr;
    PtyResponder* pty = nullptr;
    void open();
};

void TstSerialLine::init() {
    line = new SerialLine;
    pty = new PtyResponder;
}

void TstSerialLine::cleanup() {
    delete line;
    line = nullptr;
    delete pty;
    pty = nullptr;
}

void TstSerialLine::open() {
    line->SetPortName(pty->slavePath());
    QString error;
    QVERIFY2(line->Open(&error), qPrintable(error));
}

void TstSerialLine::openFailureSaysWhy() {
    line->SetPortName("/dev/kpx-no-such-port");
    QString error;
    QVERIFY(!line->Open(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!line->IsOpen());
    QVERIFY(!line->SendString("MODBUS\r"));
    QVERIFY(!line->WaitForBytes(1, 1000)); // a closed port ends the wait at once
    QVERIFY(line->ReadAll().isEmpty());
}

void TstSerialLine::serviceModeExchange() {
    open();
    QVERIFY(line->SendString("#05RDLOG0\r"));
    QVERIFY(line->SendData("MODB", 4));
    QCOMPARE(pty->peekWaiting(14, 5000), 14);

    // Nothing attached: the reply waits in the port until read, in pieces or whole.
    pty->write("#05LOG0:");
    QTest::qWait(100);
    pty->write(QByteArray(256, '\x11'));
    QVERIFY(line->WaitForBytes(264, 5000));
    const QByteArray block = line->ReadAll();
    QCOMPARE(block.size(), 264);
    QVERIFY(block.startsWith("#05LOG0:"));
    QVERIFY(line->ReadAll().isEmpty());

    // Fewer bytes than asked for: false after the time, and those bytes stay.
    pty->write("OK");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!line->WaitForBytes(3, 200));
    QVERIFY(clock.elapsed() >= 190);
    QCOMPARE(line->ReadAll(), QByteArray("OK"));
}

void TstSerialLine::waitEndsEarly_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("aborted") << false;
    QTest::newRow("port closed") << true;
}

void TstSerialLine::waitEndsEarly() {
    QFETCH(bool, close);
    open();
    // The window's own timers run during the wait: one of them ends it.
    QTimer::singleShot(100, line, [this, close] { close ? line->Close() : line->AbortWaits(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!line->WaitForBytes(1, 20000));
    QVERIFY2(clock.elapsed() < 10000, "the wait ran to its end");
    QCOMPARE(line->IsOpen(), !close);
    if (!close) {
        // An abort ends the waits under way, not the later ones.
        pty->write("x");
        QVERIFY(line->WaitForBytes(1, 5000));
    }
}

void TstSerialLine::clearDropsPendingInput() {
    open();
    pty->write("stale reply");
    QVERIFY(line->WaitForBytes(11, 5000));
    line->ClearDeviceBuffers();
    QVERIFY(line->ReadAll().isEmpty());
    pty->write("OK\r");
    QVERIFY(line->WaitForBytes(3, 5000));
    QCOMPARE(line->ReadAll(), QByteArray("OK\r"));
}

void TstSerialLine::outputLimitRefusesWithoutSending() {
    line->SetBufferSizes(4096, 16);
    open();
    QVERIFY(!line->SendString(QByteArray(17, 'x')));
    QVERIFY(line->SendString(QByteArray(16, 'y')));
    QCOMPARE(pty->peekWaiting(16, 5000), 16);
}

void TstSerialLine::settingsReachTheOpenPort() {
    open();
    QSignalSpy closed(line, &SerialLine::Closed);
    QVERIFY(
        line->SetSettings({9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::TwoStop}));
    QVERIFY(line->IsOpen());
    QCOMPARE(closed.size(), 0); // applied in place, not by reopening
    const termios t = pty->portTermios();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QVERIFY(t.c_cflag & CSTOPB);
    QCOMPARE(line->PortSettings().baudRate, 9600);

    QVERIFY(
        line->SetSettings({1200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop}));
    const termios u = pty->portTermios();
    QCOMPARE(cfgetospeed(&u), speed_t(B1200));
    QVERIFY(!(u.c_cflag & CSTOPB));
    QCOMPARE(closed.size(), 0);
}

void TstSerialLine::settingsTheOpenPortRefusesReopenIt() {
    line->SetSettings({9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop});
    open();
    QSignalSpy closed(line, &SerialLine::Closed);
    QSignalSpy opened(line, &SerialLine::Opened);
    // A pseudo-terminal keeps no parity on an open port; the port takes it at open.
    const LineSettings even{19200, QSerialPort::Data8, QSerialPort::EvenParity,
                            QSerialPort::OneStop};
    QVERIFY(line->SetSettings(even));
    QVERIFY(line->IsOpen());
    QCOMPARE(closed.size(), 1);
    QCOMPARE(opened.size(), 1);
    QVERIFY(line->PortSettings() == even);
    QVERIFY(line->Settings() == even);
    const termios t = pty->portTermios();
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
}

void TstSerialLine::processorGetsBytesOnlyWhileAttached() {
    open();
    RecordingProcessor p;
    line->Attach(&p);
    QCOMPARE(p.attached, 1);
    const qint64 before = MonotonicNs();
    pty->write("\x01\x03\x02");
    QTRY_COMPARE(p.received, QByteArray("\x01\x03\x02"));
    QVERIFY(p.stamps.first() >= before);

    // A processor that takes no bytes leaves them in the port.
    p.accepting = false;
    pty->write("held");
    QTest::qWait(100);
    QCOMPARE(p.received.size(), 3);
    QCOMPARE(line->ReadAll(), QByteArray("held"));
    p.accepting = true;

    line->Detach();
    QCOMPARE(p.detached, 1);
    pty->write("queued");
    QVERIFY(line->WaitForBytes(6, 5000));
    QCOMPARE(p.received.size(), 3);
    // Attached again, the processor gets what waited.
    line->Attach(&p);
    QTRY_COMPARE(p.received, QByteArray("\x01\x03\x02queued"));

    line->Close();
    QCOMPARE(p.closed, 1);
    line->Attach(nullptr);
    QCOMPARE(p.detached, 2);
}

void TstSerialLine::lostPortClosesAndTellsOnce() {
    open();
    RecordingProcessor p;
    line->Attach(&p);
    QSignalSpy lost(line, &SerialLine::Lost);
    pty->hangUp();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!line->IsOpen());
    QVERIFY(!lost.first().first().toString().isEmpty());
    QCOMPARE(p.closed, 1);
    QTest::qWait(200);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(p.closed, 1);
    line->Detach();
}

QTEST_GUILESS_MAIN(TstSerialLine)
#include "tst_serialline.moc"
