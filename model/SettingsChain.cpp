#include "SettingsChain.h"

#include "Device.h"
#include "RegisterMap.h"

namespace kpx {

ChainStep NextChainStep(int echoed, const ChainState& s) {
    if (echoed < 0 || echoed >= RegisterCount)
        return {ChainStep::NotAStep};
    switch (echoed) {
    case Reg::Line:
        return {ChainStep::Write, Reg::Magnet};
    case Reg::Magnet:
        return {ChainStep::Write, s.limit1First ? Reg::Limit1 : Reg::Limit2};
    case Reg::Limit1:
        return {ChainStep::Write, s.limit1First ? Reg::Limit2 : Reg::Hysteresis};
    case Reg::Limit2:
        return {ChainStep::Write, s.limit1First ? Reg::Hysteresis : Reg::Limit1};
    case Reg::Hysteresis:
        return {ChainStep::Write, Reg::ZeroZone};
    case Reg::ZeroZone:
        return {ChainStep::Write, Reg::Status};
    case Reg::Status:
        if (s.unitEnabled)
            return {ChainStep::Write, Reg::Concentration};
        return NextChainStep(Reg::Concentration,
                             ChainState{s.limit1First, false, s.gasToWrite, false});
    case Reg::Concentration:
        if (s.currWriting)
            return {ChainStep::CurrentTrim};
        if (s.gasToWrite)
            return {ChainStep::Write, Reg::Gas};
        return {ChainStep::EndParameters};
    case Reg::Gas:
        return {ChainStep::EndParameters};
    case Reg::Range:
        return {ChainStep::EndRange};
    case Reg::Temperature:
    case Reg::Current:
        return {ChainStep::CurrentTrim};
    default:
        return {ChainStep::Ignore};
    }
}

bool Limit1GoesFirst(uint16_t newLimit1, uint16_t storedLimit2) {
    return newLimit1 < storedLimit2;
}

QString ChainStatusText(int reg) {
    switch (reg) {
    case Reg::Magnet:
        return QStringLiteral("Запись для магнитной калибровки");
    case Reg::Limit1:
        return QStringLiteral("Запись порога №1");
    case Reg::Limit2:
        return QStringLiteral("Запись порога №2");
    case Reg::Hysteresis:
        return QStringLiteral("Запись гистерезиса");
    case Reg::ZeroZone:
        return QStringLiteral("Запись нулевой зоны");
    case Reg::Status:
        return QStringLiteral("Запись настроек реле");
    case Reg::Concentration:
        return QStringLiteral("Установка ед. измерения");
    case Reg::Gas:
        return QStringLiteral("Установка измеряемого газа");
    default:
        return QString();
    }
}

int ChosenUnitIndex(int listIndex) {
    return listIndex > 0 ? 1 : 0;
}

} // namespace kpx
