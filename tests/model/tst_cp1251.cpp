#include "Cp1251.h"

#include <QStringDecoder>
#include <QtTest>
#include <array>

using namespace kpx;

class TstCp1251 : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void everyByte();
};

void TstCp1251::lines_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    const QString pair = QString::fromUtf16(u"\U0001F600");
    QTest::newRow("no lines") << QStringList() << QByteArray();
    QTest::newRow("one empty line") << QStringList{""} << QByteArray::fromHex("0d0a");
    QTest::newRow("ASCII, tab kept")
        << QStringList{"Timeout!\t> MODBUS"} << QByteArray("Timeout!\t> MODBUS\r\n");
    QTest::newRow("Cyrillic") << QStringList{"Поиск окончен"}
                              << QByteArray::fromHex("cfeee8f1ea20eeeaeeedf7e5ed0d0a");
    QTest::newRow("Cyrillic, both cases, ends of the alphabet")
        << QStringList{"АЯаяЁё"} << QByteArray::fromHex("c0dfe0ffa8b80d0a");
    QTest::newRow("Ukrainian and Belarusian letters")
        << QStringList{"ЇїІіЄєҐґЎў"} << QByteArray::fromHex("afbfb2b3aabaa5b4a1a20d0a");
    QTest::newRow("signs of the upper half")
        << QStringList{QString::fromUtf16(u"№€«»°±\u00a0\u2014™")}
        << QByteArray::fromHex("b988abbbb0b1a097990d0a");
    QTest::newRow("dump entry: lines, then an empty line")
        << QStringList{"Прибор:1  Функция:03  Регистр:0001 = 0093",
                       "Прибор:1  Функция:03  Регистр:0002 = 1A2B", "", "Поиск окончен"}
        << QByteArray::fromHex("cff0e8e1eef03a312020d4f3edeaf6e8ff3a30332020d0e5e3e8f1f2f03a"
                               "30303031203d20303039330d0a"
                               "cff0e8e1eef03a312020d4f3edeaf6e8ff3a30332020d0e5e3e8f1f2f03a"
                               "30303032203d20314132420d0a"
                               "0d0a"
                               "cfeee8f1ea20eeeaeeedf7e5ed0d0a");
    QTest::newRow("outside the code page: one '?' each, neighbours intact")
        << QStringList{QString::fromUtf16(u"aéb中c"), "Ж"} << QByteArray("a?b?c\r\n\xc6\r\n");
    QTest::newRow("surrogate pair is one character")
        << QStringList{"Ж" + pair + "Ж"} << QByteArray("\xc6?\xc6\r\n");
    QTest::newRow("lone surrogates")
        << QStringList{QString("a") + QChar(0xD800) + "b" + QChar(0xDC00)}
        << QByteArray("a?b?\r\n");
    QTest::newRow("breaks inside a line become CR LF")
        << QStringList{QString::fromUtf16(u"a\nb\r\nc\rd\u2028e\u2029f")}
        << QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n");
    QTest::newRow("LF CR is two breaks") << QStringList{"a\n\rb"} << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("trailing break inside the last line")
        << QStringList{"a\r\n"} << QByteArray("a\r\n\r\n");
}

void TstCp1251::lines() {
    QFETCH(QStringList, lines);
    QTEST(Cp1251Lines(lines), "bytes");
}

// Every byte value both ways, against the table the program used to carry:
// 0x98, unassigned in the code page, is the C1 control U+0098 as Windows and
// WHATWG map it.
void TstCp1251::everyByte() {
    // clang-format off
    static constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};
    // clang-format on
    QVERIFY2(QStringDecoder("windows-1251").isValid(), "Qt reads windows-1251 only through ICU");
    for (int b = 0; b <= 0xff; ++b) {
        const QByteArray byte(1, char(b));
        const QChar c(b < 0x80 ? char16_t(b) : kUpperHalf[size_t(b - 0x80)]);
        QCOMPARE(FromCp1251(byte), QString(c));
        if (b == '\n' || b == '\r')
            continue; // line breaks are written as CR LF
        QCOMPARE(Cp1251Lines({QString(c)}).toHex(), (byte + "\r\n").toHex());
    }
    // A control byte that ICU also uses for what it cannot map stays itself.
    QCOMPARE(Cp1251Lines({QString(QChar(0x1a)) + QChar(0x4e2d)}), QByteArray("\x1a?\r\n"));
}

QTEST_GUILESS_MAIN(TstCp1251)
#include "tst_cp1251.moc"
