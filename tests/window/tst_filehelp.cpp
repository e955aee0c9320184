#include "Forms.h"
#include "PtyResponder.h"
#include "ScriptedPrompts.h"
#include "UnitAbout.h"
#include "UnitMain.h"

#include <QApplication>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

namespace {

const QString kFilter = QStringLiteral("save: KPX log files (*.kpx)|*.KPX|Any file (*.*)|*.*");

// Windows-1251 bytes of the texts the log repeats.
const QByteArray kDevice = QByteArray::fromHex("cff0e8e1eef03a");         // "Прибор:"
const QByteArray kFunction = QByteArray::fromHex("2020d4f3edeaf6e8ff3a"); // "  Функция:"
const QByteArray kRegister = QByteArray::fromHex("2020d0e5e3e8f1f2f03a"); // "  Регистр:"
const QByteArray kScanDone = QByteArray::fromHex("cfeee8f1ea20eeeaeeedf7e5ed"); // "Поиск окончен"
const QByteArray kCrLf = QByteArray::fromHex("0d0a");

QByteArray dumpLine(const char* address, const char* function, const char* reg, const char* value) {
    return kDevice + address + kFunction + function + kRegister + reg + " = " + value + kCrLf;
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

} // namespace

class TstFileHelp : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void savedBytes_data();
    void savedBytes();
    void savedAfterScan();
    void longLogIsSavedWhole();
    void replacesExistingFile();
    void cancelledDialogWritesNothing();
    void writeFailure_data();
    void writeFailure();

    void helpText();
    void helpWindowNonModal();

private:
    void save(const QString& path);

    ScriptedPrompts* prompts = nullptr;
    TFormMain* w = nullptr;
    PtyResponder* pty = nullptr;
    QTemporaryDir* dir = nullptr;
    Ui::TFormMain* f() const { return w->Form(); }
};

void TstFileHelp::init() {
    prompts = new ScriptedPrompts;
    w = new TFormMain(prompts);
    pty = new PtyResponder;
    w->PreselectPort(pty->slavePath());
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TstFileHelp::cleanup() {
    delete w;
    delete prompts;
    delete pty;
    delete dir;
}

// Presses "Сохр." and answers the dialog with path (empty: cancel).
void TstFileHelp::save(const QString& path) {
    if (!path.isEmpty())
        prompts->fileNames << path;
    f()->ActSaveToFile->setEnabled(true);
    w->Execute(f()->ActSaveToFile);
}

void TstFileHelp::savedBytes_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain entries, one line each")
        << QStringList{"Timeout!", "> ASCII", "Поиск окончен"}
        << QByteArray("Timeout!\r\n> ASCII\r\n") + kScanDone + kCrLf;
    QTest::newRow("dump as the last entry: ends with its empty line")
        << QStringList{"Timeout!", "Прибор:7  Функция:06  Регистр:0003 = 0008\r\n"}
        << QByteArray("Timeout!\r\n") + dumpLine("7", "06", "0003", "0008") + kCrLf;
    QTest::newRow("dumps back to back: one empty line after each")
        << QStringList{"Прибор:2  Функция:03  Регистр:0001 = 0001\r\n"
                       "Прибор:2  Функция:03  Регистр:0002 = 86A0\r\n",
                       "Прибор:3  Функция:06  Регистр:0009 = 01F4\r\n", "Timeout!"}
        << dumpLine("2", "03", "0001", "0001") + dumpLine("2", "03", "0002", "86A0") + kCrLf +
               dumpLine("3", "06", "0009", "01F4") + kCrLf + "Timeout!" + kCrLf;
}

void TstFileHelp::savedBytes() {
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    for (const QString& e : entries)
        w->LogAppend(e);
    const QString shown = f()->Log->toPlainText();
    const QString path = dir->filePath("log.kpx");
    save(path);
    QCOMPARE(prompts->shown, QStringList{kFilter});
    QCOMPARE(readAll(path).toHex(), bytes.toHex());
    QCOMPARE(f()->Log->toPlainText(), shown); // saving does not clear the log
}

// The window shows only the log's tail; the file gets every line.
void TstFileHelp::longLogIsSavedWhole() {
    QByteArray expected;
    for (int i = 0; i < 1500; ++i) {
        w->LogAppend(QStringLiteral("Прибор:1  Функция:03  Регистр:0006 = %1\r\n")
                         .arg(i, 4, 16, QLatin1Char('0')));
        const QByteArray value = QByteArray::number(i, 16).rightJustified(4, '0');
        expected += dumpLine("1", "03", "0006", value.constData()) + kCrLf;
    }
    QVERIFY(f()->Log->document()->blockCount() < 3000);
    const QString path = dir->filePath("long.kpx");
    save(path);
    QCOMPARE(readAll(path).size(), expected.size());
    QCOMPARE(readAll(path), expected);
}

