#include "UnitMain.h"

#include "Cp1251.h"
#include "Device.h"
#include "SerialLine.h"
#include "ui_UnitMain.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

using namespace kpx;

namespace {
constexpr int kStatusWidths[4] = {300, 90, 90, 50};
// About a hundred register dumps; older lines stay in the saved log.
constexpr int kShownLogLines = 2000;
} // namespace

TFormMain::TFormMain(Prompts* prompts_, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TFormMain>()), prompts(prompts_) {
    ui->setupUi(this);
    if (!prompts) {
        ownPrompts = std::make_unique<WidgetPrompts>(this);
        prompts = ownPrompts.get();
    }
    Modbus = new ModbusExchange(*this, *this, this);

    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // Status bar: four panels, the last one taking the rest of the width.
    for (int i = 0; i < 4; ++i) {
        statusPanels[size_t(i)] = new QLabel(this);
        statusPanels[size_t(i)]->setObjectName(QStringLiteral("StatPanel%1").arg(i));
        if (i < 3)
            statusPanels[size_t(i)]->setFixedWidth(kStatusWidths[i]);
        ui->StatBar->addWidget(statusPanels[size_t(i)], i == 3 ? 1 : 0);
    }

    TimerRead.setInterval(2000);
    TimerReadOnes.setInterval(500);
    TimerReadOnes.setSingleShot(true);
    Timer5sec.setInterval(15000);
    Timer5sec.setSingleShot(true);
    TimerProgress.setInterval(200);
    TimerWrite.setInterval(500);
    TimerWrite.setSingleShot(true);
    for (QTimer* t :
         {&TimerFind, &TimerRead, &TimerReadOnes, &Timer5sec, &TimerProgress, &TimerWrite})
        t->setTimerType(Qt::PreciseTimer);

    BindButton(ui->BtFind, ui->ActFind);
    BindButton(ui->BtRead, ui->ActRenew);
    BindButton(ui->BtSave, ui->ActSaveToFile);
    BindButton(ui->BtHelp, ui->ActHelp);
    BindButton(ui->BtClbZero, ui->ActZero2);
    BindButton(ui->BtClbConc, ui->ActCalb);
    BindButton(ui->BtClbInit, ui->ActInit);
    // "Найти" shows its caption alone, without a hint, whichever action it
    // shows; the button copies the hint on every change, so it is never asked.
    // "Помощь" and "Уст 0" have no hint, where Qt would show their text.
    for (QToolButton* b : {ui->BtFind, ui->BtHelp, ui->BtClbZero})
        b->installEventFilter(this);

    const std::pair<QAction*, void (TFormMain::*)()> handlers[] = {
        {ui->ActFind, &TFormMain::ActFindExecute},
        {ui->ActStop, &TFormMain::ActStopExecute},
        {ui->ActRenew, &TFormMain::ActRenewExecute},
        {ui->ActReadStop, &TFormMain::ActReadStopExecute},
        {ui->ActSaveToFile, &TFormMain::ActSaveToFileExecute},
        {ui->ActHelp, &TFormMain::ActHelpExecute},
        {ui->ActReadLog, &TFormMain::ActReadLogExecute},
        {ui->ActDelLog, &TFormMain::ActDelLogExecute},
        {ui->ActWriteAddr, &TFormMain::ActWriteAddrExecute},
        {ui->ActWriteOpt, &TFormMain::ActWriteOptExecute},
        {ui->ActWriteCurr, &TFormMain::ActWriteCurrExecute},
        {ui->ActZero, &TFormMain::ActZeroExecute},
        {ui->ActZero2, &TFormMain::ActZero2Execute},
        {ui->ActCalb, &TFormMain::ActCalbExecute},
        {ui->ActInit, &TFormMain::ActInitExecute},
    };
    // While a service exchange has the line, whatever would send on it is
    // ignored: the master is off and would only raise an error box.
    const QList<QAction*> offLine = {ui->ActStop, ui->ActReadStop, ui->ActSaveToFile, ui->ActHelp};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this,
                [this, h = handler, sends = !offLine.contains(action)] {
                    if (sends && ServiceRunning)
                        return;
                    Guard([&] { (this->*h)(); });
                });
    connect(&TimerWrite, &QTimer::timeout, this, [this] { Guard([this] { TimerWriteTimer(); }); });
    // The three "Записать" buttons call their handlers directly, so their
    // enabled state is kept apart from the actions'.
    connect(ui->SpBtSetOptions, &QAbstractButton::clicked, this, [this] {
        if (!ServiceRunning)
            Guard([this] { ActWriteOptExecute(); });
    });
    connect(ui->SpBtSetAddr, &QAbstractButton::clicked, this, [this] {
        if (!ServiceRunning)
            Guard([this] { ActWriteAddrExecute(); });
    });
    connect(ui->SpBtSetCurr, &QAbstractButton::clicked, this, [this] {
        if (!ServiceRunning)
            Guard([this] { ActWriteCurrExecute(); });
    });

    MenuLog = new QMenu(this);
    MenuLog->setObjectName(QStringLiteral("MenuLog"));
    QAction* n1 = MenuLog->addAction(QStringLiteral("Читать лог событий"));
    n1->setObjectName(QStringLiteral("N1"));
    QAction* n2 = MenuLog->addAction(QStringLiteral("Стереть лог событий"));
    n2->setObjectName(QStringLiteral("N2"));
    // The items follow their actions' enabled state and run their handlers.
    for (auto [item, action] : {std::pair{n1, ui->ActReadLog}, std::pair{n2, ui->ActDelLog}}) {
        item->setEnabled(action->isEnabled());
        connect(action, &QAction::enabledChanged, item, &QAction::setEnabled);
        connect(item, &QAction::triggered, this, [this, a = action] { Execute(a); });
    }

    // Construction steps.
    ProgressText.clear();
    Modbus->SetActive(true);
    CmdPending = Writing = Searching = false;
    ui->DevPanel->setEnabled(false);
    // The window keeps its size when the panel is hidden after a removal.
    QSizePolicy keep = ui->DevPanel->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    ui->DevPanel->setSizePolicy(keep);
    ui->Log->setMaximumBlockCount(kShownLogLines);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    for (QAction* a : {ui->ActRenew, ui->ActZero, ui->ActZero2, ui->ActCalb, ui->ActInit,
                       ui->ActSaveToFile, ui->ActReadLog, ui->ActDelLog})
        a->setEnabled(false);
    RxCount = TxCount = 0;
    Updating = CurrWriting = false;

    SetupPortBox();
    SetupScan();
    SetupReading();
    SetupSettings();
    SetupCurrent();
    FormCreate();

    // Open centred on the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

