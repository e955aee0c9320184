#include "ModbusCrc.h"
#include "MonotonicClock.h"
#include "PtyResponder.h"
#include "RtuMaster.h"
#include "SerialLine.h"
#include "SimBus.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

QByteArray frame(const char* hex) {
    return WithModbusCrc(QByteArray::fromHex(hex));
}

RtuRequest requestOf(const QByteArray& f) {
    return {quint8(f[0]), quint8(f[1]), quint8(f[2]) << 8 | quint8(f[3]),
            quint8(f[4]) << 8 | quint8(f[5])};
}

QByteArray randomBytes(int n, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray bytes(n, '\0');
    for (char& b : bytes)
        b = char(rng.bounded(256));
    return bytes;
}

// Registers 1 and 2 of detector 5: the probe of a scan and its reply.
const QByteArray probe = QByteArray::fromHex("050300010002944F");
const QByteArray probeReply = QByteArray::fromHex("050304008F6F3BE23B");

// Answers like a detector whose register n holds base + n; writes are echoed, a write
// to register 8 is refused with 03.
QByteArray detectorAnswer(const QByteArray& req, quint16 base = 0x0100) {
    const RtuRequest r = requestOf(req);
    if (r.function == Rtu::WriteSingle)
        return r.start == 8 ? WithModbusCrc(req.left(1) + QByteArray::fromHex("8603")) : req;
    QByteArray body = req.left(2);
    body += char(r.countOrValue * 2);
    for (int reg = r.start; reg < r.start + r.countOrValue; ++reg) {
        const quint16 value = quint16(base + reg);
        body += char(value >> 8);
        body += char(value & 0xFF);
    }
    return WithModbusCrc(body);
}

QString fates(const QList<RtuRawFrame>& frames) {
    static const char* const names[] = {"Sent", "Reply", "Noise", "BadCrc", "Unexpected"};
    QStringList out;
    for (const RtuRawFrame& f : frames)
        out << QLatin1String(names[f.fate]);
    return out.join(QLatin1Char(' '));
}

// What the framer makes of chunks fed silenceMs apart (0: back to back), for the
// request in the first bytes, with `before` arriving while it waits to be sent.
struct Fed {
    RtuFramer::Result result;
    QList<RtuRawFrame> log;
    int maxBuffered = 0;
};
Fed feed(const QByteArray& request, const QByteArray& before, const QList<QByteArray>& chunks,
         const QList<int>& gapsMs) {
    const RtuRequest r = requestOf(request);
    RtuFramer framer;
    Fed fed;
    qint64 t = 1'000'000'000;
    if (!before.isEmpty())
        framer.Feed(before, t);
    framer.Start(
        1, r.slave, r.function, r.ReplyLength(),
        SilenceNs({19200, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::OneStop}));
    for (qsizetype i = 0; i < chunks.size() && fed.result.kind == ReplyMatch::None; ++i) {
        t += qint64(gapsMs.value(i)) * 1'000'000 + 100'000;
        fed.result = framer.Feed(chunks[i], t);
        fed.maxBuffered = std::max(fed.maxBuffered, framer.Buffered());
    }
    if (framer.Waiting())
        framer.Stop(t + 1'000'000'000); // the time-out
    fed.log = framer.TakeLog();
    return fed;
}

} // namespace

class TstRtuMaster : public QObject {
    Q_OBJECT
private slots:
    // The framing, without a port.
    void framing_data();
    void framing();
    void frameFates_data();
    void frameFates();
    void floodKeepsTheBufferBounded();
    void silence_data();
    void silence();
    void impossibleRequests_data();
    void impossibleRequests();

    // Real bytes and real timing over a pseudo-terminal.
    void init();
    void cleanup();
    void wireReadsWritesAndExceptions();
    void wireNoReply_data();
    void wireNoReply();
    void wireNoiseBeforeReply_data();
    void wireNoiseBeforeReply();
    void wireLateReplyIsNotTheNextOnesReply();
    void wireFloodThenWorks();
    void wireAdapterPulledMidFrame();
    void wireClosingEndsEveryRequest();
    void wirePacingIdleQueueSendsAtOnce();
    void wirePacingCountsFromTheExchangesEnd();
    void wireTimeoutInForceWhenSent();
    void wireInactiveNeitherSendsNorTakes();
    void wireEndsComeOneAtATime();

