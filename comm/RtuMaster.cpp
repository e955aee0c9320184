#include "RtuMaster.h"

#include "MonotonicClock.h"

#include <QPointer>
#include <QScopeGuard>

int RtuResult::ExceptionCode() const {
    return outcome == Exception && frame.size() > 2 ? quint8(frame[2]) : 0;
}

QList<QPair<int, quint16>> RtuResult::Registers() const {
    QList<QPair<int, quint16>> regs;
    if (outcome != Reply)
        return regs;
    const auto word = [this](qsizetype i) {
        return quint16(quint8(frame[i]) << 8 | quint8(frame[i + 1]));
    };
    if (request.function == Rtu::WriteSingle) {
        regs.append({word(2), word(4)});
        return regs;
    }
    const int count = quint8(frame[2]) / 2;
    for (int i = 0; i < count; ++i)
        regs.append({request.start + i, word(3 + 2 * i)});
    return regs;
}

RtuMaster::RtuMaster(QObject* parent) : QObject(parent) {
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, &RtuMaster::pump);
    timeoutTimer_.setSingleShot(true);
    timeoutTimer_.setTimerType(Qt::PreciseTimer);
    connect(&timeoutTimer_, &QTimer::timeout, this, &RtuMaster::onTimeout);
}

RtuMaster::~RtuMaster() {
    if (line_ && line_->Processor() == this)
        line_->Detach();
}

quint64 RtuMaster::Send(const RtuRequest& request, QString* error) {
    QString why;
    if (!active_)
        why = QStringLiteral("Modbus master is not active");
    else if (!line_ || !line_->IsOpen())
        why = QStringLiteral("Port %1 is not open").arg(line_ ? line_->PortName() : QString());
    else
        why = request.Problem();
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return 0;
    }
    const quint64 id = nextId_++;
    queue_.push_back({id, request});
    pump();
    return id;
}

bool RtuMaster::SetTimeout(int ms) {
    if (ms < 1)
        return false;
    timeoutMs_ = ms;
    return true;
}

void RtuMaster::SetActive(bool active) {
    active_ = active;
    if (active)
        pump();
    else
        pauseTimer_.stop();
}

int RtuMaster::Pending() const {
    return int(queue_.size()) + (onLine_ ? 1 : 0);
}

void RtuMaster::LineAttached(SerialLine& line) {
    line_ = &line;
}

void RtuMaster::LineDetached() {
    abortAll();
    line_ = nullptr;
}

void RtuMaster::LineClosed() {
    abortAll();
}

void RtuMaster::pump() {
    if (onLine_ || queue_.empty() || !active_ || !line_ || !line_->IsOpen())
        return;
    if (lastEnd_) {
        const qint64 due = *lastEnd_ + pauseNs_;
        const qint64 left = due - MonotonicNs();
        if (left > 0) {
            // A timer wakes in whole milliseconds and up to one late; it is set short
            // of the moment and the rest is slept to the nanosecond.
            const qint64 wholeMs = left / 1'000'000 - 1;
            if (wholeMs > 0) {
                pauseTimer_.start(int(wholeMs));
                return;
            }
            SleepUntilNs(due);
        }
    }
    transmit();
}

void RtuMaster::transmit() {
    onLine_ = queue_.front();
    queue_.pop_front();
    const RtuRequest& request = onLine_->request;
    // Whatever came since the last exchange ended (a reply after its time-out) must
    // not pass for this request's reply. Bytes the port holds but has not handed over
    // yet go unlogged; what was handed over is in the log as unexpected already.
    line_->DiscardInput();
    framer_.Start(onLine_->id, request.slave, request.function, request.ReplyLength(),
                  SilenceNs(line_->Settings()));
    const QByteArray frame = request.Frame();
    const qint64 at = MonotonicNs();
    if (!line_->SendString(frame)) {
        framer_.Stop(at);
        publishLog();
        end(RtuResult::Aborted, {}, at);
        return;
    }
    timeoutTimer_.start(timeoutMs_);
    publishLog();
    emit FrameLogged(RtuRawFrame{at, frame, RtuRawFrame::Sent, onLine_->id});
}

void RtuMaster::BytesArrived(const QByteArray& bytes, qint64 at) {
    const RtuFramer::Result found = framer_.Feed(bytes, at);
    publishLog();
    if (found.kind == ReplyMatch::None || !onLine_)
        return;
    timeoutTimer_.stop();
    end(found.kind == ReplyMatch::Normal ? RtuResult::Reply : RtuResult::Exception, found.frame,
        at);
}

void RtuMaster::onTimeout() {
    if (!onLine_)
        return;
    const qint64 at = MonotonicNs();
    framer_.Stop(at);
    publishLog();
    end(RtuResult::Timeout, {}, at);
}

void RtuMaster::end(RtuResult::Outcome outcome, const QByteArray& frame, qint64 at) {
    ended_.push_back(RtuResult{onLine_->id, onLine_->request, outcome, frame, at});
    onLine_.reset();
    lastEnd_ = at;
    postDelivery();
    pump();
}

void RtuMaster::abortAll() {
    pauseTimer_.stop();
    const qint64 at = MonotonicNs();
    if (onLine_) {
        timeoutTimer_.stop();
        framer_.Stop(at);
        publishLog();
        ended_.push_back(RtuResult{onLine_->id, onLine_->request, RtuResult::Aborted, {}, at});
        onLine_.reset();
        lastEnd_ = at;
    }
    for (const Queued& q : queue_)
        ended_.push_back(RtuResult{q.id, q.request, RtuResult::Aborted, {}, at});
    queue_.clear();
    postDelivery();
}

void RtuMaster::publishLog() {
    for (const RtuRawFrame& frame : framer_.TakeLog())
        emit FrameLogged(frame);
}

void RtuMaster::postDelivery() {
    if (deliveryPosted_ || ended_.empty())
        return;
    deliveryPosted_ = true;
    QMetaObject::invokeMethod(this, &RtuMaster::deliver, Qt::QueuedConnection);
}

void RtuMaster::deliver() {
    deliveryPosted_ = false;
    // A handler running an event loop of its own gets the next end only after it returns.
    if (delivering_ || ended_.empty())
        return;
    const RtuResult result = ended_.front();
    ended_.pop_front();
    const QPointer<RtuMaster> self(this);
    delivering_ = true;
    const auto next = qScopeGuard([&self] {
        if (!self)
            return;
        self->delivering_ = false;
        self->postDelivery();
    });
    emit Finished(result);
}
