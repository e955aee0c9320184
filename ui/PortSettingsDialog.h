#pragma once

#include <QDialog>
#include <QSerialPort>
#include <memory>

namespace Ui {
class PortSettingsDialog;
}

// Line settings of the PC's serial port, opened by the "..." button beside the port list.
class PortSettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit PortSettingsDialog(QWidget* parent = nullptr);
    ~PortSettingsDialog() override;

    void setSettings(qint32 baud, QSerialPort::DataBits dataBits, QSerialPort::Parity parity,
                     QSerialPort::StopBits stopBits);

    // 0 while the typed rate is not a positive number; the dialog cannot be confirmed then.
    qint32 baudRate() const;
    QSerialPort::DataBits dataBits() const;
    QSerialPort::Parity parity() const;
    QSerialPort::StopBits stopBits() const;

public slots:
    void accept() override;

private:
    void updateOkButton();

    std::unique_ptr<Ui::PortSettingsDialog> ui;
};
