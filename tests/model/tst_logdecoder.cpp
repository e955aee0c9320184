#include "LogDecoder.h"

#include <QtTest>

using namespace kpx;

namespace {

// A raw log with the given (code, parameter) pairs in the first slots, in
// storage order across the blocks. The preambles hold code 1 so that reading
// them as slots would show up as extra events.
QByteArray rawLog(const QByteArray& pairs) {
    QByteArray raw(RawLogSize, '\0');
    for (int block = 0; block < LogBlockCount; ++block) {
        raw.replace(block * LogBlockSize, LogBlockPreamble, QByteArray(LogBlockPreamble, '\x01'));
    }
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const qsizetype slot = i / 2;
        const qsizetype block = slot / LogSlotsPerBlock;
        raw[block * LogBlockSize + LogBlockPreamble + 2 * (slot % LogSlotsPerBlock) + i % 2] =
            pairs[i];
    }
    return raw;
}

QByteArray oneEvent(int code, int p) {
    QByteArray pair(2, '\0');
    pair[0] = static_cast<char>(code);
    pair[1] = static_cast<char>(p);
    return rawLog(pair);
}

} // namespace

class TstLogDecoder : public QObject {
    Q_OBJECT

private slots:
    void eventNames_data();
    void eventNames();
    void infoCell_data();
    void infoCell();
    void gasNames_data();
    void gasNames();
    void numbering();
    void rowCount_data();
    void rowCount();
    void rawOfAnyLength_data();
    void rawOfAnyLength();

private:
    void checkInfoCell();
};

void TstLogDecoder::eventNames_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasInfo");
    QTest::newRow("1") << 1 << "Включен" << false;
    QTest::newRow("2") << 2 << "Перезагрузка" << false;
    QTest::newRow("3") << 3 << "Неисправность" << true;
    QTest::newRow("4") << 4 << "Градуировка нуля" << false;
    QTest::newRow("5") << 5 << "Калибовка концентрации" << true;
    QTest::newRow("6") << 6 << "Градуировка концентрации" << true;
    QTest::newRow("7") << 7 << "Сброс показаний" << false;
    QTest::newRow("8") << 8 << "Превышение порога №1" << true;
    QTest::newRow("9") << 9 << "Превышение порога №2" << true;
    QTest::newRow("10") << 10 << "Превышение диапазона измерения" << true;
    QTest::newRow("11") << 11 << "Установка измеряемого газа" << true;
    QTest::newRow("12") << 12 << "Установка диапазона измерения" << true;
    QTest::newRow("13") << 13 << "Установка единицы измерения" << true;
    QTest::newRow("14") << 14 << "Установка значения порога №2" << true;
    QTest::newRow("15") << 15 << "Установка значения порога №1" << true;
    QTest::newRow("16") << 16 << "Установка величины нулевой зоны" << true;
    QTest::newRow("17") << 17 << "Установка величины гистерезиса" << true;
    QTest::newRow("18") << 18 << "Установка значения магнитной градуировки" << true;
    QTest::newRow("19") << 19 << "Изменён MODBUS адрес" << true;
    QTest::newRow("20") << 20 << "Изменены настройки интерфейса RS-485" << true;
    QTest::newRow("21") << 21 << "Изменены величины ЦАП токового выхода" << false;
    QTest::newRow("22") << 22 << "Изменены настройки реле" << true;
}

void TstLogDecoder::eventNames() {
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(bool, hasInfo);
    const LogRow row = FillLog(oneEvent(code, 0x01)).at(1);
    QCOMPARE(row.cells[0], "1");
    QCOMPARE(row.cells[1], name);
    QCOMPARE(row.cells[2].isEmpty(), !hasInfo);
    QCOMPARE(row.leftAligned, (std::array<bool, 3>{false, false, hasInfo}));
}