    // Against the simulator.
    void simNoiseBeforeReply_data();
    void simNoiseBeforeReply();
    void sameRegistersAsMbpoll();

private:
    PtyResponder* pty = nullptr;
    SerialLine* line = nullptr;
    RtuMaster* master = nullptr;
    QList<RtuResult> results;
    QList<RtuRawFrame> frames;
    void attach(const QString& path);
    QList<RtuRawFrame> framesOf(RtuRawFrame::Fate fate) const;
};

void TstRtuMaster::framing_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("before"); // arrives while the request waits to go out
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("gapsMs"); // silence before each chunk
    QTest::addColumn<int>("kind");          // what the master delivers
    QTest::addColumn<QByteArray>("delivered");

    const int none = ReplyMatch::None;
    const int normal = ReplyMatch::Normal;
    const int exception = ReplyMatch::Exception;
    using Chunks = QList<QByteArray>;
    using Gaps = QList<int>;

    QTest::newRow("good reply") << probe << QByteArray() << Chunks{probeReply} << Gaps{} << normal
                                << probeReply;
    const QByteArray block = detectorAnswer(frame("050300000013"));
    QTest::newRow("block of 19 registers")
        << frame("050300000013") << QByteArray() << Chunks{block} << Gaps{} << normal << block;

    for (int n = 1; n <= 5; ++n) {
        for (const auto& [name, noise] :
             {std::pair{"00", QByteArray(n, '\x00')}, std::pair{"FF", QByteArray(n, '\xFF')},
              std::pair{"random", randomBytes(n, quint32(n))}}) {
            QTest::addRow("%d noise bytes %s, then the reply", n, name)
                << probe << QByteArray() << Chunks{noise + probeReply} << Gaps{} << normal
                << probeReply;
        }
    }
    QTest::newRow("noise in two reads, then the reply")
        << probe << QByteArray()
        << Chunks{QByteArray::fromHex("FF05"), QByteArray::fromHex("00"), probeReply}
        << Gaps{0, 0, 0} << normal << probeReply;
    QTest::newRow("noise split by silences, the reply after")
        << probe << QByteArray()
        << Chunks{QByteArray::fromHex("0503"), QByteArray::fromHex("FF"), probeReply}
        << Gaps{0, 10, 10} << normal << probeReply;
    QTest::newRow("noise, silence, then noise glued to the reply")
        << probe << QByteArray()
        << Chunks{QByteArray::fromHex("0000"), QByteArray::fromHex("FF") + probeReply}
        << Gaps{0, 10} << normal << probeReply;

    // An adapter hands a frame over in pieces with gaps longer than the silence.
    for (int cut = 1; cut < probeReply.size(); ++cut) {
        QTest::addRow("reply cut after byte %d, silence between", cut)
            << probe << QByteArray() << Chunks{probeReply.left(cut), probeReply.mid(cut)}
            << Gaps{0, 10} << normal << probeReply;
        QTest::addRow("0xFF, reply cut after byte %d, silence between", cut)
            << probe << QByteArray()
            << Chunks{QByteArray::fromHex("FF") + probeReply.left(cut), probeReply.mid(cut)}
            << Gaps{0, 10} << normal << probeReply;
    }

    const QByteArray otherSlave = frame("060304008F6F3B");
    QTest::newRow("another slave's reply")
        << probe << QByteArray() << Chunks{otherSlave} << Gaps{} << none << QByteArray();
    QTest::newRow("another slave's reply, then ours")
        << probe << QByteArray() << Chunks{otherSlave + probeReply} << Gaps{} << normal
        << probeReply;

    QTest::newRow("exception to a read") << probe << QByteArray() << Chunks{frame("058302")}
                                         << Gaps{} << exception << frame("058302");
    QTest::newRow("exception to a write after noise")
        << frame("050600080001") << QByteArray()
        << Chunks{QByteArray::fromHex("00") + frame("058603")} << Gaps{} << exception
        << frame("058603");
    QTest::newRow("exception to another function")
        << probe << QByteArray() << Chunks{frame("058603")} << Gaps{} << none << QByteArray();
    QTest::newRow("exception from another slave")
        << probe << QByteArray() << Chunks{frame("068302")} << Gaps{} << none << QByteArray();
    QByteArray badException = frame("058302");
    badException[4] = char(badException[4] ^ 0x01);
    QTest::newRow("exception with a wrong CRC")
        << probe << QByteArray() << Chunks{badException} << Gaps{} << none << QByteArray();

    QByteArray badCrc = probeReply;
    badCrc[8] = char(badCrc[8] ^ 0x5A);
    QTest::newRow("wrong CRC") << probe << QByteArray() << Chunks{badCrc} << Gaps{} << none
                               << QByteArray();
    QTest::newRow("wrong CRC, then the reply")
        << probe << QByteArray() << Chunks{badCrc, probeReply} << Gaps{0, 10} << normal
        << probeReply;
    QTest::newRow("truncated") << probe << QByteArray() << Chunks{probeReply.left(7)} << Gaps{}
                               << none << QByteArray();
    QTest::newRow("oversized: three registers for two")
        << probe << QByteArray() << Chunks{frame("050306008F6F3B0001")} << Gaps{} << none
        << QByteArray();
    QTest::newRow("the reply amid a kilobyte of noise, in one read")
        << probe << QByteArray() << Chunks{randomBytes(1000, 7) + probeReply + randomBytes(50, 8)}
        << Gaps{} << normal << probeReply;
    QTest::newRow("the reply after 1500 bytes of noise in five reads")
        << probe << QByteArray()
        << Chunks{randomBytes(300, 1), randomBytes(300, 2), randomBytes(300, 3),
                  randomBytes(300, 4), randomBytes(300, 5), probeReply}
        << Gaps{} << normal << probeReply;

    // The earlier request timed out and its reply comes while this one waits: the
    // same bytes this request expects, yet not its reply.
    QTest::newRow("late reply while the next request waits")
        << probe << probeReply << Chunks{} << Gaps{} << none << QByteArray();
    const QByteArray fresh = QByteArray::fromHex("05030400AA00BB");
    QTest::newRow("late reply while the next request waits, then its own")
        << probe << probeReply << Chunks{WithModbusCrc(fresh)} << Gaps{} << normal
        << WithModbusCrc(fresh);

    QTest::newRow("write echo") << frame("0506000901F4") << QByteArray()
                                << Chunks{frame("0506000901F4")} << Gaps{} << normal
                                << frame("0506000901F4");
    QTest::newRow("write echo with trailing bytes")
        << frame("0506000901F4") << QByteArray()
        << Chunks{frame("0506000901F4") + QByteArray::fromHex("FFFF")} << Gaps{} << normal
        << frame("0506000901F4");
}

