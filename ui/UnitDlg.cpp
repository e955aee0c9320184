#include "UnitDlg.h"

#include "Calibration.h"
#include "UnitMain.h"
#include "ui_UnitDlg.h"

#include <QKeyEvent>
#include <QShowEvent>

using namespace kpx;

namespace {
// Page Up and Page Down move the entry by one whole unit, whatever its step.
constexpr double PageIncrement = 1.0;
} // namespace

TFormDlg::TFormDlg(TFormMain* main)
    : QDialog(main), ui(std::make_unique<Ui::TFormDlg>()), main_(main) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    connect(ui->BtOk, &QPushButton::clicked, this,
            [this] { main_->Guard([this] { BtOkClick(); }); });
    connect(ui->BtCancel, &QPushButton::clicked, this, &TFormDlg::BtCancelClick);
    ui->EditConc->installEventFilter(this);
}

TFormDlg::~TFormDlg() = default;

void TFormDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window coming back from the task bar is no new showing.
    if (!event->spontaneous())
        FormShow();
}

void TFormDlg::FormShow() {
    const GasTag tag = UnpackGasTag(Tag);
    DlgRange = tag.range;
    DlgUnitCode = tag.unitCode;
    DlgGasRow = tag.gasRow;

    const QRect over = main_->frameGeometry();
    const QSize own = frameGeometry().size();
    move(over.left() + over.width() / 2 - own.width() / 2,
         over.top() + over.height() / 2 - own.height() / 2);

    const TestGasEntry entry = TestGasEntryFor(GasRow(main_->GasTable, DlgGasRow), tag);
    ui->EditConcLabel->setText(entry.label);
    TFSpinEdit* box = ui->EditConc;
    box->setShortestForm(entry.precision == 0);
    box->setDecimals(entry.decimals);
    box->setRange(entry.min, entry.max);
    box->setSingleStep(entry.step);
    box->setValue(entry.value);
}

void TFormDlg::BtOkClick() {
    // Enter takes the default button with the typed value still in the box,
    // within its bounds or not.
    if (!ui->EditConc->valueInBounds()) {
        main_->ShowMessage(QStringLiteral("Неверное значение!"));
        return;
    }
    const stGas& row = GasRow(main_->GasTable, DlgGasRow);
    if (main_->WriteSpan(TestGasRegisterUnits(row, DlgUnitCode, ui->EditConc->value())))
        close();
}

void TFormDlg::BtCancelClick() {
    close();
}

bool TFormDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->EditConc && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const double step = ui->EditConc->singleStep();
        if ((key == Qt::Key_PageUp || key == Qt::Key_PageDown) && step > 0) {
            const int steps = qRound(PageIncrement / step);
            ui->EditConc->stepBy(key == Qt::Key_PageUp ? steps : -steps);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
