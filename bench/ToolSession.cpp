#include "ToolSession.h"

#include "Clock.h"
#include "Forms.h"
#include "SessionReport.h"
#include "UnitMain.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace {

// Methane on the built-in bus, firmware new enough for every panel field.
constexpr int kDetector = 1;
// Every one of them answers on the built-in bus: no gap is a time-out. Queued five
// times over, so that the pacing has as many gaps as its reference has wake-ups.
constexpr int kPacingAddresses[] = {1, 2, 5, 17, 40, 120, 200, 247, 1, 2};
constexpr int kPacingRounds = 5;
constexpr int kReplyWaitMs = 2000;
// Lets layouts and paints run between phases, as they would for a user.
constexpr int kSettleMs = 200;

class SessionError : public std::runtime_error {
public:
    explicit SessionError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// A prompt during the session means something went wrong: recorded for the bench to
// report, never shown.
class RecordingPrompts : public Prompts {
public:
    QStringList shown;

    void message(const QString& text) override { shown << text; }
    bool warning(const QString& text) override { return record(text); }
    bool confirm(const QString& text) override { return record(text); }
    void error(const QString& text) override { shown << text; }
    QString saveFileName(const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&) override { return {}; }
    bool runDialog(QDialog&) override { return false; }

private:
    bool record(const QString& text) {
        shown << text;
        return false;
    }
};

// The main window with a stamp on every reply taken and every block decoded, and
// a wake-up for the waits.
class BenchWindow : public TFormMain {
public:
    using TFormMain::TFormMain;

    QList<qint64> handledAt;
    QList<qint64> decodedAt;
    int timeouts = 0;

    DecodeResult DecodeBlock(int function, int address, const RegisterBlock& block, int first,
                             int last) override {
        const DecodeResult result = TFormMain::DecodeBlock(function, address, block, first, last);
        decodedAt << monotonicNs();
        recheck();
        return result;
    }
    void DeviceFound(int address, uint32_t id) override {
        TFormMain::DeviceFound(address, id);
        recheck();
    }
    void LogAppend(const QString& entry) override {
        if (entry == QLatin1String("Timeout!"))
            ++timeouts;
        TFormMain::LogAppend(entry);
        recheck();
    }
    // Panel 2 counts the replies, first thing when one is taken.
    void SetStatusText(int panel, const QString& text) override {
        if (panel == 2)
            handledAt << monotonicNs();
        TFormMain::SetStatusText(panel, text);
        recheck();
    }

    // Runs the event loop until done() holds or timeoutMs pass; no polling, so a
    // wait costs the process nothing the tool would not spend anyway.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
        if (done())
            return true;
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        recheck_ = [&] {
            if (done())
                loop.quit();
        };
        loop.exec();
        recheck_ = nullptr;
        return done();
    }
    void idle(int ms) {
        waitUntil([] { return false; }, ms);
    }

private:
    void recheck() {
        if (recheck_)
            recheck_();
    }

    std::function<void()> recheck_;
};

