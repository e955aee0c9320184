#include "Bench.h"

#include "Analysis.h"
#include "Clock.h"
#include "ColdStart.h"
#include "ReferenceSleeper.h"
#include "SessionReport.h"
#include "SimBus.h"
#include "ToolSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <cmath>

namespace {

// Timing targets are relative to the reference sleeper over the same phase: the tool
// may be as late as any sleeper on this machine at that moment, plus the margin.
constexpr double kReplyMarginMs = 2.0; // reply p95 over the reference's p95
constexpr double kPacingMs = 15.0, kPacingToleranceMs = 1.0;
constexpr double kSpreadMarginMs = 1.0; // a spread over the reference's
constexpr double kCycleMs = 2000.0, kDriftLimitMs = 5.0;
constexpr double kColdStartLimitMs = 300.0;
constexpr double kMemoryLimitBytes = 60e6;
constexpr double kCpuLimitPercent = 1.0;
// The session's time limit: the cycle, the timed and the noisy reads (some 50 ms each,
// so four times that), and start-up, scan and probes.
constexpr int kReadAllowanceMs = 200;
constexpr int kSessionSlackMs = 30000;

struct Options {
    int reads = 200;
    int cycleSeconds = 40;
    int noiseReads = 100;
    int starts = 7;
    bool underX = true;
};

enum class Verdict { Pass, Miss, Failed };

// A figure's line in the table; until measured it counts as failed.
struct Row {
    Row(QString figure_, QString target_)
        : figure(std::move(figure_)), target(std::move(target_)) {}

    QString figure;
    QString target;
    QString measured;
    QString reference; // the reference sleeper's lateness over the same phase
    Verdict verdict = Verdict::Failed;
    QString detail; // where the time goes, printed under the table

    Row& failed(const QString& why) {
        measured = QStringLiteral("not measured: ") + why;
        verdict = Verdict::Failed;
        return *this;
    }
    Row& result(const QString& text, bool met, const QString& where = {}) {
        measured = text;
        verdict = met ? Verdict::Pass : Verdict::Miss;
        detail = where;
        return *this;
    }
};

QString fixed(double value, int decimals = 2) {
    return QString::number(value, 'f', decimals);
}

QString latenessText(const Spread& s) {
    if (s.count == 0)
        return QStringLiteral("no wake-ups");
    return QStringLiteral("median %1, p95 %2, p99 %3, max %4 ms")
        .arg(fixed(s.median), fixed(s.p95), fixed(s.p99), fixed(s.max));
}

// The reference's wake-ups over a phase; with no reference, nothing is judged
// against it and every relative target counts as missed.
struct Reference {
    QList<ReferenceSleeper::Wake> wakes;
    bool running = false;