void TstRtuMaster::framing() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, before);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<int>, gapsMs);
    QFETCH(int, kind);
    QFETCH(QByteArray, delivered);
    const Fed fed = feed(request, before, chunks, gapsMs);
    QCOMPARE(int(fed.result.kind), kind);
    QCOMPARE(fed.result.frame.toHex(), delivered.toHex());
    // Every byte received is logged once, whatever became of it.
    QByteArray logged;
    for (const RtuRawFrame& f : fed.log)
        logged += f.bytes;
    QByteArray received = before;
    for (const QByteArray& c : chunks)
        received += c;
    QCOMPARE(logged.size(), received.size());
}

void TstRtuMaster::frameFates_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("gapsMs");
    QTest::addColumn<QString>("fates");
    using Chunks = QList<QByteArray>;
    using Gaps = QList<int>;
    QByteArray badCrc = probeReply;
    badCrc[8] = char(badCrc[8] ^ 0x5A);
    QTest::newRow("noise then the reply")
        << QByteArray() << Chunks{QByteArray::fromHex("00") + probeReply} << Gaps{}
        << "Noise Reply";
    QTest::newRow("noise ended by a silence")
        << QByteArray() << Chunks{QByteArray::fromHex("FFFF"), probeReply} << Gaps{0, 10}
        << "Noise Reply";
    QTest::newRow("bytes after the reply")
        << QByteArray() << Chunks{probeReply + QByteArray::fromHex("00")} << Gaps{}
        << "Reply Unexpected";
    QTest::newRow("wrong CRC, no reply") << QByteArray() << Chunks{badCrc} << Gaps{} << "BadCrc";
    QTest::newRow("another slave's frame")
        << QByteArray() << Chunks{frame("060304008F6F3B")} << Gaps{} << "Unexpected";
    QTest::newRow("a reply with no request on the line")
        << probeReply << Chunks{} << Gaps{} << "Unexpected";
}

