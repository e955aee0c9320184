#include "GasCatalogue.h"

#include <QSet>
#include <QtTest>

using namespace kpx;

namespace {

const stGas* edition(char e) {
    return e == 'A' ? GasEditionA() : GasEditionB();
}

QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

// Every field that differs between two rows, as "code Field".
QStringList differences(const stGas& a, const stGas& b, int code) {
    QStringList out;
    auto check = [&](bool same, const char* field) {
        if (!same) {
            out << QStringLiteral("%1 %2").arg(code).arg(QLatin1String(field));
        }
    };
    check(a.Name == b.Name, "Name");
    check(a.Formula == b.Formula, "Formula");
    check(a.FullScale == b.FullScale, "FullScale");
    check(a.MaxPercent == b.MaxPercent, "MaxPercent");
    check(a.Digits == b.Digits, "Digits");
    check(a.Units[0] == b.Units[0], "Unit0");
    check(a.Units[1] == b.Units[1], "Unit1");
    check(a.UnitFactor == b.UnitFactor, "UnitFactor");
    check(a.SensorType == b.SensorType, "SensorType");
    check(a.AuxValue == b.AuxValue, "AuxValue");
    check(a.AuxFactor == b.AuxFactor, "AuxFactor");
    check(a.ListPos == b.ListPos, "ListPos");
    check(a.RangeEditable == b.RangeEditable, "RangeEditable");
    return out;
}

} // namespace

class TstGasCatalogue : public QObject {
    Q_OBJECT
private slots:
    void unitText_data();
    void unitText();
    void textBytes_data();
    void textBytes();
    void letterScripts_data();
    void letterScripts();
    void rows_data();
    void rows();
    void auxFieldsFollowSensorType();
    void editionADiffersOnlyWhereListed();
    void placeholderForUnknownCodes_data();
    void placeholderForUnknownCodes();
    void gasList_data();
    void gasList();
    void listMappingRoundTrip_data();
    void listMappingRoundTrip();
    void unmatchedListIndexGivesPropane_data();
    void unmatchedListIndexGivesPropane();
};

void TstGasCatalogue::unitText_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("volume") << 149 << QStringLiteral("%об.");
    QTest::newRow("LEL") << 161 << QStringLiteral("%НКПР");
    QTest::newRow("ppm") << 139 << QStringLiteral("млн-1");
    QTest::newRow("mg/m3") << 171 << QStringLiteral("мгм/м3");
    QTest::newRow("zero") << 0 << QStringLiteral("???");
    QTest::newRow("near a code") << 150 << QStringLiteral("???");
}

void TstGasCatalogue::unitText() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(UnitText(code), text);
}

