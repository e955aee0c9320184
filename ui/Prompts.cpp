#include "Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

QPoint MessagePosition(const QWidget* w) {
    const QRect frame = w->frameGeometry();
    return {frame.left() + frame.width() / 2 - 150, frame.top() + frame.height() / 2 - 50};
}

namespace {
int runBox(QWidget* main, QMessageBox::Icon icon, const QString& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons, main);
    box.setDefaultButton(defaultButton);
    // Qt centres a box on its parent when shown; place it afterwards.
    box.show();
    box.move(MessagePosition(main));
    return box.exec();
}
} // namespace

void WidgetPrompts::message(const QString& text) {
    runBox(main_, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool WidgetPrompts::warning(const QString& text) {
    return runBox(main_, QMessageBox::Warning, text, QMessageBox::Ok | QMessageBox::Cancel,
                  QMessageBox::Ok) == QMessageBox::Ok;
}

bool WidgetPrompts::confirm(const QString& text) {
    return runBox(main_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Yes) == QMessageBox::Yes;
}

void WidgetPrompts::error(const QString& text) {
    QMessageBox::critical(main_, QApplication::applicationDisplayName(), text);
}

QString WidgetPrompts::saveFileName(const QString& filter, const QString& defaultSuffix) {
    QFileDialog dlg(main_, QString(), QString(), filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    // Replacing an existing file is what the user asked for; no question.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    return dlg.exec() == QDialog::Accepted ? dlg.selectedFiles().value(0) : QString();
}

QString WidgetPrompts::openFileName(const QString& filter) {
    return QFileDialog::getOpenFileName(main_, QString(), QString(), filter);
}

bool WidgetPrompts::runDialog(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}
