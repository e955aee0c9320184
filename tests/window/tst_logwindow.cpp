#include "Csv.h"
#include "Forms.h"
#include "LogDecoder.h"
#include "ScriptedPrompts.h"
#include "UnitLog.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace kpx;

namespace {

// Opening must never hang or grow quadratically with the file. A release
// build opens these files in well under a second; the bound is wide enough
// for a sanitizer build on a loaded two-core machine, several times slower.
constexpr qint64 kOpenHangMs = 15000;

const QString kOpenFilter = QStringLiteral("open: KPX events file (*.csv)|*.CSV");
const QString kSaveFilter = QStringLiteral("save: KPX events file (*.csv)|*.CSV");

// A raw log with the given (code, parameter) pairs in storage order from the
// first slot on; every other slot is empty.
QByteArray rawLog(const QByteArray& pairs) {
    QByteArray raw(RawLogSize, '\0');
    for (int block = 0; block < LogBlockCount; ++block)
        raw.replace(block * LogBlockSize, LogBlockPreamble, QByteArray(LogBlockPreamble, '\x01'));
    for (int i = 0; i < pairs.size(); ++i) {
        const int slot = i / 2;
        raw[(slot / LogSlotsPerBlock) * LogBlockSize + LogBlockPreamble +
            2 * (slot % LogSlotsPerBlock) + i % 2] = pairs[i];
    }
    return raw;
}

// Switched on, an alarm over threshold 1 at 40 %, a low supply fault.
const QByteArray kThreeEvents = QByteArray::fromHex("0100"
                                                    "0828"
                                                    "0301");

QVector<QStringList> cellsOf(const QVector<LogRow>& rows) {
    QVector<QStringList> cells;
    for (const LogRow& row : rows)
        cells << QStringList(row.cells.cbegin(), row.cells.cend());
    return cells;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList emptyRow() {
    return {QString(), QString(), QString()};
}

} // namespace

class TstLogWindow : public QObject {
    Q_OBJECT

    ScriptedPrompts* prompts = nullptr;
    TFormLog* w = nullptr;
    QTemporaryDir* dir = nullptr;

    QTableWidget* grid() const { return w->Form()->GridLog; }
    void save(const QString& path);
    void open(const QString& path);

private slots:
    void init();
    void cleanup();

    void designLayout();
    void showRawLog_data();
    void showRawLog();
    void secondReadReplacesCaptionAndGrid();
    void gridIsReadOnlyWithFixedColumn();

    void saveWritesTheGrid();
    void saveThenOpenGivesEveryCell();
    void cancelledDialogsDoNothing();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();

    void openFailureKeepsGrid_data();
    void openFailureKeepsGrid();
    void openOddFiles_data();
    void openOddFiles();

    void resizeSnapsBackToMinimum();
    void enlargingAddsRows();
    void openedRowsSurviveResize();
};

void TstLogWindow::init() {
    prompts = new ScriptedPrompts;
    w = new TFormLog(prompts);
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TstLogWindow::cleanup() {
    delete w;
    delete prompts;
    delete dir;
}

void TstLogWindow::save(const QString& path) {
    prompts->fileNames << path;
    w->BtSaveClick();
}

void TstLogWindow::open(const QString& path) {
    prompts->fileNames << path;
    w->BtOpenClick();
}

void TstLogWindow::designLayout() {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->size(), QSize(614, 517));
    QCOMPARE(w->MinWidth(), 614);
    QCOMPARE(w->MinHeight(), 517);
    QCOMPARE(grid()->geometry(), QRect(0, 0, 614, 466));
    QCOMPARE(w->Form()->BtSave->geometry(), QRect(8, 480, 75, 25));
    QCOMPARE(w->Form()->BtOpen->geometry(), QRect(104, 480, 75, 25));
    // (614 - 20 - 55) / 2 for each text column, the last one pixel less once resized.
    QCOMPARE(grid()->columnWidth(0), 55);
    QCOMPARE(grid()->columnWidth(1), 269);
    QCOMPARE(grid()->columnWidth(2), 268);
    // The design grid: the header and 512 slots.
    QCOMPARE(w->LogRowCount(), 513);
    QCOMPARE(grid()->rowCount(), 512);
    QCOMPARE(w->windowTitle(), QStringLiteral("Лог событий"));
}

void TstLogWindow::showRawLog_data() {
    QTest::addColumn<QByteArray>("pairs");
    QTest::addColumn<int>("rows");
    QTest::newRow("no events: header and 20 empty rows") << QByteArray() << 21;
    QTest::newRow("three events: 17 empty rows after them") << kThreeEvents << 21;
    QTest::newRow("twenty events fill the design rows")
        << QByteArray::fromHex("0700").repeated(20) << 21;
    QTest::newRow("twenty-one events: one row more")
        << QByteArray::fromHex("0700").repeated(21) << 22;
    QTest::newRow("every slot used, over all four blocks")
        << QByteArray::fromHex("0205").repeated(512) << 513;
}

void TstLogWindow::showRawLog() {
    QFETCH(QByteArray, pairs);
    QFETCH(int, rows);
    const QByteArray raw = rawLog(pairs);
    w->ShowRawLog(QStringLiteral("#5 : 01234"), raw);

    QVERIFY(w->isVisible());
    QVERIFY(!w->isModal());
    QCOMPARE(w->windowTitle(), QStringLiteral("#5 : 01234.  Лог событий"));
    QCOMPARE(w->LogRowCount(), rows);
    QCOMPARE(grid()->rowCount(), rows - 1);
    QCOMPARE(grid()->columnCount(), 3);
    QCOMPARE(w->Cells(), cellsOf(FillLog(raw)));

    const QVector<LogRow> expected = FillLog(raw);
    for (int r = 1; r < rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem* item = grid()->item(r - 1, c);
            QVERIFY(item);
            const Qt::Alignment wanted = expected[r].leftAligned[c]
                                             ? Qt::AlignLeft | Qt::AlignVCenter
                                             : Qt::Alignment(Qt::AlignCenter);
            QCOMPARE(Qt::Alignment(item->textAlignment()), wanted);
        }
    }
}

