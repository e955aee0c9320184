#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TFormLog;
}

// Created once at start-up and hidden, not destroyed, when closed.
class TFormLog : public QWidget {
    Q_OBJECT
public:
    explicit TFormLog(QWidget* parent = nullptr);
    ~TFormLog() override;

    Ui::TFormLog* Form() const { return ui.get(); }

    // A log just read from the detector labelled nodeText: kept and shown.
    void ShowRawLog(const QString& nodeText, const QByteArray& rawLog);
    QString LastNodeText() const { return lastNodeText; }
    QByteArray LastRawLog() const { return lastRawLog; }

private:
    std::unique_ptr<Ui::TFormLog> ui;
    QString lastNodeText;
    QByteArray lastRawLog;
};
