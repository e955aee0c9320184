#pragma once

#include "RtuFraming.h"
#include "SerialLine.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <optional>

// How a request ended. Each request ends exactly once.
struct RtuResult {
    enum Outcome {
        Reply,     // its normal reply came
        Exception, // the slave refused it with an exception reply
        Timeout,   // nothing that is its reply came in time
        Aborted,   // it never got its chance: the port closed, the master was detached
    };
    quint64 id = 0;
    RtuRequest request;
    Outcome outcome = Timeout;
    QByteArray frame;   // the reply as received, CRC included
    qint64 endedAt = 0; // MonotonicNs() of the reply's last byte, or of the time-out

    int ExceptionCode() const;
    // (register, value): a read's registers from its start, a write's echo.
    QList<QPair<int, quint16>> Registers() const;
};

// The Modbus RTU master on a SerialLine: functions 03 and 06, one request on the line
// at a time, first come first served.
//
// Requests are paced 15 ms apart, measured from the end of one exchange (its reply's
// last byte or its time-out) to the sending of the next; a request that finds the
// line idle that long goes out at once. Each request ends with one Finished(), posted
// to the event loop and handed out one at a time, so a handler that sends the next
// request or runs an event loop of its own never sees two at once. Handlers do not
// delay the line: the next request leaves on time whatever they do, if the event loop
// is free then.
class RtuMaster : public QObject, public DataProcessor {
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 1000;
    static constexpr qint64 DefaultPauseNs = 15'000'000;

    explicit RtuMaster(QObject* parent = nullptr);
    ~RtuMaster() override;

    // Queues the request. Its id, or 0 and the reason when the master is inactive, the
    // line is not open or the request is impossible: nothing is sent then.
    quint64 Send(const RtuRequest& request, QString* error = nullptr);

    // Each request waits as long as the time-out in force when it is sent.
    bool SetTimeout(int ms); // false below 1 ms, the time-out unchanged
    int Timeout() const { return timeoutMs_; }
    void SetPauseNs(qint64 ns) { pauseNs_ = ns; }
    qint64 PauseNs() const { return pauseNs_; }

    // While inactive the master neither sends nor takes bytes from the line; queued
    // requests wait, a request on the line ends by its time-out.
    void SetActive(bool active);
    bool IsActive() const { return active_; }

    // Requests queued or on the line.
    int Pending() const;
    SerialLine* Line() const { return line_; }

    // DataProcessor.
    void LineAttached(SerialLine& line) override;
    void LineDetached() override;
    void LineClosed() override;
    bool AcceptsBytes() const override { return active_; }
    void BytesArrived(const QByteArray& bytes, qint64 at) override;

signals:
    void Finished(const RtuResult& result);
    // Every frame sent and received, with what became of it, as it happens.
    void FrameLogged(const RtuRawFrame& frame);

private:
    struct Queued {
        quint64 id = 0;
        RtuRequest request;
    };

    void pump();
    void transmit();
    void onTimeout();
    void end(RtuResult::Outcome outcome, const QByteArray& frame, qint64 at);
    void abortAll();
    void publishLog();
    void postDelivery();
    void deliver();

    SerialLine* line_ = nullptr;
    std::deque<Queued> queue_;
    std::optional<Queued> onLine_;
    std::deque<RtuResult> ended_;
    RtuFramer framer_;
    QTimer pauseTimer_;
    QTimer timeoutTimer_;
    int timeoutMs_ = DefaultTimeoutMs;
    qint64 pauseNs_ = DefaultPauseNs;
    std::optional<qint64> lastEnd_;
    quint64 nextId_ = 1;
    bool active_ = true;
    bool deliveryPosted_ = false;
    bool delivering_ = false;
};
