#include "UnitAbout.h"

#include "ui_UnitAbout.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
}

TAboutBox::~TAboutBox() = default;
