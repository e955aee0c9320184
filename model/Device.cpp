#include "Device.h"

#include "RegisterMap.h"

namespace kpx {

namespace {

struct KindBand {
    int32_t below;
    int kind;
};
const KindBand KindBands[] = {{9400000, 3}, {9500000, 0}, {9600000, 1}, {9700000, 2}};

// Kind 2 firmware marks its builds differently, hence its own first limit.
struct GateLimits {
    uint16_t limitA;
    uint16_t limitAKind2;
    uint16_t limitB;
};
constexpr GateLimits MethaneGateLimits{0x0520, 0x0500, 0x0630};
constexpr GateLimits GasGateLimits{0x0520, 0x0480, 0x0590};
constexpr GateLimits UnitGateLimits{0x0520, 0x0500, 0x0600};

bool hasBits(uint16_t v, uint16_t bits) {
    return (v & bits) == bits;
}

bool versionBelow(int kind, uint16_t v, GateLimits l) {
    switch (kind) {
    case 0:
    case 1:
        return (hasBits(v, 3) && v < l.limitA) || (hasBits(v, 5) && v < l.limitB);
    case 2:
        return (hasBits(v, 2) && v < l.limitAKind2) || (hasBits(v, 3) && v < l.limitB);
    case 3:
        return true;
    default:
        return false;
    }
}

} // namespace

int32_t SerialFromRegisters(uint16_t high, uint16_t low) {
    return static_cast<int32_t>((uint32_t{high} << 16) | low);
}

std::optional<int> KindFromSerial(int32_t serialNumber) {
    for (const auto& band : KindBands) {
        if (serialNumber < band.below) {
            return band.kind;
        }
    }
    return std::nullopt;
}

bool IsFaulty(const TDevice& device) {
    return (device.Registers[Reg::Status] & StatusBit::Fault) != 0;
}

bool FirmwareBelow(int kind, uint16_t version, FirmwareLimits limits) {
    return version == 0 ||
           versionBelow(kind, version, {limits.limitA, limits.limitA, limits.limitB});
}

bool FirmwareBelow(const TDevice& device, FirmwareLimits limits) {
    return FirmwareBelow(device.Kind, device.Registers[Reg::Version], limits);
}

bool MethaneGate(int kind, uint16_t version) {
    return versionBelow(kind, version, MethaneGateLimits);
}

bool GasGate(int kind, uint16_t version) {
    return versionBelow(kind, version, GasGateLimits);
}

bool UnitGate(int kind, uint16_t version) {
    return versionBelow(kind, version, UnitGateLimits);
}

} // namespace kpx
