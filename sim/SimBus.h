#pragma once

#include "SimDetector.h"
#include "SimTypes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class SimLink;

// A line of detectors. Everything runs in the caller's event loop on its thread: bytes
// arrive through a socket notifier, delayed replies leave from timers.
//
// The line carries no timing gaps (a pseudo-terminal has none), so frames are found by
// their length. A detector hears a frame only when the port's line settings match its
// own, as far as they can be seen, so a tool on the wrong settings meets silence.
class SimBus : public QObject {
    Q_OBJECT
public:
    explicit SimBus(QObject* parent = nullptr);
    ~SimBus() override;

    // The bus description (JSON, see sim/README.md). On an error the bus keeps the
    // detectors it had and error tells what is wrong.
    bool loadJson(const QByteArray& json, QString* error);
    bool loadFile(const QString& path, QString* error);
    // The built-in bus of sim/default-bus.json.
    void loadDefault();
    static QByteArray defaultBusJson();

    // nullptr when the address is already taken.
    SimDetector* addDetector(const SimDetectorConfig& config);
    void removeAll();
    // The first detector at the address, in the order they were added.
    SimDetector* detector(int address) const;
    QList<SimDetector*> detectors() const;

    // Opens a pseudo-terminal and returns the path of its slave end for the tool, or an
    // empty text (see errorString()).
    QString openPty();
    // Attaches to a real serial port instead.
    bool openDevice(const QString& name);
    void closeLink();
    QString portPath() const;
    QString errorString() const { return m_error; }

    // Replies leave after the time request and reply take on the wire at the current
    // baud rate, plus a turnaround of 3.5 character times.
    void setWireTiming(bool on) { m_wireTiming = on; }
    static int wireDelayMs(const SimLine& line, int requestBytes, int replyBytes);
    // Readings and temperatures drift every second (detectors with a noise amplitude).
    void setLive(bool on);

    // Bytes from the tool as the detectors hear them. The link calls this; tests may
    // feed bytes directly and watch transmitted().
    void receive(const QByteArray& bytes, const SimLine& seen, bool parityVisible = true);

    // The most recent traffic, oldest first.
    QList<SimTraffic> traffic() const { return m_traffic; }
    void clearTraffic() { m_traffic.clear(); }

signals:
    void transmitted(const QByteArray& bytes);
    void trafficLogged(const SimTraffic& entry);
    void linkFailed(const QString& message);

private:
    struct Listeners {
        QList<SimDetector*> modbus;
        QList<SimDetector*> service;
    };
    struct Frame {
        enum Kind { Incomplete, Modbus, Service, Garbage };
        Kind kind = Incomplete;
        int length = 0; // of the frame, or of the garbage to drop
        const char* note = nullptr;
        SimProtocol::ServiceCommand command = SimProtocol::ServiceCommand::BackToModbus;
    };
    struct Outgoing {
        QPointer<SimDetector> from;
        QByteArray bytes;
        std::function<void()> afterSent;
        int delayMs = 0;
        bool lost = false;
        QByteArray noise = {}; // goes out first, noiseGapMs ahead of the reply
        int noiseGapMs = 0;
    };

    Listeners listeners() const;
    Frame nextFrame(const Listeners& who) const;
    int laterFrame(int limit) const;
    void parse();
    void dropStale();
    void dispatchModbus(const QByteArray& frame, const Listeners& who);
    void dispatchService(const QByteArray& frame, SimProtocol::ServiceCommand command,
                         const Listeners& who);
    Outgoing shape(SimDetector* detector, SimReply reply, int requestBytes, bool modbus) const;
    void deliver(QList<Outgoing> replies);
    void send(const QList<Outgoing>& replies, const QByteArray& noise = {});
    void sendNoise(const QByteArray& noise);
    SimLine busLine() const;
    void attach(SimLink* link);
    void log(SimTraffic::Direction direction, const QByteArray& bytes, const QString& note = {});
    void flushIgnored(const QString& note);

    QList<SimDetector*> m_detectors;
    SimLink* m_link = nullptr;
    QString m_error;
    bool m_wireTiming = false;
    QTimer m_live;
    QTimer m_stale;
    QByteArray m_rx;
    SimLine m_rxLine;
    bool m_rxParityVisible = true;
    quint64 m_rxCount = 0;
    QByteArray m_ignored;
    SimLine m_lastChangedLine;
    QList<SimTraffic> m_traffic;
};
