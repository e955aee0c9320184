#include "SimBusJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

using Config = SimDetectorConfig;

QString range(qint64 min, qint64 max) {
    return QStringLiteral("a whole number from %1 to %2").arg(min).arg(max);
}

// Whole numbers come as JSON numbers or as text, "0x0840" for a version word, say.
bool toInteger(const QJsonValue& value, qint64 min, qint64 max, qint64* out, QString& error) {
    bool ok = false;
    qint64 number = 0;
    if (value.isDouble()) {
        const double d = value.toDouble();
        ok = std::floor(d) == d && std::abs(d) < 1e15;
        number = qint64(d);
    } else if (value.isString()) {
        number = value.toString().trimmed().toLongLong(&ok, 0);
    }
    if (!ok || number < min || number > max) {
        error = QStringLiteral("must be %1").arg(range(min, max));
        return false;
    }
    *out = number;
    return true;
}

bool toNumber(const QJsonValue& value, double min, double max, double* out, QString& error) {
    if (!value.isDouble() || value.toDouble() < min || value.toDouble() > max) {
        error = QStringLiteral("must be a number from %1 to %2").arg(min).arg(max);
        return false;
    }
    *out = value.toDouble();
    return true;
}

bool toBool(const QJsonValue& value, bool* out, QString& error) {
    if (!value.isBool()) {
        error = QStringLiteral("must be true or false");
        return false;
    }
    *out = value.toBool();
    return true;
}

template <typename T, qint64 Min, qint64 Max>
bool integerField(const QJsonValue& value, T* out, QString& error) {
    qint64 number = 0;
    if (!toInteger(value, Min, Max, &number, error))
        return false;
    *out = T(number);
    return true;
}

template <quint16 Config::*Member, qint64 Min, qint64 Max>
bool wordKey(const QJsonValue& value, Config& c, QString& error) {
    return integerField<quint16, Min, Max>(value, &(c.*Member), error);
}

template <bool Config::*Member> bool boolKey(const QJsonValue& value, Config& c, QString& error) {
    return toBool(value, &(c.*Member), error);
}

template <double Config::*Member, int Min, int Max>
bool numberKey(const QJsonValue& value, Config& c, QString& error) {
    return toNumber(value, Min, Max, &(c.*Member), error);
}