    Spread over(const Phase& phase) const {
        return spreadOf(ReferenceSleeper::latenessMs(wakes, phase));
    }
    Spread intervalsOver(const Phase& phase) const {
        return spreadOf(ReferenceSleeper::intervalErrorsMs(wakes, phase));
    }
};

// Every figure's title and target, in one place for the measured and the failed rows.
Row latencyFigure() {
    return {QStringLiteral("1 reply's last byte to block decoded"),
            QStringLiteral("p95 <= reference p95 + %1 ms").arg(kReplyMarginMs)};
}
Row pacingFigure() {
    return {QStringLiteral("2 reply end to next queued request"),
            QStringLiteral("median %1 ± %2 ms, spread <= reference + %3 ms")
                .arg(kPacingMs)
                .arg(kPacingToleranceMs)
                .arg(kSpreadMarginMs)};
}
Row cycleFigure(int seconds) {
    return {QStringLiteral("3 reading cycle, %1 s").arg(seconds),
            QStringLiteral("%1 ms, spread <= reference + %2 ms, drift ± %3 ms")
                .arg(kCycleMs)
                .arg(kSpreadMarginMs)
                .arg(kDriftLimitMs)};
}
Row coldStartFigure(const QString& platform) {
    return {QStringLiteral("4 cold start to shown window, %1").arg(platform),
            QStringLiteral("median < %1 ms").arg(kColdStartLimitMs)};
}
Row memoryFigure() {
    return {QStringLiteral("5 resident memory while reading"),
            QStringLiteral("< %1 MB").arg(kMemoryLimitBytes / 1e6)};
}
Row cpuFigure() {
    return {QStringLiteral("6 CPU while reading"), QStringLiteral("< %1 %").arg(kCpuLimitPercent)};
}
Row noiseFigure() {
    return {QStringLiteral("7 reads with a stray byte before every reply"),
            QStringLiteral("all of them")};
}

Options parseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures KPX Tool's timing, start-up, memory and CPU figures against "
                       "the simulated bus."));
    parser.addHelpOption();
    const QCommandLineOption reads(QStringLiteral("reads"),
                                   QStringLiteral("Block reads timed one by one (200)."),
                                   QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption cycle(QStringLiteral("cycle-seconds"),
                                   QStringLiteral("Length of the reading cycle (40)."),
                                   QStringLiteral("S"), QStringLiteral("40"));
    const QCommandLineOption noise(
        QStringLiteral("noise-reads"),
        QStringLiteral("Block reads with a stray byte before every reply (100)."),
        QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption starts(QStringLiteral("starts"),
                                    QStringLiteral("Cold starts per platform (7)."),
                                    QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption noX(QStringLiteral("no-xvfb"),
                                 QStringLiteral("Skip the cold starts under Xvfb."));
    parser.addOptions({reads, cycle, noise, starts, noX});
    parser.process(app);
    Options o;
    o.reads = std::max(2, parser.value(reads).toInt());
    o.cycleSeconds = std::max(6, parser.value(cycle).toInt());
    o.noiseReads = std::max(1, parser.value(noise).toInt());
    o.starts = std::max(1, parser.value(starts).toInt());
    o.underX = !parser.isSet(noX);
    return o;
}

void progress(const QString& text) {
    QTextStream(stderr) << "kpx-bench: " << text << Qt::endl;
}

// Measured now, judged once the reference's wake-ups are in.
struct ColdStartRun {
    Row row;
    Phase phase;
};

Row coldStartRow(const QString& platform, const QProcessEnvironment& env, int runs, Phase* phase) {
    progress(QStringLiteral("%1 cold starts, %2").arg(runs).arg(platform));
    Row row = coldStartFigure(platform);
    QString error;
    phase->begin = monotonicNs();
    const QList<double> times = ColdStart::measureMs(env, runs, &error);
    phase->end = monotonicNs();
    if (times.isEmpty())
        return row.failed(error);
    const Spread s = spreadOf(times);
    return row.result(QStringLiteral("median %1 ms (min %2, max %3; %4 runs)")
                          .arg(fixed(s.median, 0), fixed(s.min, 0), fixed(s.max, 0))
                          .arg(s.count),
                      s.median < kColdStartLimitMs);
}

QList<ColdStartRun> coldStartRuns(const Options& options) {
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QList<ColdStartRun> runs;
    Phase phase;
    Row row = coldStartRow(QStringLiteral("offscreen"), offscreen, options.starts, &phase);
    runs << ColdStartRun{row, phase};
    if (!options.underX)
        return runs;
    XvfbServer server;
    QString error;
    if (!server.start(&error)) {
        progress(QStringLiteral("no run under X: ") + error);
        return runs;
    }
    QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
    x.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    x.insert(QStringLiteral("DISPLAY"), server.display());
    x.remove(QStringLiteral("WAYLAND_DISPLAY"));
    row = coldStartRow(QStringLiteral("Xvfb"), x, options.starts, &phase);
    runs << ColdStartRun{row, phase};
    return runs;
}

// The tool's process runs against the bus while this process's event loop plays
// the bus and stamps every frame it sees.
SessionReport runSession(const SessionPlan& plan) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&child, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(plan.cycleMs + (plan.reads + plan.noiseReads) * kReadAllowanceMs +
                           kSessionSlackMs,
                       &loop, &QEventLoop::quit);
    child.start(QCoreApplication::applicationFilePath(), plan.arguments());
    loop.exec();
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished();
        SessionReport report;
        report.error = QStringLiteral("the tool's session did not end in time");
        return report;
    }
    SessionReport report = SessionReport::parse(child.readAllStandardOutput());
    if (report.error.isEmpty() && (child.exitStatus() != QProcess::NormalExit ||
                                   !report.phases.contains(QStringLiteral("cycle"))))
        report.error =
            QStringLiteral("the tool's session ended abnormally: ") + child.errorString();
    return report;
}

