#pragma once

#include "Prompts.h"

#include <QDialog>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers the program's questions from a script and records what was shown.
class ScriptedPrompts : public Prompts {
public:
    QStringList shown;   // "message: ...", "warning: ...", "confirm: ...", "error: ..."
    QList<bool> answers; // popped by warning() and confirm(); true when empty
    QStringList fileNames;
    // Fills in a dialog; returns whether to confirm it. Cancels when unset.
    std::function<bool(QDialog&)> dialogScript;

    // message() keeps its box open this long, the timers running, as a
    // person reading it would.
    int messageOpenMs = 0;

    void message(const QString& text) override {
        shown << QStringLiteral("message: ") + text;
        if (messageOpenMs > 0) {
            QEventLoop box;
            QTimer::singleShot(messageOpenMs, &box, &QEventLoop::quit);
            box.exec();
        }
    }
    bool warning(const QString& text) override {
        shown << QStringLiteral("warning: ") + text;
        return next();
    }
    bool confirm(const QString& text) override {
        shown << QStringLiteral("confirm: ") + text;
        return next();
    }
    void error(const QString& text) override { shown << QStringLiteral("error: ") + text; }
    QString saveFileName(const QString& filter, const QString&) override {
        shown << QStringLiteral("save: ") + filter;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
    QString openFileName(const QString& filter) override {
        shown << QStringLiteral("open: ") + filter;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
    bool runDialog(QDialog& dialog) override {
        shown << QStringLiteral("dialog: ") + dialog.objectName();
        return dialogScript ? dialogScript(dialog) : false;
    }

private:
    bool next() { return answers.isEmpty() ? true : answers.takeFirst(); }
};