void TstRtuMaster::frameFates() {
    QFETCH(QByteArray, before);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<int>, gapsMs);
    QFETCH(QString, fates);
    QCOMPARE(::fates(feed(probe, before, chunks, gapsMs).log), fates);
}

void TstRtuMaster::floodKeepsTheBufferBounded() {
    QList<QByteArray> chunks;
    for (int i = 0; i < 200; ++i)
        chunks << randomBytes(100, quint32(100 + i));
    chunks << probeReply;
    const Fed fed = feed(probe, {}, chunks, {});
    QVERIFY(fed.maxBuffered <= Rtu::MaxBuffered);
    QCOMPARE(fed.result.frame, probeReply);
}

void TstRtuMaster::silence_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<qint64>("ns");
    QTest::newRow("19200 8E1: 3.5 x 11 bits")
        << 19200 << int(QSerialPort::EvenParity) << 1 << qint64(2005209);
    QTest::newRow("1200 8N2: 3.5 x 11 bits")
        << 1200 << int(QSerialPort::NoParity) << 2 << qint64(32083334);
    QTest::newRow("9600 8N1: 3.5 x 10 bits")
        << 9600 << int(QSerialPort::NoParity) << 1 << qint64(3645834);
    QTest::newRow("38400: fixed 1.75 ms")
        << 38400 << int(QSerialPort::EvenParity) << 1 << qint64(1750000);
}

void TstRtuMaster::silence() {
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(qint64, ns);
    QCOMPARE(SilenceNs({baud, QSerialPort::Data8, QSerialPort::Parity(parity),
                        QSerialPort::StopBits(stopBits)}),
             ns);
}

void TstRtuMaster::impossibleRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("problem");
    QTest::newRow("broadcast") << QByteArray::fromHex("000300010002") << "Address 0";
    QTest::newRow("address 248") << QByteArray::fromHex("F80300010002") << "Address 248";
    QTest::newRow("read of none") << QByteArray::fromHex("050300010000") << "Cannot read 0";
    QTest::newRow("read of 126") << QByteArray::fromHex("05030001007E") << "Cannot read 126";
    QTest::newRow("function 16") << QByteArray::fromHex("051000010002") << "Function 16";
}

void TstRtuMaster::impossibleRequests() {
    QFETCH(QByteArray, request);
    QFETCH(QString, problem);
    QVERIFY2(requestOf(request).Problem().startsWith(problem),
             qPrintable(requestOf(request).Problem()));
    // Refused by the master too, with the same words and nothing sent.
    PtyResponder far;
    SerialLine l;
    RtuMaster m;
    l.SetPortName(far.slavePath());
    QVERIFY(l.Open());
    l.Attach(&m);
    QString error;
    QCOMPARE(m.Send(requestOf(request), &error), quint64(0));
    QVERIFY(error.startsWith(problem));
    QCOMPARE(far.peekWaiting(1, 50), 0);
}

void TstRtuMaster::init() {
    results.clear();
    frames.clear();
    // The wire tests share a scripted far end; the others bring their own.
    if (!QByteArray(QTest::currentTestFunction()).startsWith("wire"))
        return;
    pty = new PtyResponder;
    pty->setScript([](const QByteArray& req) { return detectorAnswer(req); });
    attach(pty->slavePath());
}

