#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <termios.h>

// The far end of a pseudo-terminal, answering each 8-byte request frame with
// whatever the test's script returns (empty: stay silent). Runs in the test's
// own event loop.
class PtyResponder : public QObject {
    Q_OBJECT
public:
    using Script = std::function<QByteArray(const QByteArray& request)>;
    // Bytes written afterMs after the request was read, each piece on its own timer.
    struct Piece {
        int afterMs = 0;
        QByteArray bytes;
    };
    using TimedScript = std::function<QList<Piece>(const QByteArray& request)>;

    PtyResponder();
    ~PtyResponder() override;

    QString slavePath() const { return slavePath_; }
    void setScript(Script script);
    void setTimedScript(TimedScript script) { script_ = std::move(script); }
    // Requests seen so far, one frame each, and when each was read (MonotonicNs()).
    const QList<QByteArray>& requests() const { return requests_; }
    const QList<qint64>& requestTimes() const { return requestTimes_; }
    // Writes at once, outside any script.
    void write(const QByteArray& bytes);
    // Waits up to ms, without the event loop and without reading, until at least n
    // bytes from the tool wait here; how many wait then.
    int peekWaiting(int n, int ms) const;
    // The settings the tool put on its end of the terminal.
    termios portTermios() const;
    // Simulates the line going away (an adapter pulled out).
    void hangUp();

    static QByteArray withCrc(const QByteArray& body);

private:
    void onReadable();

    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray pending_;
    QList<QByteArray> requests_;
    QList<qint64> requestTimes_;
    TimedScript script_;
};