bool lineKey(const QJsonValue& value, Config& c, QString& error) {
    static const int bauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    static const QStringList parities = {QStringLiteral("none"), QStringLiteral("odd"),
                                         QStringLiteral("even")};
    if (!value.isObject()) {
        error = QStringLiteral(
            "must be an object like {\"baud\": 19200, \"parity\": \"even\", \"stopBits\": 1}");
        return false;
    }
    const QJsonObject line = value.toObject();
    for (auto it = line.begin(); it != line.end(); ++it) {
        qint64 number = 0;
        if (it.key() == QLatin1String("baud")) {
            if (!toInteger(it.value(), 1, 115200, &number, error) ||
                std::find(std::begin(bauds), std::end(bauds), number) == std::end(bauds)) {
                error = QStringLiteral(
                    "baud must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
                return false;
            }
            c.line.baud = int(number);
        } else if (it.key() == QLatin1String("parity")) {
            const int index = parities.indexOf(it.value().toString());
            if (index < 0) {
                error = QStringLiteral("parity must be \"none\", \"odd\" or \"even\"");
                return false;
            }
            c.line.parity = SimParity(index);
        } else if (it.key() == QLatin1String("stopBits")) {
            if (!toInteger(it.value(), 1, 2, &number, error))
                return false;
            c.line.stopBits = int(number);
        } else {
            error =
                QStringLiteral("unknown key \"%1\" in line (baud, parity, stopBits)").arg(it.key());
            return false;
        }
    }
    return true;
}

bool gasesKey(const QJsonValue& value, Config& c, QString& error) {
    c.gases.clear();
    for (const QJsonValue item : value.toArray()) {
        int gas = 0;
        if (!integerField<int, 0, SimGasCount - 1>(item, &gas, error))
            return false;
        c.gases << gas;
    }
    if (!value.isArray() || c.gases.isEmpty())
        error = QStringLiteral("must be a non-empty list of gas codes");
    return value.isArray() && !c.gases.isEmpty();
}

bool relaysKey(const QJsonValue& value, Config& c, QString& error) {
    const QJsonArray relays = value.toArray();
    if (!value.isArray() || relays.size() != 3) {
        error = QStringLiteral(
            "must list relay 1, relay 2 and the diagnostic relay as \"open\" or \"closed\"");
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        const QString state = relays[i].toString();
        if (state != QLatin1String("open") && state != QLatin1String("closed")) {
            error = QStringLiteral("relay states are \"open\" or \"closed\"");
            return false;
        }
        c.relayClosed[i] = state == QLatin1String("closed");
    }
    return true;
}

struct FaultDetail {
    const char* name;
    quint16 bit;
};

const FaultDetail faultDetails[] = {
    {"hardware", 0},
    {"supplyLow", 0x0001},
    {"sensorMissing", 0x0002},
    {"sensorContaminated", 0x0004},
    {"busBreak", 0x0008},
    {"badSensorData", 0x0100},
    {"badDisplayData", 0x0200},
};

bool faultKey(const QJsonValue& value, Config& c, QString& error) {
    const QJsonArray names = value.isArray() ? value.toArray() : QJsonArray{value};
    c.faulty = true;
    c.faultDetails = 0;
    for (const QJsonValue name : names) {
        const auto detail = std::find_if(
            std::begin(faultDetails), std::end(faultDetails),
            [&](const FaultDetail& d) { return name.toString() == QLatin1String(d.name); });
        if (detail == std::end(faultDetails)) {
            error = QStringLiteral(
                "fault details are hardware, supplyLow, sensorMissing, sensorContaminated, "
                "busBreak, badSensorData, badDisplayData");
            return false;
        }
        c.faultDetails |= detail->bit;
    }
    return true;
}

bool currentErrorKey(const QJsonValue& value, Config& c, QString& error) {
    const QJsonArray errors = value.toArray();
    if (!value.isArray() || errors.size() != 3) {
        error = QStringLiteral("must list the errors at 1, 4 and 20 mA in 0.01 mA");
        return false;
    }
    for (int i = 0; i < 3; ++i)
        if (!integerField<int, -100, 100>(errors[i], &c.currentError[i], error))
            return false;
    return true;
}

bool registersKey(const QJsonValue& value, Config& c, QString& error) {
    static const QStringList spare = {QStringLiteral("14"), QStringLiteral("15"),
                                      QStringLiteral("17")};
    const QJsonObject registers = value.toObject();
    for (auto it = registers.begin(); it != registers.end(); ++it) {
        const int index = spare.indexOf(it.key());
        if (index < 0) {
            error = QStringLiteral(
                "only the spare registers \"14\", \"15\" and \"17\" can be set here");
            return false;
        }
        if (!integerField<quint16, 0, 0xFFFF>(it.value(), &c.spare[index], error))
            return false;
    }
    return value.isObject();
}

bool eventLogKey(const QJsonValue& value, Config& c, QString& error) {
    const QString kind = value.toString();
    if (kind != QLatin1String("realistic") && kind != QLatin1String("empty")) {
        error = QStringLiteral("must be \"realistic\" or \"empty\"");
        return false;
    }
    c.emptyLog = kind == QLatin1String("empty");
    return true;
}

bool faultsKey(const QJsonValue& value, Config& c, QString& error) {
    const QJsonObject faults = value.toObject();
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        qint64 number = 0;
        if (it.value().isBool())
            number = it.value().toBool() ? 1 : 0;
        else if (!toInteger(it.value(), -1, 60000, &number, error))
            return false;
        if (!simSetFault(c.faults, it.key(), int(number), &error))
            return false;
    }
    return value.isObject();
}

bool commentKey(const QJsonValue&, Config&, QString&) {
    return true;
}

struct Key {
    const char* name;
    bool (*parse)(const QJsonValue&, Config&, QString&);
};

