#include "UnitLog.h"

#include "Csv.h"
#include "LogDecoder.h"
#include "SafeFile.h"
#include "ui_UnitLog.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

const QString kEventsFilter = QStringLiteral("KPX events file (*.csv)|*.CSV");
const QString kEventsSuffix = QStringLiteral("csv");
const QString kCaptionSuffix = QStringLiteral(".  Лог событий");

// Far beyond any event log (512 rows of three short fields, some 40 KB), and
// within what the grid takes in about a second; a bigger file is refused
// rather than freezing the window while it is read.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;
constexpr qint64 kMaxCells = 1000000;
// Each column of the grid costs far more than a row.
constexpr qint64 kMaxColumns = 1024;

constexpr int kFirstColumnWidth = 55;
// Room the vertical scroll bar takes from the two text columns.
constexpr int kScrollBarAllowance = 20;

} // namespace

TFormLog::TFormLog(Prompts* prompts_, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFormLog>()), prompts(prompts_) {
    ui->setupUi(this);
    if (!prompts) {
        ownPrompts = std::make_unique<WidgetPrompts>(this);
        prompts = ownPrompts.get();
    }
    minWidth = minimumWidth();
    minHeight = minimumHeight();
    // Column widths follow the grid's width, which the layout sets.
    layout()->activate();
    // The header row is not one of the table's rows.
    logRowCount = ui->GridLog->rowCount() + 1;
    setRowCount(logRowCount);
    setColumnWidths(0);
    move(0, 0);

    connect(ui->BtSave, &QPushButton::clicked, this, &TFormLog::BtSaveClick);
    connect(ui->BtOpen, &QPushButton::clicked, this, &TFormLog::BtOpenClick);
}

TFormLog::~TFormLog() = default;

void TFormLog::ShowRawLog(const QString& nodeText, const QByteArray& rawLog) {
    setWindowTitle(nodeText + kCaptionSuffix);
    FillLog(rawLog);
    show();
    raise();
    activateWindow();
}

void TFormLog::FillLog(const QByteArray& raw) {
    const QVector<kpx::LogRow> rows = kpx::FillLog(raw);
    QTableWidget* grid = ui->GridLog;
    grid->clearContents();
    grid->setColumnCount(kpx::LogColumnCount);
    setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < kpx::LogColumnCount; ++c)
            setCell(r, c, rows[r].cells[c], rows[r].leftAligned[c]);
    }
    logRowCount = rows.size();
    // An enlarged window shows empty rows down to its bottom edge as well.
    FormResize();
}

void TFormLog::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TFormLog::FormResize() {
    if (width() < minWidth || height() < minHeight) {
        resize(std::max(width(), minWidth), std::max(height(), minHeight));
        return; // the resize comes back here with the corrected size
    }
    // The layout has already given the grid the height left over by the
    // buttons, and put the buttons below it.
    const int visibleRows =
        ui->GridLog->height() / ui->GridLog->verticalHeader()->defaultSectionSize();
    setRowCount(std::max(logRowCount, visibleRows));
    setColumnWidths(1);
}

void TFormLog::setColumnWidths(int lastColumnShrink) {
    QTableWidget* grid = ui->GridLog;
    grid->setColumnWidth(0, kFirstColumnWidth);
    const int textWidth = (grid->width() - kScrollBarAllowance - kFirstColumnWidth) / 2;
    grid->setColumnWidth(1, textWidth);
    grid->setColumnWidth(2, textWidth - lastColumnShrink);
}

void TFormLog::setRowCount(int rows) {
    QTableWidget* grid = ui->GridLog;
    const int old = grid->rowCount();
    grid->setRowCount(std::max(rows - 1, 0));
    // New rows still get the look of the fixed column.
    for (int r = old + 1; r < rows; ++r)
        setCell(r, 0, QString());
}

void TFormLog::setCell(int row, int column, const QString& text, bool leftAligned) {
    QTableWidget* grid = ui->GridLog;
    if (row == 0) {
        QTableWidgetItem* header = grid->horizontalHeaderItem(column);
        if (!header) {
            header = new QTableWidgetItem;
            QFont bold = header->font();
            bold.setBold(true);
            header->setFont(bold);
            grid->setHorizontalHeaderItem(column, header);
        }
        header->setText(text);
        return;
    }
    QTableWidgetItem* item = grid->item(row - 1, column);
    if (!item) {
        item = new QTableWidgetItem;
        if (column == 0) {
            // Column 0 looks and behaves like the header: bold, grey, not selectable.
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            item->setBackground(palette().button());
            item->setFlags(Qt::ItemIsEnabled);
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        grid->setItem(row - 1, column, item);
    }
    item->setText(text);
    item->setTextAlignment(leftAligned ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
}

QVector<QStringList> TFormLog::Cells() const {
    const QTableWidget* grid = ui->GridLog;
    QVector<QStringList> cells;
    cells.reserve(grid->rowCount() + 1);
    QStringList header;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QTableWidgetItem* item = grid->horizontalHeaderItem(c);
        header << (item ? item->text() : QString());
    }
    cells << header;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QTableWidgetItem* item = grid->item(r, c);
            row << (item ? item->text() : QString());
        }
        cells << row;
    }
    return cells;
}

void TFormLog::setCells(const QVector<QStringList>& cells) {
    QTableWidget* grid = ui->GridLog;
    const int columns = cells.isEmpty() ? grid->columnCount() : cells.first().size();
    grid->setUpdatesEnabled(false);
    grid->setColumnCount(columns);
    setRowCount(cells.size());
    for (int r = 0; r < cells.size(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const QTableWidgetItem* item = r == 0 ? nullptr : grid->item(r - 1, c);
            // A cell read from the file keeps the alignment the grid gave it.
            const bool left = item && !(item->textAlignment() & Qt::AlignHCenter);
            setCell(r, c, cells[r].value(c), left);
        }
    }
    grid->setUpdatesEnabled(true);
}

void TFormLog::BtSaveClick() {
    const QString path = prompts->saveFileName(kEventsFilter, kEventsSuffix);
    if (path.isEmpty())
        return;
    const QString failure = WriteFileWhole(path, kpx::CsvWrite(Cells()));
    if (!failure.isEmpty())
        prompts->error(failure);
}

void TFormLog::BtOpenClick() {
    const QString path = prompts->openFileName(kEventsFilter);
    if (path.isEmpty())
        return;
    QFile file(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        prompts->error(
            QStringLiteral("Cannot open file \"%1\". %2").arg(shownPath, file.errorString()));
        return;
    }
    if (file.size() > kMaxFileSize) {
        prompts->error(QStringLiteral("Cannot read file \"%1\". File is larger than %2 bytes")
                           .arg(shownPath, QString::number(kMaxFileSize)));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        prompts->error(
            QStringLiteral("Cannot read file \"%1\". %2").arg(shownPath, file.errorString()));
        return;
    }
    const kpx::CsvReadResult read = kpx::CsvRead(bytes);
    if (!read.ok) {
        if (!read.error.isEmpty())
            prompts->message(read.error);
        return;
    }
    qint64 columns = ui->GridLog->columnCount();
    for (const QStringList& line : read.rows)
        columns = std::max<qint64>(columns, line.size());
    if (columns > kMaxColumns || columns * read.rows.size() > kMaxCells) {
        prompts->error(
            QStringLiteral("Cannot read file \"%1\". %2 lines with up to %3 fields "
                           "are more than the grid can hold")
                .arg(shownPath, QString::number(read.rows.size()), QString::number(columns)));
        return;
    }
    setCells(kpx::CsvOverlay(Cells(), read.rows));
    logRowCount = read.rows.size();
}
