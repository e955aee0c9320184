#include "PanelRules.h"

#include "Device.h"
#include "NumberFormat.h"
#include "RegisterMap.h"

namespace {

constexpr int FirstBusAddress = 1;
constexpr int LastBusAddress = 247;
constexpr uint16_t LineSettingsBits = 0x00FF;

int relayIndex(uint16_t statusWord, uint16_t bit) {
    return (statusWord & bit) != 0 ? 1 : 0;
}

} // namespace

bool BlockAccepted(int first, int last) {
    return first >= 0 && first <= last && last < RegisterCount;
}

bool KeptFromReply(int function, int reg) {
    return function == Function::Read || reg == Reg::Status;
}

bool ReadsVersion(int function, int first, int last) {
    return function == Function::Read && first <= Reg::Version && Reg::Version <= last;
}

StatusView StatusViewFor(uint16_t statusWord) {
    return StatusView{(statusWord & StatusBit::BlockReadings) != 0,
                      relayIndex(statusWord, StatusBit::Relay1Closed),
                      relayIndex(statusWord, StatusBit::Relay2Closed),
                      relayIndex(statusWord, StatusBit::RelayDClosed),
                      (statusWord & StatusBit::CurrentSetup) != 0};
}

LineEcho LineEchoAction(uint16_t storedWord, uint16_t echoedWord) {
    if ((storedWord & LineSettingsBits) != (echoedWord & LineSettingsBits)) {
        return LineEcho::Remove;
    }
    return (storedWord >> 8) != (echoedWord >> 8) ? LineEcho::Move : LineEcho::Keep;
}

bool IsBusAddress(int address) {
    return address >= FirstBusAddress && address <= LastBusAddress;
}

QString PointText(CurrentPoint point) {
    return general(double(CurrentBox(point).value), 4);
}
