#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <array>

namespace kpx {

// The detector's event log as read through the service channel: four blocks
// of 264 bytes, each an 8-byte preamble followed by 128 slots of two bytes
// (event code, event parameter).
constexpr int LogBlockCount = 4;
constexpr int LogBlockSize = 264;
constexpr int LogBlockPreamble = 8;
constexpr int LogSlotsPerBlock = 128;
constexpr int RawLogSize = LogBlockCount * LogBlockSize;

// Turns an event's parameter byte into the text after "[0xNN]: ".
using LogParamDecoder = QString (*)(quint8 p);

struct stLogDecoder_Type {
    QString Text;
    LogParamDecoder Decoder; // nullptr: the event carries no parameter
};

constexpr int LogDecoderRows = 23;

// Indexed by event code; code 0 marks an empty slot and is never shown.
const std::array<stLogDecoder_Type, LogDecoderRows>& LogDecoder();

QString DecodeFault(quint8 p);
QString DecodePercentOpt(quint8 p);
QString DecodePercent(quint8 p);
QString DecodeGas(quint8 p); // names from gas catalogue edition B
QString DecodeValue(quint8 p);
QString DecodeUnit(quint8 p);
QString DecodeLine(quint8 p);
QString DecodeRelays(quint8 p);

// One row of the event-log grid: column 0 the running number, column 1 the
// event, column 2 the parameter and its meaning. Cells are centred unless
// leftAligned says otherwise.
constexpr int LogColumnCount = 3;

struct LogRow {
    std::array<QString, LogColumnCount> cells;
    std::array<bool, LogColumnCount> leftAligned{};

    bool operator==(const LogRow& o) const {
        return cells == o.cells && leftAligned == o.leftAligned;
    }
};

// The header plus the 20 event rows the window shows at its design size.
constexpr int LogMinRowCount = 21;

LogRow LogHeaderRow();

// The grid rows for a raw log: the header row, one row per event in storage
// order, then empty rows up to LogMinRowCount. The grid's row count (and
// the window's LogRowCount) is the size of the result.
// Only whole slots inside raw are decoded, so a short buffer yields fewer
// events rather than reading past its end; bytes beyond RawLogSize are
// ignored.
QVector<LogRow> FillLog(const QByteArray& raw);

} // namespace kpx
