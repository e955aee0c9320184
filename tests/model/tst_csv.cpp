#include "Csv.h"
#include "LogDecoder.h"

#include <QStringEncoder>
#include <QtTest>

using namespace kpx;

using Rows = QVector<QStringList>;

namespace {

const QByteArray Bom = QByteArray::fromHex("efbbbf");

QByteArray encoded(QStringConverter::Encoding encoding, const QString& text) {
    return QStringEncoder(encoding).encode(text);
}

Rows gridOf(const QVector<LogRow>& log) {
    Rows rows;
    for (const LogRow& row : log) {
        rows.append(QStringList(row.cells.cbegin(), row.cells.cend()));
    }
    return rows;
}

QString chars(std::initializer_list<char16_t> units) {
    QString text;
    for (char16_t u : units) {
        text.append(QChar(u));
    }
    return text;
}

} // namespace

class TstCsv : public QObject {
    Q_OBJECT

private slots:
    void writeLayout_data();
    void writeLayout();
    void savedLog();
    void roundTrip_data();
    void roundTrip();
    void encodings_data();
    void encodings();
    void readRules_data();
    void readRules();
    void nothingToRead_data();
    void nothingToRead();
    void hostileInput_data();
    void hostileInput();
    void overlay_data();
    void overlay();
};

void TstCsv::writeLayout_data() {
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("header, events, empty row")
        << Rows{{"№", "Событие", "Информация"},
                {"1", "Включен", ""},
                {"2", "Неисправность", "[0x01]: Питание понижено"},
                {"", "", ""}}
        << Bom + "№;Событие;Информация\r\n"
                 "1;Включен;\"\"\r\n"
                 "2;Неисправность;[0x01]: Питание понижено\r\n"
                 "\"\";\"\";\"\"\r\n";
    QTest::newRow("separator and quotes")
        << Rows{{"a;b", "say \"hi\"", "\""}} << Bom + "\"a;b\";\"say \"\"hi\"\"\";\"\"\"\"\r\n";
    QTest::newRow("line breaks and blanks")
        << Rows{{"a\r\nb", " lead", "trail "}} << Bom + "\"a\r\nb\";\" lead\";trail \r\n";
    QTest::newRow("no rows") << Rows{} << Bom;
}

void TstCsv::writeLayout() {
    QFETCH(Rows, rows);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CsvWrite(rows), bytes);
}

void TstCsv::savedLog() {
    const QByteArray raw = QByteArray(8, '\0') + QByteArray::fromHex("0100 0301 1502");
    const QByteArray file = CsvWrite(gridOf(FillLog(raw.leftJustified(RawLogSize, '\0'))));
    QVERIFY(file.startsWith(Bom + "№;Событие;Информация\r\n1;Включен;\"\"\r\n"
                                  "2;Неисправность;[0x01]: Питание понижено\r\n"
                                  "3;Изменены величины ЦАП токового выхода;\"\"\r\n"));
    QVERIFY(file.endsWith(QByteArray("\"\";\"\";\"\"\r\n").repeated(17)));
    QCOMPARE(file.count("\r\n"), 21);
}

void TstCsv::roundTrip_data() {
    QTest::addColumn<Rows>("rows");
    QByteArray fullLog(RawLogSize, '\0');
    for (int block = 0; block < LogBlockCount; ++block) {
        for (int slot = 0; slot < LogSlotsPerBlock; ++slot) {
            const int at = block * LogBlockSize + LogBlockPreamble + 2 * slot;
            fullLog[at] = static_cast<char>(1 + (block * LogSlotsPerBlock + slot) % 22);
            fullLog[at + 1] = static_cast<char>(slot * 2);
        }
    }
    QTest::newRow("decoded log, every slot") << gridOf(FillLog(fullLog));
    QTest::newRow("quotes and separators")
        << Rows{{"", ";", "\""}, {"\"\"", "\"x", "x\""}, {"a;\"b\";c", "\";\"", "\"\";\"\""}};
    QTest::newRow("line breaks") << Rows{{"a\r\nb", "a\nb", "a\rb"}, {"\r\n", "\n\n", "\r"}};
    QTest::newRow("blanks") << Rows{{" lead", "trail ", "   "}, {" \"q\"", "\t", " ;"}};
    QTest::newRow("byte-order mark in the first cell")
        << Rows{{chars({0xFEFF}) + "x", chars({0xFEFF}), "y"}};
    QTest::newRow("NUL and control characters")
        << Rows{{chars({0, 'a', 0}), chars({1, 0x1F}), chars({0x7F})}};
    QTest::newRow("mixed scripts and beyond the BMP")
        << Rows{{"Bодород", "СН3ОН", chars({0xD83D, 0xDE00})}};
    QTest::newRow("ragged rows") << Rows{{"a"}, {"b", "c", "d", "e"}, {"", ""}};
}