// The whole road: a scan that finds one detector, then "Сохр.".
void TstFileHelp::savedAfterScan() {
    pty->setScript([](const QByteArray& req) {
        return req.left(6) == QByteArray::fromHex("010300010002")
                   ? PtyResponder::withCrc(QByteArray::fromHex("0103040001"
                                                               "86a0"))
                   : QByteArray();
    });
    w->Execute(f()->ActFind);
    QVERIFY(w->Searching);
    w->TimerFind.stop(); // one step by hand instead of the timer
    w->TimerFindTimer();
    QTRY_COMPARE(w->RxCount, 1);
    w->Execute(f()->ActStop);
    QVERIFY(f()->ActSaveToFile->isEnabled());

    const QString path = dir->filePath("scan.kpx");
    save(path);
    QCOMPARE(readAll(path).toHex(),
             (dumpLine("1", "03", "0001", "0001") + dumpLine("1", "03", "0002", "86A0") + kCrLf +
              kScanDone + kCrLf)
                 .toHex());
}

void TstFileHelp::replacesExistingFile() {
    const QString path = dir->filePath("log.kpx");
    writeAll(path, QByteArray(300, 'x'));
    w->LogAppend("Timeout!");
    save(path);
    QCOMPARE(readAll(path), QByteArray("Timeout!\r\n"));
    w->LogAppend("> MODBUS");
    save(path);
    QCOMPARE(readAll(path), QByteArray("Timeout!\r\n> MODBUS\r\n"));
    // No question either time.
    QCOMPARE(prompts->shown, (QStringList{kFilter, kFilter}));
}

void TstFileHelp::cancelledDialogWritesNothing() {
    w->LogAppend("Timeout!");
    save(QString());
    QCOMPARE(prompts->shown, QStringList{kFilter});
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TstFileHelp::writeFailure_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("sizeLimit"); // 0: none
    QTest::addColumn<QString>("error");
    QTest::newRow("directory missing") << "no-such-dir/log.kpx" << qint64(0)
                                       << "Cannot create file \"%1\". No such file or directory";
    QTest::newRow("name of a directory")
        << "" << qint64(0) << "Cannot create file \"%1\". Filename refers to a directory";
    // The write itself fails, as on a full disk: caught only when flushed.
    QTest::newRow("write fails") << "log.kpx" << qint64(16)
                                 << "Cannot write file \"%1\". File too large";
}

void TstFileHelp::writeFailure() {
    QFETCH(QString, name);
    QFETCH(qint64, sizeLimit);
    QFETCH(QString, error);
    const QString path = name.isEmpty() ? dir->path() : dir->filePath(name);
    const QByteArray before("earlier save\r\n");
    if (!name.isEmpty() && QFileInfo(path).dir().exists())
        writeAll(path, before);
    for (const char* e : {"Timeout!", "Поиск окончен",
                          "Прибор:1  Функция:03  Регистр:0001 = "
                          "0001\r\n"})
        w->LogAppend(e);
    const QString shown = f()->Log->toPlainText();

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
            limited.rlim_cur = rlim_t(sizeLimit);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        save(path);
    }

    QCOMPARE(prompts->shown,
             (QStringList{kFilter, "error: " + error.arg(QDir::toNativeSeparators(path))}));
    QCOMPARE(f()->Log->toPlainText(), shown);
    if (QFileInfo(path).isFile())
        QCOMPARE(readAll(path), before); // the earlier file survives a failed save
}

void TstFileHelp::helpText() {
    TAboutBox box;
    const QList<QByteArray> expected = {
        "1. Начать поиск приборов (\"Поиск\").",
        "2. После обнаружения необходимых приборов ",
        "остановить поиск (\"Стоп\").",
        "3. Установить указатель на одном из приборов, ",
        "нажать \"Читать\" для автоматического обновления ",
        "данных.",
        "4. Изменение настроек в приборе производится ",
        "только при отключенном режиме чтения.",
        "5. Градуировка может проводится при режиме ",
        "чтения.",
        "6. Дополнительное меню работы с логом событий ",
        "прибора вызывается нажатием правой кнопки ",
        "\"мышки\".",
    };
    const QStringList lines = box.Form()->HelpText->toPlainText().split('\n');
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i].toUtf8(), expected[i]);
    QCOMPARE(box.windowTitle(), QString("Помощь"));
}

void TstFileHelp::helpWindowNonModal() {
    auto* box = new TAboutBox(w);
    box->setWindowFlag(Qt::Window);
    const QPointer<TAboutBox> alive(box);
    w->SetHelpWindow(box);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    w->Execute(f()->ActHelp);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(box->geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
    // Pressed again while open: still the one window.
    w->Execute(f()->ActHelp);
    QVERIFY(box->isVisible());

    const QString text = box->Form()->HelpText->toPlainText();
    box->Form()->OKButton->click();
    QVERIFY(!box->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive); // hidden, not destroyed

    w->Execute(f()->ActHelp);
    QVERIFY(box->isVisible());
    QCOMPARE(box->Form()->HelpText->toPlainText(), text);
    QVERIFY(prompts->shown.isEmpty());
}

QTEST_MAIN(TstFileHelp)
#include "tst_filehelp.moc"
