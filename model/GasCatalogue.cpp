#include "GasCatalogue.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace kpx {

namespace {

using Edition = std::array<stGas, GasRowCount>;

// The catalogue as the detector documentation lists it (edition B). The
// formulas mix Cyrillic and Latin letters of the same shape on purpose: each
// character is the one the detector firmware uses, so never retype them.
struct CatalogueLine {
    const char* name;
    const char* formula;
    uint16_t fullScale;
    float maxPercent;
    uint8_t digits;
    uint8_t unit0;
    uint8_t unit1;
    float unitFactor;
    int32_t sensorType;
    uint8_t listPos;
    uint8_t rangeEditable;
};

// clang-format off
const CatalogueLine EditionBLines[GasRowCount] = {
    {"Метан", "CH4", 10000, 100.0f, 2, 149, 149, 1.0f, 0, 0, 1}, // 0
    {"Метан", "CH4", 440, 100.0f, 1, 161, 161, 1.0f, 0, 1, 1}, // 1
    {"Пропан", "C3H8", 170, 100.0f, 1, 161, 161, 1.0f, 0, 2, 1}, // 2
    {"Диоксид углерода", "CO2", 500, 100.0f, 2, 149, 149, 1.0f, 0, 0, 1}, // 3
    {"Этан", "C2H6", 240, 100.0f, 1, 161, 161, 1.0f, 0, 3, 1}, // 4
    {"Бутан", "С4Н10", 140, 100.0f, 1, 161, 161, 1.0f, 0, 4, 1}, // 5
    {"Изобутан", "(СН3)2СНСН3", 130, 100.0f, 1, 161, 161, 1.0f, 0, 5, 1}, // 6
    {"Пентан", "С5Н12", 110, 100.0f, 1, 161, 161, 1.0f, 0, 6, 1}, // 7
    {"Циклопентан", "С5Н10", 140, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 8
    {"Гексан", "С6Н14", 100, 100.0f, 1, 161, 161, 1.0f, 0, 7, 1}, // 9
    {"Циклогексан", "С6Н12", 120, 50.0f, 1, 161, 161, 1.0f, 0, 8, 1}, // 10
    {"Этилен", "С2Н4", 230, 100.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 11
    {"Метанол", "СН3ОН", 600, 50.0f, 1, 161, 161, 1.0f, 0, 9, 1}, // 12
    {"Гептан", "С7Н16", 110, 100.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 13
    {"Пропилен", "С3Н6", 200, 100.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 14
    {"Этанол", "С2Н5ОН", 310, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 15
    {"Толуол", "С6Н5ОН3", 100, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 16
    {"Бензол", "С6Н6", 120, 100.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 17
    {"Этилбензол", "С8Н10", 100, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 18
    {"Ацетон", "СН3СОСН3", 250, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 19
    {"П-Ксилол", "P-С8Н10", 100, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 20
    {"О-Ксилол", "O-С8Н10", 100, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 21
    {"Изопропанол", "С3Н8О", 180, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 22
    {"Кислород", "O2", 3000, 100.0f, 2, 149, 149, 1.0f, 1, 0, 1}, // 23
    {"Оксид углерода", "CO", 5000, 100.0f, 0, 139, 171, 1.1644f, 1, 0, 1}, // 24
    {"Сероводород", "H2S", 20000, 100.0f, 1, 139, 171, 1.4166f, 1, 0, 1}, // 25
    {"Диоксида серы", "SO2", 200, 100.0f, 1, 139, 171, 2.663f, 1, 0, 1}, // 26
    {"Диоксид азота", "NO2", 300, 100.0f, 1, 139, 171, 1.9125f, 1, 0, 1}, // 27
    {"Хлор", "CL2", 100, 100.0f, 1, 139, 171, 2.9474f, 1, 0, 1}, // 28
    {"Аммиак", "NH3", 300, 100.0f, 0, 139, 171, 0.708f, 1, 0, 1}, // 29
    {"Оксид азота", "NO", 250, 100.0f, 0, 139, 171, 1.2474f, 1, 0, 1}, // 30
    {"Циановодород", "HCN", 300, 100.0f, 1, 139, 171, 1.1235f, 1, 0, 1}, // 31
    {"Bодород", "H2", 400, 100.0f, 2, 149, 161, 25.0f, 1, 0, 1}, // 32
    {"Дизтопливо", "DT", 90, 100.0f, 1, 161, 161, 1.0f, 0, 10, 1}, // 33
    {"Метанол(ПДК)", "СН3ОН", 2000, 100.0f, 1, 139, 171, 1.332f, 1, 0, 1}, // 34
    {"Фтористый водород", "HF", 100, 100.0f, 1, 139, 171, 0.8317f, 1, 0, 1}, // 35
    {"Хлористый водород", "HCL", 200, 100.0f, 1, 139, 171, 1.5156f, 1, 0, 1}, // 36
    {"Моноэтаноламин", "C2H7NO", 200, 100.0f, 2, 139, 171, 2.5393f, 2, 0, 1}, // 37
    {"PID1", "PID1", 1000, 100.0f, 1, 139, 171, 1.0f, 2, 0, 1}, // 38
    {"Бутилацетат", "C6H12O2", 130, 50.0f, 1, 161, 161, 1.0f, 0, 11, 1}, // 39
    {"Бутадиен-1,3", "СН2=СНСН=СН2", 140, 100.0f, 1, 161, 161, 1.0f, 0, 12, 1}, // 40
    {"Гексен-1", "С6Н12", 120, 100.0f, 1, 161, 161, 1.0f, 0, 13, 1}, // 41
    {"Бутен-1", "С4Н8", 160, 100.0f, 1, 161, 161, 1.0f, 0, 14, 1}, // 42
    {"Изобутилен", "i-С4Н8", 160, 50.0f, 1, 161, 161, 1.0f, 0, 15, 1}, // 43
    {"Бензин", "Gasoline", 100, 50.0f, 1, 161, 161, 1.0f, 0, 16, 1}, // 44
    {"Керосин", "Kerosene", 96, 50.0f, 1, 161, 161, 1.0f, 0, 17, 1}, // 45
    {"PID2", "PID2", 1000, 100.0f, 2, 139, 171, 1.0f, 2, 0, 1}, // 46
    {"PID3", "PID3", 1000, 100.0f, 3, 139, 161, 1.0f, 2, 0, 1}, // 47
    {"Изопентан", "i-C5H12", 130, 50.0f, 1, 161, 161, 1.0f, 0, 18, 1}, // 48
    {"Этиленоксид", "C2H4O", 260, 50.0f, 1, 161, 161, 1.0f, 0, 0, 1}, // 49
    {"Арсин", "AsH3", 100, 100.0f, 2, 139, 171, 3.2403f, 1, 0, 1}, // 50
    {"Фосфин", "PH3", 500, 100.0f, 2, 139, 171, 1.4133f, 1, 0, 1}, // 51
    {"Моносилан", "SiH3", 500, 100.0f, 1, 139, 171, 1.2932f, 1, 0, 1}, // 52
    {"Карбонилхлорид", "COCl2", 100, 100.0f, 2, 139, 171, 4.1118f, 1, 0, 1}, // 53
    {"Метилмеркаптан", "CH3SH", 100, 100.0f, 1, 139, 171, 1.9997f, 1, 0, 1}, // 54
    {"Озон", "O3", 25, 100.0f, 2, 139, 171, 1.9953f, 1, 0, 1}, // 55
    {"Бром", "Br2", 50, 100.0f, 1, 139, 171, 6.6434f, 1, 0, 1}, // 56
    {"Формальдегид", "CH2O", 100, 100.0f, 1, 139, 171, 1.2482f, 1, 0, 1}, // 57
    {"Этилмеркаптан", "C2H5SH", 140, 100.0f, 1, 139, 171, 2.5828f, 1, 0, 1}, // 58
    {"Этиленоксид(ПДК)", "C2H4O", 1000, 100.0f, 1, 139, 171, 1.8313f, 1, 0, 1}, // 59
    {"Этилен(ПДК)", "C2H4", 1000, 100.0f, 1, 139, 171, 1.1662f, 1, 0, 1}, // 60
    {"Этанол(ПДК)", "C2H5OH", 2000, 100.0f, 1, 139, 171, 1.9151f, 1, 0, 1}, // 61
    {"Стирол", "С8Н8", 110, 100.0f, 1, 161, 161, 1.0f, 0, 19, 1}, // 62
    {"Газ?", "???", 440, 100.0f, 1, 161, 161, 1.0f, 0, 0, 0}, // 63
};
// clang-format on

struct AuxFactorException {
    int code;
    float factor;
};
const AuxFactorException AuxFactors[] = {{33, 0.72f}, {39, 1.3f}, {40, 0.15f}, {45, 0.8f}};

float auxFactorOf(int code) {
    for (const auto& e : AuxFactors) {
        if (e.code == code) {
            return e.factor;
        }
    }
    return 1.0f;
}

stGas rowFromLine(const CatalogueLine& l, int code) {
    return stGas{QString::fromUtf8(l.name),
                 QString::fromUtf8(l.formula),
                 l.fullScale,
                 l.maxPercent,
                 l.digits,
                 {l.unit0, l.unit1},
                 l.unitFactor,
                 l.sensorType,
                 l.sensorType == 0 ? 500 : 0,
                 auxFactorOf(code),
                 l.listPos,
                 l.rangeEditable};
}

Edition makeEditionB() {
    Edition rows{};
    for (int code = 0; code < GasRowCount; ++code) {
        rows[code] = rowFromLine(EditionBLines[code], code);
    }
    return rows;
}

// Edition A is what old firmware knows: edition B with these differences.
struct CodeRange {
    int first;
    int last;
};
const CodeRange RangeLockedInA[] = {{0, 23}, {33, 33}, {38, 45}, {48, 49}, {62, 62}};

struct FullScaleChange {
    int code;
    uint16_t fullScale;
};
const FullScaleChange FullScalesInA[] = {{3, 250},  {4, 250},   {7, 140},   {12, 550}, {16, 110},
                                         {22, 200}, {24, 2000}, {25, 1000}, {32, 200}, {41, 100}};

const int HalfMaxPercentInA[] = {4, 5, 6, 7, 9, 11, 13, 17};

constexpr int CyclohexaneCode = 10;

// Old firmware does not offer cyclohexane; the gases after it move up one place.
void dropCyclohexaneFromList(Edition& rows) {
    rows[CyclohexaneCode].ListPos = 0;
    for (int code = CyclohexaneCode + 1; code < GasRowCount; ++code) {
        if (rows[code].ListPos != 0) {
            --rows[code].ListPos;
        }
    }
}

Edition makeEditionA() {
    Edition rows = makeEditionB();
    for (const auto& r : RangeLockedInA) {
        for (int code = r.first; code <= r.last; ++code) {
            rows[code].RangeEditable = 0;
        }
    }
    dropCyclohexaneFromList(rows);
    for (const auto& c : FullScalesInA) {
        rows[c.code].FullScale = c.fullScale;
    }
    for (int code : HalfMaxPercentInA) {
        rows[code].MaxPercent = 50.0f;
    }
    rows[32].Units[1] = UnitVolumePercent; // hydrogen in %об. only
    rows[32].UnitFactor = 1.0f;
    rows[47].Units[1] = UnitMgPerM3;
    rows[34].Name = QString::fromUtf8("Метанол (ПДК)");
    return rows;
}

struct UnitName {
    int code;
    const char* text;
};
const UnitName UnitNames[] = {{UnitVolumePercent, "%об."},
                              {UnitLelPercent, "%НКПР"},
                              {UnitPpm, "млн-1"},
                              {UnitMgPerM3, "мгм/м3"}};

} // namespace

const stGas* GasEditionA() {
    static const Edition rows = makeEditionA();
    return rows.data();
}

const stGas* GasEditionB() {
    static const Edition rows = makeEditionB();
    return rows.data();
}

const stGas& GasRow(const stGas* table, unsigned code) {
    return table[std::min(code, unsigned{PlaceholderGasCode})];
}

QString UnitText(int unitCode) {
    for (const auto& u : UnitNames) {
        if (u.code == unitCode) {
            return QString::fromUtf8(u.text);
        }
    }
    return QStringLiteral("???");
}

uint8_t UnitCodeAt(const stGas& row, int unitIndex) {
    return row.Units[unitIndex <= 0 ? 0 : 1];
}

QStringList GasListNames(const stGas* table, int hideMethane) {
    QStringList names;
    for (int code = hideMethane + 1; code < GasRowCount; ++code) {
        if (table[code].ListPos != 0) {
            names << table[code].Name;
        }
    }
    return names;
}

int GasListIndex(const stGas& row, int hideMethane) {
    if (row.ListPos == 0) {
        return -1;
    }
    return std::max(row.ListPos - 1 - hideMethane, -1);
}

int GasCodeForListIndex(const stGas* table, int listIndex, int hideMethane) {
    int code = 2;
    // No selection must not match the rows that are not in the list.
    if (listIndex < 0) {
        return code;
    }
    for (int i = hideMethane + 1; i < GasRowCount; ++i) {
        if (listIndex + hideMethane + 1 == table[i].ListPos) {
            code = i;
        }
    }
    return code;
}

} // namespace kpx
