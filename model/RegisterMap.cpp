#include "RegisterMap.h"

namespace kpx {

DetectorLineSettings DecodeLineWord(uint16_t word) {
    return DetectorLineSettings{word >> 8, (word & 0x0F) - 1, (word >> 4) & 3,
                                ((word >> 6) & 3) - 1};
}

uint16_t EncodeLineWord(const DetectorLineSettings& s) {
    return static_cast<uint16_t>(s.address * 256 + (s.stopBitsIndex + 1) * 64 + s.parityIndex * 16 +
                                 s.baudIndex + 1);
}

int UnitIndex(uint16_t unitWord) {
    return (unitWord & UnitBit::SecondUnit) != 0 ? 1 : 0;
}

uint16_t SettingsStatusWord(uint16_t stored, bool block, int relay1, int relay2, int relayD) {
    const int relayWord = (block ? 256 : 0) + relay1 * 1024 + relay2 * 2048 + relayD * 4096;
    return static_cast<uint16_t>((stored & StatusBit::KeptBySettingsWrite) + relayWord);
}

} // namespace kpx
