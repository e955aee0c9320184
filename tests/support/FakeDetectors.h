#pragma once

#include "PtyResponder.h"

#include <QList>
#include <QMap>
#include <cstdint>
#include <memory>

// Detectors behind a pseudo-terminal, as far as the commands need them: each
// answers the scan's probe and the block read with its registers and echoes
// every write, unless a write is to meet silence or an exception reply. The
// frames are real; the detectors keep no rules beyond the setup-mode word.
class FakeDetectors {
public:
    using Regs = QMap<int, int>;
    struct Write {
        int address;
        int reg;
        int value;
        bool operator==(const Write& o) const {
            return address == o.address && reg == o.reg && value == o.value;
        }
    };
    enum class Fault { Silent, Exception };

    FakeDetectors();
    PtyResponder& pty() { return *pty_; }
    QString portPath() const { return pty_->slavePath(); }

    void add(int address, uint32_t serial, const Regs& regs);
    Regs& regs(int address) { return detectors_[address].regs; }

    // How long a block read waits for its reply.
    int readDelayMs = 0;
    // The write with this index (from 0, over the whole line) meets the fault
    // instead of its echo.
    QMap<int, Fault> writeFaults;
    int exceptionCode = 4;

    QList<Write> writes() const;
    int blockReads() const;

    // The reply to a block read of registers 0..18.
    static QByteArray blockReply(int address, const Regs& regs);

private:
    struct Detector {
        uint32_t serial = 0;
        Regs regs;
    };
    QList<PtyResponder::Piece> answer(const QByteArray& request);

    std::unique_ptr<PtyResponder> pty_;
    QMap<int, Detector> detectors_;
    int writesSeen_ = 0;
};
