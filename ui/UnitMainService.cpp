// The detector's ASCII service mode: reading and erasing its event log, and
// the exchange that takes the line off the Modbus master for that.
#include "UnitMain.h"

#include "GasCatalogue.h"
#include "LogDecoder.h"
#include "RegisterMap.h"
#include "SerialLine.h"
#include "ServiceCommands.h"
#include "UnitLog.h"
#include "ui_UnitMain.h"

#include <QScopeGuard>

using namespace kpx;

void TFormMain::SetLogWindow(TFormLog* form) {
    LogWindow = form;
}

void TFormMain::ActReadLogExecute() {
    RequestLogService(false);
}

void TFormMain::ActDelLogExecute() {
    RequestLogService(true);
}

void TFormMain::RequestLogService(bool erase) {
    // A second switch while one is in flight would leave two exchanges
    // waiting on one echo.
    if (Searching || Writing || CmdPending || !DetectorSelected())
        return;
    WaitWhileReading();
    // Events ran meanwhile: the window may have closed, a scan begun.
    if (closed || Searching || Writing || CmdPending || !DetectorSelected())
        return;
    ReadTimerWas = TimerRead.isActive();
    TimerRead.stop();
    if (!LineReady()) {
        ResumeReading(ReadTimerWas);
        return;
    }
    CmdNode = SelNode;
    LogReading = !erase;
    LogErasing = erase;
    CmdPending = true;
    ReplyGot = false;
    try {
        Modbus->WriteRegister(SelectedAddress(), Reg::ServiceMode, Command::EnterServiceMode);
    } catch (...) {
        CmdPending = LogReading = LogErasing = false;
        ResumeReading(ReadTimerWas);
        throw;
    }
    ProgressText =
        erase ? QStringLiteral("Удаление лога событий  ") : QStringLiteral("Чтение лога событий  ");
    TimerProgress.start();
}

void TFormMain::ServiceMessage(const QString& text) {
    // A closed window has nobody left to read it.
    if (!closed)
        ShowMessage(text);
}

void TFormMain::TimerWriteTimer() {
    TimerWrite.stop();
    SerialLine* line = Modbus->Line();
    SavedLine = line->Settings();
    SavedProcessor = line->Processor();
    ServiceAddr = CmdNode ? quint8(CmdNode->data(0, Qt::UserRole).toInt()) : 0;
    const QString nodeText = CmdNode ? CmdNode->text(0) : QString();

    ServiceRunning = true;
    Modbus->SetActive(false);
    LineSettings service = SavedLine;
    service.baudRate = 9600;
    service.parity = QSerialPort::NoParity;
    service.stopBits = QSerialPort::OneStop;
    line->SetSettings(service);
    line->Detach();

    // The line goes back to the master whatever happens in between, and only
    // after the user has closed the messages: the detector may still be
    // talking its service mode until then.
    const auto restore = qScopeGuard([this, line] {
        CmdPending = LogReading = LogErasing = false;
        LineSettings back = line->Settings();
        back.baudRate = SavedLine.baudRate;
        back.stopBits = SavedLine.stopBits;
        back.parity = SavedLine.parity;
        line->SetSettings(back);
        if (SavedProcessor)
            line->Attach(SavedProcessor);
        Modbus->SetActive(true);
        ServiceRunning = false;
        ResumeReading(ReadTimerWas);
    });

    const bool reading = LogReading;
    const bool erasing = !reading && LogErasing;
    bool done = false;
    if (reading)
        done = ServiceReadLog();
    else if (erasing)
        done = ServiceEraseLog();
    else
        done = ServiceToxicZero();

    if (!done) {
        ServiceMessage(QStringLiteral("Ошибка: Необходим перезапуск прибора и KPX Tool!"));
    } else if (reading) {
        if (LogWindow && !closed)
            LogWindow->ShowRawLog(nodeText, RawLog);
    } else if (erasing) {
        ServiceMessage(QStringLiteral("Лог событий очищен."));
    } else {
        ServiceMessage(QStringLiteral("Установка 0 произведена"));
    }
    if (reading || erasing) {
        TimerProgress.stop();
        SetStatusText(3, QString());
    }
}