Row latencyRow(const QList<WireFrame>& line, const SessionReport& r, int reads,
               const Reference& reference) {
    const Phase phase = r.phases.value(QStringLiteral("latency"));
    const QList<qint64> sent = blockReplies(line, phase.begin);
    const QList<qint64> handled = within(r.handledAt, phase);
    const QList<qint64> decoded = within(r.decodedAt, phase);
    const QList<double> latencies = pairedMs(sent, decoded);
    const Spread s = spreadOf(latencies);
    const Spread ref = reference.over(phase);
    const double limit = ref.p95 + kReplyMarginMs;
    const auto over =
        std::count_if(latencies.begin(), latencies.end(), [limit](double v) { return v > limit; });
    Row row = latencyFigure().result(
        QStringLiteral("median %1, p95 %2, max %3 ms (%4 reads)")
            .arg(fixed(s.median), fixed(s.p95), fixed(s.max))
            .arg(s.count),
        s.count == reads && ref.count > 0 && s.p95 <= limit,
        QStringLiteral("%1 of %2 over %3 ms (the reference's p95 + %4 ms); medians: %5 ms to the "
                       "window's reply handler, %6 ms in it to the decoded panel")
            .arg(over)
            .arg(s.count)
            .arg(fixed(limit))
            .arg(kReplyMarginMs)
            .arg(fixed(spreadOf(pairedMs(sent, handled)).median),
                 fixed(spreadOf(pairedMs(handled, decoded)).median)));
    row.reference = latenessText(ref);
    return row;
}

Row pacingRow(const QList<WireFrame>& line, const SessionReport& r, const Reference& reference) {
    const Phase phase = r.phases.value(QStringLiteral("pacing"));
    const Spread s = spreadOf(untilRequestMs(line, phase, replies(line)));
    const Spread tool = spreadOf(untilRequestMs(line, phase, r.handledAt));
    const Spread ref = reference.over(phase);
    Row row = pacingFigure().result(
        QStringLiteral("median %1, min %2, max %3 ms (%4 gaps)")
            .arg(fixed(s.median), fixed(s.min), fixed(s.max))
            .arg(s.count),
        s.count > 0 && ref.count > 0 && std::abs(s.median - kPacingMs) <= kPacingToleranceMs &&
            s.width() <= ref.width() + kSpreadMarginMs,
        QStringLiteral("spread %1 ms against the reference's %2 ms; median %3 ms from the "
                       "window's reply handler to the next request at the simulator")
            .arg(fixed(s.width()), fixed(ref.width()), fixed(tool.median)));
    row.reference = latenessText(ref);
    return row;
}