qint64 processCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A "Name:   1234 kB" line of /proc/self/status.
qint64 statusKb(const QByteArray& status, const QByteArray& name) {
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

QByteArray procStatus() {
    QFile status(QStringLiteral("/proc/self/status"));
    return status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
}

Phase timed(const std::function<void()>& work) {
    Phase phase;
    phase.begin = monotonicNs();
    work();
    phase.end = monotonicNs();
    return phase;
}

class Session {
public:
    explicit Session(const SessionPlan& plan) : plan_(plan), window_(&prompts_) {}

    SessionReport run() {
        try {
            open();
            scanDetector();
            measurePacing();
            selectDetector();
            measureLatency();
            runCycle();
            measureNoise();
        } catch (const std::exception& e) {
            report_.error = QString::fromStdString(e.what());
        }
        report_.handledAt = window_.handledAt;
        report_.decodedAt = window_.decodedAt;
        report_.prompts = prompts_.shown;
        return report_;
    }

private:
    void open() {
        window_.show();
        window_.PreselectPort(plan_.port);
        window_.idle(kSettleMs);
    }

    // One address instead of 247 timer steps: the bench needs the port open and
    // the detector's node, not the scan's duration.
    void scanDetector() {
        window_.Execute(f_->ActFind);
        if (!window_.Searching)
            throw SessionError(QStringLiteral("the scan did not start"));
        window_.TimerFind.stop();
        window_.ScanAddr = kDetector - 1;
        window_.TimerFindTimer();
        if (!window_.waitUntil([this] { return window_.Devices[kDetector] != nullptr; },
                               kReplyWaitMs))
            throw SessionError(
                QStringLiteral("detector %1 did not answer the scan").arg(kDetector));
        window_.ScanAddr = 247;
        window_.TimerFindTimer();
    }

    void measurePacing() {
        window_.idle(kSettleMs);
        const int probes = kPacingRounds * int(std::size(kPacingAddresses));
        const int expected = window_.RxCount + probes;
        report_.phases[QStringLiteral("pacing")] = timed([&] {
            for (int round = 0; round < kPacingRounds; ++round)
                for (const int address : kPacingAddresses)
                    window_.Exchange().Probe(address);
            if (!window_.waitUntil([&] { return window_.RxCount >= expected; },
                                   kReplyWaitMs * probes))
                throw SessionError(QStringLiteral("queued probes went unanswered"));
        });
    }

    void selectDetector() {
        QTreeWidgetItem* node = nullptr;
        for (QTreeWidgetItemIterator it(f_->DevTree); *it && !node; ++it)
            if ((*it)->parent() && (*it)->data(0, Qt::UserRole).toInt() == kDetector)
                node = *it;
        if (!node)
            throw SessionError(QStringLiteral("detector %1 is not in the tree").arg(kDetector));
        const QRect row = f_->DevTree->visualItemRect(node);
        window_.DevTreeMouseDown(Qt::LeftButton, row.topLeft() + QPoint(10, row.height() / 2));
        if (window_.SelNode != node)
            throw SessionError(QStringLiteral("a click did not select detector %1").arg(kDetector));
    }

    // One read at a time, so that each reply is timed alone.
    void measureLatency() {
        window_.idle(kSettleMs);
        report_.phases[QStringLiteral("latency")] = timed([&] {
            for (int i = 0; i < plan_.reads; ++i) {
                const qsizetype before = window_.decodedAt.size();
                window_.Exchange().ReadBlock(kDetector);
                if (!window_.waitUntil([&] { return window_.decodedAt.size() > before; },
                                       kReplyWaitMs))
                    throw SessionError(QStringLiteral("read %1 was not decoded").arg(i + 1));
                if (i == 0) {
                    report_.rssBaseKb = statusKb(procStatus(), "VmRSS");
                    growthBegin_ = monotonicNs();
                }
            }
        });
    }

    void runCycle() {
        window_.idle(kSettleMs);
        const qint64 cpuBefore = processCpuNs();
        report_.phases[QStringLiteral("cycle")] = timed([&] {
            window_.Execute(f_->ActRenew);
            if (!window_.Reading)
                throw SessionError(QStringLiteral("the reading cycle did not start"));
            window_.idle(plan_.cycleMs);
        });
        report_.cpuNs = processCpuNs() - cpuBefore;
        const QByteArray status = procStatus();
        report_.rssKb = statusKb(status, "VmRSS");
        report_.hwmKb = statusKb(status, "VmHWM");
        report_.phases[QStringLiteral("growth")] = Phase{growthBegin_, monotonicNs()};
        window_.Execute(f_->ActReadStop);
    }

    // Block reads of a detector that puts a stray byte on the line before every
    // reply: each must be taken, none may end as a time-out.
    void measureNoise() {
        window_.idle(kSettleMs);
        report_.phases[QStringLiteral("noise")] = timed([&] {
            for (int i = 0; i < plan_.noiseReads; ++i) {
                const int replies = window_.RxCount;
                const int timeouts = window_.timeouts;
                window_.Exchange().ReadBlock(SessionPlan::NoisyDetector);
                if (!window_.waitUntil(
                        [&] { return window_.RxCount > replies || window_.timeouts > timeouts; },
                        kReplyWaitMs))
                    throw SessionError(QStringLiteral("noisy read %1 never ended").arg(i + 1));
                ++report_.noiseReads;
                if (window_.RxCount > replies)
                    ++report_.noiseReplies;
            }
        });
    }

    const SessionPlan plan_;
    RecordingPrompts prompts_;
    BenchWindow window_;
    Ui::TFormMain* f_ = window_.Form();
    SessionReport report_;
    qint64 growthBegin_ = 0;
};

} // namespace

QStringList SessionPlan::arguments() const {
    return {QLatin1String(Mode), port, QString::number(reads), QString::number(cycleMs),
            QString::number(noiseReads)};
}

SessionPlan SessionPlan::fromArguments(const QStringList& arguments) {
    SessionPlan plan;
    const int at = int(arguments.indexOf(QLatin1String(Mode)));
    if (at < 0 || at + 4 >= arguments.size())
        return plan;
    plan.port = arguments[at + 1];
    plan.reads = arguments[at + 2].toInt();
    plan.cycleMs = arguments[at + 3].toInt();
    plan.noiseReads = arguments[at + 4].toInt();
    return plan;
}

int runToolSession(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const SessionReport report =
        Session(SessionPlan::fromArguments(QApplication::arguments())).run();
    const QByteArray text = report.serialize();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    return report.error.isEmpty() ? 0 : 1;
}
