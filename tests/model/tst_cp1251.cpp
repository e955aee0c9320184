#include "Cp1251.h"

#include <QStringDecoder>
#include <QtTest>

using namespace kpx;

class TstCp1251 : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void upperHalfAgreesWithIcu();
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

// The built-in table against an independent implementation, where Qt has one.
void TstCp1251::upperHalfAgreesWithIcu() {
    QStringDecoder icu("windows-1251");
    if (!icu.isValid()) {
        // QSKIP with one argument trips clang's pedantic variadic-macro check.
        QTest::qSkip("Qt is built without ICU: no windows-1251 decoder to compare with", __FILE__,
                     __LINE__);
        return;
    }
    for (int b = 0x80; b <= 0xff; ++b) {
        const QString c = icu.decode(QByteArray(1, char(b)));
        QCOMPARE(c.size(), 1);
        QVERIFY(c[0] != QChar::ReplacementCharacter);
        QCOMPARE(Cp1251Lines({c}).toHex(), (QByteArray(1, char(b)) + "\r\n").toHex());
    }
}

QTEST_GUILESS_MAIN(TstCp1251)
#include "tst_cp1251.moc"
