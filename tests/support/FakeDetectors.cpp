#include "FakeDetectors.h"

namespace {

constexpr int RegisterCount = 19;
constexpr int StatusRegister = 4;

int word(const QByteArray& frame, int at) {
    return quint8(frame[at]) << 8 | quint8(frame[at + 1]);
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (const int v : values)
        b += char(v);
    return b;
}

} // namespace

FakeDetectors::FakeDetectors() : pty_(std::make_unique<PtyResponder>()) {
    pty_->setTimedScript([this](const QByteArray& request) { return answer(request); });
}

void FakeDetectors::add(int address, uint32_t serial, const Regs& regs) {
    detectors_[address] = Detector{serial, regs};
}

QByteArray FakeDetectors::blockReply(int address, const Regs& regs) {
    QByteArray body = bytes({address, 3, 2 * RegisterCount});
    for (int r = 0; r < RegisterCount; ++r) {
        const int v = regs.value(r);
        body += bytes({v >> 8 & 0xFF, v & 0xFF});
    }
    return PtyResponder::withCrc(body);
}

QList<PtyResponder::Piece> FakeDetectors::answer(const QByteArray& request) {
    const int address = quint8(request[0]);
    const int function = quint8(request[1]);
    const int start = word(request, 2);
    const int countOrValue = word(request, 4);
    if (function == 6) {
        const int index = writesSeen_++;
        if (!detectors_.contains(address))
            return {};
        if (writeFaults.contains(index)) {
            if (writeFaults[index] == Fault::Silent)
                return {};
            return {{0, PtyResponder::withCrc(bytes({address, 0x86, exceptionCode}))}};
        }
        if (start == StatusRegister)
            detectors_[address].regs[StatusRegister] = countOrValue;
        return {{0, request}};
    }
    if (function != 3 || !detectors_.contains(address))
        return {};
    const Detector& d = detectors_[address];
    if (start == 1 && countOrValue == 2) {
        const uint32_t s = d.serial;
        return {{0, PtyResponder::withCrc(bytes({address, 3, 4, int(s >> 24), int(s >> 16 & 0xFF),
                                                 int(s >> 8 & 0xFF), int(s & 0xFF)}))}};
    }
    if (start == 0 && countOrValue == RegisterCount)
        return {{readDelayMs, blockReply(address, d.regs)}};
    return {};
}

QList<FakeDetectors::Write> FakeDetectors::writes() const {
    QList<Write> list;
    for (const QByteArray& r : pty_->requests()) {
        if (quint8(r[1]) == 6)
            list << Write{quint8(r[0]), word(r, 2), word(r, 4)};
    }
    return list;
}

int FakeDetectors::blockReads() const {
    int n = 0;
    for (const QByteArray& r : pty_->requests()) {
        if (quint8(r[1]) == 3 && word(r, 2) == 0)
            ++n;
    }
    return n;
}
