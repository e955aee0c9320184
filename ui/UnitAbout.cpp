#include "UnitAbout.h"

#include "ui_UnitAbout.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

// Whole lines as the window shows them; several end with a blank.
QStringList helpLines() {
    return {
        QStringLiteral("1. Начать поиск приборов (\"Поиск\")."),
        QStringLiteral("2. После обнаружения необходимых приборов "),
        QStringLiteral("остановить поиск (\"Стоп\")."),
        QStringLiteral("3. Установить указатель на одном из приборов, "),
        QStringLiteral("нажать \"Читать\" для автоматического обновления "),
        QStringLiteral("данных."),
        QStringLiteral("4. Изменение настроек в приборе производится "),
        QStringLiteral("только при отключенном режиме чтения."),
        QStringLiteral("5. Градуировка может проводится при режиме "),
        QStringLiteral("чтения."),
        QStringLiteral("6. Дополнительное меню работы с логом событий "),
        QStringLiteral("прибора вызывается нажатием правой кнопки "),
        QStringLiteral("\"мышки\"."),
    };
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    ui->HelpText->setPlainText(helpLines().join(QLatin1Char('\n')));
    // Closing only hides the window, so OK does the same as the close box.
    connect(ui->OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    // In the middle of the screen rather than over the main window. Placed
    // now, QDialog leaves it there at the first show; the frame is not known
    // yet, so the client area is what gets centred.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->geometry().center());
        setGeometry(r);
    }
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::OKButtonClick() {
    close();
}