void TstRtuMaster::attach(const QString& path) {
    line = new SerialLine;
    master = new RtuMaster;
    line->SetPortName(path);
    QString error;
    QVERIFY2(line->Open(&error), qPrintable(error));
    line->Attach(master);
    connect(master, &RtuMaster::Finished, this, [this](const RtuResult& r) { results << r; });
    connect(master, &RtuMaster::FrameLogged, this, [this](const RtuRawFrame& f) { frames << f; });
}

void TstRtuMaster::cleanup() {
    delete master;
    master = nullptr;
    delete line;
    line = nullptr;
    delete pty;
    pty = nullptr;
}

QList<RtuRawFrame> TstRtuMaster::framesOf(RtuRawFrame::Fate fate) const {
    QList<RtuRawFrame> out;
    for (const RtuRawFrame& f : frames)
        if (f.fate == fate)
            out << f;
    return out;
}

void TstRtuMaster::wireReadsWritesAndExceptions() {
    const quint64 block = master->Send({5, Rtu::ReadHolding, 0, 19});
    const quint64 write = master->Send({5, Rtu::WriteSingle, 9, 0x01F4});
    const quint64 refused = master->Send({5, Rtu::WriteSingle, 8, 0xFFFF});
    // The same request twice is sent twice.
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 5);
    QCOMPARE(pty->requests().size(), 5);
    QCOMPARE(pty->requests()[0], QByteArray::fromHex("0503000000130583"));
    QCOMPARE(pty->requests()[1], frame("0506000901F4"));
    QCOMPARE(pty->requests()[3], probe);
    QCOMPARE(pty->requests()[4], probe);

    QCOMPARE(results[0].id, block);
    QCOMPARE(results[0].outcome, RtuResult::Reply);
    const auto regs = results[0].Registers();
    QCOMPARE(regs.size(), 19);
    for (int r = 0; r < 19; ++r)
        QCOMPARE(regs[r], (QPair<int, quint16>{r, quint16(0x0100 + r)}));
    QCOMPARE(results[1].id, write);
    QCOMPARE(results[1].Registers(), (QList<QPair<int, quint16>>{{9, 0x01F4}}));
    QCOMPARE(results[2].id, refused);
    QCOMPARE(results[2].outcome, RtuResult::Exception);
    QCOMPARE(results[2].ExceptionCode(), 3);
    QVERIFY(results[2].Registers().isEmpty());
    QCOMPARE(results[3].outcome, RtuResult::Reply);
    QCOMPARE(results[4].outcome, RtuResult::Reply);
    QCOMPARE(master->Pending(), 0);
    QCOMPARE(framesOf(RtuRawFrame::Sent).size(), 5);
    QCOMPARE(framesOf(RtuRawFrame::Reply).size(), 5);
}

void TstRtuMaster::wireNoReply_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("logged"); // what the bytes were taken for
    QByteArray badCrc = probeReply;
    badCrc[8] = char(badCrc[8] ^ 0x5A);
    QTest::newRow("silence") << QByteArray() << "";
    QTest::newRow("noise only") << QByteArray::fromHex("00ff00ff13370d0a") << "Noise";
    QTest::newRow("wrong CRC") << badCrc << "BadCrc";
    QTest::newRow("truncated") << probeReply.left(6) << "Noise";
    QTest::newRow("another address") << frame("070304008F6F3B") << "Unexpected";
    QTest::newRow("oversized") << frame("050306008F6F3B0001") << "Unexpected";
}

void TstRtuMaster::wireNoReply() {
    QFETCH(QByteArray, answer);
    QFETCH(QString, logged);
    pty->setScript([answer](const QByteArray&) { return answer; });
    master->SetTimeout(150);
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results[0].outcome, RtuResult::Timeout);
    QVERIFY(results[0].frame.isEmpty());
    QCOMPARE(fates(frames), QStringLiteral("Sent %1").arg(logged).trimmed());
    QTest::qWait(100);
    QCOMPARE(results.size(), 1);
}

