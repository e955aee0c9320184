#pragma once

#include "PortSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class SerialLine;

// A protocol spoken over the line (the Modbus master; the detectors' ASCII service
// mode talks through the line's own methods instead). Its hooks run on the line's
// thread, from the event loop.
class DataProcessor {
public:
    virtual ~DataProcessor() = default;

    virtual void LineAttached(SerialLine& line) = 0;
    // Also called when the line itself is destroyed first.
    virtual void LineDetached() = 0;
    // The port closed: by request, or because it was lost. Nothing more will arrive.
    virtual void LineClosed() {}
    // False leaves arriving bytes in the port's input queue.
    virtual bool AcceptsBytes() const { return true; }
    // Bytes read from the port; at is MonotonicNs() when they were taken, which for
    // the last byte of a frame is as near as user space gets to its arrival.
    virtual void BytesArrived(const QByteArray& bytes, qint64 at) = 0;
};

// The PC's serial port and everything about it: name, line settings, buffers, errors.
// One protocol processor at a time may be attached; while none is, the service-mode
// methods below talk to the detector directly and received bytes wait in the port's
// input queue until read.
class SerialLine : public QObject {
    Q_OBJECT
public:
    explicit SerialLine(QObject* parent = nullptr);
    ~SerialLine() override;

    // Takes effect at the next Open().
    void SetPortName(const QString& name);
    QString PortName() const { return name_; }
    // Applied to an open port at once. A port that refuses a setting while open (a
    // pseudo-terminal keeps neither parity nor seven data bits) is reopened with it;
    // false and the system's reason when even that fails, the port then closed.
    bool SetSettings(const LineSettings& settings, QString* error = nullptr);
    LineSettings Settings() const { return settings_; }
    // What the port itself reports, which may differ from Settings() only while closed.
    LineSettings PortSettings() const;
    // Input: how much the port buffers before reading stops (0 no limit). Output: the
    // most that may wait to be written; a longer send is refused.
    void SetBufferSizes(qint64 input, qint64 output);

    // False and the system's reason when the port cannot be opened.
    bool Open(QString* error = nullptr);
    void Close();
    bool IsOpen() const;

    // The processor gets every byte that arrives from now on, bytes already waiting
    // included. Attaching another one detaches the first.
    void Attach(DataProcessor* processor);
    void Detach();
    DataProcessor* Processor() const { return processor_; }

    // Writes at once, as far as the driver takes the bytes. False when the port is
    // closed or the output buffer would overflow.
    bool SendData(const char* data, int size);
    bool SendString(const QByteArray& text);
    // Drops whatever was received and not yet taken.
    void DiscardInput();

    // Service mode, with no processor attached.
    // Drops pending input and output, in the driver too.
    void ClearDeviceBuffers();
    // True as soon as at least n bytes wait to be read; false once ms have passed, the
    // port has closed or AbortWaits() was called. The window keeps working meanwhile.
    bool WaitForBytes(int n, int ms);
    // Ends every WaitForBytes() under way with false (a closing window).
    void AbortWaits();
    // Everything received so far.
    QByteArray ReadAll();

signals:
    void Opened();
    void Closed();
    // The port failed under way (an adapter pulled out). It is closed already; the
    // signal comes once for each time the port was opened.
    void Lost(const QString& reason);

private:
    void onReadyRead();
    void onError(int error);
    void closePort();
    bool applyToOpenPort(const LineSettings& s);

    QSerialPort* port_;
    QString name_;
    LineSettings settings_;
    qint64 outputLimit_;
    DataProcessor* processor_ = nullptr;
    bool lost_ = false;
    quint64 waitGeneration_ = 0;
};