bool TFormMain::BackToModbus(const QString& failure) {
    SerialLine* line = Modbus->Line();
    line->SendString(BackToModbusRequest());
    if (!line->WaitForBytes(ModbusAckBytes, ModbusAckWaitMs)) {
        ServiceMessage(failure);
        return false;
    }
    LogAppend(QStringLiteral("> MODBUS"));
    ServiceBuf = line->ReadAll().left(ServiceBufSize);
    return true;
}

bool TFormMain::ServiceReadLog() {
    SerialLine* line = Modbus->Line();
    RawLog.resize(RawLogSize);
    line->ClearDeviceBuffers();
    for (int n = 0; n < LogBlockCount; ++n) {
        LogAppend(QStringLiteral("> Чтение блока №") + QString::number(n));
        line->SendString(ReadLogRequest(ServiceAddr, n));
        if (!line->WaitForBytes(LogBlockSize, LogBlockWaitMs)) {
            ServiceMessage(QStringLiteral("Чтение лога. Ошибка №") + QString::number(n + 2) +
                           QStringLiteral("!"));
            return false;
        }
        // Anything past the block is the detector's business, not the log's.
        RawLog.replace(n * LogBlockSize, LogBlockSize, line->ReadAll().left(LogBlockSize));
    }
    return BackToModbus(QStringLiteral("Чтение лога. Ошибка №5!"));
}

bool TFormMain::ServiceEraseLog() {
    SerialLine* line = Modbus->Line();
    line->ClearDeviceBuffers();
    LogAppend(QStringLiteral("> Удаление"));
    line->SendString(EraseLogRequest(ServiceAddr));
    if (!line->WaitForBytes(EraseAckBytes, EraseWaitMs)) {
        ServiceMessage(QStringLiteral("Удаление лога. Ошибка №4!"));
        return false;
    }
    ServiceBuf = line->ReadAll().left(ServiceBufSize);
    return BackToModbus(QStringLiteral("Удаление лога. Ошибка №5!"));
}

bool TFormMain::ServiceToxicZero() {
    SerialLine* line = Modbus->Line();
    line->ClearDeviceBuffers();
    line->SendString(ReadToxicRequest());
    if (!line->WaitForBytes(ToxicReplyBytes, ToxicWaitMs)) {
        ServiceMessage(QStringLiteral("Установка 0. Ошибка №2!"));
        return false;
    }
    ServiceBuf = line->ReadAll().left(ServiceBufSize);
    const char* reply = ServiceBuf.constData();
    const bool blockRead =
        ServiceBuf.size() >= ToxicReplyBytes &&
        ParamChecksum(reply + 5) == quint16(uchar(reply[77]) << 8 | uchar(reply[78]));
    if (blockRead)
        ToxicParams = ToxicBlockFromWire(reply + 5);

    line->SendString(ReadConcRequest());
    if (!line->WaitForBytes(ConcReplyBytes, ToxicWaitMs)) {
        ServiceMessage(QStringLiteral("Установка 0. Ошибка №3!"));
        return false;
    }
    ServiceBuf = line->ReadAll().left(ServiceBufSize);
    int conc = 0;
    const bool concRead = ConcFromReply(ServiceBuf, &conc);
    const TDevice* device = Devices[ServiceAddr].get();
    if (!blockRead || !concRead || !device) {
        // A block that did not arrive whole, or a reading that is no number,
        // is never written: the sensor would get a zero nobody asked for.
        if (BackToModbus(QStringLiteral("Установка 0. Ошибка №5!")))
            ServiceMessage(blockRead ? QStringLiteral("Установка 0. Ошибка №3!")
                                     : QStringLiteral("Установка 0. Ошибка №2!"));
        return false;
    }
    const int digits = GasRow(GasTable, device->Registers[Reg::Gas]).Digits;
    ToxicParams.floats[ToxicZeroOffset] = ZeroOffsetFor(conc, digits);
    ServiceBuf = WriteToxicFrame(ServiceAddr, ToxicParams);
    ToxicChecksum = quint16(uchar(ServiceBuf[82]) << 8 | uchar(ServiceBuf[83]));
    line->SendData(ServiceBuf.constData(), int(ServiceBuf.size()));
    if (!line->WaitForBytes(WriteToxicAckBytes, ToxicWaitMs)) {
        ServiceMessage(QStringLiteral("Установка 0. Ошибка №4!"));
        return false;
    }
    ServiceBuf = line->ReadAll().left(ServiceBufSize);
    return BackToModbus(QStringLiteral("Установка 0. Ошибка №5!"));
}