void TstRtuMaster::wireNoiseBeforeReply_data() {
    QTest::addColumn<QByteArray>("noise");
    QTest::addColumn<int>("gapMs");
    QTest::newRow("one 0x00 glued to the reply") << QByteArray(1, '\x00') << 0;
    QTest::newRow("one 0xFF, 5 ms of silence") << QByteArray(1, '\xFF') << 5;
    QTest::newRow("five random bytes glued") << randomBytes(5, 42) << 0;
    QTest::newRow("the slave's address alone, 20 ms of silence") << QByteArray(1, '\x05') << 20;
}

void TstRtuMaster::wireNoiseBeforeReply() {
    QFETCH(QByteArray, noise);
    QFETCH(int, gapMs);
    pty->setTimedScript([noise, gapMs](const QByteArray& req) {
        return QList<PtyResponder::Piece>{{0, noise}, {gapMs, detectorAnswer(req)}};
    });
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results[0].outcome, RtuResult::Reply);
    QCOMPARE(results[0].frame, detectorAnswer(probe));
    QByteArray discarded;
    for (const RtuRawFrame& f : framesOf(RtuRawFrame::Noise))
        discarded += f.bytes;
    QCOMPARE(discarded, noise);
}

void TstRtuMaster::wireLateReplyIsNotTheNextOnesReply() {
    // The first answer comes 150 ms late, after the 80 ms time-out, while the next
    // request waits out a long pause; every later answer comes at once, other values.
    int seen = 0;
    pty->setTimedScript([&seen](const QByteArray& req) {
        return ++seen == 1 ? QList<PtyResponder::Piece>{{150, detectorAnswer(req, 0x0100)}}
                           : QList<PtyResponder::Piece>{{0, detectorAnswer(req, 0x0200)}};
    });
    master->SetPauseNs(300'000'000);
    master->SetTimeout(80);
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 2);
    QCOMPARE(results[0].outcome, RtuResult::Timeout);
    QCOMPARE(results[1].outcome, RtuResult::Reply);
    QCOMPARE(results[1].frame, detectorAnswer(probe, 0x0200));
    const QList<RtuRawFrame> late = framesOf(RtuRawFrame::Unexpected);
    QCOMPARE(late.size(), 1);
    QCOMPARE(late[0].bytes, detectorAnswer(probe, 0x0100));
    QCOMPARE(late[0].request, quint64(0));
}

void TstRtuMaster::wireFloodThenWorks() {
    pty->setScript(nullptr);
    QTimer flood;
    flood.setTimerType(Qt::PreciseTimer);
    quint32 seed = 0;
    connect(&flood, &QTimer::timeout, this, [&] { pty->write(randomBytes(256, ++seed)); });
    flood.start(2);
    int ticks = 0;
    QTimer window;
    connect(&window, &QTimer::timeout, this, [&ticks] { ++ticks; });
    window.start(50);
    master->SetTimeout(200);
    int sent = 0;
    const qint64 end = MonotonicNs() + 2'000'000'000;
    while (MonotonicNs() < end) {
        if (master->Pending() == 0 && master->Send(requestOf(probe)))
            ++sent;
        QTest::qWait(20);
    }
    flood.stop();
    QTRY_COMPARE(results.size(), sent);
    QVERIFY(sent >= 2);
    QVERIFY2(ticks >= 10, "the event loop stalled under the flood");
    QTest::qWait(100); // the flood's last bytes drain
    pty->setScript([](const QByteArray& req) { return detectorAnswer(req); });
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), sent + 1);
    QCOMPARE(results.last().outcome, RtuResult::Reply);
}

void TstRtuMaster::wireAdapterPulledMidFrame() {
    pty->setScript([](const QByteArray& req) { return detectorAnswer(req).left(4); });
    QSignalSpy lost(line, &SerialLine::Lost);
    master->SetTimeout(3000);
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    QTRY_COMPARE(pty->requests().size(), 1);
    QTest::qWait(50); // half a reply is in
    pty->hangUp();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!line->IsOpen());
    QTRY_COMPARE(results.size(), 2);
    QCOMPARE(results[0].outcome, RtuResult::Aborted);
    QCOMPARE(results[1].outcome, RtuResult::Aborted);
    QTest::qWait(200);
    QCOMPARE(results.size(), 2);
    QCOMPARE(lost.size(), 1);
    QString error;
    QCOMPARE(master->Send(requestOf(probe), &error), quint64(0));
    QVERIFY(error.contains("not open"));
}

