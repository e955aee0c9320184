#include "PtyResponder.h"

#include "MonotonicClock.h"
#include "SimProtocol.h"

#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyResponder::PtyResponder() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    // Holding the slave open keeps the master from reporting EIO between the
    // tool's closing and reopening of the port.
    slaveHold_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyResponder::onReadable);
}

PtyResponder::~PtyResponder() {
    hangUp();
}

void PtyResponder::setScript(Script script) {
    if (!script) {
        script_ = nullptr;
        return;
    }
    script_ = [script = std::move(script)](const QByteArray& request) {
        return QList<Piece>{{0, script(request)}};
    };
}

void PtyResponder::hangUp() {
    if (master_ < 0)
        return;
    notifier_->setEnabled(false);
    ::close(master_);
    master_ = -1;
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    slaveHold_ = -1;
}

void PtyResponder::write(const QByteArray& bytes) {
    if (master_ >= 0 && !bytes.isEmpty() &&
        ::write(master_, bytes.constData(), size_t(bytes.size())) < 0)
        qWarning("responder write failed");
}

int PtyResponder::peekWaiting(int n, int ms) const {
    if (master_ < 0)
        return 0;
    const qint64 until = MonotonicNs() + qint64(ms) * 1'000'000;
    int waiting = 0;
    for (;;) {
        ::ioctl(master_, FIONREAD, &waiting);
        if (waiting >= n || MonotonicNs() >= until)
            return waiting;
        pollfd fd{master_, POLLIN, 0};
        // Readable already: the rest of a write may still be on its way.
        if (::poll(&fd, 1, 1) > 0)
            ::usleep(500);
    }
}

termios PtyResponder::portTermios() const {
    termios t{};
    if (slaveHold_ >= 0)
        tcgetattr(slaveHold_, &t);
    return t;
}

void PtyResponder::onReadable() {
    const qint64 at = MonotonicNs();
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        pending_.append(buf, n);
    }
    while (pending_.size() >= 8) {
        const QByteArray frame = pending_.left(8);
        pending_.remove(0, 8);
        requests_.append(frame);
        requestTimes_.append(at);
        if (!script_)
            continue;
        for (const Piece& piece : script_(frame)) {
            if (piece.afterMs <= 0)
                write(piece.bytes);
            else
                QTimer::singleShot(piece.afterMs, Qt::PreciseTimer, this,
                                   [this, bytes = piece.bytes] { write(bytes); });
        }
    }
}

QByteArray PtyResponder::withCrc(const QByteArray& body) {
    return SimProtocol::withCrc(body);
}
