#include "CurrentTrim.h"

#include "RegisterMap.h"

#include <algorithm>

namespace kpx {

namespace {

// The entry the detector takes without clamping or counting.
bool isCentiMilliamp(float v) {
    return v > 0.009 && v < 0.011;
}

float clampedToPoint(CurrentPoint point, float v) {
    const float p = PointMilliamps(point);
    return std::clamp(v, p - 0.3f, p + 0.3f);
}

// Presses that write before the trim counts as settled.
constexpr int SettledAfterRepeats = 3;

} // namespace

uint16_t CurrentSetupWord(uint16_t stored, bool on) {
    return on ? static_cast<uint16_t>(stored | StatusBit::CurrentSetup)
              : static_cast<uint16_t>(stored & ~StatusBit::CurrentSetup);
}

float PointMilliamps(CurrentPoint point) {
    switch (point) {
    case CurrentPoint::Point1mA:
        return 1.0f;
    case CurrentPoint::Point4mA:
        return 4.0f;
    case CurrentPoint::Point20mA:
        break;
    }
    return 20.0f;
}

uint16_t PointCode(CurrentPoint point, const stGas& row, uint16_t unitWord, uint16_t range) {
    switch (point) {
    case CurrentPoint::Point1mA:
        return Command::Point1mA;
    case CurrentPoint::Point4mA:
        return Command::Point4mA;
    case CurrentPoint::Point20mA:
        break;
    }
    return Point20Code(row, unitWord, range);
}

uint16_t TrimRegisterValue(float milliamps) {
    return RegisterRound(double(milliamps) * 100.0);
}

MeasuredCurrent EnterMeasuredCurrent(CurrentPoint point, float typed, float& lastValue,
                                     int& repeats) {
    MeasuredCurrent m;
    m.entered = typed;
    if (!isCentiMilliamp(typed)) {
        m.entered = clampedToPoint(point, typed);
        repeats = m.entered == lastValue ? repeats + 1 : 0;
        lastValue = m.entered;
    }
    m.settled = repeats >= SettledAfterRepeats;
    m.registerValue = TrimRegisterValue(m.entered);
    m.shown = clampedToPoint(point, m.entered);
    return m;
}

} // namespace kpx
