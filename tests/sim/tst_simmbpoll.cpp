#include "SimTestSupport.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

// Checked against an independent Modbus master: mbpoll (libmodbus) on a pseudo-terminal,
// against the simulator in this process and against the kpx-sim program.
class TstSimMbpoll : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void blockRead();
    void singleWrite();
    void exceptionReply();
    void wrongSettingsMeetSilence();
    void program();

private:
    SimBus* m_bus = nullptr;
    QString m_path;
};

namespace {

const QString mbpoll = QStringLiteral(MBPOLL_EXECUTABLE);

struct Run {
    int exitCode = -1;
    QString output;
};

// mbpoll blocks on the line while the simulator answers from this event loop.
Run run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return {};
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

// Register numbers from 0 (-0), one poll (-1), 19200 even 1 unless told otherwise. A write
// names no count: the values after the device are written.
QStringList arguments(const QString& path, int address, int start, int count,
                      const QStringList& extra = {}) {
    QStringList args{QStringLiteral("-m"),     QStringLiteral("rtu"), QStringLiteral("-a"),
                     QString::number(address), QStringLiteral("-t"),  QStringLiteral("4"),
                     QStringLiteral("-0"),     QStringLiteral("-r"),  QString::number(start),
                     QStringLiteral("-1"),     QStringLiteral("-o"),  QStringLiteral("1")};
    if (count > 0)
        args << QStringLiteral("-c") << QString::number(count);
    return args + extra + QStringList{path};
}

QMap<int, quint16> polledValues(const QString& output) {
    QMap<int, quint16> values;
    static const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)\\s*$"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(output); it.hasNext();) {
        const auto match = it.next();
        values.insert(match.captured(1).toInt(), quint16(match.captured(2).toInt()));
    }
    return values;
}

} // namespace

void TstSimMbpoll::initTestCase() {
    // QSKIP without a second argument trips clang's pedantic warnings.
    if (mbpoll.isEmpty() || !QFileInfo(mbpoll).isExecutable())
        QTest::qSkip(
            "mbpoll is not installed (Debian package mbpoll): the independent master cannot run",
            __FILE__, __LINE__);
}

void TstSimMbpoll::init() {
    m_bus = new SimBus(this);
    m_bus->loadDefault();
    m_path = m_bus->openPty();
    QVERIFY2(!m_path.isEmpty(), qPrintable(m_bus->errorString()));
}

void TstSimMbpoll::cleanup() {
    delete m_bus;
}

void TstSimMbpoll::blockRead() {
    const Run result = run(mbpoll, arguments(m_path, 1, 0, 19));
    QCOMPARE(result.exitCode, 0);
    const QMap<int, quint16> values = polledValues(result.output);
    QCOMPARE(values.size(), 19);
    for (int reg = 0; reg < 19; ++reg)
        QCOMPARE(values.value(reg), m_bus->detector(1)->readRegister(reg));
    QCOMPARE(m_bus->traffic().first().bytes, QByteArray::fromHex("0103000000130407"));
}

void TstSimMbpoll::singleWrite() {
    QStringList args = arguments(m_path, 17, 9, 0);
    args << QStringLiteral("321");
    const Run result = run(mbpoll, args);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.output.contains(QLatin1String("Written 1 references")),
             qPrintable(result.output));
    QCOMPARE(m_bus->detector(17)->readRegister(9), quint16(321));
    QCOMPARE(m_bus->traffic().first().bytes, QByteArray::fromHex("1106000901419AF8"));
    QCOMPARE(m_bus->traffic()[1].bytes, m_bus->traffic().first().bytes); // the echo
}

void TstSimMbpoll::exceptionReply() {
    const Run result = run(mbpoll, arguments(m_path, 1, 19, 1));
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.output.contains(QLatin1String("Illegal data address")),
             qPrintable(result.output));
    QCOMPARE(m_bus->traffic()[1].bytes, QByteArray::fromHex("018302C0F1"));
}

void TstSimMbpoll::wrongSettingsMeetSilence() {
    const Run result =
        run(mbpoll, arguments(m_path, 1, 1, 2, {QStringLiteral("-b"), QStringLiteral("9600")}));
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.output.contains(QLatin1String("timed out")), qPrintable(result.output));
    QCOMPARE(m_bus->traffic().first().note, QStringLiteral("no detector listens at 9600 ? 1"));
}

void TstSimMbpoll::program() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("run/ttyKPX"));
    QProcess sim;
    sim.start(QStringLiteral(KPX_SIM_EXECUTABLE),
              {QStringLiteral("--link"), link, QStringLiteral("--steady")});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);

    const Run result = run(mbpoll, arguments(link, 247, 1, 2));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(polledValues(result.output),
             (QMap<int, quint16>{{1, 0x0094}, {2, 0x32D9}})); // 9712345

    ::kill(pid_t(sim.processId()), SIGINT);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(sim.readAllStandardOutput().contains("9712345"));
}

QTEST_GUILESS_MAIN(TstSimMbpoll)
#include "tst_simmbpoll.moc"
