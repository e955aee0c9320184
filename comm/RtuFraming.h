#pragma once

#include "PortSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

// The two functions the detectors speak, and what a reply may look like.
namespace Rtu {
constexpr int ReadHolding = 0x03;
constexpr int WriteSingle = 0x06;
constexpr int ExceptionFlag = 0x80;
// Address, function, code, CRC.
constexpr int ExceptionLength = 5;
// Bytes kept while looking for a reply: the longest RTU frame twice over. Older ones
// go first, so a flood cannot grow the buffer.
constexpr int MaxBuffered = 512;
} // namespace Rtu

// One request of the master: function 03 reads countOrValue registers from start,
// function 06 writes countOrValue into register start.
struct RtuRequest {
    int slave = 0;
    int function = Rtu::ReadHolding;
    int start = 0;
    int countOrValue = 0;

    // The eight bytes on the line, CRC included.
    QByteArray Frame() const;
    // A normal reply's length: 5 + 2 * count for a read, 8 for a write's echo.
    int ReplyLength() const;
    // What makes the request impossible to send; empty when nothing does.
    QString Problem() const;
    bool operator==(const RtuRequest& o) const {
        return slave == o.slave && function == o.function && start == o.start &&
               countOrValue == o.countOrValue;
    }
};

// Where the reply to a request lies in the bytes received for it.
struct ReplyMatch {
    enum Kind { None, Normal, Exception };
    Kind kind = None;
    int offset = -1;
    int length = 0;
};

// The first complete frame, at any offset, from the slave with the function (or its
// exception form), of the expected length (an exception: 5) and with a correct CRC.
// Frames of other slaves, of other lengths or with a wrong CRC are not it.
ReplyMatch FindReply(QByteArrayView bytes, int slave, int function, int expectedLength);

// The first offset from which the bytes could still grow into that reply; the bytes
// before it can only be noise. bytes.size() when none could.
int ReplyStart(QByteArrayView bytes, int slave, int function, int expectedLength);

// A pause this long ends a frame on the line: 3.5 characters, and 1.75 ms above
// 19200 baud where the character time would make it shorter than the drivers can tell.
qint64 SilenceNs(const LineSettings& settings);

// A frame as it went out or came in, and what became of it.
struct RtuRawFrame {
    enum Fate {
        Sent,       // a request
        Reply,      // taken as the reply of the request on the line
        Noise,      // discarded: not a frame, or not the reply anyone asked for
        BadCrc,     // looked like the reply but its CRC is wrong
        Unexpected, // a whole frame that was not asked for, or bytes with no request on the line
    };
    qint64 at = 0; // MonotonicNs()
    QByteArray bytes;
    Fate fate = Sent;
    quint64 request = 0; // the request it belongs to, 0 for none
};

// Collects the bytes of one request at a time and decides what they are. Knows no
// port and no clock: the caller hands it bytes with the moment they arrived.
class RtuFramer {
public:
    struct Result {
        ReplyMatch::Kind kind = ReplyMatch::None;
        QByteArray frame;
    };

    // A request has gone out: from now on bytes are searched for its reply. Whatever
    // was collected before is not its reply.
    void Start(quint64 request, int slave, int function, int expectedLength, qint64 silenceNs);
    // The request ended without a reply; what was collected is logged as discarded.
    void Stop(qint64 at);
    bool Waiting() const { return waiting_; }
    int Buffered() const { return int(buffer_.size()); }

    // The reply once these bytes complete it; the framer then waits for nothing.
    Result Feed(QByteArrayView bytes, qint64 at);

    // Frames decided since the last call, oldest first.
    QList<RtuRawFrame> TakeLog();

private:
    void discard(const QByteArray& bytes, qint64 at);
    void log(const QByteArray& bytes, RtuRawFrame::Fate fate, qint64 at);

    bool waiting_ = false;
    quint64 request_ = 0;
    int slave_ = 0;
    int function_ = 0;
    int length_ = 0;
    qint64 silenceNs_ = 0;
    qint64 lastAt_ = 0;
    QByteArray buffer_;
    QList<RtuRawFrame> log_;
};
