#pragma once

#include <QSerialPort>
#include <QString>

// What went wrong with the port, in the words a service engineer reads: the
// program speaks Russian, the system and Qt do not. The common cases get a
// sentence of their own (with the remedy where there is one); the rest keep
// the system's text after a Russian lead.
//
// accessible: whether this user may open the device at all. The system says
// "permission" both for a device the user has no right to and for one that
// another program holds; only the first one is mended by the dialout group.
QString PortErrorText(QSerialPort::SerialPortError error, const QString& port,
                      const QString& systemText, bool accessible);

// The same for the port at path (a name under /dev or a full path) that
// failed just now, asking the file system whether the device is accessible.
QString PortErrorText(const QString& path, QSerialPort::SerialPortError error,
                      const QString& systemText);

// The port that was wanted is not open (closed after a failure, or never opened).
QString PortNotOpenText(const QString& port);