void TstLogWindow::secondReadReplacesCaptionAndGrid() {
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(QByteArray::fromHex("0700").repeated(30)));
    QCOMPARE(w->LogRowCount(), 31);
    w->ShowRawLog(QStringLiteral("#26 : 00077"), rawLog(kThreeEvents));
    QCOMPARE(w->windowTitle(), QStringLiteral("#26 : 00077.  Лог событий"));
    QCOMPARE(w->LogRowCount(), 21);
    QCOMPARE(w->Cells(), cellsOf(FillLog(rawLog(kThreeEvents))));
    QVERIFY(w->isVisible());

    // Closed, it is only hidden: the grid and the caption stay for the next look.
    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    QCOMPARE(w->Cells(), cellsOf(FillLog(rawLog(kThreeEvents))));
    QCOMPARE(w->windowTitle(), QStringLiteral("#26 : 00077.  Лог событий"));
}

void TstLogWindow::gridIsReadOnlyWithFixedColumn() {
    w->ShowRawLog(QStringLiteral("#1 : 00001"), rawLog(kThreeEvents));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(grid()->verticalScrollBar()->isVisible());
    QCOMPARE(grid()->verticalHeader()->defaultSectionSize(), 22);
    QCOMPARE(grid()->rowHeight(grid()->rowCount() - 1), 22);
    for (int c = 0; c < 3; ++c) {
        QVERIFY(grid()->horizontalHeaderItem(c)->font().bold());
    }
    for (int r = 0; r < grid()->rowCount(); ++r) {
        const QTableWidgetItem* fixed = grid()->item(r, 0);
        QVERIFY(fixed);
        QVERIFY(fixed->font().bold());
        QVERIFY(!(fixed->flags() & (Qt::ItemIsEditable | Qt::ItemIsSelectable)));
        QVERIFY(!(grid()->item(r, 1)->flags() & Qt::ItemIsEditable));
    }

    // A double click or typing on a cell starts no editor.
    const QRect cell = grid()->visualItemRect(grid()->item(1, 1));
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(grid(), Qt::Key_F2);
    QTest::keyClicks(grid(), "x");
    QVERIFY(grid()->viewport()->findChildren<QLineEdit*>().isEmpty());
    QCOMPARE(w->Cells(), cellsOf(FillLog(rawLog(kThreeEvents))));
}

void TstLogWindow::saveWritesTheGrid() {
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    const QString path = dir->filePath("log.csv");
    save(path);
    QCOMPARE(prompts->shown, QStringList{kSaveFilter});

    // Written out by hand: the bytes a reader of the file gets.
    QByteArray expected = QByteArray::fromHex("efbbbf");
    expected += QStringLiteral("№;Событие;Информация\r\n"
                               "1;Включен;\"\"\r\n"
                               "2;Превышение порога №1;[0x28]: 40 % диапазона измерения\r\n"
                               "3;Неисправность;[0x01]: Питание понижено\r\n")
                    .toUtf8();
    expected += QByteArray("\"\";\"\";\"\"\r\n").repeated(17);
    QCOMPARE(readAll(path), expected);
    QCOMPARE(readAll(path), CsvWrite(w->Cells()));
}

