#include "SerialLine.h"

#include "MonotonicClock.h"
#include "PortErrors.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>

namespace {
constexpr qint64 kDefaultInputBuffer = 4096;
constexpr qint64 kDefaultOutputBuffer = 4096;
// How often a wait looks at the input queue when no read notification wakes it.
constexpr int kWaitPollMs = 5;
} // namespace

SerialLine::SerialLine(QObject* parent)
    : QObject(parent), port_(new QSerialPort(this)), outputLimit_(kDefaultOutputBuffer) {
    port_->setReadBufferSize(kDefaultInputBuffer);
    connect(port_, &QSerialPort::readyRead, this, &SerialLine::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialLine::~SerialLine() {
    // The processor outlives the line only when the line goes first; tell it.
    if (processor_) {
        DataProcessor* p = processor_;
        processor_ = nullptr;
        p->LineDetached();
    }
    port_->disconnect(this);
    port_->close();
}

void SerialLine::SetPortName(const QString& name) {
    name_ = name;
}

LineSettings SerialLine::PortSettings() const {
    return LineSettings{port_->baudRate(), port_->dataBits(), port_->parity(), port_->stopBits()};
}

bool SerialLine::applyToOpenPort(const LineSettings& s) {
    // Each setter is tried: the ones that stick stay applied either way.
    bool ok = port_->setBaudRate(s.baudRate);
    ok = port_->setDataBits(s.dataBits) && ok;
    ok = port_->setParity(s.parity) && ok;
    ok = port_->setStopBits(s.stopBits) && ok;
    ok = port_->setFlowControl(QSerialPort::NoFlowControl) && ok;
    return ok;
}

bool SerialLine::SetSettings(const LineSettings& settings, QString* error) {
    settings_ = settings;
    if (!port_->isOpen() || applyToOpenPort(settings))
        return true;
    // The driver takes at open what it refuses on an open port.
    Close();
    return Open(error);
}

void SerialLine::SetBufferSizes(qint64 input, qint64 output) {
    port_->setReadBufferSize(input);
    outputLimit_ = output;
}

bool SerialLine::Open(QString* error) {
    if (port_->isOpen())
        return true;
    port_->setPortName(name_);
    port_->setBaudRate(settings_.baudRate);
    port_->setDataBits(settings_.dataBits);
    port_->setParity(settings_.parity);
    port_->setStopBits(settings_.stopBits);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error)
            *error = PortErrorText(name_, port_->error(), port_->errorString());
        return false;
    }
    lost_ = false;
    emit Opened();
    return true;
}

void SerialLine::Close() {
    if (port_->isOpen())
        closePort();
}

void SerialLine::closePort() {
    port_->close();
    if (processor_)
        processor_->LineClosed();
    emit Closed();
}

bool SerialLine::IsOpen() const {
    return port_->isOpen();
}

void SerialLine::Attach(DataProcessor* processor) {
    if (processor == processor_)
        return;
    Detach();
    processor_ = processor;
    if (!processor_)
        return;
    processor_->LineAttached(*this);
    // Bytes that came while nobody listened raise no new notification.
    if (port_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &SerialLine::onReadyRead, Qt::QueuedConnection);
}

void SerialLine::Detach() {
    if (!processor_)
        return;
    DataProcessor* p = processor_;
    processor_ = nullptr;
    p->LineDetached();
}

bool SerialLine::SendData(const char* data, int size) {
    if (!port_->isOpen() || size < 0 || port_->bytesToWrite() + size > outputLimit_)
        return false;
    if (port_->write(data, size) != size)
        return false;
    // QSerialPort would write on its next turn of the event loop; the line's timing
    // counts from now.
    port_->flush();
    return true;
}

bool SerialLine::SendString(const QByteArray& text) {
    return SendData(text.constData(), int(text.size()));
}

void SerialLine::DiscardInput() {
    if (port_->isOpen())
        port_->clear(QSerialPort::Input);
}

void SerialLine::ClearDeviceBuffers() {
    if (port_->isOpen())
        port_->clear(QSerialPort::AllDirections);
}

bool SerialLine::WaitForBytes(int n, int ms) {
    const quint64 generation = waitGeneration_;
    const QPointer<SerialLine> self(this);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (!self || generation != waitGeneration_ || !port_->isOpen())
            return false;
        if (port_->bytesAvailable() >= n)
            return true;
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        // A nested loop keeps the window alive; it wakes on new bytes, on an abort
        // or close, and at least every few ms to look again.
        QEventLoop loop;
        QTimer::singleShot(int(std::min<qint64>(left, kWaitPollMs)), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        connect(port_, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
        connect(this, &SerialLine::Closed, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void SerialLine::AbortWaits() {
    ++waitGeneration_;
}

QByteArray SerialLine::ReadAll() {
    if (!port_->isOpen())
        return {};
    // Bytes the driver holds that the event loop has not fetched yet count as well.
    const qint64 limit = port_->readBufferSize();
    while ((limit == 0 || port_->bytesAvailable() < limit) && port_->waitForReadyRead(0)) {
    }
    return port_->readAll();
}

void SerialLine::onReadyRead() {
    if (!processor_ || !processor_->AcceptsBytes() || !port_->isOpen())
        return;
    const qint64 at = MonotonicNs();
    const QByteArray bytes = port_->readAll();
    if (!bytes.isEmpty())
        processor_->BytesArrived(bytes, at);
}

void SerialLine::onError(int error) {
    // A vanished device shows as a resource error, or on some drivers as read or write
    // errors that repeat for as long as the port stays open (a pseudo-terminal whose
    // other end closed is one).
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        break;
    default:
        return;
    }
    if (lost_ || !port_->isOpen())
        return;
    lost_ = true;
    // Whatever the driver called it, the device has gone away.
    const QString reason = PortErrorText(name_, QSerialPort::ResourceError, port_->errorString());
    // Not from inside QSerialPort's own notification, which still uses the port after
    // reporting.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (!port_->isOpen())
                return;
            closePort();
            emit Lost(reason);
        },
        Qt::QueuedConnection);
}
