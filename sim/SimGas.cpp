#include "SimGas.h"

namespace {

const SimGas editionB[SimGasCount] = {
    {10000, 2, {149, 149}, 1.0f, 0},    // 0
    {440, 1, {161, 161}, 1.0f, 0},      // 1
    {170, 1, {161, 161}, 1.0f, 0},      // 2
    {500, 2, {149, 149}, 1.0f, 0},      // 3
    {240, 1, {161, 161}, 1.0f, 0},      // 4
    {140, 1, {161, 161}, 1.0f, 0},      // 5
    {130, 1, {161, 161}, 1.0f, 0},      // 6
    {110, 1, {161, 161}, 1.0f, 0},      // 7
    {140, 1, {161, 161}, 1.0f, 0},      // 8
    {100, 1, {161, 161}, 1.0f, 0},      // 9
    {120, 1, {161, 161}, 1.0f, 0},      // 10
    {230, 1, {161, 161}, 1.0f, 0},      // 11
    {600, 1, {161, 161}, 1.0f, 0},      // 12
    {110, 1, {161, 161}, 1.0f, 0},      // 13
    {200, 1, {161, 161}, 1.0f, 0},      // 14
    {310, 1, {161, 161}, 1.0f, 0},      // 15
    {100, 1, {161, 161}, 1.0f, 0},      // 16
    {120, 1, {161, 161}, 1.0f, 0},      // 17
    {100, 1, {161, 161}, 1.0f, 0},      // 18
    {250, 1, {161, 161}, 1.0f, 0},      // 19
    {100, 1, {161, 161}, 1.0f, 0},      // 20
    {100, 1, {161, 161}, 1.0f, 0},      // 21
    {180, 1, {161, 161}, 1.0f, 0},      // 22
    {3000, 2, {149, 149}, 1.0f, 1},     // 23
    {5000, 0, {139, 171}, 1.1644f, 1},  // 24
    {20000, 1, {139, 171}, 1.4166f, 1}, // 25
    {200, 1, {139, 171}, 2.663f, 1},    // 26
    {300, 1, {139, 171}, 1.9125f, 1},   // 27
    {100, 1, {139, 171}, 2.9474f, 1},   // 28
    {300, 0, {139, 171}, 0.708f, 1},    // 29
    {250, 0, {139, 171}, 1.2474f, 1},   // 30
    {300, 1, {139, 171}, 1.1235f, 1},   // 31
    {400, 2, {149, 161}, 25.0f, 1},     // 32
    {90, 1, {161, 161}, 1.0f, 0},       // 33
    {2000, 1, {139, 171}, 1.332f, 1},   // 34
    {100, 1, {139, 171}, 0.8317f, 1},   // 35
    {200, 1, {139, 171}, 1.5156f, 1},   // 36
    {200, 2, {139, 171}, 2.5393f, 2},   // 37
    {1000, 1, {139, 171}, 1.0f, 2},     // 38
    {130, 1, {161, 161}, 1.0f, 0},      // 39
    {140, 1, {161, 161}, 1.0f, 0},      // 40
    {120, 1, {161, 161}, 1.0f, 0},      // 41
    {160, 1, {161, 161}, 1.0f, 0},      // 42
    {160, 1, {161, 161}, 1.0f, 0},      // 43
    {100, 1, {161, 161}, 1.0f, 0},      // 44
    {96, 1, {161, 161}, 1.0f, 0},       // 45
    {1000, 2, {139, 171}, 1.0f, 2},     // 46
    {1000, 3, {139, 161}, 1.0f, 2},     // 47
    {130, 1, {161, 161}, 1.0f, 0},      // 48
    {260, 1, {161, 161}, 1.0f, 0},      // 49
    {100, 2, {139, 171}, 3.2403f, 1},   // 50
    {500, 2, {139, 171}, 1.4133f, 1},   // 51
    {500, 1, {139, 171}, 1.2932f, 1},   // 52
    {100, 2, {139, 171}, 4.1118f, 1},   // 53
    {100, 1, {139, 171}, 1.9997f, 1},   // 54
    {25, 2, {139, 171}, 1.9953f, 1},    // 55
    {50, 1, {139, 171}, 6.6434f, 1},    // 56
    {100, 1, {139, 171}, 1.2482f, 1},   // 57
    {140, 1, {139, 171}, 2.5828f, 1},   // 58
    {1000, 1, {139, 171}, 1.8313f, 1},  // 59
    {1000, 1, {139, 171}, 1.1662f, 1},  // 60
    {2000, 1, {139, 171}, 1.9151f, 1},  // 61
    {110, 1, {161, 161}, 1.0f, 0},      // 62
    {440, 1, {161, 161}, 1.0f, 0},      // 63
};

struct FullScalePatch {
    int code;
    quint16 fullScale;
};

// Where the older table differs in full scale.
const FullScalePatch editionAFullScales[] = {
    {3, 250},  {4, 250},   {7, 140},   {12, 550}, {16, 110},
    {22, 200}, {24, 2000}, {25, 1000}, {32, 200}, {41, 100},
};

constexpr int Hydrogen = 32;
constexpr int Pid3 = 47;
constexpr int Placeholder = 63;

} // namespace

SimGas simGas(int code, bool editionA) {
    const int row = code >= 0 && code < SimGasCount ? code : Placeholder;
    SimGas gas = editionB[row];
    if (!editionA)
        return gas;
    for (const FullScalePatch& patch : editionAFullScales)
        if (patch.code == row)
            gas.fullScale = patch.fullScale;
    if (row == Hydrogen) {
        gas.units[1] = SimUnit::Volume;
        gas.factor = 1.0f;
    }
    if (row == Pid3)
        gas.units[1] = SimUnit::MgM3;
    return gas;
}

bool simGasIsCombustible(int code) {
    if (code < 0 || code >= Placeholder)
        return false;
    const SimGas& gas = editionB[code];
    return gas.sensorType == 0 && gas.units[0] == SimUnit::Lel;
}

int simKind(quint32 id) {
    const qint32 number = qint32(id);
    if (number < 9400000)
        return 3;
    if (number < 9500000)
        return 0;
    if (number < 9600000)
        return 1;
    if (number < 9700000)
        return 2;
    return -1;
}

bool simFirmwareBelow(int kind, quint16 version, quint16 limitA, quint16 limitB) {
    if (version == 0)
        return true;
    switch (kind) {
    case 0:
    case 1:
        return ((version & 3) == 3 && version < limitA) || ((version & 5) == 5 && version < limitB);
    case 2:
        return ((version & 2) == 2 && version < limitA) || ((version & 3) == 3 && version < limitB);
    case 3:
        return true;
    default:
        return false;
    }
}
