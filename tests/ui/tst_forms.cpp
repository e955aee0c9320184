#include "Forms.h"
#include "Icons.h"
#include "PortSettingsDialog.h"

#include <QDialogButtonBox>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// A wrong letter in a caption is invisible on screen, so every text, range and initial state
// the user relies on is read back from the forms as built.
class TstForms : public QObject {
    Q_OBJECT

    QMainWindow mainWindow;
    Ui::TFormMain mainUi;
    QDialog dlgWindow;
    Ui::TFormDlg dlgUi;
    QDialog aboutWindow;
    Ui::TAboutBox aboutUi;
    QWidget logWindow;
    Ui::TFormLog logUi;

    QWidget* formNamed(const QString& name);

private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void lists_data();
    void lists();
    void fonts_data();
    void fonts();
    void logGridLooksLikeTheDesign();
    void mainWindowFitsItsFixedSize();
    void portDialogReturnsWhatItWasGiven_data();
    void portDialogReturnsWhatItWasGiven();
    void portDialogTakesOnlyPositiveRates_data();
    void portDialogTakesOnlyPositiveRates();
    void portDialogKeepsAChoiceForUnlistedValues();
    void treeIcons();
};

QWidget* TstForms::formNamed(const QString& name) {
    const QHash<QString, QWidget*> forms = {
        {"main", &mainWindow}, {"dlg", &dlgWindow}, {"about", &aboutWindow}, {"log", &logWindow}};
    return forms.value(name);
}

void TstForms::initTestCase() {
    mainUi.setupUi(&mainWindow);
    dlgUi.setupUi(&dlgWindow);
    aboutUi.setupUi(&aboutWindow);
    logUi.setupUi(&logWindow);
}

namespace {

void add(const char* form, const char* name, const char* property, const QVariant& expected) {
    QTest::addRow("%s %s.%s", form, name, property)
        << QString::fromLatin1(form) << QString::fromLatin1(name) << QByteArray(property)
        << expected;
}

void addText(const char* form, const char* name, const char* property, const char* utf8) {
    add(form, name, property, QString::fromUtf8(utf8));
}

void addRange(const char* name, double minimum, double maximum, double step) {
    add("main", name, "minimum", minimum);
    add("main", name, "maximum", maximum);
    add("main", name, "singleStep", step);
}

template <typename Enum> QVariant enumValue(Enum value) {
    return QVariant::fromValue(value);
}

struct ActionRow {
    const char* name;
    const char* category;
    const char* caption;
    const char* hint; // nullptr: none set, Qt then offers the caption
    bool enabled;
};

const ActionRow Actions[] = {
    {"ActFind", "Device", "Найти", "Начать поиск приборов", true},
    {"ActStop", "Device", "Стоп", "Остановить поиск", true},
    {"ActRenew", "Device", "Читать", "Начать автоматическое чтение данных из прибора", false},
    {"ActReadStop", "Device", "Стоп", "Остановить автоматическое чтение данных", true},
    {"ActReadLog", "Device", "Читать лог", nullptr, false},
    {"ActDelLog", "Device", "Удвлить лог", nullptr, false},
    {"ActWriteAddr", "Write", "Изменить", nullptr, true},
    {"ActWriteOpt", "Write", "Записать", nullptr, true},
    {"ActWriteCurr", "Write", "Установить", nullptr, true},
    {"ActZero", "Calb", "Уст. 0", "Установить ноль", false},
    {"ActZero2", "Calb", "Уст 0", nullptr, false},
    {"ActCalb", "Calb", "Град.", "Произвести градуировку по концентрации", false},
    {"ActInit", "Calb", "Сброс", "Сбросить градуировку", false},
    {"ActSaveToFile", "File", "Сохр.", "Сохранить лог в файл", false},
    {"ActHelp", "File", "Помощь", nullptr, true},
};

// A widget's own enabled setting; isEnabled() would also report the greyed panel around it.
QVariant actualValue(const QObject* object, const QByteArray& property) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget && property == "enabled")
        return !widget->testAttribute(Qt::WA_ForceDisabled);
    return object->property(property.constData());
}

QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

void TstForms::controls_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    addText("main", "TFormMain", "windowTitle", "KPX Tool 2.1.3");
    add("main", "TFormMain", "size", QSize(706, 719));
    addText("main", "BtFind", "text", "Найти");
    addText("main", "BtRead", "text", "Читать");
    addText("main", "BtSave", "text", "Сохр.");
    addText("main", "BtHelp", "text", "Помощь");
    addText("main", "BtClbZero", "text", "Уст 0");
    addText("main", "BtClbConc", "text", "Град.");
    addText("main", "BtClbInit", "text", "Сброс");

    addText("main", "FindPanelCaption", "text", "                      MODBUS RTU");
    addText("main", "SecBus", "title", "MODBUS RTU");
    add("main", "DevTree", "headerHidden", true);
    add("main", "DevTree", "iconSize", QSize(24, 24));
    add("main", "DevTree", "indentation", 27);
    add("main", "DevTree", "frameShape", enumValue(QFrame::NoFrame));
    add("main", "DevTree", "editTriggers",
        enumValue(QAbstractItemView::EditTriggers(QAbstractItemView::NoEditTriggers)));
    addText("main", "SecPort", "title", "Настройки");
    add("main", "ComBox", "editable", true);
    addText("main", "bCfg", "text", "...");
    addText("main", "bCfg", "toolTip", "Изменить настройки");

    add("main", "DevPanel", "enabled", false);
    addText("main", "DevPanelCaption", "text", "");
    addText("main", "SecGas", "title", "Измеряемый газ:");
    addText("main", "Label6", "text", "Концентрация:");
    add("main", "EditConc", "readOnly", true);
    addText("main", "LabelURV", "text", "Диапазон измерения:");
    addRange("EditURV", 1, 100, 0.01);
    addText("main", "LabelI", "text", "I токового выхода:");
    add("main", "EditI", "readOnly", true);
    addText("main", "LIUnit", "text", "мА");
    addText("main", "LabelTemp", "text", "Температура:");
    add("main", "EditTemp", "readOnly", true);
    addText("main", "LTempUnit", "text", "С");

    addText("main", "SecParams", "title", "Параметры");
    addText("main", "LabelGas", "text", "Газ:");
    addText("main", "LabelUnit", "text", "Единица измерения:");
    addText("main", "LabelMagnet", "text", "Концентрация для магнитной градуировки:");
    addRange("EditMagnet", 10, 100, 0.1);
    addText("main", "CBoxBlock", "text", "Блокировать показания при превышении порогов");
    add("main", "CBoxBlock", "layoutDirection", enumValue(Qt::RightToLeft));
    addText("main", "LabelLimit1", "text", "Порог №1:");
    addRange("EditLimit1", 0, 100, 0.1);
    addText("main", "LabelLimit2", "text", "Порог №2:");
    addRange("EditLimit2", 0, 100, 0.1);
    addText("main", "LabelHyster", "text", "Гистерезис:");
    addRange("EditHyster", 0, 100, 0.1);
    addText("main", "LabelZeroZone", "text", "Нулевая зона:");
    addRange("EditZeroZone", 0, 100, 0.1);
    addText("main", "LabelRelay1", "text", "Реле №1:");
    addText("main", "LabelRelay2", "text", "Реле №2:");
    addText("main", "LabelRelayD", "text", "Реле диаг.:");
    for (const char* relay : {"CBoxRelay1", "CBoxRelay2", "CBoxRelayD"})
        addText("main", relay, "toolTip", "Состояние реле в рабочем режиме");
    addText("main", "SpBtSetOptions", "text", "Записать");
    add("main", "SpBtSetOptions", "enabled", true);

    addText("main", "SecLink", "title", "Настройки связи");
    addText("main", "LabelBaud", "text", "Скорость:");
    addText("main", "LabelPar", "text", "Четность:");
    addText("main", "LabelStopBit", "text", "Стоп-бит:");
    addText("main", "LabelAddr", "text", "Адрес:");
    addRange("SEditAddr", 1, 247, 1);
    addText("main", "SpBtSetAddr", "text", "Записать");
    add("main", "SpBtSetAddr", "enabled", true);

    addText("main", "SecCurr", "title", "Настройка токового выхода");
    addText("main", "ChBoxCurrFix", "text", "Фиксировать ток:");
    add("main", "ChBoxCurrFix", "enabled", true);
    addText("main", "RBt01mA", "text", "1 мА");
    addText("main", "RBt04mA", "text", "4 мА");
    add("main", "RBt04mA", "checked", true);
    addText("main", "RBt20mA", "text", "20 мА");
    addText("main", "LabelEditCurr", "text", "Измеренное значение:");
    addRange("EditCurr", 0, 100, 0.01);
    add("main", "EditCurr", "decimals", 2);
    add("main", "EditCurr", "value", 4.0);
    addText("main", "Label15", "text", "мА");
    addText("main", "SpBtSetCurr", "text", "Записать");
    for (const char* name :
         {"RBt01mA", "RBt04mA", "RBt20mA", "LabelEditCurr", "EditCurr", "Label15", "SpBtSetCurr"})
        add("main", name, "enabled", false);

    addText("main", "SecLog", "title", "Лог обмена");
    add("main", "Log", "readOnly", true);
    add("main", "Log", "verticalScrollBarPolicy", enumValue(Qt::ScrollBarAlwaysOn));
    add("main", "Log", "lineWrapMode", enumValue(QPlainTextEdit::NoWrap));

    for (const ActionRow& action : Actions) {
        addText("main", action.name, "text", action.caption);
        addText("main", action.name, "toolTip", action.hint ? action.hint : action.caption);
        addText("main", action.name, "category", action.category);
        add("main", action.name, "enabled", action.enabled);
    }

    addText("dlg", "TFormDlg", "windowTitle", "Dlg");
    addText("dlg", "EditConcLabel", "text", "НКПР");
    add("dlg", "EditConc", "alignment", enumValue(Qt::Alignment(Qt::AlignCenter)));
    addText("dlg", "BtOk", "text", "Задать");
    add("dlg", "BtOk", "default", true);
    addText("dlg", "BtCancel", "text", "Отмена");

    addText("about", "TAboutBox", "windowTitle", "Помощь");
    add("about", "TAboutBox", "minimumSize", QSize(299, 263));
    add("about", "TAboutBox", "maximumSize", QSize(299, 263));
    addText("about", "HelpText", "plainText", "");
    add("about", "HelpText", "readOnly", true);
    add("about", "HelpText", "lineWrapMode", enumValue(QPlainTextEdit::WidgetWidth));
    add("about", "HelpText", "verticalScrollBarPolicy", enumValue(Qt::ScrollBarAlwaysOff));
    add("about", "HelpText", "horizontalScrollBarPolicy", enumValue(Qt::ScrollBarAlwaysOff));
    addText("about", "OKButton", "text", "OK");
    add("about", "OKButton", "default", true);

    addText("log", "TFormLog", "windowTitle", "Лог событий");
    add("log", "TFormLog", "size", QSize(614, 517));
    add("log", "TFormLog", "minimumSize", QSize(614, 517));
    add("log", "GridLog", "columnCount", 3);
    add("log", "GridLog", "rowCount", 512);
    add("log", "GridLog", "editTriggers",
        enumValue(QAbstractItemView::EditTriggers(QAbstractItemView::NoEditTriggers)));
    add("log", "GridLog", "verticalScrollBarPolicy", enumValue(Qt::ScrollBarAlwaysOn));
    addText("log", "BtSave", "text", "Сохранить");
    add("log", "BtSave", "size", QSize(75, 25));
    addText("log", "BtOpen", "text", "Открыть");
    add("log", "BtOpen", "size", QSize(75, 25));
}

