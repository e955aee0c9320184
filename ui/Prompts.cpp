#include "Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

// The program writes its filters as "Name|patterns|Name|patterns"; the Qt
// dialog wants "Name (patterns);;Name (patterns)".
QString QtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.isEmpty() ? filter : filters.join(QStringLiteral(";;"));
}

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
    QFileDialog dlg(main_, QString(), QString(), QtNameFilters(filter));
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    // Replacing an existing file is what the user asked for; no question.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    return dlg.exec() == QDialog::Accepted ? dlg.selectedFiles().value(0) : QString();
}

QString WidgetPrompts::openFileName(const QString& filter) {
    return QFileDialog::getOpenFileName(main_, QString(), QString(), QtNameFilters(filter), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

bool WidgetPrompts::runDialog(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}