void TstLogWindow::saveThenOpenGivesEveryCell() {
    // Texts the file has to quote, and a row added by an earlier file.
    writeAll(dir->filePath("odd.csv"), CsvWrite({{"№", "Событие", "Информация"},
                                                 {"1", "a;b", "say \"hi\""},
                                                 {"2", " leading blank", "two\r\nlines"},
                                                 {"3", "", "Ёлка"}}));
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    open(dir->filePath("odd.csv"));
    const QVector<QStringList> before = w->Cells();
    QCOMPARE(before.size(), 4);
    QCOMPARE(before[2][2], QStringLiteral("two\r\nlines"));

    const QString path = dir->filePath("again.csv");
    save(path);
    QCOMPARE(readAll(path), CsvWrite(before));

    w->FillLog(rawLog(QByteArray::fromHex("0700").repeated(40)));
    open(path);
    QCOMPARE(w->Cells(), before);
    QCOMPARE(w->LogRowCount(), 4);
    QCOMPARE(prompts->shown, (QStringList{kOpenFilter, kSaveFilter, kOpenFilter}));
}

void TstLogWindow::cancelledDialogsDoNothing() {
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    const QVector<QStringList> before = w->Cells();
    w->BtSaveClick();
    w->BtOpenClick();
    QCOMPARE(prompts->shown, (QStringList{kSaveFilter, kOpenFilter}));
    QCOMPARE(w->Cells(), before);
    QVERIFY(QDir(dir->path()).isEmpty());
}

void TstLogWindow::saveFailureKeepsOldFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("sizeLimit"); // 0: none
    QTest::addColumn<QString>("error");
    QTest::newRow("directory missing") << "no-such-dir/log.csv" << qint64(0)
                                       << "Cannot create file \"%1\". No such file or directory";
    QTest::newRow("name of a directory")
        << "" << qint64(0) << "Cannot create file \"%1\". Filename refers to a directory";
    // The write itself fails, as on a full disk.
    QTest::newRow("write fails half way")
        << "log.csv" << qint64(100) << "Cannot write file \"%1\". File too large";
}

void TstLogWindow::saveFailureKeepsOldFile() {
    QFETCH(QString, name);
    QFETCH(qint64, sizeLimit);
    QFETCH(QString, error);
    const QString path = name.isEmpty() ? dir->path() : dir->filePath(name);
    const QByteArray before("\xef\xbb\xbf№;Событие;Информация\r\n");
    if (!name.isEmpty() && QFileInfo(path).dir().exists())
        writeAll(path, before);
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));

    {
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        });
        if (sizeLimit) {
            rlimit limited = saved;
            limited.rlim_cur = static_cast<rlim_t>(sizeLimit);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        save(path);
    }

    QCOMPARE(prompts->shown,
             (QStringList{kSaveFilter, "error: " + error.arg(QDir::toNativeSeparators(path))}));
    if (!name.isEmpty() && QFileInfo(path).dir().exists()) {
        QCOMPARE(readAll(path), before);
        // No temporary file left next to it either.
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});
    }
}

void TstLogWindow::openFailureKeepsGrid_data() {
    QTest::addColumn<QString>("name");     // "": the directory itself
    QTest::addColumn<QByteArray>("bytes"); // written unless the name is "missing.csv" or ""
    QTest::addColumn<QString>("shown");    // empty: nothing shown
    QTest::newRow("0 bytes: nothing at all") << "empty.csv" << QByteArray() << "";
    QTest::newRow("byte-order mark only")
        << "bom.csv" << QByteArray::fromHex("efbbbf") << "message: File is empty";
    QTest::newRow("UTF-16 mark only")
        << "bom16.csv" << QByteArray::fromHex("fffe") << "message: File is empty";
    QTest::newRow("file missing") << "missing.csv" << QByteArray()
                                  << "error: Cannot open file \"%1\". No such file or directory";
    QTest::newRow("name of a directory")
        << "" << QByteArray() << "error: Cannot open file \"%1\". file to open is a directory";
    // Refused before the grid is touched, rather than freezing the window.
    QTest::newRow("over 4 MB") << "big.csv" << QByteArray(4 * 1024 * 1024 + 1, '\n')
                               << "error: Cannot read file \"%1\". File is larger than 4194304 "
                                  "bytes";
    QTest::newRow("over a million cells")
        << "long.csv" << QByteArray(400000, '\n')
        << "error: Cannot read file \"%1\". 400000 lines with up to 3 fields are more than the "
           "grid can hold";
    QTest::newRow("over 1024 fields a line")
        << "wide.csv" << (QByteArray(100000, ';') + "\r\n1;2;3\r\n")
        << "error: Cannot read file \"%1\". 2 lines with up to 100001 fields are more than the "
           "grid can hold";
}

