#include "DeviceTexts.h"

#include "RegisterMap.h"

#include <iterator>

namespace kpx {

namespace {

constexpr unsigned OxygenCode = 23;

const char* const KindCaptions[] = {"КРХ-21", "КРХ-22", "КРХ-23", "КРХ-20"};

struct BitText {
    uint16_t bit;
    const char* text;
};

// Threshold 1 is handled apart: its text depends on the gas.
const BitText StatusTexts[] = {
    {StatusBit::Fault, "Ошибка"},
    {StatusBit::SpecialMode, "Специальный режим"},
    {StatusBit::CurrentSetup, "Режим настройки ТВ"},
    {StatusBit::WarmUp, "Прогрев датчика"},
    {StatusBit::RangeExceeded, "Превышен диапазон измерения"},
    {StatusBit::Threshold2, "Превышен порог №2"},
};

const BitText FaultDetails[] = {
    {UnitBit::LowSupply, "Питание понижено"},
    {UnitBit::NoSensor, "Отсутствует датчик"},
    {UnitBit::SensorContaminated, "Загрязнение датчика"},
    {UnitBit::BusBreak, "Обрыв шины"},
    {UnitBit::BadSensorData, "Неверные данные датчика"},
    {UnitBit::BadDisplayData, "Неверные данные индикации"},
};

const char* firstMatch(uint16_t word, const BitText* begin, const BitText* end) {
    for (auto it = begin; it != end; ++it) {
        if ((word & it->bit) != 0) {
            return it->text;
        }
    }
    return nullptr;
}

const QString CaptionSeparator = QStringLiteral("  -  ");

} // namespace

QString KindCaption(int kind) {
    if (kind < 0 || kind >= int(std::size(KindCaptions))) {
        return {};
    }
    return QString::fromUtf8(KindCaptions[kind]);
}

QString NodeLabel(int address, int32_t serialNumber) {
    return QStringLiteral("#%1 : 0%2").arg(address).arg(serialNumber);
}

QString VersionText(uint16_t version) {
    const QString minor = QString::number(version & 0xFF, 16).toUpper();
    return QStringLiteral(" (v%1.%2)").arg(version >> 8).arg(minor, 2, QLatin1Char('0'));
}

QString StatusText(uint16_t statusWord, unsigned gasCode) {
    if (const char* text = firstMatch(statusWord, std::begin(StatusTexts), std::end(StatusTexts))) {
        return QString::fromUtf8(text);
    }
    if ((statusWord & StatusBit::Threshold1) != 0) {
        return QString::fromUtf8(gasCode == OxygenCode ? "Концентрация ниже порога №1"
                                                       : "Превышен порог №1");
    }
    return QString::fromUtf8("Рабочий режим");
}

QString FaultDetail(uint16_t unitWord) {
    const char* text = firstMatch(unitWord, std::begin(FaultDetails), std::end(FaultDetails));
    return QString::fromUtf8(text ? text : "Аппаратная");
}

QString FaultStatusText(uint16_t unitWord) {
    return QString::fromUtf8("Ошибка") + QStringLiteral("  :  ") + FaultDetail(unitWord);
}

QString PanelCaption(const QString& nodeText, const QString& statusText) {
    return nodeText + CaptionSeparator + statusText;
}

QString PanelCaption(const QString& nodeText, uint16_t version, const QString& statusText) {
    return nodeText + VersionText(version) + CaptionSeparator + statusText;
}

QString GasCaption(const stGas& row) {
    return QString::fromUtf8("Измеряемый газ:") + QLatin1Char(' ') + row.Name +
           QStringLiteral(" (") + row.Formula + QLatin1Char(')');
}

QString RangeHint(const stGas& row) {
    return row.RangeEditable != 0 ? QString::fromUtf8("<Ввод> для записи в прибор") : QString();
}

} // namespace kpx
