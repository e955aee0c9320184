#pragma once

#include "GasCatalogue.h"

#include <QString>
#include <cstdint>

namespace kpx {

// Caption of a kind's group node in the device tree; empty for an unknown kind.
QString KindCaption(int kind);

// Text of a detector's node, e.g. "#5 : 09400000".
QString NodeLabel(int address, int32_t serialNumber);

// The firmware version as the panel caption shows it, e.g. " (v6.30)".
QString VersionText(uint16_t version);

// Status text of register 4; the first matching condition wins.
QString StatusText(uint16_t statusWord, unsigned gasCode);

// Fault detail of register 5, meaningful while the fault bit is set.
QString FaultDetail(uint16_t unitWord);
// The status text of a faulty detector, e.g. "Ошибка  :  Обрыв шины".
QString FaultStatusText(uint16_t unitWord);

// Detector panel captions: with the firmware version while the detector
// works, without it once a fault detail replaces the status.
QString PanelCaption(const QString& nodeText, const QString& statusText);
QString PanelCaption(const QString& nodeText, uint16_t version, const QString& statusText);

// Caption of the gas section, e.g. "Измеряемый газ: Метан (CH4)".
QString GasCaption(const stGas& row);

// Hint of the range box: Enter writes the range, where the row allows it.
QString RangeHint(const stGas& row);

} // namespace kpx
