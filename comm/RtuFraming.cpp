#include "RtuFraming.h"

#include "ModbusCrc.h"

#include <cmath>

namespace {

constexpr int kFirstSlave = 1;
constexpr int kLastSlave = 247;
constexpr int kMaxReadCount = 125;
constexpr qint64 kFastLineSilenceNs = 1'750'000;
constexpr int kFastLineBaud = 19200;

quint8 at(QByteArrayView bytes, qsizetype i) {
    return quint8(bytes[i]);
}

// A whole frame of a function the master knows, with a correct CRC, at offset o: how
// a late reply or another slave's answer shows among discarded bytes.
bool wholeFrameAt(QByteArrayView bytes, qsizetype o) {
    if (o + 2 > bytes.size())
        return false;
    const int function = at(bytes, o + 1);
    qsizetype length = 0;
    if (function & Rtu::ExceptionFlag)
        length = Rtu::ExceptionLength;
    else if (function == Rtu::WriteSingle)
        length = 8;
    else if (function == Rtu::ReadHolding && o + 3 <= bytes.size())
        length = 5 + at(bytes, o + 2);
    return length > 0 && o + length <= bytes.size() && ModbusCrcValid(bytes.sliced(o, length));
}

} // namespace

QByteArray RtuRequest::Frame() const {
    QByteArray frame;
    frame.append(char(slave));
    frame.append(char(function));
    frame.append(char(start >> 8));
    frame.append(char(start & 0xFF));
    frame.append(char(countOrValue >> 8));
    frame.append(char(countOrValue & 0xFF));
    return WithModbusCrc(frame);
}

int RtuRequest::ReplyLength() const {
    return function == Rtu::ReadHolding ? 5 + 2 * countOrValue : 8;
}

QString RtuRequest::Problem() const {
    if (slave < kFirstSlave || slave > kLastSlave)
        return QStringLiteral("Address %1 is outside %2..%3")
            .arg(slave)
            .arg(kFirstSlave)
            .arg(kLastSlave);
    if (function != Rtu::ReadHolding && function != Rtu::WriteSingle)
        return QStringLiteral("Function %1 is not supported").arg(function);
    if (start < 0 || start > 0xFFFF)
        return QStringLiteral("Register %1 does not exist").arg(start);
    if (function == Rtu::ReadHolding && (countOrValue < 1 || countOrValue > kMaxReadCount))
        return QStringLiteral("Cannot read %1 registers at once").arg(countOrValue);
    if (function == Rtu::WriteSingle && (countOrValue < 0 || countOrValue > 0xFFFF))
        return QStringLiteral("Value %1 does not fit a register").arg(countOrValue);
    return {};
}

ReplyMatch FindReply(QByteArrayView bytes, int slave, int function, int expectedLength) {
    const qsizetype n = bytes.size();
    for (qsizetype o = 0; o + 1 < n; ++o) {
        if (at(bytes, o) != slave)
            continue;
        const int f = at(bytes, o + 1);
        if (f == function && o + expectedLength <= n &&
            (function != Rtu::ReadHolding || at(bytes, o + 2) == expectedLength - 5) &&
            ModbusCrcValid(bytes.sliced(o, expectedLength)))
            return {ReplyMatch::Normal, int(o), expectedLength};
        if (f == (function | Rtu::ExceptionFlag) && o + Rtu::ExceptionLength <= n &&
            ModbusCrcValid(bytes.sliced(o, Rtu::ExceptionLength)))
            return {ReplyMatch::Exception, int(o), Rtu::ExceptionLength};
    }
    return {};
}

int ReplyStart(QByteArrayView bytes, int slave, int function, int expectedLength) {
    const qsizetype n = bytes.size();
    for (qsizetype o = 0; o < n; ++o) {
        const qsizetype rest = n - o;
        if (at(bytes, o) != slave)
            continue;
        if (rest == 1)
            return int(o);
        const int f = at(bytes, o + 1);
        if (f == (function | Rtu::ExceptionFlag) && rest < Rtu::ExceptionLength)
            return int(o);
        if (f != function || rest >= expectedLength)
            continue;
        if (function == Rtu::ReadHolding && rest >= 3 && at(bytes, o + 2) != expectedLength - 5)
            continue;
        return int(o);
    }
    return int(n);
}