void TstLogDecoder::infoCell_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("cell");
    QTest::newRow("threshold 1 exceeded") << 8 << 0x32 << "[0x32]: 50 % диапазона измерения";
    QTest::newRow("calibration, no value") << 5 << 0x00 << "[0x00]: ";
    QTest::newRow("span, full scale") << 6 << 0xFF << "[0xFF]: 255 % диапазона измерения";
    QTest::newRow("threshold 2 set to 0") << 14 << 0x00 << "[0x00]: 0 % диапазона измерения";
    QTest::newRow("magnetic calibration") << 18 << 0x0A << "[0x0A]: 10 % диапазона измерения";
    QTest::newRow("fault, lowest bit wins") << 3 << 0x06 << "[0x06]: Отсутствует датчик";
    QTest::newRow("fault, power") << 3 << 0x0F << "[0x0F]: Питание понижено";
    QTest::newRow("fault, contamination") << 3 << 0x0C << "[0x0C]: Загрязнение датчика";
    QTest::newRow("fault, bus") << 3 << 0x08 << "[0x08]: Обрыв шины";
    QTest::newRow("fault, no bit") << 3 << 0x00 << "[0x00]: Аппаратная";
    QTest::newRow("fault, high bits ignored") << 3 << 0xF0 << "[0xF0]: Аппаратная";
    QTest::newRow("gas beyond the catalogue") << 11 << 0x40 << "[0x40]: ";
    QTest::newRow("gas 255") << 11 << 0xFF << "[0xFF]: ";
    QTest::newRow("range") << 12 << 0xFF << "[0xFF]: = 255";
    QTest::newRow("address") << 19 << 0x00 << "[0x00]: = 0";
    QTest::newRow("unit %LEL") << 13 << 0xA1 << "[0xA1]: %НКПР";
    QTest::newRow("unit %vol") << 13 << 149 << "[0x95]: %об.";
    QTest::newRow("unit ppm") << 13 << 139 << "[0x8B]: млн-1";
    QTest::newRow("unit mg/m3") << 13 << 171 << "[0xAB]: мгм/м3";
    QTest::newRow("unit unknown") << 13 << 0x00 << "[0x00]: ?";
    QTest::newRow("line 9600 odd") << 20 << 0x54 << "[0x54]: 9600 / 8 - ODD - 1";
    QTest::newRow("line all zero") << 20 << 0x00 << "[0x00]: 0 / 8 - NONE - 0";
    QTest::newRow("line 19200 even") << 20 << 0x65 << "[0x65]: 19200 / 8 - EVEN - 1";
    QTest::newRow("line 115200") << 20 << 0x98 << "[0x98]: 115200 / 8 - ODD - 2";
    QTest::newRow("line baud code 9") << 20 << 0x39 << "[0x39]: ? / 8 - ? - 0";
    QTest::newRow("line baud code 15") << 20 << 0xFF << "[0xFF]: ? / 8 - ? - 3";
    QTest::newRow("relays") << 22 << 0x05 << "[0x05]: НЗР1 / НРР2 / НЗР Диагностики";
    QTest::newRow("relays all open") << 22 << 0xF8 << "[0xF8]: НРР1 / НРР2 / НРР Диагностики";
    QTest::newRow("relays all closed") << 22 << 0x07 << "[0x07]: НЗР1 / НЗР2 / НЗР Диагностики";
    QTest::newRow("no parameter") << 1 << 0x5A << "";
    QTest::newRow("current output trimmed") << 21 << 0xFF << "";
}

void TstLogDecoder::checkInfoCell() {
    QFETCH(int, code);
    QFETCH(int, p);
    QFETCH(QString, cell);
    const LogRow row = FillLog(oneEvent(code, p)).at(1);
    QCOMPARE(row.cells[2], cell);
    QCOMPARE(row.leftAligned[2], !cell.isEmpty());
}

void TstLogDecoder::infoCell() {
    checkInfoCell();
}

// These rows take their names from the gas catalogue (edition B).
void TstLogDecoder::gasNames_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("cell");
    QTest::newRow("methane, vol") << 11 << 0x00 << "[0x00]: Метан / №0";
    QTest::newRow("methane, LEL") << 11 << 0x01 << "[0x01]: Метан / №1";
    QTest::newRow("hydrogen, Latin B") << 11 << 0x20 << "[0x20]: Bодород / №32";
    QTest::newRow("methanol, edition B spelling") << 11 << 0x22 << "[0x22]: Метанол(ПДК) / №34";
    QTest::newRow("last row") << 11 << 0x3F << "[0x3F]: Газ? / №63";
}

