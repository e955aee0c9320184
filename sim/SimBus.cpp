#include "SimBus.h"

#include "SimBusJson.h"
#include "SimLink.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

using namespace SimProtocol;

namespace {

constexpr int StaleMs = 200;      // a pause this long ends whatever frame was under way
constexpr int MaxFrame = 256;     // longest RTU frame
constexpr int MaxTraffic = 10000; // entries kept for traffic()
constexpr double MinTurnaroundMs = 1.75;

// Service commands are text but for the WRTOXIC block: shown shortened and readable.
QString readable(const QByteArray& frame) {
    QString text;
    const QByteArray shown = frame.size() > 16 ? frame.left(10) : frame;
    for (const char c : shown)
        text += c == '\r' ? QStringLiteral("\\r")
                          : (c >= 0x20 && c < 0x7F ? QString(QChar(c)) : QStringLiteral("."));
    if (shown.size() < frame.size())
        text += QStringLiteral("...(%1 bytes)").arg(frame.size());
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

SimBus::SimBus(QObject* parent) : QObject(parent) {
    m_live.setInterval(1000);
    connect(&m_live, &QTimer::timeout, this, [this] {
        for (SimDetector* detector : std::as_const(m_detectors))
            detector->tick();
    });
    m_stale.setSingleShot(true);
    m_stale.setInterval(StaleMs);
    connect(&m_stale, &QTimer::timeout, this, &SimBus::dropStale);
}

SimBus::~SimBus() {
    closeLink();
}

bool SimBus::loadJson(const QByteArray& json, QString* error) {
    QList<SimDetectorConfig> configs;
    if (!simParseBus(json, &configs, error))
        return false;
    removeAll();
    for (const SimDetectorConfig& config : std::as_const(configs))
        addDetector(config);
    return true;
}

bool SimBus::loadFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (loadJson(file.readAll(), error))
        return true;
    *error = QStringLiteral("%1: %2").arg(path, *error);
    return false;
}

void SimBus::loadDefault() {
    QString error;
    if (!loadJson(defaultBusJson(), &error))
        qFatal("kpx-sim: the built-in bus is broken: %s", qPrintable(error));
}

SimDetector* SimBus::addDetector(const SimDetectorConfig& config) {
    if (detector(config.address)) {
        m_error = QStringLiteral("address %1 is taken").arg(config.address);
        return nullptr;
    }
    auto* added = new SimDetector(config, this);
    if (m_detectors.isEmpty())
        m_lastChangedLine = added->line();
    m_detectors << added;
    connect(added, &SimDetector::stateChanged, this, [this, added](const QString& what) {
        log(SimTraffic::Event, {},
            QStringLiteral("detector %1: %2").arg(added->address()).arg(what));
        m_lastChangedLine = added->line();
        if (m_link)
            m_link->follow(busLine());
    });
    if (m_link)
        m_link->follow(busLine());
    return added;
}

void SimBus::removeAll() {
    qDeleteAll(m_detectors);
    m_detectors.clear();
}

SimDetector* SimBus::detector(int address) const {
    const auto found =
        std::find_if(m_detectors.begin(), m_detectors.end(),
                     [address](const SimDetector* d) { return d->address() == address; });
    return found == m_detectors.end() ? nullptr : *found;
}

QList<SimDetector*> SimBus::detectors() const {
    return m_detectors;
}

QString SimBus::openPty() {
    closeLink();
    SimPtyLink* link = SimPtyLink::open(this, &m_error);
    if (!link)
        return {};
    attach(link);
    return link->path();
}

bool SimBus::openDevice(const QString& name) {
    closeLink();
    SimSerialLink* link = SimSerialLink::open(name, busLine(), this, &m_error);
    if (!link)
        return false;
    attach(link);
    return true;
}

void SimBus::attach(SimLink* link) {
    m_link = link;
    connect(link, &SimLink::received, this, &SimBus::receive);
    connect(link, &SimLink::failed, this, &SimBus::linkFailed);
    link->follow(busLine());
}

void SimBus::closeLink() {
    delete m_link;
    m_link = nullptr;
    m_rx.clear();
    m_stale.stop();
}

QString SimBus::portPath() const {
    return m_link ? m_link->path() : QString();
}

void SimBus::setLive(bool on) {
    if (on)
        m_live.start();
    else
        m_live.stop();
}

// On a real port the simulator can listen at one setting only: the service mode's
// while a detector is in it, otherwise those of the detector that changed last.
SimLine SimBus::busLine() const {
    const bool service = std::any_of(m_detectors.begin(), m_detectors.end(),
                                     [](const SimDetector* d) { return d->inServiceMode(); });
    return service ? SimServiceLine : m_lastChangedLine;
}

void SimBus::receive(const QByteArray& bytes, const SimLine& seen, bool parityVisible) {
    ++m_rxCount;
    if (!m_rx.isEmpty() && (seen != m_rxLine || parityVisible != m_rxParityVisible)) {
        log(SimTraffic::In, m_rx,
            QStringLiteral("incomplete frame dropped: line settings changed"));
        m_rx.clear();
    }
    m_rxLine = seen;
    m_rxParityVisible = parityVisible;
    m_rx += bytes;
    parse();
}

SimBus::Listeners SimBus::listeners() const {
    Listeners who;
    for (SimDetector* detector : m_detectors) {
        if (detector->faults().silent)
            continue;
        if (detector->inServiceMode()) {
            if (SimServiceLine.hears(m_rxLine, m_rxParityVisible))
                who.service << detector;
        } else if (detector->line().hears(m_rxLine, m_rxParityVisible)) {
            who.modbus << detector;
        }
    }
    return who;
}

namespace {
// A function that does not tell its length ends where a valid CRC does.
int shortestValid(QByteArrayView bytes) {
    const qsizetype available = std::min<qsizetype>(bytes.size(), MaxFrame);
    for (int n = 4; n <= available; ++n)
        if (crcValid(bytes.first(n)))
            return n;
    return 0;
}
} // namespace

SimBus::Frame SimBus::nextFrame(const Listeners& who) const {
    if (!who.service.isEmpty()) {
        const ServiceMatch match = matchService(m_rx);
        if (match.length > 0)
            return Frame{Frame::Service, match.length, nullptr, match.command};
        if (match.length == 0)
            return Frame{};
    }
    if (who.modbus.isEmpty())
        return Frame{Frame::Garbage, 1};
    const QByteArrayView bytes(m_rx);
    int length = requestLength(bytes);
    if (length < 0)
        length = shortestValid(bytes);
    if (length > 0 && length <= bytes.size()) {
        if (crcValid(bytes.first(length)))
            return Frame{Frame::Modbus, length};
        const int later = laterFrame(length);
        return Frame{Frame::Garbage, later > 0 ? later : length, "bad CRC: no answer"};
    }
    // Without gaps on the line, a whole valid frame further on is what tells garbage
    // at the head from the start of a frame still arriving.
    const int later = laterFrame(int(bytes.size()));
    if (later > 0)
        return Frame{Frame::Garbage, later};
    return bytes.size() < MaxFrame ? Frame{} : Frame{Frame::Garbage, 1};
}

// The first offset below limit where a complete request with a valid CRC starts, or 0.
int SimBus::laterFrame(int limit) const {
    const QByteArrayView bytes(m_rx);
    for (int offset = 1; offset < limit && offset + 4 <= bytes.size(); ++offset) {
        const QByteArrayView rest = bytes.sliced(offset);
        const int length = requestLength(rest);
        if (length > 0 && length <= rest.size() && crcValid(rest.first(length)))
            return offset;
    }
    return 0;
}

void SimBus::parse() {
    while (!m_rx.isEmpty()) {
        const Listeners who = listeners();
        if (who.modbus.isEmpty() && who.service.isEmpty()) {
            flushIgnored(QStringLiteral("not a frame"));
            log(SimTraffic::In, m_rx,
                QStringLiteral("no detector listens at %1").arg(m_rxLine.text(m_rxParityVisible)));
            m_rx.clear();
            break;
        }
        const Frame frame = nextFrame(who);
        if (frame.kind == Frame::Incomplete)
            break;
        const QByteArray bytes = m_rx.left(frame.length);
        m_rx.remove(0, frame.length);
        if (frame.kind == Frame::Garbage && !frame.note) {
            m_ignored += bytes;
            continue;
        }
        flushIgnored(QStringLiteral("not a frame"));
        if (frame.kind == Frame::Garbage)
            log(SimTraffic::In, bytes, QLatin1String(frame.note));
        else if (frame.kind == Frame::Service)
            dispatchService(bytes, frame.command, who);
        else
            dispatchModbus(bytes, who);
    }
    flushIgnored(QStringLiteral("not a frame"));
    if (m_rx.isEmpty())
        m_stale.stop();
    else
        m_stale.start();
}

void SimBus::dropStale() {
    // Bytes may be waiting that the event loop has not announced yet.
    const quint64 count = m_rxCount;
    if (m_link)
        m_link->pump();
    if (m_rxCount != count || m_rx.isEmpty())
        return;
    log(SimTraffic::In, m_rx, QStringLiteral("incomplete frame dropped after a pause"));
    m_rx.clear();
}

void SimBus::dispatchModbus(const QByteArray& frame, const Listeners& who) {
    const int address = quint8(frame[0]);
    QList<Outgoing> replies;
    for (SimDetector* detector : who.modbus)
        if (detector->address() == address)
            replies << shape(detector, detector->handleModbus(frame), int(frame.size()), true);
    if (replies.isEmpty()) {
        log(SimTraffic::In, frame, QStringLiteral("no detector %1 hears it").arg(address));
        return;
    }
    log(SimTraffic::In, frame);
    deliver(replies);
}

void SimBus::dispatchService(const QByteArray& frame, ServiceCommand command,
                             const Listeners& who) {
    QList<Outgoing> replies;
    for (SimDetector* detector : who.service) {
        SimReply reply = detector->handleService(command, frame);
        if (!reply.bytes.isEmpty() || reply.afterSent)
            replies << shape(detector, std::move(reply), int(frame.size()), false);
    }
    log(SimTraffic::In, frame,
        readable(frame) + (replies.isEmpty() ? QStringLiteral(": no answer") : QString()));
    deliver(replies);
}

SimBus::Outgoing SimBus::shape(SimDetector* detector, SimReply reply, int requestBytes,
                               bool modbus) const {
    Outgoing out{detector, std::move(reply.bytes), std::move(reply.afterSent)};
    if (out.bytes.isEmpty())
        return out;
    const SimFaults& faults = detector->faults();
    out.lost = faults.dropEvery > 0 && detector->nextReplyNumber() % faults.dropEvery == 0;
    if (modbus && faults.badCrc)
        out.bytes.back() = char(out.bytes.back() ^ 0x5A);
    if (modbus && faults.truncate > 0)
        out.bytes.chop(std::min<qsizetype>(faults.truncate, out.bytes.size()));
    if (modbus && faults.noiseBytes > 0) {
        out.noise = QByteArray(faults.noiseBytes, char(faults.noiseValue));
        if (faults.noiseValue < 0)
            for (char& byte : out.noise)
                byte = char(QRandomGenerator::global()->bounded(256));
        out.noiseGapMs = faults.noiseGapMs;
    }
    out.delayMs = faults.slowMs;
    if (m_wireTiming)
        out.delayMs += wireDelayMs(modbus ? detector->line() : SimServiceLine, requestBytes,
                                   int(out.bytes.size()));
    return out;
}

// On a pseudo-terminal the request arrives at once; on a wire it would have taken its
// time too before the detector could answer.
int SimBus::wireDelayMs(const SimLine& line, int requestBytes, int replyBytes) {
    const double charMs = line.charMs();
    return int(
        std::ceil((requestBytes + replyBytes) * charMs + std::max(3.5 * charMs, MinTurnaroundMs)));
}

void SimBus::deliver(QList<Outgoing> replies) {
    if (replies.isEmpty())
        return;
    const int delay =
        std::max_element(replies.begin(), replies.end(), [](const Outgoing& a, const Outgoing& b) {
            return a.delayMs < b.delayMs;
        })->delayMs;
    // A transmitter switching on puts its stray bytes on the line before the reply.
    const auto noisy = std::find_if(replies.begin(), replies.end(), [](const Outgoing& r) {
        return !r.noise.isEmpty() && !r.lost;
    });
    const QByteArray noise = noisy == replies.end() ? QByteArray() : noisy->noise;
    const int gap = noisy == replies.end() ? 0 : noisy->noiseGapMs;
    const auto go = [this, replies, noise, gap] {
        if (noise.isEmpty() || gap <= 0) {
            send(replies, noise);
            return;
        }
        sendNoise(noise);
        QTimer::singleShot(gap, Qt::PreciseTimer, this, [this, replies] { send(replies); });
    };
    if (delay <= 0)
        go();
    else
        QTimer::singleShot(delay, Qt::PreciseTimer, this, go);
}

void SimBus::sendNoise(const QByteArray& noise) {
    if (m_link)
        m_link->write(noise);
    log(SimTraffic::Out, noise, QStringLiteral("noise before the reply"));
    emit transmitted(noise);
}

void SimBus::send(const QList<Outgoing>& replies, const QByteArray& noise) {
    QList<QByteArray> onLine;
    for (const Outgoing& reply : replies) {
        if (!reply.from || reply.bytes.isEmpty())
            continue;
        if (reply.lost)
            log(SimTraffic::Event, reply.bytes,
                QStringLiteral("reply of detector %1 lost on the line").arg(reply.from->address()));
        else
            onLine << reply.bytes;
    }
    if (!onLine.isEmpty()) {
        // Two drivers on one pair: a zero from either wins.
        QByteArray bytes = onLine.front();
        for (const QByteArray& other : onLine.mid(1)) {
            bytes = bytes.leftJustified(std::max(bytes.size(), other.size()), char(0xFF));
            for (qsizetype i = 0; i < other.size(); ++i)
                bytes[i] = char(bytes[i] & other[i]);
        }
        // Noise without a gap leaves in the same write: the tool gets it in one piece
        // with the reply, as from a line without a pause between them.
        if (!noise.isEmpty()) {
            log(SimTraffic::Out, noise, QStringLiteral("noise before the reply"));
            emit transmitted(noise);
        }
        if (m_link)
            m_link->write(noise + bytes);
        log(SimTraffic::Out, bytes,
            onLine.size() > 1 ? QStringLiteral("collision of %1 replies").arg(onLine.size())
                              : QString());
        emit transmitted(bytes);
    }
    for (const Outgoing& reply : replies)
        if (reply.from && reply.afterSent)
            reply.afterSent();
}

void SimBus::log(SimTraffic::Direction direction, const QByteArray& bytes, const QString& note) {
    const SimTraffic entry{QDateTime::currentMSecsSinceEpoch(), direction, bytes, note};
    m_traffic.append(entry);
    if (m_traffic.size() > MaxTraffic)
        m_traffic.removeFirst();
    emit trafficLogged(entry);
}

void SimBus::flushIgnored(const QString& note) {
    if (m_ignored.isEmpty())
        return;
    log(SimTraffic::In, m_ignored, note);
    m_ignored.clear();
}

QByteArray SimBus::defaultBusJson() {
    return simDefaultBusJson();
}