void TstRtuMaster::wireClosingEndsEveryRequest() {
    pty->setScript(nullptr);
    for (int i = 0; i < 3; ++i)
        master->Send(requestOf(probe));
    line->Close();
    QCOMPARE(master->Pending(), 0);
    QTRY_COMPARE(results.size(), 3);
    for (const RtuResult& r : results)
        QCOMPARE(r.outcome, RtuResult::Aborted);
    QTest::qWait(100);
    QCOMPARE(results.size(), 3);
}

void TstRtuMaster::wirePacingIdleQueueSendsAtOnce() {
    // The first request is on the line before Send() returns; the second waits for
    // the event loop, 15 ms after the first's reply.
    master->Send(requestOf(probe));
    master->Send(requestOf(frame("050300000013")));
    QCOMPARE(pty->peekWaiting(16, 500), 8);
    for (int i = 0; i < 4; ++i)
        master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 6);
    const QList<qint64>& at = pty->requestTimes();
    for (qsizetype i = 1; i < at.size(); ++i)
        QVERIFY2(at[i] - at[i - 1] >= 14'900'000, qPrintable(QString::number(at[i] - at[i - 1])));

    // Idle for longer than the pause: the next request goes at once again.
    QTest::qWait(50);
    master->Send(requestOf(probe));
    QCOMPARE(pty->peekWaiting(8, 500), 8);
}

void TstRtuMaster::wirePacingCountsFromTheExchangesEnd() {
    // A slow handler of the first reply does not push the second request back.
    master->SetPauseNs(200'000'000);
    connect(master, &RtuMaster::Finished, this, [](const RtuResult& r) {
        if (r.id == 1)
            QThread::msleep(150);
    });
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 2);
    const QList<RtuRawFrame> sent = framesOf(RtuRawFrame::Sent);
    const QList<RtuRawFrame> replies = framesOf(RtuRawFrame::Reply);
    const qint64 pause = sent[1].at - replies[0].at;
    QVERIFY2(pause >= 200'000'000 && pause < 320'000'000, qPrintable(QString::number(pause)));
    QCOMPARE(results[0].endedAt, replies[0].at);
}

void TstRtuMaster::wireTimeoutInForceWhenSent() {
    QVERIFY(!master->SetTimeout(0));
    QVERIFY(master->SetTimeout(1));
    QCOMPARE(master->Timeout(), 1);
    pty->setScript(nullptr);
    master->Send(requestOf(probe));
    QTRY_COMPARE(results.size(), 1); // a 1 ms time-out works too
    QCOMPARE(results[0].outcome, RtuResult::Timeout);

    master->SetTimeout(100);
    master->Send(requestOf(probe)); // leaves now, with 100 ms
    master->Send(requestOf(probe)); // leaves after it, with what is in force then
    master->SetTimeout(400);
    QTRY_COMPARE(results.size(), 3);
    const QList<RtuRawFrame> sent = framesOf(RtuRawFrame::Sent);
    const qint64 first = results[1].endedAt - sent[1].at;
    const qint64 second = results[2].endedAt - sent[2].at;
    QVERIFY2(first >= 100'000'000 && first < 350'000'000, qPrintable(QString::number(first)));
    QVERIFY2(second >= 400'000'000, qPrintable(QString::number(second)));
}

void TstRtuMaster::wireInactiveNeitherSendsNorTakes() {
    master->SetActive(false);
    QString error;
    QCOMPARE(master->Send(requestOf(probe), &error), quint64(0));
    QCOMPARE(error, QStringLiteral("Modbus master is not active"));
    QCOMPARE(pty->peekWaiting(1, 50), 0);
    pty->write("abc");
    QTest::qWait(100);
    QCOMPARE(line->ReadAll(), QByteArray("abc")); // left in the port
    QVERIFY(frames.isEmpty());

    // Requests queued before stay queued while inactive.
    master->SetActive(true);
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    master->SetActive(false);
    QTRY_COMPARE(results.size(), 1);
    QTest::qWait(100);
    QCOMPARE(pty->requests().size(), 1);
    master->SetActive(true);
    QTRY_COMPARE(results.size(), 2);
    QCOMPARE(results[1].outcome, RtuResult::Reply);
}

