#include "PtyResponder.h"

#include "SimProtocol.h"

#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
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

void PtyResponder::onReadable() {
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
        const QByteArray answer = script_ ? script_(frame) : QByteArray();
        if (!answer.isEmpty() && ::write(master_, answer.constData(), size_t(answer.size())) < 0)
            qWarning("responder write failed");
    }
}

QByteArray PtyResponder::withCrc(const QByteArray& body) {
    return SimProtocol::withCrc(body);
}
