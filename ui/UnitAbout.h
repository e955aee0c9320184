#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutBox;
}

// Created once at start-up and hidden, not destroyed, when closed.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    Ui::TAboutBox* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};