Row cycleRow(const QList<WireFrame>& line, const SessionReport& r, int seconds,
             const Reference& reference) {
    const Phase cycle = r.phases.value(QStringLiteral("cycle"));
    const Spread s = spreadOf(readIntervalsMs(line, cycle));
    const double drift = driftMs(line, cycle, kCycleMs);
    const int expected = int(seconds * 1000 / kCycleMs) - 1;
    const Spread ref = reference.over(cycle);
    Row row = cycleFigure(seconds).result(
        QStringLiteral("min %1, median %2, max %3 ms (%4 intervals); drift %5 ms")
            .arg(fixed(s.min), fixed(s.median), fixed(s.max))
            .arg(s.count)
            .arg(fixed(drift)),
        s.count >= expected && ref.count > 0 && s.width() <= ref.width() + kSpreadMarginMs &&
            std::abs(drift) <= kDriftLimitMs,
        QStringLiteral("spread %1 ms against the reference's %2 ms; the reference's own "
                       "intervals, each a difference of two wake-ups as the cycle's are, "
                       "spread %3 ms")
            .arg(fixed(s.width()), fixed(ref.width()),
                 fixed(reference.intervalsOver(cycle).width())));
    row.reference = latenessText(ref);
    return row;
}

Row memoryRow(const SessionReport& r) {
    const double rssBytes = double(r.rssKb) * 1024;
    const qsizetype replies = within(r.handledAt, r.phases.value(QStringLiteral("growth"))).size();
    const double grownKb = double(r.rssKb - r.rssBaseKb);
    const double perReplyKb = replies ? grownKb / double(replies) : 0;
    const double readsPerHour = 3600 * 1000 / kCycleMs;
    return memoryFigure().result(
        QStringLiteral("VmRSS %1 MB (peak %2 MB)")
            .arg(fixed(rssBytes / 1e6, 1), fixed(double(r.hwmKb) * 1024 / 1e6, 1)),
        r.rssKb > 0 && rssBytes < kMemoryLimitBytes,
        QStringLiteral("VmRSS grew %1 kB over the %2 replies after the first block decoded: "
                       "%3 kB a reply, some %4 MB an hour of reading")
            .arg(fixed(grownKb, 0))
            .arg(replies)
            .arg(fixed(perReplyKb, 1), fixed(perReplyKb * 1024 * readsPerHour / 1e6, 0)));
}

Row noiseRow(const SessionReport& r) {
    return noiseFigure().result(
        QStringLiteral("%1 of %2 replies taken").arg(r.noiseReplies).arg(r.noiseReads),
        r.noiseReads > 0 && r.noiseReplies == r.noiseReads);
}

Row cpuRow(const SessionReport& r) {
    const Phase cycle = r.phases.value(QStringLiteral("cycle"));
    const double wallNs = double(cycle.end - cycle.begin);
    const double percent = wallNs > 0 ? 100.0 * double(r.cpuNs) / wallNs : 0;
    return cpuFigure().result(
        QStringLiteral("%1 % of a core (%2 ms CPU in %3 s)")
            .arg(fixed(percent), fixed(nsToMs(r.cpuNs), 0), fixed(wallNs / 1e9, 1)),
        wallNs > 0 && percent < kCpuLimitPercent);
}

QList<Row> allFailed(const Options& options, const QString& why) {
    return {latencyFigure().failed(why),
            pacingFigure().failed(why),
            cycleFigure(options.cycleSeconds).failed(why),
            memoryFigure().failed(why),
            cpuFigure().failed(why),
            noiseFigure().failed(why)};
}

// What the session left: the simulator's frames and the tool's report.
struct Session {
    QList<WireFrame> line;
    SessionReport report;
};

Session runSessionOnBus(const Options& options) {
    Session session;
    SimBus bus;
    bus.loadDefault();
    bus.setWireTiming(true);
    bus.setLive(true);
    SimDetectorConfig noisy;
    noisy.address = SessionPlan::NoisyDetector;
    noisy.id = 9400999;
    noisy.emptyLog = true;
    noisy.faults.noiseBytes = 1; // a 0x00 glued to the front of every reply
    bus.addDetector(noisy);
    const QString port = bus.openPty();
    if (port.isEmpty()) {
        session.report.error = bus.errorString();
        return session;
    }

    QObject::connect(&bus, &SimBus::trafficLogged, &bus, [&session](const SimTraffic& entry) {
        if (entry.direction != SimTraffic::Event)
            session.line << WireFrame{monotonicNs(), entry.direction == SimTraffic::In,
                                      entry.bytes};
    });

    SessionPlan plan;
    plan.port = port;
    plan.reads = options.reads;
    plan.cycleMs = options.cycleSeconds * 1000;
    plan.noiseReads = options.noiseReads;
    progress(QStringLiteral("tool session on %1: %2 reads, reading for %3 s, %4 noisy reads")
                 .arg(port)
                 .arg(plan.reads)
                 .arg(options.cycleSeconds)
                 .arg(plan.noiseReads));
    session.report = runSession(plan);
    for (const QString& text : session.report.prompts)
        progress(QStringLiteral("the window showed: ") + text);
    return session;
}

