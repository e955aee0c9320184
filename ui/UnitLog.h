#pragma once

#include "Prompts.h"

#include <QStringList>
#include <QVector>
#include <QWidget>
#include <memory>

namespace Ui {
class TFormLog;
}

namespace kpx {
struct LogRow;
}

// Created once at start-up and hidden, not destroyed, when closed; the grid
// keeps its contents while hidden.
//
// Row 0 of the log (the header) is the grid's horizontal header, so the
// table holds LogRowCount - 1 rows.
class TFormLog : public QWidget {
    Q_OBJECT
public:
    // prompts: the seam the file dialogs and error boxes go through; null
    // means real ones, placed over this window.
    explicit TFormLog(Prompts* prompts = nullptr, QWidget* parent = nullptr);
    ~TFormLog() override;

    Ui::TFormLog* Form() const { return ui.get(); }

    // Shows a detector's event log just read: caption from the node's label, grid filled from the
    // raw log.
    void ShowRawLog(const QString& nodeText, const QByteArray& rawLog);

    void FillLog(const QByteArray& raw);
    void FormResize();
    void BtSaveClick();
    void BtOpenClick();

    // Every cell, the header row first, as the file holds them.
    QVector<QStringList> Cells() const;
    int LogRowCount() const { return logRowCount; }
    int MinWidth() const { return minWidth; }
    int MinHeight() const { return minHeight; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setRowCount(int rows);
    void setCell(int row, int column, const QString& text, bool leftAligned = false);
    void setCells(const QVector<QStringList>& cells);
    void setColumnWidths(int lastColumnShrink);

    std::unique_ptr<Ui::TFormLog> ui;
    std::unique_ptr<Prompts> ownPrompts;
    Prompts* prompts;

    int minWidth = 0;
    int minHeight = 0;
    int logRowCount = 0;
};