void TstLogWindow::openFailureKeepsGrid() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = name.isEmpty() ? dir->path() : dir->filePath(name);
    if (!name.isEmpty() && name != "missing.csv")
        writeAll(path, bytes);
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    const QVector<QStringList> before = w->Cells();

    QElapsedTimer clock;
    clock.start();
    open(path);
    QVERIFY2(clock.elapsed() < kOpenHangMs, qPrintable(QString::number(clock.elapsed()) + " ms"));

    QStringList expected{kOpenFilter};
    if (shown.contains("%1"))
        expected << shown.arg(QDir::toNativeSeparators(path));
    else if (!shown.isEmpty())
        expected << shown;
    QCOMPARE(prompts->shown, expected);
    QCOMPARE(w->Cells(), before);
    QCOMPARE(w->LogRowCount(), 21);
}

void TstLogWindow::openOddFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");

    QByteArray binary;
    for (int i = 0; i < 200000; ++i)
        binary += char((i * 7919) % 256);
    QTest::newRow("binary: read like text, no crash") << binary << CsvRead(binary).rows.size();

    QByteArray huge = "\xef\xbb\xbf";
    for (int i = 0; i < 100000; ++i)
        huge += QByteArray::number(i) + ";Включен;\"\"\r\n";
    QTest::newRow("100 000 lines, all kept") << huge << 100000;

    QTest::newRow("quote never closed: the rest is one field")
        << QByteArray("1;\"open\r\n2;b;c\r\n3;d;e\r\n") << 1;
    QTest::newRow("Windows-1251 without a mark")
        << QByteArray::fromHex("b93bd1eee1fbf2e8e53be8edf40d0a") << 1;
}

// Whatever the file holds, the grid gets its lines, and quickly.
void TstLogWindow::openOddFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    const QString path = dir->filePath("odd.csv");
    writeAll(path, bytes);
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    const QVector<QStringList> before = w->Cells();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QElapsedTimer clock;
    clock.start();
    open(path);
    QCoreApplication::processEvents();
    QVERIFY2(clock.elapsed() < kOpenHangMs, qPrintable(QString::number(clock.elapsed()) + " ms"));

    QCOMPARE(prompts->shown, QStringList{kOpenFilter});
    QCOMPARE(w->LogRowCount(), rows);
    QCOMPARE(w->Cells(), CsvOverlay(before, CsvRead(bytes).rows));
}

void TstLogWindow::resizeSnapsBackToMinimum() {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->setMinimumSize(0, 0); // only the handler stands in the way now
    w->resize(300, 200);
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(614, 517), 5000);
    w->resize(400, 900);
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(614, 900), 5000);
}

void TstLogWindow::enlargingAddsRows() {
    w->ShowRawLog(QStringLiteral("#5 : 01234"), rawLog(kThreeEvents));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // 30 rows of 22 pixels in the grid, the buttons' 51 pixels below it.
    w->resize(800, 30 * 22 + 51);
    QTRY_COMPARE_WITH_TIMEOUT(grid()->height(), 30 * 22, 5000);
    QCOMPARE(w->LogRowCount(), 21);
    QCOMPARE(grid()->rowCount() + 1, 30);
    QCOMPARE(w->Form()->BtSave->y(), 30 * 22 + 14);
    QCOMPARE(grid()->columnWidth(0), 55);
    QCOMPARE(grid()->columnWidth(1), (800 - 20 - 55) / 2);
    QCOMPARE(grid()->columnWidth(2), (800 - 20 - 55) / 2 - 1);

    const QString path = dir->filePath("log.csv");
    save(path);
    QVector<QStringList> expected = cellsOf(FillLog(rawLog(kThreeEvents)));
    expected.resize(30, emptyRow());
    QCOMPARE(readAll(path), CsvWrite(expected));

    // Back to the design size: the log's own 21 rows again.
    w->resize(614, 517);
    QTRY_COMPARE_WITH_TIMEOUT(grid()->rowCount() + 1, 21, 5000);
}

void TstLogWindow::openedRowsSurviveResize() {
    QVector<QStringList> lines;
    for (int i = 0; i < 600; ++i)
        lines << QStringList{QString::number(i), "Сброс показаний", ""};
    writeAll(dir->filePath("600.csv"), CsvWrite(lines));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    open(dir->filePath("600.csv"));
    QCOMPARE(w->LogRowCount(), 600);
    w->resize(700, 600);
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(700, 600), 5000);
    QCOMPARE(grid()->rowCount() + 1, 600);
    QCOMPARE(w->Cells(), lines);

    // A 5-line file shows 5 rows until the window is next resized.
    writeAll(dir->filePath("5.csv"), CsvWrite(lines.mid(0, 5)));
    open(dir->filePath("5.csv"));
    QCOMPARE(grid()->rowCount() + 1, 5);
    w->resize(614, 517);
    QTRY_COMPARE_WITH_TIMEOUT(grid()->rowCount() + 1, 21, 5000);
}

QTEST_MAIN(TstLogWindow)
#include "tst_logwindow.moc"