QList<Row> sessionRows(const Options& options, const Session& session, const Reference& reference) {
    const SessionReport& report = session.report;
    if (!report.error.isEmpty())
        return allFailed(options, report.error);
    return {latencyRow(session.line, report, options.reads, reference),
            pacingRow(session.line, report, reference),
            cycleRow(session.line, report, options.cycleSeconds, reference),
            memoryRow(report),
            cpuRow(report),
            noiseRow(report)};
}

QString verdictText(Verdict v) {
    static const char* const texts[] = {"PASS", "MISS", "FAILED"};
    return QLatin1String(texts[int(v)]);
}

void printTable(const QList<Row>& rows) {
    const QStringList header = {QStringLiteral("figure"), QStringLiteral("measured"),
                                QStringLiteral("reference sleeper's lateness"),
                                QStringLiteral("target"), QStringLiteral("result")};
    const auto cells = [](const Row& r) {
        return QStringList{r.figure, r.measured, r.reference, r.target, verdictText(r.verdict)};
    };
    QList<qsizetype> widths;
    for (const QString& h : header)
        widths << h.size();
    for (const Row& r : rows) {
        const QStringList c = cells(r);
        for (qsizetype i = 0; i < c.size(); ++i)
            widths[i] = std::max(widths[i], c[i].size());
    }
    QTextStream out(stdout);
    const auto print = [&](const QStringList& c) {
        for (qsizetype i = 0; i < c.size(); ++i)
            out << c[i].leftJustified(i + 1 < c.size() ? widths[i] + 2 : 0);
        out << '\n';
    };
    print(header);
    QStringList rule;
    for (const qsizetype w : widths)
        rule << QString(w, QLatin1Char('-'));
    print(rule);
    for (const Row& r : rows)
        print(cells(r));
    for (const Row& r : rows)
        if (!r.detail.isEmpty())
            out << '\n' << r.figure.section(QLatin1Char(' '), 0, 0) << ": " << r.detail;
    out << Qt::endl;
}

} // namespace

int runBench(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app);
    // The reference sleeps beside everything that is timed, cold starts included.
    ReferenceSleeperProcess sleeper;
    Reference reference;
    QString error;
    reference.running = sleeper.start(&error);
    if (!reference.running)
        progress(QStringLiteral("no reference sleeper: ") + error);
    const QList<ColdStartRun> cold = coldStartRuns(options);
    const Session session = runSessionOnBus(options);
    reference.wakes = sleeper.stop();
    progress(QStringLiteral("reference sleeper: %1 wake-ups").arg(reference.wakes.size()));

    const QList<Row> measured = sessionRows(options, session, reference);
    QList<Row> coldRows;
    for (ColdStartRun run : cold) {
        run.row.reference = latenessText(reference.over(run.phase));
        coldRows << run.row;
    }
    // Figure order: the session's 1-3, the cold starts' 4, then 5, 6 and 7.
    const QList<Row> rows = measured.mid(0, 3) + coldRows + measured.mid(3);
    printTable(rows);
    const auto any = [&rows](Verdict v) {
        return std::any_of(rows.begin(), rows.end(), [v](const Row& r) { return r.verdict == v; });
    };
    return any(Verdict::Failed) ? 1 : any(Verdict::Miss) ? 2 : 0;
}
