#pragma once

#include "SimDetector.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a bus description (format in sim/README.md). False with a message naming the
// detector and the key at fault; nothing is half-read.
bool simParseBus(const QByteArray& json, QList<SimDetectorConfig>* detectors, QString* error);

// sim/default-bus.json, built in.
QByteArray simDefaultBusJson();
