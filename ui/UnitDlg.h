#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

class TFormMain;

namespace Ui {
class TFormDlg;
}

// The test-gas concentration entry of a span calibration. Created once at
// start-up over the main window and hidden, not destroyed, when closed. It
// stays on top but does not block the main window; the span command sets its
// caption and Tag and shows it, and every showing sets the entry up afresh
// from the Tag.
class TFormDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFormDlg(TFormMain* main);
    ~TFormDlg() override;

    Ui::TFormDlg* Form() const { return ui.get(); }

    // The detector's range, unit code and gas row as the span command packed
    // them (kpx::PackGasTag).
    uint32_t Tag = 0;

    // Unpacked from Tag when the window is shown.
    uint16_t DlgRange = 0;
    uint8_t DlgUnitCode = 0;
    uint8_t DlgGasRow = 0;

    void FormShow();
    // Hands the entered concentration in register units to the main window's
    // span write; closes only when the write has gone out.
    void BtOkClick();
    void BtCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TFormDlg> ui;
    TFormMain* main_;
};