const Key keys[] = {
    {"address", [](const QJsonValue& v, Config& c,
                   QString& e) { return integerField<int, 1, 247>(v, &c.address, e); }},
    {"id", [](const QJsonValue& v, Config& c,
              QString& e) { return integerField<quint32, 0, 0xFFFFFFFF>(v, &c.id, e); }},
    {"firmware", &wordKey<&Config::firmware, 0, 0xFFFF>},
    {"line", &lineKey},
    {"gas", [](const QJsonValue& v, Config& c,
               QString& e) { return integerField<int, 0, SimGasCount - 1>(v, &c.gas, e); }},
    {"gases", &gasesKey},
    {"unit", [](const QJsonValue& v, Config& c,
                QString& e) { return integerField<int, 0, 1>(v, &c.unit, e); }},
    {"hideMethane", &boolKey<&Config::hideMethane>},
    {"range", &wordKey<&Config::range, 1, 0xFFFF>},
    {"threshold1", &wordKey<&Config::threshold1, 0, 1000>},
    {"threshold2", &wordKey<&Config::threshold2, 0, 1000>},
    {"magnet", &wordKey<&Config::magnet, 0, 1000>},
    {"hysteresis", &wordKey<&Config::hysteresis, 0, 1000>},
    {"zeroZone", &wordKey<&Config::zeroZone, 0, 1000>},
    {"block", &boolKey<&Config::block>},
    {"relays", &relaysKey},
    {"setupMode", &boolKey<&Config::setupMode>},
    {"warmup", &boolKey<&Config::warmup>},
    {"special", &boolKey<&Config::special>},
    {"fault", &faultKey},
    {"temperature", &numberKey<&Config::temperature, -60, 125>},
    {"testGas", &numberKey<&Config::testGas, -1000, 100000>},
    {"zeroError", &numberKey<&Config::zeroError, -1000, 1000>},
    {"sensitivity", &numberKey<&Config::sensitivity, 0, 100>},
    {"noise", &numberKey<&Config::noise, 0, 1000>},
    {"currentError", &currentErrorKey},
    {"registers", &registersKey},
    {"eventLog", &eventLogKey},
    {"faults", &faultsKey},
    {"comment", &commentKey},
};

QString knownKeys() {
    QStringList names;
    for (const Key& key : keys)
        names << QLatin1String(key.name);
    return names.join(QStringLiteral(", "));
}

// What the detector itself would refuse, and what a description must not leave out.
bool consistent(const Config& c, const QJsonObject& object, QString& error) {
    for (const char* required : {"address", "id"}) {
        if (!object.contains(QLatin1String(required))) {
            error = QStringLiteral("\"%1\" is missing").arg(QLatin1String(required));
            return false;
        }
    }
    const SimGas gas = simGas(c.gas, simFirmwareBelow(simKind(c.id), c.firmware, 0x0630, 0x0690));
    if (c.unit == 1 && gas.units[0] == gas.units[1]) {
        error = QStringLiteral("gas %1 has a single unit on this firmware: \"unit\" must be 0")
                    .arg(c.gas);
        return false;
    }
    if (!c.gases.isEmpty() && !c.gases.contains(c.gas)) {
        error = QStringLiteral("\"gases\" must contain the gas %1").arg(c.gas);
        return false;
    }
    if (c.sensitivity <= 0) {
        error = QStringLiteral("\"sensitivity\" must be above 0");
        return false;
    }
    return true;
}

bool parseDetector(const QJsonObject& object, Config* c, QString& error) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto key = std::find_if(std::begin(keys), std::end(keys), [&](const Key& k) {
            return it.key() == QLatin1String(k.name);
        });
        if (key == std::end(keys)) {
            error = QStringLiteral("unknown key \"%1\" (known: %2)").arg(it.key(), knownKeys());
            return false;
        }
        QString why;
        if (!key->parse(it.value(), *c, why)) {
            error = QStringLiteral("\"%1\" %2")
                        .arg(it.key(), why.isEmpty() ? QStringLiteral("has the wrong form") : why);
            return false;
        }
    }
    return consistent(*c, object, error);
}

int lineOf(const QByteArray& text, int offset) {
    return int(text.left(offset).count('\n')) + 1;
}

} // namespace

bool simParseBus(const QByteArray& json, QList<SimDetectorConfig>* detectors, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("line %1: %2")
                     .arg(lineOf(json, parseError.offset))
                     .arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() != QLatin1String("detectors") && it.key() != QLatin1String("comment")) {
            *error =
                QStringLiteral("unknown key \"%1\" at the top (detectors, comment)").arg(it.key());
            return false;
        }
    }
    if (!root.value(QLatin1String("detectors")).isArray()) {
        *error = QStringLiteral("the description needs a list \"detectors\"");
        return false;
    }
    QList<SimDetectorConfig> parsed;
    QSet<int> addresses;
    const QJsonArray list = root.value(QLatin1String("detectors")).toArray();
    for (int i = 0; i < list.size(); ++i) {
        SimDetectorConfig config;
        QString why;
        if (!list[i].isObject()) {
            why = QStringLiteral("must be an object");
        } else if (parseDetector(list[i].toObject(), &config, why) &&
                   addresses.contains(config.address)) {
            why = QStringLiteral("address %1 is used by an earlier detector").arg(config.address);
        }
        if (!why.isEmpty()) {
            *error = QStringLiteral("detector %1: %2").arg(i + 1).arg(why);
            return false;
        }
        addresses.insert(config.address);
        parsed << config;
    }
    *detectors = parsed;
    return true;
}
