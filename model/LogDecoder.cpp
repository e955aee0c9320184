#include "LogDecoder.h"

#include "GasCatalogue.h"

namespace kpx {

namespace {

const QString PercentOfRange = QStringLiteral(" % диапазона измерения");

// Only the four low bits of the one-byte parameter carry faults, the lowest
// set one wins. The detector's 16-bit fault word has two more texts
// (sensor and display data) that never reach the log.
const std::array<QString, 4> FaultNames = {
    QStringLiteral("Питание понижено"),
    QStringLiteral("Отсутствует датчик"),
    QStringLiteral("Загрязнение датчика"),
    QStringLiteral("Обрыв шины"),
};
const QString HardwareFault = QStringLiteral("Аппаратная");

// Baud codes as register 0 uses them; code 8 is 115200. Codes 9..15 are not
// assigned and show as "?".
const std::array<int, 9> LogBauds = {0, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

const std::array<QString, 4> ParityNames = {
    QStringLiteral("NONE"),
    QStringLiteral("ODD"),
    QStringLiteral("EVEN"),
    QStringLiteral("?"),
};

const std::array<QString, 2> RelayKinds = {QStringLiteral("НРР"), QStringLiteral("НЗР")};

struct UnitName {
    quint8 code;
    const char16_t* text;
};

const UnitName UnitNames[] = {
    {149, u"%об."},
    {161, u"%НКПР"},
    {139, u"млн-1"},
    {171, u"мгм/м3"},
};

QString hexByte(quint8 p) {
    return QStringLiteral("%1").arg(p, 2, 16, QLatin1Char('0')).toUpper();
}

QString infoCell(const stLogDecoder_Type& row, quint8 p) {
    return QStringLiteral("[0x") + hexByte(p) + QStringLiteral("]: ") + row.Decoder(p);
}

} // namespace

QString DecodeFault(quint8 p) {
    for (size_t bit = 0; bit < FaultNames.size(); ++bit) {
        if (p & (1u << bit)) {
            return FaultNames[bit];
        }
    }
    return HardwareFault;
}

QString DecodePercentOpt(quint8 p) {
    return p == 0 ? QString() : DecodePercent(p);
}

QString DecodePercent(quint8 p) {
    return QString::number(p) + PercentOfRange;
}

QString DecodeGas(quint8 p) {
    if (p >= GasRowCount) {
        return QString();
    }
    return GasEditionB()[p].Name + QStringLiteral(" / №") + QString::number(p);
}

QString DecodeValue(quint8 p) {
    return QStringLiteral("= ") + QString::number(p);
}

QString DecodeUnit(quint8 p) {
    for (const UnitName& unit : UnitNames) {
        if (unit.code == p) {
            return QString::fromUtf16(unit.text);
        }
    }
    return QStringLiteral("?");
}

QString DecodeLine(quint8 p) {
    const size_t baudCode = p & 0x0F;
    const QString baud =
        baudCode < LogBauds.size() ? QString::number(LogBauds[baudCode]) : QStringLiteral("?");
    return baud + QStringLiteral(" / 8 - ") + ParityNames[(p >> 4) & 3] + QStringLiteral(" - ") +
           QString::number((p >> 6) & 3);
}

QString DecodeRelays(quint8 p) {
    return RelayKinds[p & 1] + QStringLiteral("1 / ") + RelayKinds[(p >> 1) & 1] +
           QStringLiteral("2 / ") + RelayKinds[(p >> 2) & 1] + QStringLiteral(" Диагностики");
}

const std::array<stLogDecoder_Type, LogDecoderRows>& LogDecoder() {
    static const std::array<stLogDecoder_Type, LogDecoderRows> rows = {{
        {QStringLiteral(" "), nullptr},
        {QStringLiteral("Включен"), nullptr},
        {QStringLiteral("Перезагрузка"), nullptr},
        {QStringLiteral("Неисправность"), DecodeFault},
        {QStringLiteral("Градуировка нуля"), nullptr},
        {QStringLiteral("Калибовка концентрации"), DecodePercentOpt},
        {QStringLiteral("Градуировка концентрации"), DecodePercentOpt},
        {QStringLiteral("Сброс показаний"), nullptr},
        {QStringLiteral("Превышение порога №1"), DecodePercentOpt},
        {QStringLiteral("Превышение порога №2"), DecodePercentOpt},
        {QStringLiteral("Превышение диапазона измерения"), DecodePercentOpt},
        {QStringLiteral("Установка измеряемого газа"), DecodeGas},
        {QStringLiteral("Установка диапазона измерения"), DecodeValue},
        {QStringLiteral("Установка единицы измерения"), DecodeUnit},
        {QStringLiteral("Установка значения порога №2"), DecodePercent},
        {QStringLiteral("Установка значения порога №1"), DecodePercent},
        {QStringLiteral("Установка величины нулевой зоны"), DecodePercent},
        {QStringLiteral("Установка величины гистерезиса"), DecodePercent},
        {QStringLiteral("Установка значения магнитной градуировки"), DecodePercent},
        {QStringLiteral("Изменён MODBUS адрес"), DecodeValue},
        {QStringLiteral("Изменены настройки интерфейса RS-485"), DecodeLine},
        {QStringLiteral("Изменены величины ЦАП токового выхода"), nullptr},
        {QStringLiteral("Изменены настройки реле"), DecodeRelays},
    }};
    return rows;
}

LogRow LogHeaderRow() {
    LogRow row;
    row.cells = {QStringLiteral("№"), QStringLiteral("Событие"), QStringLiteral("Информация")};
    return row;
}

namespace {

void appendEvent(QVector<LogRow>& rows, quint8 code, quint8 p) {
    if (code == 0 || code >= LogDecoderRows) {
        return;
    }
    const stLogDecoder_Type& event = LogDecoder()[code];
    LogRow row;
    row.cells[0] = QString::number(rows.size());
    row.cells[1] = event.Text;
    if (event.Decoder) {
        row.cells[2] = infoCell(event, p);
        row.leftAligned[2] = true;
    }
    rows.append(row);
}

} // namespace

QVector<LogRow> FillLog(const QByteArray& raw) {
    QVector<LogRow> rows{LogHeaderRow()};
    const qsizetype size = qMin<qsizetype>(raw.size(), RawLogSize);
    for (qsizetype block = 0; block < size; block += LogBlockSize) {
        for (int slot = 0; slot < LogSlotsPerBlock; ++slot) {
            const qsizetype at = block + LogBlockPreamble + 2 * slot;
            if (at + 1 >= size) {
                break;
            }
            appendEvent(rows, static_cast<quint8>(raw[at]), static_cast<quint8>(raw[at + 1]));
        }
    }
    if (rows.size() < LogMinRowCount) {
        rows.resize(LogMinRowCount);
    }
    return rows;
}

} // namespace kpx
