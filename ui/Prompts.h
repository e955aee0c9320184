#pragma once

#include <QPoint>

class QDialog;
#include <QString>

class QWidget;

// Every modal question and message of the program goes through this seam, so
// that tests can answer instead of a person.
class Prompts {
public:
    virtual ~Prompts() = default;
    // Plain result or failure: text and OK.
    virtual void message(const QString& text) = 0;
    // Warning with OK (default) and Cancel; true on OK.
    virtual bool warning(const QString& text) = 0;
    // Confirmation with Yes (default) and No; true on Yes.
    virtual bool confirm(const QString& text) = 0;
    // The standard error box for errors raised inside a handler.
    virtual void error(const QString& text) = 0;
    // Save and open dialogs; empty when cancelled.
    virtual QString saveFileName(const QString& filter, const QString& defaultSuffix) = 0;
    virtual QString openFileName(const QString& filter) = 0;
    // Runs a settings dialog modally; true when the user confirmed it.
    virtual bool runDialog(QDialog& dialog) = 0;
};

// "Name|patterns|..." filters in the form Qt's file dialogs take.
QString QtNameFilters(const QString& filter);

// Where a message box's top-left corner goes: near the middle of the main
// window (left + width/2 - 150, top + height/2 - 50, halves toward zero).
QPoint MessagePosition(const QWidget* mainWindow);

// Real dialogs, placed over the main window.
class WidgetPrompts : public Prompts {
public:
    explicit WidgetPrompts(QWidget* mainWindow) : main_(mainWindow) {}
    void message(const QString& text) override;
    bool warning(const QString& text) override;
    bool confirm(const QString& text) override;
    void error(const QString& text) override;
    QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
    QString openFileName(const QString& filter) override;
    bool runDialog(QDialog& dialog) override;

private:
    QWidget* main_;
};