qint64 SilenceNs(const LineSettings& s) {
    if (s.baudRate > kFastLineBaud || s.baudRate <= 0)
        return kFastLineSilenceNs;
    const double stopBits = s.stopBits == QSerialPort::OneAndHalfStop ? 1.5 : double(s.stopBits);
    const double bits =
        1 + int(s.dataBits) + (s.parity == QSerialPort::NoParity ? 0 : 1) + stopBits;
    return qint64(std::ceil(3.5 * bits * 1e9 / s.baudRate));
}

void RtuFramer::Start(quint64 request, int slave, int function, int expectedLength,
                      qint64 silenceNs) {
    buffer_.clear();
    waiting_ = true;
    request_ = request;
    slave_ = slave;
    function_ = function;
    length_ = expectedLength;
    silenceNs_ = silenceNs;
}

void RtuFramer::Stop(qint64 at) {
    if (!buffer_.isEmpty())
        discard(buffer_, at);
    buffer_.clear();
    waiting_ = false;
    request_ = 0;
}

RtuFramer::Result RtuFramer::Feed(QByteArrayView bytes, qint64 at) {
    if (bytes.isEmpty())
        return {};
    if (!waiting_) {
        log(bytes.toByteArray(), RtuRawFrame::Unexpected, at);
        return {};
    }
    if (!buffer_.isEmpty() && at - lastAt_ >= silenceNs_) {
        // A pause ended whatever frame was under way. What came before it can still be
        // the start of the reply (an adapter hands a frame over in pieces, with gaps);
        // anything else is noise.
        const int start = ReplyStart(buffer_, slave_, function_, length_);
        if (start > 0) {
            discard(buffer_.left(start), lastAt_);
            buffer_.remove(0, start);
        }
    }
    buffer_.append(bytes.data(), bytes.size());
    lastAt_ = at;

    const ReplyMatch match = FindReply(buffer_, slave_, function_, length_);
    if (match.kind != ReplyMatch::None) {
        if (match.offset > 0)
            discard(buffer_.left(match.offset), at);
        const QByteArray frame = buffer_.mid(match.offset, match.length);
        log(frame, RtuRawFrame::Reply, at);
        const QByteArray after = buffer_.mid(match.offset + match.length);
        if (!after.isEmpty())
            log(after, RtuRawFrame::Unexpected, at);
        buffer_.clear();
        waiting_ = false;
        request_ = 0;
        return {match.kind, frame};
    }
    if (buffer_.size() > Rtu::MaxBuffered) {
        const qsizetype excess = buffer_.size() - Rtu::MaxBuffered;
        discard(buffer_.left(excess), at);
        buffer_.remove(0, excess);
    }
    return {};
}

QList<RtuRawFrame> RtuFramer::TakeLog() {
    QList<RtuRawFrame> taken;
    taken.swap(log_);
    return taken;
}

void RtuFramer::discard(const QByteArray& bytes, qint64 at) {
    // What the bytes were matters only to whoever reads the log.
    RtuRawFrame::Fate fate = RtuRawFrame::Noise;
    for (qsizetype o = 0; o < bytes.size() && fate == RtuRawFrame::Noise; ++o) {
        const quint8 f = o + 1 < bytes.size() ? quint8(bytes[o + 1]) : 0;
        const bool ours =
            quint8(bytes[o]) == slave_ && (f == function_ || f == (function_ | Rtu::ExceptionFlag));
        const qsizetype length = f == function_ ? length_ : Rtu::ExceptionLength;
        if (ours && o + length <= bytes.size() && !wholeFrameAt(bytes, o))
            fate = RtuRawFrame::BadCrc;
        else if (wholeFrameAt(bytes, o))
            fate = RtuRawFrame::Unexpected;
    }
    log(bytes, fate, at);
}

void RtuFramer::log(const QByteArray& bytes, RtuRawFrame::Fate fate, qint64 at) {
    log_.append(RtuRawFrame{at, bytes, fate, request_});
}
