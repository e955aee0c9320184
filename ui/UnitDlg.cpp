#include "UnitDlg.h"

#include "ui_UnitDlg.h"

TFormDlg::TFormDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormDlg>()) {
    ui->setupUi(this);
}

TFormDlg::~TFormDlg() = default;