void TstForms::controls() {
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    QWidget* window = formNamed(form);
    QObject* object = window->objectName() == name ? window : window->findChild<QObject*>(name);
    QVERIFY2(object, qPrintable(name + " is missing"));
    QCOMPARE(actualValue(object, property), expected);
}

void TstForms::lists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");

    const QStringList relay = {"Нормально разомкнутое", "Нормально замкнутое"};
    QTest::newRow("CBoxRelay1") << "CBoxRelay1" << relay;
    QTest::newRow("CBoxRelay2") << "CBoxRelay2" << relay;
    QTest::newRow("CBoxRelayD") << "CBoxRelayD" << relay;
    QTest::newRow("CBoxBaud") << "CBoxBaud" << QStringList{"1200",  "2400",  "4800",  "9600",
                                                           "19200", "38400", "57600", "115200"};
    QTest::newRow("CBoxPar") << "CBoxPar" << QStringList{"Нет", "Нечет", "Чет"};
    QTest::newRow("CBoxStopBit") << "CBoxStopBit" << QStringList{"1", "2"};
    // Filled from the detector's reply and from the machine's ports, never at design.
    QTest::newRow("CBoxGas") << "CBoxGas" << QStringList{};
    QTest::newRow("CBoxUnit") << "CBoxUnit" << QStringList{};
    QTest::newRow("ComBox") << "ComBox" << QStringList{};
}

