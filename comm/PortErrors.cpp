#include "PortErrors.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

QString shown(const QString& port) {
    return port.isEmpty() ? QStringLiteral("(не выбран)") : port;
}

} // namespace

QString PortErrorText(QSerialPort::SerialPortError error, const QString& port,
                      const QString& systemText, bool accessible) {
    const QString name = shown(port);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("Порт %1 не найден. Проверьте, что адаптер подключён.").arg(name);
    case QSerialPort::PermissionError:
        if (accessible)
            return QStringLiteral("Порт %1 занят другой программой.").arg(name);
        return QStringLiteral("Нет доступа к порту %1. Пользователь должен входить в группу "
                              "dialout: sudo usermod -aG dialout $USER, затем выйти из системы "
                              "и войти снова.")
            .arg(name);
    case QSerialPort::OpenError:
        return QStringLiteral("Порт %1 уже открыт.").arg(name);
    case QSerialPort::ResourceError:
        return QStringLiteral("Связь с портом %1 потеряна: адаптер отключён.").arg(name);
    case QSerialPort::NotOpenError:
        return PortNotOpenText(port);
    default:
        break;
    }
    const QString lead = QStringLiteral("Ошибка порта %1").arg(name);
    return systemText.isEmpty() ? lead + QLatin1Char('.')
                                : lead + QStringLiteral(": ") + systemText;
}

QString PortErrorText(const QString& path, QSerialPort::SerialPortError error,
                      const QString& systemText) {
    // The device node's rights, not those of a by-id link to it.
    const QString device =
        QFileInfo(path.startsWith(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path)
            .canonicalFilePath();
    const bool accessible =
        !device.isEmpty() && ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
    return PortErrorText(error, path, systemText, accessible);
}

QString PortNotOpenText(const QString& port) {
    return QStringLiteral("Порт %1 не открыт.").arg(shown(port));
}