TFormMain::~TFormMain() {
    if (!closed)
        FormClose();
}

void TFormMain::FormCreate() {
    ui->DevTree->clear();
    WriteStatus0();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFormMain::FormClose() {
    closed = true;
    // A service exchange under way gives up its waits and hands the line back.
    Modbus->Line()->AbortWaits();
    if (Searching)
        Execute(ui->ActStop);
    Modbus->Close();
    ReleaseDevices();
}

void TFormMain::ReleaseDevices() {
    for (auto& d : Devices)
        d.reset();
}

void TFormMain::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const HandlerError& e) {
        prompts->error(e.text());
    } catch (const std::exception& e) {
        prompts->error(QString::fromLocal8Bit(e.what()));
    }
}

void TFormMain::Execute(QAction* action) {
    if (action->isEnabled())
        action->trigger();
}

void TFormMain::BindButton(QToolButton* button, QAction* action) {
    // A tool button with more than one action grows a menu arrow; it shows
    // one command at a time.
    for (QAction* old : button->actions())
        button->removeAction(old);
    button->setDefaultAction(action);
}

QString TFormMain::StatusPanelText(int panel) const {
    return statusPanels[size_t(panel)]->text();
}

// ExchangeHost

void TFormMain::LogAppend(const QString& entry) {
    // Each entry starts a new line and every line break in it (CR LF in a
    // register dump) starts another, so a dump ending in CR LF is followed
    // by exactly one empty line, in the window as in the saved file.
    ui->Log->appendPlainText(entry);
    // The whole log is kept as the file's bytes, a byte a character; the
    // window shows only its tail, as a text document costs many times more.
    ExchangeLog += Cp1251Lines({entry});
}

void TFormMain::SetStatusText(int panel, const QString& text) {
    statusPanels[size_t(panel)]->setText(text);
}

void TFormMain::ShowMessage(const QString& text) {
    // The box is modal but the timers go on: while it is open the reading
    // cycle sends nothing, so one fault raises one box and not one a tick.
    ++ReplyMessagesOpen;
    prompts->message(text);
    --ReplyMessagesOpen;
}

int TFormMain::SelectedAddress() const {
    return SelNode ? SelNode->data(0, Qt::UserRole).toInt() : -1;
}

void TFormMain::EnableDevPanel() {
    ui->DevPanel->setEnabled(true);
}

void TFormMain::EnableCurrButton() {
    ui->SpBtSetCurr->setEnabled(true);
}

void TFormMain::StartReadOnes(int intervalMs) {
    TimerReadOnes.setInterval(intervalMs);
    TimerReadOnes.start();
}

void TFormMain::StopProgress() {
    TimerProgress.stop();
}

void TFormMain::StopWriteTimer() {
    TimerWrite.stop();
}

void TFormMain::PortLost(const QString& reason) {
    LineDown = true;
    LogAppend(reason);
    LineLost(reason);
}
