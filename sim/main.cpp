// kpx-sim: a bus of simulated gas detectors on a pseudo-terminal or a real serial port.

#include "SimBus.h"
#include "SimConsole.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Ctrl-C, kill and a closed terminal end the event loop, so that the link is removed.
bool quitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    return true;
}

void print(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Replaces an earlier link of ours, never a file that is not a link.
bool makeLink(const QString& link, const QString& target, QString* error) {
    const QByteArray path = QFile::encodeName(link);
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        *error = QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(link);
        return false;
    }
    QDir().mkpath(QFileInfo(link).absolutePath());
    const QByteArray temporary = path + ".new-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), path.constData()) != 0) {
        *error = QStringLiteral("%1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// Another simulator may have taken the link over meanwhile: leave it to that one.
void removeLink(const QString& link, const QString& target) {
    if (QFile::symLinkTarget(link) == target)
        QFile::remove(link);
}

// Commands typed while the simulator runs, when standard input is a terminal.
void startConsole(QCoreApplication& app, SimBus& bus) {
    if (!::isatty(STDIN_FILENO))
        return;
    std::signal(SIGTTIN, SIG_IGN); // in the background a read fails instead of stopping us
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    const auto pending = std::make_shared<QByteArray>();
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, pending, &bus] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) {
            notifier->setEnabled(false);
            return;
        }
        if (n < 0)
            return;
        pending->append(buffer, n);
        SimConsole console(bus);
        for (qsizetype end = pending->indexOf('\n'); end >= 0; end = pending->indexOf('\n')) {
            const QString output = console.execute(QString::fromLocal8Bit(pending->left(end)));
            pending->remove(0, end + 1);
            if (!output.isEmpty())
                print(stdout, output);
        }
    });
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kpx-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated RS-485 bus of gas detectors for KPX Tool."));
    parser.addHelpOption();
    const QCommandLineOption linkOption(
        QStringLiteral("link"), QStringLiteral("Stable symbolic link to the pseudo-terminal."),
        QStringLiteral("path"), QStringLiteral("run/ttyKPX"));
    const QCommandLineOption busOption(
        QStringLiteral("bus"), QStringLiteral("Bus description (JSON)."), QStringLiteral("file"));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Play the bus on this serial port instead of a pseudo-terminal."),
        QStringLiteral("port"));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"),
        QStringLiteral("Log the traffic in hex with timestamps on stderr."));
    const QCommandLineOption wireOption(QStringLiteral("wire-timing"),
                                        QStringLiteral("Delay replies by their time on the wire."));
    const QCommandLineOption steadyOption(
        QStringLiteral("steady"), QStringLiteral("Readings and temperatures do not drift."));
    const QCommandLineOption printOption(
        QStringLiteral("print-default-bus"),
        QStringLiteral("Print the built-in bus description and exit."));
    parser.addOptions(
        {linkOption, busOption, deviceOption, traceOption, wireOption, steadyOption, printOption});
    parser.process(app);

    if (parser.isSet(printOption)) {
        std::fputs(SimBus::defaultBusJson().constData(), stdout);
        return 0;
    }

    SimBus bus;
    QString error;
    if (parser.isSet(busOption)) {
        if (!bus.loadFile(parser.value(busOption), &error)) {
            print(stderr, QStringLiteral("kpx-sim: ") + error);
            return 1;
        }
    } else {
        bus.loadDefault();
    }
    bus.setWireTiming(parser.isSet(wireOption));
    bus.setLive(!parser.isSet(steadyOption));
    if (parser.isSet(traceOption))
        QObject::connect(&bus, &SimBus::trafficLogged,
                         [](const SimTraffic& entry) { print(stderr, entry.text()); });
    QObject::connect(&bus, &SimBus::linkFailed, &app, [&app](const QString& message) {
        print(stderr, QStringLiteral("kpx-sim: ") + message);
        app.exit(1);
    });

    QString link;
    QString where;
    if (parser.isSet(deviceOption)) {
        if (!bus.openDevice(parser.value(deviceOption))) {
            print(stderr, QStringLiteral("kpx-sim: ") + bus.errorString());
            return 1;
        }
        where = bus.portPath();
    } else {
        const QString pty = bus.openPty();
        link = parser.value(linkOption);
        if (pty.isEmpty() || !makeLink(link, pty, &error)) {
            print(stderr,
                  QStringLiteral("kpx-sim: ") + (pty.isEmpty() ? bus.errorString() : error));
            return 1;
        }
        where = QStringLiteral("%1 (link %2)").arg(pty, link);
    }
    if (!quitOnSignals(app))
        print(stderr, QStringLiteral("kpx-sim: Ctrl-C will not remove the link"));
    startConsole(app, bus);

    SimConsole console(bus);
    print(stdout,
          QStringLiteral("kpx-sim: %1 detectors on %2").arg(bus.detectors().size()).arg(where));
    print(stdout, console.list());
    if (::isatty(STDIN_FILENO))
        print(stdout, QStringLiteral("Commands: \"help\". Ctrl-C ends."));

    const int result = app.exec();
    if (!link.isEmpty())
        removeLink(link, bus.portPath());
    return result;
}