void TstForms::lists() {
    QFETCH(QString, name);
    QFETCH(QStringList, expected);

    const auto* box = mainWindow.findChild<QComboBox*>(name);
    QVERIFY2(box, qPrintable(name + " is missing"));
    QCOMPARE(items(box), expected);
}

void TstForms::fonts_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("family");

    QTest::newRow("main") << "main"
                          << "Tahoma";
    QTest::newRow("about") << "about"
                           << "MS Sans Serif";
    QTest::newRow("log") << "log"
                         << "Tahoma";
}

void TstForms::fonts() {
    QFETCH(QString, form);
    QFETCH(QString, family);

    const QFont font = formNamed(form)->font();
    QCOMPARE(font.families().value(0), family);
    QCOMPARE(font.pointSize(), 8);
}

void TstForms::logGridLooksLikeTheDesign() {
    const QTableWidget* grid = logUi.GridLog;
    const QStringList headers = {"№", "Событие", "Информация"};
    for (int column = 0; column < headers.size(); ++column) {
        const QTableWidgetItem* header = grid->horizontalHeaderItem(column);
        QVERIFY(header);
        QCOMPARE(header->text(), headers[column]);
        QVERIFY(header->font().bold());
    }
    QVERIFY(grid->verticalHeader()->isHidden());
    QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 22);
    QCOMPARE(grid->rowHeight(511), 22);
}

// The window is not resizable, so whatever its layout needs beyond 706 x 719 would be cut
// off; the sections also keep the original's proportions.
void TstForms::mainWindowFitsItsFixedSize() {
    const QSize needed = mainWindow.minimumSizeHint();
    QVERIFY2(needed.width() <= 706 && needed.height() <= 719,
             qPrintable(QStringLiteral("needs %1 x %2").arg(needed.width()).arg(needed.height())));

    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    QCOMPARE(mainWindow.size(), QSize(706, 719));
    QCOMPARE(mainUi.FindPanel->width(), 217);
    QCOMPARE(mainUi.DevPanel->width(), 488);
    QCOMPARE(mainUi.BtPanel->height(), 41);

    const QPair<QWidget*, int> sections[] = {
        {mainUi.SecBus, 542},  {mainUi.SecPort, 98}, {mainUi.SecGas, 100}, {mainUi.SecParams, 240},
        {mainUi.SecLink, 106}, {mainUi.SecCurr, 96}, {mainUi.SecLog, 100}};
    for (const auto& [section, design] : sections) {
        const double ratio = section->height() / double(design);
        QVERIFY2(
            ratio > 0.9 && ratio < 1.1,
            qPrintable(
                section->objectName() +
                QStringLiteral(" is %1 px high, design %2").arg(section->height()).arg(design)));
    }

    const QWidget* toolbar = mainUi.BtPanel;
    QVERIFY(mainUi.BtHelp->geometry().right() < toolbar->width() / 2);
    QVERIFY(mainUi.BtClbZero->geometry().left() > toolbar->width() / 2);
    QVERIFY(mainUi.BtClbInit->geometry().right() >= toolbar->width() - 8);
    mainWindow.hide();
}

