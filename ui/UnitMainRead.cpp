// The reading cycle, the one-shot reads after writes, the delay service and
// the progress mark.
#include "UnitMain.h"

#include "ui_UnitMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {
// The master ends every request with a reply or a time-out; this only keeps
// a hung driver from hanging the window with it.
constexpr int kWaitLimitMs = 10000;
} // namespace

void TFormMain::SetupReading() {
    connect(&TimerRead, &QTimer::timeout, this, [this] {
        if (!ServiceRunning)
            Guard([this] { TimerReadTimer(); });
    });
    connect(&TimerReadOnes, &QTimer::timeout, this, [this] {
        if (!ServiceRunning)
            Guard([this] { TimerReadOnesTimer(); });
    });
    connect(&Timer5sec, &QTimer::timeout, this, [this] { Guard([this] { Timer5secTimer(); }); });
    connect(&TimerProgress, &QTimer::timeout, this, [this] { TimerProgressTimer(); });
}

bool TFormMain::DetectorSelected() const {
    return SelNode && SelNode->parent();
}

bool TFormMain::PanelShowsSelected() {
    if (DetectorSelected() && PanelAddress == SelectedAddress())
        return true;
    // Selecting a detector does not read it: the panel may still hold another
    // detector's values, or none, and they must never go into this one.
    prompts->message(QStringLiteral("Панель не показывает значения выбранного прибора. "
                                    "Прочитайте его («Читать») и повторите."));
    return false;
}

void TFormMain::SetWriteCommandsEnabled(bool enabled) {
    ui->ActWriteOpt->setEnabled(enabled);
    ui->SpBtSetOptions->setEnabled(enabled);
    ui->ActWriteAddr->setEnabled(enabled);
    ui->SpBtSetAddr->setEnabled(enabled);
}

void TFormMain::ActRenewExecute() {
    if (Searching)
        return;
    if (!DetectorSelected()) {
        // A cycle left without a detector ends here, so that the warning
        // comes once and not at every tick.
        if (TimerRead.isActive())
            Execute(ui->ActReadStop);
        prompts->warning(QStringLiteral("Укажите прибор!"));
        return;
    }
    if (!LineReady())
        return;
    ui->DevPanelCaption->setText(SelNode->text(0));
    Modbus->ReadBlock(SelectedAddress());
    Reading = true;
    BindButton(ui->BtRead, ui->ActReadStop);
    if (!TimerRead.isActive())
        TimerRead.start();
    SetStatusText(3, QStringLiteral("Автоматическое чтение"));
    SetWriteCommandsEnabled(false);
}

void TFormMain::TimerReadTimer() {
    if (Searching) {
        Execute(ui->ActReadStop);
        return;
    }
    if (CmdPending || ReplyMessagesOpen > 0)
        return;
    Execute(ui->ActRenew);
}

void TFormMain::WaitWhileReading() {
    const QDeadlineTimer limit(kWaitLimitMs);
    while (Reading && !closed && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TFormMain::ActReadStopExecute() {
    TimerRead.stop();
    BindButton(ui->BtRead, ui->ActRenew);
    WaitWhileReading();
    Reading = false;
    SetWriteCommandsEnabled(true);
    ui->ActReadLog->setEnabled(true);
    ui->ActDelLog->setEnabled(true);
    SetStatusText(3, QString());
}

void TFormMain::TimerReadOnesTimer() {
    TimerReadOnes.stop();
    if (!DetectorSelected() || !LineReady())
        return;
    ui->DevPanelCaption->setText(SelNode->text(0));
    Modbus->ReadBlock(SelectedAddress());
}

void TFormMain::Timer5secTimer() {
    Timer5sec.stop();
    if (Timer5sec.interval() > 10000 && DetectorSelected() && LineReady())
        Modbus->ReadBlock(SelectedAddress());
}

void TFormMain::Delay(int ms) {
    Timer5sec.setInterval(ms);
    Timer5sec.start();
    // The timer's tick ends the wait; the limit only keeps a stalled event
    // loop from holding the caller, and a closing window ends it at once.
    const QDeadlineTimer limit(ms + kWaitLimitMs);
    while (Timer5sec.isActive() && !closed && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TFormMain::TimerProgressTimer() {
    ProgressText += QLatin1Char('#');
    SetStatusText(3, ProgressText);
}
