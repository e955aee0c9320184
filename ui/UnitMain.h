#pragma once

#include "Device.h"
#include "Exchange.h"
#include "GasCatalogue.h"
#include "Prompts.h"
#include "Scaling.h"
#include "ServiceCommands.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QToolButton;
class QTreeWidgetItem;
class TAboutBox;
class TFormDlg;
class TFormLog;
class DataProcessor;

namespace Ui {
class TFormMain;
}

// The main window: owns the detector records, the mode flags (MainState), the
// Modbus exchange and the timers that drive scanning and reading. Its
// implementation is split by concern over the UnitMain*.cpp files.
class TFormMain : public QMainWindow, public MainState, public ExchangeHost {
    Q_OBJECT
public:
    // prompts: the seam every modal message goes through; null means real
    // dialogs over this window.
    explicit TFormMain(Prompts* prompts = nullptr, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Preselects a port by device name or path, as if the user had picked it.
    void PreselectPort(const QString& name);
    // The window "Помощь" shows, created once at start-up.
    void SetHelpWindow(TAboutBox* box);
    // The event-log window a log read fills, created once at start-up.
    void SetLogWindow(TFormLog* form);

    QString StatusPanelText(int panel) const;
    Ui::TFormMain* Form() const { return ui.get(); }
    ModbusExchange& Exchange() { return *Modbus; }

    // Runs a handler; an error raised inside it goes to the standard error
    // box and the program carries on.
    void Guard(const std::function<void()>& handler);
    // Executes an action's handler only while the action is enabled.
    void Execute(QAction* action);

    // Timers, named as the rest of the program knows them.
    QTimer TimerFind, TimerRead, TimerReadOnes, Timer5sec, TimerProgress, TimerWrite;

    // Shared state besides the flags in MainState.
    std::array<std::unique_ptr<kpx::TDevice>, 248> Devices;
    std::array<QTreeWidgetItem*, 4> KindNode{};
    QTreeWidgetItem* SelNode = nullptr;
    QTreeWidgetItem* DownNode = nullptr;
    QTreeWidgetItem* CmdNode = nullptr;
    // The detector whose full reading the panel shows, or -1.
    int PanelAddress = -1;
    // The catalogue edition in force for the selected detector; every
    // decoding pass picks it afresh.
    const kpx::stGas* GasTable = kpx::GasEditionB();
    // List bookkeeping of the last decoding pass: 1 when the gas list starts
    // after methane, and the unit index the panel's values are expressed in.
    uint8_t HideMethane = 0;
    uint8_t LastUnitIndex = 0;

    // Command handlers.
    void ActFindExecute();
    void ActStopExecute();
    void ActRenewExecute();
    void ActReadStopExecute();
    void ActSaveToFileExecute();
    void ActHelpExecute();
    void ActReadLogExecute();
    void ActDelLogExecute();
    void ActWriteAddrExecute();
    void ActWriteOptExecute();
    void ActWriteCurrExecute();
    void ActZeroExecute();
    void ActZero2Execute();
    void ActCalbExecute();
    void ActInitExecute();

    // Scan and device tree.
    void TimerFindTimer();
    void DevTreeMouseDown(Qt::MouseButton button, const QPoint& pos);
    void DevTreeDblClick();
    // The node whose icon or label is at pos, if any.
    QTreeWidgetItem* NodeHit(const QPoint& pos) const;
    // Puts the tree's highlight on SelNode, or on nothing.
    void ShowSelNode();

    // Reading cycle and its timers.
    void TimerReadTimer();
    void TimerReadOnesTimer();
    void Timer5secTimer();
    void TimerProgressTimer();

    // Service mode (UnitMainService.cpp): the exchange TimerWrite starts once the
    // detector has echoed its switch, and the three operations run in it.
    void TimerWriteTimer();
    bool ServiceReadLog();
    bool ServiceEraseLog();
    bool ServiceToxicZero();
    // The raw event log as last read, four blocks of 264 bytes.
    QByteArray RawLog;
    // Every service reply but the log blocks lands here.
    QByteArray ServiceBuf;
    // The line is off the Modbus master for a service exchange.
    bool ServiceRunning = false;
    // The toxic sensor's parameter block as last read whole, and the sum
    // last sent with it.
    kpx::ToxicParamBlock ToxicParams;
    quint16 ToxicChecksum = 0;
    // Processes events until the outstanding read has ended.
    void WaitWhileReading();
    // Waits ms milliseconds on Timer5sec, the window staying responsive.
    void Delay(int ms);
    bool DetectorSelected() const;
    // The panel shows the selected detector's own last reading, which every
    // write to it takes its values from; otherwise the engineer is told so
    // and false is returned.
    bool PanelShowsSelected();

    // Deletes a detector's record and its node, and the kind's group node
    // with its last detector.
    void RemoveDetector(int address, QTreeWidgetItem* node);

    // Settings write and the unit change (UnitMainSettings.cpp).
    void EditURVKeyDown(int key);
    void CBoxUnitChange();
    void CBoxGasChange();
    // In the running parameters chain, threshold 1 is written before threshold 2.
    bool Limit1First = false;

    // Port selection.
    void ComBoxChange(const QString& text);
    // Opens the port if it is closed, as every command that needs the line
    // does; false after a failure, which LineLost has reported.
    bool LineReady();
    // The port has ended up closed against the user's will: the scan and the
    // reading cycle end as Стоп ends them, and the engineer is told once.
    void LineLost(const QString& text);
    void bCfgClick();
    void RefreshPortList();

    // Points a button at another action (BtFind shows ActStop while scanning).
    static void BindButton(QToolButton* button, QAction* action);

    // The steps of the old-firmware 20 mA trim that the settings chain hands
    // on: the echoes of registers 7 and 18, and of 6 while CurrWriting.
    StepResult CurrentTrimStep(int reg);

    // Calibration (UnitMainCalib.cpp). The test-gas dialog the span command
    // shows, created once at start-up.
    void SetGasDialog(TFormDlg* dialog);
    // Writes a test-gas concentration, already in register units, to the
    // selected detector. False when nothing went out (a scan or a write is
    // running, or the panel does not show that detector): the dialog stays.
    bool WriteSpan(float x);

    // Current-output trimming (UnitMainCurrent.cpp). Each handler answers
    // the user's click only, never a change the decoding makes.
    void ChBoxCurrFixClick();
    void RBt01mAClick();
    void RBt04mAClick();
    void RBt20mAClick();
    // One write with automatic reading paused; false when refused.
    bool WriteCurrCmd(int reg, quint16 value, const QString& text);
    // The measured current entered last, and how many times in a row since
    // the last point selection it was entered unchanged.
    float CurrLastValue = 0;
    int CurrRepeats = 0;
    // The old-firmware 20 mA trim has sent its final point selection.
    bool Curr20Done = false;

    // ExchangeHost: continuations and what the exchange needs of the window.
    void LogAppend(const QString& entry) override;
    void SetStatusText(int panel, const QString& text) override;
    void ShowMessage(const QString& text) override;
    void DeviceFound(int address, uint32_t id) override;
    StepResult SettingsStep(int reg) override;
    EchoResult CommandEcho(int reg, quint16 value) override;
    DecodeResult DecodeBlock(int function, int address, const RegisterBlock& block, int first,
                             int last) override;
    int SelectedAddress() const override;
    void EnableDevPanel() override;
    void EnableCurrButton() override;
    void StartReadOnes(int intervalMs) override;
    void StopProgress() override;
    void StopWriteTimer() override;
    void PortLost(const QString& reason) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void WriteStatus0();
    void SetupPortBox();
    void SetupScan();
    void SetupReading();
    void SetupSettings();
    // The writes are refused, without a word, while a write or a read is
    // outstanding and while no detector is selected.
    bool WriteRefused() const;
    // The record of the detector a write went to.
    kpx::TDevice* CmdDevice() const;
    // The scale of the five threshold-like settings, from the unit and range
    // the panel shows now and the detector's own range register.
    float ThresholdScaleNow(const kpx::TDevice& device) const;
    void SetWriteCommandsEnabled(bool enabled);
    QString PortBoxCurrentText() const;
    void ReleaseDevices();
    void OpenLine();

    // Calibration commands: the common checks, the question and the write.
    bool CommandConfirmed(const QString& question, bool readTimerWas, bool waitForRead);
    bool SendCommand(int reg, quint16 value);
    // Restarts the reading cycle paused by a command, unless it was stopped meanwhile.
    void ResumeReading(bool wasOn);

    // Service mode: the switching write of a log read or erase, a message
    // unless the window has closed, and "MODBUS\r" with its acknowledgement
    // (failure is the message when it does not come).
    void RequestLogService(bool erase);
    void ServiceMessage(const QString& text);
    bool BackToModbus(const QString& failure);

    // Current-output trimming.
    void SetupCurrent();
    void ChoosePoint(kpx::CurrentPoint point, const QString& text);
    void StartTrim20Sequence(const QString& text);
    bool SendTrimStep(int reg, quint16 value);
    void EndTrim20Sequence();

    // Register block decoding, one step per register (UnitMainDecode.cpp).
    struct DecodeStep;
    enum class PassGoes { On, EndsAfterEcho, EndsWithoutRecord };
    PassGoes DecodeRegister(const DecodeStep& step);
    PassGoes ApplyLineWord(const DecodeStep& step);
    QTreeWidgetItem* EchoNode(int address) const;
    void MoveDetector(int address, int newAddress, QTreeWidgetItem* node);
    void ApplyGas(const DecodeStep& step);
    PassGoes ApplyStatus(const DecodeStep& step);
    void ApplyUnit(const DecodeStep& step);
    void ApplyConcentration(const DecodeStep& step);
    void ApplyRange(const DecodeStep& step);
    void ApplyRelative(const DecodeStep& step);
    void ApplyVersion(const DecodeStep& step);
    void ApplyCurrent(const DecodeStep& step);
    void ForgetNode(const QTreeWidgetItem* node);

    std::unique_ptr<Ui::TFormMain> ui;
    std::unique_ptr<Prompts> ownPrompts;
    Prompts* prompts;
    ModbusExchange* Modbus;
    std::array<QLabel*, 4> statusPanels{};
    QMenu* MenuLog = nullptr;
    // The exchange log in full, as the saved file's bytes.
    QByteArray ExchangeLog;
    QFileSystemWatcher* portWatcher = nullptr;
    QPointer<TAboutBox> AboutBox;
    QPointer<TFormDlg> GasDialog;
    QPointer<TFormLog> LogWindow;
    // Line settings and processor the service exchange hands back.
    LineSettings SavedLine;
    DataProcessor* SavedProcessor = nullptr;
    quint8 ServiceAddr = 0;
    bool closed = false;
    // Messages raised by replies and time-outs that are open right now.
    int ReplyMessagesOpen = 0;
    // The open port was lost (an adapter pulled out): picking it again
    // reopens it. A port that failed to open stays closed until a command
    // needs the line.
    bool LineDown = false;
};
