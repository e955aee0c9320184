#include "ColdStart.h"

#include "AppWindows.h"
#include "Clock.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

constexpr int kChildLimitMs = 15000;
constexpr int kServerStartMs = 5000;

// Waits for the main window to be exposed and to have painted; the report is queued
// behind that paint, so it goes out once the whole first frame is flushed.
class FirstFrame : public QObject {
public:
    explicit FirstFrame(QWidget* window) : window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched == window_->windowHandle())
            exposed_ = window_->windowHandle()->isExposed();
        else if (event->type() == QEvent::Paint && watched == window_)
            painted_ = exposed_;
        if (exposed_ && painted_ && !reported_) {
            reported_ = true;
            QTimer::singleShot(0, this, [] {
                std::printf("shown %lld\n", static_cast<long long>(monotonicNs()));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget* window_;
    bool exposed_ = false;
    bool painted_ = false;
    bool reported_ = false;
};

double runOnceMs(const QProcessEnvironment& env, QString* error) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 started = monotonicNs();
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(ColdStart::Mode)});
    if (!child.waitForFinished(kChildLimitMs)) {
        child.kill();
        child.waitForFinished();
        *error = QStringLiteral("the window did not show within %1 s").arg(kChildLimitMs / 1000);
        return -1;
    }
    const QByteArray out = child.readAllStandardOutput().trimmed();
    if (!out.startsWith("shown ")) {
        *error = QStringLiteral("the child ended without a window (exit %1)").arg(child.exitCode());
        return -1;
    }
    return nsToMs(out.mid(6).toLongLong() - started);
}

} // namespace

int ColdStart::runChild(int argc, char* argv[]) {
    // The same windows, in the same order, as the program's start-up.
    QApplication app(argc, argv);
    AppWindows windows;
    TFormMain& formMain = windows.formMain;
    FirstFrame probe(&formMain);
    app.installEventFilter(&probe);
    formMain.show();
    return app.exec();
}

QList<double> ColdStart::measureMs(const QProcessEnvironment& env, int runs, QString* error) {
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = runOnceMs(env, error);
        if (ms < 0)
            return {};
        times << ms;
    }
    return times;
}

XvfbServer::~XvfbServer() {
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(3000)) {
        server_.kill();
        server_.waitForFinished();
    }
}

bool XvfbServer::start(QString* error) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        *error = QStringLiteral("Xvfb is not installed");
        return false;
    }
    // -displayfd: the server picks a free display and writes its number on stdout
    // once it takes clients, so there is neither a guessed number nor a sleep.
    server_.start(program,
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("1280x1024x24")});
    QByteArray out;
    const QDeadlineTimer limit(kServerStartMs);
    while (!out.contains('\n') && server_.waitForReadyRead(int(limit.remainingTime())))
        out += server_.readAllStandardOutput();
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("Xvfb did not start: %1")
                     .arg(QString::fromLocal8Bit(server_.readAllStandardError()).trimmed());
        return false;
    }
    display_ = QStringLiteral(":%1").arg(number);
    return true;
}
