#include "PortSettingsDialog.h"

#include "ui_PortSettingsDialog.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

namespace {

struct Choice {
    const char* text;
    int value;
};

const char* const StandardBauds[] = {"1200",  "2400",  "4800",  "9600",
                                     "19200", "38400", "57600", "115200"};

const Choice DataBitsChoices[] = {
    {"5", QSerialPort::Data5},
    {"6", QSerialPort::Data6},
    {"7", QSerialPort::Data7},
    {"8", QSerialPort::Data8},
};

// The same names as the status bar shows for the port, so the user finds his choice there.
const Choice ParityChoices[] = {
    {"None", QSerialPort::NoParity},     {"Odd", QSerialPort::OddParity},
    {"Even", QSerialPort::EvenParity},   {"Mark", QSerialPort::MarkParity},
    {"Space", QSerialPort::SpaceParity},
};

const Choice StopBitsChoices[] = {
    {"1", QSerialPort::OneStop},
    {"1.5", QSerialPort::OneAndHalfStop},
    {"2", QSerialPort::TwoStop},
};

template <std::size_t N> void fill(QComboBox* box, const Choice (&choices)[N]) {
    for (const Choice& choice : choices)
        box->addItem(QString::fromLatin1(choice.text), choice.value);
}

// A value the list does not offer leaves the previous choice, so the getters never
// return something that is not a real setting.
void select(QComboBox* box, int value) {
    const int index = box->findData(value);
    if (index >= 0)
        box->setCurrentIndex(index);
}

// Parsed from the text rather than the validator's verdict: the validator lets
// intermediate texts such as "" or "0" stand while the user is typing.
qint32 parseBaud(const QString& text) {
    bool ok = false;
    const int baud = text.toInt(&ok);
    return ok && baud > 0 ? baud : 0;
}

} // namespace

PortSettingsDialog::PortSettingsDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::PortSettingsDialog>()) {
    ui->setupUi(this);
    for (const char* baud : StandardBauds)
        ui->BoxBaud->addItem(QString::fromLatin1(baud));
    ui->BoxBaud->setValidator(
        new QIntValidator(1, std::numeric_limits<qint32>::max(), ui->BoxBaud));
    fill(ui->BoxDataBits, DataBitsChoices);
    fill(ui->BoxParity, ParityChoices);
    fill(ui->BoxStopBits, StopBitsChoices);
    // No Qt translations are loaded, and the rest of the program speaks Russian.
    ui->ButtonBox->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("Отмена"));
    connect(ui->BoxBaud, &QComboBox::editTextChanged, this, &PortSettingsDialog::updateOkButton);
    updateOkButton();
}

PortSettingsDialog::~PortSettingsDialog() = default;

void PortSettingsDialog::setSettings(qint32 baud, QSerialPort::DataBits dataBits,
                                     QSerialPort::Parity parity, QSerialPort::StopBits stopBits) {
    const QString text = QString::number(baud);
    const int index = ui->BoxBaud->findText(text);
    if (index >= 0)
        ui->BoxBaud->setCurrentIndex(index);
    else
        ui->BoxBaud->setEditText(text);
    select(ui->BoxDataBits, dataBits);
    select(ui->BoxParity, parity);
    select(ui->BoxStopBits, stopBits);
}

qint32 PortSettingsDialog::baudRate() const {
    return parseBaud(ui->BoxBaud->currentText());
}

QSerialPort::DataBits PortSettingsDialog::dataBits() const {
    return static_cast<QSerialPort::DataBits>(ui->BoxDataBits->currentData().toInt());
}

QSerialPort::Parity PortSettingsDialog::parity() const {
    return static_cast<QSerialPort::Parity>(ui->BoxParity->currentData().toInt());
}

QSerialPort::StopBits PortSettingsDialog::stopBits() const {
    return static_cast<QSerialPort::StopBits>(ui->BoxStopBits->currentData().toInt());
}

// The greyed OK button is what the user sees; this keeps every other way of confirming
// (a default button, a caller) from taking a rate that is not a number.
void PortSettingsDialog::accept() {
    if (baudRate() > 0)
        QDialog::accept();
}

void PortSettingsDialog::updateOkButton() {
    ui->ButtonBox->button(QDialogButtonBox::Ok)->setEnabled(baudRate() > 0);
}
