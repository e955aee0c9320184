// Port selection: the port box, the settings dialog and status panel 0.
#include "UnitMain.h"

#include "PortSettingsDialog.h"
#include "ui_UnitMain.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QSerialPortInfo>

void TFormMain::SetupPortBox() {
    ui->ComBox->setInsertPolicy(QComboBox::NoInsert);
    RefreshPortList();
    // Adapters come and go under /dev; the watcher costs nothing while idle.
    portWatcher = new QFileSystemWatcher(this);
    for (const QString& dir : {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")}) {
        if (QDir(dir).exists())
            portWatcher->addPath(dir);
    }
    connect(portWatcher, &QFileSystemWatcher::directoryChanged, this, &TFormMain::RefreshPortList);

    connect(ui->ComBox, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { ComBoxChange(ui->ComBox->itemText(index)); });
    // A typed device path (a by-id link, a pseudo-terminal) is taken on Enter.
    connect(ui->ComBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ComBoxChange(ui->ComBox->currentText()); });
    connect(ui->bCfg, &QAbstractButton::clicked, this, [this] { Guard([this] { bCfgClick(); }); });

    // There is no COM1 here: the current port starts as the first one present.
    if (ui->ComBox->count() > 0)
        Modbus->SetPortName(PortNameFromBoxText(ui->ComBox->itemText(0)));
}

void TFormMain::RefreshPortList() {
    const QString current = Modbus->PortName();
    QStringList texts;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        texts << PortBoxText(info.portName(), info.description());
    QStringList shown;
    for (int i = 0; i < ui->ComBox->count(); ++i)
        shown << ui->ComBox->itemText(i);
    if (texts == shown)
        return;

    const QString edited = ui->ComBox->currentText();
    QSignalBlocker block(ui->ComBox);
    ui->ComBox->clear();
    ui->ComBox->addItems(texts);
    int match = -1;
    for (int i = 0; i < texts.size(); ++i) {
        const QString name = PortNameFromBoxText(texts[i]);
        if (!current.isEmpty() && (name == current || QSerialPortInfo(current).portName() == name))
            match = i;
    }
    ui->ComBox->setCurrentIndex(match);
    // A typed path that is not in the list stays as it was.
    if (match < 0)
        ui->ComBox->setEditText(edited);
}

QString TFormMain::PortBoxCurrentText() const {
    return ui->ComBox->currentText();
}

void TFormMain::WriteStatus0() {
    SetStatusText(0, PortStatusText(PortBoxCurrentText(), Modbus->lineSettings()));
}

void TFormMain::ComBoxChange(const QString& text) {
    const QString name = PortNameFromBoxText(text);
    if (name.isEmpty())
        return;
    try {
        Modbus->SetPortName(name);
        // An adapter plugged back in: picking its port again is how an
        // engineer asks for the line back.
        if (LineDown && !Modbus->IsOpen())
            OpenLine();
    } catch (const HandlerError& e) {
        // Status panel 0 keeps the old text; the port stays closed.
        LineLost(e.text());
        return;
    }
    WriteStatus0();
}

void TFormMain::OpenLine() {
    Modbus->Open();
    LineDown = false;
}

bool TFormMain::LineReady() {
    if (Modbus->IsOpen())
        return true;
    try {
        OpenLine();
    } catch (const HandlerError& e) {
        LineLost(e.text());
        return false;
    }
    return true;
}

void TFormMain::LineLost(const QString& text) {
    TimerFind.stop();
    TimerReadOnes.stop();
    if (Searching)
        Execute(ui->ActStop);
    if (ui->BtRead->defaultAction() == ui->ActReadStop) {
        // Nothing can answer on a closed line: no wait for the last read.
        Reading = false;
        Execute(ui->ActReadStop);
    }
    TimerRead.stop();
    // The old-firmware 20 mA trim would otherwise keep the writes refused
    // and its button greyed for good.
    if (CurrWriting)
        EndTrim20Sequence();
    prompts->error(text);
}

void TFormMain::PreselectPort(const QString& name) {
    RefreshPortList();
    const int index = ui->ComBox->findText(name, Qt::MatchStartsWith);
    if (index >= 0 && PortNameFromBoxText(ui->ComBox->itemText(index)) == name)
        ui->ComBox->setCurrentIndex(index);
    else
        ui->ComBox->setEditText(name);
    ComBoxChange(ui->ComBox->currentText());
}

void TFormMain::bCfgClick() {
    PortSettingsDialog dlg(this);
    const LineSettings s = Modbus->lineSettings();
    dlg.setSettings(s.baudRate, s.dataBits, s.parity, s.stopBits);
    if (prompts->runDialog(dlg)) {
        const LineSettings chosen{dlg.baudRate(), dlg.dataBits(), dlg.parity(), dlg.stopBits()};
        try {
            Modbus->SetLineSettings(chosen);
        } catch (const HandlerError& e) {
            WriteStatus0();
            if (Modbus->IsOpen())
                throw;
            LineLost(e.text());
            return;
        }
    }
    WriteStatus0();
}