void TstCsv::roundTrip() {
    QFETCH(Rows, rows);
    const CsvReadResult read = CsvRead(CsvWrite(rows));
    QVERIFY(read.ok);
    QCOMPARE(read.error, QString());
    QCOMPARE(read.rows, rows);
}

void TstCsv::encodings_data() {
    const QString text = "№;Событие;Ёё—\r\n1;\"a;b\"\r\n";
    const Rows rows{{"№", "Событие", "Ёё—"}, {"1", "a;b"}};
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("UTF-8") << Bom + text.toUtf8() << rows;
    QTest::newRow("UTF-16 LE") << QByteArray::fromHex("fffe") +
                                      encoded(QStringConverter::Utf16LE, text)
                               << rows;
    QTest::newRow("UTF-16 BE") << QByteArray::fromHex("feff") +
                                      encoded(QStringConverter::Utf16BE, text)
                               << rows;
    QTest::newRow("Windows-1251") << QByteArray::fromHex("b93bd1eee1fbf2e8e53ba8b8970d0a") +
                                         "1;\"a;b\"\r\n"
                                  << rows;
    QTest::newRow("Windows-1251, unassigned 0x98")
        << QByteArray::fromHex("98c0ff") << Rows{{chars({0x98, 0x0410, 0x044F})}};
    QTest::newRow("UTF-8 without a mark reads as Windows-1251")
        << QByteArray::fromHex("d0af") << Rows{{"РЇ"}};
}

void TstCsv::encodings() {
    QFETCH(QByteArray, bytes);
    QFETCH(Rows, rows);
    const CsvReadResult read = CsvRead(bytes);
    QVERIFY(read.ok);
    QCOMPARE(read.rows, rows);
}

void TstCsv::readRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("quoted field spans lines")
        << QByteArray("1;\"a\r\nb\";c\r\n2;d;e\r\n") << Rows{{"1", "a\r\nb", "c"}, {"2", "d", "e"}};
    QTest::newRow("blanks before a field dropped")
        << QByteArray("  a; b;  \"c \";\td \r\n") << Rows{{"a", "b", "c ", "\td "}};
    QTest::newRow("doubled quotes")
        << QByteArray("\"say \"\"hi\"\"\";\"\"\"\";\"\"\r\n") << Rows{{"say \"hi\"", "\"", ""}};
    QTest::newRow("quotes inside a bare field kept")
        << QByteArray("a\"b\"c;d\r\n") << Rows{{"a\"b\"c", "d"}};
    QTest::newRow("short and long lines")
        << QByteArray("a\r\nb;c;d;e\r\n") << Rows{{"a"}, {"b", "c", "d", "e"}};
    QTest::newRow("LF and CR line ends") << QByteArray("a\nb\rc\r\n") << Rows{{"a"}, {"b"}, {"c"}};
    QTest::newRow("last line without a break") << QByteArray("a;b\r\nc") << Rows{{"a", "b"}, {"c"}};
    QTest::newRow("empty line") << QByteArray("a\r\n\r\nb\r\n") << Rows{{"a"}, {""}, {"b"}};
    QTest::newRow("only a line break") << QByteArray("\r\n") << Rows{{""}};
    QTest::newRow("trailing separator") << QByteArray("a;\r\n") << Rows{{"a", ""}};
    QTest::newRow("unbalanced quote runs to the end")
        << QByteArray("1;\"abc\r\n2;x\r\n") << Rows{{"1", "\"abc\r\n2;x\r\n"}};
}

