#pragma once

#include "SimTypes.h"

#include <QObject>

class QSocketNotifier;
class QTimer;
class QSerialPort;

// The simulator's end of the line to the tool: a pseudo-terminal or a real serial port.
class SimLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The device the tool opens.
    virtual QString path() const = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Announces bytes that have arrived but not been announced yet.
    virtual void pump() = 0;
    // A real port listens at one setting at a time; the bus tells it which.
    virtual void follow(const SimLine& line) { Q_UNUSED(line) }

signals:
    // seen: the line settings the bytes arrived at, as far as this end can tell.
    void received(const QByteArray& bytes, const SimLine& seen, bool parityVisible);
    void failed(const QString& message);
};

// A pseudo-terminal. The slave end stays open here too: the tool may close and reopen
// its port without the master seeing EIO, and the settings the tool puts on its end
// can be read back. Linux keeps the baud rate and the stop bits there but drops the
// parity-enable flag, so the parity is not visible.
//
// Holding the slave open also keeps the terminal's exclusive flag (TIOCEXCL, which
// QSerialPort sets) alive when a tool dies without closing its port; the flag is
// cleared every half second so that a restarted tool can open the port again.
class SimPtyLink : public SimLink {
    Q_OBJECT
public:
    static SimPtyLink* open(QObject* parent, QString* error);
    ~SimPtyLink() override;

    QString path() const override { return m_path; }
    void write(const QByteArray& bytes) override;
    void pump() override;
    SimLine portLine() const;

private:
    SimPtyLink(int master, int slave, const QString& path, QObject* parent);
    void flush();

    int m_master;
    int m_slave;
    QString m_path;
    QSocketNotifier* m_readNotifier;
    QSocketNotifier* m_writeNotifier;
    QTimer* m_shareTimer;
    QByteArray m_out;
};

// A real serial port (a USB-RS-485 adapter, say) that plays a bus of detectors for a tool
// on another PC. Its settings follow the detectors, see SimBus.
class SimSerialLink : public SimLink {
    Q_OBJECT
public:
    static SimSerialLink* open(const QString& name, const SimLine& line, QObject* parent,
                               QString* error);

    QString path() const override;
    void write(const QByteArray& bytes) override;
    void pump() override;
    void follow(const SimLine& line) override;

private:
    SimSerialLink(QSerialPort* port, const SimLine& line, QObject* parent);
    void apply(const SimLine& line);

    QSerialPort* m_port;
    SimLine m_line;
};