// Look-alike letters are invisible on screen, so compare the bytes.
void TstGasCatalogue::textBytes_data() {
    QTest::addColumn<char>("ed");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("isName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("isobutane formula, Cyrillic")
        << 'B' << 6 << false << QByteArray::fromHex("28d0a1d09d332932d0a1d09dd0a1d09d33");
    QTest::newRow("p-xylene, Latin P then Cyrillic")
        << 'B' << 20 << false << QByteArray::fromHex("502dd0a138d09d3130");
    QTest::newRow("o-xylene, Latin O then Cyrillic")
        << 'B' << 21 << false << QByteArray::fromHex("4f2dd0a138d09d3130");
    QTest::newRow("butadiene") << 'B' << 40 << false
                               << QByteArray::fromHex("d0a1d09d323dd0a1d09dd0a1d09d3dd0a1d09d32");
    QTest::newRow("isobutylene, Latin i")
        << 'B' << 43 << false << QByteArray::fromHex("692dd0a134d09d38");
    QTest::newRow("styrene") << 'B' << 62 << false << QByteArray::fromHex("d0a138d09d38");
    QTest::newRow("methane, Latin") << 'B' << 0 << false << QByteArray::fromHex("434834");
    QTest::newRow("oxygen, Latin") << 'A' << 23 << false << QByteArray::fromHex("4f32");
    QTest::newRow("hydrogen name, Latin B")
        << 'A' << 32 << true << QByteArray::fromHex("42d0bed0b4d0bed180d0bed0b4");
    QTest::newRow("methanol TLV, edition B")
        << 'B' << 34 << true << QByteArray::fromHex("d09cd0b5d182d0b0d0bdd0bed0bb28d09fd094d09a29");
    QTest::newRow("methanol TLV, edition A, with a space")
        << 'A' << 34 << true
        << QByteArray::fromHex("d09cd0b5d182d0b0d0bdd0bed0bb2028d09fd094d09a29");
}

void TstGasCatalogue::textBytes() {
    QFETCH(char, ed);
    QFETCH(int, code);
    QFETCH(bool, isName);
    QFETCH(QByteArray, bytes);
    const stGas& row = edition(ed)[code];
    QCOMPARE(utf8(isName ? row.Name : row.Formula), bytes);
}

// The rule behind the look-alikes, over every row: formulas of the listed
// codes are Cyrillic after an optional Latin prefix, all other formulas have
// no Cyrillic letter; names are Cyrillic except the PID rows and hydrogen's B.
void TstGasCatalogue::letterScripts_data() {
    QTest::addColumn<char>("ed");
    QTest::addColumn<int>("code");
    for (char ed : {'A', 'B'}) {
        for (int code = 0; code < GasRowCount; ++code) {
            QTest::addRow("%c%d", ed, code) << ed << code;
        }
    }
}

void TstGasCatalogue::letterScripts() {
    QFETCH(char, ed);
    QFETCH(int, code);
    static const QSet<int> cyrillicFormulas = {5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                               17, 18, 19, 20, 21, 22, 34, 40, 41, 42, 43, 62};
    static const QSet<int> latinPrefixed = {20, 21, 43};
    static const QSet<int> latinNames = {38, 46, 47};
    const stGas& row = edition(ed)[code];

    const int prefix = latinPrefixed.contains(code) ? 2 : 0;
    for (int i = 0; i < row.Formula.size(); ++i) {
        const QChar c = row.Formula[i];
        if (!c.isLetter()) {
            continue;
        }
        const bool cyrillic = cyrillicFormulas.contains(code) && i >= prefix;
        QVERIFY2(c.script() == (cyrillic ? QChar::Script_Cyrillic : QChar::Script_Latin),
                 qPrintable(QStringLiteral("formula %1 at %2").arg(row.Formula).arg(i)));
    }
    for (int i = 0; i < row.Name.size(); ++i) {
        const QChar c = row.Name[i];
        if (!c.isLetter()) {
            continue;
        }
        const bool latin = latinNames.contains(code) || (code == 32 && i == 0);
        QVERIFY2(c.script() == (latin ? QChar::Script_Latin : QChar::Script_Cyrillic),
                 qPrintable(QStringLiteral("name %1 at %2").arg(row.Name).arg(i)));
    }
}

void TstGasCatalogue::rows_data() {
    QTest::addColumn<char>("ed");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<float>("maxPercent");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("unit0");
    QTest::addColumn<int>("unit1");
    QTest::addColumn<float>("unitFactor");
    QTest::addColumn<int>("sensorType");
    QTest::addColumn<int>("listPos");
    QTest::addColumn<int>("rangeEditable");
    // clang-format off
    QTest::newRow("B methane %об.")  << 'B' << 0  << "Метан" << 10000 << 100.f << 2 << 149 << 149 << 1.f << 0 << 0 << 1;
    QTest::newRow("B methane %НКПР") << 'B' << 1  << "Метан" << 440 << 100.f << 1 << 161 << 161 << 1.f << 0 << 1 << 1;
    QTest::newRow("B cyclohexane")   << 'B' << 10 << "Циклогексан" << 120 << 50.f << 1 << 161 << 161 << 1.f << 0 << 8 << 1;
    QTest::newRow("B oxygen")        << 'B' << 23 << "Кислород" << 3000 << 100.f << 2 << 149 << 149 << 1.f << 1 << 0 << 1;
    QTest::newRow("B CO")            << 'B' << 24 << "Оксид углерода" << 5000 << 100.f << 0 << 139 << 171 << 1.1644f << 1 << 0 << 1;
    QTest::newRow("B hydrogen")      << 'B' << 32 << "Bодород" << 400 << 100.f << 2 << 149 << 161 << 25.f << 1 << 0 << 1;
    QTest::newRow("B diesel")        << 'B' << 33 << "Дизтопливо" << 90 << 100.f << 1 << 161 << 161 << 1.f << 0 << 10 << 1;
    QTest::newRow("B MEA")           << 'B' << 37 << "Моноэтаноламин" << 200 << 100.f << 2 << 139 << 171 << 2.5393f << 2 << 0 << 1;
    QTest::newRow("B PID3")          << 'B' << 47 << "PID3" << 1000 << 100.f << 3 << 139 << 161 << 1.f << 2 << 0 << 1;
    QTest::newRow("B ozone")         << 'B' << 55 << "Озон" << 25 << 100.f << 2 << 139 << 171 << 1.9953f << 1 << 0 << 1;
    QTest::newRow("B styrene")       << 'B' << 62 << "Стирол" << 110 << 100.f << 1 << 161 << 161 << 1.f << 0 << 19 << 1;
    QTest::newRow("B placeholder")   << 'B' << 63 << "Газ?" << 440 << 100.f << 1 << 161 << 161 << 1.f << 0 << 0 << 0;
    QTest::newRow("A CO2")           << 'A' << 3  << "Диоксид углерода" << 250 << 100.f << 2 << 149 << 149 << 1.f << 0 << 0 << 0;
    QTest::newRow("A ethane")        << 'A' << 4  << "Этан" << 250 << 50.f << 1 << 161 << 161 << 1.f << 0 << 3 << 0;
    QTest::newRow("A cyclohexane")   << 'A' << 10 << "Циклогексан" << 120 << 50.f << 1 << 161 << 161 << 1.f << 0 << 0 << 0;
    QTest::newRow("A methanol")      << 'A' << 12 << "Метанол" << 550 << 50.f << 1 << 161 << 161 << 1.f << 0 << 8 << 0;
    QTest::newRow("A CO")            << 'A' << 24 << "Оксид углерода" << 2000 << 100.f << 0 << 139 << 171 << 1.1644f << 1 << 0 << 1;
    QTest::newRow("A hydrogen")      << 'A' << 32 << "Bодород" << 200 << 100.f << 2 << 149 << 149 << 1.f << 1 << 0 << 1;
    QTest::newRow("A hexene")        << 'A' << 41 << "Гексен-1" << 100 << 100.f << 1 << 161 << 161 << 1.f << 0 << 12 << 0;
    QTest::newRow("A PID3")          << 'A' << 47 << "PID3" << 1000 << 100.f << 3 << 139 << 171 << 1.f << 2 << 0 << 1;
    QTest::newRow("A styrene")       << 'A' << 62 << "Стирол" << 110 << 100.f << 1 << 161 << 161 << 1.f << 0 << 18 << 0;
    QTest::newRow("A placeholder")   << 'A' << 63 << "Газ?" << 440 << 100.f << 1 << 161 << 161 << 1.f << 0 << 0 << 0;
    // clang-format on
}

void TstGasCatalogue::rows() {
    QFETCH(char, ed);
    QFETCH(int, code);
    const stGas& row = edition(ed)[code];
    QTEST(row.Name, "name");
    QTEST(int(row.FullScale), "fullScale");
    QTEST(row.MaxPercent, "maxPercent");
    QTEST(int(row.Digits), "digits");
    QTEST(int(row.Units[0]), "unit0");
    QTEST(int(row.Units[1]), "unit1");
    QFETCH(float, unitFactor);
    QCOMPARE(qFloatDistance(row.UnitFactor, unitFactor), 0u); // the single nearest the decimal
    QTEST(int(row.SensorType), "sensorType");
    QTEST(int(row.ListPos), "listPos");
    QTEST(int(row.RangeEditable), "rangeEditable");
}

void TstGasCatalogue::auxFieldsFollowSensorType() {
    const QHash<int, float> auxFactors = {{33, 0.72f}, {39, 1.3f}, {40, 0.15f}, {45, 0.8f}};
    for (const stGas* table : {GasEditionA(), GasEditionB()}) {
        for (int code = 0; code < GasRowCount; ++code) {
            const stGas& row = table[code];
            QCOMPARE(row.AuxValue, row.SensorType == 0 ? 500 : 0);
            QVERIFY(row.AuxFactor == auxFactors.value(code, 1.0f));
        }
    }
}

void TstGasCatalogue::editionADiffersOnlyWhereListed() {
    QStringList expected;
    const QList<int> rangeLocked = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                    12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                                    33, 38, 39, 40, 41, 42, 43, 44, 45, 48, 49, 62};
    for (int code : rangeLocked) {
        expected << QStringLiteral("%1 RangeEditable").arg(code);
    }
    for (int code : {10, 12, 33, 39, 40, 41, 42, 43, 44, 45, 48, 62}) {
        expected << QStringLiteral("%1 ListPos").arg(code);
    }
    for (int code : {3, 4, 7, 12, 16, 22, 24, 25, 32, 41}) {
        expected << QStringLiteral("%1 FullScale").arg(code);
    }
    for (int code : {4, 5, 6, 7, 9, 11, 13, 17}) {
        expected << QStringLiteral("%1 MaxPercent").arg(code);
    }
    expected << "32 Unit1"
             << "32 UnitFactor"
             << "47 Unit1"
             << "34 Name";

    QStringList actual;
    for (int code = 0; code < GasRowCount; ++code) {
        actual << differences(GasEditionA()[code], GasEditionB()[code], code);
    }
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
}