void TstCsv::readRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(Rows, rows);
    const CsvReadResult read = CsvRead(bytes);
    QVERIFY(read.ok);
    QCOMPARE(read.rows, rows);
}

void TstCsv::nothingToRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::newRow("0 bytes: silent") << QByteArray() << "";
    QTest::newRow("UTF-8 mark only") << Bom << "File is empty";
    QTest::newRow("UTF-16 LE mark only") << QByteArray::fromHex("fffe") << "File is empty";
    QTest::newRow("UTF-16 BE mark only") << QByteArray::fromHex("feff") << "File is empty";
}

void TstCsv::nothingToRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const CsvReadResult read = CsvRead(bytes);
    QVERIFY(!read.ok);
    QCOMPARE(read.error, error);
    QVERIFY(read.rows.isEmpty());
}

void TstCsv::hostileInput_data() {
    const QByteArray tenMegabytes(10 * 1024 * 1024, 'x');
    const QString replacement = chars({0xFFFD});
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("10 MB single line") << tenMegabytes << Rows{{QString(tenMegabytes)}};
    QTest::newRow("10 MB after an unclosed quote")
        << "a;\"" + tenMegabytes + ";\r\n"
        << Rows{{"a", "\"" + QString(tenMegabytes) + ";\r\n"}};
    QTest::newRow("100 000 fields")
        << QByteArray("ab;").repeated(100000) + "c" << Rows{QStringList(100000, "ab") << "c"};
    QTest::newRow("NUL bytes") << QByteArray::fromHex("00003b000d0a00")
                               << Rows{{chars({0, 0}), chars({0})}, {chars({0})}};
    QTest::newRow("invalid UTF-8")
        << Bom + QByteArray::fromHex("41ff42c0af3be2")
        << Rows{{"A" + replacement + "B" + replacement + replacement, replacement}};
    QTest::newRow("odd-length UTF-16 LE")
        << QByteArray::fromHex("fffe41003b0042") << Rows{{"A", replacement}};
    QTest::newRow("odd-length UTF-16 BE")
        << QByteArray::fromHex("feff0041003b00") << Rows{{"A", replacement}};
    QTest::newRow("unpaired surrogates in UTF-16")
        << QByteArray::fromHex("fffe00d83b0000dc3b003dd800de")
        << Rows{{replacement, replacement, chars({0xD83D, 0xDE00})}};
}

void TstCsv::hostileInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(Rows, rows);
    const CsvReadResult read = CsvRead(bytes);
    QVERIFY(read.ok);
    QCOMPARE(read.rows, rows);
}

void TstCsv::overlay_data() {
    const Rows grid{{"a", "b", "c"}, {"d", "e", "f"}, {"g", "h", "i"}};
    QTest::addColumn<Rows>("cells");
    QTest::addColumn<Rows>("lines");
    QTest::addColumn<Rows>("result");
    QTest::newRow("short lines keep the rest of their row")
        << grid << Rows{{"1"}, {"2", "3"}, {"4", "5", "6"}}
        << Rows{{"1", "b", "c"}, {"2", "3", "f"}, {"4", "5", "6"}};
    QTest::newRow("a long line widens every row")
        << grid << Rows{{"1", "2", "3", "4"}, {"5"}, {"6"}}
        << Rows{{"1", "2", "3", "4"}, {"5", "e", "f", ""}, {"6", "h", "i", ""}};
    QTest::newRow("fewer lines than rows") << grid << Rows{{"1"}} << Rows{{"1", "b", "c"}};
    QTest::newRow("more lines than rows") << Rows{{"a", "b", "c"}} << Rows{{"1"}, {"2", "3"}}
                                          << Rows{{"1", "b", "c"}, {"2", "3", ""}};
    QTest::newRow("empty grid") << Rows{} << Rows{{"1", "2"}} << Rows{{"1", "2"}};
}

void TstCsv::overlay() {
    QFETCH(Rows, cells);
    QFETCH(Rows, lines);
    QFETCH(Rows, result);
    QCOMPARE(CsvOverlay(cells, lines), result);
}

QTEST_GUILESS_MAIN(TstCsv)
#include "tst_csv.moc"
