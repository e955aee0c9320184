#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormDlg;
}

// Created once at start-up and hidden, not destroyed, when closed.
class TFormDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFormDlg(QWidget* parent = nullptr);
    ~TFormDlg() override;

    Ui::TFormDlg* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TFormDlg> ui;
};