void TstGasCatalogue::placeholderForUnknownCodes_data() {
    QTest::addColumn<unsigned>("code");
    QTest::addColumn<int>("row");
    QTest::newRow("last row") << 63u << 63;
    QTest::newRow("first unknown") << 64u << 63;
    QTest::newRow("low byte would be methane") << 257u << 63;
    QTest::newRow("largest register value") << 65535u << 63;
    QTest::newRow("known") << 24u << 24;
}

void TstGasCatalogue::placeholderForUnknownCodes() {
    QFETCH(unsigned, code);
    QFETCH(int, row);
    for (const stGas* table : {GasEditionA(), GasEditionB()}) {
        QCOMPARE(&GasRow(table, code), &table[row]);
    }
}

void TstGasCatalogue::gasList_data() {
    QTest::addColumn<char>("ed");
    QTest::addColumn<int>("hideMethane");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("hasCyclohexane");
    QTest::newRow("B") << 'B' << 0 << 19 << "Метан"
                       << "Стирол" << true;
    QTest::newRow("A") << 'A' << 0 << 18 << "Метан"
                       << "Стирол" << false;
    QTest::newRow("B, methane hidden") << 'B' << 1 << 18 << "Пропан"
                                       << "Стирол" << true;
    QTest::newRow("A, methane hidden") << 'A' << 1 << 17 << "Пропан"
                                       << "Стирол" << false;
}

