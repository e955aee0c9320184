// Bus scan and the device tree.
#include "UnitMain.h"

#include "Device.h"
#include "DeviceTexts.h"
#include "Icons.h"
#include "ui_UnitMain.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>

using namespace kpx;

namespace {
constexpr int kScanOpenTimeoutMs = 500;
constexpr int kLastAddress = 247;
} // namespace

void TFormMain::SetupScan() {
    connect(&TimerFind, &QTimer::timeout, this, [this] { Guard([this] { TimerFindTimer(); }); });
    ui->DevTree->viewport()->installEventFilter(this);
    // The tree moves its highlight on its own (a press beside a label, the
    // arrow keys, a removed row); every command goes to SelNode, so the
    // highlight is put back on it whatever the tree did.
    connect(ui->DevTree, &QTreeWidget::itemSelectionChanged, this, &TFormMain::ShowSelNode);
}

void TFormMain::ShowSelNode() {
    const QList<QTreeWidgetItem*> shown = ui->DevTree->selectedItems();
    if (SelNode ? shown == QList<QTreeWidgetItem*>{SelNode} : shown.isEmpty())
        return;
    const QSignalBlocker quiet(ui->DevTree);
    ui->DevTree->clearSelection();
    if (SelNode) {
        ui->DevTree->setCurrentItem(SelNode);
        SelNode->setSelected(true);
    }
    // The blocked signals kept the view from repainting the rows it changed.
    ui->DevTree->viewport()->update();
}

void TFormMain::ActFindExecute() {
    if (Reading || Writing || CmdPending)
        return;
    if (!Modbus->IsOpen()) {
        Modbus->SetTimeout(kScanOpenTimeoutMs);
        try {
            OpenLine();
        } catch (const HandlerError& e) {
            prompts->message(e.text());
            return;
        }
    }
    // The scan empties the tree: a reading cycle would have nothing to read.
    if (TimerRead.isActive())
        Execute(ui->ActReadStop);
    ui->DevPanel->setEnabled(false);
    // Forgotten before the tree deletes them: clearing it moves the highlight.
    SelNode = DownNode = CmdNode = nullptr;
    PanelAddress = -1;
    ui->DevTree->clear();
    KindNode.fill(nullptr);
    ReleaseDevices();
    ScanAddr = 0;
    Searching = true;
    TimerFind.setInterval(Modbus->Timeout() + 100);
    TimerFind.start();
    BindButton(ui->BtFind, ui->ActStop);
    for (QAction* a :
         {ui->ActZero, ui->ActZero2, ui->ActCalb, ui->ActInit, ui->ActReadLog, ui->ActDelLog})
        a->setEnabled(false);
}

void TFormMain::TimerFindTimer() {
    ++ScanAddr;
    if (ScanAddr > kLastAddress) {
        Execute(ui->ActStop);
        return;
    }
    if (!LineReady())
        return;
    SetStatusText(3, QStringLiteral("Поиск: ") + QString::number(ScanAddr));
    Modbus->Probe(ScanAddr);
}

void TFormMain::ActStopExecute() {
    TimerFind.stop();
    Searching = false;
    BindButton(ui->BtFind, ui->ActFind);
    for (QAction* a : {ui->ActRenew, ui->ActSaveToFile, ui->ActReadLog, ui->ActDelLog})
        a->setEnabled(true);
    ScanAddr = 0;
    const QString done = QStringLiteral("Поиск окончен");
    SetStatusText(3, done);
    LogAppend(done);
}

void TFormMain::DeviceFound(int address, uint32_t id) {
    const int32_t serial = int32_t(id);
    const std::optional<int> kind = KindFromSerial(serial);
    if (!kind || address < 1 || address > kLastAddress)
        return;
    auto device = std::make_unique<TDevice>();
    device->Kind = *kind;
    device->SerialNumber = serial;
    Devices[size_t(address)] = std::move(device);

    QTreeWidgetItem*& group = KindNode[size_t(*kind)];
    if (!group) {
        group = new QTreeWidgetItem(ui->DevTree, {KindCaption(*kind)});
        group->setIcon(0, TreeIcon(*kind + 1));
    }
    auto* node = new QTreeWidgetItem(group, {NodeLabel(address, serial)});
    node->setIcon(0, TreeIcon(TreeImageDetector));
    ui->DevTree->expandAll();
    node->setData(0, Qt::UserRole, address);
}

QTreeWidgetItem* TFormMain::NodeHit(const QPoint& pos) const {
    QTreeWidgetItem* item = ui->DevTree->itemAt(pos);
    if (!item)
        return nullptr;
    // Only the icon and the label count, not the rest of the row.
    const QRect row = ui->DevTree->visualItemRect(item);
    const int width = ui->DevTree->iconSize().width() + 8 +
                      ui->DevTree->fontMetrics().horizontalAdvance(item->text(0));
    return pos.x() >= row.left() && pos.x() <= row.left() + width ? item : nullptr;
}

void TFormMain::DevTreeMouseDown(Qt::MouseButton button, const QPoint& pos) {
    QTreeWidgetItem* node = NodeHit(pos);
    if (!node)
        return;
    DownNode = node;
    if (!node->parent())
        return;
    SelNode = node;
    ShowSelNode();
    if (button != Qt::RightButton)
        return;
    const TDevice* device = Devices[size_t(node->data(0, Qt::UserRole).toInt())].get();
    if (device && !FirmwareBelow(*device, EventLogMenuLimits))
        MenuLog->popup(QCursor::pos());
}

void TFormMain::DevTreeDblClick() {
    if (Searching)
        Execute(ui->ActStop);
    if (!SelNode || !SelNode->parent() || SelNode != DownNode || !LineReady())
        return;
    ui->DevPanelCaption->setText(SelNode->text(0));
    Modbus->ReadBlock(SelectedAddress());
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip &&
        (watched == ui->BtFind || watched == ui->BtHelp || watched == ui->BtClbZero))
        return true;
    if (watched == ui->EditURV && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        Guard([&] { EditURVKeyDown(key); });
    }
    if (watched == ui->DevTree->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* me = static_cast<QMouseEvent*>(event);
            Guard([&] { DevTreeMouseDown(me->button(), me->position().toPoint()); });
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            Guard([this] { DevTreeDblClick(); });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