void TstRtuMaster::wireEndsComeOneAtATime() {
    int depth = 0;
    int deepest = 0;
    QList<quint64> order;
    connect(master, &RtuMaster::Finished, this, [&](const RtuResult& r) {
        ++depth;
        deepest = std::max(deepest, depth);
        order << r.id;
        if (r.id == 1)
            QTest::qWait(200); // an event loop of the handler's own
        --depth;
    });
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    master->Send(requestOf(probe));
    QTRY_COMPARE(order.size(), 3);
    QCOMPARE(order, (QList<quint64>{1, 2, 3}));
    QCOMPARE(deepest, 1);
}

void TstRtuMaster::simNoiseBeforeReply_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("gapMs");
    QTest::newRow("one 0x00") << 1 << 0x00 << 0;
    QTest::newRow("one 0xFF") << 1 << 0xFF << 0;
    QTest::newRow("three random") << 3 << -1 << 0;
    QTest::newRow("five 0xFF, 5 ms before the reply") << 5 << 0xFF << 5;
    QTest::newRow("two 0x00, 20 ms before the reply") << 2 << 0x00 << 20;
}

void TstRtuMaster::simNoiseBeforeReply() {
    QFETCH(int, count);
    QFETCH(int, value);
    QFETCH(int, gapMs);
    SimBus bus;
    bus.loadDefault();
    bus.setWireTiming(true);
    SimFaults& faults = bus.detector(1)->faults();
    faults.noiseBytes = count;
    faults.noiseValue = value;
    faults.noiseGapMs = gapMs;
    attach(bus.openPty());
    for (int round = 0; round < 3; ++round)
        master->Send({1, Rtu::ReadHolding, 0, 19});
    QTRY_COMPARE(results.size(), 3);
    for (const RtuResult& r : results) {
        QCOMPARE(r.outcome, RtuResult::Reply);
        const auto regs = r.Registers();
        QCOMPARE(regs.size(), 19);
        for (int reg = 0; reg < 19; ++reg)
            QCOMPARE(regs[reg].second, bus.detector(1)->readRegister(reg));
    }
    QCOMPARE(framesOf(RtuRawFrame::Noise).size(), 3);
}

void TstRtuMaster::sameRegistersAsMbpoll() {
    const QString mbpoll = QStringLiteral(MBPOLL_EXECUTABLE);
    if (mbpoll.isEmpty() || !QFileInfo(mbpoll).isExecutable())
        QTest::qSkip("mbpoll is not installed (Debian package mbpoll)", __FILE__, __LINE__);
    SimBus bus;
    bus.loadDefault();
    const QString path = bus.openPty();

    // mbpoll blocks on the line while the simulator answers from this event loop.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    process.start(mbpoll, {"-m", "rtu", "-a", "1", "-t", "4", "-0", "-r", "0", "-c", "19", "-1",
                           "-o", "1", path});
    QVERIFY(process.waitForStarted(5000));
    loop.exec();
    QCOMPARE(process.state(), QProcess::NotRunning);
    QCOMPARE(process.exitCode(), 0);
    const QString output = QString::fromLocal8Bit(process.readAll());
    QMap<int, quint16> polled;
    static const QRegularExpression row(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)\\s*$"),
                                        QRegularExpression::MultilineOption);
    for (auto it = row.globalMatch(output); it.hasNext();) {
        const auto match = it.next();
        polled.insert(match.captured(1).toInt(), quint16(match.captured(2).toInt()));
    }
    QCOMPARE(polled.size(), 19);

    attach(path);
    master->Send({1, Rtu::ReadHolding, 0, 19});
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results[0].outcome, RtuResult::Reply);
    QMap<int, quint16> read;
    for (const auto& [reg, value] : results[0].Registers())
        read.insert(reg, value);
    QCOMPARE(read, polled);
}

QTEST_GUILESS_MAIN(TstRtuMaster)
#include "tst_rtumaster.moc"