void TstGasCatalogue::gasList() {
    QFETCH(char, ed);
    QFETCH(int, hideMethane);
    const QStringList names = GasListNames(edition(ed), hideMethane);
    QTEST(int(names.size()), "count");
    QTEST(names.first(), "first");
    QTEST(names.last(), "last");
    QTEST(names.contains(QStringLiteral("Циклогексан")), "hasCyclohexane");
}

void TstGasCatalogue::listMappingRoundTrip_data() {
    QTest::addColumn<char>("ed");
    QTest::addColumn<int>("hideMethane");
    for (char ed : {'A', 'B'}) {
        for (int hide : {0, 1}) {
            QTest::addRow("%c, hide %d", ed, hide) << ed << hide;
        }
    }
}

// Both directions of the mapping must agree on every entry of the list.
void TstGasCatalogue::listMappingRoundTrip() {
    QFETCH(char, ed);
    QFETCH(int, hideMethane);
    const stGas* table = edition(ed);
    const QStringList names = GasListNames(table, hideMethane);
    for (int index = 0; index < names.size(); ++index) {
        const int code = GasCodeForListIndex(table, index, hideMethane);
        QCOMPARE(table[code].Name, names[index]);
        QCOMPARE(GasListIndex(table[code], hideMethane), index);
    }
    QCOMPARE(GasListIndex(table[2], 1), 0);
    QCOMPARE(GasListIndex(table[23], hideMethane), -1);
}

void TstGasCatalogue::unmatchedListIndexGivesPropane_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("hideMethane");
    QTest::newRow("past the end") << 19 << 0;
    QTest::newRow("no selection") << -1 << 0;
    QTest::newRow("no selection, methane hidden") << -1 << 1;
}

void TstGasCatalogue::unmatchedListIndexGivesPropane() {
    QFETCH(int, index);
    QFETCH(int, hideMethane);
    QCOMPARE(GasCodeForListIndex(GasEditionB(), index, hideMethane), 2);
}

QTEST_GUILESS_MAIN(TstGasCatalogue)
#include "tst_gascatalogue.moc"