void TstLogDecoder::gasNames() {
    checkInfoCell();
}

void TstLogDecoder::numbering() {
    QByteArray pairs = QByteArray::fromHex("0100 0001 1701 ff01 0200"); // 0, 23, 255 skipped
    pairs.append(QByteArray(2 * (LogSlotsPerBlock - 6), '\0'));
    pairs.append(QByteArray::fromHex("0400 0700")); // last of block 0, first of 1
    pairs.append(QByteArray(2 * (3 * LogSlotsPerBlock - 2), '\0'));
    pairs.append(QByteArray::fromHex("1500")); // last slot of block 3
    QCOMPARE(pairs.size(), 2 * 4 * LogSlotsPerBlock);

    const QVector<LogRow> rows = FillLog(rawLog(pairs));
    const QStringList names = {"Включен", "Перезагрузка", "Градуировка нуля", "Сброс показаний",
                               "Изменены величины ЦАП токового выхода"};
    QCOMPARE(rows.size(), LogMinRowCount);
    for (int r = 1; r <= names.size(); ++r) {
        QCOMPARE(rows[r].cells[0], QString::number(r));
        QCOMPARE(rows[r].cells[1], names[r - 1]);
    }
    for (qsizetype r = names.size() + 1; r < rows.size(); ++r) {
        QCOMPARE(rows[r], LogRow());
    }
}

void TstLogDecoder::rowCount_data() {
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("rowCount");
    QTest::newRow("empty log") << 0 << 21;
    QTest::newRow("3 events") << 3 << 21;
    QTest::newRow("20 events fill the window") << 20 << 21;
    QTest::newRow("21 events") << 21 << 22;
    QTest::newRow("every slot") << 512 << 513;
}

void TstLogDecoder::rowCount() {
    QFETCH(int, events);
    QFETCH(int, rowCount);
    const QVector<LogRow> rows = FillLog(rawLog(QByteArray::fromHex("0700").repeated(events)));
    QCOMPARE(rows.size(), rowCount);
    QCOMPARE(rows[0].cells, (std::array<QString, 3>{"№", "Событие", "Информация"}));
    QCOMPARE(rows[0].leftAligned, (std::array<bool, 3>{}));
    for (int r = 1; r < rowCount; ++r) {
        const bool isEvent = r <= events;
        QCOMPARE(rows[r].cells[0], isEvent ? QString::number(r) : QString());
        QCOMPARE(rows[r].cells[1], isEvent ? QString("Сброс показаний") : QString());
    }
}

// The service channel always delivers the whole log; anything else must
// neither read past the buffer nor invent events.
void TstLogDecoder::rawOfAnyLength_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("events");
    QTest::newRow("nothing") << 0 << 0;
    QTest::newRow("preamble and half a slot") << 9 << 0;
    QTest::newRow("one slot") << 10 << 1;
    QTest::newRow("one block") << 264 << 128;
    QTest::newRow("block and a preamble byte") << 265 << 128;
    QTest::newRow("block and one slot") << 274 << 129;
    QTest::newRow("whole log") << RawLogSize << 512;
    QTest::newRow("trailing bytes") << 2000 << 512;
}

void TstLogDecoder::rawOfAnyLength() {
    QFETCH(int, size);
    QFETCH(int, events);
    const QVector<LogRow> rows = FillLog(QByteArray(size, '\x01'));
    QCOMPARE(rows.size(), qMax(events + 1, LogMinRowCount));
    QCOMPARE(rows[events].cells[0], events ? QString::number(events) : QString("№"));
    if (events + 1 < rows.size()) {
        QCOMPARE(rows[events + 1], LogRow());
    }
}

QTEST_GUILESS_MAIN(TstLogDecoder)
#include "tst_logdecoder.moc"