void TstForms::portDialogReturnsWhatItWasGiven_data() {
    QTest::addColumn<qint32>("baud");
    QTest::addColumn<QSerialPort::DataBits>("dataBits");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");

    QTest::newRow("start settings")
        << 19200 << QSerialPort::Data8 << QSerialPort::EvenParity << QSerialPort::OneStop;
    QTest::newRow("rate not in the list")
        << 250000 << QSerialPort::Data7 << QSerialPort::OddParity << QSerialPort::TwoStop;
    QTest::newRow("lowest of each")
        << 1200 << QSerialPort::Data5 << QSerialPort::NoParity << QSerialPort::OneAndHalfStop;
    QTest::newRow("mark") << 115200 << QSerialPort::Data6 << QSerialPort::MarkParity
                          << QSerialPort::OneStop;
    QTest::newRow("space") << 9600 << QSerialPort::Data8 << QSerialPort::SpaceParity
                           << QSerialPort::TwoStop;
}

void TstForms::portDialogReturnsWhatItWasGiven() {
    QFETCH(qint32, baud);
    QFETCH(QSerialPort::DataBits, dataBits);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(QSerialPort::StopBits, stopBits);

    PortSettingsDialog dialog;
    dialog.setSettings(baud, dataBits, parity, stopBits);
    QCOMPARE(dialog.baudRate(), baud);
    QCOMPARE(dialog.dataBits(), dataBits);
    QCOMPARE(dialog.parity(), parity);
    QCOMPARE(dialog.stopBits(), stopBits);
}

void TstForms::portDialogTakesOnlyPositiveRates_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint32>("baud");

    QTest::newRow("own rate") << "250000" << 250000;
    QTest::newRow("nothing") << "" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("beyond 32 bits") << "99999999999" << 0;
}

void TstForms::portDialogTakesOnlyPositiveRates() {
    QFETCH(QString, typed);
    QFETCH(qint32, baud);

    PortSettingsDialog dialog;
    dialog.setSettings(19200, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::OneStop);
    auto* box = dialog.findChild<QComboBox*>("BoxBaud");
    QVERIFY(box && box->lineEdit());
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), typed);

    QCOMPARE(dialog.baudRate(), baud);
    const QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QCOMPARE(ok->isEnabled(), baud > 0);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.accept();
    QCOMPARE(accepted.count(), baud > 0 ? 1 : 0);
}

// Values inside each enum's range that the lists do not offer.
void TstForms::portDialogKeepsAChoiceForUnlistedValues() {
    PortSettingsDialog dialog;
    dialog.setSettings(9600, QSerialPort::Data7, QSerialPort::OddParity, QSerialPort::TwoStop);
    dialog.setSettings(-5, QSerialPort::DataBits(4), QSerialPort::Parity(1),
                       QSerialPort::StopBits(0));
    QCOMPARE(dialog.baudRate(), 0);
    QCOMPARE(dialog.dataBits(), QSerialPort::Data7);
    QCOMPARE(dialog.parity(), QSerialPort::OddParity);
    QCOMPARE(dialog.stopBits(), QSerialPort::TwoStop);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.accept();
    QCOMPARE(accepted.count(), 0);
}

void TstForms::treeIcons() {
    const int images[] = {TreeImageDetector, 1, 2, 3, 4, TreeImageServiceable, TreeImageFaulty};
    QList<QImage> drawn;
    for (const int index : images) {
        const QIcon icon = TreeIcon(index);
        QVERIFY2(!icon.isNull(), qPrintable(QString::number(index)));
        const QImage image = icon.pixmap(TreeIconSize).toImage();
        QCOMPARE(image.size(), QSize(TreeIconSize, TreeIconSize));
        QVERIFY2(!drawn.contains(image), qPrintable(QString::number(index) + " repeats an image"));
        drawn << image;
    }
    for (const int index : {-1, 5, 6, 9})
        QVERIFY2(TreeIcon(index).isNull(), qPrintable(QString::number(index)));
}

QTEST_MAIN(TstForms)
#include "tst_forms.moc"
