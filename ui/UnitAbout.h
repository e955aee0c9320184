#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutBox;
}

// The help window: created once at start-up, shown without blocking the main
// window, and hidden, not destroyed, when closed.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    Ui::TAboutBox* Form() const { return ui.get(); }

    void OKButtonClick();

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};
